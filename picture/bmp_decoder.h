#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <vector>

namespace velmora {

// A BMP file's picture at its own size, in 24 bits: the old core header and
// the info headers of every later version; 1, 4 and 8 bits through the
// palette (a missing colour is black), 16 and 32 bits through the header's
// channel masks (5 bits per channel and 8 bits per channel when there are
// none; a channel of fewer than 8 bits fills the top bits), 24 bits as they
// are; uncompressed, bit fields, or run-length coded
// in 8 or 4 bits (pixels the runs skip stay black).
// Alpha is dropped. Decoded here rather than by a platform library, so a
// BMP picture needs no graphics stack. The file first passes check_bmp;
// any other fault throws velmora::Error.
Bitmap decode_bmp(const std::vector<std::uint8_t>& file);

} // namespace velmora
