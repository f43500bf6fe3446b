#include "tools/render/render_output.h"

#include "base/error.h"
#include "picture/qt/qimage_view.h"
#include "settings/read_write_ini.h"

#include <QDir>
#include <QSaveFile>
#include <QString>
#include <cstdio>
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

namespace {

    void save_png(const Bitmap& bitmap, const QString& path)
    {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !qimage_view(bitmap).save(&file, "PNG")
            || !file.commit())
            throw Error("Unable to write to " + path.toStdString());
    }

} // namespace

void write_frame_pngs(const BuiltScene& built, const std::string& folder)
{
    const QDir dir(QString::fromStdString(folder));
    if (!dir.mkpath("."))
        throw Error("Unable to create folder " + folder);
    save_png(built.scene.picture, dir.filePath("picture.png"));
    for (int k = 1; k <= built.frames.built; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%.2d.png", k);
        save_png(screen_frame(built, k), dir.filePath(name));
    }
}

void write_scene_gif(const BuiltScene& built, const Settings& record, const std::string& path,
    bool check_size, const ExportStatus& status)
{
    ReflectionScene scene = export_source(built.scene, built.frames, record);
    scene.check_size = check_size;
    const std::vector<std::uint8_t> bytes = build_reflection_gif(scene, status)->SaveToMemory();
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(
               reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
            != static_cast<qint64>(bytes.size())
        || !file.commit())
        throw Error("Unable to write to " + path);
}

} // namespace velmora
