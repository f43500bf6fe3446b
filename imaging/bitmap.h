#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace velmora {

// A colour value: 0x00BBGGRR, red in the low byte. -1 in the settings means
// "no colour chosen".
using Color = std::int32_t;

constexpr Color make_color(int r, int g, int b)
{
    return static_cast<Color>((static_cast<std::uint32_t>(b) << 16)
        | (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(r));
}
constexpr int color_red(Color c)
{
    return c & 0xFF;
}
constexpr int color_green(Color c)
{
    return (c >> 8) & 0xFF;
}
constexpr int color_blue(Color c)
{
    return (c >> 16) & 0xFF;
}

enum class PixelFormat {
    pf8bit, // one palette index per pixel
    pf16bit, // 5-6-5, little-endian 16-bit words
    pf24bit, // blue, green, red bytes
    pf32bit, // blue, green, red, unused bytes
};

int bytes_per_pixel(PixelFormat format);

// Pixel memory whose bytes are not zeroed when it grows: every bitmap fills
// its pixels itself (white, or the caller's own rows), so a first pass of
// zeros over tens of megabytes would be thrown away at once.
template <class T> struct PixelAllocator : std::allocator<T> {
    template <class U> struct rebind {
        using other = PixelAllocator<U>;
    };
    PixelAllocator() = default;
    template <class U> PixelAllocator(const PixelAllocator<U>&) noexcept { }
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// The in-memory picture every part of the program works on. Rows are stored
// top row first; each row starts on a 4-byte boundary (like a device
// independent bitmap) so the Qt layer can view a 24-bit bitmap as a QImage
// without copying.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height, PixelFormat format = PixelFormat::pf24bit);

    // A bitmap whose pixels are left unset, for a caller that writes every
    // pixel of every row straight away (the frame strip: each frame's rows
    // are copied in as the frame is built). Reading a pixel before writing
    // it gives an unspecified colour.
    static Bitmap for_overwrite(int width, int height, PixelFormat format = PixelFormat::pf24bit);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    PixelFormat pixel_format() const { return format_; }
    int stride() const { return stride_; }

    // Resizing keeps the existing pixels at the top-left; new pixels are white
    // (for 8-bit bitmaps: the palette entry nearest to white, or 0 without a
    // palette). Negative sizes count as 0.
    void set_size(int width, int height);
    void set_width(int width) { set_size(width, height_); }
    void set_height(int height) { set_size(width_, height); }

    // Converts the pixels to another format. Converting to 8-bit maps each
    // colour to the nearest palette entry (the palette must be set first).
    void set_pixel_format(PixelFormat format);

    std::uint8_t* row(int y) { return data_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* row(int y) const
    {
        return data_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::uint8_t* bits() { return data_.data(); }
    const std::uint8_t* bits() const { return data_.data(); }

    // The colour at (x, y); outside the bitmap gives 0 and writes are ignored.
    Color pixel(int x, int y) const;
    void set_pixel(int x, int y, Color color);

    // The colour table of an 8-bit bitmap (colour values), at most 256 entries.
    const std::vector<Color>& palette() const { return palette_; }
    void set_palette(std::vector<Color> palette) { palette_ = std::move(palette); }

    bool transparent() const { return transparent_; }
    Color transparent_color() const { return transparent_color_; }
    void set_transparent(bool on) { transparent_ = on; }
    void set_transparent_color(Color color) { transparent_color_ = color; }

    void fill(Color color);
    // Fills the rectangle [x0, x1) x [y0, y1), clipped to the bitmap.
    void fill_rect(int x0, int y0, int x1, int y1, Color color);

    bool operator==(const Bitmap& other) const;

private:
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::pf24bit;
    int stride_ = 0;
    std::vector<std::uint8_t, PixelAllocator<std::uint8_t>> data_;
    std::vector<Color> palette_;
    bool transparent_ = false;
    Color transparent_color_ = 0;
};

// Draws `src` onto `dest` with its top-left corner at (x, y), clipped at every
// edge. When `src` is transparent, its pixels of exactly the transparent
// colour are not drawn.
void draw(Bitmap& dest, int x, int y, const Bitmap& src);

// Copies the rectangle (sx, sy, w, h) of `src` to (dx, dy) of `dest`, clipped
// at every edge of both bitmaps; `src`'s transparency is honoured the same way.
void draw_rect(Bitmap& dest, int dx, int dy, const Bitmap& src, int sx, int sy, int w, int h);

} // namespace velmora
