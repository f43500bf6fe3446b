#pragma once

#include "settings/settings.h"

#include <array>
#include <cstdint>

namespace velmora {

// The range the display accepts for one integer setting. The setup dialog
// offers only these values, but the settings file can be edited by hand; the
// display clamps every value it uses to its range instead of crashing on an
// out-of-range index or looping for ever on a zero interval.
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

// Offsets and footing have no upper bound in the dialogs. These limits keep
// every product with a scale factor inside 32 bits; anything further lies far
// off the screen anyway.
inline constexpr std::int32_t kMaxPixelOffset = 1'000'000;

inline constexpr std::array<SettingRange, 15> kSettingRanges { {
    { "ReflectionHeightPercent", &Settings::ReflectionHeightPercent, 5, 100 },
    { "DelayTimeMS", &Settings::DelayTimeMS, 50, 500 },
    { "WaveFactor1", &Settings::WaveFactor1, -100, 100 },
    { "WaveFactor2", &Settings::WaveFactor2, -100, 100 },
    { "XOffSet", &Settings::XOffSet, -kMaxPixelOffset, kMaxPixelOffset },
    { "YOffSet", &Settings::YOffSet, -kMaxPixelOffset, kMaxPixelOffset },
    { "ShiftPixels", &Settings::ShiftPixels, 0, INT32_MAX },
    { "MultDelayTime", &Settings::MultDelayTime, 1, 300 },
    { "NumberOfReflectedImages", &Settings::NumberOfReflectedImages, 3, 15 },
    { "OverlayZoomFactor", &Settings::OverlayZoomFactor, 5, 500 },
    { "BrightnessLevel", &Settings::BrightnessLevel, -200, 200 },
    { "ImageResCode", &Settings::ImageResCode, 0, 2, kFitScreenResCode },
    { "OverlayBrightnessLevel", &Settings::OverlayBrightnessLevel, -200, 200 },
    { "OverlayShiftPixels", &Settings::OverlayShiftPixels, 0, INT32_MAX },
    { "OverlayWaveAdjustment", &Settings::OverlayWaveAdjustment, -20, 20 },
} };

// A copy of `record` with every ranged field clamped to its range. The record
// itself stays as read, so the setup dialog still shows what the file holds.
Settings within_ranges(const Settings& record);

// The water-edge value of a picture: rows below the edge, never negative.
std::int32_t water_edge_in_range(std::int32_t value);

} // namespace velmora
