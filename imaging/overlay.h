#pragma once

#include "imaging/bitmap.h"
#include "settings/settings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace velmora {

// The overlay of one scene, ready for the frame builder.
struct OverlayState {
    std::unique_ptr<Bitmap> bitmap; // OverlayBitmap: display size, transparent
    std::unique_ptr<Bitmap> reflection; // OverlayReflectionBitmap, or null
    int x = 0; // OverlayX: left edge relative to the picture's top-left
    int y = 0; // OverlayY
    bool failed = false; // OverlayFailed: no usable overlay this scene
    bool reflection_fits = false; // OverlayReflectionFits
    // The transparent colours in effect: measured when the settings asked for
    // it (colours_probed), otherwise as the settings hold them. The caller
    // stores measured colours back into the settings record.
    Color xparent_color = 0; // OverlayXparentColor: the colour as the screen shows it
    Color xparent_color_24 = 0; // Overlay24BitXparentColor: the exact pixel value
    bool colors_probed = false;
};

// Where the scene puts the overlay: the picture's fitting and the sizes of the
// picture and of the reflection area below it.
struct OverlayGeometry {
    long double scale_factor = 1; // ScaleFactor
    int picture_height = 0; // height of Image1
    int area_height = 0; // height of Image2
};

// Shows the overlay's bottom-left pixel on the screen and answers the colour
// the screen displays there, or nothing when the screen cannot be read (the
// bitmap's own pixel is used then).
using ScreenProbe = std::function<std::optional<Color>(const Bitmap& overlay)>;

// Receives the progress lines of the preparation.
using OverlayStatus = std::function<void(const std::string&)>;

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

// Prepares the overlay of a single-image scene from the settings (values
// within their ranges). Nothing happens when Overlay is off. An empty overlay
// file name, a picture that cannot be loaded (reported with show_info) and a
// footing that leaves no rows give a failed overlay and a scene without one.
OverlayState overlay_setup(const Settings& s, const OverlayGeometry& geometry,
    const ScreenProbe& probe, const OverlayStatus& status);

} // namespace velmora
