// The first start of an installed copy writes settings naming the demo scene
// kept in the data folder into the user's configuration folder, even when
// the program's folder could be written; an existing settings file is left
// alone.

#include "app/first_start.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string content(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FirstStart, AnInstalledCopyGetsSettingsNamingTheDemoSceneOnce)
{
    const fs::path prefix
        = fs::temp_directory_path() / ("velmora-first-start-" + std::to_string(getpid()));
    fs::remove_all(prefix);
    fs::create_directories(prefix / "bin");
    // The data folder where the default install layout puts it.
    const fs::path data = prefix / "share/velmora";
    const fs::path program = prefix / "bin/velmora";
    velmora::override_program_file_name(program.string());
    setenv("XDG_CONFIG_HOME", (prefix / "config").c_str(), 1);

    // No demo scene beside the program (the build folder): nothing to do.
    EXPECT_EQ(velmora::demo_scene_folder(), "");
    EXPECT_FALSE(velmora::provide_first_settings(""));

    fs::create_directories(data);
    std::ofstream(data / "velmora.INI")
        << "[Setup]\r\nImageFileName=demo_lake.bmp\r\nOverlay=True\r\n"
           "OverlayFileName=demo_boat.bmp\r\nShiftHorizon=True\r\nShiftPixels=180\r\n";
    const std::string folder = velmora::demo_scene_folder();
    EXPECT_EQ(fs::path(folder), fs::canonical(data));

    velmora::settings() = velmora::default_settings();
    velmora::settings().ImageFileName = "in memory";
    ASSERT_TRUE(velmora::provide_first_settings(folder));
    // The caller's record and program name are as they were.
    EXPECT_EQ(velmora::settings().ImageFileName, "in memory");
    EXPECT_EQ(velmora::program_file_name(), program.string());

    const fs::path written = prefix / "config/velmora/velmora.INI";
    ASSERT_EQ(velmora::settings_file_name(), written.string());
    EXPECT_FALSE(fs::exists(prefix / "bin/velmora.INI"));
    velmora::read_settings(written.string());
    const velmora::Settings& s = velmora::settings();
    EXPECT_EQ(s.ImageFileName, folder + "/demo_lake.bmp");
    EXPECT_EQ(s.OverlayFileName, folder + "/demo_boat.bmp");
    EXPECT_TRUE(s.Overlay);
    EXPECT_EQ(s.ShiftPixels, 180);

    // The user's own settings are never replaced.
    std::ofstream(written) << "[Setup]\nImageFileName=mine.jpg\n";
    EXPECT_FALSE(velmora::provide_first_settings(folder));
    EXPECT_EQ(content(written), "[Setup]\nImageFileName=mine.jpg\n");

    velmora::override_program_file_name({});
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(prefix);
}

} // namespace
