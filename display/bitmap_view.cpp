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
    QImage view = velmora::qimage_view(*bitmap_);
    // One bitmap pixel to one device pixel on a scaling screen.
    view.setDevicePixelRatio(devicePixelRatioF());
    if (view.deviceIndependentSize().width() < width()
        || view.deviceIndependentSize().height() < height())
        painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, view);
}
