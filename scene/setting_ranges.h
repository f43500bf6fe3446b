#pragma once

#include "settings/settings.h"

#include <array>
#include <cstdint>

namespace velmora {

// The values the display can use without a fault, for the integer settings
// where some value would cause one. The setup dialog offers narrower ranges
// of its own, but a settings file can be edited by hand, and a hand-edited
// value the display can use (a delay of 20 ms, a picture change every 600 s,
// a wave factor of 500, a zoom of 900 %) is used as the file says. Only
// values that would fault are moved to the nearest harmless one. Settings
// absent here need no limit: the engine takes every value they can hold
// (wave factors and shapes, zoom, which fails the overlay when it gives no
// or too large a size, and the water edge, below).
struct SettingRange {
    const char* key;
    std::int32_t Settings::*field;
    std::int32_t min;
    std::int32_t max;
    // One value beyond `max` that the display also takes as it is, or
    // kNoExtraValue. Lets a key grow a new choice while every other value
    // out of range is clamped as it always was.
    std::int32_t extra = kNoExtraValue;
    static constexpr std::int32_t kNoExtraValue = INT32_MIN;
};

// Offsets have no upper bound in the dialogs. These limits keep every
// product with a scale factor inside 32 bits; anything further lies far off
// the screen anyway.
inline constexpr std::int32_t kMaxPixelOffset = 1'000'000;
// Brightness levels are added to each other and to colour channels: beyond
// this they change nothing more, and their sum stays inside 32 bits.
inline constexpr std::int32_t kMaxBrightnessLevel = 1 << 20;
// The display keeps at most this many reflection frames.
inline constexpr std::int32_t kMaxFrames = 15;

inline constexpr std::array<SettingRange, 10> kSettingRanges { {
    // A negative height has no rows (and -100 % divides by zero when the
    // picture is fitted); ten times the picture is as large as the
    // reflection area may grow before it outgrows any memory.
    { "ReflectionHeightPercent", &Settings::ReflectionHeightPercent, 0, 1000 },
    // A timer of no interval would never let the saver rest.
    { "DelayTimeMS", &Settings::DelayTimeMS, 1, INT32_MAX },
    { "XOffSet", &Settings::XOffSet, -kMaxPixelOffset, kMaxPixelOffset },
    { "YOffSet", &Settings::YOffSet, -kMaxPixelOffset, kMaxPixelOffset },
    // Seconds become milliseconds for the picture-change timer.
    { "MultDelayTime", &Settings::MultDelayTime, 1, INT32_MAX / 1000 },
    // No frame would leave nothing to show and nothing to export.
    { "NumberOfReflectedImages", &Settings::NumberOfReflectedImages, 1, kMaxFrames },
    { "BrightnessLevel", &Settings::BrightnessLevel, -kMaxBrightnessLevel, kMaxBrightnessLevel },
    // An index into the three viewing sizes, or "Fit Screen".
    { "ImageResCode", &Settings::ImageResCode, 0, 2, kFitScreenResCode },
    { "OverlayBrightnessLevel", &Settings::OverlayBrightnessLevel, -kMaxBrightnessLevel,
        kMaxBrightnessLevel },
    // A negative footing would grow the overlay instead of cutting it.
    { "OverlayShiftPixels", &Settings::OverlayShiftPixels, 0, INT32_MAX },
} };

// A copy of `record` with every ranged field clamped to its range. The record
// itself stays as read, so the setup dialog still shows what the file holds.
Settings within_ranges(const Settings& record);

// The water-edge value of a picture: rows below the edge, never negative.
std::int32_t water_edge_in_range(std::int32_t value);

} // namespace velmora
