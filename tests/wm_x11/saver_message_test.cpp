// The configuration dialogs and the saver's window on a private X server
// under a real window manager (openbox), driven by real keys: what a window
// manager does with stacking and the keyboard is what these tests are about.

#include "app_x11/x11_session.h"
#include "dialogs/setup_form.h"
#include "display/main_form.h"
#include "platform/info_box.h"
#include "platform/run_mode.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint8_t kReturnKey = 36; // on the server's default keymap
constexpr std::uint8_t kAKey = 38;

std::vector<xcb_window_t> window_list(xcb_connection_t* c, xcb_window_t root, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    if (!atom)
        return {};
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> list(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 4096), nullptr),
        &std::free);
    if (!list)
        return {};
    const auto* first = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    return { first, first + xcb_get_property_value_length(list.get()) / 4 };
}

void press(xcb_connection_t* c, xcb_window_t root, std::uint8_t key)
{
    xcb_test_fake_input(c, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, root, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, key, XCB_CURRENT_TIME, root, 0, 0, 0);
    xcb_flush(c);
}

xcb_window_t input_focus(xcb_connection_t* c)
{
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr), &std::free);
    return focus ? focus->focus : XCB_NONE;
}

TMainForm* saver_window()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TMainForm*>(w); form && form->isVisible())
            return form;
    return nullptr;
}

// A message of a Test run (a picture that cannot be loaded) appears above the
// full-screen window with the keyboard; Enter closes it, and the run goes on
// until a key ends it.
TEST(UnderAWindowManager, ATestRunsMessageShowsAboveTheSaverAndTheRunGoesOn)
{
    X11Session x;
    const fs::path folder = fs::temp_directory_path() / ("velmora-wm-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "bin");
    fs::create_directories(folder / "home");
    setenv("HOME", (folder / "home").c_str(), 1);
    Child wm({ "openbox", "--sm-disable" });
    ASSERT_TRUE(wait_until(10s, [&] {
        return !window_list(x.connection(), x.root(), "_NET_SUPPORTING_WM_CHECK").empty();
    })) << "openbox did not start";

    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int argc = 1;
    char name[] = "wm_x11_tests";
    char* argv[] = { name, nullptr };
    QApplication app(argc, argv);
    velmora::install_info_box();
    velmora::run_mode = velmora::kConfigure;
    velmora::override_program_file_name((folder / "bin/velmora").string());
    const std::string missing = (folder / "missing.jpg").string();
    std::ofstream(folder / "bin/velmora.INI") << "[Setup]\nImageFileName=" << missing << "\n";

    TSetupForm setup;
    setup.show();
    // The setup dialog is the active window when Test is pressed.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&setup));

    QString text;
    bool above = false;
    bool focused = false;
    int stage = 0;
    const auto started = std::chrono::steady_clock::now();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        TMainForm* saver = saver_window();
        if (std::chrono::steady_clock::now() - started > 20s) {
            // Hung: end it all, so the test reports instead of waiting.
            if (box)
                box->done(0);
            if (saver)
                saver->close();
            return;
        }
        if (stage == 0 && box && box->isVisible() && saver) {
            const auto stack = window_list(x.connection(), x.root(), "_NET_CLIENT_LIST_STACKING");
            const auto at = [&](QWidget* w) {
                return std::find(stack.begin(), stack.end(), static_cast<xcb_window_t>(w->winId()))
                    - stack.begin();
            };
            const bool listed = at(box) < static_cast<long>(stack.size());
            focused = input_focus(x.connection()) == box->winId();
            above = listed && at(box) > at(saver);
            // The window manager takes a moment to map and focus the box.
            if (!(above && focused) && std::chrono::steady_clock::now() - started < 5s)
                return;
            text = box->text();
            press(x.connection(), x.root(), kReturnKey);
            stage = 1;
        } else if (stage == 1 && !box && saver) {
            // A key, once the saver has the keyboard back, ends the run.
            if (input_focus(x.connection()) == saver->winId()
                && QGuiApplication::focusWindow() == saver->windowHandle()) {
                press(x.connection(), x.root(), kAKey);
                stage = 2;
            }
        }
    });
    watch.start(20);
    setup.TestBut->click();
    watch.stop();

    EXPECT_EQ(text.toStdString(), "Error loading image \"" + missing + "\"!");
    EXPECT_TRUE(above) << "the message lies under the saver's window";
    EXPECT_TRUE(focused) << "the message does not have the keyboard";
    EXPECT_EQ(stage, 2) << "the run did not go on once the message was closed";
    EXPECT_EQ(saver_window(), nullptr) << "a key did not end the run";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);

    setup.hide();
    velmora::override_program_file_name({});
    fs::remove_all(folder);
}

} // namespace
