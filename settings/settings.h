#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// ImageResCode of "Fit Screen": the scene is fitted to the screen itself.
inline constexpr std::int32_t kFitScreenResCode = 3;

// One entry of the slide show's image list (keys ImageNumber_NN,
// ImageShiftNumber_NN and UseImageBottom_NN).
struct ImageEntry {
    std::string ImageNumber;
    std::int32_t ImageShiftNumber = 0;
    bool UseImageBottom = false;
    bool operator==(const ImageEntry&) const = default;
};

// The process-wide settings record: one field per INI key, named by its key,
// in the order in which the keys are read. Before any reading every field
// holds its type's zero value.
struct Settings {
    std::string InstallDir;
    std::string ImageFileName;
    std::string ImageDir;
    std::int32_t ReflectionHeightPercent = 0;
    std::int32_t DelayTimeMS = 0;
    std::int32_t WaveFactor1 = 0;
    std::int32_t WaveFactor2 = 0;
    bool Overlay = false;
    std::string OverlayFileName;
    std::int32_t XOffSet = 0;
    std::int32_t YOffSet = 0;
    bool ShiftHorizon = false;
    std::int32_t ShiftPixels = 0;
    bool MultipleMode = false;
    std::int32_t NumMultipleImages = 0;
    // The image list. It holds the entries the file can actually describe;
    // `image_entry` gives the defaults for any entry beyond it, so a huge
    // NumMultipleImages never turns into a huge allocation.
    std::vector<ImageEntry> Images;
    std::int32_t MultDelayTime = 0;
    bool DisableReflection = false;
    bool OverlayReflection = false;
    std::int32_t NumberOfReflectedImages = 0;
    std::int32_t OverlayZoomFactor = 0;
    std::int32_t OverlayXparentColor = 0;
    std::int32_t Overlay24BitXparentColor = 0;
    bool AutoOverlayXparentColor = false;
    bool FlipOverlay = false;
    std::int32_t BrightnessLevel = 0;
    std::int32_t ImageResCode = 0; // 0..2 a fixed viewing size, kFitScreenResCode the screen
    std::int32_t OverlayBrightnessLevel = 0;
    std::int32_t OverlayShiftPixels = 0;
    bool UseImageBottom = false;
    std::int32_t OverlayWaveAdjustment = 0;

    // Run-time fields, never stored.
    std::int32_t SelectedImageIndex = 0;
    bool TestRun = false;

    // The GIF export's encoder as the file names it (see lzw_gif_export).
    // Read last and written only when set or already in the file, so files
    // that never name it stay as they were.
    std::string GIFCompression;

    // Entry k (1-based) of the image list; defaults when k lies beyond the
    // entries held in memory.
    ImageEntry image_entry(std::int32_t k) const
    {
        if (k >= 1 && static_cast<std::size_t>(k) <= Images.size())
            return Images[static_cast<std::size_t>(k - 1)];
        return {};
    }

    bool operator==(const Settings&) const = default;
};

// True when GIFCompression is "LZW" in any case: the export then writes LZW
// codes. Absent, empty or any other value keeps the run-length codes.
bool lzw_gif_export(const Settings& record);

// The one settings record of the process.
Settings& settings();

} // namespace velmora
