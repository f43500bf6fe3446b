#include "imaging/rescaler.h"

#include "base/error.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

    constexpr const char* kUnit = "Rescaler";

    void require_24bit_for_flip(const Bitmap& bitmap)
    {
        if (bitmap.pixel_format() != PixelFormat::pf24bit)
            throw Error("Can Flip/Reverse only 24-bit bitmap");
    }

    void assert_24bit(const Bitmap& bitmap)
    {
        if (bitmap.pixel_format() != PixelFormat::pf24bit)
            throw AssertionFailure(kUnit);
    }

    // floor(i * from / to) for 0 <= i < to, without overflow.
    int scaled_index(int i, int from, int to)
    {
        return static_cast<int>(static_cast<long long>(i) * from / to);
    }

} // namespace

Bitmap flip_reverse_copy(bool flip, bool reverse, const Bitmap& source)
{
    require_24bit_for_flip(source);
    const int width = source.width();
    const int height = source.height();
    Bitmap result(width, height, PixelFormat::pf24bit);
    const auto row_bytes = static_cast<std::size_t>(width) * 3;
    for (int i = 0; i < height && row_bytes > 0; ++i) {
        const std::uint8_t* from = source.row(i);
        std::uint8_t* to = result.row(flip ? height - 1 - i : i);
        if (!reverse) {
            std::memcpy(to, from, row_bytes);
            continue;
        }
        for (int j = 0; j < width; ++j)
            std::memcpy(to + 3 * j, from + 3 * (width - 1 - j), 3);
    }
    return result;
}

void flip_reverse(bool flip, bool reverse, Bitmap& bitmap)
{
    Bitmap result = flip_reverse_copy(flip, reverse, bitmap);
    result.set_transparent(bitmap.transparent());
    result.set_transparent_color(bitmap.transparent_color());
    bitmap = std::move(result);
}

void adjust_brightness(Bitmap& bitmap, int amount)
{
    assert_24bit(bitmap);
    if (amount == 0)
        return;
    // Every byte moves by the amount and stops at 0 or 255: a saturating add
    // or subtract of one constant, which the compiler turns into a few
    // vector instructions per 16 or 32 bytes.
    const long long size = amount < 0 ? -static_cast<long long>(amount) : amount;
    const auto step = static_cast<std::uint8_t>(std::min(size, 255LL));
    const auto ceiling = static_cast<std::uint8_t>(255 - step);
    const auto row_bytes = static_cast<std::size_t>(bitmap.width()) * 3;
    for (int y = 0; y < bitmap.height(); ++y) {
        std::uint8_t* row = bitmap.row(y);
        if (amount > 0) {
            for (std::size_t k = 0; k < row_bytes; ++k)
                row[k] = static_cast<std::uint8_t>(std::min(row[k], ceiling) + step);
        } else {
            for (std::size_t k = 0; k < row_bytes; ++k)
                row[k] = static_cast<std::uint8_t>(std::max(row[k], step) - step);
        }
    }
}

void adjust_brightness_keyed(Bitmap& bitmap, int amount, Color key)
{
    assert_24bit(bitmap);
    if (amount == 0)
        return;
    // Brightening stops at 255; darkening stops at 10, never lower.
    const auto change = [amount](int channel) {
        const long long moved = static_cast<long long>(channel) + amount;
        return static_cast<int>(amount > 0 ? std::min(moved, 255LL) : std::max(moved, 10LL));
    };
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x) {
            const Color c = bitmap.pixel(x, y);
            if (c == key)
                continue;
            bitmap.set_pixel(x, y,
                make_color(change(color_red(c)), change(color_green(c)), change(color_blue(c))));
        }
}

void rescale_bitmap(Bitmap& bitmap, int new_width, int new_height)
{
    new_width = std::max(new_width, 0);
    new_height = std::max(new_height, 0);
    const int w = bitmap.width();
    const int h = bitmap.height();
    if (w == new_width && h == new_height)
        return;
    if (w == 0 || h == 0) {
        // Nothing to stretch: the new pixels are white, as for any growth.
        bitmap.set_size(new_width, new_height);
        return;
    }

    Bitmap result(0, 0, bitmap.pixel_format());
    result.set_palette(bitmap.palette());
    result.set_transparent(bitmap.transparent());
    result.set_transparent_color(bitmap.transparent_color());
    result.set_size(new_width, new_height);
    const auto bpp = static_cast<std::size_t>(bytes_per_pixel(bitmap.pixel_format()));
    std::vector<std::size_t> column_offset(static_cast<std::size_t>(new_width));
    for (int x = 0; x < new_width; ++x)
        column_offset[static_cast<std::size_t>(x)]
            = static_cast<std::size_t>(scaled_index(x, w, new_width)) * bpp;
    const std::size_t row_bytes = static_cast<std::size_t>(new_width) * bpp;

    int previous_source_row = -1;
    for (int y = 0; y < new_height && row_bytes > 0; ++y) {
        const int source_row = scaled_index(y, h, new_height);
        std::uint8_t* to = result.row(y);
        if (source_row == previous_source_row) {
            std::memcpy(to, result.row(y - 1), row_bytes);
            continue;
        }
        const std::uint8_t* from = bitmap.row(source_row);
        for (std::size_t x = 0; x < column_offset.size(); ++x)
            std::memcpy(to + x * bpp, from + column_offset[x], bpp);
        previous_source_row = source_row;
    }
    bitmap = std::move(result);
}

} // namespace velmora
