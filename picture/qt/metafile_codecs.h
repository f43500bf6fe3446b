#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <vector>

namespace velmora {

// Metafiles are drawings; they become pictures at 96 pixels per inch, the
// resolution at which the program lays out every picture. The picture's own
// size is the drawing's frame at that resolution, drawn onto white.

// A Windows metafile: its size comes from the placeable header's bounding
// box and units per inch. A metafile without that header has no physical
// size; the window its records set up is then taken in pixels (one logical
// unit per pixel), as for drawings in device units. Drawn through libwmf's
// SVG output by Qt's SVG renderer.
Bitmap decode_wmf(const std::vector<std::uint8_t>& file);

// An enhanced metafile: its size is the header's frame (0.01 mm), or the
// header's bounds in pixels when the frame is empty. Converted to SVG by
// libemf2svg and drawn by librsvg, which honours the clip paths the
// conversion produces. EMF+ records are ignored; the plain records every
// dual metafile carries are drawn instead.
Bitmap decode_emf(const std::vector<std::uint8_t>& file);

} // namespace velmora
