#include "dialogs/locate_form.h"

#include "base/error.h"
#include "base/numbers.h"
#include "base/show_info.h"
#include "dialogs/wait_form.h"
#include "display/bitmap_view.h"
#include "imaging/rescaler.h"
#include "picture/picture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>

namespace {

constexpr int kClientWidth = 592;
constexpr int kClientHeight = 442;
constexpr int kPanelHeight = 356;
constexpr int kKnobSize = 10;
constexpr int kLineHeight = 2;

constexpr const char* kClickInstruction = "Instruction: Click on image to Define water-edge line";
constexpr const char* kDragInstruction
    = "Instruction: Drag red knobs to Adjust line or click on image or button to Reset";

int round_int(long double value)
{
    return static_cast<int>(velmora::round_half_even(value));
}

// The highest water edge a picture of this height can keep: two rows below
// its top, and never a negative value, which the setup dialog would refuse.
std::int32_t highest_edge(int picture_height)
{
    return std::max(picture_height - 2, 0);
}

} // namespace

LocateKnob::LocateKnob(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(kKnobSize, kKnobSize);
}

void LocateKnob::set_fill(const QColor& color)
{
    fill_ = color;
    update();
}

void LocateKnob::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill_);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

TLocateForm::TLocateForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LocateForm"));
    setWindowTitle(QStringLiteral("Locate Bottom"));
    setFixedSize(kClientWidth, kClientHeight);
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    move(200, 108);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1 = panel;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, kClientWidth, kPanelHeight);

    Image1 = new BitmapView(&view_, Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(QStringLiteral("Click to Define or Clear water edge line"));
    Image1->setMouseTracking(true);
    Image1->resize(0, 0);
    Image1->installEventFilter(this);

    Shape1 = new LocateKnob(Panel1);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape2 = new LocateKnob(Panel1);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    for (LocateKnob* knob : { Shape1, Shape2 }) {
        knob->hide();
        knob->installEventFilter(this);
    }

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel1->setGeometry(0, kPanelHeight, 0, kLineHeight);
    // Clicks on the line belong to the picture under it.
    Bevel1->setAttribute(Qt::WA_TransparentForMouseEvents);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    status_label_ = new QLabel(StatusBar1);
    StatusBar1->addWidget(status_label_, 1);
    const int status_height = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, kClientHeight - status_height, kClientWidth, status_height);

    // Below the panel: the instruction on the left; the check box and the
    // buttons on the right.
    const int below = kPanelHeight + 6;
    const int right_left = 346;
    InstructionLab = new QLabel(this);
    InstructionLab->setObjectName(QStringLiteral("InstructionLab"));
    QFont bold = font;
    bold.setBold(true);
    InstructionLab->setFont(bold);
    InstructionLab->setWordWrap(true);
    InstructionLab->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    InstructionLab->setGeometry(8, below, right_left - 16, StatusBar1->y() - below - 2);
    InstructionLab->setText(QString::fromLatin1(kClickInstruction));

    UseBottomCBox = new QCheckBox(QStringLiteral("Use Image's Bottom part for Reflection"), this);
    UseBottomCBox->setObjectName(QStringLiteral("UseBottomCBox"));
    UseBottomCBox->setGeometry(
        right_left, below, kClientWidth - right_left - 4, UseBottomCBox->sizeHint().height());
    UseBottomCBox->hide();
    connect(UseBottomCBox, &QCheckBox::toggled, this, &TLocateForm::UseBottomCBoxClick);

    ResetBut = new QPushButton(QStringLiteral("Reset"), this);
    ResetBut->setObjectName(QStringLiteral("ResetBut"));
    ResetBut->setEnabled(false);
    CloseBut = new QPushButton(QStringLiteral("Close"), this);
    CloseBut->setObjectName(QStringLiteral("CloseBut"));
    const int button_height = std::max(25, CloseBut->sizeHint().height());
    const int button_width = std::max(75, CloseBut->sizeHint().width());
    const int button_top = StatusBar1->y() - button_height - 6;
    CloseBut->setGeometry(kClientWidth - 8 - button_width, button_top, button_width, button_height);
    ResetBut->setGeometry(
        CloseBut->x() - 8 - button_width, button_top, button_width, button_height);
    connect(ResetBut, &QPushButton::clicked, this, &TLocateForm::ResetButClick);
    connect(CloseBut, &QPushButton::clicked, this, &TLocateForm::CloseButClick);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &TLocateForm::Timer1Timer);

    FormCreate();
}

TLocateForm::~TLocateForm() = default;

void TLocateForm::FormCreate()
{
    built_file_.clear();
    mirrored_ = false;
    activated_ = false;
    load_failed_ = false;
    failure_shown_ = false;
    opening_failed_ = false;
}

// ---------------------------------------------------------------------------
// Opening and closing

void TLocateForm::setVisible(bool visible)
{
    // The opening is prepared before the window reaches the screen, so a
    // picture that cannot be loaded keeps the window from ever showing.
    if (visible && !isVisible())
        FormActivate();
    QDialog::setVisible(visible);
}

void TLocateForm::done(int result)
{
    FormClose();
    QDialog::done(result);
    setAttribute(Qt::WA_DontShowOnScreen, false);
}

void TLocateForm::FormActivate()
{
    if (activated_)
        return;
    activated_ = true;
    opening_failed_ = false;
    UseBottomCBox->setChecked(UseBottom);
    UseBottomCBox->setVisible(ShowUseBottom);
    setWindowTitle(QString::fromStdString(std::filesystem::path(PictureFile).filename().string()));

    if (PictureFile != built_file_ || Image1->devicePixelRatioF() != built_ratio_) {
        Build();
        if (!load_failed_ && MirrorView) {
            velmora::flip_reverse(false, true, view_);
            mirrored_ = true;
        }
    } else {
        // The same file: its view is reused as it is, even when the file
        // changed on disk meanwhile.
        line_out_of_sight();
        if (mirrored_ != MirrorView) {
            velmora::flip_reverse(false, true, view_);
            mirrored_ = MirrorView;
        }
    }
    Image1->update();

    if (load_failed_) {
        // The modal showing still runs, without reaching the screen, until
        // Timer1 closes it: the caller's exec() returns as after any opening.
        opening_failed_ = true;
        setAttribute(Qt::WA_DontShowOnScreen, true);
        if (!failure_shown_) {
            velmora::show_info(failure_text_);
            failure_shown_ = true;
        }
        move(-5000, -5000);
        Timer1->start();
        return;
    }

    if (y() < -1000) {
        // Back from a failed opening, which moved the window away.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize screen_size = screen ? screen->geometry().size() : QSize(640, 480);
        const QSize window = frameGeometry().size();
        move(round_int(static_cast<long double>(screen_size.width() - window.width()) * 0.5L),
            round_int(static_cast<long double>(screen_size.height() - window.height()) * 0.5L));
    }
    Panel1->show();
    set_cursor();
}

void TLocateForm::FormClose()
{
    Timer1->stop();
    failure_shown_ = false;
    load_failed_ = false;
    MirrorView = false;
    activated_ = false;
    dragging_ = false;
    // A failed opening leaves the caller's value as it came: the last
    // picture's height says nothing about the file that failed.
    if (!opening_failed_ && PixelsFromBottom > highest_edge(picture_height_))
        PixelsFromBottom = highest_edge(picture_height_);
    opening_failed_ = false;
}

void TLocateForm::CloseButClick()
{
    Panel1->hide();
    close();
}

void TLocateForm::Timer1Timer()
{
    Timer1->stop();
    failure_shown_ = false;
    load_failed_ = false;
    close();
}

// ---------------------------------------------------------------------------
// Loading and scaling

void TLocateForm::Build()
{
    // The progress window lives until the end of this function, also when
    // the user clicked it away meanwhile.
    auto wait = std::make_unique<TWaitForm>();
    wait->SetText("Loading Image.  Please wait...");
    wait->show();
    QCoreApplication::processEvents();

    velmora::Bitmap picture;
    try {
        picture = velmora::load_picture(PictureFile);
    } catch (const std::exception&) {
        // Whatever the reason (missing, damaged, too large for memory), the
        // user is told the file could not be loaded; the view stays.
        load_failed_ = true;
        failure_text_ = "Error Loading Image " + PictureFile + "!";
        return;
    }

    const int W = picture.width();
    const int H = picture.height();
    if (PixelsFromBottom >= H)
        PixelsFromBottom = highest_edge(H);
    // load_picture hands over every format as a 24-bit bitmap of the
    // picture's own size, so the view takes it as it is.
    view_ = std::move(picture);
    picture_height_ = H;
    mirrored_ = false;

    // The view fills the panel's width less 40 pixels, unless the picture
    // (less 10 rows) would then be higher than the panel: then it is 40
    // pixels lower than the panel. A view of at least one pixel each way
    // keeps the scale finite for pictures of a few rows.
    const int PW = Panel1->width();
    const int PH = Panel1->height();
    view_width_ = PW - 40;
    view_height_ = round_int(static_cast<long double>(H - 10) * view_width_ / W);
    if (PH < view_height_) {
        view_height_ = PH - 40;
        view_width_ = round_int(static_cast<long double>(W) * view_height_ / H);
    }
    view_width_ = std::max(view_width_, 1);
    view_height_ = std::max(view_height_, 1);
    view_scale_ = static_cast<long double>(picture_height_) / view_height_;
    // The line works in the window's pixels; the picture is reduced to the
    // screen's own pixels under them, so a scaling screen shows it sharp.
    built_ratio_ = Image1->devicePixelRatioF();
    velmora::rescale_bitmap(view_, std::max(qRound(view_width_ * built_ratio_), 1),
        std::max(qRound(view_height_ * built_ratio_), 1));

    Image1->setGeometry(round_int(static_cast<long double>(PW - view_width_) * 0.5L + 0.5L),
        round_int(static_cast<long double>(PH - view_height_) * 0.5L + 0.5L), view_width_,
        view_height_);
    Image1->update();
    Panel1->show();
    built_file_ = PictureFile;

    Bevel1->setGeometry(Image1->x(), PH, Image1->width(), kLineHeight);
}

// ---------------------------------------------------------------------------
// The line and the knobs

std::int32_t TLocateForm::picture_value(int line_position) const
{
    return static_cast<std::int32_t>(velmora::round_half_even(
        view_scale_ * static_cast<long double>(view_height_ - line_position)));
}

int TLocateForm::line_position_for(std::int32_t picture_value) const
{
    if (view_height_ <= 0 || view_scale_ <= 0)
        return -1;
    const int line = round_int(static_cast<long double>(view_height_)
        - static_cast<long double>(picture_value) / view_scale_);
    return line < 0 || line > view_height_ ? -1 : line;
}

void TLocateForm::set_cursor()
{
    line_position_ = -1;
    waiting_for_click_ = true;
    dragging_ = false;
    ResetBut->setEnabled(false);
    const std::string status
        = "Current Setting=" + std::to_string(PixelsFromBottom) + " pixels from bottom";
    if (PixelsFromBottom <= 0) {
        HideMarks();
        set_instruction(kClickInstruction);
        show_status(status);
        return;
    }
    line_position_ = line_position_for(PixelsFromBottom);
    Bevel1->move(Bevel1->x(), Image1->y() + line_position_);
    waiting_for_click_ = false;
    show_status(status);
    ShowMarks();
    ResetBut->setEnabled(true);
    set_instruction(kDragInstruction);
}

void TLocateForm::Image1MouseMove(int, int y)
{
    if (!waiting_for_click_)
        return;
    // The line runs just above the pointer, so the pointer never hides it.
    Bevel1->move(Bevel1->x(), Image1->y() + y - 2 * Bevel1->height());
    show_status("Cursor Location:=" + std::to_string(picture_value(Bevel1->y() - Image1->y()))
        + ", New Setting=[NONE]");
}

void TLocateForm::Image1MouseDown(int, int)
{
    SetMouseClick();
}

void TLocateForm::SetMouseClick()
{
    if (waiting_for_click_) {
        waiting_for_click_ = false;
        line_position_ = Bevel1->y() - Image1->y();
        PixelsFromBottom = picture_value(line_position_);
        show_status("Current value=" + std::to_string(PixelsFromBottom) + " pixels from bottom");
        ShowMarks();
        ResetBut->setEnabled(true);
        set_instruction(kDragInstruction);
    } else {
        waiting_for_click_ = true;
        MakeOldMarks();
        PixelsFromBottom = 0;
        ResetBut->setEnabled(false);
        set_instruction(kClickInstruction);
    }
}

void TLocateForm::ShowMarks()
{
    const int top = round_int(
        static_cast<long double>(Image1->y() + line_position_) - Shape1->height() * 0.5L);
    Shape1->move(Image1->x() - Shape1->width(), top);
    Shape2->move(Image1->x() + Image1->width(), top);
    for (LocateKnob* knob : { Shape1, Shape2 }) {
        knob->set_fill(Qt::red);
        knob->show();
        knob->raise();
    }
    knobs_active_ = true;
}

void TLocateForm::HideMarks()
{
    Shape1->hide();
    Shape2->hide();
    knobs_active_ = false;
}

void TLocateForm::MakeOldMarks()
{
    Shape1->set_fill(Qt::white);
    Shape2->set_fill(Qt::white);
    knobs_active_ = false;
}

void TLocateForm::Shape2MouseDown(int, int y)
{
    if (!knobs_active_)
        return;
    dragging_ = true;
    grab_row_ = y;
}

void TLocateForm::Shape2MouseMove(int, int y)
{
    if (!dragging_)
        return;
    const int half = round_int(Shape1->height() * 0.5L);
    const int top = std::clamp(
        Shape1->y() + y - grab_row_, Image1->y() - half, Image1->y() + Image1->height() - half);
    Shape1->move(Shape1->x(), top);
    Shape2->move(Shape2->x(), top);
    Bevel1->move(Bevel1->x(), top + half);
    line_position_ = top + half - Image1->y();
    PixelsFromBottom = picture_value(line_position_);
    show_status("Current value=" + std::to_string(PixelsFromBottom) + " pixels from bottom");
}

void TLocateForm::Shape2MouseUp(int, int)
{
    dragging_ = false;
}

void TLocateForm::ResetButClick()
{
    PixelsFromBottom = 0;
    show_status("Current value=0 pixels from bottom");
    HideMarks();
    waiting_for_click_ = true;
    ResetBut->setEnabled(false);
    set_instruction(kClickInstruction);
    line_out_of_sight();
    // Also when the box is hidden: the reflection then comes from the
    // mirrored picture again.
    UseBottomCBox->setChecked(false);
    UseBottom = false;
}

void TLocateForm::UseBottomCBoxClick()
{
    UseBottom = UseBottomCBox->isChecked();
}

// ---------------------------------------------------------------------------
// Helpers

std::string TLocateForm::status_text() const
{
    return status_label_->text().toStdString();
}

void TLocateForm::show_status(const std::string& text)
{
    status_label_->setText(QString::fromStdString(text));
}

void TLocateForm::set_instruction(const char* text)
{
    InstructionLab->setText(QString::fromLatin1(text));
}

void TLocateForm::line_out_of_sight()
{
    Bevel1->move(Bevel1->x(), Panel1->height());
}

bool TLocateForm::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove
        && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return QDialog::eventFilter(watched, event);
    const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
    if (watched == Image1) {
        if (type == QEvent::MouseMove) {
            Image1MouseMove(p.x(), p.y());
        } else if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            // The line is where the pointer is, also when no move came first.
            Image1MouseMove(p.x(), p.y());
            Image1MouseDown(p.x(), p.y());
        }
        return true;
    }
    if (watched == Shape1 || watched == Shape2) {
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            Shape2MouseDown(p.x(), p.y());
        else if (type == QEvent::MouseMove)
            Shape2MouseMove(p.x(), p.y());
        else
            Shape2MouseUp(p.x(), p.y());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
