#pragma once

#include "imaging/bitmap.h"

namespace velmora {

// Whole-bitmap operations of the image engine. Plain functions without
// state; callers own every bitmap.

constexpr int max_int(int a, int b)
{
    return a > b ? a : b;
}
constexpr int min_int(int a, int b)
{
    return a < b ? a : b;
}

// A new bitmap of the source's size: turned upside down when `flip` is on,
// mirrored left to right when `reverse` is on, an exact copy with both off.
// Pixels are copied whole. The new bitmap is not transparent.
// Throws velmora::Error "Can Flip/Reverse only 24-bit bitmap" for a source in
// any other format.
Bitmap flip_reverse_copy(bool flip, bool reverse, const Bitmap& source);

// flip_reverse_copy in place: the bitmap's pixels are replaced, its
// transparency settings stay. Same error, raised before anything changes.
void flip_reverse(bool flip, bool reverse, Bitmap& bitmap);

// Adds `amount` to every blue, green and red byte, clamping to 0..255.
// Requires a 24-bit bitmap (AssertionFailure naming "Rescaler" otherwise).
void adjust_brightness(Bitmap& bitmap, int amount);

// Changes every pixel whose colour is not exactly `key`: each channel
// becomes min(channel + amount, 255) when brightening, and
// max(channel + amount, 10) when darkening, so darkening never goes below 10
// (and lifts channels below 10 to 10). An amount of 0 changes nothing.
// Requires a 24-bit bitmap (AssertionFailure naming "Rescaler" otherwise).
void adjust_brightness_keyed(Bitmap& bitmap, int amount, Color key);

// Rescales the bitmap to exactly new_width x new_height (negative counts as
// 0) by nearest-neighbour selection from the image as it was before the
// call: destination (x, y) copies source (floor(x * w / W), floor(y * h / H)).
// No colours are blended, so a transparent key colour stays exact. Works for
// every pixel format and keeps the format, palette and transparency settings.
// An empty source gives a white bitmap of the new size.
void rescale_bitmap(Bitmap& bitmap, int new_width, int new_height);

} // namespace velmora
