#include "base/numbers.h"

namespace velmora {

namespace {

    // Converts an integral long double to long long, saturating at the ends.
    long long saturate(long double integral)
    {
        // 2^63 is exact in long double; anything at or above it does not fit.
        constexpr long double limit = 9223372036854775808.0L;
        if (std::isnan(integral))
            return 0;
        if (integral >= limit)
            return std::numeric_limits<long long>::max();
        if (integral < -limit)
            return std::numeric_limits<long long>::min();
        return static_cast<long long>(integral);
    }

} // namespace

long long round_half_even(long double value)
{
    if (!std::isfinite(value))
        return saturate(value);
    const long double below = std::floor(value);
    // Exact: the fraction is made of value's own low-order bits.
    const long double fraction = value - below;
    long double result = below;
    if (fraction > 0.5L)
        result = below + 1.0L;
    else if (fraction == 0.5L && std::fmod(below, 2.0L) != 0.0L)
        result = below + 1.0L;
    return saturate(result);
}

long long trunc_saturated(long double value)
{
    return saturate(std::trunc(value));
}

} // namespace velmora
