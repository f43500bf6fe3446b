#include "imaging/bitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <sys/mman.h>

namespace velmora {

int bytes_per_pixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::pf8bit:
        return 1;
    case PixelFormat::pf16bit:
        return 2;
    case PixelFormat::pf24bit:
        return 3;
    case PixelFormat::pf32bit:
        return 4;
    }
    return 3;
}

namespace {

    int stride_for(int width, PixelFormat format)
    {
        const long long bytes = static_cast<long long>(width) * bytes_per_pixel(format);
        const long long aligned = (bytes + 3) / 4 * 4;
        if (aligned > std::numeric_limits<int>::max())
            throw std::bad_alloc();
        return static_cast<int>(aligned);
    }

    std::size_t buffer_size(int stride, int height)
    {
        return static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    }

    int nearest_index(const std::vector<Color>& palette, Color c)
    {
        int best = 0;
        int best_distance = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < palette.size(); ++i) {
            const Color p = palette[i];
            const int d = std::abs(color_red(p) - color_red(c))
                + std::abs(color_green(p) - color_green(c))
                + std::abs(color_blue(p) - color_blue(c));
            if (d < best_distance) {
                best_distance = d;
                best = static_cast<int>(i);
            }
        }
        return best;
    }

    Color read_pixel(const std::uint8_t* p, PixelFormat format, const std::vector<Color>& palette)
    {
        switch (format) {
        case PixelFormat::pf8bit:
            return p[0] < palette.size() ? palette[p[0]] : 0;
        case PixelFormat::pf16bit: {
            const int word = p[0] | (p[1] << 8);
            const int r5 = (word >> 11) & 0x1F;
            const int g6 = (word >> 5) & 0x3F;
            const int b5 = word & 0x1F;
            // Widen by repeating the top bits, so full white stays white.
            return make_color((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2));
        }
        case PixelFormat::pf24bit:
        case PixelFormat::pf32bit:
            return make_color(p[2], p[1], p[0]);
        }
        return 0;
    }

    void write_pixel(
        std::uint8_t* p, PixelFormat format, const std::vector<Color>& palette, Color c)
    {
        switch (format) {
        case PixelFormat::pf8bit:
            p[0] = static_cast<std::uint8_t>(nearest_index(palette, c));
            break;
        case PixelFormat::pf16bit: {
            const int word
                = ((color_red(c) >> 3) << 11) | ((color_green(c) >> 2) << 5) | (color_blue(c) >> 3);
            p[0] = static_cast<std::uint8_t>(word & 0xFF);
            p[1] = static_cast<std::uint8_t>(word >> 8);
            break;
        }
        case PixelFormat::pf32bit:
            p[3] = 0;
            [[fallthrough]];
        case PixelFormat::pf24bit:
            p[0] = static_cast<std::uint8_t>(color_blue(c));
            p[1] = static_cast<std::uint8_t>(color_green(c));
            p[2] = static_cast<std::uint8_t>(color_red(c));
            break;
        }
    }

    // A photograph of tens of megapixels is decoded into fresh memory (the C
    // library maps every block of 32 MiB or more anew), which the kernel
    // hands over one 4 KiB page at a time: a fault and a cleared page each,
    // 17,600 for 24 megapixels. On a virtual machine those faults and the
    // page-table walks of the writes cost as much as the decoding itself.
    // Asking for 2 MiB pages over the whole 2 MiB blocks of untouched memory
    // takes that down to a few dozen faults; a kernel without huge pages
    // keeps giving small ones. Smaller pictures gain as much per byte: a
    // 4000 x 2250 GIF (27 MB) took 6,600 faults, a third of its scene's
    // time. From 8 MiB on a block is mostly whole 2 MiB pages; a block the
    // C library hands out again from memory it already holds (below 32 MiB
    // it may) keeps the pages it has, and the advice costs nothing.
    constexpr std::size_t kHugePageBytes = std::size_t { 2 } << 20;
    constexpr std::size_t kHugePagesFrom = std::size_t { 8 } << 20;

    void ask_for_huge_pages(std::uint8_t* memory, std::size_t bytes)
    {
        if (bytes < kHugePagesFrom)
            return;
        const auto start = reinterpret_cast<std::uintptr_t>(memory);
        const std::uintptr_t first = (start + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
        const std::uintptr_t last = (start + bytes) / kHugePageBytes * kHugePageBytes;
        if (last > first)
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }

} // namespace

Bitmap::Bitmap(int width, int height, PixelFormat format)
    : format_(format)
{
    set_size(width, height);
}

Bitmap Bitmap::for_overwrite(int width, int height, PixelFormat format)
{
    Bitmap bitmap;
    bitmap.format_ = format;
    bitmap.width_ = std::max(width, 0);
    bitmap.height_ = std::max(height, 0);
    bitmap.stride_ = stride_for(bitmap.width_, format);
    bitmap.data_.resize(buffer_size(bitmap.stride_, bitmap.height_));
    // Before any byte is written: a page once touched stays small.
    ask_for_huge_pages(bitmap.data_.data(), bitmap.data_.size());
    // The padding at the end of each row is never a pixel: zero it, so that
    // no byte of the buffer stays unset once the pixels are written.
    const std::size_t row_bytes = static_cast<std::size_t>(bitmap.width_)
        * static_cast<std::size_t>(bytes_per_pixel(format));
    if (row_bytes < static_cast<std::size_t>(bitmap.stride_))
        for (int y = 0; y < bitmap.height_; ++y)
            std::memset(bitmap.row(y) + row_bytes, 0, bitmap.stride_ - row_bytes);
    return bitmap;
}

void Bitmap::set_size(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_ && (stride_ > 0 || width == 0))
        return;
    const int new_stride = stride_for(width, format_);
    std::vector<std::uint8_t, PixelAllocator<std::uint8_t>> fresh(buffer_size(new_stride, height));
    // New pixels are white.
    if (format_ == PixelFormat::pf8bit) {
        const int white = palette_.empty() ? 0 : nearest_index(palette_, make_color(255, 255, 255));
        std::fill(fresh.begin(), fresh.end(), static_cast<std::uint8_t>(white));
    } else {
        std::fill(fresh.begin(), fresh.end(), std::uint8_t { 0xFF });
    }
    // Rows of no bytes (a width of 0) have no memory to copy from.
    const int keep_rows = width == 0 || width_ == 0 ? 0 : std::min(height, height_);
    const std::size_t keep_bytes = static_cast<std::size_t>(std::min(width, width_))
        * static_cast<std::size_t>(bytes_per_pixel(format_));
    for (int y = 0; y < keep_rows; ++y)
        std::memcpy(fresh.data() + static_cast<std::size_t>(y) * new_stride, row(y), keep_bytes);
    data_ = std::move(fresh);
    width_ = width;
    height_ = height;
    stride_ = new_stride;
}

void Bitmap::set_pixel_format(PixelFormat format)
{
    if (format == format_)
        return;
    // Every pixel of the converted bitmap is written below.
    Bitmap converted = for_overwrite(width_, height_, format);
    converted.palette_ = palette_;
    if (format_ == PixelFormat::pf8bit && format == PixelFormat::pf24bit) {
        // The common case (every GIF picture): one table of the palette's
        // colours as stored bytes, an index past the palette being black.
        std::uint8_t table[256][3] = {};
        for (std::size_t i = 0; i < 256 && i < palette_.size(); ++i) {
            const Color c = palette_[i];
            table[i][0] = static_cast<std::uint8_t>(color_blue(c));
            table[i][1] = static_cast<std::uint8_t>(color_green(c));
            table[i][2] = static_cast<std::uint8_t>(color_red(c));
        }
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* s = row(y);
            std::uint8_t* d = converted.row(y);
            for (int x = 0; x < width_; ++x, d += 3)
                std::memcpy(d, table[s[x]], 3);
        }
    } else {
        const int src_bpp = bytes_per_pixel(format_);
        const int dst_bpp = bytes_per_pixel(format);
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* s = row(y);
            std::uint8_t* d = converted.row(y);
            for (int x = 0; x < width_; ++x)
                write_pixel(d + x * dst_bpp, format, converted.palette_,
                    read_pixel(s + x * src_bpp, format_, palette_));
        }
    }
    data_ = std::move(converted.data_);
    stride_ = converted.stride_;
    format_ = format;
}

Color Bitmap::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    return read_pixel(row(y) + x * bytes_per_pixel(format_), format_, palette_);
}

void Bitmap::set_pixel(int x, int y, Color color)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    write_pixel(row(y) + x * bytes_per_pixel(format_), format_, palette_, color);
}

void Bitmap::fill(Color color)
{
    fill_rect(0, 0, width_, height_, color);
}

void Bitmap::fill_rect(int x0, int y0, int x1, int y1, Color color)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    if (x0 >= x1 || y0 >= y1)
        return;
    const int bpp = bytes_per_pixel(format_);
    std::uint8_t sample[4] = {};
    write_pixel(sample, format_, palette_, color);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* r = row(y);
        for (int x = x0; x < x1; ++x)
            std::memcpy(r + x * bpp, sample, static_cast<std::size_t>(bpp));
    }
}

bool Bitmap::operator==(const Bitmap& other) const
{
    if (width_ != other.width_ || height_ != other.height_ || format_ != other.format_)
        return false;
    if (format_ == PixelFormat::pf8bit && palette_ != other.palette_)
        return false;
    const std::size_t bytes = static_cast<std::size_t>(width_) * bytes_per_pixel(format_);
    for (int y = 0; y < height_; ++y)
        if (std::memcmp(row(y), other.row(y), bytes) != 0)
            return false;
    return true;
}

void draw(Bitmap& dest, int x, int y, const Bitmap& src)
{
    draw_rect(dest, x, y, src, 0, 0, src.width(), src.height());
}

void draw_rect(Bitmap& dest, int dx, int dy, const Bitmap& src, int sx, int sy, int w, int h)
{
    // Clip against the source rectangle, then against the destination, in
    // 64 bits so that far-off positions cannot overflow.
    long long x0 = dx, y0 = dy, u0 = sx, v0 = sy, cw = w, ch = h;
    if (u0 < 0) {
        x0 -= u0;
        cw += u0;
        u0 = 0;
    }
    if (v0 < 0) {
        y0 -= v0;
        ch += v0;
        v0 = 0;
    }
    cw = std::min(cw, src.width() - u0);
    ch = std::min(ch, src.height() - v0);
    if (x0 < 0) {
        u0 -= x0;
        cw += x0;
        x0 = 0;
    }
    if (y0 < 0) {
        v0 -= y0;
        ch += y0;
        y0 = 0;
    }
    cw = std::min(cw, dest.width() - x0);
    ch = std::min(ch, dest.height() - y0);
    if (cw <= 0 || ch <= 0)
        return;
    dx = static_cast<int>(x0);
    dy = static_cast<int>(y0);
    sx = static_cast<int>(u0);
    sy = static_cast<int>(v0);
    w = static_cast<int>(cw);
    h = static_cast<int>(ch);

    // Within one bitmap the rectangles may overlap: copy the rows bottom-up
    // when moving down, so no row is read after it was overwritten.
    const bool bottom_up = &dest == &src && dy > sy;
    const auto row_at = [&](int k) { return bottom_up ? h - 1 - k : k; };

    const bool same_format = src.pixel_format() == dest.pixel_format()
        && (src.pixel_format() != PixelFormat::pf8bit || src.palette() == dest.palette());
    if (same_format && !src.transparent()) {
        const int bpp = bytes_per_pixel(src.pixel_format());
        for (int k = 0; k < h; ++k) {
            const int y = row_at(k);
            std::memmove(dest.row(dy + y) + dx * bpp, src.row(sy + y) + sx * bpp,
                static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp));
        }
        return;
    }
    const Color key = src.transparent_color();
    const bool right_to_left = &dest == &src && dy == sy && dx > sx;
    for (int k = 0; k < h; ++k) {
        const int y = row_at(k);
        for (int j = 0; j < w; ++j) {
            const int x = right_to_left ? w - 1 - j : j;
            const Color c = src.pixel(sx + x, sy + y);
            if (src.transparent() && c == key)
                continue;
            dest.set_pixel(dx + x, dy + y, c);
        }
    }
}

} // namespace velmora
