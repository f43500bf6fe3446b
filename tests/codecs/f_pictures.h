#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velmora::test {

// The committed test pictures (tests/data/pictures/): most of them show an
// F, red strokes over 6 x 5 cells on blue (or another ground).
inline const std::string kPictures = std::string(VELMORA_TEST_DATA) + "/pictures/";
inline constexpr Color kFRed = make_color(255, 0, 0);
inline constexpr Color kFBlue = make_color(0, 0, 255);

inline std::vector<std::uint8_t> bytes_of(const std::string& name)
{
    std::ifstream in(kPictures + name, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// Whether the pixel at (x, y) of a width x height F picture is on a stroke.
inline bool f_cell(int x, int y, int width, int height)
{
    static const char* const cells[] = { ".FFFF.", ".F....", ".FFF..", ".F....", ".F...." };
    return cells[y * 5 / height][x * 6 / width] == 'F';
}

} // namespace velmora::test
