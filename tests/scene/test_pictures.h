#pragma once

#include "base/error.h"
#include "imaging/bitmap.h"
#include "picture/picture.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace velmora::test {

// Pictures the scene tests "load": a decoder for the made-up extension
// ".vtest" serves bitmaps registered under their file names, so the whole
// scene build runs without encoding pictures. The files exist (empty), as
// the picture loader checks them before it asks a decoder.
inline std::map<std::string, Bitmap>& test_pictures()
{
    static std::map<std::string, Bitmap> pictures;
    return pictures;
}

// Registers `picture` under `name` (ending in ".vtest") and returns the
// path to load it from.
inline std::string register_test_picture(const std::string& name, const Bitmap& picture)
{
    // The files live in a folder of this process, removed when it ends.
    struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path()
            / ("velmora-test-pictures-" + std::to_string(::getpid()));
        Folder()
        {
            std::filesystem::create_directories(path);
            register_picture_decoder("vtest", [](const std::string& file) {
                const auto it = test_pictures().find(file);
                if (it == test_pictures().end())
                    throw Error("no such test picture: " + file);
                return it->second;
            });
        }
        ~Folder() { std::filesystem::remove_all(path); }
    };
    static const Folder folder;
    const std::string path = (folder.path / name).string();
    std::ofstream(path).flush();
    test_pictures()[path] = picture;
    return path;
}

// A boat of w x h pixels for the overlay dialogs: a flat background, a hull
// across the middle of the lower half, a mast in the upper left quarter
// only, so that a mirror shows.
inline constexpr Color kBoatBackground = make_color(0, 128, 255);
inline constexpr Color kBoatHull = make_color(200, 30, 30);
inline constexpr Color kBoatMast = make_color(250, 250, 20);
inline Bitmap boat(int w, int h)
{
    Bitmap b(w, h);
    b.fill(kBoatBackground);
    b.fill_rect(w / 4, h / 2, w * 3 / 4, h, kBoatHull);
    b.fill_rect(w / 4, 0, w / 2, h / 2, kBoatMast);
    return b;
}

// Every pixel tells where it came from: red = x, green = y (both mod 256).
inline Bitmap coordinate_picture(int width, int height)
{
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.set_pixel(x, y, make_color(x % 256, y % 256, 40));
    return b;
}

} // namespace velmora::test
