#pragma once

// Helpers shared by the GIF tests: reading codes back out of image data the
// way a decoder sees them, and building GIF files byte by byte.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace velmora::test {

using Bytes = std::vector<std::uint8_t>;

// Image data (code size byte, sub-blocks, terminator) to its code stream,
// with the code width tracked as a decoder tracks it.
struct DecodedCodes {
    int code_size = 0;
    std::vector<int> codes;
    std::vector<int> widths; // the width each code was read with
};

inline DecodedCodes read_codes(const Bytes& data)
{
    DecodedCodes out;
    out.code_size = data.at(0);
    Bytes stream;
    std::size_t i = 1;
    while (i < data.size() && data[i] != 0) {
        const std::size_t n = data[i];
        stream.insert(stream.end(), data.begin() + static_cast<std::ptrdiff_t>(i + 1),
            data.begin() + static_cast<std::ptrdiff_t>(i + 1 + n));
        i += 1 + n;
    }
    const int clear = 1 << out.code_size;
    int width = out.code_size + 1;
    int next = clear + 2;
    bool after_clear = true;
    std::size_t bit = 0;
    while (bit + static_cast<std::size_t>(width) <= stream.size() * 8) {
        int code = 0;
        for (int b = 0; b < width; ++b, ++bit)
            code |= ((stream[bit / 8] >> (bit % 8)) & 1) << b;
        out.codes.push_back(code);
        out.widths.push_back(width);
        if (code == clear + 1)
            break;
        if (code == clear) {
            width = out.code_size + 1;
            next = clear + 2;
            after_clear = true;
            continue;
        }
        if (!after_clear && next < 4096) {
            ++next;
            if (next >= (1 << width) && width < 12)
                ++width;
        }
        after_clear = false;
    }
    return out;
}

// Packs (code, width) pairs least significant bit first, as image data with
// sub-blocks.
template <typename CodeWidths> Bytes pack_codes(int code_size, const CodeWidths& code_width)
{
    Bytes stream;
    std::uint32_t bits = 0;
    int count = 0;
    for (const auto& [code, width] : code_width) {
        bits |= static_cast<std::uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            stream.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0)
        stream.push_back(static_cast<std::uint8_t>(bits & 0xFF));
    Bytes out { static_cast<std::uint8_t>(code_size) };
    for (std::size_t i = 0; i < stream.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, stream.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(i),
            stream.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
    return out;
}

inline Bytes pack_codes(int code_size, std::initializer_list<std::pair<int, int>> code_width)
{
    return pack_codes<std::initializer_list<std::pair<int, int>>>(code_size, code_width);
}

inline void append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}
inline void append(Bytes& out, std::initializer_list<int> more)
{
    for (int b : more)
        out.push_back(static_cast<std::uint8_t>(b));
}
inline void append(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// Pixels in which no pair of neighbours comes twice (the order of a de Bruijn
// sequence over 256 values): the LZW table never matches a string of two, so
// every pixel becomes exactly one code.
inline Bytes single_pixel_strings(std::size_t count)
{
    Bytes out;
    for (int a = 0; a < 256 && out.size() < count; ++a) {
        out.push_back(static_cast<std::uint8_t>(a));
        for (int b = a + 1; b < 256; ++b)
            append(out, { a, b });
    }
    out.resize(count);
    return out;
}

// "GIF89a", a w x h logical screen with a global table of 2^bits colours
// (black, white, red, green, then greys).
inline Bytes gif_header(int w, int h, int bits = 2, const std::string& signature = "GIF89a")
{
    Bytes out;
    append(out, signature);
    append(
        out, { w & 0xFF, w >> 8, h & 0xFF, h >> 8, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0 });
    const int entries = 1 << bits;
    for (int i = 0; i < entries; ++i) {
        static const int rgb[4][3]
            = { { 0, 0, 0 }, { 255, 255, 255 }, { 255, 0, 0 }, { 0, 255, 0 } };
        if (i < 4)
            append(out, { rgb[i][0], rgb[i][1], rgb[i][2] });
        else
            append(out, { i, i, i });
    }
    return out;
}

// An image descriptor without a local table.
inline Bytes descriptor(int left, int top, int w, int h, int packed = 0)
{
    return { 0x2C, static_cast<std::uint8_t>(left & 0xFF), static_cast<std::uint8_t>(left >> 8),
        static_cast<std::uint8_t>(top & 0xFF), static_cast<std::uint8_t>(top >> 8),
        static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8),
        static_cast<std::uint8_t>(h & 0xFF), static_cast<std::uint8_t>(h >> 8),
        static_cast<std::uint8_t>(packed) };
}

} // namespace velmora::test
