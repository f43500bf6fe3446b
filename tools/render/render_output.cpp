#include "tools/render/render_output.h"

#include "base/error.h"
#include "picture/codec_plugins.h"
#include "settings/read_write_ini.h"
#include "settings/replace_file.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace velmora {

std::string default_render_config()
{
    // The saver lives beside the tool; its settings file is the tool's.
    const std::string folder = program_directory();
    return settings_file_name(folder == "/" ? "/velmora" : folder + "/velmora");
}

std::string format_scene(const BuiltScene& built, int screen_width, int screen_height)
{
    const Scene& s = built.scene;
    char scale[64];
    std::snprintf(scale, sizeof scale, "%.17Lg", s.ScaleFactor);
    std::ostringstream out;
    out << "ScaleFactor=" << scale << '\n'
        << "PictureWidth=" << s.picture.width() << '\n'
        << "PictureHeight=" << s.picture.height() << '\n'
        << "ReflectionWidth=" << (s.reflection_shown ? s.area.width() : 0) << '\n'
        << "ReflectionHeight=" << (s.reflection_shown ? s.area.height() : 0) << '\n'
        << "PanelLeft=" << s.panel.left << '\n'
        << "PanelTop=" << s.panel.top << '\n'
        << "PanelWidth=" << s.panel.width << '\n'
        << "PanelHeight=" << s.panel.height << '\n'
        << "ScreenWidth=" << screen_width << '\n'
        << "ScreenHeight=" << screen_height << '\n'
        << "FramesBuilt=" << built.frames.built << '\n';
    return out.str();
}

Bitmap screen_frame(const BuiltScene& built, int k)
{
    const Scene& s = built.scene;
    Bitmap area = s.area;
    copy_frame(built.frames, k, area);
    Bitmap shown(s.picture.width(), s.picture.height() + area.height());
    draw(shown, 0, 0, s.picture);
    draw(shown, 0, s.picture.height(), area);
    return shown;
}

void write_frame_pngs(const BuiltScene& built, const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder))
        throw Error("Unable to create folder " + folder);
    // PNG files are written by Qt, which the tool loads only for them.
    const auto save_png = codec_plugin("images").save_png;
    const std::filesystem::path dir(folder);
    save_png(built.scene.picture, (dir / "picture.png").string());
    for (int k = 1; k <= built.frames.built; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%.2d.png", k);
        save_png(screen_frame(built, k), (dir / name).string());
    }
}

void write_scene_gif(const BuiltScene& built, const Settings& record, const std::string& path,
    bool check_size, const ExportStatus& status)
{
    ReflectionScene scene = export_source(built.scene, built.frames, record);
    scene.check_size = check_size;
    const std::vector<std::uint8_t> bytes = build_reflection_gif(scene, status)->SaveToMemory();
    replace_file_contents(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace velmora
