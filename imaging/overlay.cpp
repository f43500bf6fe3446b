#include "imaging/overlay.h"

#include "base/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

    // Round with halves to the even neighbour, kept inside the int range.
    int round_to_int(long double value)
    {
        return static_cast<int>(std::clamp<long long>(round_half_even(value),
            std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }

} // namespace

std::pair<int, int> overlay_display_size(
    long double scale_factor, int width, int height, int zoom_percent)
{
    const long double zoom = zoom_percent;
    return { round_to_int(scale_factor * width * zoom * 0.01L),
        round_to_int(scale_factor * height * zoom * 0.01L) };
}

int overlay_display_offset(long double scale_factor, int offset)
{
    return round_to_int(scale_factor * offset);
}

int overlay_reflection_room(const OverlayGeometry& geometry, int overlay_height, int overlay_y)
{
    return geometry.picture_height + geometry.area_height - (overlay_height + overlay_y) + 10;
}

} // namespace velmora
