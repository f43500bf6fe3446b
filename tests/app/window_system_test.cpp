#include "platform/window_system.h"

#include <gtest/gtest.h>

using velmora::qt_platform_for;
using velmora::SessionDisplays;

TEST(WindowSystem, AWaylandSessionGetsWaylandUnlessAModeNeedsX11OrTheUserChose)
{
    struct Row {
        SessionDisplays session;
        bool needs_x11;
        const char* platform;
    };
    const Row rows[] = {
        { { false, true, false }, false, "" }, // an X11 session: Qt's own choice
        { { false, true, false }, true, "" }, { { true, false, false }, false, "wayland" },
        { { true, true, false }, false, "wayland;xcb" }, // Xwayland as the fallback
        { { true, true, false }, true, "xcb" }, // another program's window: Xwayland
        { { true, false, false }, true, "" }, // no X server: the mode reports it
        { { true, true, true }, false, "" }, // QT_QPA_PLATFORM stands
    };
    for (const Row& row : rows)
        EXPECT_EQ(qt_platform_for(row.session, row.needs_x11), row.platform)
            << row.session.wayland << row.session.x11 << row.session.user_choice << row.needs_x11;
}
