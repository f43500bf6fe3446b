#include "app/command_line.h"

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

    if (is_switch(first, "ROOT")) {
        request.host = host_variable.empty() ? Host::root : Host::window;
        if (!host_variable.empty())
            request.host_window = parse_host_window_id(host_variable);
    } else if (is_switch(first, "WINDOW-ID")) {
        request.host = Host::window;
        request.host_window = parse_host_window_id(request.window);
    } else if (parameters.empty() && !host_variable.empty()) {
        request.host = Host::window;
        request.host_window = parse_host_window_id(host_variable);
    }
    if (request.host != Host::none)
        request.mode = kRun;
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
