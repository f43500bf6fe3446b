// The GIF reader and the first frame's bitmap, at a true-colour depth and
// at the 8-bit depth that dithers onto the colour cube.
#include "base/error.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

// Pictures up to the reader's limits are legal (the hostile-input tests
// cover the largest), but making a bitmap of tens of millions of pixels takes
// seconds under the sanitizers. The fuzzer's time is better spent on the
// parser, so larger pictures are only read.
constexpr std::int64_t kLargestConverted = std::int64_t { 1 } << 22;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    velmora::TGIFImage image;
    try {
        image.LoadFromMemory(std::span<const std::uint8_t>(data, size));
    } catch (const velmora::Error&) {
        return 0;
    }
    std::int64_t largest = std::int64_t { image.header().width } * image.header().height;
    for (const auto& frame : image.images())
        if (std::int64_t { frame->width() } * frame->height() > largest)
            largest = std::int64_t { frame->width() } * frame->height();
    if (largest > kLargestConverted)
        return 0;
    for (const int depth : { 24, 8 }) {
        try {
            velmora::gif_to_bitmap(image, depth);
        } catch (const velmora::Error&) {
        }
    }
    return 0;
}
