#pragma once

#include "gif/gif_image.h"
#include "imaging/bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// Receives each status line of the export (the display shows it and lets
// pending events run).
using ExportStatus = std::function<void(const std::string& text)>;

// What the export reads from the scene; nothing of it is changed.
struct ReflectionScene {
    const Bitmap* picture = nullptr; // Image1's bitmap: W1 x H1, 24-bit
    const Bitmap* frame_strip = nullptr; // the reflection frames side by side
    int frames_built = 0; // N: frames valid in the strip
    int area_width = 0; // W2: the reflection area (Image2)
    int area_height = 0; // H2
    int delay_ms = 0; // DelayTimeMS, the animation's frame interval
    // The saver refuses scenes above the size limit; the command-line tool
    // may lift it when asked to.
    bool check_size = true;
    // The image data in LZW codes (smaller files) instead of the run-length
    // codes the export has always written.
    bool lzw = false;
};

// The largest scene a GIF is made of: W1 at most 323, H1 + H2 at most 203.
constexpr int kMaxGIFSceneWidth = 323;
constexpr int kMaxGIFSceneHeight = 203;

// Builds the animated GIF of the scene: the picture with the first
// reflection frame (dithered onto a shared 256-colour palette), then one
// transparent frame per further reflection frame, looping for ever, merged
// to one sorted global table. Fails with velmora::Error before any work for a
// scene that is too large or has no frames.
std::unique_ptr<TGIFImage> build_reflection_gif(
    const ReflectionScene& scene, const ExportStatus& status = {});

// "Reflection_%.2d.GIF" in the folder for a number.
std::string reflection_file_name(const std::string& folder, int number);

// Stores a GIF's bytes under the first free name Reflection_00.GIF ..
// Reflection_100.GIF of the folder (created when missing) and returns the
// path. The bytes go to a temporary file first and are linked to the name
// only when complete, so no file that exists is ever overwritten (except
// Reflection_100.GIF once every name is taken) and a failure leaves nothing
// behind. Reports "Writing GIF file <name>.  Please wait...".
std::string store_reflection_gif(const std::vector<std::uint8_t>& bytes, const std::string& folder,
    const ExportStatus& status = {});

// Both: builds the GIF and stores it; returns the path.
std::string save_reflection_gif(
    const ReflectionScene& scene, const std::string& folder, const ExportStatus& status = {});

} // namespace velmora
