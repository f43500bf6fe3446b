#include "base/error.h"
#include "gif/frame_export.h"
#include "picture/qt/platform_codecs.h"
#include "picture/qt/qimage_view.h"
#include "scene/scene.h"
#include "scene/setting_ranges.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"
#include "tools/render/render_options.h"
#include "tools/render/render_output.h"

#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs velmora-render with no X display, as on a headless machine;
// `environment` holds further NAME=value words.
ToolRun render(const std::vector<std::string>& args, const fs::path& folder,
    const std::string& environment = "")
{
    std::string command = "env -u DISPLAY -u QT_QPA_PLATFORM " + environment
        + " " VELMORA_BINARY_DIR "/velmora-render";
    for (const std::string& a : args)
        command += " '" + a + "'";
    const fs::path out = folder / "stdout.txt";
    const fs::path err = folder / "stderr.txt";
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    auto slurp = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

std::vector<std::uint8_t> file_bytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        register_platform_codecs();
        // The tool's own folder decides InstallDir and the default folders.
        override_program_file_name(VELMORA_BINARY_DIR "/velmora-render");
        dir_ = fs::path(::testing::TempDir())
            / ("velmora-render-" + std::to_string(::getpid()) + "-"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // A landscape-like test picture with something different in every
        // row, so a wrong row shows.
        QImage image(160, 120, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 13) % 256, (x * y) % 256));
        picture_ = (dir_ / "lake.bmp").string();
        ASSERT_TRUE(image.save(QString::fromStdString(picture_), "BMP"));
        config_ = (dir_ / "saver.INI").string();
        std::ofstream(config_) << "[Setup]\nImageFileName=" << picture_
                               << "\nShiftHorizon=True\nShiftPixels=30\nImageResCode=0\n"
                                  "ReflectionHeightPercent=60\nNumberOfReflectedImages=6\n";
    }
    void TearDown() override
    {
        override_program_file_name("");
        fs::remove_all(dir_);
    }

    // The scene as the core builds it for the same settings.
    BuiltScene core_scene(const std::vector<std::string>& args)
    {
        read_settings(config_);
        apply_render_overrides(parse_render_options(args), settings());
        const FirstPicture first = first_picture(settings());
        auto built = build_scene(first.file_name, first.water_edge, settings(), 1920, 1080, {});
        EXPECT_TRUE(built);
        return std::move(*built);
    }

    fs::path dir_;
    std::string picture_;
    std::string config_;
};

} // namespace

TEST(RenderOptions, UsageErrorsAreExplained)
{
    for (const std::vector<std::string>& bad :
        std::vector<std::vector<std::string>> { { "--frames" }, { "--frames", "many" },
            { "--size", "huge" }, { "--bogus" }, { "--screen", "100" }, { "--edge", "-1" } })
        EXPECT_THROW(parse_render_options(bad), Error) << bad[0];
    const RenderOptions o = parse_render_options(
        { "--size", "large", "--screen", "800x600", "--any-size", "--gif", "x.gif" });
    EXPECT_EQ(o.overrides.size, 2);
    EXPECT_EQ(o.screen_width, 800);
    EXPECT_EQ(o.screen_height, 600);
    EXPECT_TRUE(o.any_size);
    EXPECT_EQ(o.gif, "x.gif");
}

TEST(RenderOptions, OverridesChangeOnlyTheRecordInMemory)
{
    Settings s;
    s.MultipleMode = true;
    s.NumMultipleImages = 2;
    apply_render_overrides(parse_render_options({ "--edge", "12", "--use-bottom" }), s);
    // In the slide show the water edge belongs to the first entry.
    EXPECT_EQ(s.image_entry(1).ImageShiftNumber, 12);
    EXPECT_TRUE(s.image_entry(1).UseImageBottom);
    EXPECT_FALSE(s.ShiftHorizon);

    apply_render_overrides(
        parse_render_options({ "--picture", "p.jpg", "--edge", "7", "--frames", "5", "--brightness",
            "-30", "--wave-shape", "9", "--wind-speed", "-4", "--height-percent", "50" }),
        s);
    EXPECT_FALSE(s.MultipleMode);
    EXPECT_EQ(s.ImageFileName, "p.jpg");
    EXPECT_TRUE(s.ShiftHorizon);
    EXPECT_EQ(s.ShiftPixels, 7);
    EXPECT_EQ(s.NumberOfReflectedImages, 5);
    EXPECT_EQ(s.BrightnessLevel, -30);
    EXPECT_EQ(s.WaveFactor1, 9);
    EXPECT_EQ(s.WaveFactor2, -4);
    EXPECT_EQ(s.ReflectionHeightPercent, 50);
    apply_render_overrides(parse_render_options({ "--edge", "0" }), s);
    EXPECT_FALSE(s.ShiftHorizon);
}

TEST(RenderOptions, SettingsAreListedInTableOrderWithTheImageList)
{
    Settings s;
    s.NumMultipleImages = 2;
    s.Images = { { "a.jpg", 3, true }, { "b.jpg", 0, false } };
    const std::string text = format_settings(s);
    const std::array<const char*, 8> order { "InstallDir=", "DelayTimeMS=", "NumMultipleImages=2",
        "ImageNumber_01=a.jpg", "ImageNumber_02=b.jpg", "ImageShiftNumber_01=3",
        "UseImageBottom_02=False", "OverlayWaveAdjustment=" };
    std::size_t at = 0;
    for (const char* key : order) {
        const std::size_t found = text.find(key, at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
    std::size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(lines, 30u + 6u);
}

TEST_F(RenderTool, GifIsTheSaversExportByteForByte)
{
    const fs::path out = dir_ / "out.gif";
    const ToolRun run = render({ "--config", config_, "--gif", out.string() }, dir_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const BuiltScene built = core_scene({});
    ReflectionScene scene;
    scene.picture = &built.scene.picture;
    scene.frame_strip = &built.frames.strip;
    scene.frames_built = built.frames.built;
    scene.area_width = built.scene.area.width();
    scene.area_height = built.scene.area.height();
    scene.delay_ms = within_ranges(settings()).DelayTimeMS;
    EXPECT_EQ(file_bytes(out), build_reflection_gif(scene)->SaveToMemory());
}

TEST_F(RenderTool, LZWSwitchAndSettingWriteTheLZWExportOtherValuesTheRunLengthOne)
{
    const BuiltScene built = core_scene({});
    ReflectionScene scene = export_source(built.scene, built.frames, settings());
    const auto run_length = build_reflection_gif(scene)->SaveToMemory();
    scene.lzw = true;
    const auto lzw = build_reflection_gif(scene)->SaveToMemory();
    ASSERT_NE(lzw, run_length);

    const auto saved = file_bytes(config_);
    const std::string base(saved.begin(), saved.end());
    for (const auto& [setting, args, expected] : {
             std::tuple { "", std::vector<std::string> { "--lzw" }, &lzw },
             { "GIFCompression=lzw\n", std::vector<std::string> {}, &lzw },
             { "GIFCompression=RLE\n", std::vector<std::string> {}, &run_length },
             { "GIFCompression=\n", std::vector<std::string> {}, &run_length },
         }) {
        std::ofstream(config_) << base << setting;
        std::vector<std::string> call { "--config", config_, "--gif", (dir_ / "out.gif").string() };
        call.insert(call.end(), args.begin(), args.end());
        const ToolRun run = render(call, dir_);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(file_bytes(dir_ / "out.gif") == *expected) << setting << call.back();
    }
}

TEST_F(RenderTool, FramesAreThePictureOverEachBuiltFrame)
{
    const fs::path frames = dir_ / "frames";
    const ToolRun run
        = render({ "--config", config_, "--frames-dir", frames.string(), "--frames", "4" }, dir_);
    ASSERT_EQ(run.status, 0) << run.err;
    const BuiltScene built = core_scene({ "--frames", "4" });
    ASSERT_EQ(built.frames.built, 4);
    EXPECT_TRUE(fs::exists(frames / "picture.png"));
    EXPECT_FALSE(fs::exists(frames / "frame_05.png"));
    const int h1 = built.scene.picture.height();
    for (int k = 1; k <= 4; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%.2d.png", k);
        const Bitmap shown
            = bitmap_from_qimage(QImage(QString::fromStdString((frames / name).string())));
        ASSERT_EQ(shown.width(), built.scene.picture.width()) << name;
        ASSERT_EQ(shown.height(), h1 + built.scene.area.height()) << name;
        Bitmap area = built.scene.area;
        ASSERT_TRUE(copy_frame(built.frames, k, area));
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const Color expected
                    = y < h1 ? built.scene.picture.pixel(x, y) : area.pixel(x, y - h1);
                ASSERT_EQ(shown.pixel(x, y), expected) << name << " at " << x << "," << y;
            }
    }
}

TEST_F(RenderTool, SceneAndSettingsListingsMatchTheCore)
{
    const ToolRun run = render(
        { "--config", config_, "--print-settings", "--print-scene", "--screen", "1280x1024" },
        dir_);
    ASSERT_EQ(run.status, 0) << run.err;
    read_settings(config_);
    const std::string listed = format_settings(settings());
    EXPECT_EQ(run.out.substr(0, listed.size()), listed);

    auto built = build_scene(picture_, 30, settings(), 1280, 1024, {});
    ASSERT_TRUE(built);
    EXPECT_EQ(run.out.substr(listed.size()), format_scene(*built, 1280, 1024));
    // 160 x 120 cut at 30 rows leaves 160 x 90; with a 60 % reflection it
    // fits 320 x 200 as 222 x 125 over 76 rows of water.
    EXPECT_NE(run.out.find("ScaleFactor=1.387"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("PictureWidth=222\nPictureHeight=125\n"), std::string::npos);
    EXPECT_NE(run.out.find("ReflectionHeight=76\n"), std::string::npos);
    EXPECT_NE(run.out.find("FramesBuilt=6\n"), std::string::npos);
}

TEST_F(RenderTool, EveryMessageIsALineOnStandardErrorWithAFailureStatus)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string missing = (dir_ / "nowhere.jpg").string();
    const std::vector<Case> cases {
        { { "--picture", " ", "--print-scene" },
            "No Image selected. Please use \"Configure\" to enter image name.\n" },
        { { "--picture", missing, "--print-scene" }, "Error loading image \"" + missing + "\"!\n" },
        { { "--edge", "120", "--print-scene" },
            "Water Edge defined too high! No image generated.\n" },
        { { "--size", "medium", "--gif", (dir_ / "big.gif").string() },
            "Image too large (533X481) for saving to animate GIF!\n" },
    };
    for (const Case& c : cases) {
        std::vector<std::string> args { "--config", config_ };
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = render(args, dir_);
        EXPECT_NE(run.status, 0) << c.message;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir_ / "big.gif"));

    const ToolRun lifted = render({ "--config", config_, "--size", "medium", "--any-size", "--gif",
                                      (dir_ / "big.gif").string() },
        dir_);
    EXPECT_EQ(lifted.status, 0) << lifted.err;
    EXPECT_TRUE(fs::exists(dir_ / "big.gif"));

    const ToolRun bad_option = render({ "--frames", "lots" }, dir_);
    EXPECT_EQ(bad_option.status, 2);
    EXPECT_NE(bad_option.err.find("--frames"), std::string::npos);
}

TEST_F(RenderTool, HelpDocumentsEveryOption)
{
    const ToolRun run = render({ "--help" }, dir_);
    ASSERT_EQ(run.status, 0);
    for (const char* option :
        { "--config", "--picture", "--edge", "--size", "--frames ", "--brightness", "--wave-shape",
            "--wind-speed", "--height-percent", "--use-bottom", "--gif", "--any-size",
            "--frames-dir", "--print-settings", "--print-scene", "--screen", "Example" })
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
}

TEST_F(RenderTool, OnlyAMetafileLoadsTheGraphicsSvgAndFontLibraries)
{
    const std::string pictures = std::string(VELMORA_TEST_DATA) + "/pictures/";
    const std::vector<std::string> heavy = { "libQt6Core", "libQt6Gui", "libQt6Svg", "librsvg",
        "libcairo", "libwmf", "libemf2svg", "libfontconfig", "libfreetype", "libharfbuzz" };
    struct Case {
        std::vector<std::string> args;
        bool metafile;
    };
    const std::vector<Case> cases
        = { { { "--help" }, false }, { { "--picture", picture_, "--print-scene" }, false },
              { { "--picture", pictures + "f.jpg", "--print-scene" }, false },
              { { "--picture", std::string(VELMORA_TEST_DATA) + "/gif/peer/giflib_delay.gif",
                    "--print-scene" },
                  false },
              { { "--picture", pictures + "f.wmf", "--print-scene" }, true },
              { { "--picture", pictures + "clip.emf", "--print-scene" }, true } };
    for (const Case& c : cases) {
        std::vector<std::string> args = { "--config", config_, "--edge", "5" };
        args.insert(args.end(), c.args.begin(), c.args.end());
        // The dynamic loader names every library it maps.
        const ToolRun run = render(args, dir_, "LD_DEBUG=files");
        ASSERT_EQ(run.status, 0) << c.args.back() << run.err;
        if (c.metafile) {
            EXPECT_NE(run.out.find("PictureWidth="), std::string::npos) << c.args.back();
        }
        for (const std::string& library : heavy) {
            const bool mapped = run.err.find("file=" + library) != std::string::npos;
            // A metafile brings its converters; nothing else brings any.
            if (c.metafile && (library == "libwmf" || library == "libemf2svg")) {
                EXPECT_TRUE(mapped) << c.args.back() << " " << library;
            } else if (!c.metafile) {
                EXPECT_FALSE(mapped) << c.args.back() << " " << library;
            }
        }
    }
}

TEST_F(RenderTool, AMissingConfigurationMeansAllDefaults)
{
    const ToolRun run
        = render({ "--config", (dir_ / "absent.INI").string(), "--print-settings" }, dir_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("DelayTimeMS=70\n"), std::string::npos);
    EXPECT_NE(run.out.find("NumberOfReflectedImages=12\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "absent.INI"));
}

// The listings agree with what the core gives the saver for a set of
// settings files: single pictures with and without a water edge, the bottom
// strip, an overlay, the slide show, and values no dialog would write.
TEST_F(RenderTool, ListingsMatchTheCoreForEverySettingsFileOfTheSet)
{
    QImage boat(40, 24, QImage::Format_RGB888);
    boat.fill(qRgb(0, 200, 0));
    for (int y = 4; y < 20; ++y)
        for (int x = 6 + y / 3; x < 34 - y / 3; ++x)
            boat.setPixel(x, y, qRgb(150, 60, 20));
    const std::string overlay = (dir_ / "boat.bmp").string();
    ASSERT_TRUE(boat.save(QString::fromStdString(overlay), "BMP"));

    const std::string head = "[Setup]\nImageFileName=" + picture_ + "\n";
    const std::vector<std::string> files {
        head,
        head + "ShiftHorizon=True\nShiftPixels=40\nUseImageBottom=True\nImageResCode=2\n",
        head + "ShiftHorizon=True\nShiftPixels=30\nOverlay=True\nOverlayFileName=" + overlay
            + "\nXOffSet=50\nYOffSet=70\nOverlayZoomFactor=150\nFlipOverlay=True\n"
              "OverlayShiftPixels=4\nBrightnessLevel=-30\n",
        head
            + "ImageResCode=7\nReflectionHeightPercent=-5\nNumberOfReflectedImages=1000\n"
              "DelayTimeMS=0\nWaveFactor1=0\nMultDelayTime=0\n",
        "[Setup]\nMultipleMode=True\nNumMultipleImages=3\nImageNumber_01=" + picture_
            + "\nImageNumber_02=" + overlay + "\nImageShiftNumber_01=20\nUseImageBottom_01=True\n",
        "[Setup]\nMultipleMode=True\nDisableReflection=True\nNumMultipleImages=1\n"
        "ImageNumber_01="
            + picture_ + "\n",
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::ofstream(config_, std::ios::trunc) << files[i];
        const ToolRun run = render(
            { "--config", config_, "--print-settings", "--print-scene", "--screen", "1024x768" },
            dir_);
        ASSERT_EQ(run.status, 0) << "file " << i << ": " << run.err;

        read_settings(config_);
        std::string expected = format_settings(settings());
        const FirstPicture first = first_picture(settings());
        auto built = build_scene(first.file_name, first.water_edge, settings(), 1024, 768, {});
        ASSERT_TRUE(built) << "file " << i;
        expected += format_scene(*built, 1024, 768);
        EXPECT_EQ(run.out, expected) << "file " << i;
    }
}
