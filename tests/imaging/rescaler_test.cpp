#include "base/error.h"
#include "imaging/rescaler.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace velmora;

namespace {

const Color P1 = make_color(10, 20, 30);
const Color P2 = make_color(40, 50, 60);
const Color P3 = make_color(70, 80, 90);
const Color P4 = make_color(100, 110, 120);

Bitmap two_by_two()
{
    Bitmap b(2, 2);
    b.set_pixel(0, 0, P1);
    b.set_pixel(1, 0, P2);
    b.set_pixel(0, 1, P3);
    b.set_pixel(1, 1, P4);
    return b;
}

// A w x h bitmap whose pixel (x, y) encodes its own position.
Bitmap numbered(int w, int h, PixelFormat format = PixelFormat::pf24bit)
{
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.set_pixel(x, y, make_color(x, y, 7));
    b.set_pixel_format(format);
    return b;
}

} // namespace

TEST(FlipReverse, TwoByTwoInEveryCombination)
{
    const Bitmap source = two_by_two();
    struct Case {
        bool flip, reverse;
        Color expected[4];
    } cases[] = {
        { true, false, { P3, P4, P1, P2 } },
        { false, true, { P2, P1, P4, P3 } },
        { true, true, { P4, P3, P2, P1 } },
        { false, false, { P1, P2, P3, P4 } },
    };
    for (const Case& c : cases) {
        const Bitmap r = flip_reverse_copy(c.flip, c.reverse, source);
        ASSERT_EQ(r.width(), 2);
        ASSERT_EQ(r.height(), 2);
        EXPECT_EQ(r.pixel(0, 0), c.expected[0]) << c.flip << c.reverse;
        EXPECT_EQ(r.pixel(1, 0), c.expected[1]) << c.flip << c.reverse;
        EXPECT_EQ(r.pixel(0, 1), c.expected[2]) << c.flip << c.reverse;
        EXPECT_EQ(r.pixel(1, 1), c.expected[3]) << c.flip << c.reverse;
    }
}

TEST(FlipReverse, InPlaceTwiceRestoresAndKeepsTransparency)
{
    // An odd width catches a mirrored middle column; odd height a middle row.
    const Bitmap original = numbered(5, 3);
    Bitmap b = original;
    b.set_transparent(true);
    b.set_transparent_color(P2);
    flip_reverse(true, true, b);
    EXPECT_EQ(b.pixel(0, 0), original.pixel(4, 2));
    EXPECT_EQ(b.pixel(2, 1), original.pixel(2, 1));
    EXPECT_TRUE(b.transparent());
    EXPECT_EQ(b.transparent_color(), P2);
    flip_reverse(true, true, b);
    EXPECT_EQ(b, original);
}

TEST(FlipReverse, RefusesOtherFormatsAndLeavesTheBitmapAlone)
{
    for (PixelFormat f : { PixelFormat::pf8bit, PixelFormat::pf16bit, PixelFormat::pf32bit }) {
        Bitmap b = numbered(3, 2, f);
        const Bitmap before = b;
        try {
            (void)flip_reverse_copy(true, false, b);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Can Flip/Reverse only 24-bit bitmap");
        }
        EXPECT_THROW(flip_reverse(true, true, b), Error);
        EXPECT_EQ(b, before);
    }
}

TEST(Brightness, ClampsEveryByte)
{
    Bitmap b(1, 1);
    b.row(0)[0] = 200;
    b.row(0)[1] = 230;
    b.row(0)[2] = 10;
    adjust_brightness(b, 40);
    EXPECT_EQ(b.row(0)[0], 240);
    EXPECT_EQ(b.row(0)[1], 255);
    EXPECT_EQ(b.row(0)[2], 50);

    Bitmap d(2, 1);
    d.row(0)[0] = 30;
    d.row(0)[1] = 100;
    adjust_brightness(d, -40);
    EXPECT_EQ(d.row(0)[0], 0);
    EXPECT_EQ(d.row(0)[1], 60);

    // Extreme amounts must saturate, not wrap.
    Bitmap e = numbered(3, 3);
    adjust_brightness(e, std::numeric_limits<int>::max());
    EXPECT_EQ(e.pixel(1, 1), make_color(255, 255, 255));
    adjust_brightness(e, std::numeric_limits<int>::min());
    EXPECT_EQ(e.pixel(2, 2), make_color(0, 0, 0));

    Bitmap zero = numbered(3, 3);
    adjust_brightness(zero, 0);
    EXPECT_EQ(zero, numbered(3, 3));
}

TEST(Brightness, KeyedSparesTheKeyAndFloorsDarkeningAtTen)
{
    Bitmap b(3, 1);
    b.set_pixel(0, 0, make_color(0, 0, 0));
    b.set_pixel(1, 0, make_color(15, 100, 25));
    b.set_pixel(2, 0, make_color(5, 5, 5));
    adjust_brightness_keyed(b, -20, make_color(0, 0, 0));
    EXPECT_EQ(b.pixel(0, 0), make_color(0, 0, 0));
    EXPECT_EQ(b.pixel(1, 0), make_color(10, 80, 10));
    EXPECT_EQ(b.pixel(2, 0), make_color(10, 10, 10)); // raised by darkening

    Bitmap up(2, 1);
    up.set_pixel(0, 0, make_color(250, 1, 2));
    up.set_pixel(1, 0, make_color(9, 9, 9)); // the key: untouched
    adjust_brightness_keyed(up, 20, make_color(9, 9, 9));
    EXPECT_EQ(up.pixel(0, 0), make_color(255, 21, 22));
    EXPECT_EQ(up.pixel(1, 0), make_color(9, 9, 9));

    // Amount 0 changes nothing, not even channels below 10.
    Bitmap none(1, 1);
    none.set_pixel(0, 0, make_color(1, 2, 3));
    adjust_brightness_keyed(none, 0, make_color(200, 200, 200));
    EXPECT_EQ(none.pixel(0, 0), make_color(1, 2, 3));
}

TEST(Brightness, OtherFormatsAreAnAssertionFailureOfTheRescaler)
{
    Bitmap b = numbered(2, 2, PixelFormat::pf32bit);
    try {
        adjust_brightness(b, 5);
        ADD_FAILURE() << "no failure";
    } catch (const AssertionFailure& e) {
        EXPECT_NE(std::string(e.what()).find("Rescaler"), std::string::npos);
    }
    EXPECT_THROW(adjust_brightness_keyed(b, 5, 0), AssertionFailure);
    EXPECT_THROW(adjust_brightness(b, 0), AssertionFailure);
}

TEST(Rescale, ShrinkPicksTheFirstPixelOfEachBlock)
{
    Bitmap b = numbered(4, 2);
    rescale_bitmap(b, 2, 1);
    ASSERT_EQ(b.width(), 2);
    ASSERT_EQ(b.height(), 1);
    EXPECT_EQ(b.pixel(0, 0), make_color(0, 0, 7));
    EXPECT_EQ(b.pixel(1, 0), make_color(2, 0, 7));
}

TEST(Rescale, GrowMakesBlocks)
{
    Bitmap b = numbered(4, 2);
    rescale_bitmap(b, 8, 4);
    ASSERT_EQ(b.width(), 8);
    ASSERT_EQ(b.height(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(b.pixel(x, y), make_color(x / 2, y / 2, 7)) << x << "," << y;
}

TEST(Rescale, MixedDirectionsAndUnevenFactorsUseTheOriginalImage)
{
    // Growing one way and shrinking the other must neither leave white from
    // a widening nor read pixels already overwritten.
    Bitmap b = numbered(4, 4);
    rescale_bitmap(b, 8, 2);
    ASSERT_EQ(b.width(), 8);
    ASSERT_EQ(b.height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(b.pixel(x, y), make_color(x / 2, y * 2, 7)) << x << "," << y;

    Bitmap c = numbered(7, 5);
    rescale_bitmap(c, 3, 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(c.pixel(x, y), make_color(x * 7 / 3, y * 5 / 11, 7)) << x << "," << y;
}

TEST(Rescale, KeepsFormatPaletteAndTransparency)
{
    Bitmap b(2, 1, PixelFormat::pf8bit);
    b.set_palette({ make_color(0, 0, 0), make_color(255, 0, 0), make_color(0, 0, 255) });
    b.row(0)[0] = 1;
    b.row(0)[1] = 2;
    b.set_transparent(true);
    b.set_transparent_color(make_color(255, 0, 0));
    rescale_bitmap(b, 4, 2);
    EXPECT_EQ(b.pixel_format(), PixelFormat::pf8bit);
    EXPECT_EQ(b.palette().size(), 3u);
    EXPECT_TRUE(b.transparent());
    EXPECT_EQ(b.transparent_color(), make_color(255, 0, 0));
    EXPECT_EQ(b.row(1)[1], 1);
    EXPECT_EQ(b.row(1)[2], 2);

    Bitmap wide = numbered(3, 2, PixelFormat::pf16bit);
    rescale_bitmap(wide, 6, 2);
    EXPECT_EQ(wide.pixel_format(), PixelFormat::pf16bit);
    EXPECT_EQ(wide.pixel(5, 1), numbered(3, 2, PixelFormat::pf16bit).pixel(2, 1));
}

TEST(Rescale, ZeroSizesGiveEmptyBitmapsAndEmptySourcesGiveWhite)
{
    Bitmap b = numbered(5, 5);
    rescale_bitmap(b, 0, 3);
    EXPECT_EQ(b.width(), 0);
    EXPECT_EQ(b.height(), 3);
    Bitmap c = numbered(5, 5);
    rescale_bitmap(c, 4, 0);
    EXPECT_EQ(c.width(), 4);
    EXPECT_EQ(c.height(), 0);
    EXPECT_TRUE(c.empty());

    rescale_bitmap(b, 2, 2); // from an empty bitmap: nothing to stretch
    EXPECT_EQ(b.width(), 2);
    EXPECT_EQ(b.pixel(1, 1), make_color(255, 255, 255));

    const Bitmap thin = flip_reverse_copy(true, true, Bitmap(0, 4));
    EXPECT_EQ(thin.width(), 0);
    EXPECT_EQ(thin.height(), 4);

    Bitmap d = numbered(2, 2);
    rescale_bitmap(d, -3, -1);
    EXPECT_EQ(d.width(), 0);
    EXPECT_EQ(d.height(), 0);
}

TEST(Rescale, WideBitmapsDoNotOverflowTheIndexArithmetic)
{
    // x * w exceeds 32 bits here; the column is encoded in red and green.
    const auto column = [](int x) { return make_color(x & 0xFF, (x >> 8) & 0xFF, 7); };
    Bitmap b(70000, 1);
    for (int x = 0; x < 70000; ++x)
        b.set_pixel(x, 0, column(x));
    rescale_bitmap(b, 69999, 1);
    EXPECT_EQ(b.pixel(69998, 0), column(69998));
    EXPECT_EQ(b.pixel(35000, 0), column(35000));
    EXPECT_EQ(b.pixel(69997, 0), column(69997));
}
