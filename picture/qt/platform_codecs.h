#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <vector>

namespace velmora {

// Registers the picture decoders that use the platform's codecs: BMP and ICO
// through Qt's image readers, WMF and EMF through metafile renderers, and
// PNG, WebP and TIFF through Qt's readers (WebP and TIFF need Qt's
// image-format plugins; without them such a file fails to load).
// Safe to call more than once.
void register_platform_codecs();

// A BMP file's picture at its own size.
Bitmap decode_bmp(const std::vector<std::uint8_t>& file);

// An icon file's largest image (the deepest one among equally large images),
// its transparent parts shown on white, as when an icon is drawn onto a
// fresh bitmap.
Bitmap decode_ico(const std::vector<std::uint8_t>& file);

// A PNG, WebP or TIFF file (`format` "png", "webp" or "tiff") at its own
// size. Transparent parts are composed over black, the colour around every
// scene, so a cut-out picture shows as the user saw it in other viewers
// against a dark background.
Bitmap decode_modern_picture(const std::vector<std::uint8_t>& file, const char* format);

} // namespace velmora
