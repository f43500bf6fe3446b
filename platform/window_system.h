#pragma once

#include <string>

class QScreen;
class QWidget;

namespace velmora {

// The desktop the program's windows live on: an X server, or a Wayland
// compositor. Velmora draws into windows of other programs (a preview host,
// a screen-saver host) only on X11; its own windows work on both.

// What the session offers, from the environment.
struct SessionDisplays {
    bool wayland = false; // a Wayland session: WAYLAND_DISPLAY and XDG_SESSION_TYPE=wayland
    bool x11 = false; // DISPLAY is set (in a Wayland session: Xwayland)
    bool user_choice = false; // QT_QPA_PLATFORM names the platform already
};
SessionDisplays session_displays();

// The Qt platform to ask for, or "" to leave Qt's own choice. The user's
// choice always stands. A Wayland session gets the Wayland platform, with
// X11 as the fallback when Qt's Wayland plugin is missing; a mode that needs
// the windows of other X11 programs keeps to X11 (Xwayland) there.
std::string qt_platform_for(const SessionDisplays& session, bool needs_x11);

// Sets that choice for this process; called before the application object
// exists.
void choose_qt_platform(bool needs_x11);

// Whether the program's windows are Wayland surfaces; asked once the
// application object exists. A compositor gives the keyboard and the pointer
// to the surface it chooses: there are no input grabs, no window positions,
// and full screen is a request to the compositor for one output.
bool on_wayland();

// Ends the process with `status` at once when the windows are Wayland
// surfaces, skipping the teardown of Qt's Wayland connection: that can wait
// for ever on its event reader, and an idle daemon that waits for the saver
// to end would wait with it. Elsewhere it returns. Called with the
// application object alive and nothing left to save.
void end_now_on_wayland(int status);

// Asks the compositor to show the top-level `window` full screen on
// `screen` (the window's own screen when null), without decoration. On
// Wayland a window cannot place itself: its geometry is only a wish.
void request_full_screen(QWidget& window, QScreen* screen);

// The single line a mode that draws into another program's X11 window
// prints when no X server can be reached; `mode` names it ("--root").
std::string x11_needed_message(const std::string& mode);

} // namespace velmora
