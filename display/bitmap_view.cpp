#include "display/bitmap_view.h"

#include "picture/qt/qimage_view.h"

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
    // The bitmap's own rows, nothing copied.
    const QImage view = velmora::qimage_view(*bitmap_);
    if (view.width() < width() || view.height() < height())
        painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, view);
}
