#include "gif/gif_image.h"
#include "gif/list_sort.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const Color kRed = make_color(255, 0, 0);
const Color kGreen = make_color(0, 255, 0);
const Color kBlue = make_color(0, 0, 255);
const Color kGrey = make_color(100, 100, 100);

int add_frame(TGIFImage& image, std::vector<Color> palette, std::vector<std::uint8_t> pixels,
    int transparent_index = -1)
{
    Bitmap b(0, 0, PixelFormat::pf8bit);
    b.set_palette(std::move(palette));
    b.set_size(static_cast<int>(pixels.size()), 1);
    std::copy(pixels.begin(), pixels.end(), b.row(0));
    const int index = image.AddFrame(b);
    if (transparent_index >= 0) {
        TGIFSubImage& frame = image.frame(index);
        auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
        control->set_transparent(true);
        control->set_transparent_index(transparent_index);
        frame.add_extension(std::move(control));
    }
    return index;
}

std::vector<Color> frame_colors(const TGIFImage& image, int index)
{
    std::vector<Color> out;
    for (auto p : image.frame(index).data())
        out.push_back(image.global_color_map()[p]);
    return out;
}

} // namespace

TEST(MergeColorMaps, OneSortedTableOfTheUsedColoursByTotalUse)
{
    TGIFImage image;
    // 256-colour tables like the export's, with duplicates across frames.
    std::vector<Color> table(256, make_color(0, 0, 0));
    table[3] = kBlue;
    table[9] = kRed;
    table[200] = kGreen;
    add_frame(image, table, { 3, 9, 9, 200 });
    add_frame(image, { kGreen, kRed, kBlue }, { 0, 0, 0, 1 });
    image.MergeColorMaps();
    const auto& global = image.global_color_map();
    EXPECT_TRUE(global.sorted());
    // Green 4 uses, red 3, blue 1; the unused colours are gone.
    EXPECT_EQ(global.colors(), (std::vector<Color> { kGreen, kRed, kBlue }));
    EXPECT_EQ(image.frame(0).color_map().count(), 0);
    EXPECT_EQ(image.frame(1).color_map().count(), 0);
    EXPECT_EQ(frame_colors(image, 0), (std::vector<Color> { kBlue, kRed, kRed, kGreen }));
    EXPECT_EQ(frame_colors(image, 1), (std::vector<Color> { kGreen, kGreen, kGreen, kRed }));
    // Written with a sorted global table and read back unchanged.
    const auto bytes = image.SaveToMemory();
    EXPECT_EQ(bytes[10], 0x80 | 0x10 | 0x08 | 0x01);
}

TEST(MergeColorMaps, TransparentIndexMovesToABlackEntryAtTheEnd)
{
    TGIFImage image;
    add_frame(image, { kRed, kGreen, kBlue }, { 0, 1, 1, 2 });
    add_frame(image, { kRed, kGreen, kBlue }, { 0, 0, 1, 0 }, 0); // red shows through
    image.MergeColorMaps();
    const auto& global = image.global_color_map();
    ASSERT_EQ(global.count(), 4);
    EXPECT_EQ(global[3], make_color(0, 0, 0));
    const TGIFSubImage& second = image.frame(1);
    EXPECT_TRUE(second.transparent());
    EXPECT_EQ(second.transparent_index(), 3);
    EXPECT_EQ(second.data(), (std::vector<std::uint8_t> { 3, 3, 0, 3 }));
    // Green (3 uses, the transparent pixels not counted) comes first.
    EXPECT_EQ(global[0], kGreen);
    EXPECT_EQ(frame_colors(image, 0), (std::vector<Color> { kRed, kGreen, kGreen, kBlue }));
}

TEST(MergeColorMaps, TransparentFrameWhoseIndexNoPixelUsesLosesItsFlag)
{
    TGIFImage image;
    add_frame(image, { kRed, kGreen }, { 0, 1 });
    add_frame(image, { kRed, kGreen, kBlue }, { 0, 1, 0 }, 2);
    image.MergeColorMaps();
    const TGIFSubImage& second = image.frame(1);
    EXPECT_FALSE(second.transparent());
    EXPECT_EQ(second.transparent_index(), 0);
    ASSERT_NE(second.graphic_control(), nullptr);
    EXPECT_FALSE(second.graphic_control()->transparent());
    // No transparency in use: no extra black entry, and the written packed
    // byte has bit 0 clear and index 0.
    EXPECT_EQ(image.global_color_map().count(), 2);
    const auto bytes = image.SaveToMemory();
    const std::uint8_t gce[] = { 0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00 };
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin(gce), std::end(gce)), bytes.end());
}

TEST(MergeColorMaps, ColoursBeyond256TakeTheClosestBrightness)
{
    TGIFImage image;
    std::vector<Color> a;
    std::vector<Color> b;
    std::vector<std::uint8_t> pa;
    std::vector<std::uint8_t> pb;
    for (int i = 0; i < 256; ++i) {
        a.push_back(make_color(i, 0, 0));
        b.push_back(make_color(0, i, 1));
        // Frame a uses every colour twice, so its colours win the table.
        pa.push_back(static_cast<std::uint8_t>(i));
        pa.push_back(static_cast<std::uint8_t>(i));
        pb.push_back(static_cast<std::uint8_t>(i));
    }
    add_frame(image, a, pa);
    add_frame(image, b, pb);
    image.MergeColorMaps();
    ASSERT_EQ(image.global_color_map().count(), 256);
    // (0, i, 1) has the brightness of red i + 1 (or red 255 at the top).
    const auto colors = frame_colors(image, 1);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(colors[static_cast<std::size_t>(i)], make_color(std::min(i + 1, 255), 0, 0)) << i;
}

TEST(MergeColorMaps, WithTransparency255ColoursFitAndTiesGoToTheMoreUsedColour)
{
    // 256 used colours and a transparent frame: 255 fit, the least used one
    // does not. Its brightness, 100, is that of the first two colours
    // exactly (no blue has it), and the more used of them, first in the
    // table, takes its pixels.
    const Color first = make_color(0, 0, 100);
    const Color second = make_color(0, 100, 0);
    const Color dropped = make_color(50, 50, 0);
    std::vector<Color> table = { first, second, dropped };
    std::vector<std::uint8_t> pixels(5, 0);
    pixels.insert(pixels.end(), 4, 1);
    pixels.push_back(2);
    for (int v = 0; v < 254; ++v) {
        if (v == 100)
            continue;
        pixels.insert(pixels.end(), 3, static_cast<std::uint8_t>(table.size()));
        table.push_back(make_color(0, 0, v));
    }
    ASSERT_EQ(table.size(), 256u);
    TGIFImage image;
    add_frame(image, table, pixels);
    add_frame(image, { kRed }, { 0, 0 }, 0);
    image.MergeColorMaps();
    const auto& global = image.global_color_map();
    ASSERT_EQ(global.count(), 256);
    EXPECT_EQ(global[0], first);
    EXPECT_EQ(global[1], second);
    EXPECT_EQ(global[255], make_color(0, 0, 0));
    EXPECT_EQ(image.frame(0).data()[9], 0); // the dropped colour's pixel
    EXPECT_EQ(image.frame(1).transparent_index(), 255);
    EXPECT_EQ(image.frame(1).data(), (std::vector<std::uint8_t> { 255, 255 }));
}

TEST(MergeColorMaps, EqualUsesEndInTheOrderOfTheUnstableSorts)
{
    // Three colours used once each. Pruning's sort turns the table order
    // red, green, blue round; the key sort puts blue, green, red (keys
    // descending); the final sort by use turns that round again.
    TGIFImage image;
    add_frame(image, { kRed, kGreen, kBlue }, { 0, 1, 2 });
    image.MergeColorMaps();
    EXPECT_EQ(image.global_color_map().colors(), (std::vector<Color> { kRed, kGreen, kBlue }));
    EXPECT_EQ(image.frame(0).data(), (std::vector<std::uint8_t> { 0, 1, 2 }));
}

TEST(ListQuickSort, EqualElementsEndInThePartitionOrder)
{
    // Pairs (key, tag) sorted by key descending; the tags show where equal
    // keys end. Worked by hand through the partition steps.
    std::vector<std::pair<int, char>> items
        = { { 1, 'a' }, { 2, 'b' }, { 1, 'c' }, { 2, 'd' }, { 1, 'e' } };
    list_quick_sort(items, [](const auto& x, const auto& y) { return x.first > y.first; });
    std::string tags;
    for (const auto& item : items)
        tags += item.second;
    EXPECT_EQ(tags, "dbeac");
}
