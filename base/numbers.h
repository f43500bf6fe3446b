#pragma once

#include <cmath>
#include <limits>

namespace velmora {

// Image-engine arithmetic on real values runs in extended precision: the
// 80-bit format with a 64-bit significand. Offsets and sizes computed in it
// must come out identical everywhere, so refuse to build where long double
// is something else.
static_assert(std::numeric_limits<long double>::digits == 64,
    "long double must be the 80-bit extended format");

// 2 pi as an extended constant.
inline constexpr long double kTwoPi = 6.283185307179586477L;

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2), independently of the floating-point rounding mode.
// Values beyond the range of long long saturate; NaN gives 0.
long long round_half_even(long double value);

// Truncates toward zero, saturating like round_half_even.
long long trunc_saturated(long double value);

} // namespace velmora
