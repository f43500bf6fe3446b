#include "base/error.h"
#include "scene/scene.h"
#include "scene/setting_ranges.h"
#include "settings/read_write_ini.h"
#include "test_pictures.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

namespace velmora {
namespace {

    using test::coordinate_picture;
    using test::register_test_picture;

    TEST(SettingRanges, OnlyValuesThatWouldFaultAreChanged)
    {
        // Hand-edited values the display can use as they are stay as the
        // file says them.
        Settings s = default_settings();
        s.DelayTimeMS = 20;
        s.MultDelayTime = 600;
        s.ReflectionHeightPercent = 150;
        s.WaveFactor1 = -500;
        s.WaveFactor2 = 900;
        s.NumberOfReflectedImages = 2;
        s.OverlayZoomFactor = 900;
        s.BrightnessLevel = 300;
        s.OverlayWaveAdjustment = 40;
        EXPECT_EQ(within_ranges(s), s);

        // Values that would fault are moved to the nearest harmless one: a
        // timer interval of no time, seconds whose milliseconds overflow,
        // more frames than the display keeps, a level whose sum overflows.
        Settings bad = default_settings();
        bad.DelayTimeMS = 0;
        bad.MultDelayTime = INT_MAX;
        bad.NumberOfReflectedImages = 0;
        bad.BrightnessLevel = INT_MAX;
        bad.OverlayBrightnessLevel = INT_MAX;
        bad.ImageResCode = 4; // 3 is "Fit Screen"
        const Settings used = within_ranges(bad);
        EXPECT_GE(used.DelayTimeMS, 1);
        EXPECT_LE(static_cast<long long>(used.MultDelayTime) * 1000, INT_MAX);
        EXPECT_EQ(used.NumberOfReflectedImages, 1);
        EXPECT_GT(used.BrightnessLevel, 255) << "still brighter than any channel";
        EXPECT_EQ(used.ImageResCode, 2);
        bad.NumberOfReflectedImages = 16;
        EXPECT_EQ(within_ranges(bad).NumberOfReflectedImages, 15);
    }

    // Every integer setting at the edges of what a file can hold, used to
    // build a whole scene with an overlay and a water edge: nothing may
    // fault (the sanitizer build checks every step), and the display either
    // builds the scene or reports the user's message.
    TEST(SettingRanges, ExtremeValuesFromAFileBuildOrReportNeverFault)
    {
        const std::string picture
            = register_test_picture("extreme.vtest", coordinate_picture(90, 60));
        const std::string boat
            = register_test_picture("extreme_boat.vtest", coordinate_picture(9, 6));
        const struct {
            const char* key;
            std::int32_t Settings::*field;
        } keys[] = {
            { "ReflectionHeightPercent", &Settings::ReflectionHeightPercent },
            { "DelayTimeMS", &Settings::DelayTimeMS },
            { "WaveFactor1", &Settings::WaveFactor1 },
            { "WaveFactor2", &Settings::WaveFactor2 },
            { "XOffSet", &Settings::XOffSet },
            { "YOffSet", &Settings::YOffSet },
            { "ShiftPixels", &Settings::ShiftPixels },
            { "MultDelayTime", &Settings::MultDelayTime },
            { "NumberOfReflectedImages", &Settings::NumberOfReflectedImages },
            { "OverlayZoomFactor", &Settings::OverlayZoomFactor },
            { "BrightnessLevel", &Settings::BrightnessLevel },
            { "ImageResCode", &Settings::ImageResCode },
            { "OverlayBrightnessLevel", &Settings::OverlayBrightnessLevel },
            { "OverlayShiftPixels", &Settings::OverlayShiftPixels },
            { "OverlayWaveAdjustment", &Settings::OverlayWaveAdjustment },
        };
        for (const auto& key : keys) {
            for (const std::int32_t value :
                { INT_MIN, -1000000, -101, -17, -1, 0, 1, 59, 1000, 1000000, INT_MAX }) {
                for (const bool bottom : { false, true }) {
                    Settings s = default_settings();
                    s.ImageFileName = picture;
                    s.Overlay = true;
                    s.OverlayFileName = boat;
                    s.ShiftHorizon = true;
                    s.UseImageBottom = bottom;
                    s.ShiftPixels = 20;
                    s.OverlayWaveAdjustment = -17; // with WaveFactor1 -> a shape of 0
                    s.*key.field = value;
                    const Settings used = within_ranges(s);
                    EXPECT_GT(used.DelayTimeMS, 0);
                    try {
                        const auto built = build_scene(picture, s.ShiftPixels, s, 1280, 1024, {});
                        ASSERT_TRUE(built) << key.key << "=" << value;
                        EXPECT_LE(built->frames.built, 15);
                        EXPECT_FALSE(built->scene.picture.empty());
                    } catch (const Error& e) {
                        EXPECT_STREQ(e.what(), "Water Edge defined too high! No image generated.")
                            << key.key << "=" << value;
                    }
                }
            }
        }
    }

} // namespace
} // namespace velmora
