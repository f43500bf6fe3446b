// The modes that draw into another program's X11 window, started where no X
// server can be reached (a Wayland session without Xwayland).

#include "x11_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

TEST(WithoutAnXServer, TheX11OnlyModesEndWithOneLineAndStatusOne)
{
    const std::string runtime = ::testing::TempDir();
    struct Start {
        std::string variable; // set for the run, or empty
        std::vector<std::string> parameters;
    };
    const std::vector<Start> starts { { "", { "/p", "1234" } }, { "", { "--root" } },
        { "", { "--window-id", "0x1234" } }, { "XSCREENSAVER_WINDOW=0x1234", {} } };
    for (const Start& start : starts) {
        std::vector<std::string> command { "env", "-u", "DISPLAY", "-u", "QT_QPA_PLATFORM",
            "XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=velmora-no-compositor",
            "XDG_RUNTIME_DIR=" + runtime };
        if (!start.variable.empty())
            command.push_back(start.variable);
        for (const std::string& part : velmora_command(start.parameters))
            command.push_back(part);
        Child velmora(command);
        const std::string name
            = start.variable + (start.parameters.empty() ? "" : start.parameters[0]);
        EXPECT_EQ(velmora.wait_for_exit(10s), 1) << name;
        const std::string error = velmora.error_output();
        EXPECT_NE(error.find("needs an X server"), std::string::npos) << name << ": " << error;
        EXPECT_EQ(error.find('\n'), error.size() - 1) << name << ": " << error;
    }
}

} // namespace
