#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <vector>

namespace velmora {

// Metafiles are drawings; they become pictures at 96 pixels per inch, the
// resolution at which the program lays out every picture. The picture's own
// size is the drawing's frame at that resolution, drawn onto white.
//
// A drawing is never made larger than kMaxMetafileSide on its long side: a
// larger frame is drawn smaller, its shape kept. The saver shows a picture
// at 800 x 600 at most, so nothing is lost, and a frame of a few bytes can
// no longer claim gigabytes of pixels.
//
// The drawing goes through SVG text, which a full SVG renderer draws; the
// metafile's own content (its text records above all) reaches that text.
// Text is therefore written as text (escaped, never markup), and the SVG is
// parsed and written anew with only drawing elements and no reference out
// of the document (guarded_svg) before it is drawn: a metafile can neither
// draw markup it carries as text nor make the renderer read another file.

inline constexpr int kMaxMetafileSide = 4096;

// The size a drawing of `width` x `height` is made at: the same when its
// long side is at most kMaxMetafileSide, else shrunk to that, each side at
// least 1.
struct DrawingSize {
    int width;
    int height;
};
DrawingSize metafile_drawing_size(long long width, long long height);

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
