#include "settings/setup_rules.h"

#include "settings/ini.h"
#include "settings/read_write_ini.h"

#include <algorithm>
#include <string_view>

namespace velmora {

namespace {

    bool continuation_byte(char c)
    {
        return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    }

    // A name too long to be stored is too long to read in a message box as
    // well: its start and its end (the file's own name) are shown, the middle
    // left out, cut between characters.
    std::string shown_name(const std::string& path)
    {
        constexpr std::size_t kHead = 60;
        constexpr std::size_t kTail = 80;
        if (path.size() <= kHead + kTail + 20)
            return path;
        std::size_t head = kHead;
        while (head > 0 && continuation_byte(path[head]))
            --head;
        std::size_t tail = path.size() - kTail;
        while (tail < path.size() && continuation_byte(path[tail]))
            ++tail;
        return path.substr(0, head) + "..." + path.substr(tail);
    }

} // namespace

std::optional<std::string> unstorable_name_message(const std::string& path)
{
    const auto why = IniFile::refusal(path);
    if (!why)
        return std::nullopt;
    return "The file name \"" + shown_name(path) + "\" " + *why
        + ": the settings file cannot hold it.";
}

AdmittedEntries admit_entries(std::vector<std::string> files, int held)
{
    AdmittedEntries admitted;
    std::size_t refused = 0;
    for (std::string& file : files) {
        if (const auto message = unstorable_name_message(file)) {
            if (refused++ == 0)
                admitted.message = *message;
            continue;
        }
        admitted.files.push_back(std::move(file));
    }
    if (refused > 1)
        admitted.message += " " + std::to_string(refused - 1) + " more such names were left out.";

    // The settings file holds a bounded number of entries; more would be
    // saved but never read back.
    const auto room = static_cast<std::size_t>(std::max(kMaxImageEntries - held, 0));
    const std::size_t total = admitted.files.size();
    if (total <= room)
        return admitted;
    admitted.files.resize(room);
    if (!admitted.message.empty())
        admitted.message += "\n\n";
    const std::string most
        = "the list holds at most " + std::to_string(kMaxImageEntries) + " entries.";
    if (room == 0)
        admitted.message += "No pictures were added: " + most;
    else
        admitted.message += "Only " + std::to_string(room) + " of the " + std::to_string(total)
            + " pictures found were added: " + most;
    return admitted;
}

std::string export_file_name(const std::string& chosen)
{
    const auto slash = chosen.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    constexpr std::string_view kIni = ".ini";
    // A name that is only ".ini" is a hidden file without an extension.
    if (chosen.size() > name_start + kIni.size()) {
        std::string extension = chosen.substr(chosen.size() - kIni.size());
        std::transform(extension.begin(), extension.end(), extension.begin(),
            [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        if (extension == kIni)
            return chosen;
    }
    return replace_extension(chosen, ".INI");
}

} // namespace velmora
