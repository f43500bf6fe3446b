#include "app/command_line.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(CommandLine, ChoosesTheModeAndKeepsTheWindowParameter)
{
    struct Case {
        std::vector<std::string> parameters;
        std::uint8_t mode;
        std::string window;
    };
    const Case cases[] = {
        { {}, kConfigure, "" },
        { { "" }, kConfigure, "" },
        { { "/c" }, kConfigure, "" },
        { { "-C" }, kConfigure, "" },
        { { "config" }, kConfigure, "" },
        // A handle glued to the switch is not read.
        { { "/c:1234" }, kConfigure, "" },
        { { "/s" }, kRun, "" },
        { { "S" }, kRun, "" },
        { { "/x" }, kRun, "" },
        { { "--c" }, kRun, "" },
        { { "/" }, kRun, "" },
        // Only the first parameter chooses.
        { { "/s", "/c" }, kRun, "/C" },
        { { "a" }, kChangePassword, "" },
        { { "-A" }, kChangePassword, "" },
        { { "/a", "1234" }, kChangePassword, "1234" },
        { { "/ap" }, kChangePassword, "" },
        { { "P" }, kPreview, "" },
        { { "preview", "77" }, kPreview, "77" },
        { { "/p", "0x1f" }, kPreview, "0X1F" },
        { { "-p", "42", "ignored" }, kPreview, "42" },
    };
    for (const Case& c : cases) {
        const StartRequest request = parse_command_line(c.parameters);
        const std::string shown = c.parameters.empty() ? "(none)" : c.parameters[0];
        EXPECT_EQ(request.mode, c.mode) << shown;
        EXPECT_EQ(request.window, c.window) << shown;
    }
}

TEST(CommandLine, WindowIdsAreDecimalOnly)
{
    EXPECT_EQ(parse_window_id("1234"), 1234u);
    EXPECT_EQ(parse_window_id("4294967295"), 4294967295u);
    for (const char* bad : { "", "12a", "-5", "+5", " 5", "0X1F", "4294967296" })
        EXPECT_EQ(parse_window_id(bad), std::nullopt) << '"' << bad << '"';
}
