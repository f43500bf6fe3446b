#pragma once

#include "imaging/bitmap.h"

#include <QImage>
#include <cstring>

namespace velmora {

// A QImage over the pixels of a 24-bit bitmap, without copying: the rows are
// shared, so painting on the view paints the bitmap. The bitmap must outlive
// the view and must not be resized meanwhile. Any other format, or an empty
// bitmap, gives a null image.
inline QImage qimage_view(Bitmap& bitmap)
{
    if (bitmap.pixel_format() != PixelFormat::pf24bit || bitmap.empty())
        return {};
    return QImage(
        bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_BGR888);
}

// A read-only view: Qt copies the pixels first if anyone writes to it.
inline QImage qimage_view(const Bitmap& bitmap)
{
    if (bitmap.pixel_format() != PixelFormat::pf24bit || bitmap.empty())
        return {};
    return QImage(
        bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_BGR888);
}

// A 24-bit bitmap with the image's pixels. Alpha is dropped (colours are
// taken un-premultiplied), as when a picture is assigned to a bitmap; to
// show transparent parts against a background, composite first.
inline Bitmap bitmap_from_qimage(const QImage& image)
{
    if (image.isNull())
        return {};
    // Qt takes premultiplied colours back to straight ones on the way.
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap bitmap(bgr.width(), bgr.height(), PixelFormat::pf24bit);
    const auto bytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(bitmap.row(y), bgr.constScanLine(y), bytes);
    return bitmap;
}

} // namespace velmora
