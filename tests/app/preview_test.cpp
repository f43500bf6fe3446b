#include "app/preview.h"
#include "display/preview_bitmaps.h"
#include "platform/x11_window.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(PreviewPosition, CentresThePicturesTruncatingTowardZero)
{
    struct Case {
        int width, height, x, y;
    };
    // Pictures of 76 x 42 above 76 x 36, as built into the program.
    for (const Case& c : { Case { 200, 150, 62, 36 }, Case { 201, 151, 62, 36 },
             Case { 75, 77, 0, 0 }, Case { 50, 40, -13, -19 }, Case { 0, 0, -38, -39 } }) {
        const PreviewPosition at = preview_position(c.width, c.height, 76, 42, 36);
        EXPECT_EQ(at.x, c.x) << c.width;
        EXPECT_EQ(at.y, c.y) << c.height;
    }
}

TEST(PreviewBitmaps, AreBuiltInWithTheFrameStripFiveMainWidthsWide)
{
    const std::optional<Bitmap> main = load_resource_bitmap(kMainResource);
    const std::optional<Bitmap> reflect = load_resource_bitmap(kReflectResource);
    ASSERT_TRUE(main && reflect);
    EXPECT_EQ(main->width(), 76);
    EXPECT_EQ(main->height(), 42);
    EXPECT_EQ(reflect->width(), kReflectFrames * main->width());
    EXPECT_EQ(reflect->height(), 36);
    EXPECT_EQ(main->pixel_format(), PixelFormat::pf24bit);
    // Top row sky, bottom row shore: the picture is neither upside down nor
    // colour-swapped.
    EXPECT_EQ(main->pixel(0, 0), make_color(40, 90, 190));
    EXPECT_EQ(main->pixel(75, 41), make_color(90, 80, 60));

    // Every frame differs from the others, or the animation would stall.
    for (int a = 0; a < kReflectFrames; ++a) {
        for (int b = a + 1; b < kReflectFrames; ++b) {
            Bitmap frame_a(76, 36), frame_b(76, 36);
            draw_rect(frame_a, 0, 0, *reflect, a * 76, 0, 76, 36);
            draw_rect(frame_b, 0, 0, *reflect, b * 76, 0, 76, 36);
            EXPECT_FALSE(frame_a == frame_b) << a + 1 << " and " << b + 1;
        }
    }
    EXPECT_EQ(load_resource_bitmap("NOSUCH"), std::nullopt);
}

TEST(PixelPacking, FollowsTheVisualsMasksOrderAndPadding)
{
    Bitmap b(3, 2);
    b.set_pixel(0, 0, make_color(255, 0, 0));
    b.set_pixel(1, 0, make_color(0, 255, 0));
    b.set_pixel(2, 0, make_color(0, 0, 255));
    b.fill_rect(0, 1, 3, 2, make_color(0x12, 0x34, 0x56));

    // 32 bits per pixel, lowest byte first, alpha outside the masks: opaque.
    PixelLayout argb;
    argb.fill_bits = 0xFF000000;
    int width = 2, height = 1;
    EXPECT_EQ(pack_pixels(argb, b, 1, 1, width, height),
        (std::vector<std::uint8_t> { 0x56, 0x34, 0x12, 0xFF, 0x56, 0x34, 0x12, 0xFF }));

    // 16 bits 5-6-5, highest byte first, rows padded to 32 bits.
    PixelLayout rgb565 { 16, 32, true, 0xF800, 0x07E0, 0x001F, 0 };
    width = 3;
    height = 1;
    EXPECT_EQ(pack_pixels(rgb565, b, 0, 0, width, height),
        (std::vector<std::uint8_t> { 0xF8, 0x00, 0x07, 0xE0, 0x00, 0x1F, 0, 0 }));

    // A rectangle reaching past the bitmap is cut to what lies inside.
    width = 10;
    height = 10;
    const auto clipped = pack_pixels(argb, b, 2, -1, width, height);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(clipped, (std::vector<std::uint8_t> { 0xFF, 0, 0, 0xFF, 0x56, 0x34, 0x12, 0xFF }));
}
