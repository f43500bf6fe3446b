#include "app/first_start.h"

#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <filesystem>
#include <system_error>

namespace velmora {

namespace {

    namespace fs = std::filesystem;

    constexpr const char* kDemoSettings = "velmora.INI";

} // namespace

std::string demo_scene_folder()
{
    const std::string folder = installed_data_folder();
    std::error_code error;
    if (folder.empty() || !fs::is_regular_file(fs::path(folder) / kDemoSettings, error))
        return {};
    return folder;
}

bool provide_first_settings(const std::string& demo_folder)
{
    if (demo_folder.empty())
        return false;
    const std::string target = settings_file_name();
    std::error_code error;
    if (fs::exists(target, error) || error)
        return false;
    // Picture names without a folder belong to the folder of the program
    // reading them: read as if the program lived beside the demo pictures,
    // the names (and InstallDir) come out as full paths into that folder.
    const std::string program = program_file_name();
    const Settings kept = settings();
    bool written = false;
    try {
        override_program_file_name(demo_folder + "/velmora");
        read_settings(demo_folder + "/" + kDemoSettings);
        fs::create_directories(fs::path(target).parent_path(), error);
        write_settings(target);
        written = true;
    } catch (...) {
        // Without a settings file the saver runs on its defaults.
    }
    // Back to the program's own name, or to the one a caller had set.
    override_program_file_name({});
    if (program_file_name() != program)
        override_program_file_name(program);
    settings() = kept;
    return written;
}

} // namespace velmora
