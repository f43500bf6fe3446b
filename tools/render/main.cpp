// velmora-render: the saver's whole engine from the command line, without a
// display. It reads the saver's settings, builds the scene the saver would
// build for its first picture with the very same core routines, and writes
// the animated GIF, the frames as PNG files, or the numbers behind the scene.

#include "base/error.h"
#include "base/show_info.h"
#include "gif/frame_export.h"
#include "picture/codec_plugins.h"
#include "scene/scene.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"
#include "tools/render/render_output.h"

#include <cstdio>
#include <exception>
#include <unistd.h>

using namespace velmora;

namespace {

// Progress goes to a terminal only; a pipe or a log file gets just the
// messages.
class Progress {
public:
    Progress()
        : terminal_(isatty(STDERR_FILENO) == 1)
    {
    }
    ~Progress() { clear(); }
    void show(const std::string& text)
    {
        if (!terminal_ || text.empty())
            return;
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
        shown_ = true;
    }
    void clear()
    {
        if (shown_)
            std::fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

private:
    bool terminal_;
    bool shown_ = false;
};

int run(const RenderOptions& options)
{
    Progress progress;
    // Each message the saver would show in its box becomes one line on
    // standard error and makes the exit status non-zero.
    bool message_shown = false;
    set_info_handler([&](const std::string& text) {
        progress.clear();
        std::fprintf(stderr, "%s\n", text.c_str());
        message_shown = true;
    });

    Settings& record = settings();
    read_settings(options.config ? *options.config : default_render_config());
    apply_render_overrides(options, record);
    if (options.print_settings)
        std::fputs(format_settings(record).c_str(), stdout);

    const bool needs_scene
        = options.print_scene || !options.gif.empty() || !options.frames_dir.empty();
    if (!needs_scene)
        return message_shown ? 1 : 0;

    const FirstPicture first = first_picture(record);
    SceneHooks hooks;
    hooks.status = [&](const std::string& text) { progress.show(text); };
    std::optional<BuiltScene> built = build_scene(first.file_name, first.water_edge, record,
        options.screen_width, options.screen_height, hooks);
    progress.clear();
    if (!built)
        return 1;

    if (options.print_scene)
        std::fputs(
            format_scene(*built, options.screen_width, options.screen_height).c_str(), stdout);
    if (!options.frames_dir.empty())
        write_frame_pngs(*built, options.frames_dir);
    if (!options.gif.empty()) {
        write_scene_gif(*built, record, options.gif, !options.any_size,
            [&](const std::string& text) { progress.show(text); });
        progress.clear();
    }
    return message_shown ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    RenderOptions options;
    try {
        options = parse_render_options(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const Error& e) {
        std::fprintf(stderr, "velmora-render: %s\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(render_usage().c_str(), stdout);
        return 0;
    }
    // ICO, PNG, WebP, TIFF and the metafiles come from codec plugins, loaded
    // with their libraries only when such a picture is opened: the tool
    // itself links no Qt, so the help or a JPEG, GIF or BMP scene starts
    // with few libraries.
    register_image_plugin();
    register_metafile_plugin();
    try {
        return run(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
