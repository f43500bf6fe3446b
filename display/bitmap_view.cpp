#include "display/bitmap_view.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTransform>
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

// The same eight pixels at a time, streamed past the cache: for the
// window's backing store, which the display server reads next, a cached
// write would first read in every line of megabytes only to overwrite it.
// Streamed stores need aligned words, so they start at the first pixel on
// a 32-byte boundary; the pixels before it are left to the caller, whose
// loop goes on from the returned pixel. Stops while 10 pixels remain.
__attribute__((target("avx2"))) int to_rgb32_streamed(const std::uint8_t* from, int width, QRgb* to)
{
    int x = static_cast<int>((32 - reinterpret_cast<std::uintptr_t>(to) % 32) % 32 / 4);
    if (x + 10 > width)
        return 0;
    for (int head = 0; head < x; ++head)
        to[head] = 0xFF000000u | (static_cast<QRgb>(from[head * 3 + 2]) << 16)
            | (static_cast<QRgb>(from[head * 3 + 1]) << 8) | from[head * 3];
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
        1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    for (; x + 10 <= width; x += 8) {
        const std::uint8_t* bytes = from + static_cast<std::size_t>(x) * 3;
        const __m256i both = _mm256_loadu2_m128i(
            reinterpret_cast<const __m128i*>(bytes + 12), reinterpret_cast<const __m128i*>(bytes));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + x),
            _mm256_or_si256(_mm256_shuffle_epi8(both, spread), opaque));
    }
    return x;
}

bool has_byte_shuffle()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

bool has_wide_shuffle()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// Pixels [x0, x0 + width) of a 24-bit row (blue, green, red bytes) as
// 0xFFRRGGBB words: the layout of QImage::Format_RGB32, which the window's
// backing store has on a true-colour screen, so drawing the band is a copy.
// Read as a little-endian word, a pixel's three bytes and the next one are
// exactly that word once the top byte is set; the last pixel of the row is
// read byte by byte, so no byte past the row is touched. `streamed` writes
// past the cache where the processor can.
void to_rgb32(const std::uint8_t* from, int x0, int width, QRgb* to, bool streamed = false)
{
    from += static_cast<std::size_t>(x0) * 3;
    if (width <= 0)
        return;
    int x = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (streamed && has_wide_shuffle())
        x = to_rgb32_streamed(from, width, to);
    else if (has_byte_shuffle())
        x = to_rgb32_by_fours(from, width, to);
#else
    (void)streamed;
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

// Streamed stores are ordered before anything written after this.
void end_of_streaming()
{
#if defined(__x86_64__) && defined(__GNUC__)
    _mm_sfence();
#endif
}

} // namespace

BitmapView::BitmapView(const velmora::Bitmap* bitmap, QWidget* parent)
    : QWidget(parent)
    , bitmap_(bitmap)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BitmapView::show_rows(std::vector<const std::uint8_t*> rows)
{
    rows_ = std::move(rows);
    update();
}

const std::uint8_t* BitmapView::row(int y) const
{
    return static_cast<std::size_t>(y) < rows_.size() ? rows_[static_cast<std::size_t>(y)]
                                                      : bitmap_->row(y);
}

// The reflection area repaints twenty times a second or more. Handing Qt the
// 24-bit rows as they are made it convert every pixel to the window's format
// through its general drawing path (with its thread pool) at each paint;
// converting only the rows the paint covers, in one tight loop, costs a
// fraction of that and shows the same colours. Where the painter draws into
// a 32-bit image (the window's backing store) the rows are converted straight
// into it; elsewhere band by band through a reused image.
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
    const QRect part(left, top, right - left, bottom - top);
    if (part.isEmpty() || paint_into_device(painter, part, ratio))
        return;

    const int w = part.width();
    const int band_rows = std::max(1, kBandBytes / (w * 4));
    if (band_.width() != w || band_.height() != band_rows)
        band_ = QImage(w, band_rows, QImage::Format_RGB32);
    band_.setDevicePixelRatio(ratio);
    for (int y0 = top; y0 < bottom; y0 += band_rows) {
        const int rows = std::min(band_rows, bottom - y0);
        for (int r = 0; r < rows; ++r)
            to_rgb32(row(y0 + r), left, w, reinterpret_cast<QRgb*>(band_.scanLine(r)));
        painter.drawImage(QRectF(left / ratio, y0 / ratio, w / ratio, rows / ratio), band_,
            QRectF(0, 0, w, rows));
    }
}

// Drawing a band is one more pass over every pixel, through memory the size
// of the area (megabytes on a large screen). When the painter's device is an
// image with 32-bit opaque pixels, one bitmap pixel to one device pixel, and
// nothing but the system clip limits the paint, the rows go straight into the
// image, clipped to what Qt lets this view paint: the same pixels drawImage
// would write, without the copy.
bool BitmapView::paint_into_device(QPainter& painter, const QRect& part, qreal ratio)
{
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter.hasClipping()
        || painter.opacity() != 1.0
        || painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
        && format != QImage::Format_ARGB32_Premultiplied)
        return false;
    // The view's top-left in device pixels; logical pixels scaled by the ratio.
    const QTransform to_device = painter.deviceTransform();
    const qreal x0 = to_device.dx();
    const qreal y0 = to_device.dy();
    if (to_device.type() > QTransform::TxScale || std::abs(to_device.m11() - ratio) > 1e-9
        || std::abs(to_device.m22() - ratio) > 1e-9 || x0 != std::round(x0) || y0 != std::round(y0))
        return false;
    const QPoint origin(static_cast<int>(x0), static_cast<int>(y0));
    QRegion allowed = engine->systemClip();
    if (allowed.isEmpty())
        allowed = image->rect();
    const QRegion target = allowed.intersected(part.translated(origin) & image->rect());
    // Detaches once, which a shared image would need before any drawing too.
    std::uint8_t* bits = image->bits();
    const auto line = static_cast<std::size_t>(image->bytesPerLine());
    for (const QRect& r : target)
        for (int y = r.top(); y <= r.bottom(); ++y)
            to_rgb32(row(y - origin.y()), r.left() - origin.x(), r.width(),
                reinterpret_cast<QRgb*>(bits + static_cast<std::size_t>(y) * line) + r.left(),
                true);
    end_of_streaming();
    return true;
}
