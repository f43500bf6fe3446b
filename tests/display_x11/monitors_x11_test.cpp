// The saver on two monitors of a real X server: each shows the scene laid
// out for its own size, both animate, and a mouse move on the second one
// ends the whole saver. The private server has two screens, 1280 x 800 and
// 1024 x 768, which Qt reports as two monitors. (Xvfb here keeps one RandR
// monitor whatever xrandr --setmonitor asks, so the two monitors are two X
// screens; the offscreen tests in tests/monitors cover monitors of one
// desktop.)

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
    int width;
    int height;
};
constexpr Monitor kMonitors[] = { { 1280, 800 }, { 1024, 768 } };

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

        // Two screens; the server picks a free display and names it.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const std::string number_fd = std::to_string(fds[1]);
        server_ = spawn({ "Xvfb", "-displayfd", number_fd, "-screen", "0", "1280x800x24", "-screen",
            "1", "1024x768x24", "-nolisten", "tcp" });
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
        ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb did not start";
        number.pop_back();
        display_ = ":" + number;
        connection_ = xcb_connect(display_.c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(connection_), 0);
        for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_)); it.rem;
             xcb_screen_next(&it))
            roots_.push_back(it.data->root);
        ASSERT_EQ(roots_.size(), 2u);
    }

    void TearDown() override
    {
        stop(saver_);
        if (connection_)
            xcb_disconnect(connection_);
        stop(server_);
        fs::remove_all(dir_);
    }

    Bitmap grab(int screen, int x, int y, int w, int h) const
    {
        Bitmap out(w, h);
        xcb_get_image_reply_t* reply = xcb_get_image_reply(connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP,
                roots_[static_cast<std::size_t>(screen)], static_cast<int16_t>(x),
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
    std::vector<xcb_window_t> roots_;
};

TEST_F(MonitorsX11Test, EachMonitorShowsItsSceneAndAMoveOnTheSecondEndsTheSaver)
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

    setenv("DISPLAY", display_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    saver_ = spawn({ (dir_ / "velmora").string(), "/s" });
    ASSERT_GT(saver_, 0);

    for (int screen = 0; screen < 2; ++screen) {
        const velmora::Scene& scene = expected[static_cast<std::size_t>(screen)].scene;
        const velmora::PanelRect p = scene.panel;
        bool shown = false;
        for (int i = 0; i < 300 && !shown; ++i) {
            ASSERT_FALSE(wait_for_exit(saver_, 0ms)) << "the saver ended on its own";
            shown = grab(screen, p.left, p.top, p.width, scene.picture.height()) == scene.picture;
            if (!shown)
                std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(shown) << "monitor " << screen << " does not show the picture in its place";
        const Monitor m = kMonitors[screen];
        const Bitmap whole = grab(screen, 0, 0, m.width, m.height);
        EXPECT_EQ(whole.pixel(p.left - 1, p.top), 0u) << "monitor " << screen;
        EXPECT_EQ(whole.pixel(p.left + p.width, p.top + p.height - 1), 0u) << "monitor " << screen;
    }

    // The second monitor's reflection moves through the frames built for it.
    const velmora::BuiltScene& right = expected[1];
    const int w2 = right.scene.area.width();
    const int h2 = right.scene.area.height();
    std::set<int> seen;
    for (int i = 0; i < 80 && seen.size() < 3; ++i) {
        const Bitmap area = grab(1, right.scene.panel.left,
            right.scene.panel.top + right.scene.picture.height(), w2, h2);
        for (int k = 1; k <= right.frames.built; ++k)
            if (area == crop(right.frames.strip, (k - 1) * w2, 0, w2, h2))
                seen.insert(k);
        std::this_thread::sleep_for(23ms);
    }
    EXPECT_GE(seen.size(), 3u) << "the second monitor's reflection did not animate";

    // No password is set: a mouse move on the second monitor ends the saver
    // on both monitors.
    for (const int at : { 500, 510 }) {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, roots_[1],
            static_cast<int16_t>(at), static_cast<int16_t>(at), 0);
        xcb_flush(connection_);
        std::this_thread::sleep_for(200ms);
    }
    const std::optional<int> status = wait_for_exit(saver_, 5s);
    ASSERT_TRUE(status) << "the saver did not end";
    EXPECT_EQ(*status, 0);
    saver_ = -1;
}

} // namespace
