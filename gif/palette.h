#pragma once

#include "imaging/bitmap.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmora {

// One node of the colour octree. A node at the quantizer's depth is a leaf;
// a reduced node becomes a leaf holding the sums of its former children.
struct TOctreeNode {
    bool leaf = false;
    // Wider than the pixel counts of a screen-sized picture need, so the
    // sums of a large picture cannot wrap (255 x 2^24 pixels exceeds 32 bits).
    std::uint64_t pixel_count = 0;
    std::uint64_t red_sum = 0;
    std::uint64_t green_sum = 0;
    std::uint64_t blue_sum = 0;
    TOctreeNode* next_reducible = nullptr; // next node of the same level's list
    std::array<std::unique_ptr<TOctreeNode>, 8> children;
};

// Octree colour quantization: colours are added one at a time and the tree is
// reduced whenever it holds more leaves than the wanted colour count.
class TColorQuantizer {
public:
    // max_colors is clamped to 1..256 and depth to 1..8 (the levels below the
    // root at which nodes become leaves).
    TColorQuantizer(int max_colors, int depth);

    void add_color(int red, int green, int blue);
    // Adds every pixel of a 24-bit bitmap, rows top to bottom, left to right.
    void add_bitmap(const Bitmap& bitmap);

    int leaf_count() const { return leaf_count_; }
    // The leaf colours in depth-first order, children in index order 0..7.
    std::vector<Color> colors() const;

private:
    void reduce();

    int max_colors_;
    int depth_;
    int leaf_count_ = 0;
    std::unique_ptr<TOctreeNode> root_;
    // Heads of the reducible-node lists, one per level; the head is the node
    // most recently created at that level.
    std::array<TOctreeNode*, 8> reducible_ {};
};

// The colour given to palette entries after the last leaf colour when the
// tree ends with fewer leaves than entries. Black, the same filler the
// remapped bitmaps use for their unused colour-table entries.
constexpr Color kPaletteFillColor = make_color(0, 0, 0);

// Builds one palette of exactly `colors` entries from all bitmaps of the list,
// in list order. Every bitmap is converted in place to 24 bits per pixel
// first and stays so. An empty list (or a missing bitmap in it) fails with
// "Invalid bitmap list".
std::vector<Color> BuildSharedPalette(const std::vector<Bitmap*>& bitmaps, int colors, int depth);

} // namespace velmora
