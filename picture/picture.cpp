#include "picture/picture.h"

#include "base/error.h"
#include "gif/gif_reader.h"
#include "picture/bmp_decoder.h"
#include "picture/exif_orientation.h"
#include "picture/jpeg_decoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

    std::string lower(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }

    // The decoders of the core are there from the first use on; the platform
    // layer adds its own with register_picture_decoder.
    std::map<std::string, PictureDecoder>& decoders()
    {
        static std::map<std::string, PictureDecoder> table {
            { "jpg", load_oriented_jpeg_file },
            { "jpeg", load_oriented_jpeg_file },
            // Every picture is shown in 24 bits: a GIF goes there directly.
            { "gif",
                [](const std::string& path) {
                    return decode_gif_true_colour(read_picture_file(path));
                } },
            { "bmp", [](const std::string& path) { return decode_bmp(read_picture_file(path)); } },
        };
        return table;
    }

    std::string extension_of(const std::string& path)
    {
        const auto slash = path.find_last_of('/');
        const auto dot = path.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
            return {};
        return lower(path.substr(dot + 1));
    }

    Error cannot_read(const std::string& path, int error)
    {
        return Error("Cannot read picture file \"" + path + "\": " + std::strerror(error));
    }

    // An open file descriptor that closes itself.
    class OpenFile {
    public:
        explicit OpenFile(int fd)
            : fd_(fd)
        {
        }
        OpenFile(const OpenFile&) = delete;
        OpenFile& operator=(const OpenFile&) = delete;
        ~OpenFile()
        {
            if (fd_ >= 0)
                ::close(fd_);
        }
        int fd() const { return fd_; }

    private:
        int fd_;
    };

    // Opens the path for reading and makes sure it is a regular file: a
    // directory or a device must never reach a decoder (a FIFO would block
    // the open itself without O_NONBLOCK, /dev/zero would never end).
    // Returns the open file and its size.
    std::pair<std::unique_ptr<OpenFile>, long long> open_regular_file(const std::string& path)
    {
        auto file
            = std::make_unique<OpenFile>(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (file->fd() < 0)
            throw cannot_read(path, errno);
        struct stat info { };
        if (::fstat(file->fd(), &info) != 0)
            throw cannot_read(path, errno);
        if (!S_ISREG(info.st_mode))
            throw Error("\"" + path + "\" is not a picture file");
        return { std::move(file), static_cast<long long>(info.st_size) };
    }

} // namespace

void register_picture_decoder(const std::string& extension, PictureDecoder decoder)
{
    decoders()[lower(extension)] = std::move(decoder);
}

std::vector<std::uint8_t> read_picture_file(const std::string& path)
{
    const auto [file, size] = open_regular_file(path);
    if (size > kMaxPictureFileBytes)
        throw Error("The picture file \"" + path + "\" is too large");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file->fd(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw cannot_read(path, errno);
        if (n == 0)
            break; // the file shrank meanwhile
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

Bitmap decode_gif_file(const std::string& path)
{
    return decode_gif(read_picture_file(path));
}

Bitmap load_picture(const std::string& path)
{
    const std::string extension = extension_of(path);
    const auto found = decoders().find(extension);
    if (found == decoders().end())
        throw Error(extension.empty()
                ? "Unknown picture file type: \"" + path + "\" has no extension"
                : "Unknown picture file extension (." + extension + ")");
    // Check the path here too, so every decoder (the library-backed ones
    // especially) only ever sees a readable regular file.
    open_regular_file(path);
    Bitmap bitmap = found->second(path);
    bitmap.set_pixel_format(PixelFormat::pf24bit);
    return bitmap;
}

} // namespace velmora

namespace velmora {

bool has_picture_decoder(const std::string& path)
{
    return decoders().count(extension_of(path)) > 0;
}

} // namespace velmora
