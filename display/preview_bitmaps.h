#pragma once

#include "imaging/bitmap.h"

#include <optional>
#include <string>

namespace velmora {

// The two bitmaps built into the program, drawn by the preview window and
// the about box: MAIN, a small still picture, and REFLECT, five frames of its
// reflection side by side, each as wide as MAIN.
inline constexpr const char* kMainResource = "MAIN";
inline constexpr const char* kReflectResource = "REFLECT";
inline constexpr int kReflectFrames = 5;

// Loads one of the program's bitmap resources by name as a 24-bit bitmap;
// nothing when there is no such resource. The caller reports a missing one
// in its own words.
std::optional<Bitmap> load_resource_bitmap(const std::string& name);

struct PreviewBitmaps {
    Bitmap main;
    Bitmap reflect;
};

// Loads MAIN and REFLECT. Each one that is missing is reported through
// show_info with `missing_message` and left empty.
PreviewBitmaps load_preview_bitmaps(const std::string& missing_message);

} // namespace velmora
