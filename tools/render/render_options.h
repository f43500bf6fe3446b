#pragma once

#include "settings/setting_overrides.h"
#include "settings/settings.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The command line of velmora-render. Every override changes the settings
// record in memory only; the settings file is never written.
struct RenderOptions {
    std::optional<std::string> config; // --config FILE
    SettingOverrides overrides; // --picture, --edge, --size, --frames, ...
    std::string gif; // --gif FILE
    bool any_size = false; // --any-size
    bool lzw = false; // --lzw: GIFCompression=LZW
    std::string frames_dir; // --frames-dir DIR
    bool print_settings = false;
    bool print_scene = false;
    int screen_width = 1920; // --screen WxH
    int screen_height = 1080;
    bool help = false;
};

// Parses the arguments after the program name. Throws velmora::Error with a
// one-line explanation on a usage error.
RenderOptions parse_render_options(const std::vector<std::string>& args);

// The --help text.
std::string render_usage();

// Applies the overrides of `options` to `record`.
void apply_render_overrides(const RenderOptions& options, Settings& record);

// The settings record as `Key=value` lines in the order of the settings
// table, image-list entries included.
std::string format_settings(const Settings& record);

} // namespace velmora
