#include "gif/frame_export.h"
#include "gif/gif_reader.h"
#include "picture/picture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

struct Scene {
    Bitmap picture;
    Bitmap strip;
    ReflectionScene view(int frames, int delay_ms = 50) const
    {
        ReflectionScene s;
        s.picture = &picture;
        s.frame_strip = &strip;
        s.frames_built = frames;
        s.area_width = picture.width();
        s.area_height = strip.height();
        s.delay_ms = delay_ms;
        return s;
    }
};

// A picture of horizontal colour bands and `frames` reflection frames whose
// content shifts by one column per frame.
Scene make_scene(int w, int h1, int h2, int frames)
{
    Scene s { Bitmap(w, h1), Bitmap(w * frames, h2) };
    for (int y = 0; y < h1; ++y)
        for (int x = 0; x < w; ++x)
            s.picture.set_pixel(x, y, make_color(40 + (y * 20) % 200, 100, 200 - (y * 10) % 150));
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < h2; ++y)
            for (int x = 0; x < w; ++x)
                s.strip.set_pixel(f * w + x, y, make_color(0, ((x + f) * 30) % 256, 180));
    return s;
}

struct TempDir {
    fs::path path;
    TempDir()
    {
        char tmpl[] = "/tmp/velmora-export-XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string error_text(const ReflectionScene& scene)
{
    try {
        build_reflection_gif(scene);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(FrameExport, SizeLimitIs323By203)
{
    const Scene fits = make_scene(323, 150, 53, 2);
    EXPECT_EQ(error_text(fits.view(2)), "");
    const Scene wide = make_scene(324, 10, 10, 1);
    EXPECT_EQ(error_text(wide.view(1)), "Image too large (324X20) for saving to animate GIF!");
    const Scene tall = make_scene(20, 150, 54, 1);
    EXPECT_EQ(error_text(tall.view(1)), "Image too large (20X204) for saving to animate GIF!");
    // Nothing built yet.
    const Scene none = make_scene(20, 10, 10, 1);
    EXPECT_EQ(error_text(none.view(0)), "No reflection images built yet. Nothing to save!");
    ReflectionScene no_strip = none.view(1);
    no_strip.frame_strip = nullptr;
    EXPECT_EQ(error_text(no_strip), "No reflection images built yet. Nothing to save!");
}

TEST(FrameExport, FramesLoopWithTheDelayAndLaterOnesAreTransparent)
{
    const Scene scene = make_scene(30, 12, 8, 4);
    std::vector<std::string> status;
    const auto gif = build_reflection_gif(
        scene.view(4, 75), [&](const std::string& s) { status.push_back(s); });
    EXPECT_EQ(status,
        (std::vector<std::string> { "Create Optimized Palette for 256 color GIF...",
            "Creating Animated GIF Frame 1 of 4", "Creating Animated Frame 2 of 4",
            "Creating Animated Frame 3 of 4", "Creating Animated Frame 4 of 4" }));
    ASSERT_EQ(gif->frame_count(), 4);
    EXPECT_EQ(gif->header().width, 30);
    EXPECT_EQ(gif->header().height, 20);
    // Loop extension first on frame 0, then its graphic control.
    const auto& first = gif->frame(0).extensions();
    ASSERT_EQ(first.size(), 2u);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(first[0].get());
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loop_count, 0);
    EXPECT_FALSE(gif->frame(0).transparent());
    const auto& global = gif->global_color_map();
    EXPECT_TRUE(global.sorted());
    for (int i = 0; i < 4; ++i) {
        const TGIFSubImage& frame = gif->frame(i);
        ASSERT_NE(frame.graphic_control(), nullptr);
        EXPECT_EQ(frame.graphic_control()->delay(), 7); // 75 ms div 10
        EXPECT_EQ(frame.color_map().count(), 0);
        if (i == 0)
            continue;
        // The picture area (but its last row) is transparent; the reflection
        // shows this frame's strip, mapped to the shared palette.
        EXPECT_TRUE(frame.transparent());
        const int t = frame.transparent_index();
        EXPECT_EQ(t, global.count() - 1);
        EXPECT_EQ(global[t], make_color(0, 0, 0));
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(frame.PixelAt(x, y), t) << i << " " << x << "," << y;
        for (int x = 0; x < 30; ++x) {
            ASSERT_NE(frame.PixelAt(x, 11), t);
            const Color c = global[frame.PixelAt(x, 12)];
            EXPECT_NEAR(color_green(c), ((x + i) * 30) % 256, 24) << i << " " << x;
        }
    }
    // The first frame's picture is taken to 5-6-5 colours first. Its rows
    // are few colours in 5-5-5 cells of their own, so each is a palette
    // entry that it maps to exactly, with no error to spread.
    const TGIFSubImage& f0 = gif->frame(0);
    Bitmap rgb565(1, 1, PixelFormat::pf16bit);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 30; ++x) {
            rgb565.set_pixel(0, 0, scene.picture.pixel(x, y));
            ASSERT_EQ(global[f0.PixelAt(x, y)], rgb565.pixel(0, 0)) << x << "," << y;
        }
}

TEST(FrameExport, OnlyTheFirstFrameIsDithered)
{
    // More colours than the palette holds: a flat band of the picture comes
    // out in several indices when dithered, and every column of the later
    // frames' reflection, flat from top to bottom, keeps one index.
    Scene scene { Bitmap(40, 20), Bitmap(40 * 3, 10) };
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            scene.picture.set_pixel(x, y,
                y < 10 ? make_color(x * 6, y * 25, (x * y * 7) % 256) : make_color(123, 77, 201));
    for (int f = 0; f < 3; ++f)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 40; ++x)
                scene.strip.set_pixel(f * 40 + x, y, make_color(200 - x * 5, (x + f) * 6, 50));
    const auto gif = build_reflection_gif(scene.view(3));
    std::set<int> band;
    for (int y = 10; y < 19; ++y)
        for (int x = 0; x < 40; ++x)
            band.insert(gif->frame(0).PixelAt(x, y));
    EXPECT_GT(band.size(), 1u);
    for (int i = 1; i < 3; ++i)
        for (int x = 0; x < 40; ++x)
            for (int y = 21; y < 30; ++y)
                ASSERT_EQ(gif->frame(i).PixelAt(x, y), gif->frame(i).PixelAt(x, 20))
                    << i << " " << x << "," << y;
}

TEST(FrameExport, FileNamesTakeTheFirstFreeNumber)
{
    TempDir dir;
    const Scene scene = make_scene(16, 6, 4, 2);
    std::ofstream(dir.path / "Reflection_00.GIF") << "x";
    std::ofstream(dir.path / "Reflection_01.GIF") << "x";
    std::vector<std::string> status;
    const std::string path = save_reflection_gif(
        scene.view(2), dir.path.string(), [&](const std::string& s) { status.push_back(s); });
    EXPECT_EQ(path, (dir.path / "Reflection_02.GIF").string());
    EXPECT_EQ(status.back(), "Writing GIF file " + path + ".  Please wait...");
    EXPECT_EQ(decode_gif_file(path).width(), 16);
    // Only the three GIFs: the temporary file is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 3);
    EXPECT_EQ(reflection_file_name("/x", 7), "/x/Reflection_07.GIF");
    EXPECT_EQ(reflection_file_name("/x", 100), "/x/Reflection_100.GIF");
}

TEST(FrameExport, AFileAppearingLateIsNotOverwritten)
{
    TempDir dir;
    const Scene scene = make_scene(16, 6, 4, 2);
    // Another program creates the chosen name while the export writes.
    const auto path
        = save_reflection_gif(scene.view(2), dir.path.string(), [&](const std::string& s) {
              if (s.rfind("Writing GIF file", 0) == 0)
                  std::ofstream(dir.path / "Reflection_00.GIF") << "theirs";
          });
    EXPECT_EQ(path, (dir.path / "Reflection_01.GIF").string());
    std::ifstream theirs(dir.path / "Reflection_00.GIF");
    std::string content;
    theirs >> content;
    EXPECT_EQ(content, "theirs");
}

TEST(FrameExport, AllNamesTakenReplacesNumber100AndFolderIsCreated)
{
    TempDir dir;
    const fs::path folder = dir.path / "Pictures";
    fs::create_directories(folder);
    for (int n = 0; n <= 100; ++n)
        std::ofstream(reflection_file_name(folder.string(), n)) << "old";
    const std::vector<std::uint8_t> bytes = { 'G', 'I', 'F' };
    EXPECT_EQ(
        store_reflection_gif(bytes, folder.string()), reflection_file_name(folder.string(), 100));
    EXPECT_EQ(fs::file_size(reflection_file_name(folder.string(), 100)), 3u);
    EXPECT_EQ(fs::file_size(reflection_file_name(folder.string(), 99)), 3u); // "old"

    const fs::path missing = dir.path / "new" / "folder";
    EXPECT_EQ(
        store_reflection_gif(bytes, missing.string()), reflection_file_name(missing.string(), 0));
}

TEST(FrameExport, AFailedWriteFailsWithTheNameAndLeavesNothingBehind)
{
    TempDir dir;
    std::ofstream(dir.path / "file") << "x";
    const std::string folder = (dir.path / "file" / "sub").string();
    try {
        store_reflection_gif({ 1, 2, 3 }, folder);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + reflection_file_name(folder, 0));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}
