#include "imaging/bitmap.h"

#include <gtest/gtest.h>

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
