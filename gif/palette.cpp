#include "gif/palette.h"

#include "gif/gif_error.h"

#include <algorithm>

namespace velmora {

TColorQuantizer::TColorQuantizer(int max_colors, int depth)
    : max_colors_(std::clamp(max_colors, 1, 256))
    , depth_(std::clamp(depth, 1, 8))
{
}

void TColorQuantizer::add_color(int red, int green, int blue)
{
    std::unique_ptr<TOctreeNode>* slot = &root_;
    for (int level = 0;; ++level) {
        if (!*slot) {
            *slot = std::make_unique<TOctreeNode>();
            TOctreeNode& created = **slot;
            if (level == depth_) {
                created.leaf = true;
                ++leaf_count_;
            } else {
                created.next_reducible = reducible_[static_cast<std::size_t>(level)];
                reducible_[static_cast<std::size_t>(level)] = &created;
            }
        }
        TOctreeNode& node = **slot;
        if (node.leaf) {
            ++node.pixel_count;
            node.red_sum += static_cast<std::uint64_t>(red);
            node.green_sum += static_cast<std::uint64_t>(green);
            node.blue_sum += static_cast<std::uint64_t>(blue);
            break;
        }
        const int mask = 0x80 >> level;
        const int index
            = ((red & mask) ? 4 : 0) | ((green & mask) ? 2 : 0) | ((blue & mask) ? 1 : 0);
        slot = &node.children[static_cast<std::size_t>(index)];
    }
    while (leaf_count_ > max_colors_)
        reduce();
}

void TColorQuantizer::add_bitmap(const Bitmap& bitmap)
{
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* p = bitmap.row(y);
        for (int x = 0; x < bitmap.width(); ++x, p += 3)
            add_color(p[2], p[1], p[0]);
    }
}

void TColorQuantizer::reduce()
{
    // The finest distinctions go first: the deepest level that has a
    // reducible node, and there the node created last.
    int level = depth_ - 1;
    while (level > 0 && !reducible_[static_cast<std::size_t>(level)])
        --level;
    TOctreeNode* node = reducible_[static_cast<std::size_t>(level)];
    if (!node)
        return; // only the root is left and it is a leaf already
    reducible_[static_cast<std::size_t>(level)] = node->next_reducible;
    node->next_reducible = nullptr;
    int children = 0;
    for (auto& child : node->children) {
        if (!child)
            continue;
        node->pixel_count += child->pixel_count;
        node->red_sum += child->red_sum;
        node->green_sum += child->green_sum;
        node->blue_sum += child->blue_sum;
        child.reset();
        ++children;
    }
    node->leaf = true;
    leaf_count_ -= children - 1;
}

namespace {

    void collect(const TOctreeNode* node, std::vector<Color>& out, std::size_t limit)
    {
        if (!node || out.size() >= limit)
            return;
        if (node->leaf) {
            if (node->pixel_count == 0) {
                out.push_back(make_color(0, 0, 0));
                return;
            }
            const auto n = node->pixel_count;
            out.push_back(make_color(static_cast<int>(node->red_sum / n),
                static_cast<int>(node->green_sum / n), static_cast<int>(node->blue_sum / n)));
            return;
        }
        for (const auto& child : node->children)
            collect(child.get(), out, limit);
    }

} // namespace

std::vector<Color> TColorQuantizer::colors() const
{
    std::vector<Color> out;
    collect(root_.get(), out, static_cast<std::size_t>(max_colors_));
    return out;
}

std::vector<Color> BuildSharedPalette(const std::vector<Bitmap*>& bitmaps, int colors, int depth)
{
    if (bitmaps.empty()
        || std::any_of(bitmaps.begin(), bitmaps.end(), [](const Bitmap* b) { return !b; }))
        throw GIFException("Invalid bitmap list");
    TColorQuantizer quantizer(colors, depth);
    for (Bitmap* bitmap : bitmaps) {
        bitmap->set_pixel_format(PixelFormat::pf24bit);
        quantizer.add_bitmap(*bitmap);
    }
    std::vector<Color> palette = quantizer.colors();
    palette.resize(static_cast<std::size_t>(std::clamp(colors, 1, 256)), kPaletteFillColor);
    return palette;
}

} // namespace velmora
