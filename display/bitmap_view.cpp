#include "display/bitmap_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// Rows are converted and drawn in bands of about this many bytes: small
// enough to stay in the cache between the conversion and the drawing, and
// the whole of what the view keeps between paints.
constexpr int kBandBytes = 256 * 1024;

#if defined(__x86_64__) && defined(__GNUC__)
// Four pixels at a time: their 12 bytes spread into four words by one byte
// shuffle, the top bytes set. Each load reads 16 bytes, so it stops while 6
// pixels (18 bytes) remain; returns the pixels done.
__attribute__((target("ssse3"))) int to_rgb32_by_fours(
    const std::uint8_t* from, int width, QRgb* to)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i bytes = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(from + static_cast<std::size_t>(x) * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x),
            _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque));
    }
    return x;
}

bool has_byte_shuffle()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

// Pixels [x0, x0 + width) of a 24-bit row (blue, green, red bytes) as
// 0xFFRRGGBB words: the layout of QImage::Format_RGB32, which the window's
// backing store has on a true-colour screen, so drawing the band is a copy.
// Read as a little-endian word, a pixel's three bytes and the next one are
// exactly that word once the top byte is set; the last pixel of the row is
// read byte by byte, so no byte past the row is touched.
void to_rgb32(const std::uint8_t* from, int x0, int width, QRgb* to)
{
    from += static_cast<std::size_t>(x0) * 3;
    if (width <= 0)
        return;
    int x = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_byte_shuffle())
        x = to_rgb32_by_fours(from, width, to);
#endif
    const int last = width - 1;
    for (; x < last; ++x) {
        std::uint32_t word;
        std::memcpy(&word, from + static_cast<std::size_t>(x) * 3, 4);
        to[x] = qFromLittleEndian(word) | 0xFF000000u;
    }
    from += static_cast<std::size_t>(last) * 3;
    to[last] = 0xFF000000u | (static_cast<QRgb>(from[2]) << 16) | (static_cast<QRgb>(from[1]) << 8)
        | from[0];
}

} // namespace

BitmapView::BitmapView(const velmora::Bitmap* bitmap, QWidget* parent)
    : QWidget(parent)
    , bitmap_(bitmap)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// The reflection area repaints twenty times a second or more. Handing Qt the
// 24-bit rows as they are made it convert every pixel to the window's format
// through its general drawing path (with its thread pool) at each paint;
// converting only the rows the paint covers, band by band, in one tight loop,
// costs a fraction of that and shows the same colours.
void BitmapView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (!bitmap_ || bitmap_->empty() || bitmap_->pixel_format() != velmora::PixelFormat::pf24bit) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // One bitmap pixel to one device pixel on a scaling screen.
    const qreal ratio = devicePixelRatioF();
    if (bitmap_->width() < width() * ratio || bitmap_->height() < height() * ratio)
        painter.fillRect(rect(), Qt::black);

    // The part of the bitmap under the repainted rectangle, in bitmap pixels.
    const QRect dirty = event->rect();
    const int left = std::max(0, static_cast<int>(std::floor(dirty.left() * ratio)));
    const int top = std::max(0, static_cast<int>(std::floor(dirty.top() * ratio)));
    const int right
        = std::min(bitmap_->width(), static_cast<int>(std::ceil((dirty.right() + 1) * ratio)));
    const int bottom
        = std::min(bitmap_->height(), static_cast<int>(std::ceil((dirty.bottom() + 1) * ratio)));
    const int w = right - left;
    if (w <= 0 || bottom <= top)
        return;

    const int band_rows = std::max(1, kBandBytes / (w * 4));
    if (band_.width() != w || band_.height() != band_rows)
        band_ = QImage(w, band_rows, QImage::Format_RGB32);
    band_.setDevicePixelRatio(ratio);
    for (int y0 = top; y0 < bottom; y0 += band_rows) {
        const int rows = std::min(band_rows, bottom - y0);
        for (int r = 0; r < rows; ++r)
            to_rgb32(bitmap_->row(y0 + r), left, w, reinterpret_cast<QRgb*>(band_.scanLine(r)));
        painter.drawImage(QRectF(left / ratio, y0 / ratio, w / ratio, rows / ratio), band_,
            QRectF(0, 0, w, rows));
    }
}
