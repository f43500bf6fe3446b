// The GIF reader and the first frame's bitmap, at a true-colour depth and
// at the 8-bit depth that dithers onto the colour cube.
#include "base/error.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    velmora::TGIFImage image;
    try {
        image.LoadFromMemory(std::span<const std::uint8_t>(data, size));
    } catch (const velmora::Error&) {
        return 0;
    }
    for (const int depth : { 24, 8 }) {
        try {
            velmora::gif_to_bitmap(image, depth);
        } catch (const velmora::Error&) {
        }
    }
    return 0;
}
