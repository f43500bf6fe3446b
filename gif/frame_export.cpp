#include "gif/frame_export.h"

#include "gif/dither.h"
#include "gif/palette.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

    void report(const ExportStatus& status, const std::string& text)
    {
        if (status)
            status(text);
    }

    // Copies a rectangle pixel by pixel, never treating any colour as
    // transparent (the scene's bitmaps may carry a transparent flag for the
    // display's own drawing).
    void copy_rect(Bitmap& dest, int dx, int dy, const Bitmap& src, int sx, int sy, int w, int h)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (sx + x < 0 || sy + y < 0 || sx + x >= src.width() || sy + y >= src.height())
                    continue;
                dest.set_pixel(dx + x, dy + y, src.pixel(sx + x, sy + y));
            }
    }

    void add_frame(TGIFImage& gif, const Bitmap& mapped, bool transparent, int delay_ms)
    {
        const int index = gif.AddFrame(mapped);
        TGIFSubImage& frame = gif.frame(index);
        if (index == 0) {
            auto loop = std::make_unique<TGIFAppExtNSLoop>();
            loop->loop_count = 0;
            frame.add_extension(std::move(loop));
        }
        auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
        control->set_delay(delay_ms / 10);
        if (transparent) {
            control->set_transparent(true);
            // The index the red fill of the picture area was mapped to.
            control->set_transparent_index(frame.PixelAt(0, 0));
        }
        frame.add_extension(std::move(control));
    }

} // namespace

std::unique_ptr<TGIFImage> build_reflection_gif(
    const ReflectionScene& scene, const ExportStatus& status)
{
    const int w1 = scene.picture ? scene.picture->width() : 0;
    const int h1 = scene.picture ? scene.picture->height() : 0;
    const int w2 = scene.area_width;
    const int h2 = scene.area_height;
    const int n = scene.frames_built;
    if (scene.check_size
        && (w1 - 1 > kMaxGIFSceneWidth - 1 || h1 + h2 - 1 > kMaxGIFSceneHeight - 1))
        throw Error("Image too large (" + std::to_string(w1) + "X" + std::to_string(h1 + h2)
            + ") for saving to animate GIF!");
    if (!scene.picture || !scene.frame_strip || n <= 0 || w2 <= 0 || h2 <= 0)
        throw Error("No reflection images built yet. Nothing to save!");

    // The picture with the first reflection frame below it, in 5-6-5 like
    // the screen the export was designed for; the palette step makes it
    // 24-bit.
    Bitmap composite(w2, h1 + h2, PixelFormat::pf16bit);
    copy_rect(composite, 0, 0, *scene.picture, 0, 0, w1, h1);
    copy_rect(composite, 0, h1, *scene.frame_strip, 0, 0, w2, h2);

    report(status, "Create Optimized Palette for 256 color GIF...");
    const std::vector<Color> palette = BuildSharedPalette({ &composite }, 256, 8);
    auto gif = std::make_unique<TGIFImage>();
    {
        const Bitmap mapped = RemapToPalette(composite, palette, dmFloydSteinberg);
        report(status, "Creating Animated GIF Frame 1 of " + std::to_string(n));
        add_frame(*gif, mapped, false, scene.delay_ms);
    }

    // Later frames show only the reflection: the picture area is filled
    // with red and made transparent, except its last row.
    composite.fill_rect(0, 0, w1, h1 - 1, make_color(255, 0, 0));
    for (int i = 2; i <= n; ++i) {
        report(status, "Creating Animated Frame " + std::to_string(i) + " of " + std::to_string(n));
        copy_rect(composite, 0, h1, *scene.frame_strip, (i - 1) * w2, 0, w2, h2);
        const Bitmap mapped = RemapToPalette(composite, palette, dmNearest);
        add_frame(*gif, mapped, true, scene.delay_ms);
    }

    gif->MergeColorMaps();
    gif->Compression = scene.lzw ? TGIFImage::kLZW : TGIFImage::kRunLength;
    return gif;
}

std::string reflection_file_name(const std::string& folder, int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "Reflection_%.2d.GIF", number);
    return (std::filesystem::path(folder) / name).string();
}

namespace {

    constexpr int kLastFileNumber = 100;

    bool exists(const std::string& path)
    {
        struct stat info;
        return ::lstat(path.c_str(), &info) == 0;
    }

    // Gives the complete temporary file its final name unless that name
    // exists. Returns false with errno EEXIST when it does.
    bool link_no_replace(const std::string& from, const std::string& to)
    {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return false;
        // A file system without the no-replace rename: a hard link fails the
        // same way when the name exists.
        if (::link(from.c_str(), to.c_str()) != 0)
            return false;
        ::unlink(from.c_str());
        return true;
    }

    // The bytes in a new hidden file of the folder, flushed to the disk.
    std::string write_temporary(const std::vector<std::uint8_t>& bytes, const std::string& folder,
        const std::string& target)
    {
        std::string path = (std::filesystem::path(folder) / ".Reflection_XXXXXX").string();
        const int fd = ::mkstemp(path.data());
        if (fd < 0)
            throw Error("Unable to write to " + target);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
        std::size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                done += static_cast<std::size_t>(n);
        }
        ok = ok && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        if (!ok) {
            ::unlink(path.c_str());
            throw Error("Unable to write to " + target);
        }
        return path;
    }

} // namespace

std::string store_reflection_gif(
    const std::vector<std::uint8_t>& bytes, const std::string& folder, const ExportStatus& status)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int number = 0;
    while (number < kLastFileNumber && exists(reflection_file_name(folder, number)))
        ++number;
    std::string name = reflection_file_name(folder, number);
    report(status, "Writing GIF file " + name + ".  Please wait...");

    const std::string temporary = write_temporary(bytes, folder, name);
    for (;;) {
        name = reflection_file_name(folder, number);
        if (link_no_replace(temporary, name))
            break;
        const int failure = errno;
        if (failure == EEXIST && number < kLastFileNumber) {
            ++number; // taken since the search
            continue;
        }
        // Every name is taken: the last one is replaced, as it always was.
        if (failure == EEXIST && ::rename(temporary.c_str(), name.c_str()) == 0)
            break;
        ::unlink(temporary.c_str());
        throw Error("Unable to write to " + name);
    }
    // Make the new name itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return name;
}

std::string save_reflection_gif(
    const ReflectionScene& scene, const std::string& folder, const ExportStatus& status)
{
    const auto gif = build_reflection_gif(scene, status);
    return store_reflection_gif(gif->SaveToMemory(), folder, status);
}

} // namespace velmora
