#include "dialogs/xoverlay_form.h"

#include "base/numbers.h"
#include "imaging/rescaler.h"
#include "picture/qt/qimage_view.h"
#include "scene/global_bitmaps.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <algorithm>
#include <limits>

namespace velmora {

QImage keyed_qimage(const Bitmap& bitmap, Color key)
{
    if (bitmap.empty())
        return {};
    QImage image = qimage_view(bitmap).convertToFormat(QImage::Format_ARGB32);
    const QRgb clear = qRgba(0, 0, 0, 0);
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x)
            if (bitmap.pixel(x, y) == key)
                line[x] = clear;
    }
    return image;
}

QString color_components(Color color)
{
    return QStringLiteral("R=%1, G=%2, B=%3")
        .arg(color_red(color))
        .arg(color_green(color))
        .arg(color_blue(color));
}

const char* const kNoOverlayRows
    = "The footing leaves no rows of the overlay image: no overlay is shown.";

} // namespace velmora

namespace {

constexpr int kClientWidth = 348;
constexpr int kClientHeight = 328;
constexpr int kPanelHeight = 83;
// The picture keeps 20 pixels of the surface free on every side.
constexpr int kMargin = 40;
// Grid lines run every 6 rows.
constexpr int kGridStep = 6;

QColor to_qcolor(velmora::Color c)
{
    return QColor(velmora::color_red(c), velmora::color_green(c), velmora::color_blue(c));
}

velmora::Color from_qcolor(const QColor& c)
{
    return velmora::make_color(c.red(), c.green(), c.blue());
}

void fill_swatch(QFrame* swatch, velmora::Color c)
{
    swatch->setStyleSheet(
        QStringLiteral("background-color: %1; border: 1px solid black;").arg(to_qcolor(c).name()));
}

int rounded(long double value)
{
    return static_cast<int>(
        std::clamp<long long>(velmora::round_half_even(value), 0, std::numeric_limits<int>::max()));
}

} // namespace

TXOverlayForm::TXOverlayForm(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Pick Overlay Transparent Color"));
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);

    Panel1 = new QFrame(this);
    Panel1->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);
    Panel1->setAutoFillBackground(true);
    auto* grid = new QGridLayout(Panel1);
    grid->setContentsMargins(4, 3, 4, 3);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(3);
    // The two colour groups, each framed by its bevel, share their columns.
    auto* bevel1 = new QFrame(Panel1);
    bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* bevel2 = new QFrame(Panel1);
    bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    grid->addWidget(bevel1, 0, 0, 1, 3);
    grid->addWidget(bevel2, 1, 0, 1, 3);
    Label2 = new QLabel(QStringLiteral("Cursor Color:"), Panel1);
    CurrentShape = new QFrame(Panel1);
    CurrentShape->setFixedSize(18, 12);
    RGBLab = new QLabel(QStringLiteral("Color RGB Components"), Panel1);
    Label1 = new QLabel(QStringLiteral("Current Transparent (Click to Set):"), Panel1);
    Label1->setToolTip(QStringLiteral("Click on the Image to set Transparent color"));
    SetShape = new QFrame(Panel1);
    SetShape->setFixedSize(18, 12);
    RGBSetLab = new QLabel(QStringLiteral("Color RGB Components"), Panel1);
    RGBSetLab->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* label : { Label2, Label1 })
        label->setIndent(4);
    RGBLab->setIndent(2);
    // The component texts give way to the captions when space runs short.
    for (QLabel* label : { RGBLab, RGBSetLab })
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    RGBSetLab->setIndent(4);
    auto* cursor = new QHBoxLayout;
    cursor->setSpacing(3);
    cursor->addWidget(Label2);
    cursor->addWidget(CurrentShape);
    cursor->addWidget(RGBLab, 1);
    grid->addLayout(cursor, 0, 0, 1, 3);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(SetShape, 1, 1);
    grid->addWidget(RGBSetLab, 1, 2);
    grid->setColumnStretch(2, 1);

    BackColorBut = new QPushButton(QStringLiteral("Background"), Panel1);
    BackColorBut->setToolTip(QStringLiteral("Click here to change form background color"));
    GridCBox = new QCheckBox(QStringLiteral("Grid"), Panel1);
    CancelBUt = new QPushButton(QStringLiteral("Cancel"), Panel1);
    CancelBUt->setToolTip(QStringLiteral("Cancel, Close window"));
    DoneBut = new QPushButton(QStringLiteral("Done"), Panel1);
    DoneBut->setToolTip(QStringLiteral("Assign Transparent color and close current windows"));
    DoneBut->setDefault(true);
    auto* row3 = new QHBoxLayout;
    row3->addWidget(BackColorBut);
    row3->addWidget(GridCBox);
    row3->addStretch(1);
    row3->addWidget(CancelBUt);
    row3->addWidget(DoneBut);
    grid->addLayout(row3, 2, 0, 1, 3);

    connect(BackColorBut, &QPushButton::clicked, this, [this] { BackColorButClick(); });
    connect(GridCBox, &QCheckBox::clicked, this, [this] { GridCBoxClick(); });
    connect(CancelBUt, &QPushButton::clicked, this, [this] { CancelBUtClick(); });
    connect(DoneBut, &QPushButton::clicked, this, [this] { DoneButClick(); });

    surface_ = velmora::Bitmap(kClientWidth, kClientHeight - kPanelHeight);
    FormCreate();
}

TXOverlayForm::~TXOverlayForm() = default;

void TXOverlayForm::FormCreate()
{
    grid_ = true;
}

void TXOverlayForm::FormActivate()
{
    drawn_ = false;
    clicked_ = false;
    saved_screen_ = OverlayXparentColor;
    saved_24_ = Overlay24BitXparentColor;
    GridCBox->setChecked(grid_);
    Build();
}

void TXOverlayForm::Build()
{
    const std::unique_ptr<velmora::Bitmap>& shared = velmora::shared_overlay_bitmap();
    work_ = shared ? *shared : velmora::Bitmap();
    work_.set_pixel_format(velmora::PixelFormat::pf24bit);
    work_.set_transparent(false);
    const int w = work_.width();
    const int h = work_.height();
    no_rows_ = w <= 0 || h <= 0;
    // The surface and the picture on it hold the screen's own pixels: on a
    // scaling screen the picture is fitted once, to the device pixels under
    // the window's, and shown one to one.
    ratio_ = devicePixelRatioF();
    surface_.set_size(qRound(width() * ratio_), qRound(Panel1->y() * ratio_));
    image_size_ = QSize(w, h);
    if (!no_rows_) {
        // Fitted to the width with a margin, or to the height left above the
        // panel when that is less; small pictures are enlarged.
        int target_width = Panel1->width() - kMargin;
        int target_height = rounded(h * (static_cast<long double>(target_width) / w));
        const int available = height() - (Panel1->height() + kMargin);
        if (available < target_height) {
            target_width = rounded(static_cast<long double>(available) / h * w);
            target_height = available;
        }
        image_size_ = QSize(std::max(target_width, 1), std::max(target_height, 1));
        velmora::rescale_bitmap(work_, std::max(qRound(image_size_.width() * ratio_), 1),
            std::max(qRound(image_size_.height() * ratio_), 1));
    }
    draw_overlay();
    cursor_color_ = OverlayXparentColor;
    set_x_color();
    update();
}

void TXOverlayForm::set_x_color()
{
    OverlayXparentColor = cursor_color_;
    fill_swatch(SetShape, OverlayXparentColor);
    RGBSetLab->setText(velmora::color_components(OverlayXparentColor));
    // Only a pick of this opening names a pixel: a click point left from an
    // earlier opening may lie on another pixel (or another picture) by now,
    // and would hand back a pixel value that does not belong to the screen
    // colour.
    if (!clicked_)
        return;
    const QPoint at = device_point(last_click_) - device_point(image_rect().topLeft());
    const bool inside
        = image_rect().contains(last_click_) && at.x() < work_.width() && at.y() < work_.height();
    Overlay24BitXparentColor = inside ? work_.pixel(at.x(), at.y()) : -1;
}

void TXOverlayForm::make_grids()
{
    surface_.fill(from_qcolor(background_));
    if (!grid_)
        return;
    const velmora::Color black = velmora::make_color(0, 0, 0);
    for (int y = 0; y < Panel1->y(); y += kGridStep)
        fill(QRect(0, y, width(), 1), black);
}

QPoint TXOverlayForm::device_point(QPoint p) const
{
    return { qRound(p.x() * ratio_), qRound(p.y() * ratio_) };
}

void TXOverlayForm::fill(const QRect& area, velmora::Color color)
{
    const QPoint from = device_point(area.topLeft());
    const QPoint to = device_point(area.topLeft() + QPoint(area.width(), area.height()));
    surface_.fill_rect(from.x(), from.y(), to.x(), to.y(), color);
}

void TXOverlayForm::draw_overlay()
{
    image_left_ = (width() - image_size_.width()) / 2;
    image_top_ = (height() - Panel1->height() - image_size_.height()) / 2;
    // The saver's own transparent drawing: pixels of exactly the key colour
    // are left out, so the background and the grid show through.
    work_.set_transparent(true);
    work_.set_transparent_color(OverlayXparentColor);
    const QPoint at = device_point(QPoint(image_left_, image_top_));
    velmora::draw(surface_, at.x(), at.y(), work_);
    drawn_ = true;
    make_frame();
}

void TXOverlayForm::make_frame()
{
    if (!drawn_ || !grid_ || no_rows_)
        return;
    const velmora::Color white = velmora::make_color(255, 255, 255);
    const int left = image_left_ - 1;
    const int top = image_top_ - 1;
    const int right = image_left_ + image_size_.width();
    const int bottom = image_top_ + image_size_.height();
    fill(QRect(left, top, right - left + 1, 1), white);
    fill(QRect(left, bottom, right - left + 1, 1), white);
    fill(QRect(left, top, 1, bottom - top + 1), white);
    fill(QRect(right, top, 1, bottom - top + 1), white);
}

void TXOverlayForm::FormPaint()
{
    make_grids();
    if (drawn_)
        draw_overlay();
}

void TXOverlayForm::FormMouseMove(int x, int y)
{
    cursor_color_ = shown_color(x, y);
    fill_swatch(CurrentShape, cursor_color_);
    RGBLab->setText(velmora::color_components(cursor_color_));
}

void TXOverlayForm::FormMouseDown(int x, int y)
{
    if (!image_rect().contains(x, y))
        return;
    // The pair must name one pixel: the screen colour is read at the click
    // point itself, as a pointer move onto it would have done.
    FormMouseMove(x, y);
    last_click_ = QPoint(x, y);
    clicked_ = true;
    set_x_color();
    make_grids();
    draw_overlay();
    update();
}

void TXOverlayForm::BackColorButClick()
{
    QColorDialog ColorDialog1(background_, this);
    ColorDialog1.setOption(QColorDialog::DontUseNativeDialog);
    if (ColorDialog1.exec() == QDialog::Accepted)
        set_background_color(ColorDialog1.selectedColor());
}

void TXOverlayForm::set_background_color(const QColor& color)
{
    background_ = color;
    update();
}

void TXOverlayForm::GridCBoxClick()
{
    grid_ = GridCBox->isChecked();
    update();
}

void TXOverlayForm::DoneButClick()
{
    free_work_bitmap();
    accept();
}

void TXOverlayForm::CancelBUtClick()
{
    OverlayXparentColor = saved_screen_;
    Overlay24BitXparentColor = saved_24_;
    free_work_bitmap();
    QDialog::reject();
}

void TXOverlayForm::reject()
{
    // Escape and the close box cancel as the button does.
    CancelBUtClick();
}

void TXOverlayForm::free_work_bitmap()
{
    work_ = velmora::Bitmap();
}

QRect TXOverlayForm::image_rect() const
{
    return QRect(QPoint(image_left_, image_top_), image_size_);
}

velmora::Color TXOverlayForm::shown_color(int x, int y)
{
    // What the window renders at the point; the surface's own pixel where
    // the window cannot be read.
    const QImage shot = grab(QRect(x, y, 1, 1)).toImage();
    if (!shot.isNull() && shot.width() >= 1 && shot.height() >= 1)
        return from_qcolor(shot.pixelColor(0, 0));
    const QPoint at = device_point(QPoint(x, y));
    return surface_.pixel(at.x(), at.y());
}

void TXOverlayForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TXOverlayForm::paintEvent(QPaintEvent*)
{
    FormPaint();
    QPainter painter(this);
    QImage shown = velmora::qimage_view(surface_);
    shown.setDevicePixelRatio(ratio_);
    painter.drawImage(0, 0, shown);
    if (no_rows_) {
        // Nothing to pick from: said where the picture would be, on the
        // plain background so the grid does not cross the words.
        const QString text = QString::fromLatin1(velmora::kNoOverlayRows);
        const int flags = Qt::AlignCenter | Qt::TextWordWrap;
        const QRect area = painter.boundingRect(
            QRect(kMargin / 2, 0, width() - kMargin, Panel1->y()), flags, text);
        painter.fillRect(area.adjusted(-4, -4, 4, 4), background_);
        painter.setPen(Qt::black);
        painter.drawText(area, flags, text);
    }
}

void TXOverlayForm::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    FormMouseDown(p.x(), p.y());
}

void TXOverlayForm::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (p.y() < Panel1->y())
        FormMouseMove(p.x(), p.y());
}

bool TXOverlayForm::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (help->pos().y() < Panel1->y())
            QToolTip::showText(help->globalPos(),
                QStringLiteral("Click on image to select the transparent color"), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QDialog::event(event);
}
