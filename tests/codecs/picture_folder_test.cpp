#include "picture/picture_folder.h"
#include "picture/qt/platform_codecs.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A folder's own pictures first, then each sub-folder's, all by name.
TEST(PictureFolder, SupportedPicturesSortedByNameOptionallyBelow)
{
    velmora::register_platform_codecs();
    std::string pattern = (fs::temp_directory_path() / "velmora-folder-XXXXXX").string();
    const fs::path root = ::mkdtemp(pattern.data());
    for (const char* name : { "b.JPG", "a.png", "c.txt", "d.jpg.bak", "noext", "sub/a2.gif",
             "sub/deeper/z.webp", "Sub2/x.bmp", "zz.png" }) {
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << "x";
    }
    fs::create_directory(root / "e.jpg"); // a folder, not a picture
    fs::create_directory_symlink(root, root / "sub" / "loop"); // never followed
    fs::create_symlink(root / "gone.jpg", root / "broken.jpg");

    const auto names = [&](bool sub_folders) {
        std::vector<std::string> relative;
        for (const std::string& path : velmora::pictures_in_folder(root.string(), sub_folders))
            relative.push_back(fs::path(path).lexically_relative(root).string());
        return relative;
    };
    EXPECT_EQ(names(false), (std::vector<std::string> { "a.png", "b.JPG", "zz.png" }));
    EXPECT_EQ(names(true),
        (std::vector<std::string> {
            "a.png", "b.JPG", "zz.png", "sub/a2.gif", "sub/deeper/z.webp", "Sub2/x.bmp" }));
    EXPECT_TRUE(velmora::pictures_in_folder((root / "missing").string(), true).empty());
    EXPECT_TRUE(velmora::pictures_in_folder((root / "a.png").string(), false).empty());
    fs::remove_all(root);
}
