#include "scene/scene.h"
#include "scene/setting_ranges.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"
#include "test_pictures.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace velmora {
namespace {

    using test::coordinate_picture;

    // "Fit Screen" on screens and host windows of several shapes, worked out
    // by hand from the fitting rule with the screen as the target box.
    TEST(FitScreen, FillsTheScreenByTheFittingRule)
    {
        struct Case {
            const char* what;
            int screen_w, screen_h, picture_w, picture_h, percent;
            int w, h, area_h, left, top;
        };
        const Case cases[] = {
            // h = Round(1080 / 1.8) = 600 would make a panel of 600 +
            // Round(480 + 0.6) = 1081 rows: one row less, w = Round(599 / 768 x
            // 1024) = 799, area Round(479.2 + 0.6) = 480.
            { "1920x1080 photo", 1920, 1080, 1024, 768, 80, 799, 599, 480, 560, 0 },
            { "3840x2160 photo", 3840, 2160, 4000, 3000, 80, 1599, 1199, 960, 1120, 0 },
            // A panorama fills the width: Round(1280 x 500 / 3000) = 213 fits.
            { "panorama", 1280, 1024, 3000, 500, 80, 1280, 213, 171, 0, 320 },
            // The preview host's small window: Round(112 / 1.8) = 62, w = 83.
            { "host window", 152, 112, 1024, 768, 80, 83, 62, 50, 34, 0 },
            // 5 %: h = Round(1080 / 1.05) = 1029 and its area of 52 rows pass
            // the screen by one: h = 1028, w = Round(1028 / 1080 x 1920) = 1828.
            { "low reflection", 1920, 1080, 1920, 1080, 5, 1828, 1028, 52, 46, 0 },
        };
        for (const Case& c : cases) {
            Settings s = default_settings();
            s.ImageResCode = kFitScreenResCode;
            s.ReflectionHeightPercent = c.percent;
            const std::optional<Scene> scene = assemble_scene(
                coordinate_picture(c.picture_w, c.picture_h), 0, s, c.screen_w, c.screen_h, {});
            ASSERT_TRUE(scene) << c.what;
            EXPECT_EQ(scene->picture.width(), c.w) << c.what;
            EXPECT_EQ(scene->picture.height(), c.h) << c.what;
            EXPECT_EQ(scene->area.height(), c.area_h) << c.what;
            EXPECT_EQ(scene->panel.left, c.left) << c.what;
            EXPECT_EQ(scene->panel.top, c.top) << c.what;
            EXPECT_EQ(
                scene->ScaleFactor, round_to_real48(static_cast<long double>(c.w) / c.picture_w))
                << c.what;
        }
    }

    TEST(FitScreen, BottomStripFitsTheScreenToo)
    {
        // 400 x 300 cut 100 rows above its bottom, strip at 50 %: IH 200,
        // B 50; 1920 x 200 / 400 + 1920 x 50 / 400 > 1080, so
        // h = Round(200 x (1080 / 250)) = 864 and w = Round(864 / 200 x 400) = 1728.
        Settings s = default_settings();
        s.ImageResCode = kFitScreenResCode;
        s.ShiftHorizon = true;
        s.UseImageBottom = true;
        s.ReflectionHeightPercent = 50;
        const std::optional<Scene> scene
            = assemble_scene(coordinate_picture(400, 300), 100, s, 1920, 1080, {});
        ASSERT_TRUE(scene);
        EXPECT_EQ(scene->picture.width(), 1728);
        EXPECT_EQ(scene->picture.height(), 864);
        EXPECT_EQ(scene->area.height(), 216); // Round(4.32 x 50)
        EXPECT_EQ(scene->panel.height, 1080);
    }

    // Whatever the picture's shape, the screen, the reflection's height and
    // the water edge, the whole panel lies inside the screen and above the
    // rows kept for the status line.
    TEST(FitScreen, ThePanelLiesInsideTheScreenAboveTheStatusLine)
    {
        const std::pair<int, int> pictures[]
            = { { 5, 3 }, { 3, 5 }, { 1200, 800 }, { 1024, 768 }, { 4000, 1000 }, { 999, 1601 } };
        const std::pair<int, int> screens[]
            = { { 800, 600 }, { 1366, 768 }, { 1920, 1080 }, { 3840, 2160 } };
        for (const auto& [pw, ph] : pictures)
            for (const auto& [sw, sh] : screens)
                for (const int percent : { 37, 80, 99, 100 })
                    for (const bool strip : { false, true }) {
                        // Half the cases keep rows for a status line.
                        const int status_rows = percent % 2 ? 15 : 0;
                        Settings s = default_settings();
                        s.ImageResCode = kFitScreenResCode;
                        s.ReflectionHeightPercent = percent;
                        s.ShiftHorizon = strip;
                        s.UseImageBottom = strip;
                        const int edge = strip ? std::max(1, ph / 4) : 0;
                        const std::optional<Scene> scene = assemble_scene(
                            coordinate_picture(pw, ph), edge, s, sw, sh, {}, status_rows);
                        ASSERT_TRUE(scene);
                        const PanelRect& p = scene->panel;
                        EXPECT_TRUE(p.left >= 0 && p.top >= 0 && p.left + p.width <= sw
                            && p.top + p.height <= sh - status_rows)
                            << pw << "x" << ph << " on " << sw << "x" << sh << " at " << percent
                            << " %" << (strip ? " with a strip" : "") << ", " << status_rows
                            << " status rows: panel " << p.width << "x" << p.height << " at "
                            << p.left << "," << p.top;
                    }
    }

    TEST(FitScreen, OnlyThreeIsTakenBeyondTheFixedSizes)
    {
        for (const auto& [read, used] : { std::pair { 3, 3 }, { 4, 2 }, { 7, 2 }, { -1, 0 } }) {
            Settings s;
            s.ImageResCode = read;
            EXPECT_EQ(within_ranges(s).ImageResCode, used) << read;
        }
        EXPECT_EQ(viewing_size(3, 0, -5).width, 1); // a window not laid out yet
        EXPECT_EQ(viewing_size(2, 1920, 1080).width, 800);

        // A settings file saying 3 reads and is used as 3.
        const std::string file = (std::filesystem::temp_directory_path()
            / ("fit_" + std::to_string(::getpid()) + ".INI"))
                                     .string();
        std::ofstream(file) << "[Setup]\nImageResCode=3\n";
        read_settings(file);
        std::filesystem::remove(file);
        EXPECT_EQ(within_ranges(settings()).ImageResCode, 3);
    }

} // namespace
} // namespace velmora
