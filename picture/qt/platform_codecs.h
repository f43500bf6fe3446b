#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <vector>

namespace velmora {

// Registers the picture decoders that use the platform's codecs: BMP and ICO
// through Qt's image readers, WMF and EMF through metafile renderers.
// Safe to call more than once.
void register_platform_codecs();

// A BMP file's picture at its own size.
Bitmap decode_bmp(const std::vector<std::uint8_t>& file);

// An icon file's largest image (the deepest one among equally large images),
// its transparent parts shown on white, as when an icon is drawn onto a
// fresh bitmap.
Bitmap decode_ico(const std::vector<std::uint8_t>& file);

} // namespace velmora
