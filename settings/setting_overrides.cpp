#include "settings/setting_overrides.h"

#include "base/error.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

namespace velmora {

namespace {

    int size_code(const std::string& value)
    {
        if (value == "small")
            return 0;
        if (value == "medium")
            return 1;
        if (value == "large")
            return 2;
        if (value == "fit")
            return kFitScreenResCode;
        throw Error("--size must be small, medium, large or fit, not '" + value + "'");
    }

} // namespace

int switch_integer(const std::string& name, const std::string& value)
{
    try {
        return parse_integer(value);
    } catch (const Error&) {
        throw Error(name + " needs a whole number, not '" + value + "'");
    }
}

bool read_setting_override(
    const std::vector<std::string>& args, std::size_t& i, SettingOverrides& out)
{
    const std::string& arg = args[i];
    const auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size())
            throw Error(arg + " needs a value (see --help)");
        return args[++i];
    };
    const std::pair<const char*, std::optional<int> SettingOverrides::*> integers[] {
        { "--frames", &SettingOverrides::frames },
        { "--brightness", &SettingOverrides::brightness },
        { "--wave-shape", &SettingOverrides::wave_shape },
        { "--wind-speed", &SettingOverrides::wind_speed },
        { "--height-percent", &SettingOverrides::height_percent },
    };
    for (const auto& [name, field] : integers) {
        if (arg == name) {
            out.*field = switch_integer(arg, value());
            return true;
        }
    }
    if (arg == "--picture") {
        out.picture = value();
    } else if (arg == "--edge") {
        const int edge = switch_integer(arg, value());
        if (edge < 0)
            throw Error("--edge must be 0 or more");
        out.edge = edge;
    } else if (arg == "--size") {
        out.size = size_code(value());
    } else if (arg == "--use-bottom") {
        out.use_bottom = true;
    } else {
        return false;
    }
    return true;
}

std::string setting_overrides_usage()
{
    return R"(  --picture FILE        single-image mode with this picture
                          e.g. --picture photo.jpg
  --edge N              water edge N rows above the picture's bottom; 0 = none
                          e.g. --edge 120
  --size S              viewing size: small (320x200), medium (640x480),
                        large (800x600), fit (the whole screen)
                          e.g. --size small
  --frames N            number of reflection frames (3..15)   e.g. --frames 8
  --brightness N        brightness change of the reflection (-200..200)
                          e.g. --brightness -40
  --wave-shape N        wave shape factor (-100..100)   e.g. --wave-shape 17
  --wind-speed N        wind speed factor (-100..100)   e.g. --wind-speed 30
  --height-percent N    reflection height in percent (5..100)
                          e.g. --height-percent 60
  --use-bottom          use the picture's own strip below the water edge as
                        the reflection's base (needs --edge or a water edge)
)";
}

void apply_setting_overrides(const SettingOverrides& o, Settings& record)
{
    if (o.picture) {
        record.MultipleMode = false;
        record.ImageFileName = *o.picture;
    }
    const bool list = record.MultipleMode && record.NumMultipleImages > 0;
    if (list && record.Images.empty())
        record.Images.resize(1);
    if (o.edge) {
        if (list) {
            record.Images[0].ImageShiftNumber = *o.edge;
        } else {
            record.ShiftHorizon = *o.edge > 0;
            record.ShiftPixels = *o.edge;
        }
    }
    if (o.use_bottom) {
        if (list)
            record.Images[0].UseImageBottom = true;
        else
            record.UseImageBottom = true;
    }
    if (o.size)
        record.ImageResCode = *o.size;
    if (o.frames)
        record.NumberOfReflectedImages = *o.frames;
    if (o.brightness)
        record.BrightnessLevel = *o.brightness;
    if (o.wave_shape)
        record.WaveFactor1 = *o.wave_shape;
    if (o.wind_speed)
        record.WaveFactor2 = *o.wind_speed;
    if (o.height_percent)
        record.ReflectionHeightPercent = *o.height_percent;
}

} // namespace velmora
