#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

// Collects image data bytes into data sub-blocks of at most 255 bytes: a
// full block goes out at once, the last partial one on finish(), followed by
// the zero-length terminator.
class TGIFWriter {
public:
    explicit TGIFWriter(std::vector<std::uint8_t>& out)
        : out_(out)
    {
    }
    void put_byte(std::uint8_t byte);
    void finish();

private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t block_[255] = {};
    std::size_t fill_ = 0;
};

// The run-length GIF encoder: a valid LZW code stream that never builds a
// string table of its own. It only uses the run codes a decoder's table gets
// from runs of one pixel value (code F + k - 2 stands for k equal pixels after
// a clear), so its output is small for flat areas and needs no dictionary.
class TRLEEncoder {
public:
    // Writes the minimum code size byte, the data sub-blocks and the
    // terminator for `count` pixels. `bit_depth` is the frame's colour bits;
    // a pixel not below `color_bound` fails with "Color not in color table".
    static void encode(std::vector<std::uint8_t>& out, const std::uint8_t* pixels,
        std::size_t count, int bit_depth, int color_bound);
};

// The LZW GIF encoder (GIF89a appendix F): the longest string of pixels its
// table holds becomes one code, and that string plus the next pixel a new
// table entry. The code width grows as the decoder's does; once all 4096
// codes are given out a clear code starts a new table. Same interface and
// failures as TRLEEncoder; the files are smaller wherever strings repeat.
class TLZWEncoder {
public:
    static void encode(std::vector<std::uint8_t>& out, const std::uint8_t* pixels,
        std::size_t count, int bit_depth, int color_bound);
};

} // namespace velmora
