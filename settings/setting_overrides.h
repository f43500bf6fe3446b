#pragma once

#include "settings/settings.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Single settings given on a command line on top of the settings file, for
// this run only: velmora-render takes them, and so does the saver inside a
// screen-saver host, whose settings tool offers them as its options. They
// change the settings record in memory; no settings file is ever written.
struct SettingOverrides {
    std::optional<std::string> picture; // --picture FILE
    std::optional<int> edge; // --edge N
    std::optional<int> size; // --size small|medium|large|fit, as ImageResCode
    std::optional<int> frames; // --frames N
    std::optional<int> brightness; // --brightness N
    std::optional<int> wave_shape; // --wave-shape N
    std::optional<int> wind_speed; // --wind-speed N
    std::optional<int> height_percent; // --height-percent N
    bool use_bottom = false; // --use-bottom

    bool operator==(const SettingOverrides&) const = default;
};

// The whole number a switch was given; throws velmora::Error ("NAME needs a
// whole number, not 'VALUE'") for anything else.
int switch_integer(const std::string& name, const std::string& value);

// Reads the override switch at args[i] into `out`. Answers false, changing
// nothing, when args[i] is not one of the switches above. A switch that takes
// a value consumes the next argument and leaves `i` on it. Throws
// velmora::Error with a one-line explanation when the value is missing or
// not valid for the switch (after consuming it, when it was there).
bool read_setting_override(
    const std::vector<std::string>& args, std::size_t& i, SettingOverrides& out);

// The help lines of the override switches, two spaces in, for usage texts.
std::string setting_overrides_usage();

// Applies the overrides to `record`. The water edge and the bottom strip
// belong to the first picture: the single picture, or entry 1 of the slide
// show.
void apply_setting_overrides(const SettingOverrides& overrides, Settings& record);

} // namespace velmora
