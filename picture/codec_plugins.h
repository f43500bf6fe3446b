#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The codecs that need the platform's graphics libraries live in plugins,
// shared objects loaded the first time a picture needs them, so that a
// program showing a JPEG, GIF or BMP never loads those libraries:
//   "images"     ICO, PNG, WebP and TIFF through Qt's image readers, and PNG
//                writing (for programs that do not link Qt themselves)
//   "metafiles"  WMF and EMF through the metafile converters, their SVG
//                renderers and the font stack
// A plugin is the file velmora-<name>.so, looked for in lib/velmora beside
// an installed program's bin folder, in plugins/ in the program's own folder
// (the build tree), then in the library search path (the build tree's test
// programs). Program and plugin come from the same build, so the table
// below is their whole interface.
struct CodecPlugin {
    // Decodes `file` as `format` ("ico", "png", "webp", "tiff", "wmf",
    // "emf"): the picture at its own size, or velmora::Error.
    Bitmap (*decode)(const std::string& format, const std::vector<std::uint8_t>& file);
    // Writes a 24-bit bitmap as a PNG file, replacing it as a whole; throws
    // velmora::Error "Unable to write to <path>". Null in "metafiles".
    void (*save_png)(const Bitmap& bitmap, const std::string& path);
};

// The C symbol through which a plugin hands out its table.
inline constexpr const char* kCodecPluginEntry = "velmora_codec_plugin";

// The plugin `name`, loaded on the first call and kept for the life of the
// process. Throws velmora::Error when it cannot be loaded.
const CodecPlugin& codec_plugin(const std::string& name);

// Registers the WMF and EMF decoders of the "metafiles" plugin.
void register_metafile_plugin();

// Registers the ICO, PNG, WebP and TIFF decoders of the "images" plugin.
void register_image_plugin();

} // namespace velmora
