#include "app/command_line.h"

#include <gtest/gtest.h>
#include <utility>

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

TEST(CommandLine, HostedSwitchesSelectAHostedRun)
{
    struct Case {
        std::vector<std::string> parameters;
        std::string variable;
        Host host;
        std::optional<std::uint32_t> window;
    };
    const Case cases[] = {
        { { "--root" }, "", Host::root, std::nullopt },
        { { "-ROOT", "extra" }, "", Host::root, std::nullopt },
        // A host running one copy per monitor names each copy's window.
        { { "--root" }, "0x400007", Host::window, 0x400007u },
        { { "--window-id", "1234" }, "", Host::window, 1234u },
        { { "--window-id", "0x4A0001F" }, "", Host::window, 0x4A0001Fu },
        { { "-window-id", "0XFF" }, "", Host::window, 0xFFu },
        // The switch wins over the environment.
        { { "--window-id", "77" }, "88", Host::window, 77u },
        { {}, "0x1f", Host::window, 0x1Fu },
        { {}, "31", Host::window, 31u },
        // Ids that name no window leave nothing to draw into.
        { { "--window-id" }, "", Host::window, std::nullopt },
        { { "--window-id", "abc" }, "", Host::window, std::nullopt },
        { { "--window-id", "0" }, "", Host::window, std::nullopt },
        { {}, "0x", Host::window, std::nullopt },
        { {}, "garbage", Host::window, std::nullopt },
        { { "--root" }, "-1", Host::window, std::nullopt },
    };
    for (const Case& c : cases) {
        const StartRequest request = parse_command_line(c.parameters, c.variable);
        const std::string shown
            = (c.parameters.empty() ? "(none)" : c.parameters[0]) + " with '" + c.variable + "'";
        EXPECT_EQ(request.mode, kRun) << shown;
        EXPECT_EQ(request.host, c.host) << shown;
        EXPECT_EQ(request.host_window, c.window) << shown;
    }
}

TEST(CommandLine, AnyOtherSwitchIgnoresTheHostVariable)
{
    // Only a start without parameters belongs to the host; the saver's own
    // switches and lookalikes of the hosted ones keep their meaning.
    const std::pair<std::string, std::uint8_t> cases[]
        = { { "/c", kConfigure }, { "/s", kRun }, { "/p", kPreview }, { "a", kChangePassword },
              { "", kConfigure }, { "--rooted", kRun }, { "--window", kRun } };
    for (const auto& [first, mode] : cases) {
        const StartRequest request = parse_command_line({ first }, "0x1f");
        EXPECT_EQ(request.mode, mode) << first;
        EXPECT_EQ(request.host, Host::none) << first;
        EXPECT_EQ(request.host_window, std::nullopt) << first;
    }
    EXPECT_EQ(parse_command_line({}).mode, kConfigure);
    EXPECT_EQ(parse_command_line({}).host, Host::none);
}

TEST(CommandLine, HostWindowIdsAreDecimalOrHexadecimal)
{
    EXPECT_EQ(parse_host_window_id("1234"), 1234u);
    EXPECT_EQ(parse_host_window_id("0x1f"), 0x1Fu);
    EXPECT_EQ(parse_host_window_id("0XFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parse_host_window_id("0x00a"), 0xAu);
    for (const char* bad : { "", "0", "0x0", "0x", "x1f", "0x1g", "1f", "-5", " 5", "0x-1",
             "0x100000000", "4294967296", "0x0x1" })
        EXPECT_EQ(parse_host_window_id(bad), std::nullopt) << '"' << bad << '"';
}

TEST(CommandLine, AHostedRunTakesSettingOverridesAndIgnoresEverythingElse)
{
    // The host's settings tool puts its options before or after the hosted
    // switch; a switch the saver does not know, or an option value it cannot
    // take, must not end it (the host would show it as broken).
    SettingOverrides photo;
    photo.picture = "/home/Ann/Photo.JPG";
    photo.size = 0;
    photo.edge = 40;
    SettingOverrides frames;
    frames.frames = 9;
    frames.use_bottom = true;
    struct Case {
        std::vector<std::string> parameters;
        std::string variable;
        Host host;
        std::optional<std::uint32_t> window;
        SettingOverrides overrides;
    };
    const Case cases[] = {
        { { "--picture", "/home/Ann/Photo.JPG", "--size", "small", "--edge", "40", "--window-id",
              "0x2a" },
            "", Host::window, 0x2Au, photo },
        { { "--root", "--fps", "--picture", "/home/Ann/Photo.JPG", "--size", "small", "--edge",
              "40", "--edge", "-3", "--size", "huge" },
            "", Host::root, std::nullopt, photo },
        { { "--frames", "9", "--use-bottom", "--brightness" }, "0x10", Host::window, 0x10u,
            frames },
        { { "-window-id", "7", "--frames", "nine", "--frames", "9", "--use-bottom", "--bogus",
              "x" },
            "", Host::window, 7u, frames },
        // Without a host, the overrides are no hosted run and stay unread.
        { { "--frames", "9" }, "", Host::none, std::nullopt, {} },
        { { "--frames", "9", "--bogus" }, "0x10", Host::none, std::nullopt, {} },
    };
    for (const Case& c : cases) {
        const StartRequest request = parse_command_line(c.parameters, c.variable);
        const std::string shown = c.parameters[0] + " ... with '" + c.variable + "'";
        EXPECT_EQ(request.mode, kRun) << shown;
        EXPECT_EQ(request.host, c.host) << shown;
        EXPECT_EQ(request.host_window, c.window) << shown;
        EXPECT_EQ(request.overrides, c.overrides) << shown;
    }
}
