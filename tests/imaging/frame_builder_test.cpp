#include "imaging/frame_builder.h"
#include "imaging/make_wave.h"
#include "imaging/rescaler.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora;

namespace {

// Every pixel of the test pictures differs, so any misplaced pixel shows.
Bitmap picture(int width, int height)
{
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.set_pixel(x, y, make_color(y % 256, x % 256, (3 * x + 7 * y) % 256));
    return b;
}

// The wave rule written out once more, independently of the engine.
int expected_offset(int h, int i, long double shape, long double speed, int s, int n)
{
    const long double phase = s * 6.283185307179586477L / n;
    const long double hs = h / shape;
    const long double t = hs * (h - i) / (i + 1) + phase;
    return static_cast<int>(std::trunc(std::sin(t) * (hs * (i + speed)) / h));
}

// Frame s of n over `source` (the reflection source, already upside down):
// row i copies source row i + v when that row exists, else row i; rows below
// the source repeat its last row.
Bitmap expected_frame(
    const Bitmap& source, int width, int height, long double shape, long double speed, int s, int n)
{
    Bitmap frame(width, height);
    const int h = source.height();
    for (int i = 0; i < height; ++i) {
        const int shifted = i + expected_offset(h, i, shape, speed, s, n);
        int from = (shifted >= 0 && shifted <= h - 1) ? shifted : i;
        if (from > h - 1)
            from = h - 1;
        for (int x = 0; x < width; ++x)
            frame.set_pixel(x, i, source.pixel(x, from));
    }
    return frame;
}

Bitmap upside_down(const Bitmap& b)
{
    Bitmap r(b.width(), b.height());
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            r.set_pixel(x, y, b.pixel(x, b.height() - 1 - y));
    return r;
}

Bitmap frame_of(const FrameStrip& out, int s, int width, int height)
{
    Bitmap f(width, height);
    draw_rect(f, 0, 0, out.strip, s * width, 0, width, height);
    return f;
}

FrameBuildInput input_for(Bitmap& pic, int area_height, int n)
{
    FrameBuildInput in;
    in.picture = &pic;
    in.area_width = pic.width();
    in.area_height = area_height;
    in.frame_count = n;
    in.wave_shape = 17;
    in.wave_speed = 30;
    return in;
}

} // namespace

TEST(FrameBuilder, EveryFrameIsTheRowsTheWaveSelects)
{
    struct Wave {
        long double shape, speed;
    } waves[] = { { 17, 30 }, { -8, 12 }, { 0.1L, 100 }, { 45, -60 } };
    for (const Wave& wave : waves) {
        Bitmap pic = picture(7, 40);
        const Bitmap mirror = upside_down(pic);
        // One row taller than the picture, as under a full-height reflection.
        FrameBuildInput in = input_for(pic, 41, 6);
        in.wave_shape = wave.shape;
        in.wave_speed = wave.speed;
        FrameStrip out;
        ASSERT_TRUE(build_reflection_frames(in, out));
        ASSERT_EQ(out.built, 6);
        ASSERT_EQ(out.strip.width(), 42);
        ASSERT_EQ(out.strip.height(), 41);
        for (int s = 0; s < 6; ++s)
            EXPECT_EQ(frame_of(out, s, 7, 41),
                expected_frame(mirror, 7, 41, wave.shape, wave.speed, s, 6))
                << "shape " << static_cast<double>(wave.shape) << " frame " << s;
    }
}

TEST(FrameBuilder, StripGeometryAndProgressLines)
{
    Bitmap pic = picture(640, 200);
    FrameBuildInput in = input_for(pic, 200, 12);
    std::vector<std::string> lines;
    in.status = [&](const std::string& line) { lines.push_back(line); };
    FrameStrip out;
    ASSERT_TRUE(build_reflection_frames(in, out));
    EXPECT_EQ(out.strip.width(), 7680);
    EXPECT_EQ(out.strip.height(), 200);
    EXPECT_EQ(out.built, 12);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines.front(), "Building reflection image 1 of 12...");
    EXPECT_EQ(lines.back(), "Building reflection image 12 of 12...");
    // Frame 5 (1-based) lies at x = 2560..3199.
    const Bitmap frame5 = expected_frame(upside_down(pic), 640, 200, 17, 30, 4, 12);
    Bitmap at(640, 200);
    draw_rect(at, 0, 0, out.strip, 2560, 0, 640, 200);
    EXPECT_EQ(at, frame5);
    EXPECT_NE(out.strip.pixel(2559, 100), frame5.pixel(639, 100));
}

TEST(FrameBuilder, NoFramesForZeroOrNegativeCounts)
{
    for (int n : { 0, -3 }) {
        Bitmap pic = picture(5, 5);
        FrameBuildInput in = input_for(pic, 5, n);
        FrameStrip out;
        out.built = 7;
        out.strip = Bitmap(3, 3);
        EXPECT_TRUE(build_reflection_frames(in, out));
        EXPECT_EQ(out.built, 0);
        EXPECT_TRUE(out.strip.empty());
    }
}

TEST(FrameBuilder, BrightnessChangesTheSourceOnlyWhenNotZero)
{
    Bitmap pic = picture(6, 30);
    const Bitmap original = pic;
    FrameBuildInput in = input_for(pic, 30, 3);
    FrameStrip plain;
    ASSERT_TRUE(build_reflection_frames(in, plain));
    EXPECT_EQ(
        frame_of(plain, 1, 6, 30), expected_frame(upside_down(original), 6, 30, 17, 30, 1, 3));

    in.brightness = -50;
    FrameStrip darker;
    ASSERT_TRUE(build_reflection_frames(in, darker));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 6; ++x) {
            const Color was = plain.strip.pixel(6 + x, y);
            const Color now = darker.strip.pixel(6 + x, y);
            EXPECT_EQ(color_red(now), std::max(color_red(was) - 50, 0));
            EXPECT_EQ(color_blue(now), std::max(color_blue(was) - 50, 0));
        }
    EXPECT_EQ(pic, original); // the picture itself is never darkened
}

TEST(FrameBuilder, ClosingStopsWithinOneRowAndKeepsFinishedFrames)
{
    Bitmap pic = picture(4, 10);
    FrameBuildInput in = input_for(pic, 10, 5);
    // Checks: 1 at the start, then per frame 1 + one per row (11). Call 18
    // falls on a row of the second frame.
    int calls = 0;
    in.closing = [&] { return ++calls >= 18; };
    FrameStrip out;
    EXPECT_FALSE(build_reflection_frames(in, out));
    EXPECT_EQ(calls, 18);
    EXPECT_EQ(out.built, 1);
    EXPECT_EQ(
        frame_of(out, 0, 4, 10), expected_frame(upside_down(picture(4, 10)), 4, 10, 17, 30, 0, 5));

    // Closing set while the progress line is shown stops before the first row.
    calls = 0;
    bool closing = false;
    in.closing = [&] {
        ++calls;
        return closing;
    };
    in.status = [&](const std::string&) { closing = true; };
    EXPECT_FALSE(build_reflection_frames(in, out));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(out.built, 0);

    // Closing before the start touches nothing.
    FrameStrip kept;
    kept.strip = Bitmap(2, 2);
    kept.built = 1;
    in.closing = [] { return true; };
    EXPECT_FALSE(build_reflection_frames(in, kept));
    EXPECT_EQ(kept.built, 1);
    EXPECT_EQ(kept.strip.width(), 2);
}

TEST(FrameBuilder, AStripTooWideStopsWithoutFrames)
{
    Bitmap pic = picture(2, 2);
    FrameBuildInput in = input_for(pic, 2, 15);
    in.area_width = 200'000'000; // 15 frames would pass the largest width
    FrameStrip out;
    EXPECT_FALSE(build_reflection_frames(in, out));
    EXPECT_EQ(out.built, 0);
}

TEST(FrameBuilder, BottomStripIsReflectedAsItIs)
{
    Bitmap pic = picture(6, 20);
    const Bitmap bottom = upside_down(picture(6, 12)); // any distinct content
    FrameBuildInput in = input_for(pic, 12, 4);
    in.use_image_bottom = true;
    in.bottom = &bottom;
    FrameStrip out;
    ASSERT_TRUE(build_reflection_frames(in, out));
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(frame_of(out, s, 6, 12), expected_frame(bottom, 6, 12, 17, 30, s, 4)) << s;
}

namespace {

const Color kKey = make_color(0, 255, 0);
const Color kBoat = make_color(200, 10, 10);

// A 4 x 6 overlay: a boat on a transparent background, with a key pixel in
// its middle that must never be drawn.
Bitmap boat()
{
    Bitmap b(4, 6);
    b.fill(kBoat);
    b.set_pixel(1, 2, kKey);
    b.set_transparent(true);
    b.set_transparent_color(kKey);
    return b;
}

FrameOverlay overlay_at(const Bitmap& b, int x, int y)
{
    FrameOverlay o;
    o.active = true;
    o.bitmap = &b;
    o.x = x;
    o.y = y;
    o.xparent_color = kKey;
    o.xparent_color_24 = kKey;
    return o;
}

Bitmap with_overlay(Bitmap pic, const Bitmap& ov, int x, int y)
{
    draw(pic, x, y, ov);
    return pic;
}

} // namespace

TEST(FrameBuilderOverlay, WhollyAboveTheEdgeIsMirroredOnlyWhenItsReflectionIsOn)
{
    const Bitmap ov = boat();
    for (bool reflection_on : { true, false }) {
        Bitmap pic = picture(12, 30);
        const Bitmap composed = with_overlay(pic, ov, 3, 10);
        FrameBuildInput in = input_for(pic, 30, 4);
        in.overlay = overlay_at(ov, 3, 10);
        in.overlay.reflection_on = reflection_on;
        FrameStrip out;
        ASSERT_TRUE(build_reflection_frames(in, out));
        EXPECT_EQ(pic, composed); // drawn onto the picture either way
        const Bitmap source = upside_down(reflection_on ? composed : picture(12, 30));
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(frame_of(out, s, 12, 30), expected_frame(source, 12, 30, 17, 30, s, 4))
                << reflection_on << " frame " << s;
    }
}

TEST(FrameBuilderOverlay, WhollyAboveWithBottomStripGetsThePreparedReflection)
{
    const Bitmap ov = boat();
    Bitmap reflection = upside_down(ov);
    reflection.set_pixel(2, 0, make_color(1, 2, 3));
    Bitmap pic = picture(12, 30);
    const Bitmap bottom = picture(12, 20);
    FrameBuildInput in = input_for(pic, 20, 3);
    in.use_image_bottom = true;
    in.bottom = &bottom;
    in.overlay = overlay_at(ov, 5, 14); // bottom edge 10 rows above the water
    in.overlay.reflection_on = true;
    in.overlay.reflection = &reflection;
    FrameStrip out;
    ASSERT_TRUE(build_reflection_frames(in, out));
    // The reflection goes into the strip at the mirrored distance, keyed.
    Bitmap source = bottom;
    Bitmap keyed = reflection;
    keyed.set_transparent(true);
    keyed.set_transparent_color(kKey);
    draw(source, 5, 30 - (6 + 14), keyed);
    EXPECT_EQ(source.pixel(7, 10), make_color(1, 2, 3));
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(frame_of(out, s, 12, 20), expected_frame(source, 12, 20, 17, 30, s, 3)) << s;
    EXPECT_EQ(pic, with_overlay(picture(12, 30), ov, 5, 14));

    // The brightness step comes after, so it changes the pasted reflection too.
    pic = picture(12, 30);
    in.brightness = -30;
    ASSERT_TRUE(build_reflection_frames(in, out));
    adjust_brightness(source, -30);
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(frame_of(out, s, 12, 20), expected_frame(source, 12, 20, 17, 30, s, 3)) << s;
}

TEST(FrameBuilderOverlay, ReachingTheEdgeStandsInFrontWithItsOwnWaveBelow)
{
    const Bitmap ov = boat();
    // The reflection: a distinct colour per row plus a key pixel.
    Bitmap reflection(4, 20);
    for (int y = 0; y < 20; ++y)
        reflection.fill_rect(0, y, 4, y + 1, make_color(50 + y, 60, 70));
    reflection.set_pixel(0, 0, kKey);
    Bitmap pic = picture(12, 30);
    FrameBuildInput in = input_for(pic, 30, 5);
    in.overlay = overlay_at(ov, 6, 28); // 2 rows above the edge, 4 below
    in.overlay.reflection_on = true;
    in.overlay.reflection_fits = true;
    in.overlay.reflection = &reflection;
    in.overlay.wave_adjustment = 3;
    FrameStrip out;
    ASSERT_TRUE(build_reflection_frames(in, out));
    const Bitmap mirror = upside_down(picture(12, 30));
    for (int s = 0; s < 5; ++s) {
        const Bitmap frame = frame_of(out, s, 12, 30);
        const Bitmap water = expected_frame(mirror, 12, 30, 17, 30, s, 5);
        // The boat's lower 4 rows at the frame's top, same place every frame.
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const Color want = ov.pixel(x, y + 2) == kKey ? water.pixel(6 + x, y) : kBoat;
                EXPECT_EQ(frame.pixel(6 + x, y), want) << s << ":" << x << "," << y;
            }
        // Below it: a wave frame of the reflection, 0.95 of its height (19
        // rows), drawn with its key transparent; row selection as for make_wave.
        for (int y = 0; y < 19; ++y) {
            const int v = static_cast<int>(
                std::trunc(std::sin(20 / 20.0L * (20 - y) / (y + 1) + s * 6.283185307179586477L / 4)
                    * (20 / 20.0L * (y + 35)) / 20 * 0.625L));
            int from = y + v < 0 ? y : y + v;
            for (int x = 0; x < 4; ++x) {
                Color want = water.pixel(6 + x, 4 + y);
                if (from <= 19 && reflection.pixel(x, from) != kKey)
                    want = reflection.pixel(x, from);
                EXPECT_EQ(frame.pixel(6 + x, 4 + y), want) << s << ":" << x << "," << y;
            }
        }
        EXPECT_EQ(frame.pixel(6, 23), water.pixel(6, 23)); // nothing beyond 19 rows
    }
}

TEST(FrameBuilderOverlay, ASingleFrameCycleStillBuildsTheOverlayWave)
{
    const Bitmap ov = boat();
    Bitmap reflection = upside_down(ov);
    Bitmap pic = picture(10, 20);
    FrameBuildInput in = input_for(pic, 20, 1);
    in.overlay = overlay_at(ov, 2, 16);
    in.overlay.reflection_on = true;
    in.overlay.reflection_fits = true;
    in.overlay.reflection = &reflection;
    FrameStrip out;
    ASSERT_TRUE(build_reflection_frames(in, out));
    EXPECT_EQ(out.built, 1);
    EXPECT_EQ(out.strip.pixel(3, 2), kBoat); // the reflection just below the boat
}

TEST(FrameBuilderOverlay, NoReflectionWhenItDoesNotFitOrIsOff)
{
    const Bitmap ov = boat();
    Bitmap reflection(4, 6);
    reflection.fill(make_color(1, 1, 1));
    for (int variant = 0; variant < 2; ++variant) {
        Bitmap pic = picture(10, 20);
        FrameBuildInput in = input_for(pic, 20, 2);
        in.overlay = overlay_at(ov, 2, 16);
        in.overlay.reflection = &reflection;
        in.overlay.reflection_on = variant == 0;
        in.overlay.reflection_fits = variant == 1;
        FrameStrip out;
        ASSERT_TRUE(build_reflection_frames(in, out));
        for (int s = 0; s < 2; ++s)
            for (int y = 2; y < 20; ++y)
                EXPECT_NE(out.strip.pixel(s * 10 + 3, y), make_color(1, 1, 1)) << variant;
    }
}

TEST(FrameBuilderOverlay, WaveIsFilledWithTheExactColourAndKeyedWithTheShownOne)
{
    // On a display that shows colours other than the bitmap holds, the two
    // transparent colours differ: the wave frame is filled with the exact
    // 24-bit one and drawn keyed with the shown one. Reaching the edge, the
    // overlay's prepared reflection never goes into the picture's own strip.
    const Color kShown = make_color(0, 252, 0);
    const Color kExact = make_color(0, 255, 0);
    const Bitmap ov = boat();
    Bitmap reflection(4, 20);
    reflection.fill(kExact);
    for (int y = 0; y < 20; y += 3)
        reflection.fill_rect(1, y, 3, y + 1, make_color(90, 40 + y, 20));
    reflection.set_pixel(0, 5, kShown);
    Bitmap pic = picture(12, 30);
    const Bitmap bottom = picture(12, 30);
    FrameBuildInput in = input_for(pic, 30, 5);
    in.use_image_bottom = true;
    in.bottom = &bottom;
    in.overlay = overlay_at(ov, 6, 28);
    in.overlay.reflection_on = true;
    in.overlay.reflection_fits = true;
    in.overlay.reflection = &reflection;
    in.overlay.xparent_color = kShown;
    in.overlay.xparent_color_24 = kExact;
    in.overlay.wave_adjustment = -15; // shape 2: long swings, some rows fall off the bottom
    FrameStrip out;
    ASSERT_TRUE(build_reflection_frames(in, out));
    EXPECT_EQ(pic, with_overlay(picture(12, 30), ov, 6, 28));
    int filled_rows = 0;
    for (int s = 0; s < 5; ++s) {
        Bitmap want = expected_frame(bottom, 12, 30, 17, 30, s, 5);
        draw(want, 6, -2, ov);
        auto wave = make_wave(reflection, s, 4, 0.95L, kExact, 2, 35);
        ASSERT_TRUE(wave);
        for (int y = 0; y < wave->height(); ++y)
            filled_rows += y + wave_offset(20, y, 2, 35, wave_phase(s, 4), kMakeWaveAmplitude) > 19;
        wave->set_transparent(true);
        wave->set_transparent_color(kShown);
        draw(want, 6, 4, *wave);
        EXPECT_EQ(frame_of(out, s, 12, 30), want) << "frame " << s;
    }
    EXPECT_GT(filled_rows, 0); // the fill colour is really seen
}
