// The GIF writer and reader together: frames made from the input (sizes,
// colour tables, pixels, transparency, a global table some frames use, the
// merge of all tables) are written and read back, and every pixel must show
// the colour it was written with.
#include "base/error.h"
#include "gif/gif_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Hands out the input's bytes one by one, then zeros.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size)
    {
    }
    int next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::vector<velmora::Color> colours(Bytes& in, int count)
{
    std::vector<velmora::Color> table;
    for (int i = 0; i < count; ++i) {
        const int r = in.next(), g = in.next(), b = in.next();
        table.push_back(velmora::make_color(r, g, b));
    }
    return table;
}

// The colour each pixel of each non-empty frame shows.
std::vector<std::vector<velmora::Color>> shown(const velmora::TGIFImage& image)
{
    std::vector<std::vector<velmora::Color>> frames;
    for (const auto& frame : image.images()) {
        if (frame->empty())
            continue;
        const velmora::TGIFColorMap& table = frame->active_color_map();
        std::vector<velmora::Color> pixels;
        for (const std::uint8_t index : frame->data()) {
            if (index >= table.count())
                std::abort(); // written with a colour outside its table
            pixels.push_back(table[index]);
        }
        frames.push_back(std::move(pixels));
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace velmora;
    Bytes in(data, size);
    const int flags = in.next();
    TGIFImage image;
    const int global_count = flags & 1 ? 1 + in.next() : 0;
    if (global_count > 0)
        image.global_color_map().assign(colours(in, global_count));
    const int frame_count = 1 + (flags >> 1 & 3);
    for (int f = 0; f < frame_count; ++f) {
        const int width = 1 + in.next() % 24;
        const int height = 1 + in.next() % 24;
        const int local_count = 1 + in.next();
        // A frame without a local table uses the global one.
        const bool uses_global = global_count > 0 && local_count % 3 == 0;
        const int count = uses_global ? global_count : local_count;
        Bitmap bitmap(width, height, PixelFormat::pf8bit);
        bitmap.set_palette(uses_global ? image.global_color_map().colors() : colours(in, count));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                bitmap.row(y)[x] = static_cast<std::uint8_t>(in.next() % count);
        TGIFSubImage& frame = image.frame(image.AddFrame(bitmap));
        if (uses_global)
            frame.color_map().clear();
        const int extras = in.next();
        if (extras & 1) {
            auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
            control->set_delay(in.next() * 7);
            if (extras & 2) {
                control->set_transparent(true);
                control->set_transparent_index(in.next() % count);
            }
            frame.add_extension(std::move(control));
        }
        if (f == 0 && extras & 4) {
            auto loop = std::make_unique<TGIFAppExtNSLoop>();
            loop->loop_count = in.next();
            frame.add_extension(std::move(loop));
        }
    }
    if (flags & 8)
        image.MergeColorMaps();

    const std::vector<std::uint8_t> file = image.SaveToMemory();
    TGIFImage read;
    try {
        read.LoadFromMemory(file);
    } catch (const Error&) {
        std::abort(); // the reader refuses what the writer wrote
    }
    if (shown(read) != shown(image))
        std::abort();
    return 0;
}
