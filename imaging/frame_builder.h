#pragma once

#include "imaging/bitmap.h"

#include <functional>
#include <string>

namespace velmora {

// What the frame builder needs to know about the overlay of the scene.
struct FrameOverlay {
    // MultipleMode off, Overlay on and OverlayFailed false.
    bool active = false;
    const Bitmap* bitmap = nullptr; // OverlayBitmap: transparent, colour OverlayXparentColor
    const Bitmap* reflection = nullptr; // OverlayReflectionBitmap, or null when none
    int x = 0; // OverlayX, relative to the picture's top-left
    int y = 0; // OverlayY
    bool reflection_fits = false; // OverlayReflectionFits
    bool reflection_on = false; // the OverlayReflection setting
    Color xparent_color = 0; // OverlayXparentColor
    Color xparent_color_24 = 0; // Overlay24BitXparentColor
    int wave_adjustment = 0; // OverlayWaveAdjustment
};

// Inputs of one build of the reflection frames.
struct FrameBuildInput {
    // The picture above the water edge at display size (Image1's bitmap). The
    // overlay is drawn onto it as part of the build.
    Bitmap* picture = nullptr;
    // The picture's own strip below the water edge at display size (Image2's
    // bitmap); read only when use_image_bottom is on.
    const Bitmap* bottom = nullptr;
    int area_width = 0; // Image2 width
    int area_height = 0; // Image2 height
    bool use_image_bottom = false;
    int brightness = 0; // BrightnessLevel
    long double wave_shape = 0.1L; // WaveShape
    long double wave_speed = 0; // WaveSpeed
    int frame_count = 0; // FrameCount (N)
    FrameOverlay overlay;
    // Asked before every frame and every row; true stops the build.
    std::function<bool()> closing;
    // Receives the progress lines ("Building reflection image 1 of 12...").
    std::function<void(const std::string&)> status;
};

// The frames of one build: frame k (1-based) occupies x = (k - 1) * area
// width .. k * area width of `strip`; `built` frames are valid.
struct FrameStrip {
    Bitmap strip; // frame_strip
    Bitmap frame; // frame_bitmap, the working frame
    int built = 0; // FramesBuilt
};

// Builds the reflection frames into `out`. Returns true when the build ran to
// its end (all N frames), false when it stopped early (closing, or the strip
// could not grow); the frames built until then stay usable.
bool build_reflection_frames(const FrameBuildInput& input, FrameStrip& out);

} // namespace velmora
