#include "settings/ini.h"

#include <stdexcept>

namespace velmora {

namespace {

    constexpr std::string_view kBlanks = " \t";
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

    std::string_view trim(std::string_view s)
    {
        const auto first = s.find_first_not_of(kBlanks);
        if (first == std::string_view::npos)
            return {};
        const auto last = s.find_last_not_of(kBlanks);
        return s.substr(first, last - first + 1);
    }

    std::string lower(std::string_view s)
    {
        std::string result(s);
        for (char& c : result) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return result;
    }

    // The name of the section a line starts, if it starts one.
    std::optional<std::string_view> section_header(std::string_view line)
    {
        line = trim(line);
        if (line.empty() || line.front() != '[')
            return std::nullopt;
        line.remove_prefix(1);
        return trim(line.substr(0, line.find(']')));
    }

    struct KeyLine {
        std::string_view key;
        std::string_view value; // blanks removed, quotes still on
    };

    std::optional<KeyLine> split_key_line(std::string_view line)
    {
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        return KeyLine { trim(line.substr(0, equals)), trim(line.substr(equals + 1)) };
    }

    bool quoted(std::string_view value)
    {
        return value.size() >= 2 && value.front() == '"' && value.back() == '"';
    }

    // Whether the last line of `text`, which ends with a line end, is blank.
    bool last_line_blank(std::string_view text)
    {
        const bool crlf = text.ends_with("\r\n");
        text.remove_suffix(crlf ? 2 : 1);
        const auto start = text.find_last_of("\r\n");
        return trim(text.substr(start == std::string_view::npos ? 0 : start + 1)).empty();
    }

    std::string decode_value(std::string_view stored)
    {
        // A NUL ends the value, as it ends a string of the profile files.
        stored = trim(stored.substr(0, stored.find('\0')));
        if (quoted(stored))
            stored = stored.substr(1, stored.size() - 2);
        return std::string(stored.substr(0, IniFile::kMaxValueLength));
    }

    std::string encode_value(std::string_view value)
    {
        const bool needs_quotes = !value.empty()
            && (kBlanks.find(value.front()) != std::string_view::npos
                || kBlanks.find(value.back()) != std::string_view::npos || quoted(value));
        if (needs_quotes)
            return '"' + std::string(value) + '"';
        return std::string(value);
    }

} // namespace

bool names_match(std::string_view a, std::string_view b)
{
    return lower(a) == lower(b);
}

IniFile::IniFile(std::string_view text)
{
    if (text.starts_with(kByteOrderMark)) {
        bom_ = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }

    // A line ends with LF, CR LF or a CR alone, so no line (and no value)
    // ever holds a CR: a value read can always be written back.
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        Line line;
        if (end == std::string_view::npos) {
            line.text = text;
            text = {};
        } else {
            line.text = text.substr(0, end);
            const bool crlf = text[end] == '\r' && text.substr(end + 1).starts_with('\n');
            line.end = crlf ? "\r\n" : std::string(1, text[end]);
            text.remove_prefix(end + line.end.size());
        }
        lines_.push_back(std::move(line));
    }
    if (!lines_.empty() && !lines_.front().end.empty())
        line_end_ = lines_.front().end;

    // Index the sections and keys. Lines of a repeated section are never
    // consulted, since its first occurrence wins.
    std::optional<std::size_t> current;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (const auto name = section_header(lines_[i].text)) {
            const auto [entry, is_new] = section_index_.try_emplace(lower(*name), sections_.size());
            current.reset();
            if (is_new) {
                sections_.push_back(Section { std::string(*name), true, i, {}, {}, {} });
                current = entry->second;
            }
            continue;
        }
        const auto key_line = split_key_line(lines_[i].text);
        if (!current || !key_line || key_line->key.empty())
            continue;
        Section& section = sections_[*current];
        section.anchor = i;
        if (section.keys.try_emplace(lower(key_line->key), Slot { false, i }).second)
            section.key_order.emplace_back(key_line->key);
    }
}

const IniFile::Section* IniFile::find_section(std::string_view name) const
{
    const auto found = section_index_.find(lower(name));
    return found == section_index_.end() ? nullptr : &sections_[found->second];
}

const std::string& IniFile::line_text(const Section& section, const Slot& slot) const
{
    return slot.added ? section.added[slot.index] : lines_[slot.index].text;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const
{
    const Section* found = find_section(section);
    if (!found)
        return std::nullopt;
    const auto slot = found->keys.find(lower(key));
    if (slot == found->keys.end())
        return std::nullopt;
    return decode_value(split_key_line(line_text(*found, slot->second))->value);
}

std::vector<std::string> IniFile::keys(std::string_view section) const
{
    const Section* found = find_section(section);
    return found ? found->key_order : std::vector<std::string> {};
}

std::optional<std::string> IniFile::refusal(std::string_view value)
{
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return "holds a line break";
    if (value.find('\0') != std::string_view::npos)
        return "holds a NUL character";
    // Reading would cut a longer value; refuse it rather than store a value
    // that comes back different.
    if (value.size() > kMaxValueLength)
        return "is too long (" + std::to_string(value.size()) + " bytes, at most "
            + std::to_string(kMaxValueLength) + ")";
    return std::nullopt;
}

void IniFile::set_value(std::string_view section, std::string_view key, std::string_view value)
{
    if (const auto why = refusal(value))
        throw std::invalid_argument(*why);
    std::string line = std::string(key) + '=' + encode_value(value);

    const auto [entry, is_new_section]
        = section_index_.try_emplace(lower(section), sections_.size());
    if (is_new_section)
        sections_.push_back(Section { std::string(section), false, 0, {}, {}, {} });
    Section& target = sections_[entry->second];

    const auto [slot, is_new_key]
        = target.keys.try_emplace(lower(key), Slot { true, target.added.size() });
    if (is_new_key) {
        target.added.push_back(std::move(line));
        target.key_order.emplace_back(key);
    } else if (slot->second.added) {
        target.added[slot->second.index] = std::move(line);
    } else {
        lines_[slot->second.index].text = std::move(line);
    }
}

std::string IniFile::text() const
{
    std::unordered_map<std::size_t, const Section*> followed_by;
    for (const Section& section : sections_) {
        if (section.existing && !section.added.empty())
            followed_by.emplace(section.anchor, &section);
    }

    std::string out = bom_;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        out += line.text;
        const auto added = followed_by.find(i);
        if (added == followed_by.end()) {
            out += line.end;
            continue;
        }
        out += line.end.empty() ? line_end_ : line.end;
        for (const std::string& key_line : added->second->added)
            out += key_line + line_end_;
    }

    for (const Section& section : sections_) {
        if (section.existing)
            continue;
        // Separate the new section from what precedes it by one blank line.
        if (out.size() > bom_.size()) {
            if (!out.ends_with('\n') && !out.ends_with('\r'))
                out += line_end_;
            if (!last_line_blank(out))
                out += line_end_;
        }
        out += '[' + section.name + ']' + line_end_;
        for (const std::string& key_line : section.added)
            out += key_line + line_end_;
    }
    return out;
}

} // namespace velmora
