#include "base/show_info.h"
#include "scene/overlay_setup.h"
#include "scene/scene.h"
#include "test_pictures.h"

#include <gtest/gtest.h>
#include <vector>

namespace velmora {
namespace {

    using test::register_test_picture;

    constexpr Color kWater = make_color(0, 128, 255);
    constexpr Color kHull = make_color(200, 30, 30);

    // A boat on a flat background: the background is the bottom-left pixel;
    // the hull is the lower half of the middle columns, the left column of
    // the hull is marked so mirroring shows.
    Bitmap boat(int width, int height)
    {
        Bitmap b(width, height);
        b.fill(kWater);
        b.fill_rect(width / 4, height / 2, width * 3 / 4, height - 1, kHull);
        b.fill_rect(width / 4, height / 2, width / 4 + 1, height - 1, make_color(1, 2, 3));
        return b;
    }

    Settings overlay_settings(const std::string& file)
    {
        Settings s;
        s.Overlay = true;
        s.OverlayFileName = file;
        s.OverlayZoomFactor = 100;
        s.OverlayReflection = true;
        s.AutoOverlayXparentColor = true;
        s.NumberOfReflectedImages = 12;
        s.ReflectionHeightPercent = 80;
        s.WaveFactor1 = 17;
        s.WaveFactor2 = 30;
        s.ImageResCode = 1;
        return s;
    }

    TEST(OverlayArithmetic, SizesAndOffsetsRoundHalvesToEven)
    {
        // 200 x 100 with a footing of 10 rows, zoom 150 %, half size.
        EXPECT_EQ(overlay_display_size(0.5L, 200, 90, 150), std::make_pair(150, 68));
        EXPECT_EQ(overlay_display_size(0.5L, 200, 90, 5), std::make_pair(5, 2));
        EXPECT_EQ(overlay_display_offset(0.5L, 101), 50);
        EXPECT_EQ(overlay_display_offset(0.5L, 103), 52);
        EXPECT_EQ(overlay_display_offset(0.5L, -101), -50);
        const OverlayGeometry geometry { 1, 100, 80 };
        EXPECT_EQ(overlay_reflection_room(geometry, 60, 115), 15);
    }

    TEST(OverlaySetup, CutsTheFootingProbesAndScales)
    {
        const std::string boat_file = register_test_picture("boat.vtest", boat(200, 100));
        Settings s = overlay_settings(boat_file);
        s.OverlayShiftPixels = 10;
        s.OverlayZoomFactor = 150;
        s.XOffSet = 101;
        s.YOffSet = 40;
        int probes = 0;
        const ScreenProbe probe = [&](const Bitmap& overlay) -> std::optional<Color> {
            ++probes;
            EXPECT_EQ(overlay.width(), 200);
            EXPECT_EQ(overlay.height(), 90);
            EXPECT_EQ(overlay.pixel(0, 89), kWater);
            return make_color(0, 128, 248); // as a 16-bit screen shows it
        };
        std::vector<std::string> lines;
        const OverlayState state = overlay_setup(
            s, { 0.5L, 200, 160 }, probe, [&](const std::string& line) { lines.push_back(line); });
        EXPECT_EQ(probes, 1);
        EXPECT_EQ(lines,
            (std::vector<std::string> { "Resampling Overlay..", "Done Resampling Overlay..." }));
        ASSERT_FALSE(state.failed);
        ASSERT_TRUE(state.bitmap);
        EXPECT_EQ(state.bitmap->width(), 150);
        EXPECT_EQ(state.bitmap->height(), 68);
        EXPECT_EQ(state.x, 50);
        EXPECT_EQ(state.y, 20);
        EXPECT_TRUE(state.colors_probed);
        EXPECT_EQ(state.xparent_color, make_color(0, 128, 248));
        EXPECT_EQ(state.xparent_color_24, kWater);
        EXPECT_TRUE(state.bitmap->transparent());
        EXPECT_EQ(state.bitmap->transparent_color(), make_color(0, 128, 248));
        EXPECT_TRUE(state.reflection_fits);
        ASSERT_TRUE(state.reflection);
    }

    TEST(OverlaySetup, ChoosesTheTransparentColours)
    {
        const std::string boat_file = register_test_picture("boat.vtest", boat(40, 20));
        Settings s = overlay_settings(boat_file);
        const OverlayGeometry geometry { 1, 100, 80 };
        // The screen cannot be read: the overlay's own pixel serves both.
        OverlayState state
            = overlay_setup(s, geometry, [](const Bitmap&) { return std::nullopt; }, {});
        EXPECT_EQ(state.xparent_color, kWater);
        EXPECT_EQ(state.xparent_color_24, kWater);
        state = overlay_setup(s, geometry, {}, {});
        EXPECT_EQ(state.xparent_color, kWater);

        // Chosen colours are used as they are, without measuring.
        s.AutoOverlayXparentColor = false;
        s.OverlayXparentColor = make_color(1, 1, 1);
        s.Overlay24BitXparentColor = make_color(2, 2, 2);
        bool probed = false;
        state = overlay_setup(s, geometry,
            [&](const Bitmap&) {
                probed = true;
                return std::optional<Color>(0);
            },
            {});
        EXPECT_FALSE(probed);
        EXPECT_FALSE(state.colors_probed);
        EXPECT_EQ(state.xparent_color, make_color(1, 1, 1));
        EXPECT_EQ(state.xparent_color_24, make_color(2, 2, 2));

        // A colour not chosen yet is measured after all.
        s.Overlay24BitXparentColor = -1;
        state = overlay_setup(s, geometry, {}, {});
        EXPECT_TRUE(state.colors_probed);
        EXPECT_EQ(state.xparent_color_24, kWater);
    }

    TEST(OverlaySetup, ReflectionBrightnessSparesTheBackground)
    {
        const std::string boat_file = register_test_picture("boat.vtest", boat(40, 20));
        Settings s = overlay_settings(boat_file);
        const OverlayGeometry geometry { 1, 100, 80 };
        // Levels that cancel out leave the reflection an exact upside-down copy.
        s.OverlayBrightnessLevel = 1;
        s.BrightnessLevel = -1;
        OverlayState state = overlay_setup(s, geometry, {}, {});
        ASSERT_TRUE(state.reflection);
        ASSERT_EQ(state.reflection->height(), 20);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(state.reflection->pixel(x, y), state.bitmap->pixel(x, 19 - y));

        s.OverlayBrightnessLevel = 31; // with BrightnessLevel -1: 30 brighter
        state = overlay_setup(s, geometry, {}, {});
        ASSERT_TRUE(state.reflection);
        // Row 1 of the reflection is the hull's bottom row (row 18).
        EXPECT_EQ(state.reflection->pixel(20, 1), make_color(230, 60, 60));
        EXPECT_EQ(state.reflection->pixel(0, 1), kWater);
    }

    TEST(OverlaySetup, ReflectionRoomEndsBelowTheReflectionArea)
    {
        const std::string tall_file = register_test_picture("tall.vtest", boat(40, 60));
        Settings s = overlay_settings(tall_file);
        const OverlayGeometry geometry { 1, 100, 80 };
        s.YOffSet = 115; // bottom 5 rows above the area's bottom: room 15
        OverlayState state = overlay_setup(s, geometry, {}, {});
        ASSERT_TRUE(state.reflection);
        EXPECT_EQ(state.reflection->height(), 15);
        EXPECT_EQ(state.reflection->pixel(20, 1), state.bitmap->pixel(20, 58));

        s.YOffSet = 120; // reaches the bottom: no reflection of its own
        state = overlay_setup(s, geometry, {}, {});
        EXPECT_FALSE(state.reflection_fits);
        EXPECT_FALSE(state.reflection);
        EXPECT_TRUE(state.bitmap);
    }

    TEST(OverlaySetup, FlipMirrorsAfterMeasuring)
    {
        const std::string boat_file = register_test_picture("boat.vtest", boat(40, 20));
        Settings s = overlay_settings(boat_file);
        s.FlipOverlay = true;
        const OverlayState state = overlay_setup(s, { 1, 100, 80 }, {}, {});
        ASSERT_TRUE(state.bitmap);
        EXPECT_EQ(state.bitmap->pixel(39 - 10, 15), make_color(1, 2, 3));
        EXPECT_EQ(state.bitmap->pixel(10, 15), kHull);
    }

    TEST(OverlaySetup, UnusableOverlaysLeaveTheSceneWithoutOne)
    {
        const std::string boat_file = register_test_picture("boat.vtest", boat(40, 20));
        std::vector<std::string> shown;
        const InfoHandler previous
            = set_info_handler([&](const std::string& text) { shown.push_back(text); });
        const OverlayGeometry geometry { 1, 100, 80 };
        bool probed = false;
        const ScreenProbe probe = [&](const Bitmap&) {
            probed = true;
            return std::optional<Color>();
        };

        Settings s = overlay_settings("  ");
        OverlayState state = overlay_setup(s, geometry, probe, {});
        EXPECT_TRUE(state.failed);

        s.OverlayFileName = "/nowhere/boat.vtest";
        state = overlay_setup(s, geometry, probe, {});
        EXPECT_TRUE(state.failed);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0], "Error loading Overlay image \"/nowhere/boat.vtest\"!");

        // A footing as high as the overlay, or higher, leaves nothing.
        s.OverlayFileName = boat_file;
        for (int footing : { 20, 21, 1000000 }) {
            s.OverlayShiftPixels = footing;
            state = overlay_setup(s, geometry, probe, {});
            EXPECT_TRUE(state.failed) << footing;
            EXPECT_FALSE(state.bitmap);
        }
        // Zoomed to less than a pixel.
        s.OverlayShiftPixels = 0;
        s.OverlayZoomFactor = 5;
        state = overlay_setup(s, { 0.01L, 100, 80 }, probe, {});
        EXPECT_TRUE(state.failed);
        EXPECT_FALSE(probed && state.bitmap);

        s.Overlay = false;
        state = overlay_setup(s, geometry, probe, {});
        EXPECT_FALSE(state.failed);
        EXPECT_FALSE(state.bitmap);
        set_info_handler(previous);
    }

    TEST(OverlayScene, OverlayStandsOnThePictureInEveryScene)
    {
        const std::string lake_file
            = register_test_picture("lake.vtest", test::coordinate_picture(320, 240));
        const std::string boat_file = register_test_picture("boat.vtest", boat(40, 20));
        Settings record = overlay_settings(boat_file);
        record.XOffSet = 100;
        record.YOffSet = 150;
        record.OverlayXparentColor = -1;
        std::optional<BuiltScene> built = build_scene(lake_file, 0, record, 1280, 1024, {},
            [](const Bitmap& overlay) { return std::optional<Color>(overlay.pixel(0, 19)); });
        ASSERT_TRUE(built);
        // 320 x 240 fits 356 x 267 (Round(267 / 240 x 320) = 356).
        const long double sf = built->scene.ScaleFactor;
        EXPECT_EQ(built->overlay.x, overlay_display_offset(sf, 100));
        EXPECT_EQ(built->overlay.y, overlay_display_offset(sf, 150));
        // Measured colours go back into the record.
        EXPECT_EQ(record.OverlayXparentColor, kWater);
        EXPECT_EQ(record.Overlay24BitXparentColor, kWater);
        // The hull is drawn onto the picture; the background is not.
        const Bitmap& picture = built->scene.picture;
        const int hull_x = built->overlay.x + built->overlay.bitmap->width() / 2;
        const int hull_y = built->overlay.y + built->overlay.bitmap->height() * 3 / 4;
        EXPECT_EQ(picture.pixel(hull_x, hull_y), kHull);
        EXPECT_NE(picture.pixel(built->overlay.x, built->overlay.y), kWater);
        EXPECT_EQ(built->frames.built, 12);
    }

} // namespace
} // namespace velmora
