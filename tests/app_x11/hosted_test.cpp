// A hosted run end to end: the saver started by a screen-saver host draws
// its scene inside the host's window, laid out for that window's size, and
// ends cleanly when the host asks.

#include "picture/qt/platform_codecs.h"
#include "scene/scene.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"
#include "x11_session.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

using namespace std::chrono_literals;
using velmora::Bitmap;

namespace {

namespace fs = std::filesystem;

constexpr int kHostWidth = 640;
constexpr int kHostHeight = 400;

Bitmap crop(const Bitmap& b, int x, int y, int w, int h)
{
    Bitmap out(w, h);
    velmora::draw_rect(out, 0, 0, b, x, y, w, h);
    return out;
}

std::string hex(std::uint32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", id);
    return text;
}

// A copy of the program's folder with the demo lake as the only picture, so
// the settings beside the program are the test's own.
class HostedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("velmora-hosted-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        const fs::path build = VELMORA_BINARY_DIR;
        for (const char* file : { "velmora", "demo_lake.bmp" })
            fs::copy_file(build / file, folder_ / file);
        write_settings(50);
    }
    void write_settings(int delay_ms) const
    {
        std::ofstream(folder_ / "velmora.INI")
            << "[Setup]\nImageFileName=demo_lake.bmp\nShiftHorizon=True\nShiftPixels=180\n"
               "ImageResCode=0\nReflectionHeightPercent=80\nDelayTimeMS="
            << delay_ms << "\nNumberOfReflectedImages=6\nOverlay=False\nMultipleMode=False\n";
    }
    void TearDown() override
    {
        unsetenv("XSCREENSAVER_WINDOW");
        fs::remove_all(folder_);
    }

    // The scene the saver builds for a screen of the host's size.
    std::optional<velmora::BuiltScene> expected_scene(
        int width = kHostWidth, int height = kHostHeight, int height_percent = 80) const
    {
        velmora::register_platform_codecs();
        velmora::Settings s = velmora::default_settings();
        s.Overlay = false;
        s.MultipleMode = false;
        s.ShiftHorizon = true;
        s.ImageResCode = 0;
        s.ReflectionHeightPercent = height_percent;
        s.NumberOfReflectedImages = 6;
        return velmora::build_scene(
            (folder_ / "demo_lake.bmp").string(), 180, s, width, height, {});
    }

    std::vector<std::string> command(const std::vector<std::string>& parameters) const
    {
        std::vector<std::string> line { (folder_ / "velmora").string() };
        line.insert(line.end(), parameters.begin(), parameters.end());
        return line;
    }

    // Waits for the picture in its place inside the host, then watches the
    // reflection area change through the built frames.
    static void expect_animated_scene(X11Session& x, xcb_window_t host,
        const velmora::BuiltScene& expected, Child& saver, int host_width = kHostWidth,
        int host_height = kHostHeight)
    {
        const velmora::PanelRect panel = expected.scene.panel;
        const int h1 = expected.scene.picture.height();
        const int w2 = expected.scene.area.width();
        const int h2 = expected.scene.area.height();
        ASSERT_LE(panel.left + panel.width, host_width);
        ASSERT_LE(panel.top + panel.height, host_height);
        ASSERT_TRUE(wait_until(15s, [&] {
            return !saver.running()
                || x.read_pixels(host, panel.left, panel.top, panel.width, h1)
                == expected.scene.picture;
        }));
        ASSERT_TRUE(saver.running()) << saver.error_output();
        ASSERT_EQ(
            x.read_pixels(host, panel.left, panel.top, panel.width, h1), expected.scene.picture)
            << "the picture did not appear where it belongs in the host";

        std::set<int> seen;
        wait_until(5s, [&] {
            const Bitmap area = x.read_pixels(host, panel.left, panel.top + h1, w2, h2);
            for (int k = 1; k <= expected.frames.built; ++k) {
                if (area == crop(expected.frames.strip, (k - 1) * w2, 0, w2, h2))
                    seen.insert(k);
            }
            return seen.size() >= 3;
        });
        EXPECT_GE(seen.size(), 3u) << "the reflection did not animate";

        // Around the panel the host stays black.
        const Bitmap whole = x.read_pixels(host, 0, 0, host_width, host_height);
        EXPECT_EQ(whole.pixel(panel.left - 1, panel.top), 0u);
        EXPECT_EQ(whole.pixel(panel.left + panel.width, panel.top + panel.height - 1), 0u);
    }

    fs::path folder_;
};

TEST_F(HostedTest, DrawsInsideTheHostWindowAndEndsOnSigterm)
{
    X11Session x;
    const std::optional<velmora::BuiltScene> expected = expected_scene();
    ASSERT_TRUE(expected);
    ASSERT_GE(expected->frames.built, 3);
    // Not at the screen's corner: the scene must follow the host, not the
    // screen.
    const xcb_window_t host = x.create_window(100, 80, kHostWidth, kHostHeight);
    // A screen locker listens on the root for what is asked of window
    // managers; a hosted run asks nothing of them.
    const std::uint32_t listen = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.connection(), x.root(), XCB_CW_EVENT_MASK, &listen);
    xcb_intern_atom_reply_t* state = xcb_intern_atom_reply(
        x.connection(), xcb_intern_atom(x.connection(), 0, 13, "_NET_WM_STATE"), nullptr);
    ASSERT_TRUE(state);
    const xcb_atom_t state_atom = state->atom;
    std::free(state);
    Child saver(command({ "--window-id", std::to_string(host) }));
    expect_animated_scene(x, host, *expected, saver);
    int state_requests = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x.connection())) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE
            && reinterpret_cast<xcb_client_message_event_t*>(event)->type == state_atom)
            ++state_requests;
        std::free(event);
    }
    EXPECT_EQ(state_requests, 0) << "the hosted run asked a window manager for window states";

    ::kill(saver.pid(), SIGTERM);
    EXPECT_EQ(saver.wait_for_exit(5s), 0);
    EXPECT_EQ(saver.error_output(), "");
}

TEST_F(HostedTest, Sigusr1StartsTheAnimationAgainAndDoesNotEndTheRun)
{
    // Slow frames, so that the first one can be told from a later one.
    write_settings(700);
    X11Session x;
    const std::optional<velmora::BuiltScene> expected = expected_scene();
    ASSERT_TRUE(expected);
    const xcb_window_t host = x.create_window(0, 0, kHostWidth, kHostHeight);
    Child saver(command({ "--window-id", hex(host) }));
    const velmora::PanelRect panel = expected->scene.panel;
    const int top = panel.top + expected->scene.picture.height();
    const int w2 = expected->scene.area.width();
    const int h2 = expected->scene.area.height();
    const auto shows = [&](int k) {
        return x.read_pixels(host, panel.left, top, w2, h2)
            == crop(expected->frames.strip, (k - 1) * w2, 0, w2, h2);
    };
    ASSERT_TRUE(wait_until(20s, [&] { return !saver.running() || shows(3); }));
    ASSERT_TRUE(saver.running()) << saver.error_output();

    ::kill(saver.pid(), SIGUSR1);
    EXPECT_TRUE(wait_until(500ms, [&] { return !saver.running() || shows(1); }))
        << "the reflection did not start again at its first frame";
    EXPECT_TRUE(wait_until(3s, [&] { return !saver.running() || shows(2); }));
    ASSERT_TRUE(saver.running()) << "SIGUSR1 ended the run";

    ::kill(saver.pid(), SIGTERM);
    EXPECT_EQ(saver.wait_for_exit(5s), 0);
    EXPECT_EQ(saver.error_output(), "");
}

TEST_F(HostedTest, FollowsTheHostWindowsSizeAndTakesTheHostsOptions)
{
    X11Session x;
    // The options of a host's settings tool come before the window switch,
    // with a switch the saver does not know among them.
    const xcb_window_t host = x.create_window(0, 0, kHostWidth, kHostHeight);
    Child saver(command({ "--height-percent", "50", "--fps", "--window-id", hex(host) }));
    const std::optional<velmora::BuiltScene> first = expected_scene(kHostWidth, kHostHeight, 50);
    ASSERT_TRUE(first);
    expect_animated_scene(x, host, *first, saver);

    // The scene is laid out again for the new size.
    const std::uint32_t size[] = { 400, 300 };
    xcb_configure_window(
        x.connection(), host, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    x.clear(host);
    const std::optional<velmora::BuiltScene> second = expected_scene(400, 300, 50);
    ASSERT_TRUE(second);
    ASSERT_NE(second->scene.panel.left, first->scene.panel.left);
    expect_animated_scene(x, host, *second, saver, 400, 300);

    ::kill(saver.pid(), SIGTERM);
    EXPECT_EQ(saver.wait_for_exit(5s), 0);
    EXPECT_EQ(saver.error_output(), "");
}

TEST_F(HostedTest, TheHostVariableNamesTheWindowInHexadecimal)
{
    X11Session x;
    const std::optional<velmora::BuiltScene> expected = expected_scene();
    ASSERT_TRUE(expected);
    const xcb_window_t host = x.create_window(0, 0, kHostWidth, kHostHeight);
    setenv("XSCREENSAVER_WINDOW", hex(host).c_str(), 1);
    Child saver(command({}));
    expect_animated_scene(x, host, *expected, saver);
    ::kill(saver.pid(), SIGINT);
    EXPECT_EQ(saver.wait_for_exit(5s), 0);
}

TEST_F(HostedTest, DestroyingTheHostWindowEndsTheRun)
{
    X11Session x;
    const std::optional<velmora::BuiltScene> expected = expected_scene();
    ASSERT_TRUE(expected);
    const xcb_window_t host = x.create_window(0, 0, kHostWidth, kHostHeight);
    Child saver(command({ "--window-id", hex(host) }));
    expect_animated_scene(x, host, *expected, saver);
    x.destroy(host);
    EXPECT_EQ(saver.wait_for_exit(5s), 0);
    EXPECT_EQ(saver.error_output(), "");
}

TEST_F(HostedTest, CopiesRunSideBySideAndABadWindowEndsAtOnce)
{
    X11Session x;
    const std::optional<velmora::BuiltScene> expected = expected_scene();
    ASSERT_TRUE(expected);
    // One copy per monitor: no instance guard between hosted copies. The
    // second host covers the first, so only its pixels can be read back.
    const xcb_window_t first_host = x.create_window(0, 0, kHostWidth, kHostHeight);
    Child first(command({ "--window-id", std::to_string(first_host) }));
    const xcb_window_t second_host = x.create_window(0, 0, kHostWidth, kHostHeight);
    Child second(command({ "-window-id", hex(second_host) }));
    expect_animated_scene(x, second_host, *expected, second);
    EXPECT_TRUE(first.running());

    const xcb_window_t gone = x.create_window(0, 0, 10, 10);
    x.destroy(gone);
    for (const std::string& id : { std::to_string(gone), std::string("0x"), std::string() }) {
        Child bad(command(id.empty() ? std::vector<std::string> { "--window-id" }
                                     : std::vector<std::string> { "--window-id", id }));
        EXPECT_EQ(bad.wait_for_exit(5s), 1) << "window '" << id << "'";
    }
    ::kill(first.pid(), SIGTERM);
    ::kill(second.pid(), SIGTERM);
    EXPECT_EQ(first.wait_for_exit(5s), 0);
    EXPECT_EQ(second.wait_for_exit(5s), 0);
}

} // namespace
