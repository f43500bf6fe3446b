#include "display/main_form.h"

#include "base/error.h"
#include "base/show_info.h"
#include "display/bitmap_view.h"
#include "gif/frame_export.h"
#include "gif/gif_reader.h"
#include "picture/qt/platform_codecs.h"
#include "platform/info_box.h"
#include "platform/run_mode.h"
#include "platform/saver_password.h"
#include "platform/screensaver_state.h"
#include "platform/window_system.h"
#include "scene/setting_ranges.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

using velmora::Settings;

namespace {

QRect primary_screen_geometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 640, 480);
}

// The timers fire once per start: each handler stops its timer first and
// starts it again at its end, so a slow step is never entered twice and the
// interval counts from the end of the step. Precise timers keep the frame
// pace while the process sleeps between ticks.
QTimer* make_timer(QObject* parent, const char* name, int interval)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    return timer;
}

} // namespace

// Where the setup is opened on this desktop: the configuration mode, which
// the desktop's settings menu entry starts as well.
const std::string TMainForm::configure_tip
    = "Use Setup (\"velmora /c\" or Velmora in the settings menu) to load other images and "
      "configurations...";

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("MainForm"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white);
    setPalette(black);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);

    StatusLab = new QLabel(this);
    StatusLab->setObjectName(QStringLiteral("StatusLab"));
    StatusLab->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    StatusLab->setFont(font);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->hide();
    Image1 = new BitmapView(&scene_.picture, Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image2 = new BitmapView(&scene_.area, Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    // Every mouse event belongs to the form, wherever the pointer is.
    for (QWidget* child : { static_cast<QWidget*>(StatusLab), Panel1, static_cast<QWidget*>(Image1),
             static_cast<QWidget*>(Image2) })
        child->setAttribute(Qt::WA_TransparentForMouseEvents);

    Timer1 = make_timer(this, "Timer1", 50);
    Timer2 = make_timer(this, "Timer2", 10000);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TMainForm::Timer2Timer);

    cover_screen();
    FormCreate();
}

void TMainForm::FormCreate()
{
    FirstActivation = true;
    CurrentImageIndex = 1;
    SlideDirection = 1;
    Closing = false;
    FreeAllowed = true;
    // GIF pictures are decoded to their first frame only, so a multi-frame
    // GIF shows as a still picture without further settings. The pictures
    // the saver shows may be in any format the platform reads.
    velmora::register_platform_codecs();
}

void TMainForm::set_color_depth_source(std::function<int()> source)
{
    depth_source_ = std::move(source);
}

int TMainForm::color_depth() const
{
    if (depth_source_)
        return depth_source_();
    const QScreen* s = screen();
    return s ? s->depth() : 24;
}

std::string TMainForm::status_banner()
{
    return std::string("Velmora ") + VELMORA_VERSION;
}

velmora::SceneHooks TMainForm::hooks()
{
    return { [this] { return Closing; }, [this](const std::string& text) { show_status(text); } };
}

void TMainForm::show_status(const std::string& text)
{
    StatusLab->setText(QString::fromStdString(text));
    QCoreApplication::processEvents();
}

void TMainForm::set_hosted(const QSize& host_size)
{
    host_size_ = host_size;
    // The host watches the pointer and the keyboard over its window; ours
    // lets every input event through to it.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput
        | Qt::WindowDoesNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(false);
    cover_screen();
}

QRect TMainForm::covered_area() const
{
    if (host_size_)
        return QRect(QPoint(0, 0), *host_size_);
    return screen_ ? screen_->geometry() : primary_screen_geometry();
}

void TMainForm::cover_every_monitor()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (screens.size() < 2 || !primary || hosted() || leader_ || !followers_.empty())
        return;
    screen_ = primary;
    cover_screen();
    for (QScreen* monitor : screens) {
        if (monitor == primary)
            continue;
        auto form = std::make_unique<TMainForm>();
        form->setAttribute(Qt::WA_QuitOnClose, false);
        form->leader_ = this;
        form->screen_ = monitor;
        // Monitors of one desktop share the windows' coordinates; a monitor
        // that is an X screen of its own also needs the window created there.
        form->setScreen(monitor);
        // Its scene comes from this form's start sequence, not its own.
        form->FirstActivation = false;
        form->setCursor(Qt::BlankCursor);
        // A modal form (a test from the dialogs) blocks the input of every
        // window but its own.
        if (isModal()) {
            form->winId();
            form->windowHandle()->setTransientParent(windowHandle());
        }
        form->cover_screen();
        followers_.push_back(std::move(form));
    }
}

void TMainForm::build_other_monitors(const std::string& file_name, int water_edge)
{
    for (const auto& form : followers_) {
        form->Timer1->stop();
        form->Panel1->hide();
    }
    for (const auto& form : followers_) {
        if (Closing)
            return;
        form->CurrentFileName = file_name;
        form->CurrentImageIndex = CurrentImageIndex;
        form->Build(file_name, water_edge);
    }
}

void TMainForm::animate_other_monitors()
{
    const Settings s = velmora::within_ranges(velmora::settings());
    for (const auto& form : followers_) {
        if (Closing || form->Closing || form->BuildFailed)
            continue;
        form->FrameCount = FrameCount;
        form->Timer1->setInterval(s.DelayTimeMS);
        if (!(s.DisableReflection && s.MultipleMode))
            form->Timer1->start();
        form->Panel1->show();
    }
}

bool TMainForm::adopt_scene(const std::string& file_name, int water_edge)
{
    const TMainForm* leader = leader_ ? leader_ : this;
    std::vector<const TMainForm*> forms { leader };
    for (const auto& form : leader->followers_)
        forms.push_back(form.get());
    for (const TMainForm* other : forms) {
        if (other == this || !other->built_for_ || other->built_for_->size != size()
            || other->built_for_->file_name != file_name
            || other->built_for_->water_edge != water_edge
            // Frames made per tick belong to their own form; a screen of
            // another scale needs its own device pixels.
            || other->ticking_.count() > 0 || other->devicePixelRatioF() != devicePixelRatioF())
            continue;
        show_area();
        scene_ = other->scene_;
        overlay_ = {};
        overlay_.bitmap = other->overlay_.bitmap
            ? std::make_unique<velmora::Bitmap>(*other->overlay_.bitmap)
            : nullptr;
        overlay_.reflection = other->overlay_.reflection
            ? std::make_unique<velmora::Bitmap>(*other->overlay_.reflection)
            : nullptr;
        overlay_.x = other->overlay_.x;
        overlay_.y = other->overlay_.y;
        overlay_.failed = other->overlay_.failed;
        overlay_.reflection_fits = other->overlay_.reflection_fits;
        overlay_.xparent_color = other->overlay_.xparent_color;
        overlay_.xparent_color_24 = other->overlay_.xparent_color_24;
        overlay_.colors_probed = other->overlay_.colors_probed;
        OverlayFailed = other->OverlayFailed;
        frames_ = other->frames_;
        FreeAllowed = true;
        lay_out_scene();
        finish_scene();
        built_for_ = other->built_for_;
        return true;
    }
    return false;
}

void TMainForm::cover_screen()
{
    setGeometry(covered_area());
    if (!hosted() && velmora::on_wayland())
        velmora::request_full_screen(*this, screen_);
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int h = StatusLab->sizeHint().height();
    StatusLab->setGeometry(0, height() - h, width(), h);
}

// ---------------------------------------------------------------------------
// Start-up

bool TMainForm::event(QEvent* event)
{
    // Whatever input still arrives in a hosted run belongs to the host.
    if (hosted() && dynamic_cast<QInputEvent*>(event)) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::WindowActivate && FirstActivation)
        QTimer::singleShot(0, this, &TMainForm::FormActivate);
    return QWidget::event(event);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Messages of the run must appear over this window, not under it.
    if (!hosted() && !leader_)
        velmora::set_info_box_owner(this);
    // Without a window manager the window is never activated: the first show
    // counts as the first activation.
    if (FirstActivation)
        QTimer::singleShot(0, this, &TMainForm::FormActivate);
}

void TMainForm::FormActivate()
{
    if (!FirstActivation)
        return;
    FirstActivation = false;
    const int depth = color_depth();
    if (depth <= 8) {
        inform("Display setting must be at least 16-bit color for this ScreenSaver!");
        FirstActivation = true;
        return;
    }
    velmora::set_display_depth(depth); // GIF pictures are decoded for this screen
    // Every monitor goes black at once; the others show the picture once
    // this form has built it.
    for (const auto& form : followers_) {
        form->show();
        form->raise();
    }
    OverlayFailed = false;
    Timer1->stop();
    Timer2->stop();
    LastMouseX = -1;
    LastMouseY = -1;

    Settings& record = velmora::settings();
    if (!record.TestRun) {
        try {
            velmora::read_settings("");
        } catch (const velmora::Error& e) {
            // A settings file that cannot be read leaves the screen black.
            inform(e.what());
            return;
        }
    }
    velmora::apply_setting_overrides(overrides_, record);
    wanted_res_code_ = record.ImageResCode;
    const Settings s = velmora::within_ranges(record);
    FrameCount = s.NumberOfReflectedImages;

    const velmora::FirstPicture first = velmora::first_picture(record);
    if (record.MultipleMode && record.NumMultipleImages >= 1)
        CurrentImageIndex = first.image_index;
    CurrentFileName = first.file_name;
    Build(CurrentFileName, first.water_edge);
    // A close request during the first build has closed the window already;
    // showing it again would bring back a saver the user has left.
    if (BuildFailed || Closing)
        return;
    build_other_monitors(CurrentFileName, first.water_edge);
    if (Closing)
        return;

    move(covered_area().topLeft());
    Timer1->setInterval(s.DelayTimeMS);
    if (!(s.DisableReflection && s.MultipleMode))
        Timer1->start();
    Timer2->setInterval(s.MultDelayTime * 1000);
    Panel1->show();
    show();
    raise();
    if (!hosted()) {
        activateWindow();
        set_screensaver_running(true);
        take_input();
    }
    animate_other_monitors();
    if (s.MultipleMode && s.NumMultipleImages > 1)
        Timer2->start();
}

// ---------------------------------------------------------------------------
// Scene assembly

void TMainForm::Build(const std::string& file_name, int water_edge)
{
    // A window size that changes during a build (its status lines process
    // pending events) makes the build run again for the final size.
    const bool outer = !building_;
    building_ = true;
    do {
        size_changed_ = false;
        build_once(file_name, water_edge);
    } while (outer && size_changed_ && !Closing);
    if (outer)
        building_ = false;
}

void TMainForm::set_host_size(const QSize& host_size)
{
    if (!hosted() || *host_size_ == host_size || Closing)
        return;
    host_size_ = host_size;
    cover_screen();
    // The first build has not begun, or is under way: it takes the new size.
    if (FirstActivation)
        return;
    if (building_) {
        size_changed_ = true;
        return;
    }
    rebuild();
}

void TMainForm::rebuild()
{
    Timer1->stop();
    Timer2->stop();
    Build(CurrentFileName, current_water_edge_);
    if (BuildFailed || Closing)
        return;
    const Settings s = velmora::within_ranges(velmora::settings());
    if (!(s.DisableReflection && s.MultipleMode))
        Timer1->start();
    if (s.MultipleMode && s.NumMultipleImages > 1)
        Timer2->start();
    Panel1->show();
}

void TMainForm::build_once(const std::string& file_name, int water_edge)
{
    current_water_edge_ = water_edge;
    built_for_.reset();
    cover_screen();
    Settings& record = velmora::settings();
    // Fit Screen fits the host's window as it fits a screen, whatever its
    // size: it is kept.
    if (hosted() && wanted_res_code_ != velmora::kFitScreenResCode) {
        // A host's window may be far smaller than a screen (a settings
        // window's preview): a smaller viewing size shows the whole scene
        // there instead of its middle. Only this run's record changes.
        int code = std::clamp(wanted_res_code_, 0, 2);
        while (code > 0
            && (velmora::viewing_size(code).width > width()
                || velmora::viewing_size(code).height > height()))
            --code;
        record.ImageResCode = code;
    }
    if (!velmora::use_image_bottom_applies(record, water_edge))
        record.UseImageBottom = false;
    overlay_ = {};

    BuildFailed = false;
    if (adopt_scene(file_name, water_edge))
        return;
    show_status("Loading Main image " + file_name + "...");
    velmora::Bitmap picture;
    try {
        picture = velmora::load_main_picture(file_name);
    } catch (const velmora::Error& e) {
        show_status("");
        inform(e.what());
        BuildFailed = true;
        return;
    }

    std::optional<velmora::Scene> scene;
    try {
        const QSize device = device_pixels(size());
        // The status line keeps its rows under a scene fitted to the screen.
        const int status_rows = device_pixels(StatusLab->sizeHint()).height();
        scene = velmora::assemble_scene(std::move(picture), water_edge, record, device.width(),
            device.height(), hooks(), status_rows);
    } catch (const velmora::Error& e) {
        inform(e.what());
        BuildFailed = true;
        return;
    }
    if (!scene)
        return;
    // The new scene replaces the shown one only now, so a picture that cannot
    // be shown leaves the previous scene of the slide show intact. The old
    // frames go with the next frame build.
    show_area();
    scene_ = std::move(*scene);
    lay_out_scene();

    if (!record.MultipleMode) {
        show_status("Building Overlay...");
        overlay_setup();
    }
    if (Closing)
        return;
    show_status("Building reflection images...");
    if (scene_.reflection_shown)
        build_reflection_images();
    if (Closing)
        return;
    finish_scene();
    if (!Closing)
        built_for_ = BuiltFor { file_name, water_edge, size() };
}

void TMainForm::lay_out_scene()
{
    ScaleFactor = scene_.ScaleFactor;
    const int w1 = scene_.picture.width();
    const int h1 = scene_.picture.height();
    Image1->setGeometry(logical_pixels(QRect(0, 0, w1, h1)));
    Image2->setGeometry(logical_pixels(QRect(0, h1, scene_.area.width(), scene_.area.height())));
    Panel1->setGeometry(logical_pixels(
        QRect(scene_.panel.left, scene_.panel.top, scene_.panel.width, scene_.panel.height)));
    Image1->update();
    Image2->update();
}

void TMainForm::finish_scene()
{
    show_status("");
    show_status(status_banner());
    CurrentFrame = 1;
    clear_probe_pixels();
    Image1->update();
    if (Closing || velmora::settings().DisableReflection)
        return;
    if (show_frame(CurrentFrame))
        Image2->update();
}

// On a screen that scales (a device-pixel ratio above 1) the scene is fitted
// to the screen's device pixels and drawn one bitmap pixel to one device
// pixel, never scaled a second time.
QSize TMainForm::device_pixels(QSize logical) const
{
    const qreal ratio = devicePixelRatioF();
    return { qRound(logical.width() * ratio), qRound(logical.height() * ratio) };
}

QRect TMainForm::logical_pixels(QRect device) const
{
    const qreal ratio = devicePixelRatioF();
    const auto at = [ratio](int v) { return static_cast<int>(std::floor(v / ratio)); };
    const auto end = [ratio](int v) { return static_cast<int>(std::ceil(v / ratio)); };
    return QRect(QPoint(at(device.left()), at(device.top())),
        QPoint(end(device.left() + device.width()) - 1, end(device.top() + device.height()) - 1));
}

void TMainForm::clear_probe_pixels()
{
    probe_pixel_.reset();
    update(width() - 1, 0, 1, 2);
}

void TMainForm::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!probe_pixel_)
        return;
    QPainter painter(this);
    const velmora::Color c = *probe_pixel_;
    painter.setPen(QColor(velmora::color_red(c), velmora::color_green(c), velmora::color_blue(c)));
    painter.drawPoint(width() - 1, 0);
}

// ---------------------------------------------------------------------------
// Overlay and frames

void TMainForm::overlay_setup()
{
    Settings& record = velmora::settings();
    velmora::OverlayState state = velmora::prepare_scene_overlay(
        record, scene_,
        [this](const velmora::Bitmap& overlay) { return probe_transparent_color(overlay); },
        hooks());
    if (state.colors_probed) {
        record.OverlayXparentColor = state.xparent_color;
        record.Overlay24BitXparentColor = state.xparent_color_24;
    }
    // From here the scene build uses the overlay until it ends.
    if (state.bitmap)
        FreeAllowed = false;
    OverlayFailed = state.failed;
    overlay_ = std::move(state);
}

std::optional<velmora::Color> TMainForm::probe_transparent_color(const velmora::Bitmap& overlay)
{
    // The overlay's bottom-left pixel goes to the form's top-right pixel; what
    // the window renders there is the colour the display shows for it.
    probe_pixel_ = overlay.pixel(0, overlay.height() - 1);
    repaint(width() - 1, 0, 1, 1);
    QCoreApplication::processEvents();
    const QImage shot = grab(QRect(width() - 1, 0, 1, 1)).toImage();
    QCoreApplication::processEvents();
    if (shot.isNull() || shot.width() < 1 || shot.height() < 1)
        return std::nullopt;
    const QRgb c = shot.pixel(0, 0);
    return velmora::make_color(qRed(c), qGreen(c), qBlue(c));
}

void TMainForm::free_overlay_bitmaps()
{
    const Settings& record = velmora::settings();
    if (FreeAllowed && record.Overlay && !record.MultipleMode) {
        overlay_.bitmap.reset();
        overlay_.reflection.reset();
    }
}

void TMainForm::free_reflection_bitmaps()
{
    if (!FreeAllowed)
        return;
    show_area();
    frames_ = {};
    ticking_ = {};
}

void TMainForm::build_reflection_images()
{
    if (Closing)
        return;
    FreeAllowed = true;
    free_reflection_bitmaps();
    FreeAllowed = false;
    const velmora::FrameBuildInput input
        = velmora::frame_build_input(scene_, overlay_, velmora::settings(), hooks());
    const bool finished
        = velmora::frames_per_tick(input.area_width, input.area_height, input.frame_count)
        ? ticking_.prepare(input)
        : velmora::build_reflection_frames(input, frames_);
    if (!finished)
        return;
    FreeAllowed = true;
    if (Closing) {
        free_reflection_bitmaps();
        free_overlay_bitmaps();
    }
}

// ---------------------------------------------------------------------------
// Animation and slide show

void TMainForm::Timer1Timer()
{
    Timer1->stop();
    if (Exporting)
        return; // the export starts the animation again when it ends
    if (show_frame(CurrentFrame))
        Image2->update();
    ++CurrentFrame;
    if (CurrentFrame > FramesBuilt()) {
        CurrentFrame = 1;
        if (std::uniform_int_distribution<int>(0, 99)(random_) > 60)
            show_random_line();
    }
    Timer1->start();
}

void TMainForm::restart_animation()
{
    // A build under way starts its animation from the first frame anyway.
    if (Closing || building_ || FirstActivation || Exporting || !Timer1->isActive())
        return;
    CurrentFrame = 1;
    if (show_frame(CurrentFrame))
        Image2->update();
    Timer1->start();
}

// Frame k into Image2: shown straight from the strip, or from the rows it is
// made of when the area was too large to hold all its frames (megabytes per
// tick on a large screen that are not copied), else put into the area.
bool TMainForm::show_frame(int k)
{
    std::vector<const std::uint8_t*> rows;
    if (ticking_.count() == 0 ? velmora::frame_rows(frames_, k, scene_.area, rows)
                              : ticking_.rows(k, rows)) {
        Image2->show_rows(std::move(rows));
        area_behind_ = k;
        return true;
    }
    show_area();
    return frame_into_area(k);
}

// Frame k into Image2's bitmap: copied from the strip, or made now.
bool TMainForm::frame_into_area(int k)
{
    if (ticking_.count() == 0)
        return velmora::copy_frame(frames_, k, scene_.area);
    velmora::Bitmap frame;
    if (!ticking_.frame(k, frame))
        return false;
    // A frame made now is a fresh bitmap of the area's size: it becomes the
    // area as it is, instead of being copied in.
    if (frame.width() == scene_.area.width() && frame.height() == scene_.area.height()
        && frame.pixel_format() == scene_.area.pixel_format())
        std::swap(scene_.area, frame);
    else
        velmora::draw_rect(scene_.area, 0, 0, frame, 0, 0, frame.width(), frame.height());
    return true;
}

const velmora::Scene& TMainForm::scene() const
{
    // The form itself is never const; only the area's pixels catch up.
    auto* self = const_cast<TMainForm*>(this);
    if (area_behind_ != 0)
        self->frame_into_area(std::exchange(self->area_behind_, 0));
    return scene_;
}

void TMainForm::show_area()
{
    if (area_behind_ != 0)
        frame_into_area(std::exchange(area_behind_, 0));
    Image2->show_rows({});
}

void TMainForm::show_random_line()
{
    const std::array<std::string, 3> lines { status_banner(), configure_tip, configure_tip };
    const auto pick = std::uniform_int_distribution<std::size_t>(0, lines.size() - 1)(random_);
    StatusLab->setText(QString::fromStdString(lines[pick]));
}

void TMainForm::Timer2Timer()
{
    Timer1->stop();
    Timer2->stop();
    Settings& record = velmora::settings();
    // Counted in 64 bits: a hand-edited count near the top of the int range
    // must not overflow when stepping past it.
    long long index = static_cast<long long>(CurrentImageIndex) + SlideDirection;
    Panel1->hide();
    if (index > record.NumMultipleImages)
        index = 1;
    if (index < 1)
        index = record.NumMultipleImages;
    CurrentImageIndex = static_cast<int>(index);
    const velmora::ImageEntry entry = record.image_entry(CurrentImageIndex);
    show_status("Building image " + entry.ImageNumber);
    record.UseImageBottom = entry.UseImageBottom;
    Build(entry.ImageNumber, entry.ImageShiftNumber);
    build_other_monitors(entry.ImageNumber, entry.ImageShiftNumber);
    // A failed picture does not stop the slide show; a close request does.
    if (Closing)
        return;
    if (!record.DisableReflection)
        Timer1->start();
    Timer2->start();
    Panel1->show();
    animate_other_monitors();
}

// ---------------------------------------------------------------------------
// GIF export

namespace {

// The user's pictures folder (created by the export when missing), or the
// home folder where the desktop names none or it cannot be made.
std::string export_folder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        folder = QDir::homePath();
    return folder.toStdString();
}

} // namespace

void TMainForm::save_images()
{
    if (Exporting)
        return; // one export at a time
    // While the export reads the frames and the picture, input that would
    // free or rebuild them waits (see request_close) and the animation
    // pauses; both resume when the file is written or the export failed.
    Exporting = true;
    const bool animating = Timer1->isActive();
    bool begun = false;
    const velmora::ExportStatus status = [&](const std::string& line) {
        // The size check comes first and changes nothing when it refuses.
        if (!begun) {
            begun = true;
            Timer1->stop();
            show_status("Begin building GIF Image...");
        }
        show_status(line);
    };
    const velmora::ReflectionScene source
        = velmora::export_source(scene_, frames_, velmora::settings());
    std::string file;
    std::string failure;
    try {
        // The folder is looked for (and made) only once there is a GIF to
        // store: a refused export leaves nothing behind.
        const auto gif = velmora::build_reflection_gif(source, status);
        file = velmora::store_reflection_gif(gif->SaveToMemory(), export_folder(), status);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    Exporting = false;
    if (animating && !Closing)
        Timer1->start();
    if (failure.empty())
        show_status("Finished generating GIF file " + file + ".");
    else
        inform(failure);
    if (close_after_export_) {
        close_after_export_ = false;
        request_close();
    }
}

// ---------------------------------------------------------------------------
// Input and exit

// The form of another monitor hands its input to the form that owns the
// saver's input, in that form's coordinates.
void TMainForm::keyPressEvent(QKeyEvent* event)
{
    (leader_ ? leader_ : this)->FormKeyDown(event->key());
}

void TMainForm::mousePressEvent(QMouseEvent*)
{
    (leader_ ? leader_ : this)->FormMouseDown();
}

void TMainForm::mouseMoveEvent(QMouseEvent* event)
{
    if (leader_) {
        const QPoint p = leader_->mapFromGlobal(event->globalPosition()).toPoint();
        leader_->FormMouseMove(p.x(), p.y());
        return;
    }
    const QPoint p = event->position().toPoint();
    FormMouseMove(p.x(), p.y());
}

void TMainForm::FormKeyDown(int key)
{
    if (velmora::settings().MultipleMode) {
        if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            SlideDirection = key == Qt::Key_PageUp ? -1 : 1;
            if (Timer2->isActive())
                Timer2Timer();
        } else {
            request_close();
        }
        return;
    }
    if (key == Qt::Key_F12)
        save_images();
    else if (key != Qt::Key_F8)
        request_close();
}

void TMainForm::FormMouseDown()
{
    request_close();
}

void TMainForm::FormMouseMove(int x, int y)
{
    if (MouseSkipCount > 0) {
        --MouseSkipCount;
        return;
    }
    if (LastMouseX == -1 && LastMouseY == -1) {
        LastMouseX = x;
        LastMouseY = y;
        return;
    }
    // At least 3 pixels on both axes, measured from the last counted point,
    // so small movements add up and a move along one axis never counts.
    if (std::abs(x - LastMouseX) > 2 && std::abs(y - LastMouseY) > 2) {
        LastMouseX = x;
        LastMouseY = y;
        request_close();
    }
}

void TMainForm::request_close()
{
    if (Exporting) {
        close_after_export_ = true;
        return;
    }
    // A test from the configuration dialogs closes without the password, and
    // so does a hosted run: the host owns the password.
    if (velmora::run_mode != velmora::kRun || velmora::settings().TestRun || hosted()) {
        Timer1->stop();
        Timer2->stop();
        free_reflection_bitmaps();
        free_overlay_bitmaps();
        Closing = true;
        close();
        return;
    }
    // The prompt appearing and going away moves the pointer under the form.
    MouseSkipCount = 2;
    bool verified = true;
    if (velmora::SaverPassword::in_use()) {
        const bool taken = input_taken_;
        release_input();
        verified = velmora::SaverPassword::verify(this);
        if (taken && !Closing)
            take_input();
    }
    if (!verified)
        return;
    Closing = true;
    Timer1->stop();
    Timer2->stop();
    free_reflection_bitmaps();
    free_overlay_bitmaps();
    close();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TMainForm::FormClose()
{
    // However the window closes, nothing of the saver runs on.
    Closing = true;
    Timer1->stop();
    Timer2->stop();
    if (!hosted() && !leader_) {
        set_screensaver_running(false);
        velmora::set_info_box_owner(nullptr);
    }
    release_input();
    resize(width(), 100);
    for (const auto& form : followers_) {
        if (!form->Closing) {
            form->Closing = true;
            form->close();
        }
    }
}

void TMainForm::take_input()
{
    setCursor(Qt::BlankCursor);
    // A Wayland compositor has no grabs: input goes to the surface under the
    // pointer or with the keyboard focus, and each monitor's form passes it on.
    if (!velmora::on_wayland()) {
        grabMouse();
        grabKeyboard();
    }
    input_taken_ = true;
}

void TMainForm::release_input()
{
    if (input_taken_) {
        releaseMouse();
        releaseKeyboard();
    }
    input_taken_ = false;
    setCursor(Qt::ArrowCursor);
}

void TMainForm::inform(const std::string& text)
{
    // The form of another monitor builds what its leader has built already:
    // the leader has shown any message that matters.
    if (hosted() || leader_) {
        show_status(text);
        return;
    }
    const bool taken = input_taken_;
    release_input();
    velmora::show_info(text);
    if (Closing || !isVisible())
        return;
    // The keyboard comes back to the saver, whichever window the window
    // manager would hand it to once the box is gone.
    activateWindow();
    if (taken)
        take_input();
}
