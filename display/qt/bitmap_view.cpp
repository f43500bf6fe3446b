#include "display/qt/bitmap_view.h"

#include <QImage>
#include <QPainter>

BitmapView::BitmapView(const velmora::Bitmap* bitmap, QWidget* parent)
    : QWidget(parent)
    , bitmap_(bitmap)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BitmapView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!bitmap_ || bitmap_->empty() || bitmap_->pixel_format() != velmora::PixelFormat::pf24bit) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Blue, green, red bytes with 4-byte aligned rows: the layout of the
    // bitmap itself, so nothing is copied.
    const QImage view(bitmap_->bits(), bitmap_->width(), bitmap_->height(), bitmap_->stride(),
        QImage::Format_BGR888);
    if (view.width() < width() || view.height() < height())
        painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, view);
}
