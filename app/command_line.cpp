#include "app/command_line.h"

#include "base/error.h"

#include <charconv>

namespace velmora {

namespace {

    std::string upper_case(std::string text)
    {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        return text;
    }

    bool selects(const std::string& first, char letter)
    {
        const std::string head = first.substr(0, 2);
        return head == std::string { '/', letter } || head == std::string { '-', letter }
        || (!first.empty() && first[0] == letter);
    }

    // The hosted switches, upper-cased, with one dash or two.
    bool is_switch(const std::string& first, const std::string& name)
    {
        return first == "-" + name || first == "--" + name;
    }

    // What the parameters say to a screen-saver host's eyes.
    struct HostParameters {
        bool root = false;
        bool window_switch = false;
        std::string window; // the value after the window switch
        bool only_overrides = true; // nothing but setting overrides
        SettingOverrides overrides;
    };

    HostParameters read_host_parameters(const std::vector<std::string>& parameters)
    {
        HostParameters found;
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const std::string name = upper_case(parameters[i]);
            if (is_switch(name, "ROOT")) {
                found.root = true;
                found.only_overrides = false;
                continue;
            }
            if (is_switch(name, "WINDOW-ID")) {
                found.window_switch = true;
                found.only_overrides = false;
                if (i + 1 < parameters.size())
                    found.window = upper_case(parameters[++i]);
                continue;
            }
            bool known = false;
            try {
                known = read_setting_override(parameters, i, found.overrides);
            } catch (const Error&) {
                known = true; // an override without a usable value is left out
            }
            if (!known)
                found.only_overrides = false;
        }
        return found;
    }

} // namespace

StartRequest parse_command_line(
    const std::vector<std::string>& parameters, const std::string& host_variable)
{
    const std::string first = parameters.empty() ? std::string() : upper_case(parameters[0]);
    StartRequest request;
    if (parameters.size() > 1)
        request.window = upper_case(parameters[1]);
    if (selects(first, 'A'))
        request.mode = kChangePassword;
    if (selects(first, 'P'))
        request.mode = kPreview;
    if (selects(first, 'C') || first.empty())
        request.mode = kConfigure;

    const HostParameters host = read_host_parameters(parameters);
    if (host.window_switch) {
        request.host = Host::window;
        request.host_window = parse_host_window_id(host.window);
    } else if (host.root || (host.only_overrides && !host_variable.empty())) {
        request.host = host_variable.empty() ? Host::root : Host::window;
        if (!host_variable.empty())
            request.host_window = parse_host_window_id(host_variable);
    }
    if (request.host != Host::none) {
        request.mode = kRun;
        request.overrides = host.overrides;
    }
    return request;
}

std::optional<std::uint32_t> parse_window_id(const std::string& text)
{
    std::uint32_t id = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, id);
    if (error != std::errc() || stop != end || text.empty())
        return std::nullopt;
    return id;
}

std::optional<std::uint32_t> parse_host_window_id(const std::string& text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    std::uint32_t id = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, id, hex ? 16 : 10);
    if (error != std::errc() || stop != end || digits.empty() || id == 0)
        return std::nullopt;
    return id;
}

} // namespace velmora
