#pragma once

#include "imaging/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// How a camera says its picture is to be turned for viewing: the EXIF
// orientation tag, 1..8. 1 is upright; 2 mirrored left-right; 3 turned half
// round; 4 mirrored top-bottom; 5 mirrored along the main diagonal; 6 to be
// turned a quarter clockwise; 7 mirrored along the other diagonal; 8 to be
// turned a quarter anticlockwise.
enum class Orientation : std::uint8_t {
    upright = 1,
    mirrored = 2,
    half_turn = 3,
    flipped = 4,
    transposed = 5,
    quarter_clockwise = 6,
    transversed = 7,
    quarter_anticlockwise = 8,
};

// The orientation a JPEG file's EXIF block (APP1 "Exif") gives, read without
// ever reaching outside `data`. No EXIF block, a block without the tag, or a
// damaged or hostile block (offsets beyond its end, a wrong type, a value
// outside 1..8) all give `upright`.
Orientation jpeg_orientation(const std::uint8_t* data, std::size_t size);

// The picture as it is meant to be seen: `stored` turned or mirrored as
// `orientation` says (width and height swap for 5..8). Returns it unchanged
// for `upright`.
Bitmap oriented(Bitmap stored, Orientation orientation);

// Reads a JPEG file (see read_picture_file), decodes it and turns it upright.
// The water edge and the locator work on this picture, so every caller sees
// the same rows.
Bitmap load_oriented_jpeg_file(const std::string& path);

} // namespace velmora
