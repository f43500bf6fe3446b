#include "platform/saver_password.h"

#include "base/error.h"
#include "platform/password_dialogs.h"

#include <algorithm>
#include <cerrno>
#include <crypt.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

    // A yescrypt hash is "$y$", the parameters, the salt and 43 characters of
    // crypt's base-64 alphabet; a file longer than this holds no hash of ours.
    constexpr std::size_t kMaxFileSize = 512;
    constexpr std::size_t kHashLength = 43;

    void wipe(std::string& secret)
    {
        explicit_bzero(secret.data(), secret.size());
        secret.clear();
    }

    // crypt's working area is large and ends up holding the password and
    // intermediate values: keep it off the stack and wipe it when done.
    struct CryptArea {
        CryptArea() { std::memset(data.get(), 0, sizeof(crypt_data)); }
        ~CryptArea() { explicit_bzero(data.get(), sizeof(crypt_data)); }
        CryptArea(const CryptArea&) = delete;
        CryptArea& operator=(const CryptArea&) = delete;

        // The hash of `password` with the given setting; empty on failure.
        std::string hash(const std::string& password, const char* setting)
        {
            if (password.find('\0') != std::string::npos)
                return {};
            const char* result
                = crypt_rn(password.c_str(), setting, data.get(), sizeof(crypt_data));
            if (!result || result[0] == '*')
                return {};
            return result;
        }

        std::unique_ptr<crypt_data> data = std::make_unique<crypt_data>();
    };

    bool is_hash_character(char c)
    {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || c == '.' || c == '/';
    }

    bool is_valid_hash(const std::string& hash)
    {
        if (hash.rfind("$y$", 0) != 0
            || !std::all_of(
                hash.begin(), hash.end(), [](char c) { return c == '$' || is_hash_character(c); })
            || crypt_checksalt(hash.c_str()) != CRYPT_SALT_OK)
            return false;
        return hash.size() - hash.rfind('$') - 1 == kHashLength;
    }

    // The stored hash, or nothing when the file is missing, unreadable or
    // does not hold a valid hash.
    std::optional<std::string> stored_hash()
    {
        const int fd
            = ::open(SaverPassword::file_path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return std::nullopt;
        char buffer[kMaxFileSize + 1];
        std::size_t size = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buffer + size, sizeof buffer - size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            size += static_cast<std::size_t>(n);
            if (size == sizeof buffer)
                break;
        }
        ::close(fd);
        if (size > kMaxFileSize)
            return std::nullopt;
        std::string hash(buffer, size);
        while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r'))
            hash.pop_back();
        if (!is_valid_hash(hash))
            return std::nullopt;
        return hash;
    }

    // Compares without stopping at the first difference, so the time taken
    // tells nothing about how much of a guess was right.
    bool constant_time_equal(const std::string& a, const std::string& b)
    {
        if (a.size() != b.size())
            return false;
        unsigned char difference = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            difference |= static_cast<unsigned char>(a[i] ^ b[i]);
        return difference == 0;
    }

    bool write_all(int fd, const std::string& text)
    {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    [[noreturn]] void fail_to_write(const std::string& path)
    {
        throw Error("Unable to write to " + path);
    }

    SaverPassword::Prompt& prompt()
    {
        static SaverPassword::Prompt current;
        return current;
    }

} // namespace

std::string SaverPassword::file_path()
{
    std::filesystem::path base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        base = config;
    else {
        // A saver started with a stripped environment must still find the
        // user's password; without it the screen would unlock unasked.
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* user = getpwuid(getuid());
            home = user && user->pw_dir ? user->pw_dir : "/";
        }
        base = std::filesystem::path(home) / ".config";
    }
    return (base / "velmora" / "password").string();
}

bool SaverPassword::in_use()
{
    return stored_hash().has_value();
}

bool SaverPassword::check(const std::string& password)
{
    const std::optional<std::string> stored = stored_hash();
    if (!stored)
        return false;
    CryptArea area;
    std::string hash = area.hash(password, stored->c_str());
    const bool right = !hash.empty() && constant_time_equal(hash, *stored);
    wipe(hash);
    return right;
}

void SaverPassword::set(const std::string& password)
{
    const std::filesystem::path path = file_path();
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting))
        fail_to_write(path.string());
    CryptArea area;
    std::string hash = area.hash(password, setting);
    if (hash.empty())
        fail_to_write(path.string());

    // Only the owner may ever read the folder or the file; the file appears
    // complete or not at all.
    const std::filesystem::path dir = path.parent_path();
    std::error_code error;
    std::filesystem::create_directories(dir.parent_path(), error);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        fail_to_write(path.string());
    std::string temp = (dir / "password.XXXXXX").string();
    // mkostemp creates the file for its owner only (mode 0600).
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        fail_to_write(path.string());
    hash += '\n';
    const bool written = write_all(fd, hash) && ::fsync(fd) == 0;
    wipe(hash);
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        fail_to_write(path.string());
    }
}

void SaverPassword::remove()
{
    const std::string path = file_path();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        fail_to_write(path);
}

bool SaverPassword::verify(QWidget* parent)
{
    if (!in_use())
        return true;
    std::optional<std::string> typed = prompt() ? prompt()(parent) : ask_saver_password(parent);
    if (!typed)
        return false;
    const bool right = check(*typed);
    wipe(*typed);
    return right;
}

void SaverPassword::set_prompt(Prompt replacement)
{
    prompt() = std::move(replacement);
}

} // namespace velmora
