#pragma once

#include "gif/frame_export.h"
#include "imaging/bitmap.h"
#include "imaging/frame_builder.h"
#include "scene/overlay_setup.h"
#include "settings/settings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// A scene: the picture above the water edge fitted to the viewing size, the
// reflection area below it, and where both sit on the screen. Computed without
// any window, so tools and tests can build scenes headlessly.

using ClosingQuery = std::function<bool()>;
using StatusSink = std::function<void(const std::string&)>;

// How a scene build talks to its surroundings: it asks `closing` at every
// point where it may stop, and reports progress lines to `status`.
struct SceneHooks {
    ClosingQuery closing;
    StatusSink status;

    bool is_closing() const { return closing && closing(); }
    void report(const std::string& text) const
    {
        if (status)
            status(text);
    }
};

struct ViewingSize {
    int width;
    int height;
};

// The largest picture for an ImageResCode: 0 small, 1 medium, 2 large.
ViewingSize viewing_size(std::int32_t image_res_code);

// The box a scene is fitted into on a screen (or host window) of the given
// size: the fixed size of codes 0..2, or for 3 ("Fit Screen") the screen
// itself, so that picture and reflection together fill its height or width.
ViewingSize viewing_size(std::int32_t image_res_code, int screen_width, int screen_height);

// ScaleFactor is kept as a six-byte real: 40 significant bits. Every use of
// the factor sees the rounded value, so overlay sizes and offsets come out
// as they always have.
long double round_to_real48(long double value);

struct PanelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct Scene {
    Bitmap picture; // Image1: the picture above the water edge, display size
    // Image2: the picture's own strip below the edge (when UseImageBottom is
    // on and the edge was cut), otherwise the reflection area; its size is
    // the size of Image2 on the screen.
    Bitmap area;
    PanelRect panel; // Panel1: Image1 with Image2 directly below, centred
    long double ScaleFactor = 0;
    long double ReflectionRatio = 0;
    long double WaveShape = 0.1L;
    long double WaveSpeed = 0;
    bool UseImageBottom = false; // the setting as the scene applies it
    bool edge_cut = false; // the picture was cut at the water edge
    bool reflection_shown = true; // false: no reflection area (slide show without reflections)
};

// The rule for UseImageBottom: kept only when the picture has a water edge
// (E not 0) that the mode uses (slide show, or ShiftHorizon).
bool use_image_bottom_applies(const Settings& s, std::int32_t water_edge);

// Loads the main picture as a 24-bit bitmap. Throws velmora::Error with the
// text the user sees: no name, or a file that cannot be loaded.
Bitmap load_main_picture(const std::string& file_name);

// Cuts the picture at the water edge (E rows lie below it), fits it to the
// viewing size and lays out the panel on a screen of the given size.
// Under Fit Screen the whole panel lies inside the screen, above its bottom
// `status_rows` rows, which stay free for the status line. Settings are taken
// within their ranges. Returns nothing when closing stopped it; throws
// velmora::Error when the water edge lies at or above the picture's top.
std::optional<Scene> assemble_scene(Bitmap picture, std::int32_t water_edge, const Settings& record,
    int screen_width, int screen_height, const SceneHooks& hooks, int status_rows = 0);

// The overlay of a single-image scene (none in the slide show).
OverlayState prepare_scene_overlay(
    const Settings& record, const Scene& scene, const ScreenProbe& probe, const SceneHooks& hooks);

// The picture a saver run starts with: in the slide show (with at least one
// entry) entry 1, or the entry selected in the setup dialog, whose
// UseImageBottom it copies into `record`; otherwise the single picture.
struct FirstPicture {
    std::string file_name;
    std::int32_t water_edge = 0;
    std::int32_t image_index = 1; // CurrentImageIndex
};
FirstPicture first_picture(Settings& record);

// Frames to build: NumberOfReflectedImages within its range (at most 15).
int frame_count(const Settings& record);

// What the frame builder needs for a scene. `overlay` (and `scene`) must
// outlive the build; settings are taken within their ranges.
FrameBuildInput frame_build_input(
    Scene& scene, const OverlayState& overlay, const Settings& record, const SceneHooks& hooks);

// Copies frame k (1-based) of `frames` onto `area` at (0, 0). False, with
// nothing copied, when frame k is not built.
bool copy_frame(const FrameStrip& frames, int k, Bitmap& area);

// Where frame k (1-based) of `frames` lies in the strip, without copying it:
// row i of the frame is the area's width of pixels at out[i]. False when
// frame k is not built.
bool frame_rows(
    const FrameStrip& frames, int k, const Bitmap& area, std::vector<const std::uint8_t*>& out);

// What the GIF export reads of a shown scene; the frame delay is the
// animation's interval (DelayTimeMS within its range), the encoder the one
// GIFCompression names.
ReflectionScene export_source(const Scene& scene, const FrameStrip& frames, const Settings& record);

// A whole scene as the saver shows it, reflection frames included.
struct BuiltScene {
    Scene scene;
    OverlayState overlay;
    FrameStrip frames;
};

// Everything the display does for one picture, without a window: load, cut,
// fit, lay out, prepare the overlay and build the frames. UseImageBottom and
// measured overlay colours are written into `record`, as the display does.
// Returns nothing when closing stopped it; throws velmora::Error with the
// user's message when the picture cannot be shown.
std::optional<BuiltScene> build_scene(const std::string& file_name, std::int32_t water_edge,
    Settings& record, int screen_width, int screen_height, const SceneHooks& hooks,
    const ScreenProbe& probe = {}, int status_rows = 0);

} // namespace velmora
