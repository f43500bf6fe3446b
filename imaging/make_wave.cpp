#include "imaging/make_wave.h"

#include "base/numbers.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace velmora {

namespace {

    // No bitmap is this high, so an offset clamped to it still selects no
    // row, and row + offset stays far from overflowing.
    constexpr long double kMaxOffset = 1 << 30;

    Bitmap wave_frame(const Bitmap& original, int frame, int period, long double height_factor,
        Color fill, long double shape, long double speed)
    {
        const Bitmap* source = &original;
        Bitmap converted;
        if (original.pixel_format() != PixelFormat::pf24bit) {
            converted = original;
            converted.set_pixel_format(PixelFormat::pf24bit);
            source = &converted;
        }
        const int width = source->width();
        const int height = source->height();
        const long long rounded = round_half_even(height_factor * height);
        if (rounded > std::numeric_limits<int>::max())
            throw std::bad_alloc();
        const int result_height = rounded < 0 ? 0 : static_cast<int>(rounded);

        Bitmap result(width, result_height, PixelFormat::pf24bit);
        result.fill(fill);
        const long double phase = wave_phase(frame, period);
        const auto row_bytes = static_cast<std::size_t>(width) * 3;
        for (int i = 0; i < result_height && row_bytes > 0; ++i) {
            const int v = wave_offset(height, i, shape, speed, phase, kMakeWaveAmplitude);
            int from = i + v;
            if (from < 0)
                from = i; // no displacement
            if (from > height - 1)
                continue; // stays in the fill colour
            std::memcpy(result.row(i), source->row(from), row_bytes);
        }
        return result;
    }

} // namespace

long double wave_phase(int frame, int period)
{
    return static_cast<long double>(frame) * kTwoPi / static_cast<long double>(period);
}

int wave_offset(int height, int row, long double shape, long double speed, long double phase,
    long double amplitude)
{
    if (shape == 0.0L)
        shape = 0.1L;
    const auto h = static_cast<long double>(height);
    const long double t
        = (h / shape) * static_cast<long double>(height - row) / static_cast<long double>(row + 1)
        + phase;
    const long double s = std::sin(t);
    const long double v
        = s * ((h / shape) * (static_cast<long double>(row) + speed)) / h * amplitude;
    if (!std::isfinite(v))
        return 0;
    const long double truncated = std::trunc(v);
    if (truncated > kMaxOffset)
        return static_cast<int>(kMaxOffset);
    if (truncated < -kMaxOffset)
        return -static_cast<int>(kMaxOffset);
    return static_cast<int>(truncated);
}

std::unique_ptr<Bitmap> make_wave(const Bitmap& source, int frame, int period,
    long double height_factor, Color fill, long double shape, long double speed)
{
    try {
        return std::make_unique<Bitmap>(
            wave_frame(source, frame, period, height_factor, fill, shape, speed));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void apply_wave(Bitmap& bitmap, int frame, int period, long double height_factor, Color fill,
    long double shape, long double speed)
{
    Bitmap result = wave_frame(bitmap, frame, period, height_factor, fill, shape, speed);
    result.set_transparent(bitmap.transparent());
    result.set_transparent_color(bitmap.transparent_color());
    bitmap = std::move(result);
}

} // namespace velmora
