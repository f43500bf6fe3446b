#include "dialogs/overlay_form.h"

#include "base/numbers.h"
#include "base/show_info.h"
#include "dialogs/locate_form.h"
#include "dialogs/wait_form.h"
#include "dialogs/xoverlay_form.h"
#include "display/bitmap_view.h"
#include "imaging/rescaler.h"
#include "picture/picture.h"
#include "picture/qt/qimage_view.h"
#include "scene/global_bitmaps.h"
#include "scene/overlay_preview.h"
#include "scene/overlay_setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace {

constexpr int kClientWidth = 500;
constexpr int kClientHeight = 530;
constexpr int kPanel1Height = 390;
constexpr int kPanel2Top = 392;
constexpr int kPanel2Height = 119;
constexpr int kStatusHeight = 19;
constexpr int kMinScale = 5;
constexpr int kMaxScale = 500;
constexpr int kScaleStep = 5;
// An overlay may not be dragged so low that less than this much of the
// preview lies below its top.
constexpr int kBottomKeep = 10;

int rounded(long double value)
{
    return static_cast<int>(std::clamp<long long>(velmora::round_half_even(value),
        std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

QColor to_qcolor(velmora::Color c)
{
    return QColor(velmora::color_red(c), velmora::color_green(c), velmora::color_blue(c));
}

std::string file_name_part(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The overlay scale's up-down: it steps by 5, a typed value goes to the
// nearest step, and Enter takes the typed value without closing the dialog.
class ScaleUpDown : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& text, int& pos) const override
    {
        const QValidator::State state = QSpinBox::validate(text, pos);
        if (state == QValidator::Acceptable && valueFromText(text) % singleStep() != 0)
            return QValidator::Intermediate;
        return state;
    }
    void fixup(QString& text) const override
    {
        bool ok = false;
        const int typed = locale().toInt(text.trimmed(), &ok);
        if (!ok)
            return;
        const int step = singleStep();
        text = textFromValue(std::clamp((typed + step / 2) / step * step, minimum(), maximum()));
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        QSpinBox::keyPressEvent(event);
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            event->accept();
    }
};

} // namespace

// ---------------------------------------------------------------------------
// The overlay image

OverlayImage::OverlayImage(QWidget* parent)
    : QWidget(parent)
{
    setToolTip(QStringLiteral("Click and drag to desired location"));
}

void OverlayImage::set_picture(const velmora::Bitmap& bitmap, velmora::Color key, QSize size)
{
    bitmap_ = bitmap;
    resize(size.isValid() ? size : QSize(bitmap_.width(), bitmap_.height()));
    set_key(key);
}

void OverlayImage::set_key(velmora::Color key)
{
    key_ = key;
    image_ = velmora::keyed_qimage(bitmap_, key_);
    if (width() > 0 && bitmap_.width() > width())
        image_.setDevicePixelRatio(static_cast<qreal>(bitmap_.width()) / width());
    update();
}

void OverlayImage::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void OverlayImage::mousePressEvent(QMouseEvent* event)
{
    if (on_mouse_down)
        on_mouse_down(event->position().toPoint().x(), event->position().toPoint().y());
}

void OverlayImage::mouseMoveEvent(QMouseEvent* event)
{
    if (on_mouse_move)
        on_mouse_move(event->position().toPoint().x(), event->position().toPoint().y());
}

void OverlayImage::mouseReleaseEvent(QMouseEvent*)
{
    if (on_mouse_up)
        on_mouse_up();
}

// ---------------------------------------------------------------------------
// Creation

TOverlayForm::TOverlayForm(QWidget* parent)
    : QDialog(parent)
{
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    Panel1 = new QFrame(this);
    Panel1->setGeometry(0, 0, kClientWidth, kPanel1Height);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Image1 = new BitmapView(&image1_bitmap_, Panel1);
    Image1->hide();
    Image2 = new OverlayImage(Panel1);
    Image2->hide();
    Image2->on_mouse_down = [this](int x, int y) { Image2MouseDown(x, y); };
    Image2->on_mouse_move = [this](int x, int y) { Image2MouseMove(x, y); };
    Image2->on_mouse_up = [this] { Image2MouseUp(); };

    Panel2 = new QWidget(this);
    Panel2->setGeometry(0, kPanel2Top, kClientWidth, kPanel2Height);
    build_controls();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);

    Timer1 = new QTimer(this);
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    FormCreate();
}

TOverlayForm::~TOverlayForm() = default;

void TOverlayForm::build_controls()
{
    const auto button = [this](const char* caption, const char* hint) {
        auto* b = new QPushButton(QString::fromUtf8(caption), Panel2);
        if (hint)
            b->setToolTip(QString::fromUtf8(hint));
        b->setAutoDefault(false);
        // As wide as its caption needs, not the style's wider minimum: the
        // control strip has a fixed width.
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(b->text()) + 18);
        return b;
    };
    const auto check = [this](const char* caption, const char* hint) {
        auto* c = new QCheckBox(QString::fromUtf8(caption), Panel2);
        if (hint)
            c->setToolTip(QString::fromUtf8(hint));
        return c;
    };
    Label2 = new QLabel(QStringLiteral("Overlay Scale:"), Panel2);
    OverlayScaleLab = new QLabel(QStringLiteral("100%"), Panel2);
    OverlayScaleLab->setMinimumWidth(OverlayScaleLab->fontMetrics().horizontalAdvance("500%"));
    Set100But = button("Reset", "Reset scale to 100%");
    UpDown1 = new ScaleUpDown(Panel2);
    UpDown1->setRange(kMinScale, kMaxScale);
    UpDown1->setSingleStep(kScaleStep);
    UpDown1->setWrapping(false);
    UpDown1->setKeyboardTracking(false);
    UpDown1->setToolTip(QStringLiteral("Change Overlay Scale"));
    UpDown1->setFixedWidth(UpDown1->fontMetrics().horizontalAdvance("5000") + 28);
    DepthBut = button("Footing...", "Set footing (water edge ) for overlay");
    ShowBoundCBox = check("Show Bound Rect.",
        "Check to show  bound rectangle around Overlay image\nand its refelection, if applicable");
    OverlayReflectionCBox
        = check("Apply Overlay Refection", "Check to apply reflection on overlay to final image");
    AutoXCBox = check(
        "Auto Transparent Color", "Check to use bottom-left pixel color as transparent color");
    ResetBut = button("Move to Origin", "Move Overlay to Top-Left corner (0,0)");
    BackGroundBut = button("Toggle Background", "Turn background on off");
    FlipOverlayCBox = check("Flip Overlay Image", nullptr);
    SelectXBut = button(
        "Select Transparent Color...", "Click here to select transparent color of overlay image");
    Shape1 = new QFrame(Panel2);
    Shape1->setFixedSize(22, 16);
    Shape1->setToolTip(QStringLiteral("Current Transparent Color"));
    Label1 = new QLabel(QStringLiteral("Ref. Brightness"), Panel2);
    OBrightnessLab = new QLabel(QStringLiteral("0"), Panel2);
    OBrightnessTBar = new QSlider(Qt::Horizontal, Panel2);
    OBrightnessTBar->setRange(-200, 200);
    OBrightnessTBar->setToolTip(QStringLiteral("Adjust Overlay Reflection Brightness Level"));
    OrefResetBut = button("Reset", "Reset Reflection Brightness Level");
    Label3 = new QLabel(QStringLiteral("Ref Wave Shape"), Panel2);
    ORefWaveLab = new QLabel(QStringLiteral("0"), Panel2);
    ORefWaveTbar = new QSlider(Qt::Horizontal, Panel2);
    ORefWaveTbar->setRange(-20, 20);
    OrefWaveResetBut = button("Reset", nullptr);
    CancelBut = button("Cancel", nullptr);
    CloseBut = button("Done", nullptr);
    CloseBut->setDefault(true);
    for (QLabel* value : { OBrightnessLab, ORefWaveLab })
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-200"));

    // Overlay controls on the left, the reflection's adjustments and the
    // closing buttons on the right.
    auto* strip = new QHBoxLayout(Panel2);
    strip->setContentsMargins(4, 1, 4, 1);
    strip->setSpacing(10);
    auto* left = new QGridLayout;
    left->setVerticalSpacing(1);
    left->setHorizontalSpacing(4);
    auto* scale = new QHBoxLayout;
    scale->setSpacing(4);
    scale->addWidget(Label2);
    scale->addWidget(OverlayScaleLab);
    scale->addWidget(UpDown1);
    scale->addWidget(Set100But);
    scale->addStretch(1);
    scale->addWidget(DepthBut);
    left->addLayout(scale, 0, 0, 1, 2);
    left->addWidget(ResetBut, 1, 0);
    left->addWidget(BackGroundBut, 1, 1);
    auto* colour = new QHBoxLayout;
    colour->setSpacing(4);
    colour->addWidget(SelectXBut);
    colour->addWidget(Shape1);
    colour->addStretch(1);
    left->addLayout(colour, 2, 0, 1, 2);
    left->addWidget(FlipOverlayCBox, 3, 0);
    left->addWidget(AutoXCBox, 3, 1);
    left->addWidget(ShowBoundCBox, 4, 0);
    left->addWidget(OverlayReflectionCBox, 4, 1);
    strip->addLayout(left);

    auto* right = new QGridLayout;
    right->setVerticalSpacing(0);
    right->setHorizontalSpacing(4);
    right->addWidget(Label1, 0, 0);
    right->addWidget(OBrightnessLab, 0, 1);
    right->addWidget(OrefResetBut, 0, 2);
    right->addWidget(OBrightnessTBar, 1, 0, 1, 3);
    right->addWidget(Label3, 2, 0);
    right->addWidget(ORefWaveLab, 2, 1);
    right->addWidget(OrefWaveResetBut, 2, 2);
    right->addWidget(ORefWaveTbar, 3, 0, 1, 3);
    auto* closing = new QHBoxLayout;
    closing->setSpacing(4);
    closing->addWidget(CancelBut);
    closing->addWidget(CloseBut);
    right->addLayout(closing, 4, 0, 1, 3);
    strip->addLayout(right, 1);
    for (QPushButton* b : { CancelBut, CloseBut }) {
        b->setMinimumWidth(0);
        b->setMaximumWidth(QWIDGETSIZE_MAX);
    }

    connect(Set100But, &QPushButton::clicked, this, [this] { Set100ButClick(); });
    connect(UpDown1, &QSpinBox::valueChanged, this, [this] { UpDown1Click(); });
    connect(DepthBut, &QPushButton::clicked, this, [this] { DepthButClick(); });
    connect(ShowBoundCBox, &QCheckBox::clicked, this, [this] { ShowBoundCBoxClick(); });
    connect(
        OverlayReflectionCBox, &QCheckBox::clicked, this, [this] { OverlayReflectionCBoxClick(); });
    connect(AutoXCBox, &QCheckBox::clicked, this, [this] { AutoXCBoxClick(); });
    connect(ResetBut, &QPushButton::clicked, this, [this] { ResetButClick(); });
    connect(BackGroundBut, &QPushButton::clicked, this, [this] { BackGroundButClick(); });
    connect(FlipOverlayCBox, &QCheckBox::clicked, this, [this] {
        if (flip_handler_attached_)
            FlipOverlayCBoxClick();
    });
    connect(SelectXBut, &QPushButton::clicked, this, [this] { SelectXButClick(); });
    connect(OBrightnessTBar, &QSlider::valueChanged, this, [this] { OBrightnessTBarChange(); });
    connect(OrefResetBut, &QPushButton::clicked, this, [this] { OrefResetButClick(); });
    connect(ORefWaveTbar, &QSlider::valueChanged, this, [this] { ORefWaveTbarChange(); });
    connect(OrefWaveResetBut, &QPushButton::clicked, this, [this] { OrefWaveResetButClick(); });
    connect(CancelBut, &QPushButton::clicked, this, [this] { CancelButClick(); });
    connect(CloseBut, &QPushButton::clicked, this, [this] { CloseButClick(); });
}

void TOverlayForm::FormCreate()
{
    ShowBound = true;
    last_main_.clear();
    last_overlay_.clear();
    reset_flags();
}

void TOverlayForm::set_parameters(const velmora::Settings& s)
{
    ImageFileName = s.ImageFileName;
    OverlayFileName = s.OverlayFileName;
    XOffSet = s.XOffSet;
    YOffSet = s.YOffSet;
    OverlayZoomFactor = s.OverlayZoomFactor;
    OverlayXparentColor = s.OverlayXparentColor;
    Overlay24BitXparentColor = s.Overlay24BitXparentColor;
    AutoOverlayXparentColor = s.AutoOverlayXparentColor;
    OverlayReflection = s.OverlayReflection;
    ShiftPixels = s.ShiftHorizon ? s.ShiftPixels : 0;
    ReflectionHeightPercent = s.ReflectionHeightPercent;
    FlipOverlay = s.FlipOverlay;
    BrightnessLevel = s.BrightnessLevel;
    OverlayShiftPixels = s.OverlayShiftPixels;
    OverlayBrightnessLevel = s.OverlayBrightnessLevel;
    UseImageBottom = s.UseImageBottom;
    OverlayWaveAdjustment = s.OverlayWaveAdjustment;
}

void TOverlayForm::take_parameters(velmora::Settings& s) const
{
    s.XOffSet = XOffSet;
    s.YOffSet = YOffSet;
    s.OverlayZoomFactor = OverlayZoomFactor;
    s.OverlayXparentColor = OverlayXparentColor;
    s.Overlay24BitXparentColor = Overlay24BitXparentColor;
    s.AutoOverlayXparentColor = AutoOverlayXparentColor;
    s.OverlayReflection = OverlayReflection;
    s.FlipOverlay = FlipOverlay;
    s.OverlayShiftPixels = OverlayShiftPixels;
    s.OverlayBrightnessLevel = OverlayBrightnessLevel;
    s.OverlayWaveAdjustment = OverlayWaveAdjustment;
}

TLocateForm* TOverlayForm::locate_form()
{
    if (!locate_form_)
        locate_form_ = new TLocateForm(this);
    return locate_form_;
}

TXOverlayForm* TOverlayForm::xoverlay_form()
{
    if (!xoverlay_form_)
        xoverlay_form_ = new TXOverlayForm(this);
    return xoverlay_form_;
}

// ---------------------------------------------------------------------------
// Opening and closing

void TOverlayForm::setVisible(bool visible)
{
    // The previews are built before the window reaches the screen, so an
    // opening that fails shows its message and never the dialog; the window
    // keeps its place for the next opening.
    if (visible && !isVisible()) {
        if (!built_)
            build_preview();
        setAttribute(Qt::WA_DontShowOnScreen, main_error_ || overlay_error_);
    }
    QDialog::setVisible(visible);
}

void TOverlayForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TOverlayForm::FormActivate()
{
    setWindowTitle(QString::fromStdString(file_name_part(ImageFileName)));
    moved_ = false;
    dragging_ = false;
    if (!built_)
        build_preview();
    const bool failed = main_error_ || overlay_error_;

    {
        const QSignalBlocker block(UpDown1);
        UpDown1->setRange(kMinScale, kMaxScale);
        UpDown1->setValue(OverlayZoomFactor);
    }
    OverlayReflectionCBox->setChecked(OverlayReflection);
    ShowBoundCBox->setChecked(ShowBound);
    OverlayScaleLab->setText(QStringLiteral("%1%").arg(OverlayZoomFactor));
    show_transparent_color();
    AutoXCBox->setChecked(AutoOverlayXparentColor);
    // After a failed build the overlay shown may not be the overlay named,
    // so its colours are not taken: the caller's colours stay as they were.
    if (!failed)
        AutoXCBoxClick();
    flip_handler_attached_ = false;
    FlipOverlayCBox->setChecked(FlipOverlay);
    OBrightnessTBar->setValue(OverlayBrightnessLevel);
    OBrightnessTBarChange();
    ORefWaveTbar->setValue(OverlayWaveAdjustment);
    ORefWaveTbarChange();

    if (failed) {
        // The message comes once the modal showing runs; the timer then
        // closes the dialog with every parameter as it was.
        QTimer::singleShot(0, this, [this] {
            show_error();
            Timer1->start();
        });
        flip_handler_attached_ = true;
        return;
    }
    if (first_show_) {
        const QRect screen = this->screen() ? this->screen()->geometry() : QRect();
        move(rounded((screen.width() - frameGeometry().width()) * 0.5L) + screen.x(),
            rounded((screen.height() - frameGeometry().height()) * 0.5L) + screen.y());
        first_show_ = false;
    }
    flip_handler_attached_ = true;
    if (ShowBound)
        draw_bound_rect();
    show_position();
}

void TOverlayForm::show_error()
{
    if (message_shown_)
        return;
    message_shown_ = true;
    velmora::show_info(error_text_);
}

void TOverlayForm::Timer1Timer()
{
    Timer1->stop();
    erase_bound_rect();
    reset_flags();
    QDialog::reject();
}

void TOverlayForm::reset_flags()
{
    main_error_ = false;
    overlay_error_ = false;
    message_shown_ = false;
    built_ = false;
}

void TOverlayForm::CloseButClick()
{
    const QPoint offset = overlay_offset();
    XOffSet = offset.x();
    YOffSet = offset.y();
    erase_bound_rect();
    reset_flags();
    Panel1->hide();
    accept();
}

void TOverlayForm::CancelButClick()
{
    erase_bound_rect();
    built_ = false;
    Panel1->hide();
    QDialog::reject();
}

void TOverlayForm::reject()
{
    // Escape and the close box cancel, as the button does; while an error
    // closes the dialog the timer does it.
    if (Timer1->isActive() || main_error_ || overlay_error_)
        return;
    CancelButClick();
}

// ---------------------------------------------------------------------------
// Building the previews

void TOverlayForm::build_preview()
{
    // The progress window lives until the end of this function.
    const auto wait = std::make_unique<TWaitForm>();
    wait->SetText("Building images.  Please wait...");
    wait->show();
    QCoreApplication::processEvents();
    const velmora::MainPreviewInput wanted { ShiftPixels, ReflectionHeightPercent, BrightnessLevel,
        UseImageBottom };
    const velmora::MainPreviewInput last { last_shift_, last_percent_, last_brightness_,
        last_use_bottom_ };
    if (ImageFileName != last_main_ || !(wanted == last) || image1_bitmap_.empty()) {
        build_main_preview();
        if (main_error_) {
            built_ = true;
            return;
        }
    }
    if (OverlayFileName != last_overlay_ || OverlayShiftPixels != last_footing_
        || !velmora::shared_overlay_bitmap()) {
        if (!load_overlay()) {
            built_ = true;
            return;
        }
    }
    // The orientation follows the flag even when the caller changed the flag
    // without a new picture.
    if (overlay_mirrored_ != FlipOverlay)
        mirror_overlay();
    make_overlay_image();
    place_overlay_image();
    Image1->show();
    Image2->show();
    Image2->raise();
    bound_drawn_ = false;
    xor_pen_ = true;
    Panel1->show();
    built_ = true;
    OverlayChanged = false;
}

void TOverlayForm::build_main_preview()
{
    velmora::Bitmap picture;
    try {
        ++main_loads_;
        picture = velmora::load_picture(ImageFileName);
    } catch (const std::exception&) {
        main_error_ = true;
        error_text_ = "Error loading Main Image " + ImageFileName + "!";
        return;
    }
    // On a scaling screen the preview is built for the panel's device
    // pixels, so the picture is reduced once, never enlarged again; the
    // dialog keeps placing everything in its own coordinates.
    const qreal ratio = Image1->devicePixelRatioF();
    const auto to_device = [ratio](int v) { return qRound(v * ratio); };
    const auto to_logical = [ratio](int v) { return qRound(v / ratio); };
    velmora::MainPreview preview;
    try {
        preview = velmora::build_main_preview(picture,
            { ShiftPixels, ReflectionHeightPercent, BrightnessLevel, UseImageBottom },
            to_device(Panel1->width()), to_device(Panel1->height()));
    } catch (const std::exception& e) {
        main_error_ = true;
        error_text_ = e.what();
        return;
    }
    image1_bitmap_ = std::move(preview.bitmap);
    preview_scale_ = preview.PreviewScale * static_cast<long double>(ratio);
    water_line_y_ = to_logical(preview.WaterLineY);
    Image1->setGeometry(to_logical(preview.left), to_logical(preview.top),
        static_cast<int>(std::ceil(image1_bitmap_.width() / ratio)),
        static_cast<int>(std::ceil(image1_bitmap_.height() / ratio)));
    // The water line, inverted once the pen draws XOR.
    QImage canvas = velmora::qimage_view(image1_bitmap_);
    {
        QPainter painter(&canvas);
        if (xor_pen_)
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(
            QRect(0, preview.WaterLineY, image1_bitmap_.width(), std::max(to_device(1), 1)),
            Qt::white);
    }
    Image1->update();
    update();
    last_main_ = ImageFileName;
    last_shift_ = ShiftPixels;
    last_percent_ = ReflectionHeightPercent;
    last_brightness_ = BrightnessLevel;
    last_use_bottom_ = UseImageBottom;
}

bool TOverlayForm::load_overlay()
{
    velmora::Bitmap overlay;
    try {
        ++overlay_loads_;
        overlay = velmora::load_overlay_picture(OverlayFileName, OverlayShiftPixels);
    } catch (const std::exception&) {
        overlay_error_ = true;
        error_text_ = "Error Loading Overlay Image " + OverlayFileName + "!";
        return false;
    }
    std::unique_ptr<velmora::Bitmap>& shared = velmora::shared_overlay_bitmap();
    if (!shared)
        shared = std::make_unique<velmora::Bitmap>();
    *shared = std::move(overlay);
    overlay_mirrored_ = false;
    last_overlay_ = OverlayFileName;
    last_footing_ = OverlayShiftPixels;
    // The bottom-left pixel of the picture as loaded, before any mirroring:
    // the pixel the saver takes for its automatic colour.
    if (!shared->empty()) {
        auto_color_ = screen_corner_color();
        auto_color_24_ = shared->pixel(0, shared->height() - 1);
    }
    if (FlipOverlay)
        mirror_overlay();
    return true;
}

void TOverlayForm::make_overlay_image()
{
    const velmora::Bitmap& shared = *velmora::shared_overlay_bitmap();
    velmora::Bitmap copy = shared;
    copy.set_transparent(false);
    const auto [w, h] = velmora::overlay_preview_size(
        preview_scale_, shared.width(), shared.height(), OverlayZoomFactor);
    // Reduced to the screen's own pixels, as the main preview is.
    const qreal ratio = Image2->devicePixelRatioF();
    velmora::rescale_bitmap(copy, std::max(qRound(w * ratio), 1), std::max(qRound(h * ratio), 1));
    Image2->set_picture(copy, OverlayXparentColor, QSize(w, h));
}

void TOverlayForm::place_overlay_image()
{
    int left = velmora::overlay_preview_position(preview_scale_, XOffSet, Image1->x());
    int top = velmora::overlay_preview_position(preview_scale_, YOffSet, Image1->y());
    // An overlay wholly off the panel comes back to the preview's corner,
    // where it can be seen and taken; the position then is the one shown.
    if (left > Panel1->width() || left < -Image2->width()) {
        left = Image1->x();
        moved_ = true;
    }
    if (top > Panel1->height() || top < -Image2->height()) {
        top = Image1->y();
        moved_ = true;
    }
    Image2->move(left, top);
}

void TOverlayForm::reload_overlay()
{
    erase_bound_rect();
    Image2->hide();
    if (load_overlay()) {
        make_overlay_image();
    } else {
        // The picture went away since the locator showed it: keep the
        // overlay shown, and the footing that belongs to it.
        overlay_error_ = false;
        message_shown_ = false;
        OverlayShiftPixels = last_footing_;
        show_error();
        message_shown_ = false;
    }
    Image2->show();
    Image2->raise();
    if (ShowBound)
        draw_bound_rect();
    show_position();
}

void TOverlayForm::apply_zoom(int percent)
{
    erase_bound_rect();
    make_overlay_image();
    OverlayScaleLab->setText(QStringLiteral("%1%").arg(percent));
    if (ShowBound)
        draw_bound_rect();
}

void TOverlayForm::mirror_overlay()
{
    std::unique_ptr<velmora::Bitmap>& shared = velmora::shared_overlay_bitmap();
    if (!shared)
        return;
    velmora::flip_reverse(false, true, *shared);
    overlay_mirrored_ = !overlay_mirrored_;
}

velmora::Color TOverlayForm::screen_corner_color()
{
    const velmora::Bitmap& shared = *velmora::shared_overlay_bitmap();
    const velmora::Color own = shared.pixel(0, shared.height() - 1);
    // The overlay's bottom-left pixel goes into the strip between the two
    // panels; what the window renders there is the colour the display shows.
    probe_pixel_ = own;
    const QRect probe(0, Panel1->height(), 1, 1);
    const QImage shot = grab(probe).toImage();
    QCoreApplication::processEvents();
    probe_pixel_.reset();
    update(0, Panel1->height(), width(), 1);
    if (shot.isNull() || shot.width() < 1 || shot.height() < 1)
        return own;
    const QColor c = shot.pixelColor(0, 0);
    return velmora::make_color(c.red(), c.green(), c.blue());
}

void TOverlayForm::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!probe_pixel_)
        return;
    QPainter painter(this);
    painter.setPen(to_qcolor(*probe_pixel_));
    painter.drawPoint(0, Panel1->height());
}

// ---------------------------------------------------------------------------
// Moving

void TOverlayForm::Image2MouseDown(int x, int y)
{
    dragging_ = true;
    drag_point_ = QPoint(x, y);
}

void TOverlayForm::Image2MouseUp()
{
    dragging_ = false;
}

void TOverlayForm::Image2MouseMove(int x, int y)
{
    if (!dragging_)
        return;
    const int left = Image2->x() + (x - drag_point_.x());
    const int top = Image2->y() + (y - drag_point_.y());
    // At least one column of the overlay stays over the preview, its bottom
    // below the preview's top and its top above the preview's bottom.
    if (left >= Image1->x() + Image1->width() || left <= Image1->x() - Image2->width()
        || top >= Image1->y() + Image1->height() - kBottomKeep
        || top <= Image1->y() - Image2->height())
        return;
    erase_bound_rect();
    Image2->move(left, top);
    moved_ = true;
    OverlayChanged = true;
    update_bound_rect();
    show_position();
}

void TOverlayForm::ResetButClick()
{
    erase_bound_rect();
    Image2->move(Image1->pos());
    moved_ = true;
    OverlayChanged = true;
    update_bound_rect();
    show_position();
}

QPoint TOverlayForm::overlay_offset() const
{
    if (!moved_)
        return QPoint(XOffSet, YOffSet);
    return QPoint(velmora::overlay_picture_offset(preview_scale_, Image2->x() - Image1->x()),
        velmora::overlay_picture_offset(preview_scale_, Image2->y() - Image1->y()));
}

bool TOverlayForm::no_overlay_rows() const
{
    const std::unique_ptr<velmora::Bitmap>& shared = velmora::shared_overlay_bitmap();
    return shared && shared->empty();
}

void TOverlayForm::show_position()
{
    if (no_overlay_rows()) {
        StatusBar1->showMessage(QString::fromLatin1(velmora::kNoOverlayRows));
        return;
    }
    const QPoint offset = overlay_offset();
    StatusBar1->showMessage(QStringLiteral("X-Left=%1, Y-Top=%2").arg(offset.x()).arg(offset.y()));
}

// ---------------------------------------------------------------------------
// The bound rectangle

QImage TOverlayForm::preview_canvas()
{
    QImage canvas = velmora::qimage_view(image1_bitmap_);
    if (!canvas.isNull() && Image1->width() > 0 && image1_bitmap_.width() > Image1->width())
        canvas.setDevicePixelRatio(Image1->devicePixelRatioF());
    return canvas;
}

void TOverlayForm::xor_bound_figure()
{
    // Drawn in Image1's coordinates, each of its pixels covering as many of
    // the preview's as the screen scales by.
    QImage canvas = preview_canvas();
    if (canvas.isNull())
        return;
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::NoPen);
    // Each outline pixel is inverted exactly once, so drawing the figure a
    // second time restores the preview.
    const auto frame = [&](int x1, int y1, int x2, int y2) {
        if (x2 <= x1 || y2 <= y1)
            return;
        painter.fillRect(QRect(x1, y1, x2 - x1, 1), Qt::white);
        if (y2 - 1 > y1)
            painter.fillRect(QRect(x1, y2 - 1, x2 - x1, 1), Qt::white);
        if (y2 - 2 > y1) {
            painter.fillRect(QRect(x1, y1 + 1, 1, y2 - y1 - 2), Qt::white);
            if (x2 - 1 > x1)
                painter.fillRect(QRect(x2 - 1, y1 + 1, 1, y2 - y1 - 2), Qt::white);
        }
    };
    const int x1 = Image2->x() - Image1->x();
    const int x2 = x1 + Image2->width();
    const int y1 = Image2->y() - Image1->y();
    const int y2 = y1 + Image2->height();
    const int h = Image2->height();
    frame(x1, y1, x2, y2);
    if (OverlayReflection) {
        // Above the water line the reflection is the overlay mirrored at the
        // line; reaching it, the reflection hangs below the overlay.
        const int top = y2 < water_line_y_ ? 2 * water_line_y_ - y2 : y2;
        frame(x1, top, x2, top + h);
    }
    painter.end();
    Image1->update();
}

void TOverlayForm::draw_bound_rect()
{
    if (bound_drawn_)
        return;
    xor_bound_figure();
    bound_drawn_ = true;
}

void TOverlayForm::erase_bound_rect()
{
    if (!bound_drawn_)
        return;
    xor_bound_figure();
    bound_drawn_ = false;
}

void TOverlayForm::update_bound_rect()
{
    if (ShowBound)
        draw_bound_rect();
    else
        erase_bound_rect();
}

void TOverlayForm::ShowBoundCBoxClick()
{
    ShowBound = ShowBoundCBox->isChecked();
    update_bound_rect();
}

void TOverlayForm::OverlayReflectionCBoxClick()
{
    erase_bound_rect();
    OverlayReflection = OverlayReflectionCBox->isChecked();
    if (ShowBound)
        draw_bound_rect();
}

// ---------------------------------------------------------------------------
// Scale, mirror, footing, colours

void TOverlayForm::UpDown1Click()
{
    UpDown1->setEnabled(false);
    OverlayZoomFactor = UpDown1->value();
    apply_zoom(OverlayZoomFactor);
    UpDown1->setEnabled(true);
    OverlayChanged = true;
}

void TOverlayForm::Set100ButClick()
{
    OverlayZoomFactor = 100;
    {
        const QSignalBlocker block(UpDown1);
        UpDown1->setValue(100);
    }
    apply_zoom(100);
    OverlayChanged = true;
    UpDown1->setEnabled(true);
}

void TOverlayForm::FlipOverlayCBoxClick()
{
    FlipOverlay = FlipOverlayCBox->isChecked();
    FlipOverlayCBox->setEnabled(false);
    mirror_overlay();
    apply_zoom(OverlayZoomFactor);
    FlipOverlayCBox->setEnabled(true);
}

void TOverlayForm::DepthButClick()
{
    TLocateForm* locate = locate_form();
    locate->PictureFile = OverlayFileName;
    locate->PixelsFromBottom = OverlayShiftPixels;
    if (FlipOverlay)
        locate->MirrorView = true;
    locate->ShowUseBottom = false;
    locate->exec();
    const int footing = locate->PixelsFromBottom;
    if (footing == OverlayShiftPixels)
        return;
    OverlayShiftPixels = footing;
    reload_overlay();
    OverlayChanged = true;
}

void TOverlayForm::show_transparent_color()
{
    Shape1->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid black;")
                              .arg(to_qcolor(OverlayXparentColor).name()));
    Image2->set_key(OverlayXparentColor);
}

void TOverlayForm::AutoXCBoxClick()
{
    AutoOverlayXparentColor = AutoXCBox->isChecked();
    SelectXBut->setEnabled(!AutoOverlayXparentColor);
    // Without rows there is no corner pixel: as in the saver, the colours
    // stay as they are.
    if (!AutoOverlayXparentColor || no_overlay_rows())
        return;
    OverlayXparentColor = auto_color_;
    Overlay24BitXparentColor = auto_color_24_;
    show_transparent_color();
    Image1->update();
}

void TOverlayForm::SelectXButClick()
{
    TXOverlayForm* picker = xoverlay_form();
    picker->OverlayXparentColor = OverlayXparentColor;
    picker->Overlay24BitXparentColor = Overlay24BitXparentColor;
    picker->exec();
    OverlayXparentColor = picker->OverlayXparentColor;
    Overlay24BitXparentColor = picker->Overlay24BitXparentColor;
    show_transparent_color();
    OverlayChanged = true;
    Image1->update();
}

void TOverlayForm::OBrightnessTBarChange()
{
    OverlayBrightnessLevel = OBrightnessTBar->value();
    OBrightnessLab->setText(QString::number(OverlayBrightnessLevel));
}

void TOverlayForm::ORefWaveTbarChange()
{
    OverlayWaveAdjustment = ORefWaveTbar->value();
    ORefWaveLab->setText(QString::number(OverlayWaveAdjustment));
}

void TOverlayForm::OrefResetButClick()
{
    OBrightnessTBar->setValue(0);
    OBrightnessTBarChange();
    OverlayChanged = true;
}

void TOverlayForm::OrefWaveResetButClick()
{
    ORefWaveTbar->setValue(0);
    ORefWaveTbarChange();
    OverlayChanged = true;
}

void TOverlayForm::BackGroundButClick()
{
    Image1->setVisible(!Image1->isVisible());
}
