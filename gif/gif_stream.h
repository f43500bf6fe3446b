#pragma once

// The bit-stream layer of the GIF reader: data sub-blocks and LZW codes.
// The block parser (gif_reader.cpp) knows nothing of bits; this layer knows
// nothing of frames beyond the pixel buffer it fills.

#include "gif/gif_error.h"
#include "gif/gif_input.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velmora {

// Reads data sub-blocks up to the zero-length block. Blocks cut short by the
// end of the data give the warning "Premature end of data"; what is there is
// kept.
std::vector<std::vector<std::uint8_t>> read_sub_blocks(GIFInput& in, const GIFWarningHandler& warn);

// Skips data sub-blocks up to and including the zero-length block.
void skip_sub_blocks(GIFInput& in, const GIFWarningHandler& warn);

// Writes bytes as data sub-blocks of at most 255 bytes (no terminator).
void write_sub_blocks(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size);

// LZW code sizes are at most 12 bits (GIF89a appendix F), so the string
// table has 4096 entries.
constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;
// The largest minimum code size whose clear and end codes fit the table.
constexpr int kMaxMinimumCodeSize = kMaxCodeBits - 1;

// Codes read least significant bit first from the image data sub-blocks.
class TGIFCodeReader {
public:
    TGIFCodeReader(GIFInput& in, const GIFWarningHandler& warn);

    // The next code of `width` bits, or -1 when the data has ended (a read
    // past the zero-length block gives "Decoder bit buffer under-run").
    int read(int width);
    // True once the zero-length sub-block (or the end of the input) was met.
    bool end_of_data() const { return end_of_data_; }
    // Reads and drops the remaining sub-blocks up to the zero-length block.
    void skip_rest();

private:
    bool fill_byte();

    GIFInput& in_;
    const GIFWarningHandler& warn_;
    std::uint32_t bits_ = 0; // pending bits, the oldest in the low end
    int bit_count_ = 0; // how many bits of bits_ are pending
    int block_left_ = 0; // bytes still unread in the current sub-block
    bool end_of_data_ = false;
};

// Where decoded pixels go: a width x height buffer of palette indices, rows
// stored top to bottom, filled in interlaced order when asked to.
struct TGIFPixelTarget {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    bool interlaced = false;
};

// Decodes one frame's image data (minimum code size byte, then sub-blocks)
// into the target. Pixels the data does not reach keep their value. Fails
// with "Circular decoder table entry" on a string that refers to itself and
// with "Invalid GIF data" on a minimum code size above kMaxMinimumCodeSize.
// The stream is left after the frame's zero-length sub-block.
void decode_image_data(GIFInput& in, const TGIFPixelTarget& target, const GIFWarningHandler& warn);

} // namespace velmora
