#pragma once

#include "imaging/bitmap.h"
#include "imaging/overlay.h"
#include "settings/settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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

// Shows the overlay's bottom-left pixel on the screen and answers the colour
// the screen displays there, or nothing when the screen cannot be read (the
// bitmap's own pixel is used then).
using ScreenProbe = std::function<std::optional<Color>(const Bitmap& overlay)>;

// Receives the progress lines of the preparation.
using OverlayStatus = std::function<void(const std::string&)>;

// The overlay picture as the scene and the overlay dialog take it: 24-bit,
// with the footing's rows cut off its bottom (no rows at all when the footing
// is as high as the picture or higher). Throws velmora::Error when the
// picture cannot be loaded.
Bitmap load_overlay_picture(const std::string& file_name, std::int32_t footing);

// Prepares the overlay of a single-image scene from the settings (values
// within their ranges). Nothing happens when Overlay is off. An empty overlay
// file name, a picture that cannot be loaded (reported with show_info) and a
// footing that leaves no rows give a failed overlay and a scene without one.
OverlayState overlay_setup(const Settings& s, const OverlayGeometry& geometry,
    const ScreenProbe& probe, const OverlayStatus& status);

} // namespace velmora
