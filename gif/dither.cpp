#include "gif/dither.h"

#include "gif/gif_error.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace velmora {

TFastColorLookup::TFastColorLookup(const std::vector<Color>& palette)
    : palette_(
        palette.begin(), palette.begin() + std::min<std::ptrdiff_t>(256, std::ssize(palette)))
{
    cache_.fill(-1);
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        const Color c = palette_[i];
        auto& slot = cache_[static_cast<std::size_t>(
            cache_key(color_red(c), color_green(c), color_blue(c)))];
        if (slot < 0)
            slot = static_cast<std::int16_t>(i);
    }
}

int TFastColorLookup::lookup(int red, int green, int blue, Color& chosen)
{
    auto& slot = cache_[static_cast<std::size_t>(cache_key(red, green, blue))];
    if (slot < 0) {
        int best = 196608;
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            const Color p = palette_[i];
            const int d = std::abs(red - color_red(p)) + std::abs(green - color_green(p))
                + std::abs(blue - color_blue(p));
            if (d < best) {
                best = d;
                slot = static_cast<std::int16_t>(i);
            }
        }
    }
    chosen = palette_[static_cast<std::size_t>(slot)];
    return slot;
}

int TColorCubeLookup::lookup(int red, int green, int blue, Color& chosen)
{
    const int r = (red + 3) / 51;
    const int g = (green + 3) / 51;
    const int b = (blue + 3) / 51;
    chosen = make_color(r * 51, g * 51, b * 51);
    return r * 36 + g * 6 + b;
}

std::vector<Color> TColorCubeLookup::palette()
{
    std::vector<Color> colors;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                colors.push_back(make_color(r * 51, g * 51, b * 51));
    return colors;
}

TDitherEngine::TDitherEngine(TColorLookup& lookup, int width)
    : lookup_(lookup)
    , width_(width)
{
}

int TDitherEngine::map(int red, int green, int blue)
{
    Color chosen = 0;
    const int index = lookup_.lookup(red, green, blue, chosen);
    column_ += direction_;
    return index;
}

void TDitherEngine::next_line()
{
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(TColorLookup& lookup, int width)
    : TDitherEngine(lookup, width)
{
    for (auto& channel : channels_)
        channel.errors.assign(static_cast<std::size_t>(width) + 2, 0);
}

int TFloydSteinbergDitherer::map(int red, int green, int blue)
{
    const int components[3] = { red, green, blue };
    int wanted[3];
    const auto slot = static_cast<std::size_t>(slot_);
    for (std::size_t k = 0; k < 3; ++k) {
        Channel& ch = channels_[k];
        // Integer division truncates toward zero: a sum of -9 gives 0, not -1.
        ch.current = std::clamp(components[k] + (ch.errors[slot] + ch.current + 8) / 16, 0, 255);
        wanted[k] = ch.current;
    }
    Color chosen = 0;
    const int index = lookup_.lookup(wanted[0], wanted[1], wanted[2], chosen);
    const int got[3] = { color_red(chosen), color_green(chosen), color_blue(chosen) };
    for (std::size_t k = 0; k < 3; ++k) {
        Channel& ch = channels_[k];
        const int err = ch.current - got[k];
        ch.current = err;
        if (err != 0) {
            // 3/16 below-left (into the slot the pixel came through), 5/16
            // below, 1/16 below-right, 7/16 to the next pixel of the row.
            ch.errors[slot] = ch.below_previous + 3 * err;
            ch.below_previous = ch.below + 5 * err;
            ch.below = err;
            ch.current = 7 * err;
        }
    }
    slot_ += direction_;
    column_ += direction_;
    return index;
}

void TFloydSteinbergDitherer::next_line()
{
    for (auto& ch : channels_) {
        ch.errors[static_cast<std::size_t>(slot_)] = ch.below_previous;
        ch.current = 0;
        ch.below = 0;
        ch.below_previous = 0;
    }
    TDitherEngine::next_line();
    slot_ = direction_ > 0 ? 0 : width_ + 1;
}

Bitmap remap_with(const Bitmap& source, TDitherEngine& engine, std::vector<Color> table)
{
    Bitmap result(0, 0, PixelFormat::pf8bit);
    result.set_palette(std::move(table));
    try {
        result.set_size(source.width(), source.height());
    } catch (const std::bad_alloc&) {
        throw GIFException("Failed to allocate memory for GIF DIB");
    }
    for (int y = 0; y < source.height(); ++y) {
        const std::uint8_t* in = source.row(y);
        std::uint8_t* out = result.row(y);
        while (engine.in_row()) {
            const int x = engine.column();
            const std::uint8_t* p = in + 3 * x;
            out[x] = static_cast<std::uint8_t>(engine.map(p[2], p[1], p[0]));
        }
        engine.next_line();
    }
    return result;
}

Bitmap RemapToPalette(Bitmap& source, const std::vector<Color>& palette, int mode)
{
    source.set_pixel_format(PixelFormat::pf24bit);
    TFastColorLookup lookup(palette);
    if (lookup.color_count() == 0)
        return Bitmap(0, 0, PixelFormat::pf8bit);
    std::vector<Color> table(palette.begin(), palette.begin() + lookup.color_count());
    table.resize(256, make_color(0, 0, 0));
    if (mode == dmFloydSteinberg) {
        TFloydSteinbergDitherer engine(lookup, source.width());
        return remap_with(source, engine, std::move(table));
    }
    TDitherEngine engine(lookup, source.width());
    return remap_with(source, engine, std::move(table));
}

} // namespace velmora
