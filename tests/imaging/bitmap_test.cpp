#include "imaging/bitmap.h"

#include <gtest/gtest.h>
#include <limits>

using namespace velmora;

TEST(Bitmap, ResizeKeepsTopLeftAndFillsWhite)
{
    Bitmap b(2, 2);
    b.set_pixel(0, 0, make_color(1, 2, 3));
    b.set_pixel(1, 1, make_color(4, 5, 6));
    b.set_size(3, 1);
    EXPECT_EQ(b.pixel(0, 0), make_color(1, 2, 3));
    EXPECT_EQ(b.pixel(2, 0), make_color(255, 255, 255));
    b.set_size(3, 2);
    EXPECT_EQ(b.pixel(1, 1), make_color(255, 255, 255));
}

TEST(Bitmap, FormatRoundTripsKeepColours)
{
    Bitmap b(3, 1);
    b.set_pixel(0, 0, make_color(255, 0, 0));
    b.set_pixel(1, 0, make_color(255, 255, 255));
    b.set_pixel(2, 0, make_color(0, 0, 0));
    for (auto f : { PixelFormat::pf16bit, PixelFormat::pf32bit }) {
        Bitmap c = b;
        c.set_pixel_format(f);
        c.set_pixel_format(PixelFormat::pf24bit);
        EXPECT_EQ(c, b);
    }
    Bitmap p = b;
    p.set_palette({ make_color(0, 0, 0), make_color(255, 0, 0), make_color(255, 255, 255) });
    p.set_pixel_format(PixelFormat::pf8bit);
    EXPECT_EQ(p.row(0)[0], 1);
    EXPECT_EQ(p.row(0)[1], 2);
    EXPECT_EQ(p.pixel(2, 0), make_color(0, 0, 0));
}

TEST(Bitmap, PaletteToTrueColourShowsEveryIndexAsItsColourAndUnknownOnesBlack)
{
    // Odd widths, so rows carry padding in both formats; indexes 3 and 255
    // lie past the palette.
    for (const int width : { 1, 5, 7 }) {
        Bitmap p(width, 3, PixelFormat::pf8bit);
        p.set_palette({ make_color(10, 20, 30), make_color(255, 0, 128), make_color(1, 2, 3) });
        const std::uint8_t indexes[] = { 0, 1, 2, 3, 255 };
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                p.row(y)[x] = indexes[(x + y) % 5];
        Bitmap c = p;
        c.set_pixel_format(PixelFormat::pf24bit);
        ASSERT_EQ(c.pixel_format(), PixelFormat::pf24bit);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(c.pixel(x, y), p.pixel(x, y)) << width << ": " << x << "," << y;
        EXPECT_EQ(c.pixel(0, 1), make_color(255, 0, 128));
        EXPECT_EQ(c.pixel(2, 1), 0); // index 3: black
    }
}

TEST(Bitmap, DrawClipsAtEveryEdgeAndHonoursTransparency)
{
    Bitmap dest(4, 4);
    dest.fill(make_color(0, 0, 0));
    Bitmap src(3, 3);
    src.fill(make_color(9, 9, 9));
    src.set_pixel(1, 1, make_color(7, 7, 7));
    src.set_transparent(true);
    src.set_transparent_color(make_color(7, 7, 7));
    draw(dest, -1, 2, src);
    EXPECT_EQ(dest.pixel(0, 3), make_color(0, 0, 0)); // the transparent centre
    EXPECT_EQ(dest.pixel(0, 2), make_color(9, 9, 9));
    EXPECT_EQ(dest.pixel(1, 3), make_color(9, 9, 9));
    EXPECT_EQ(dest.pixel(2, 2), make_color(0, 0, 0));
    draw(dest, 3, -2, src); // only the bottom-left corner lands
    EXPECT_EQ(dest.pixel(3, 0), make_color(9, 9, 9));
    EXPECT_EQ(dest.pixel(3, 1), make_color(0, 0, 0));
}

TEST(Bitmap, DrawWithinOneBitmapHandlesOverlap)
{
    // Moving a block down and right inside the same bitmap must copy the
    // original rows, not rows already overwritten.
    Bitmap b(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            b.set_pixel(x, y, make_color(x, y, 0));
    const Bitmap before = b;
    draw_rect(b, 1, 1, b, 0, 0, 3, 3);
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 4; ++x)
            EXPECT_EQ(b.pixel(x, y), before.pixel(x - 1, y - 1)) << x << "," << y;

    // The same through the pixel path (a transparent source).
    Bitmap t = before;
    t.set_transparent(true);
    t.set_transparent_color(make_color(9, 9, 9));
    draw_rect(t, 1, 0, t, 0, 0, 3, 4);
    for (int x = 1; x < 4; ++x)
        EXPECT_EQ(t.pixel(x, 2), before.pixel(x - 1, 2)) << x;
}

TEST(Bitmap, FarOffPositionsClipWithoutOverflow)
{
    Bitmap dest(3, 3);
    dest.fill(make_color(0, 0, 0));
    Bitmap src(2, 2);
    src.fill(make_color(5, 5, 5));
    draw_rect(dest, std::numeric_limits<int>::max() - 1, 0, src, 0, 0, 2, 2);
    draw_rect(
        dest, 0, 0, src, std::numeric_limits<int>::min(), 0, std::numeric_limits<int>::max(), 2);
    draw(dest, std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), src);
    EXPECT_EQ(dest.pixel(0, 0), make_color(0, 0, 0));
    EXPECT_EQ(dest.pixel(2, 2), make_color(0, 0, 0));
}
