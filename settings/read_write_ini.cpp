#include "settings/read_write_ini.h"

#include "base/error.h"
#include "settings/ini.h"
#include "settings/replace_file.h"
#include "settings/settings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

    constexpr std::string_view kSection = "Setup";
    constexpr std::string_view kImageNumber = "ImageNumber_";
    constexpr std::string_view kImageShiftNumber = "ImageShiftNumber_";
    constexpr std::string_view kUseImageBottom = "UseImageBottom_";
    constexpr std::string_view kGIFCompression = "GIFCompression";

    std::string& program_file_override()
    {
        static std::string path;
        return path;
    }

    // `name` inside `folder`, with exactly one "/" between them.
    std::string join_path(const std::string& folder, const std::string& name)
    {
        if (folder.empty())
            return name;
        return folder.ends_with('/') ? folder + name : folder + '/' + name;
    }

    std::string folder_of(const std::string& path)
    {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos)
            return ".";
        return slash == 0 ? "/" : path.substr(0, slash);
    }

    std::string user_config_folder()
    {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (config && config[0] == '/')
            return config;
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* user = getpwuid(getuid());
            home = user ? user->pw_dir : "";
        }
        return join_path(home, ".config");
    }

    // The whole content of a file, or nothing when it cannot be read. Only a
    // regular file holds settings: a pipe would wait forever for a writer, a
    // device could pour out data without end, and neither may be replaced
    // by a rename on saving.
    std::optional<std::string> read_file(const std::string& path)
    {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return std::nullopt;
        struct stat info { };
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd);
            return std::nullopt;
        }
        std::string text;
        char buffer[65536];
        for (;;) {
            const ssize_t count = read(fd, buffer, sizeof buffer);
            if (count > 0) {
                text.append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0) {
                break;
            } else if (errno != EINTR) {
                close(fd);
                return std::nullopt;
            }
        }
        close(fd);
        return text;
    }

    bool write_all(int fd, std::string_view text)
    {
        while (!text.empty()) {
            const ssize_t count = write(fd, text.data(), text.size());
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return false;
            text.remove_prefix(static_cast<std::size_t>(count));
        }
        return true;
    }

    // Replaces `target` with a file holding `text`. The new content is written
    // completely and synced under a temporary name in the same folder, then
    // renamed over the target, so that a crash or a full disk leaves either the
    // old file or the new one, never a half-written one. `old` describes the
    // file being replaced (its owner and permissions carry over), or is null
    // for a new file. On failure the target is untouched and nothing is left.
    bool replace_file(const std::string& target, std::string_view text, const struct stat* old)
    {
        static unsigned serial = 0;
        const std::string folder = folder_of(target);
        std::string temporary;
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary = join_path(folder,
                ".velmora-" + std::to_string(getpid()) + '-' + std::to_string(serial++) + ".tmp");
            fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                return false;
        }
        if (fd < 0)
            return false;

        bool ok = write_all(fd, text);
        if (ok && old) {
            if (old->st_uid != geteuid() || old->st_gid != getegid()) {
                // Only a privileged writer can give the file back to its
                // owner; anyone else keeps it, as with any file they write.
                [[maybe_unused]] const int ignored = fchown(fd, old->st_uid, old->st_gid);
            }
            ok = fchmod(fd, old->st_mode & 07777) == 0;
        }
        ok = ok && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
        if (!ok) {
            unlink(temporary.c_str());
            return false;
        }
        // Make the rename itself durable; the file is complete either way.
        const int folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder_fd >= 0) {
            fsync(folder_fd);
            close(folder_fd);
        }
        return true;
    }

    // A picture name without a folder lives in the install folder. An empty
    // name stays empty, so that its users still see "no picture selected"
    // rather than a folder that is no picture. A name whose joined path would
    // be longer than a value can be stays as it was read: saved in full, the
    // joined path would come back cut (without its extension) on the next
    // read.
    std::string in_install_dir(const std::string& name, const std::string& install_dir)
    {
        if (name.find('/') != std::string::npos || name.find_first_not_of(' ') == std::string::npos)
            return name;
        std::string joined = join_path(install_dir, name);
        return joined.size() > IniFile::kMaxValueLength ? name : joined;
    }

    // "%.2d": at least two digits, zero-padded.
    std::string entry_key(std::string_view prefix, std::int32_t k)
    {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%.2d", k);
        return std::string(prefix) + digits;
    }

    // The entry number k of a per-entry key whose name is exactly `prefix`
    // followed by k's "%.2d" form, or nothing.
    std::optional<std::int32_t> entry_number(std::string_view key, std::string_view prefix)
    {
        if (key.size() <= prefix.size() || !names_match(key.substr(0, prefix.size()), prefix))
            return std::nullopt;
        const std::string_view digits = key.substr(prefix.size());
        std::int32_t k = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
        if (error != std::errc {} || end != digits.data() + digits.size() || k < 1
            || entry_key(prefix, k).substr(prefix.size()) != digits)
            return std::nullopt;
        return k;
    }

    // How many image-list entries the file describes: the highest entry number
    // among its per-entry keys, at most `count` and kMaxImageEntries. Entries
    // beyond hold only defaults, so the list in memory stops there; a huge
    // count or entry number in a small file therefore costs nothing.
    std::int32_t described_entries(const IniFile& file, std::int32_t count)
    {
        count = std::min(count, kMaxImageEntries);
        std::int32_t highest = 0;
        for (const std::string& key : file.keys(kSection)) {
            for (const std::string_view prefix :
                { kImageNumber, kImageShiftNumber, kUseImageBottom }) {
                const auto k = entry_number(key, prefix);
                if (k && *k <= count)
                    highest = std::max(highest, *k);
            }
        }
        return highest;
    }

    class SetupReader {
    public:
        explicit SetupReader(const IniFile& file)
            : file_(file)
        {
        }

        std::string text(std::string_view key, const std::string& fallback) const
        {
            return file_.value(kSection, key).value_or(fallback);
        }
        std::int32_t integer(std::string_view key, std::int32_t fallback) const
        {
            const auto value = file_.value(kSection, key);
            return value ? parse_integer(*value) : fallback;
        }
        bool boolean(std::string_view key, bool fallback) const
        {
            const auto value = file_.value(kSection, key);
            return value ? parse_bool(*value) : fallback;
        }
        std::string picture(std::string_view key, const std::string& install_dir) const
        {
            return in_install_dir(text(key, {}), install_dir);
        }

    private:
        const IniFile& file_;
    };

    class SetupWriter {
    public:
        SetupWriter(IniFile& file, const std::string& path)
            : file_(file)
            , path_(path)
        {
        }

        // A value the file cannot hold stops the save; the message says
        // which key holds it and why, so the user can find it.
        void text(std::string_view key, std::string_view value) const
        {
            if (const auto why = IniFile::refusal(value)) {
                throw Error("Unable to write to " + path_ + ": the value of " + std::string(key)
                    + " " + *why + ".");
            }
            file_.set_value(kSection, key, value);
        }
        void integer(std::string_view key, std::int32_t value) const
        {
            text(key, std::to_string(value));
        }
        void boolean(std::string_view key, bool value) const { text(key, format_bool(value)); }

    private:
        IniFile& file_;
        const std::string& path_;
    };

    // Every field is assigned the moment its key is read, so that a bad value
    // leaves the fields before it with their new values and the rest with
    // their old ones.
    void load(const IniFile& file, Settings& s)
    {
        const SetupReader in(file);
        const std::string program_folder = program_directory();

        // InstallDir ends with "/" (picture names are appended to it);
        // ImageDir, only a folder for the picture dialog to open, does not.
        s.InstallDir = in.text("InstallDir", join_path(program_folder, {}));
        s.ImageFileName = in.picture("ImageFileName", s.InstallDir);
        s.ImageDir = in.text("ImageDir", program_folder);
        s.ReflectionHeightPercent = in.integer("ReflectionHeightPercent", 80);
        s.DelayTimeMS = in.integer("DelayTimeMS", 70);
        s.WaveFactor1 = in.integer("WaveFactor1", 17);
        s.WaveFactor2 = in.integer("WaveFactor2", 30);
        s.Overlay = in.boolean("Overlay", false);
        s.OverlayFileName = in.picture("OverlayFileName", s.InstallDir);
        s.XOffSet = in.integer("XOffSet", 0);
        s.YOffSet = in.integer("YOffSet", 0);
        s.ShiftHorizon = in.boolean("ShiftHorizon", false);
        s.ShiftPixels = in.integer("ShiftPixels", 0);
        s.MultipleMode = in.boolean("MultipleMode", false);
        s.NumMultipleImages = in.integer("NumMultipleImages", 0);
        if (s.NumMultipleImages == 0)
            s.MultipleMode = false;

        const std::int32_t entries = described_entries(file, s.NumMultipleImages);
        s.Images.resize(static_cast<std::size_t>(entries));
        for (std::int32_t k = 1; k <= entries; ++k)
            s.Images[static_cast<std::size_t>(k - 1)].ImageNumber
                = in.picture(entry_key(kImageNumber, k), s.InstallDir);
        for (std::int32_t k = 1; k <= entries; ++k)
            s.Images[static_cast<std::size_t>(k - 1)].ImageShiftNumber
                = in.integer(entry_key(kImageShiftNumber, k), 0);
        for (std::int32_t k = 1; k <= entries; ++k)
            s.Images[static_cast<std::size_t>(k - 1)].UseImageBottom
                = in.boolean(entry_key(kUseImageBottom, k), false);

        s.MultDelayTime = in.integer("MultDelayTime", 10);
        s.DisableReflection = in.boolean("DisableReflection", false);
        s.OverlayReflection = in.boolean("OverlayReflection", true);
        s.NumberOfReflectedImages = in.integer("NumberOfReflectedImages", 12);
        s.OverlayZoomFactor = in.integer("OverlayZoomFactor", 100);
        s.OverlayXparentColor = in.integer("OverlayXparentColor", 0);
        s.Overlay24BitXparentColor = in.integer("Overlay24BitXparentColor", 0);
        s.AutoOverlayXparentColor = in.boolean("AutoOverlayXparentColor", true);
        s.FlipOverlay = in.boolean("FlipOverlay", false);
        s.BrightnessLevel = in.integer("BrightnessLevel", 0);
        s.ImageResCode = in.integer("ImageResCode", 1);
        s.OverlayBrightnessLevel = in.integer("OverlayBrightnessLevel", 1);
        s.OverlayShiftPixels = in.integer("OverlayShiftPixels", 0);
        s.UseImageBottom = in.boolean("UseImageBottom", false);
        s.OverlayWaveAdjustment = in.integer("OverlayWaveAdjustment", 0);
        s.GIFCompression = in.text(kGIFCompression, {});
    }

    // The keys in the order a new file lists them.
    void store(IniFile& file, const Settings& s, const std::string& path)
    {
        const SetupWriter out(file, path);
        out.text("ImageDir", s.ImageDir);
        out.integer("WaveFactor2", s.WaveFactor2);
        out.text("ImageFileName", s.ImageFileName);
        out.boolean("Overlay", s.Overlay);
        out.text("OverlayFileName", s.OverlayFileName);
        out.integer("ReflectionHeightPercent", s.ReflectionHeightPercent);
        out.integer("DelayTimeMS", s.DelayTimeMS);
        out.integer("WaveFactor1", s.WaveFactor1);
        out.integer("XOffSet", s.XOffSet);
        out.integer("YOffSet", s.YOffSet);
        out.boolean("ShiftHorizon", s.ShiftHorizon);
        out.integer("ShiftPixels", s.ShiftPixels);
        out.boolean("MultipleMode", s.MultipleMode);
        out.integer("NumMultipleImages", s.NumMultipleImages);

        // Entries 1 to NumMultipleImages. Those beyond the ones held in
        // memory hold only defaults; they are written where the file already
        // has a key of theirs, so that a stale picture of an earlier, longer
        // list cannot come back as an entry of this one, while a huge count
        // still writes a small file. Keys of entries above the count, or above
        // kMaxImageEntries, stay in the file: reading never takes them.
        const std::int32_t count = std::max(s.NumMultipleImages, 0);
        const auto held = static_cast<std::int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(count), s.Images.size()));
        std::vector<std::int32_t> entries;
        for (std::int32_t k = 1; k <= held; ++k)
            entries.push_back(k);
        std::vector<std::int32_t> stale;
        for (const std::string& key : file.keys(kSection)) {
            for (const std::string_view prefix :
                { kImageNumber, kImageShiftNumber, kUseImageBottom }) {
                const auto k = entry_number(key, prefix);
                if (k && *k > held && *k <= std::min(count, kMaxImageEntries))
                    stale.push_back(*k);
            }
        }
        std::sort(stale.begin(), stale.end());
        stale.erase(std::unique(stale.begin(), stale.end()), stale.end());
        entries.insert(entries.end(), stale.begin(), stale.end());

        for (const std::int32_t k : entries)
            out.text(entry_key(kImageNumber, k), s.image_entry(k).ImageNumber);
        for (const std::int32_t k : entries)
            out.integer(entry_key(kImageShiftNumber, k), s.image_entry(k).ImageShiftNumber);
        for (const std::int32_t k : entries)
            out.boolean(entry_key(kUseImageBottom, k), s.image_entry(k).UseImageBottom);

        out.integer("MultDelayTime", s.MultDelayTime);
        out.boolean("DisableReflection", s.DisableReflection);
        out.integer("NumberOfReflectedImages", s.NumberOfReflectedImages);
        out.boolean("OverlayReflection", s.OverlayReflection);
        out.integer("OverlayZoomFactor", s.OverlayZoomFactor);
        out.integer("OverlayXparentColor", s.OverlayXparentColor);
        out.integer("Overlay24BitXparentColor", s.Overlay24BitXparentColor);
        out.boolean("AutoOverlayXparentColor", s.AutoOverlayXparentColor);
        out.boolean("FlipOverlay", s.FlipOverlay);
        out.integer("BrightnessLevel", s.BrightnessLevel);
        out.integer("ImageResCode", s.ImageResCode);
        out.integer("OverlayBrightnessLevel", s.OverlayBrightnessLevel);
        out.integer("OverlayShiftPixels", s.OverlayShiftPixels);
        out.boolean("UseImageBottom", s.UseImageBottom);
        out.integer("OverlayWaveAdjustment", s.OverlayWaveAdjustment);
        out.text("InstallDir", s.InstallDir);
        // Only a file whose owner chose an encoder names one; every other
        // file stays byte for byte as it has always been written.
        if (!s.GIFCompression.empty() || file.value(kSection, kGIFCompression))
            out.text(kGIFCompression, s.GIFCompression);
    }

} // namespace

void read_settings(const std::string& file_name)
{
    const std::string path = file_name.empty() ? settings_file_name() : file_name;
    std::string text;
    struct stat info { };
    if (stat(path.c_str(), &info) == 0) {
        clear_read_only(path);
        // A file that cannot be read gives the defaults, like a missing one.
        text = read_file(path).value_or(std::string {});
    }
    load(IniFile(text), settings());
}

namespace {

    // The file a replacement of `path` replaces: the file a symbolic link
    // points to, not the link.
    std::string replaced_file(const std::string& path, const Error& failure)
    {
        struct stat info { };
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::error_code error;
        std::string target = std::filesystem::canonical(path, error).string();
        if (error)
            throw failure;
        return target;
    }

} // namespace

void replace_file_contents(const std::string& path, std::string_view bytes)
{
    const Error failure("Unable to write to " + path);
    const std::string target = replaced_file(path, failure);
    struct stat info { };
    const bool existing = stat(target.c_str(), &info) == 0;
    if (!replace_file(target, bytes, existing ? &info : nullptr))
        throw failure;
}

void write_settings(const std::string& file_name)
{
    const std::string path = file_name.empty() ? settings_file_name() : file_name;
    const Error failure("Unable to write to " + path);

    const std::string target = replaced_file(path, failure);
    struct stat info { };
    const bool existing = stat(target.c_str(), &info) == 0;
    std::string old_text;
    if (existing) {
        if (!clear_read_only(target))
            throw failure;
        // Keeping the other lines needs the old ones; never replace a file
        // that cannot be read.
        auto text = read_file(target);
        if (!text)
            throw failure;
        old_text = std::move(*text);
        info.st_mode |= S_IWUSR;
    } else if (file_name.empty()) {
        // The per-user settings folder may not exist yet.
        std::error_code ignored;
        std::filesystem::create_directories(folder_of(target), ignored);
    }

    IniFile file(old_text);
    store(file, settings(), path);
    if (!replace_file(target, file.text(), existing ? &info : nullptr))
        throw failure;
}

Settings default_settings()
{
    Settings record;
    load(IniFile(std::string {}), record);
    return record;
}

std::string format_bool(bool value)
{
    return value ? "True" : "False";
}

bool parse_bool(std::string_view text)
{
    static constexpr std::string_view kTrue = "TRUE";
    return std::equal(text.begin(), text.end(), kTrue.begin(), kTrue.end(),
        [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b; });
}

std::int32_t parse_integer(std::string_view text)
{
    // std::from_chars takes a minus sign but no plus sign.
    std::string_view digits = text;
    if (digits.starts_with('+') && digits.size() > 1 && digits[1] != '-')
        digits.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc {} || end != digits.data() + digits.size())
        throw Error("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

bool is_read_only(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

bool clear_read_only(const std::string& path)
{
    struct stat info { };
    if (stat(path.c_str(), &info) != 0 || (info.st_mode & S_IWUSR) != 0)
        return true;
    return chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

std::string replace_extension(const std::string& path, std::string_view extension)
{
    const auto name_start = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    const auto dot = path.rfind('.');
    // A leading dot marks a hidden file, not an extension.
    if (dot == std::string::npos || dot <= name_start)
        return path + std::string(extension);
    return path.substr(0, dot) + std::string(extension);
}

std::string program_file_name()
{
    if (!program_file_override().empty())
        return program_file_override();
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error)
        return (std::filesystem::current_path(error) / "velmora").string();
    // A program file replaced while it runs is still the program's name.
    static constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted))
        path.resize(path.size() - kDeleted.size());
    return path;
}

void override_program_file_name(const std::string& path)
{
    program_file_override() = path;
}

std::string program_directory()
{
    return folder_of(program_file_name());
}

std::string installed_data_folder(const std::string& program)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder
        = fs::weakly_canonical(fs::path(folder_of(program)) / VELMORA_DATA_FROM_PROGRAM, error);
    if (error || !fs::is_directory(folder, error))
        return {};
    return folder.string();
}

std::string settings_file_name(const std::string& program)
{
    if (installed_data_folder(program).empty() && access(folder_of(program).c_str(), W_OK) == 0)
        return replace_extension(program, ".INI");
    return join_path(user_config_folder(), "velmora/velmora.INI");
}

} // namespace velmora
