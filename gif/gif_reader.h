#pragma once

#include "gif/gif_image.h"
#include "imaging/bitmap.h"

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// The colour depth of the display pictures are shown on. At 8 bits or less a
// GIF's first frame is dithered onto the fixed 216-colour cube. The display
// sets it once it knows its screen; the default is 24.
void set_display_depth(int bits_per_pixel);
int display_depth();

// The first frame as a bitmap: empty without any image; an 8-bit bitmap with
// the frame's palette (local table, else global) when the frame covers the
// logical screen exactly, else a screen-sized one with the frame drawn at its
// position. Transparency is not applied. Fails with "No global or local
// color table defined" when the frame has no table to show it with.
Bitmap gif_to_bitmap(const TGIFImage& image, int depth = display_depth());

// Decodes a GIF held in memory to the first frame's bitmap.
Bitmap decode_gif(std::span<const std::uint8_t> bytes, const GIFWarningHandler& warn = {});

// The first frame in 24 bits: exactly what gif_to_bitmap gives, turned to
// 24 bits (the palette kept with it), but a frame that covers the screen
// goes straight from its indices to colours, without an 8-bit copy.
Bitmap gif_to_true_colour(const TGIFImage& image, int depth = display_depth());

// Decodes a GIF held in memory to the first frame in 24 bits.
Bitmap decode_gif_true_colour(
    std::span<const std::uint8_t> bytes, const GIFWarningHandler& warn = {});

} // namespace velmora
