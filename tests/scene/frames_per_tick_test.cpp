#include "imaging/frame_builder.h"
#include "scene/scene.h"
#include "test_pictures.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace velmora {
namespace {

    using test::coordinate_picture;
    using test::register_test_picture;

    Bitmap boat(int width, int height)
    {
        Bitmap b(width, height);
        b.fill(make_color(0, 128, 255));
        b.fill_rect(width / 4, height / 2, width * 3 / 4, height - 1, make_color(200, 30, 30));
        return b;
    }

    bool rows_are(const std::vector<const std::uint8_t*>& rows, const Bitmap& frame)
    {
        if (rows.size() != static_cast<std::size_t>(frame.height()))
            return false;
        for (int y = 0; y < frame.height(); ++y)
            if (std::memcmp(rows[static_cast<std::size_t>(y)], frame.row(y),
                    static_cast<std::size_t>(frame.width()) * 3)
                != 0)
                return false;
        return true;
    }

    // Frames made one per tick are the strip's frames, byte for byte, with
    // and without an overlay (crossing the water edge with its own rippling
    // reflection, or wholly above it), with brightness and a bottom strip.
    TEST(FramesPerTick, EveryFrameEqualsTheStripsFrame)
    {
        const std::string boat_file = register_test_picture("tick_boat.vtest", boat(40, 20));
        struct Case {
            const char* what;
            bool overlay;
            int y_offset, edge, brightness;
            bool use_bottom;
        };
        const Case cases[] = {
            { "overlay crossing the edge", true, 230, 0, 0, false },
            { "overlay above the edge", true, 150, 0, -30, false },
            { "overlay over a bottom strip", true, 100, 60, 20, true },
            { "plain mirror", false, 0, 0, 40, false },
        };
        for (const Case& c : cases) {
            Settings s;
            s.Overlay = c.overlay;
            s.OverlayFileName = boat_file;
            s.OverlayZoomFactor = 100;
            s.OverlayReflection = true;
            s.XOffSet = 100;
            s.YOffSet = c.y_offset;
            s.OverlayXparentColor = make_color(0, 128, 255);
            s.Overlay24BitXparentColor = make_color(0, 128, 255);
            s.NumberOfReflectedImages = 7;
            s.ReflectionHeightPercent = 80;
            s.WaveFactor1 = 17;
            s.WaveFactor2 = 30;
            s.BrightnessLevel = c.brightness;
            s.ShiftHorizon = c.edge > 0;
            s.UseImageBottom = c.use_bottom;
            s.ImageResCode = 1;
            std::optional<Scene> scene
                = assemble_scene(coordinate_picture(320, 240), c.edge, s, 1280, 1024, {});
            ASSERT_TRUE(scene) << c.what;
            const OverlayState overlay = prepare_scene_overlay(s, *scene, {}, {});
            ASSERT_EQ(static_cast<bool>(overlay.bitmap), c.overlay) << c.what;

            Scene held = *scene;
            FrameStrip strip;
            ASSERT_TRUE(build_reflection_frames(frame_build_input(held, overlay, s, {}), strip));
            Scene ticking = *scene;
            FrameSequence sequence;
            ASSERT_TRUE(sequence.prepare(frame_build_input(ticking, overlay, s, {})));
            ASSERT_EQ(sequence.count(), 7) << c.what;
            EXPECT_EQ(ticking.picture, held.picture) << c.what << ": the overlay stands on both";
            // Shown in the display's order, wrapping round, twice.
            for (int tick = 0; tick < 14; ++tick) {
                const int k = tick % 7 + 1;
                Bitmap from_strip(held.area.width(), held.area.height());
                ASSERT_TRUE(copy_frame(strip, k, from_strip));
                Bitmap made;
                ASSERT_TRUE(sequence.frame(k, made));
                ASSERT_EQ(made, from_strip) << c.what << ", frame " << k;
                // Where the display reads the same frame without making it:
                // in the strip, and for a frame of nothing but source rows
                // in the source.
                std::vector<const std::uint8_t*> rows;
                ASSERT_TRUE(frame_rows(strip, k, held.area, rows));
                EXPECT_TRUE(rows_are(rows, from_strip)) << c.what << ", frame " << k;
                ASSERT_EQ(sequence.rows(k, rows), !c.overlay) << c.what;
                EXPECT_TRUE(c.overlay || rows_are(rows, from_strip)) << c.what << ", frame " << k;
            }
            Bitmap untouched(1, 1);
            EXPECT_FALSE(sequence.frame(8, untouched));
            EXPECT_EQ(untouched.width(), 1);
        }
    }

    TEST(FramesPerTick, OnlyAreasBeyondTheBoundAreMadePerTick)
    {
        EXPECT_FALSE(frames_per_tick(800, 481, 15)); // Fit Screen at 1920 x 1080: 17 MB
        EXPECT_TRUE(frames_per_tick(1600, 961, 15)); // at 3840 x 2160: 69 MB
        EXPECT_FALSE(frames_per_tick(1024, 1024, 21)); // 3 x 1024 x 1024 x 21 = 63 MiB
        EXPECT_TRUE(frames_per_tick(1024, 1024, 22));
        EXPECT_FALSE(frames_per_tick(-5, 100, 15));
        EXPECT_EQ(FrameSequence().count(), 0);
    }

} // namespace
} // namespace velmora
