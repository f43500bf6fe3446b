#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// What the frame builder needs to know about the overlay of the scene
// (prepared once per scene by the overlay setup).
struct FrameOverlay {
    // MultipleMode off, Overlay on and OverlayFailed false. The overlay also
    // counts as inactive while `bitmap` is null.
    bool active = false;
    // OverlayBitmap at display size. Drawn with its own transparency
    // settings (transparent, colour OverlayXparentColor).
    const Bitmap* bitmap = nullptr;
    // OverlayReflectionBitmap (upside down, brightness adjusted), or null
    // when none was made.
    const Bitmap* reflection = nullptr;
    int x = 0; // OverlayX: overlay's left edge, relative to the picture's top-left
    int y = 0; // OverlayY: overlay's top edge, relative to the picture's top-left
    bool reflection_fits = false; // OverlayReflectionFits
    bool reflection_on = false; // the OverlayReflection setting
    // OverlayXparentColor: the key with which the overlay's reflection and
    // its wave frames are drawn.
    Color xparent_color = 0;
    // Overlay24BitXparentColor: the fill colour of the overlay's wave frames.
    Color xparent_color_24 = 0;
    int wave_adjustment = 0; // OverlayWaveAdjustment, added to the wave shape
};

// Inputs of one build of the reflection frames.
struct FrameBuildInput {
    // The picture above the water edge at display size (Image1's bitmap). The
    // overlay is drawn onto it as part of the build. Null counts as an empty
    // picture.
    Bitmap* picture = nullptr;
    // The picture's own strip below the water edge at display size (Image2's
    // bitmap); read only when use_image_bottom is on. Null leaves the
    // reflection source white.
    const Bitmap* bottom = nullptr;
    int area_width = 0; // Image2 width: the width of every frame
    int area_height = 0; // Image2 height: the height of every frame and of the strip
    // UseImageBottom: reflect the picture's own bottom strip instead of a
    // mirror of the picture.
    bool use_image_bottom = false;
    int brightness = 0; // BrightnessLevel, added to the reflection source's bytes
    long double wave_shape = 0.1L; // WaveShape
    long double wave_speed = 0; // WaveSpeed
    int frame_count = 0; // FrameCount (N); 0 or less builds no frame
    FrameOverlay overlay;
    // Asked before every frame and every row; true stops the build. May be
    // empty (never stops).
    std::function<bool()> closing;
    // Receives the progress lines ("Building reflection image 1 of 12...").
    // May be empty.
    std::function<void(const std::string&)> status;
};

// The frames of one build: frame k (1-based) occupies x = (k - 1) * area
// width .. k * area width of `strip`; `built` frames are valid.
struct FrameStrip {
    // frame_strip: area_height high and N x area_width wide from the first
    // frame on (the room for all frames is taken at once); 0 x 0 when N <= 0.
    Bitmap strip;
    Bitmap frame; // frame_bitmap, the working frame (the last frame built)
    int built = 0; // FramesBuilt
};

// Builds the reflection frames into `out`, replacing what it held. Returns
// true when the build ran to its end (all N frames; the caller then sets
// FreeAllowed and, if closing meanwhile, frees the frames and the overlay),
// false when it stopped early: closing at the start (nothing is touched),
// closing before a frame or row, or memory running out. The frames built
// until then stay usable.
bool build_reflection_frames(const FrameBuildInput& input, FrameStrip& out);

// The largest strip of frames a scene holds (64 MiB). A larger reflection
// area (a fitted scene on a 4K screen: 15 frames of 1600 x 961 take 69 MB,
// of 3840 x 1081 take 187 MB) gets its frames made one per tick instead,
// from the mirrored area kept once: the same bytes, a frame's worth of work
// per tick (well under a millisecond per million pixels), and only one
// frame's memory.
inline constexpr long long kMaxFrameStripBytes = 64LL * 1024 * 1024;

// The bytes of a strip of `frame_count` frames of a reflection area.
long long frame_strip_bytes(int area_width, int area_height, int frame_count);

// True when the strip for such an area would exceed kMaxFrameStripBytes.
bool frames_per_tick(int area_width, int area_height, int frame_count);

// The reflection frames made one at a time, when they are shown: frame k
// holds exactly the bytes frame k of a strip built from the same input holds.
class FrameSequence {
public:
    FrameSequence();
    ~FrameSequence();
    FrameSequence(FrameSequence&&) noexcept;
    FrameSequence& operator=(FrameSequence&&) noexcept;

    // Makes the reflection source (drawing the overlay onto input.picture,
    // as a strip build does). The pictures and overlay `input` points to
    // must outlive the sequence. False, with no frames, when closing at the
    // start or memory runs out.
    bool prepare(const FrameBuildInput& input);
    // The frames there are: input.frame_count once prepared, else 0.
    int count() const;
    // Makes frame k (1-based) into `out`. False, with `out` untouched, when
    // k is not a frame or memory runs out.
    bool frame(int k, Bitmap& out) const;
    // Where the rows of frame k are held, without making it: row i of the
    // frame is the area's width of pixels at out[i], rows of the reflection
    // source, valid while the sequence lives. False when k is not a frame or
    // a frame is more than source rows (an overlay stands in front): frame()
    // makes it then.
    bool rows(int k, std::vector<const std::uint8_t*>& out) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora
