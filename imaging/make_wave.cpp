#include "imaging/make_wave.h"

#include "base/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace velmora {

namespace {

    // No bitmap is this high, so an offset clamped to it still selects no
    // row, and row + offset stays far from overflowing.
    constexpr long double kMaxOffset = 1 << 30;

    // pi / 2 in three parts. The first two have 32 significant bits, so q
    // times either is exact for every |q| below 2^31; the third holds the
    // next 64 bits.
    constexpr long double kHalfPiHi = 0xc90fdaa200000000p-63L;
    constexpr long double kHalfPiMid = 0x85a308d300000000p-97L;
    constexpr long double kHalfPiLo = 0x98cc51701b839a25p-132L;
    constexpr long double kTwoOverPi = 0xa2f9836e4e441529p-64L;

    // The sine of t, quickly: t less the nearest multiple q of pi / 2 (with
    // the exact parts above) leaves r within pi / 4, whose sine or cosine the
    // library computes without an argument reduction of its own; the full
    // reduction std::sin makes for an argument beyond pi / 4 costs it ten
    // times as much. The result may differ from std::sin(t) in the last
    // bits, so the caller only trusts what those bits cannot change. False
    // for arguments too large (or not finite) to reduce this way.
    // The parts above and the checks below rely on a 64-bit mantissa; with a
    // shorter long double every sine is the library's own.
    constexpr bool kQuickSine = std::numeric_limits<long double>::digits >= 64;

    // 1.5 x 2^(mantissa bits - 1): (x + it) - it is x rounded to a whole
    // number (in the current rounding direction) for |x| below 2^62, with no
    // conversion to an integer type. Converting an extended value to an
    // integer switches the processor's rounding mode twice, which costs more
    // than everything else in an offset; converting a double does not.
    constexpr long double rounder()
    {
        long double r = 1.5L;
        for (int i = 1; i < std::numeric_limits<long double>::digits; ++i)
            r *= 2;
        return r;
    }
    constexpr long double kRounder = rounder();

    long double whole(long double x)
    {
        return (x + kRounder) - kRounder;
    }

    bool quick_sin(long double t, long double& result)
    {
        if (!kQuickSine || !(std::fabs(t) < 1.0e9L))
            return false;
        // Any whole number near t / (pi / 2) serves: being one off only makes
        // r a little larger.
        const long double q = whole(t * kTwoOverPi);
        const long double r = ((t - q * kHalfPiHi) - q * kHalfPiMid) - q * kHalfPiLo;
        // |q| < 2^30: exact as a double, whose conversion is cheap.
        switch (static_cast<long long>(static_cast<double>(q)) & 3) {
        case 0:
            result = std::sin(r);
            break;
        case 1:
            result = std::cos(r);
            break;
        case 2:
            result = -std::sin(r);
            break;
        default:
            result = -std::cos(r);
            break;
        }
        return true;
    }

    // How far an offset computed from the quick sine must lie from a whole
    // number for its truncation to be certainly that of the exact sine: the
    // two sines differ by far less than 1e-15, and the offset scales that by
    // at most its own factor.
    constexpr long double kTrustMargin = 1.0e-9L;
    // Offsets checked for their distance to a whole number (below 2^50).
    constexpr long double kLargestChecked = 1.0e15L;

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

WaveRow wave_row(int height, int row, long double shape, long double speed, long double amplitude)
{
    if (shape == 0.0L)
        shape = 0.1L;
    WaveRow r;
    r.height = static_cast<long double>(height);
    const long double span = r.height / shape;
    r.base = span * static_cast<long double>(height - row) / static_cast<long double>(row + 1);
    // v = sin t * (span * (i + speed)) / h * amplitude, in this order.
    r.reach = span * (static_cast<long double>(row) + speed);
    r.amplitude = amplitude;
    return r;
}

int wave_offset(const WaveRow& r, long double phase)
{
    const long double t = r.base + phase;
    // Only the truncated offset counts, so the quick sine serves whenever the
    // offset lies clearly between two whole numbers; on the rare row where it
    // comes close to one, the exact sine decides.
    long double quick = 0;
    long double v = 0;
    bool decided = false;
    if (quick_sin(t, quick)) {
        v = quick * r.reach / r.height * r.amplitude;
        const long double factor = std::fabs(r.reach / r.height * r.amplitude);
        if (std::fabs(v) < kLargestChecked) {
            // A whole number within 1 of v, whatever the rounding direction;
            // the distance to the nearest is the smaller of the two gaps.
            const long double part = std::fabs(v - whole(v));
            const long double distance = std::min(part, 1.0L - part);
            decided = distance > kTrustMargin * (factor + 1.0L);
        }
    }
    if (!decided)
        v = std::sin(t) * r.reach / r.height * r.amplitude;
    if (!std::isfinite(v))
        return 0;
    const long double truncated = std::trunc(v);
    if (truncated > kMaxOffset)
        return static_cast<int>(kMaxOffset);
    if (truncated < -kMaxOffset)
        return -static_cast<int>(kMaxOffset);
    // A whole number within 2^30: exact as a double, whose conversion is cheap.
    return static_cast<int>(static_cast<double>(truncated));
}

int wave_offset(int height, int row, long double shape, long double speed, long double phase,
    long double amplitude)
{
    return wave_offset(wave_row(height, row, shape, speed, amplitude), phase);
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
