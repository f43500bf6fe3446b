// The saver end to end: the real program on a private X server, its screen
// read back pixel by pixel and compared with the scene the core computes.

#include "display_x11/support.h"
#include "picture/qt/platform_codecs.h"
#include "scene/scene.h"
#include "settings/settings.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using velmora::Bitmap;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extra_env)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced
            = std::any_of(extra_env.begin(), extra_env.end(), [&](const std::string& x) {
                  return entry.substr(0, x.find('=') + 1) == x.substr(0, x.find('=') + 1);
              });
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    return pid;
}

using velmora::test::crop;
using velmora::test::stop;
using velmora::test::wait_for_exit;

// A private X server on the first free display number.
class PrivateX {
public:
    PrivateX()
    {
        for (int n = 140; n < 200 && pid_ < 0; ++n) {
            if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock")
                || fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
                continue;
            display_ = ":" + std::to_string(n);
            pid_ = spawn(
                { "Xvfb", display_, "-screen", "0",
                    std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24",
                    "-nolisten", "tcp" },
                {});
            for (int i = 0; i < 250 && !connection_; ++i) {
                std::this_thread::sleep_for(20ms);
                xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
                if (xcb_connection_has_error(c) == 0)
                    connection_ = c;
                else
                    xcb_disconnect(c);
                if (wait_for_exit(pid_, 0ms)) {
                    // Lost the race for this number: whatever answered is
                    // another process's server.
                    if (connection_)
                        xcb_disconnect(connection_);
                    connection_ = nullptr;
                    pid_ = -1;
                    break;
                }
            }
        }
    }
    ~PrivateX()
    {
        if (connection_)
            xcb_disconnect(connection_);
        stop(pid_);
    }

    bool ok() const { return connection_ != nullptr; }
    const std::string& display() const { return display_; }
    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const
    {
        return xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }

    // The screen's pixels in the rectangle, as a 24-bit bitmap.
    Bitmap grab(int x, int y, int w, int h) const
    {
        Bitmap out(w, h);
        xcb_get_image_reply_t* reply = xcb_get_image_reply(connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), static_cast<int16_t>(x),
                static_cast<int16_t>(y), static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u),
            nullptr);
        if (!reply)
            return {};
        const uint8_t* data = xcb_get_image_data(reply);
        const int length = xcb_get_image_data_length(reply);
        const int stride = length / h; // 32 bits per pixel at depth 24
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col) {
                const uint8_t* p = data + row * stride + col * 4;
                out.set_pixel(col, row, velmora::make_color(p[2], p[1], p[0]));
            }
        free(reply);
        return out;
    }

    void press_key(uint8_t keycode) const
    {
        xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, root(), 0, 0, 0);
        xcb_test_fake_input(
            connection_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, root(), 0, 0, 0);
        xcb_flush(connection_);
    }

    // Moves the pointer to (x, y) of the screen, as a user's mouse would.
    void move_pointer(int x, int y) const
    {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root(),
            static_cast<int16_t>(x), static_cast<int16_t>(y), 0);
        xcb_flush(connection_);
    }

private:
    std::string display_;
    pid_t pid_ = -1;
    xcb_connection_t* connection_ = nullptr;
};

class SaverX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("velmora-x11-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        fs::create_directories(dir_ / "run");
        fs::permissions(dir_ / "run", fs::perms::owner_all);
        const fs::path build = VELMORA_BINARY_DIR;
        for (const char* file : { "velmora", "demo_lake.bmp", "demo_boat.bmp" })
            fs::copy_file(build / file, dir_ / file);
    }
    void TearDown() override
    {
        stop(saver_);
        fs::remove_all(dir_);
    }

    void write_settings(const std::string& text)
    {
        std::ofstream(dir_ / "velmora.INI") << "[Setup]\n" << text;
    }

    void start_saver(const PrivateX& x)
    {
        saver_ = spawn({ (dir_ / "velmora").string(), "/s" },
            { "DISPLAY=" + x.display(), "QT_QPA_PLATFORM=xcb",
                "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                "XDG_RUNTIME_DIR=" + (dir_ / "run").string() });
        ASSERT_GT(saver_, 0);
    }

    // Starts the saver on the demo lake and waits until its picture shows at
    // the place the core computes. Returns that scene.
    std::optional<velmora::BuiltScene> show_demo_scene(const PrivateX& x)
    {
        write_settings("ImageFileName=demo_lake.bmp\n"
                       "ShiftHorizon=True\nShiftPixels=180\n"
                       "ImageResCode=2\nReflectionHeightPercent=80\n"
                       "DelayTimeMS=50\nNumberOfReflectedImages=6\n"
                       "WaveFactor1=17\nWaveFactor2=30\nBrightnessLevel=-20\n"
                       "Overlay=False\nMultipleMode=False\n");
        velmora::register_platform_codecs();
        velmora::Settings s;
        s.ShiftHorizon = true;
        s.ImageResCode = 2;
        s.ReflectionHeightPercent = 80;
        s.NumberOfReflectedImages = 6;
        s.WaveFactor1 = 17;
        s.WaveFactor2 = 30;
        s.BrightnessLevel = -20;
        std::optional<velmora::BuiltScene> expected = velmora::build_scene(
            (dir_ / "demo_lake.bmp").string(), 180, s, kScreenWidth, kScreenHeight, {});
        if (!expected)
            return std::nullopt;
        start_saver(x);
        if (saver_ <= 0)
            return std::nullopt;
        const velmora::PanelRect panel = expected->scene.panel;
        for (int i = 0; i < 300; ++i) {
            if (wait_for_exit(saver_, 0ms)) {
                saver_ = -1;
                return std::nullopt; // the saver ended on its own
            }
            if (x.grab(panel.left, panel.top, panel.width, expected->scene.picture.height())
                == expected->scene.picture)
                return expected;
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

    fs::path dir_;
    pid_t saver_ = -1;
};

TEST_F(SaverX11Test, ShowsTheSceneAnimatesItAndEndsOnAKey)
{
    PrivateX x;
    ASSERT_TRUE(x.ok()) << "no X server";
    const std::optional<velmora::BuiltScene> expected = show_demo_scene(x);
    ASSERT_TRUE(expected) << "the picture did not appear where it belongs";
    const velmora::PanelRect panel = expected->scene.panel;
    const int h1 = expected->scene.picture.height();
    const int w2 = expected->scene.area.width();
    const int h2 = expected->scene.area.height();
    ASSERT_EQ(expected->frames.built, 6);

    // Around the panel the screen is black.
    const Bitmap screen = x.grab(0, 0, kScreenWidth, kScreenHeight);
    EXPECT_EQ(screen.pixel(panel.left - 1, panel.top), 0);
    EXPECT_EQ(screen.pixel(panel.left + panel.width, panel.top + panel.height - 1), 0);
    EXPECT_EQ(screen.pixel(kScreenWidth - 1, 0), 0);

    // Every look at the reflection area finds one of the built frames, and
    // the frames change.
    std::set<int> seen;
    for (int i = 0; i < 60; ++i) {
        const Bitmap area = x.grab(panel.left, panel.top + h1, w2, h2);
        int match = 0;
        for (int k = 1; k <= 6 && !match; ++k)
            if (area == crop(expected->frames.strip, (k - 1) * w2, 0, w2, h2))
                match = k;
        EXPECT_NE(match, 0) << "look " << i;
        seen.insert(match);
        std::this_thread::sleep_for(23ms);
    }
    EXPECT_GE(seen.size(), 3u);

    // No password is set: a key ends the saver.
    x.press_key(38); // "a" on the server's default keymap
    const std::optional<int> status = wait_for_exit(saver_, 5s);
    ASSERT_TRUE(status) << "the saver did not end";
    EXPECT_EQ(*status, 0);
    saver_ = -1;
}

TEST_F(SaverX11Test, OnlyAMouseMoveOnBothAxesEndsTheSaver)
{
    PrivateX x;
    ASSERT_TRUE(x.ok()) << "no X server";
    ASSERT_TRUE(show_demo_scene(x)) << "the picture did not appear where it belongs";
    // Each step is measured against the first point the saver records: far
    // along one axis only, then 2 pixels on both, never end it.
    for (const auto& [px, py] :
        { std::pair { 700, 500 }, { 900, 500 }, { 700, 300 }, { 702, 502 } }) {
        x.move_pointer(px, py);
        std::this_thread::sleep_for(150ms);
        ASSERT_FALSE(wait_for_exit(saver_, 0ms)) << "ended by the move to " << px << "," << py;
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_FALSE(wait_for_exit(saver_, 0ms));
    // 3 pixels on both axes do.
    x.move_pointer(703, 503);
    const std::optional<int> status = wait_for_exit(saver_, 5s);
    ASSERT_TRUE(status) << "the saver did not end";
    EXPECT_EQ(*status, 0);
    saver_ = -1;
}

} // namespace
