#pragma once

#include "platform/run_mode.h"
#include "settings/setting_overrides.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Where a screen-saver host of the X desktop wants the saver drawn. A hosted
// saver runs in run mode but draws into the host's window and leaves input,
// the password and the screen to the host.
enum class Host : std::uint8_t {
    none, // not hosted: the saver covers the screen itself
    root, // the root window of the default screen
    window, // the window in `host_window`
};

// What the command line asks for.
struct StartRequest {
    std::uint8_t mode = kRun;
    // The second parameter, upper-cased: the host or parent window in
    // decimal for the preview and password modes.
    std::string window;
    Host host = Host::none;
    // The host's window for Host::window; nothing when the id given is not
    // a window id, which leaves nothing to draw into.
    std::optional<std::uint32_t> host_window;
    // A hosted run's settings given on the command line, for this run only.
    SettingOverrides overrides;

    bool operator==(const StartRequest&) const = default;
};

// Decides the mode from the program's parameters (without the program name).
// Only the first two are read; both are upper-cased. Three tests run one
// after the other and each may overwrite the result: "A" (change password),
// "P" (preview), "C" or no first parameter (configure); anything else runs
// the saver. Each test accepts the slash and the dash form of its letter in
// the first two characters, or the bare letter as the first character, so
// "/c:1234" configures and a handle glued to the switch is not read.
//
// A host of the X desktop starts the saver with "--root" or "--window-id
// <id>" anywhere among the parameters (a single dash works too), or with the
// window in its environment variable XSCREENSAVER_WINDOW, passed here as
// `host_variable` (empty when unset), and no parameters but setting
// overrides. Any of these selects a hosted run; the variable also names the
// window for "--root", since a host that runs one copy per monitor gives
// each copy its own window there. In a hosted run the setting overrides
// (--picture, --edge, --size, ...) are read from the original parameters;
// every other parameter, and an override with a value it cannot take, is
// ignored: a host shows a saver that ends at once as broken.
StartRequest parse_command_line(
    const std::vector<std::string>& parameters, const std::string& host_variable = {});

// An X11 window id written in decimal; nothing when the text is not one.
std::optional<std::uint32_t> parse_window_id(const std::string& text);

// A host's window id: decimal, or hexadecimal after "0x" (either case).
// Nothing when the text is not one; 0 is no window.
std::optional<std::uint32_t> parse_host_window_id(const std::string& text);

} // namespace velmora
