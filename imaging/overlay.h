#pragma once

#include "imaging/bitmap.h"

#include <utility>

namespace velmora {

// Where the scene puts the overlay: the picture's fitting and the sizes of the
// picture and of the reflection area below it.
struct OverlayGeometry {
    long double scale_factor = 1; // ScaleFactor
    int picture_height = 0; // height of Image1
    int area_height = 0; // height of Image2
};

// Largest overlay side after zooming. A tiny main picture enlarged to the
// viewing size, together with a large zoom, could otherwise ask for an
// overlay of tens of thousands of pixels a side.
inline constexpr int kMaxOverlaySide = 16384;

// Display size of an overlay of w x h pixels (footing already cut):
// Round(ScaleFactor x w x zoom x 0.01), computed in this order.
std::pair<int, int> overlay_display_size(
    long double scale_factor, int width, int height, int zoom_percent);

// An offset in pixels of the picture as loaded, in display pixels.
int overlay_display_offset(long double scale_factor, int offset);

// Rows the overlay's own reflection may use below the overlay: the distance
// from the overlay's bottom to the bottom of the reflection area, plus 10.
int overlay_reflection_room(const OverlayGeometry& geometry, int overlay_height, int overlay_y);

} // namespace velmora
