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

} // namespace

StartRequest parse_command_line(const std::vector<std::string>& parameters)
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

} // namespace velmora
