// The saver on two monitors of one desktop, as a real X server with RandR
// reports them: each shows the scene laid out for its own size, both
// animate, and a key ends the whole saver. Xvfb keeps one RandR monitor
// whatever xrandr --setmonitor asks, so the server is Xorg on its dummy
// driver: one 2304 x 800 screen split into a 1280 x 800 monitor and a
// 1024 x 768 one beside it. Xorg needs root here; as another user the test
// is skipped. (The offscreen tests in tests/monitors cover more layouts.)

#include "display_x11/support.h"
#include "picture/qt/platform_codecs.h"
#include "scene/scene.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using velmora::Bitmap;

struct Monitor {
    int left;
    int width;
    int height;
};
constexpr Monitor kMonitors[] = { { 0, 1280, 800 }, { 1280, 1024, 768 } };

// One screen as wide as both monitors, with no input devices of its own
// (keys come through the X test extension).
constexpr const char* kServerConfig = R"(Section "Device"
    Identifier "card"
    Driver "dummy"
    VideoRam 16384
EndSection
Section "Monitor"
    Identifier "screen"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "2304x800" 150.0 2304 2400 2600 2800 800 810 815 830
EndSection
Section "Screen"
    Identifier "desktop"
    Device "card"
    Monitor "screen"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 2304 800
        Modes "2304x800"
    EndSubSection
EndSection
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
)";

// Starts a program with its output thrown away; the descriptors it
// inherits stay open (Xvfb writes its display number to one of them).
pid_t spawn(const std::vector<std::string>& args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

using velmora::test::crop;
using velmora::test::stop;
using velmora::test::wait_for_exit;

class MonitorsX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "Xorg on the dummy driver needs root";
        dir_ = fs::temp_directory_path() / ("velmora-monitors-x11-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        fs::create_directories(dir_ / "run");
        fs::permissions(dir_ / "run", fs::perms::owner_all);
        for (const char* file : { "velmora", "demo_lake.bmp" })
            fs::copy_file(fs::path(VELMORA_BINARY_DIR) / file, dir_ / file);
        std::ofstream(dir_ / "velmora.INI")
            << "[Setup]\nImageFileName=demo_lake.bmp\nShiftHorizon=True\nShiftPixels=180\n"
               "ImageResCode=1\nReflectionHeightPercent=80\nDelayTimeMS=50\n"
               "NumberOfReflectedImages=6\nOverlay=False\nMultipleMode=False\n";

        std::ofstream(dir_ / "xorg.conf") << kServerConfig;

        // The server picks a free display and names it.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        server_ = spawn({ "Xorg", "-config", (dir_ / "xorg.conf").string(), "-logfile",
            (dir_ / "xorg.log").string(), "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
            "-noreset" });
        close(fds[1]);
        std::string number;
        pollfd ready { fds[0], POLLIN, 0 };
        while (number.find('\n') == std::string::npos && poll(&ready, 1, 20000) > 0) {
            char buffer[16];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            number.append(buffer, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        ASSERT_NE(number.find('\n'), std::string::npos) << "Xorg did not start";
        number.pop_back();
        display_ = ":" + number;
        setenv("DISPLAY", display_.c_str(), 1);
        for (const std::vector<std::string>& monitor :
            { std::vector<std::string> { "L", "1280/338x800/211+0+0", "DUMMY0" },
                std::vector<std::string> { "R", "1024/270x768/203+1280+0", "none" } }) {
            const pid_t xrandr
                = spawn({ "xrandr", "--setmonitor", monitor[0], monitor[1], monitor[2] });
            ASSERT_EQ(wait_for_exit(xrandr, 10s), 0) << "xrandr --setmonitor " << monitor[0];
        }
        connection_ = xcb_connect(display_.c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(connection_), 0);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }

    void TearDown() override
    {
        stop(saver_);
        if (connection_)
            xcb_disconnect(connection_);
        stop(server_);
        fs::remove_all(dir_);
    }

    Bitmap grab(int x, int y, int w, int h) const
    {
        Bitmap out(w, h);
        xcb_get_image_reply_t* reply = xcb_get_image_reply(connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(x),
                static_cast<int16_t>(y), static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u),
            nullptr);
        if (!reply)
            return {};
        const uint8_t* data = xcb_get_image_data(reply);
        const int stride = xcb_get_image_data_length(reply) / h;
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col) {
                const uint8_t* p = data + row * stride + col * 4;
                out.set_pixel(col, row, velmora::make_color(p[2], p[1], p[0]));
            }
        free(reply);
        return out;
    }

    fs::path dir_;
    std::string display_;
    pid_t server_ = -1;
    pid_t saver_ = -1;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

TEST_F(MonitorsX11Test, EachMonitorShowsItsSceneAndAKeyEndsTheSaver)
{
    velmora::register_platform_codecs();
    std::vector<velmora::BuiltScene> expected;
    for (const Monitor& m : kMonitors) {
        velmora::Settings s = velmora::default_settings();
        s.ShiftHorizon = true;
        s.ImageResCode = 1;
        s.ReflectionHeightPercent = 80;
        s.NumberOfReflectedImages = 6;
        s.Overlay = false;
        std::optional<velmora::BuiltScene> scene = velmora::build_scene(
            (dir_ / "demo_lake.bmp").string(), 180, s, m.width, m.height, {});
        ASSERT_TRUE(scene);
        expected.push_back(std::move(*scene));
    }
    ASSERT_NE(expected[0].scene.panel.left, expected[1].scene.panel.left);

    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    saver_ = spawn({ (dir_ / "velmora").string(), "/s" });
    ASSERT_GT(saver_, 0);

    for (std::size_t i = 0; i < expected.size(); ++i) {
        const velmora::Scene& scene = expected[i].scene;
        const Monitor m = kMonitors[i];
        const velmora::PanelRect p = scene.panel;
        bool shown = false;
        for (int tries = 0; tries < 300 && !shown; ++tries) {
            ASSERT_FALSE(wait_for_exit(saver_, 0ms)) << "the saver ended on its own";
            shown = grab(m.left + p.left, p.top, p.width, scene.picture.height()) == scene.picture;
            if (!shown)
                std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(shown) << "monitor " << i << " does not show the picture in its place";
        const Bitmap whole = grab(m.left, 0, m.width, m.height);
        EXPECT_EQ(whole.pixel(p.left - 1, p.top), 0u) << "monitor " << i;
        EXPECT_EQ(whole.pixel(p.left + p.width, p.top + p.height - 1), 0u) << "monitor " << i;

        // Its reflection moves through the frames built for its size.
        const int w2 = scene.area.width();
        const int h2 = scene.area.height();
        std::set<int> seen;
        for (int tries = 0; tries < 80 && seen.size() < 3; ++tries) {
            const Bitmap area = grab(m.left + p.left, p.top + scene.picture.height(), w2, h2);
            for (int k = 1; k <= expected[i].frames.built; ++k)
                if (area == crop(expected[i].frames.strip, (k - 1) * w2, 0, w2, h2))
                    seen.insert(k);
            std::this_thread::sleep_for(23ms);
        }
        EXPECT_GE(seen.size(), 3u) << "monitor " << i << ": the reflection did not animate";
    }

    // No password is set: a key ends the saver on both monitors.
    constexpr std::uint8_t kSpace = 65;
    for (const std::uint8_t type : { XCB_KEY_PRESS, XCB_KEY_RELEASE })
        xcb_test_fake_input(connection_, type, kSpace, XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_flush(connection_);
    const std::optional<int> status = wait_for_exit(saver_, 5s);
    ASSERT_TRUE(status) << "the saver did not end";
    EXPECT_EQ(*status, 0);
    saver_ = -1;
}

} // namespace
