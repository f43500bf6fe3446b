#include "base/error.h"
#include "scene/scene.h"
#include "scene/setting_ranges.h"
#include "settings/read_write_ini.h"
#include "test_pictures.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <new>

namespace velmora {
namespace {

    using test::coordinate_picture;
    using test::register_test_picture;

    // The settings a fresh installation starts with.
    Settings defaults()
    {
        return velmora::default_settings();
    }

    Scene assemble(const Bitmap& picture, int edge, const Settings& s, int sw = 1280, int sh = 1024)
    {
        std::optional<Scene> scene = assemble_scene(picture, edge, s, sw, sh, {});
        EXPECT_TRUE(scene.has_value());
        return scene ? std::move(*scene) : Scene {};
    }

    TEST(SceneLayout, FitsPictureAndReflectionIntoTheViewingSize)
    {
        // 640 x 480 would leave no room for an 80 % reflection: the height
        // becomes Round(480 / 1.8) = 267 and the width follows the aspect.
        const Bitmap picture = coordinate_picture(1024, 768);
        const Scene scene = assemble(picture, 0, defaults(), 1281, 1022);
        EXPECT_EQ(scene.picture.width(), 356);
        EXPECT_EQ(scene.picture.height(), 267);
        EXPECT_EQ(scene.area.width(), 356);
        EXPECT_EQ(scene.area.height(), 214);
        // Centred with halves to even: (1281 - 356) / 2 = 462.5, (1022 - 481) / 2 = 270.5.
        EXPECT_EQ(scene.panel.left, 462);
        EXPECT_EQ(scene.panel.top, 270);
        EXPECT_EQ(scene.panel.width, 356);
        EXPECT_EQ(scene.panel.height, 481);
        EXPECT_EQ(scene.ScaleFactor, 356.0L / 1024);
        EXPECT_EQ(scene.ReflectionRatio, 80 * 0.01L);
        EXPECT_EQ(scene.WaveShape, 17.0L);
        EXPECT_EQ(scene.WaveSpeed, 30.0L);
        // The picture is the source scaled by whole pixels, never blended.
        for (int y : { 0, 100, 266 })
            for (int x : { 0, 200, 355 })
                EXPECT_EQ(scene.picture.pixel(x, y), picture.pixel(x * 1024 / 356, y * 768 / 267))
                    << x << "," << y;
    }

    TEST(SceneLayout, EnlargesASmallPictureToTheFullWidth)
    {
        Settings s = defaults();
        s.ReflectionHeightPercent = 5;
        const Scene scene = assemble(coordinate_picture(100, 50), 0, s);
        EXPECT_EQ(scene.picture.width(), 640);
        EXPECT_EQ(scene.picture.height(), 320);
        EXPECT_EQ(scene.area.height(), 17); // Round(320 x 0.05 + 0.6)
        EXPECT_EQ(scene.ScaleFactor, round_to_real48(6.4L));
    }

    TEST(SceneLayout, ScaleFactorKeepsFortySignificantBits)
    {
        // 1/3 rounded to 40 bits: Round(2^41 / 3) / 2^41.
        const long double third = round_to_real48(1.0L / 3);
        EXPECT_EQ(third, 733007751851.0L / std::ldexp(1.0L, 41));
        EXPECT_NE(third, 1.0L / 3);
        EXPECT_EQ(round_to_real48(0.5L), 0.5L);
        // The scene stores it that way: 640 / 3 pixels.
        const Scene scene = assemble(coordinate_picture(1920, 10), 0, defaults());
        EXPECT_EQ(scene.ScaleFactor, round_to_real48(1.0L / 3));
    }

    TEST(SceneLayout, TallNarrowPictureKeepsAColumn)
    {
        const Scene scene = assemble(coordinate_picture(1, 5000), 0, defaults());
        EXPECT_EQ(scene.picture.width(), 1);
        EXPECT_EQ(scene.picture.height(), 267);
    }

    TEST(SceneWaterEdge, EdgeAtThePictureTopIsRejected)
    {
        Settings s = defaults();
        s.ShiftHorizon = true;
        const Bitmap picture = coordinate_picture(40, 30);
        try {
            assemble_scene(picture, 30, s, 800, 600, {});
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Water Edge defined too high! No image generated.");
        }
        // One row above the edge is still a picture: 40 x 1 fits 640 x 16.
        EXPECT_EQ(assemble(picture, 29, s).picture.height(), 16);
    }

    TEST(SceneWaterEdge, CutsThePictureAtTheEdge)
    {
        Settings s = defaults();
        s.ShiftHorizon = true;
        s.ImageResCode = 0;
        s.ReflectionHeightPercent = 50;
        // 200 x 100 with 20 rows of lake: 200 x 80 fits 320 x 128 (and 128 + 64 <= 200).
        const Scene scene = assemble(coordinate_picture(200, 100), 20, s);
        EXPECT_TRUE(scene.edge_cut);
        EXPECT_EQ(scene.picture.width(), 320);
        EXPECT_EQ(scene.picture.height(), 128);
        EXPECT_EQ(scene.area.height(), 65); // Round(128 x 0.5 + 0.6)
        // The bottom row of the fitted picture is the last row above the edge.
        EXPECT_EQ(color_green(scene.picture.pixel(0, 127)), 79);
    }

    TEST(SceneWaterEdge, ShiftHorizonOffIgnoresTheEdgeAndTheImageBottom)
    {
        Settings record = defaults();
        record.UseImageBottom = true;
        record.ShiftHorizon = false;
        const std::string edge_file
            = register_test_picture("edge.vtest", coordinate_picture(200, 100));
        const std::optional<BuiltScene> built = build_scene(edge_file, 30, record, 1280, 1024, {});
        ASSERT_TRUE(built);
        EXPECT_FALSE(record.UseImageBottom);
        EXPECT_FALSE(built->scene.edge_cut);
        EXPECT_EQ(built->scene.picture, assemble(coordinate_picture(200, 100), 0, record).picture);
    }

    TEST(SceneImageBottom, StripBelowTheEdgeIsTheReflectionBase)
    {
        Settings s = defaults();
        s.ShiftHorizon = true;
        s.UseImageBottom = true;
        s.ImageResCode = 0;
        s.ReflectionHeightPercent = 50;
        const Scene scene = assemble(coordinate_picture(200, 100), 20, s);
        ASSERT_TRUE(scene.UseImageBottom);
        EXPECT_EQ(scene.picture.width(), 320);
        EXPECT_EQ(scene.picture.height(), 128);
        // 20 rows of lake cut to the 10 nearest the edge, scaled by 1.6.
        ASSERT_EQ(scene.area.width(), 320);
        ASSERT_EQ(scene.area.height(), 16);
        for (int y = 0; y < 16; ++y)
            EXPECT_EQ(color_green(scene.area.pixel(5, y)), 80 + y * 10 / 16) << y;
        EXPECT_EQ(scene.panel.height, 128 + 16);
    }

    TEST(SceneImageBottom, TallStripShrinksTheFit)
    {
        Settings s = defaults();
        s.ShiftHorizon = true;
        s.UseImageBottom = true;
        s.ImageResCode = 0;
        s.ReflectionHeightPercent = 100;
        // 128 + 192 rows exceed 200: h = Round(40 x 200 / 100) = 80, w = 200.
        const Scene scene = assemble(coordinate_picture(100, 100), 60, s);
        EXPECT_EQ(scene.picture.width(), 200);
        EXPECT_EQ(scene.picture.height(), 80);
        EXPECT_EQ(scene.area.width(), 200);
        EXPECT_EQ(scene.area.height(), 120);
        EXPECT_EQ(scene.panel.height, 200);
    }

    TEST(SceneSlideShow, DisabledReflectionShowsOnlyThePicture)
    {
        Settings record = defaults();
        record.MultipleMode = true;
        record.DisableReflection = true;
        const std::string slide_file
            = register_test_picture("slide.vtest", coordinate_picture(400, 300));
        const std::optional<BuiltScene> built = build_scene(slide_file, 50, record, 1280, 1024, {});
        ASSERT_TRUE(built);
        const Scene& scene = built->scene;
        EXPECT_FALSE(scene.reflection_shown);
        EXPECT_FALSE(scene.edge_cut);
        EXPECT_EQ(scene.ReflectionRatio, 0.0L);
        EXPECT_EQ(scene.picture.height(), 480); // the whole picture, no room kept below
        EXPECT_EQ(scene.panel.height, scene.picture.height());
        EXPECT_EQ(built->frames.built, 0);
        EXPECT_TRUE(built->frames.strip.empty());
    }

    TEST(SceneSettings, OutOfRangeValuesAreClampedWhereUsed)
    {
        const std::string range_file
            = register_test_picture("range.vtest", coordinate_picture(160, 120));
        Settings high = defaults();
        high.ImageResCode = 7;
        high.ReflectionHeightPercent = 100000;
        high.NumberOfReflectedImages = 1000;
        high.WaveFactor1 = 0;
        high.WaveFactor2 = 2000000000;
        high.BrightnessLevel = 100000;
        high.DelayTimeMS = 0;
        high.MultDelayTime = 2000000000;
        std::optional<BuiltScene> built = build_scene(range_file, 0, high, 1280, 1024, {});
        ASSERT_TRUE(built);
        // Large size, a reflection ten times the picture: h = Round(600 / 11).
        EXPECT_EQ(built->scene.picture.width(), 73);
        EXPECT_EQ(built->scene.picture.height(), 55);
        EXPECT_EQ(built->scene.area.height(), 551);
        EXPECT_EQ(built->scene.WaveShape, 0.1L);
        EXPECT_EQ(built->frames.built, 15);
        EXPECT_EQ(high.ImageResCode, 7) << "the record stays as read";
        EXPECT_EQ(within_ranges(high).DelayTimeMS, 1);
        EXPECT_EQ(within_ranges(high).MultDelayTime, INT32_MAX / 1000);

        Settings low = defaults();
        low.ImageResCode = -1;
        low.ReflectionHeightPercent = -50;
        low.NumberOfReflectedImages = -5;
        low.ShiftHorizon = true;
        low.UseImageBottom = true;
        low.ShiftPixels = -40;
        built = build_scene(range_file, low.ShiftPixels, low, 1280, 1024, {});
        ASSERT_TRUE(built);
        // Small size without reflection rows: h = Round(200 / 1) = 200.
        EXPECT_EQ(built->scene.picture.width(), 267);
        EXPECT_EQ(built->scene.picture.height(), 200);
        EXPECT_EQ(built->scene.area.height(), 1); // Round(200 x 0 + 0.6)
        EXPECT_EQ(built->frames.built, 1);
        EXPECT_FALSE(built->scene.edge_cut);
        EXPECT_FALSE(low.UseImageBottom) << "a negative edge is no edge";
    }

    TEST(SceneBuild, PicturesThatCannotBeShownGiveTheUsersMessages)
    {
        Settings record = defaults();
        const auto message = [&](const std::string& name) -> std::string {
            try {
                build_scene(name, 0, record, 800, 600, {});
            } catch (const Error& e) {
                return e.what();
            }
            return "no error";
        };
        EXPECT_EQ(
            message(" \t"), "No Image selected. Please use \"Configure\" to enter image name.");
        EXPECT_EQ(message("/nowhere/lake.vtest"), "Error loading image \"/nowhere/lake.vtest\"!");
        // A decoder that runs out of memory is a picture that cannot be
        // loaded, not the end of the saver.
        const std::string huge = register_test_picture("huge.vtest", coordinate_picture(1, 1));
        register_picture_decoder(
            "vhuge", [](const std::string&) -> Bitmap { throw std::bad_alloc(); });
        const std::string huge_name
            = std::filesystem::path(huge).replace_extension(".vhuge").string();
        std::filesystem::copy_file(huge, huge_name);
        EXPECT_EQ(message(huge_name), "Error loading image \"" + huge_name + "\"!");
        std::filesystem::remove(huge_name);
    }

    TEST(SceneBuild, ClosingStopsTheBuildWherever)
    {
        const std::string closing_file
            = register_test_picture("closing.vtest", coordinate_picture(300, 200));
        // Count the progress lines of a whole build, then close after each.
        Settings record = defaults();
        int lines = 0;
        ASSERT_TRUE(build_scene(
            closing_file, 0, record, 800, 600, { {}, [&](const std::string&) { ++lines; } }));
        ASSERT_GT(lines, 12);
        for (int stop_after = 0; stop_after < lines; ++stop_after) {
            int seen = 0;
            bool closing = false;
            const SceneHooks hooks { [&] { return closing; },
                [&](const std::string&) { closing = ++seen > stop_after; } };
            EXPECT_FALSE(build_scene(closing_file, 0, record, 800, 600, hooks)) << stop_after;
        }
    }

    TEST(SceneBuild, FramesCopyIntoTheReflectionArea)
    {
        const std::string frames_file
            = register_test_picture("frames.vtest", coordinate_picture(320, 240));
        Settings record = defaults();
        record.NumberOfReflectedImages = 4;
        std::optional<BuiltScene> built = build_scene(frames_file, 0, record, 800, 600, {});
        ASSERT_TRUE(built);
        const int w = built->scene.area.width();
        const int h = built->scene.area.height();
        ASSERT_EQ(built->frames.built, 4);
        Bitmap area = built->scene.area;
        for (int k = 1; k <= 4; ++k) {
            ASSERT_TRUE(copy_frame(built->frames, k, area));
            Bitmap expected(w, h);
            draw_rect(expected, 0, 0, built->frames.strip, (k - 1) * w, 0, w, h);
            EXPECT_EQ(area, expected) << k;
        }
        const Bitmap before = area;
        EXPECT_FALSE(copy_frame(built->frames, 5, area));
        EXPECT_FALSE(copy_frame(built->frames, 0, area));
        EXPECT_EQ(area, before);
        EXPECT_FALSE(copy_frame(FrameStrip {}, 1, area));
    }

} // namespace
} // namespace velmora
