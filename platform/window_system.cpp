#include "platform/window_system.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

    bool set(const char* name)
    {
        const char* value = std::getenv(name);
        return value && *value;
    }

} // namespace

SessionDisplays session_displays()
{
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return { set("WAYLAND_DISPLAY") && type && std::strcmp(type, "wayland") == 0, set("DISPLAY"),
        set("QT_QPA_PLATFORM") };
}

std::string qt_platform_for(const SessionDisplays& session, bool needs_x11)
{
    if (session.user_choice || !session.wayland)
        return {};
    if (needs_x11)
        return session.x11 ? "xcb" : "";
    return session.x11 ? "wayland;xcb" : "wayland";
}

void choose_qt_platform(bool needs_x11)
{
    const std::string platform = qt_platform_for(session_displays(), needs_x11);
    if (!platform.empty())
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

bool on_wayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void end_now_on_wayland(int status)
{
    if (!on_wayland())
        return;
    std::fflush(nullptr);
    std::_Exit(status);
}

void request_full_screen(QWidget& window, QScreen* screen)
{
    if (screen)
        window.setScreen(screen);
    window.setWindowState(window.windowState() | Qt::WindowFullScreen);
}

std::string x11_needed_message(const std::string& mode)
{
    const char* display = std::getenv("DISPLAY");
    return "velmora: " + mode + " needs an X server, and "
        + (display && *display ? "the one of DISPLAY=" + std::string(display) + " cannot be reached"
                               : std::string("there is none here (DISPLAY is not set)"));
}

} // namespace velmora
