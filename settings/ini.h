#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

// Section and key names match without regard to ASCII case.
bool names_match(std::string_view a, std::string_view b);

// An INI text held in memory, read and edited with the conventions of the
// profile files our settings have always used, so that a settings file
// written by an earlier version, on another system or by hand reads the same:
//
// - "[Name]" starts a section; lines before the first section belong to none.
// - "key=value" lines hold the values; the first "=" splits them. Lines
//   without "=" (comments, blank lines) are never read as keys; a ";" comment
//   holding "=" reads as a key named with a leading ";", which nobody asks for.
// - Section and key names match without regard to ASCII case; the first
//   section and the first key of a name win when a name repeats.
// - Blanks (spaces and tabs) around names and values are ignored; a value
//   enclosed in a pair of double quotes loses them; at most kMaxValueLength
//   characters (bytes) of a value are read.
// - LF, CRLF and a lone CR all end a line; a NUL ends a value. A UTF-8
//   byte-order mark is skipped. What is read can therefore always be
//   written back.
//
// Editing changes only what it must: an existing key's line is replaced where
// it stands (keeping that line's own line end), a new key goes after the last
// key of its section, a missing section is appended at the end of the text,
// and every other byte is kept. Added lines use the text's own line ends.
class IniFile {
public:
    // Values longer than this are cut when read.
    static constexpr std::size_t kMaxValueLength = 1023;

    IniFile() = default;
    explicit IniFile(std::string_view text);

    // The value of `key` in `section`, or nothing when the key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // The key names of `section` as written (blanks removed), in file order;
    // a repeated name is listed once.
    std::vector<std::string> keys(std::string_view section) const;

    // Why `value` cannot be stored so that it reads back unchanged, said
    // after the thing holding it ("is too long (1100 bytes, at most 1023)",
    // "holds a line break"), or nothing when it can.
    static std::optional<std::string> refusal(std::string_view value);

    // Sets `key` in `section` to `value`. A value with leading or trailing
    // blanks, or one that itself begins and ends with a double quote, is
    // written inside double quotes so that it reads back unchanged. Throws
    // std::invalid_argument with the refusal above for a value holding a
    // line break or a NUL, which no line of an INI file can carry, and for
    // one longer than kMaxValueLength, which reading would cut.
    void set_value(std::string_view section, std::string_view key, std::string_view value);

    // The whole text, with the edits applied.
    std::string text() const;

private:
    struct Line {
        std::string text; // without its line end
        std::string end; // "\n", "\r\n", or "" for a last line without one
    };

    // Where a key's current "key=value" line lives.
    struct Slot {
        bool added = false; // in the section's `added` lines, else in `lines_`
        std::size_t index = 0;
    };

    struct Section {
        std::string name;
        bool existing = false; // found in the text, else appended by an edit
        std::size_t anchor = 0; // existing: the line new keys follow
        std::unordered_map<std::string, Slot> keys; // by lower-case name
        std::vector<std::string> key_order; // names as written, file order
        std::vector<std::string> added; // new "key=value" lines, in order
    };

    const Section* find_section(std::string_view name) const;
    const std::string& line_text(const Section& section, const Slot& slot) const;

    std::string bom_;
    std::string line_end_ = "\n";
    std::vector<Line> lines_;
    std::vector<Section> sections_; // existing ones in file order, then new ones
    std::unordered_map<std::string, std::size_t> section_index_; // by lower-case name
};

} // namespace velmora
