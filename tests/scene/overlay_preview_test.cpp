#include "base/error.h"
#include "scene/overlay_preview.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

    constexpr int kPanelWidth = 500;
    constexpr int kPanelHeight = 390;

    struct FitCase {
        const char* name;
        int width, height;
        MainPreviewInput input;
        int reflection_rows, preview_width, preview_height, left, top, water_line;
    };

    TEST(MainPreview, FitsTheCompositeIntoThePanel)
    {
        const FitCase cases[] = {
            // 640 x 864 composite: 490 wide would be Round(661.5) = 662 high,
            // too high, so 380 high and Round(640 x 380 / 864) = 281 wide.
            { "mirror", 640, 480, { 0, 80, 0, false }, 384, 281, 380, 110, 6, 211 },
            // The picture's own bottom is only used below a water edge, as in
            // the saver: without one the reflection is a mirror.
            { "bottom without edge", 640, 480, { 0, 80, 0, true }, 384, 281, 380, 110, 6, 211 },
            // 100 rows below the edge, 80 of them reflected: 640 x 460, 490 x 352.
            { "own bottom", 640, 480, { 100, 80, 0, true }, 80, 490, 352, 6, 20, 291 },
            // A wide picture: 490 x Round(490 / 1000 x 300) = 147.
            { "wide", 1000, 200, { 0, 50, 0, false }, 100, 490, 147, 6, 122, 98 },
        };
        for (const FitCase& c : cases) {
            SCOPED_TRACE(c.name);
            const MainPreview p = build_main_preview(
                test::coordinate_picture(c.width, c.height), c.input, kPanelWidth, kPanelHeight);
            EXPECT_EQ(p.reflection_rows, c.reflection_rows);
            EXPECT_EQ(p.bitmap.width(), c.preview_width);
            EXPECT_EQ(p.bitmap.height(), c.preview_height);
            EXPECT_EQ(p.left, c.left);
            EXPECT_EQ(p.top, c.top);
            EXPECT_EQ(p.WaterLineY, c.water_line);
            const int composite_height = c.height - c.input.shift + c.reflection_rows;
            EXPECT_EQ(
                p.PreviewScale, static_cast<long double>(composite_height) / c.preview_height);
        }
    }

    TEST(MainPreview, RefusesAnEdgeAtThePicturesTop)
    {
        const Bitmap picture = test::coordinate_picture(40, 30);
        EXPECT_THROW(
            {
                try {
                    build_main_preview(picture, { 29, 80, 0, false }, kPanelWidth, kPanelHeight);
                } catch (const Error& e) {
                    EXPECT_STREQ(e.what(), "Shift-Pixel Amount is too large!");
                    throw;
                }
            },
            Error);
        EXPECT_NO_THROW(build_main_preview(picture, { 28, 80, 0, false }, 50, 1000));
    }

    // With a panel 10 pixels wider than the picture nothing is rescaled, so
    // every row of the preview can be traced to the picture row it shows
    // (green = source row).
    TEST(MainPreview, ReflectionRowsComeFromTheRightSideOfTheEdge)
    {
        const int w = 40, h = 60, s = 20;
        const Bitmap picture = test::coordinate_picture(w, h);
        for (const bool own_bottom : { false, true }) {
            SCOPED_TRACE(own_bottom ? "own bottom" : "mirror");
            const MainPreview p
                = build_main_preview(picture, { s, 100, 0, own_bottom }, w + 10, 1000);
            ASSERT_EQ(p.PreviewScale, 1.0L);
            const int edge = h - s;
            for (int y = 0; y < edge; ++y)
                ASSERT_EQ(p.bitmap.row(y)[1], y);
            int wave_moved = 0;
            for (int y = edge; y < p.bitmap.height(); ++y) {
                const int i = y - edge;
                const Color c = p.bitmap.pixel(3, y);
                if (c == make_color(0, 0, 0))
                    continue; // the wave's fill below the strip
                const int from = color_green(c);
                if (own_bottom)
                    EXPECT_GE(from, edge) << "row " << y;
                else
                    EXPECT_LT(from, edge) << "row " << y;
                const int still = own_bottom ? edge + i : edge - 1 - i;
                wave_moved += from != still;
            }
            EXPECT_GT(wave_moved, 0) << "the wave displaces some rows";
        }
    }

    TEST(MainPreview, BrightnessChangesOnlyTheReflection)
    {
        const Bitmap picture = test::coordinate_picture(40, 60);
        const MainPreview plain = build_main_preview(picture, { 0, 50, 0, false }, 50, 1000);
        const MainPreview bright = build_main_preview(picture, { 0, 50, 30, false }, 50, 1000);
        for (int y = 0; y < plain.bitmap.height(); ++y) {
            const int expected_blue = y < 60 ? 40 : 70;
            if (plain.bitmap.pixel(0, y) != make_color(0, 0, 0)) {
                EXPECT_EQ(color_blue(bright.bitmap.pixel(0, y)), expected_blue) << "row " << y;
            }
        }
    }

    TEST(OverlayPreviewArithmetic, RoundsHalvesToEven)
    {
        // 864 / 380 picture pixels per preview pixel.
        const long double scale = 864.0L / 380.0L;
        EXPECT_EQ(overlay_preview_size(scale, 200, 100, 100), std::make_pair(88, 44));
        EXPECT_EQ(overlay_preview_size(2.0L, 5, 3, 100), std::make_pair(2, 2)); // 2.5, 1.5
        EXPECT_EQ(overlay_preview_size(2.0L, 1, 1, 5), std::make_pair(1, 1)); // never vanishes
        EXPECT_EQ(overlay_preview_size(2.0L, 0, 10, 100), std::make_pair(0, 5));
        // Round(offset / scale + origin): the origin takes part in the rounding.
        EXPECT_EQ(overlay_preview_position(2.0L, 5, 110), 112); // 112.5
        EXPECT_EQ(overlay_preview_position(2.0L, 5, 111), 114); // 113.5
        EXPECT_EQ(overlay_preview_position(2.0L, -7, 0), -4); // -3.5
        EXPECT_EQ(overlay_picture_offset(scale, 44), 100); // 100.04
        EXPECT_EQ(overlay_picture_offset(2.5L, 1), 2); // 2.5
    }

} // namespace
} // namespace velmora
