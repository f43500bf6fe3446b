#pragma once

#include "imaging/bitmap.h"
#include "picture/bmp_decoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Registers the picture decoders that use the platform's codecs: ICO, PNG,
// WebP and TIFF through Qt's image readers in this program (WebP and TIFF
// need Qt's image-format plugins; without them such a file fails to load),
// WMF and EMF through the metafile plugin (picture/codec_plugins.h), loaded
// when the first metafile is opened. BMP is the core's own (decode_bmp).
// Safe to call more than once.
void register_platform_codecs();

// An icon file's largest image (the deepest one among equally large images),
// its transparent parts shown on white, as when an icon is drawn onto a
// fresh bitmap.
Bitmap decode_ico(const std::vector<std::uint8_t>& file);

// A PNG, WebP or TIFF file (`format` "png", "webp" or "tiff") at its own
// size. Transparent parts are composed over black, the colour around every
// scene, so a cut-out picture shows as the user saw it in other viewers
// against a dark background.
Bitmap decode_modern_picture(const std::vector<std::uint8_t>& file, const char* format);

// Writes a 24-bit bitmap as a PNG file, replacing it as a whole; throws
// velmora::Error "Unable to write to <path>".
void save_png(const Bitmap& bitmap, const std::string& path);

} // namespace velmora
