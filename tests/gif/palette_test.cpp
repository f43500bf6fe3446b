#include "gif/dither.h"
#include "gif/gif_error.h"
#include "gif/palette.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

Bitmap column_of(std::initializer_list<Color> colors)
{
    Bitmap b(1, static_cast<int>(colors.size()));
    int y = 0;
    for (Color c : colors)
        b.set_pixel(0, y++, c);
    return b;
}

} // namespace

TEST(OctreePalette, FewColoursGiveExactlyTheImageColours)
{
    Bitmap image(8, 8, PixelFormat::pf32bit);
    const std::vector<Color> used = { make_color(0, 0, 0), make_color(255, 0, 0),
        make_color(0, 252, 0), make_color(255, 255, 255), make_color(9, 4, 8) };
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            image.set_pixel(x, y, used[static_cast<std::size_t>((x * 3 + y) % 5)]);
    const auto palette = BuildSharedPalette({ &image }, 256, 8);
    EXPECT_EQ(image.pixel_format(), PixelFormat::pf24bit); // converted in place
    ASSERT_EQ(palette.size(), 256u);
    std::vector<Color> leaves(palette.begin(), palette.begin() + 5);
    std::vector<Color> expected = used;
    std::sort(leaves.begin(), leaves.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(leaves, expected);
    // The rest is the fixed fill colour.
    EXPECT_TRUE(std::all_of(
        palette.begin() + 5, palette.end(), [](Color c) { return c == kPaletteFillColor; }));
}

TEST(OctreePalette, SingleColourAndReductionsKeepNEntries)
{
    Bitmap one(3, 3);
    one.fill(make_color(12, 34, 56));
    auto palette = BuildSharedPalette({ &one }, 256, 8);
    EXPECT_EQ(palette[0], make_color(12, 34, 56));

    // 4096 colours into 16: the tree never holds more than 16 leaves, and
    // merged leaves average their pixels.
    TColorQuantizer quantizer(16, 8);
    for (int i = 0; i < 4096; ++i) {
        quantizer.add_color((i * 37) & 255, (i * 11) & 255, i >> 4);
        EXPECT_LE(quantizer.leaf_count(), 16);
    }
    const auto colors = quantizer.colors();
    EXPECT_LE(colors.size(), 16u);
    EXPECT_GE(colors.size(), 2u);
    Bitmap many(64, 64);
    for (int i = 0; i < 4096; ++i)
        many.set_pixel(i % 64, i / 64, make_color((i * 37) & 255, (i * 11) & 255, i >> 4));
    EXPECT_EQ(BuildSharedPalette({ &many }, 16, 8).size(), 16u);

    // Two colours that differ only in their last bit merge first.
    TColorQuantizer two(2, 8);
    two.add_color(200, 0, 0);
    two.add_color(201, 0, 0);
    two.add_color(0, 0, 0);
    EXPECT_EQ(two.colors(), (std::vector<Color> { make_color(0, 0, 0), make_color(200, 0, 0) }));
}

TEST(OctreePalette, TheNewestNodeOfTheDeepestLevelMergesFirst)
{
    // (0, 0, 0) and (1, 0, 0) meet in one level-7 node, (254, 0, 0) and
    // (255, 0, 0) in a later one. The fourth colour exceeds three leaves and
    // the later node merges: the two darkest colours stay apart.
    TColorQuantizer quantizer(3, 8);
    quantizer.add_color(0, 0, 0);
    quantizer.add_color(1, 0, 0);
    quantizer.add_color(254, 0, 0);
    quantizer.add_color(255, 0, 0);
    EXPECT_EQ(quantizer.leaf_count(), 3);
    EXPECT_EQ(quantizer.colors(),
        (std::vector<Color> { make_color(0, 0, 0), make_color(1, 0, 0), make_color(254, 0, 0) }));
}

TEST(OctreePalette, EmptyListIsInvalid)
{
    try {
        BuildSharedPalette({}, 256, 8);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid bitmap list");
    }
}

TEST(Remap, ResultHas256EntriesAndTheSourceBecomes24Bit)
{
    Bitmap source(2, 1, PixelFormat::pf32bit);
    source.set_pixel(0, 0, make_color(250, 0, 0));
    source.set_pixel(1, 0, make_color(0, 0, 250));
    const Bitmap mapped
        = RemapToPalette(source, { make_color(0, 0, 255), make_color(255, 0, 0) }, 0);
    EXPECT_EQ(source.pixel_format(), PixelFormat::pf24bit);
    ASSERT_EQ(mapped.pixel_format(), PixelFormat::pf8bit);
    ASSERT_EQ(mapped.palette().size(), 256u);
    EXPECT_EQ(mapped.palette()[255], make_color(0, 0, 0));
    EXPECT_EQ(mapped.row(0)[0], 1);
    EXPECT_EQ(mapped.row(0)[1], 0);
    // No palette entries: a bitmap without pixels.
    EXPECT_TRUE(RemapToPalette(source, {}, 1).empty());
}

TEST(Remap, TheFirstColourOfA555CellDecidesForTheWholeCell)
{
    // The cell of red 8..15 has no entry of its own; whichever colour is
    // looked up first there decides for the whole bitmap.
    const std::vector<Color> palette = { make_color(0, 0, 0), make_color(20, 0, 0) };
    Bitmap first15 = column_of({ make_color(15, 0, 0), make_color(8, 0, 0) });
    Bitmap mapped = RemapToPalette(first15, palette, 0);
    EXPECT_EQ(mapped.row(0)[0], 1);
    EXPECT_EQ(mapped.row(1)[0], 1); // 8 is nearer black, but its cell said 1
    Bitmap first8 = column_of({ make_color(8, 0, 0), make_color(15, 0, 0) });
    mapped = RemapToPalette(first8, palette, 0);
    EXPECT_EQ(mapped.row(0)[0], 0);
    EXPECT_EQ(mapped.row(1)[0], 0);
    // An entry owns its cell even against a later exact match.
    Bitmap exact = column_of({ make_color(7, 7, 7) });
    mapped = RemapToPalette(exact, { make_color(0, 0, 0), make_color(7, 7, 7) }, 0);
    EXPECT_EQ(mapped.row(0)[0], 0);
}

TEST(Remap, FloydSteinbergTruncatesTheErrorTowardZero)
{
    // A one-pixel-wide picture: row 0 leaves an error of -3 in red, so slot 0
    // holds 3 x -3 = -9; the right-to-left row 1 uses other slots, and row 2
    // reads (-9 + 8) / 16, which is 0, not -1: red 96 stays 96 (index 1)
    // rather than 95 (index 2, another 5-5-5 cell).
    const std::vector<Color> palette
        = { make_color(13, 0, 0), make_color(96, 0, 0), make_color(95, 0, 0) };
    Bitmap source = column_of({ make_color(10, 0, 0), make_color(96, 0, 0), make_color(96, 0, 0) });
    const Bitmap mapped = RemapToPalette(source, palette, 1);
    EXPECT_EQ(mapped.row(0)[0], 0);
    EXPECT_EQ(mapped.row(1)[0], 1);
    EXPECT_EQ(mapped.row(2)[0], 1);
}

TEST(Remap, FloydSteinbergCarriesEachComponentsErrorThroughItsSlots)
{
    // Reds 0, 8, ..., 248: a red v maps to index v / 8 with an error of
    // v mod 8, so every step can be followed by hand. Worked through:
    // - row 0, left to right from slot 0, leaves slots 0..2 at 15, 40, 36
    //   and its last below-previous error, 15, in slot 3 at the row's end;
    // - row 1 runs right to left from slot 4 (empty): (2, 1) = 21 + 0 -> 2;
    //   (1, 1) reads slot 3: 205 + (15 + 35 + 8) / 16 = 208, exact, so its
    //   error of 0 changes nothing and (0, 1) still passes on the
    //   below-previous error of (2, 1): slot 2 := 25 + 3 x 7 = 46;
    // - row 2, left to right from slot 0 again: (2, 2) reads slot 2:
    //   107 + (46 + 35 + 8) / 16 = 112 -> 14.
    std::vector<Color> palette;
    for (int k = 0; k < 32; ++k)
        palette.push_back(make_color(8 * k, 0, 0));
    const int reds[3][3] = { { 205, 107, 16 }, { 101, 205, 21 }, { 101, 16, 107 } };
    Bitmap source(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            source.set_pixel(x, y, make_color(reds[y][x], 0, 0));
    const Bitmap mapped = RemapToPalette(source, palette, 1);
    const int expected[3][3] = { { 25, 13, 2 }, { 12, 26, 2 }, { 12, 2, 14 } };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(mapped.row(y)[x], expected[y][x]) << x << "," << y;
}

TEST(Remap, FloydSteinbergSpreadsTheErrorAlongTheRow)
{
    // Grey 100 on a black-and-white palette: the error carried along the
    // row turns some pixels white, about 100 / 255 of them.
    Bitmap grey(51, 40);
    grey.fill(make_color(100, 100, 100));
    const Bitmap dithered
        = RemapToPalette(grey, { make_color(0, 0, 0), make_color(255, 255, 255) }, 1);
    int white = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 51; ++x)
            white += dithered.row(y)[x];
    EXPECT_NEAR(white, 51 * 40 * 100 / 255, 40);
    const Bitmap nearest
        = RemapToPalette(grey, { make_color(0, 0, 0), make_color(255, 255, 255) }, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 51; ++x)
            ASSERT_EQ(nearest.row(y)[x], 0);
}

TEST(Remap, RowsAreWalkedInAlternatingDirections)
{
    // A row of red shades near a 5-5-5 cell edge: in the second row the
    // cell's answer is fixed by the rightmost pixel, which the right-to-left
    // walk meets first.
    const std::vector<Color> palette = { make_color(0, 0, 0), make_color(20, 0, 0) };
    Bitmap source(2, 2);
    source.set_pixel(0, 0, make_color(100, 100, 100)); // other cells on row 0
    source.set_pixel(1, 0, make_color(200, 200, 200));
    source.set_pixel(0, 1, make_color(8, 0, 0));
    source.set_pixel(1, 1, make_color(15, 0, 0));
    const Bitmap mapped = RemapToPalette(source, palette, 0);
    EXPECT_EQ(mapped.row(1)[0], 1);
    EXPECT_EQ(mapped.row(1)[1], 1);
}
