#pragma once

#include "settings/settings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Loads every persistent field of settings() from the INI file `file_name`
// (the default file when empty). A missing file is no error: every field
// takes its default and no file is created. An existing read-only file is
// made writable first. A value of an integer or colour key that is no integer
// throws velmora::Error "'<value>' is not a valid integer value"; the fields
// read before that key keep their new values, the rest their old ones.
void read_settings(const std::string& file_name);

// Stores every persistent field of settings() into the INI file `file_name`
// (the default file when empty), keeping every other line of an existing
// file. The image list is written for entries 1 to NumMultipleImages; an
// entry beyond those held in memory is written (with defaults) where the file
// already has a key of it, so no stale entry of an earlier list is read back.
// The file is replaced as a whole, so a failure at any point leaves the
// old file as it was; the failure throws velmora::Error
// "Unable to write to <file name>", followed, when a value is one no settings
// file can hold, by ": the value of <key> <why>." (IniFile::refusal).
void write_settings(const std::string& file_name);

// The most image-list entries reading holds in memory. The list has no
// maximum of its own, but a single key such as ImageNumber_2147483647 must not
// make reading allocate billions of entries; per-entry keys above this number
// read as defaults and stay in the file untouched when it is saved.
inline constexpr std::int32_t kMaxImageEntries = 10000;

// The record a missing settings file gives: every key at its default.
Settings default_settings();

// "True" or "False".
std::string format_bool(bool value);
// True exactly when the upper-case form of `text` is "TRUE".
bool parse_bool(std::string_view text);
// Decimal text with an optional sign that fits in 32 bits; anything else
// throws velmora::Error "'<text>' is not a valid integer value".
std::int32_t parse_integer(std::string_view text);

// The read-only attribute of a file is the owner's write permission.
// is_read_only: the file exists and its owner may not write it.
bool is_read_only(const std::string& path);
// Gives the owner write permission when the file is read-only; false only
// when that failed.
bool clear_read_only(const std::string& path);

// `path` with the extension of its file name replaced by `extension` (which
// includes the dot), or with `extension` appended when it has none.
std::string replace_extension(const std::string& path, std::string_view extension);

// The running program file (/proc/self/exe) unless overridden.
std::string program_file_name();
// Replaces the program file name used for the default settings file and
// the default folders (tests, tools); an empty name restores the real one.
void override_program_file_name(const std::string& path);
// The folder of the program file, without a trailing "/" (except for "/").
std::string program_directory();

// The data folder of an installed copy of `program`: share/velmora under
// its install prefix (as seen from the program's folder, fixed when
// building), when that folder exists. Empty for a copy run from a folder of
// its own, such as the build folder.
std::string installed_data_folder(const std::string& program = program_file_name());

// The settings file of `program`: for an installed copy always
// $XDG_CONFIG_HOME/velmora/velmora.INI (~/.config by default), whoever runs
// it, so that nothing is written into a system folder and each user keeps
// their own. A copy run from a folder of its own keeps it beside the
// program, named after it with the extension ".INI", unless the user cannot
// write that folder.
std::string settings_file_name(const std::string& program = program_file_name());

} // namespace velmora
