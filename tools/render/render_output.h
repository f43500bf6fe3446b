#pragma once

#include "gif/frame_export.h"
#include "scene/scene.h"
#include "tools/render/render_options.h"

#include <string>

namespace velmora {

// The settings file of the saver installed beside the tool, which is the
// tool's own.
std::string default_render_config();

// The scene geometry as name=value lines; ScaleFactor with 17 significant
// digits, the panel placed on a screen of the given size.
std::string format_scene(const BuiltScene& built, int screen_width, int screen_height);

// The picture as the screen shows it above frame k (1-based): the picture
// with the reflection frame directly below it.
Bitmap screen_frame(const BuiltScene& built, int k);

// Writes DIR/picture.png and DIR/frame_01.png ... frame_NN.png (the folder is
// created when missing). Throws velmora::Error when a file cannot be written.
void write_frame_pngs(const BuiltScene& built, const std::string& folder);

// Writes the animated GIF of the scene to `path` exactly as the saver's
// export would make it; `check_size` false lifts the export's size limit.
// The file is replaced only once it is complete.
void write_scene_gif(const BuiltScene& built, const Settings& record, const std::string& path,
    bool check_size, const ExportStatus& status);

} // namespace velmora
