#pragma once

#include "imaging/bitmap.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>
#include <xcb/xcb.h>

// A private X server and a private runtime folder for one test: the test
// program's environment points DISPLAY and XDG_RUNTIME_DIR at them, so the
// programs it starts see only these, never the user's or another test's.
class X11Session {
public:
    X11Session();
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const { return screen_->root; }

    // A top-level window with a black background, mapped at once.
    xcb_window_t create_window(int x, int y, int width, int height);
    void map(xcb_window_t window);
    void unmap(xcb_window_t window);
    void destroy(xcb_window_t window);
    // Paints the window black again.
    void clear(xcb_window_t window);

    // The window's pixels in the rectangle, read back from the server.
    velmora::Bitmap read_pixels(xcb_window_t window, int x, int y, int width, int height);

    // A viewable top-level window whose title is `title`, if there is one.
    std::optional<xcb_window_t> find_window(const std::string& title);
    // Asks a window to close the way a window manager does.
    void send_close(xcb_window_t window);

private:
    pid_t server_ = -1;
    std::string runtime_dir_;
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
};

// A program started by a test, its standard error kept in a file.
class Child {
public:
    explicit Child(const std::vector<std::string>& arguments);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status once the program has ended by itself within the
    // timeout; -1 when it was ended by a signal, nothing while it runs.
    std::optional<int> wait_for_exit(std::chrono::milliseconds timeout);
    bool running();
    void kill_now();
    std::string error_output() const;

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string error_file_;
};

// The started velmora program with the given parameters.
std::vector<std::string> velmora_command(const std::vector<std::string>& parameters);

// Polls until `condition` holds or the timeout passes; answers the condition.
bool wait_until(std::chrono::milliseconds timeout, const std::function<bool()>& condition);
