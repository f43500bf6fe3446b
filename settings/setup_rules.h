#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// What the setup dialog lets into the settings record, and how it names an
// exported configuration: rules without any window, the same for every
// control that takes a picture name.

// The message refusing a picture whose name no settings file can hold
// (IniFile::refusal); it names the file. Nothing for a name it can hold.
std::optional<std::string> unstorable_name_message(const std::string& path);

// Pictures to append to an image list of `held` entries: those whose names a
// settings file can hold, as many as the list has room for (kMaxImageEntries
// in all), in their order. `message` says what was left out and why; it is
// empty when nothing was.
struct AdmittedEntries {
    std::vector<std::string> files;
    std::string message;
};
AdmittedEntries admit_entries(std::vector<std::string> files, int held);

// The file "Save Config As..." writes for the name chosen: the name as
// written when its extension is ".ini" in any case (names differ by case
// here), else the name with its extension replaced by ".INI" (appended when
// it has none).
std::string export_file_name(const std::string& chosen);

} // namespace velmora
