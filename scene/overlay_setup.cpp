#include "scene/overlay_setup.h"

#include "base/error.h"
#include "base/show_info.h"
#include "imaging/rescaler.h"
#include "picture/picture.h"

#include <algorithm>

namespace velmora {

namespace {

    // A name of nothing but blanks and control characters names no file.
    bool blank(const std::string& text)
    {
        return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' '; });
    }

} // namespace

Bitmap load_overlay_picture(const std::string& file_name, std::int32_t footing)
{
    Bitmap overlay = load_picture(file_name);
    overlay.set_pixel_format(PixelFormat::pf24bit);
    // The footing is the part of the overlay picture below its water line.
    const long long rows = static_cast<long long>(overlay.height()) - std::max(footing, 0);
    overlay.set_height(static_cast<int>(std::max(rows, 0LL)));
    return overlay;
}

OverlayState overlay_setup(const Settings& s, const OverlayGeometry& geometry,
    const ScreenProbe& probe, const OverlayStatus& status)
{
    OverlayState state;
    state.xparent_color = s.OverlayXparentColor;
    state.xparent_color_24 = s.Overlay24BitXparentColor;
    if (!s.Overlay)
        return state;
    if (blank(s.OverlayFileName)) {
        state.failed = true;
        return state;
    }

    auto overlay = std::make_unique<Bitmap>();
    try {
        *overlay = load_overlay_picture(s.OverlayFileName, s.OverlayShiftPixels);
    } catch (const Error&) {
        show_info("Error loading Overlay image \"" + s.OverlayFileName + "\"!");
        state.failed = true;
        return state;
    }
    // A footing as high as the picture or higher leaves nothing to show: the
    // scene goes on without an overlay.
    if (overlay->empty()) {
        state.failed = true;
        return state;
    }

    if (s.AutoOverlayXparentColor || s.OverlayXparentColor == -1
        || s.Overlay24BitXparentColor == -1) {
        // The bottom-left pixel is the background, taken before mirroring and
        // scaling move it.
        const Color own = overlay->pixel(0, overlay->height() - 1);
        const std::optional<Color> shown = probe ? probe(*overlay) : std::nullopt;
        state.xparent_color = shown.value_or(own);
        state.xparent_color_24 = own;
        state.colors_probed = true;
    }

    if (s.FlipOverlay)
        flip_reverse(false, true, *overlay);

    if (status)
        status("Resampling Overlay..");
    const auto [width, height] = overlay_display_size(
        geometry.scale_factor, overlay->width(), overlay->height(), s.OverlayZoomFactor);
    if (width <= 0 || height <= 0 || width > kMaxOverlaySide || height > kMaxOverlaySide) {
        // Zoomed to nothing, or to a size no screen shows.
        state.failed = true;
        return state;
    }
    rescale_bitmap(*overlay, width, height);
    state.x = overlay_display_offset(geometry.scale_factor, s.XOffSet);
    state.y = overlay_display_offset(geometry.scale_factor, s.YOffSet);
    if (status)
        status("Done Resampling Overlay...");

    overlay->set_transparent(true);
    overlay->set_transparent_color(state.xparent_color);

    state.reflection_fits
        = overlay->height() + state.y < geometry.picture_height + geometry.area_height;
    if (s.OverlayReflection && state.reflection_fits) {
        auto reflection = std::make_unique<Bitmap>(flip_reverse_copy(true, false, *overlay));
        reflection->set_transparent(true);
        reflection->set_transparent_color(state.xparent_color);
        const int room = overlay_reflection_room(geometry, overlay->height(), state.y);
        if (room < reflection->height())
            reflection->set_height(room);
        const int level = s.OverlayBrightnessLevel + s.BrightnessLevel;
        if (level != 0)
            adjust_brightness_keyed(*reflection, level, state.xparent_color_24);
        state.reflection = std::move(reflection);
    }
    state.bitmap = std::move(overlay);
    return state;
}

} // namespace velmora
