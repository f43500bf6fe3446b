#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <utility>

namespace velmora {

// The overlay dialog's still picture of a scene: the main picture cut at its
// water edge with one frozen frame of its reflection below, reduced into the
// dialog's preview panel, so that the overlay can be placed on it. The
// reflection uses the saver's own steps (mirror, wave, brightness), with a
// fixed wave; positions and sizes convert between preview pixels and pixels
// of the picture as loaded through PreviewScale.

// What the main preview is built from.
struct MainPreviewInput {
    std::int32_t shift = 0; // S: rows below the water edge (ShiftPixels, or 0)
    std::int32_t reflection_percent = 80; // P: ReflectionHeightPercent
    std::int32_t brightness = 0; // B: BrightnessLevel
    bool use_image_bottom = false; // U: UseImageBottom

    bool operator==(const MainPreviewInput&) const = default;
};

struct MainPreview {
    Bitmap bitmap; // Image1: the composite reduced to the panel
    int left = 0; // Image1's position, centred in the panel
    int top = 0;
    // Picture pixels per preview pixel: the composite's height before the
    // reduction divided by its height after it.
    long double PreviewScale = 1;
    int WaterLineY = 0; // the water line's row in the preview
    int reflection_rows = 0; // R: rows of the reflection in the composite
};

// The frozen wave of the preview: frame 5 of a cycle of 12, shape 14, speed 28.
inline constexpr int kPreviewWaveFrame = 5;
inline constexpr int kPreviewWavePeriod = 12;
inline constexpr long double kPreviewWaveShape = 14.0L;
inline constexpr long double kPreviewWaveSpeed = 28.0L;

// Builds the main preview of `picture` (24-bit) for a panel of the given
// size. The reflection takes R = Round((H - S) x P x 0.01) rows, mirrored
// from the rows above the edge, or with U the picture's own R = Round(S x P x
// 0.01) rows below the edge; as in the saver, the bottom part is only used
// when there is a water edge (S > 0). Throws velmora::Error
// "Shift-Pixel Amount is too large!" when S is not less than H - 1.
MainPreview build_main_preview(
    const Bitmap& picture, const MainPreviewInput& input, int panel_width, int panel_height);

// The overlay's size in the preview: Round(w / PreviewScale x zoom x 0.01)
// by the same for h, at least 1 x 1 for a picture that has pixels at all.
std::pair<int, int> overlay_preview_size(
    long double preview_scale, int width, int height, int zoom_percent);

// Where an overlay offset in picture pixels lies in the preview:
// Round(offset / PreviewScale + origin), origin being Image1's edge.
int overlay_preview_position(long double preview_scale, int offset, int origin);

// An offset in the preview (overlay edge minus Image1's edge) in picture
// pixels: Round(PreviewScale x offset).
int overlay_picture_offset(long double preview_scale, int preview_offset);

} // namespace velmora
