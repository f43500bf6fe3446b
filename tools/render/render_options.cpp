#include "tools/render/render_options.h"

#include "base/error.h"
#include "settings/read_write_ini.h"

#include <cstdio>
#include <sstream>

namespace velmora {

namespace {

    void screen_size(const std::string& value, RenderOptions& options)
    {
        const auto x = value.find_first_of("xX");
        if (x == std::string::npos)
            throw Error("--screen needs WIDTHxHEIGHT, not '" + value + "'");
        const int w = switch_integer("--screen", value.substr(0, x));
        const int h = switch_integer("--screen", value.substr(x + 1));
        if (w <= 0 || h <= 0)
            throw Error("--screen needs a positive width and height, not '" + value + "'");
        options.screen_width = w;
        options.screen_height = h;
    }

    std::string nn(int k)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%.2d", k);
        return text;
    }

} // namespace

RenderOptions parse_render_options(const std::vector<std::string>& args)
{
    RenderOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw Error(arg + " needs a value (see --help)");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (arg == "--config")
            options.config = value();
        else if (read_setting_override(args, i, options.overrides))
            continue;
        else if (arg == "--gif")
            options.gif = value();
        else if (arg == "--any-size")
            options.any_size = true;
        else if (arg == "--lzw")
            options.lzw = true;
        else if (arg == "--frames-dir")
            options.frames_dir = value();
        else if (arg == "--print-settings")
            options.print_settings = true;
        else if (arg == "--print-scene")
            options.print_scene = true;
        else if (arg == "--screen")
            screen_size(value(), options);
        else
            throw Error("Unknown option '" + arg + "' (see --help)");
    }
    return options;
}

std::string render_usage()
{
    return R"(Usage: velmora-render [OPTION]...
Builds the water reflection of the screen saver's first picture without a
display, with the same routines the saver uses, and writes it out.

Settings (read from the saver's settings file, ~/.config/velmora/velmora.INI
for an installed copy, velmora.INI beside the program for a build, unless
--config is given; a missing file means all defaults). Each option overrides
the settings in memory only; no settings file is ever written.
  --config FILE         read the settings from FILE instead
                          e.g. --config ~/saver/velmora.INI
)" + setting_overrides_usage()
        + R"(  --screen WxH          screen size for --print-scene (default 1920x1080)
                          e.g. --screen 1280x1024

Outputs (any number of them):
  --gif FILE            write the animated GIF exactly as the saver's F12
                        export would     e.g. --gif out.gif
  --any-size            lift the export's size limit (323 x 203) for --gif
  --lzw                 write the GIF with LZW codes: a smaller file with the
                        same frames (as GIFCompression=LZW in the settings)
  --frames-dir DIR      write DIR/picture.png and DIR/frame_01.png ... (the
                        picture over one reflection frame, as on screen)
                          e.g. --frames-dir frames
  --print-settings      print the settings as read, one Key=value per line
  --print-scene         print the scene geometry as name=value lines
  --help                show this text

Every message the saver would show is printed on standard error and the
program exits with a non-zero status.

Example:
  velmora-render --picture photo.jpg --edge 80 --size small --gif out.gif
)";
}

void apply_render_overrides(const RenderOptions& options, Settings& record)
{
    apply_setting_overrides(options.overrides, record);
    if (options.lzw)
        record.GIFCompression = "LZW";
}

std::string format_settings(const Settings& s)
{
    std::ostringstream out;
    auto line = [&](const char* key, const auto& value) { out << key << '=' << value << '\n'; };
    auto flag = [&](const char* key, bool value) { line(key, format_bool(value)); };
    line("InstallDir", s.InstallDir);
    line("ImageFileName", s.ImageFileName);
    line("ImageDir", s.ImageDir);
    line("ReflectionHeightPercent", s.ReflectionHeightPercent);
    line("DelayTimeMS", s.DelayTimeMS);
    line("WaveFactor1", s.WaveFactor1);
    line("WaveFactor2", s.WaveFactor2);
    flag("Overlay", s.Overlay);
    line("OverlayFileName", s.OverlayFileName);
    line("XOffSet", s.XOffSet);
    line("YOffSet", s.YOffSet);
    flag("ShiftHorizon", s.ShiftHorizon);
    line("ShiftPixels", s.ShiftPixels);
    flag("MultipleMode", s.MultipleMode);
    line("NumMultipleImages", s.NumMultipleImages);
    const int entries = static_cast<int>(std::min<std::size_t>(
        s.Images.size(), static_cast<std::size_t>(std::max(s.NumMultipleImages, 0))));
    for (int k = 1; k <= entries; ++k)
        out << "ImageNumber_" << nn(k) << '='
            << s.Images[static_cast<std::size_t>(k - 1)].ImageNumber << '\n';
    for (int k = 1; k <= entries; ++k)
        out << "ImageShiftNumber_" << nn(k) << '='
            << s.Images[static_cast<std::size_t>(k - 1)].ImageShiftNumber << '\n';
    for (int k = 1; k <= entries; ++k)
        out << "UseImageBottom_" << nn(k) << '='
            << format_bool(s.Images[static_cast<std::size_t>(k - 1)].UseImageBottom) << '\n';
    line("MultDelayTime", s.MultDelayTime);
    flag("DisableReflection", s.DisableReflection);
    flag("OverlayReflection", s.OverlayReflection);
    line("NumberOfReflectedImages", s.NumberOfReflectedImages);
    line("OverlayZoomFactor", s.OverlayZoomFactor);
    line("OverlayXparentColor", s.OverlayXparentColor);
    line("Overlay24BitXparentColor", s.Overlay24BitXparentColor);
    flag("AutoOverlayXparentColor", s.AutoOverlayXparentColor);
    flag("FlipOverlay", s.FlipOverlay);
    line("BrightnessLevel", s.BrightnessLevel);
    line("ImageResCode", s.ImageResCode);
    line("OverlayBrightnessLevel", s.OverlayBrightnessLevel);
    line("OverlayShiftPixels", s.OverlayShiftPixels);
    flag("UseImageBottom", s.UseImageBottom);
    line("OverlayWaveAdjustment", s.OverlayWaveAdjustment);
    if (!s.GIFCompression.empty())
        line("GIFCompression", s.GIFCompression);
    return out.str();
}

} // namespace velmora
