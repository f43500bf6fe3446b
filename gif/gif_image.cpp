#include "gif/gif_image.h"

#include "gif/dither.h"
#include "gif/gif_stream.h"
#include "gif/palette.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmora {

namespace {

    void put16(std::vector<std::uint8_t>& out, int value)
    {
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
        out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }

    std::vector<std::string> lines_of(const std::vector<std::vector<std::uint8_t>>& blocks)
    {
        std::vector<std::string> lines;
        for (const auto& block : blocks)
            lines.emplace_back(block.begin(), block.end());
        return lines;
    }

    void write_lines(std::vector<std::uint8_t>& out, const std::vector<std::string>& lines)
    {
        for (const auto& line : lines)
            write_sub_blocks(out, reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
        out.push_back(0);
    }

} // namespace

int color_bits(int count)
{
    if (count <= 0)
        return 0;
    int bits = 1;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

// ---- Colour tables

int TGIFColorMap::add(Color color)
{
    if (count() >= kMaxColors)
        throw GIFException("Color table overflow");
    colors_.push_back(color);
    sorted_ = false;
    return count() - 1;
}

void TGIFColorMap::assign(const std::vector<Color>& colors)
{
    if (colors.size() > static_cast<std::size_t>(kMaxColors))
        throw GIFException("Color table overflow");
    colors_ = colors;
    sorted_ = false;
}

void TGIFColorMap::clear()
{
    colors_.clear();
    sorted_ = false;
}

void TGIFColorMap::write(std::vector<std::uint8_t>& out, int entries) const
{
    entries = std::max(entries, 1 << color_bits(count()));
    for (int i = 0; i < entries; ++i) {
        const Color c = i < count() ? (*this)[i] : 0;
        out.push_back(static_cast<std::uint8_t>(color_red(c)));
        out.push_back(static_cast<std::uint8_t>(color_green(c)));
        out.push_back(static_cast<std::uint8_t>(color_blue(c)));
    }
}

void TGIFColorMap::read(GIFInput& in, int count)
{
    clear();
    for (int i = 0; i < count; ++i) {
        std::uint8_t rgb[3];
        in.read_exact(rgb, 3);
        add(make_color(rgb[0], rgb[1], rgb[2]));
    }
}

// ---- Extensions

void TGIFExtension::read(GIFInput& in, const GIFWarningHandler& warn)
{
    const int introducer = in.read_byte();
    if (introducer < 0)
        throw GIFException("Premature end of data");
    if (introducer != kIntroducer)
        throw GIFException("Invalid extension introducer");
    const int found = in.read_byte();
    if (found < 0)
        throw GIFException("Premature end of data");
    if (found != label())
        throw GIFException("Internal error: Extension Instance does not match Extension Label");
    read_body(in, warn);
}

void TGIFExtension::write(std::vector<std::uint8_t>& out) const
{
    out.push_back(kIntroducer);
    out.push_back(label());
    write_body(out);
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage& frame)
    : frame_(frame)
{
    if (!frame_.graphic_control())
        frame_.set_graphic_control(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (frame_.graphic_control() == this)
        frame_.set_graphic_control(nullptr);
}

void TGIFGraphicControlExtension::set_delay(int hundredths)
{
    delay_ = std::clamp(hundredths, 0, 0xFFFF);
}

void TGIFGraphicControlExtension::set_transparent(bool on)
{
    packed_ = static_cast<std::uint8_t>(on ? (packed_ | 0x01) : (packed_ & ~0x01));
    frame_.set_transparent(on);
}

void TGIFGraphicControlExtension::set_transparent_index(int index)
{
    const int limit = frame_.active_color_map().count();
    if (index < 0 || index > 255 || (limit > 0 && index >= limit)) {
        frame_.image().warning("Invalid color index");
        index = 0;
    }
    transparent_index_ = index;
}

void TGIFGraphicControlExtension::read_body(GIFInput& in, const GIFWarningHandler& warn)
{
    // Block size (4), packed, delay (2), transparent index, then the
    // terminator. A block announcing another size is read by that size, so
    // the sub-block chain that follows stays in step.
    const int size = in.read_byte();
    std::uint8_t body[255] = {};
    if (size < 0
        || in.read_some(body, static_cast<std::size_t>(size)) < static_cast<std::size_t>(size)) {
        warn("Premature end of data");
        return;
    }
    packed_ = body[0];
    delay_ = body[1] | (body[2] << 8);
    transparent_index_ = body[3];
    if ((packed_ & 0x01) && frame_.graphic_control() == this)
        frame_.set_transparent(true);
    skip_sub_blocks(in, warn);
}

void TGIFGraphicControlExtension::write_body(std::vector<std::uint8_t>& out) const
{
    out.push_back(4);
    out.push_back(packed_);
    put16(out, delay_);
    out.push_back(static_cast<std::uint8_t>(transparent_index_));
    out.push_back(0);
}

void TGIFCommentExtension::read_body(GIFInput& in, const GIFWarningHandler& warn)
{
    lines = lines_of(read_sub_blocks(in, warn));
}

void TGIFCommentExtension::write_body(std::vector<std::uint8_t>& out) const
{
    write_lines(out, lines);
}

void TGIFTextExtension::read_body(GIFInput& in, const GIFWarningHandler& warn)
{
    std::uint8_t size = 0;
    in.read_exact(&size, 1);
    in.read_exact(grid.data(), grid.size());
    lines = lines_of(read_sub_blocks(in, warn));
}

void TGIFTextExtension::write_body(std::vector<std::uint8_t>& out) const
{
    out.push_back(static_cast<std::uint8_t>(grid.size()));
    out.insert(out.end(), grid.begin(), grid.end());
    write_lines(out, lines);
}

void TGIFApplicationExtension::read_body(GIFInput& in, const GIFWarningHandler& warn)
{
    std::uint8_t size = 0;
    in.read_exact(&size, 1);
    if (size < 10)
        throw GIFException("Unsupported Application Extension block size");
    const std::size_t block_end = in.position() + size;
    in.read_exact(reinterpret_cast<std::uint8_t*>(identifier.data()), identifier.size());
    // A 10-byte block: the identifier's last byte is the first byte after it.
    in.seek(block_end);
    read_data(in, warn);
}

void TGIFApplicationExtension::write_body(std::vector<std::uint8_t>& out) const
{
    out.push_back(static_cast<std::uint8_t>(identifier.size()));
    out.insert(out.end(), identifier.begin(), identifier.end());
    write_data(out);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop()
{
    std::memcpy(identifier.data(), "NETSCAPE2.0", identifier.size());
}

void TGIFAppExtNSLoop::read_data(GIFInput& in, const GIFWarningHandler& warn)
{
    for (;;) {
        const int size = in.read_byte();
        if (size < 0) {
            warn("Premature end of data");
            return;
        }
        if (size == 0)
            return;
        std::uint8_t block[255] = {};
        if (in.read_some(block, static_cast<std::size_t>(size)) < static_cast<std::size_t>(size)) {
            warn("Premature end of data");
            return;
        }
        const int id = block[0] & 7;
        if (id == 1) {
            if (size < 3)
                throw GIFException("Invalid GIF data");
            loop_count = block[1] | (block[2] << 8);
        } else if (id == 2) {
            if (size < 5)
                throw GIFException("Invalid GIF data");
            buffer_size = static_cast<std::uint32_t>(block[1]) | (std::uint32_t { block[2] } << 8)
                | (std::uint32_t { block[3] } << 16) | (std::uint32_t { block[4] } << 24);
        }
    }
}

void TGIFAppExtNSLoop::write_data(std::vector<std::uint8_t>& out) const
{
    out.push_back(3);
    out.push_back(1);
    put16(out, loop_count);
    if (buffer_size > 0) {
        out.push_back(5);
        out.push_back(2);
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>((buffer_size >> shift) & 0xFF));
    }
    out.push_back(0);
}

void TGIFUnknownAppExtension::read_data(GIFInput& in, const GIFWarningHandler& warn)
{
    blocks = read_sub_blocks(in, warn);
}

void TGIFUnknownAppExtension::write_data(std::vector<std::uint8_t>& out) const
{
    for (const auto& block : blocks)
        write_sub_blocks(out, block.data(), block.size());
    out.push_back(0);
}

// ---- Frames

TGIFSubImage::TGIFSubImage(TGIFImage& image)
    : image_(image)
{
}

TGIFSubImage::~TGIFSubImage()
{
    graphic_control_ = nullptr;
    extensions_.clear();
}

void TGIFSubImage::set_bounds(int left, int top, int width, int height)
{
    if (left < 0 || top < 0 || width < 0 || height < 0 || left > 0xFFFF || top > 0xFFFF
        || width > 0xFFFF || height > 0xFFFF)
        throw GIFException("GIF image too large");
    const std::int64_t pixels = std::int64_t { width } * height;
    const std::int64_t old_pixels = static_cast<std::int64_t>(data_.size());
    const std::int64_t total = image_.pixel_total_ - old_pixels + pixels;
    if (pixels > kMaxFramePixels || total > kMaxImagePixels)
        throw GIFException("GIF image too large");
    if (pixels != old_pixels) {
        try {
            data_.assign(static_cast<std::size_t>(pixels), 0);
        } catch (const std::bad_alloc&) {
            throw GIFException("GIF image too large");
        }
        image_.pixel_total_ = total;
    }
    has_image_ = true;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    auto& screen = image_.header();
    screen.width = std::max(screen.width, std::min(left + width, 0xFFFF));
    screen.height = std::max(screen.height, std::min(top + height, 0xFFFF));
}

int TGIFSubImage::PixelAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || empty())
        throw GIFException("Invalid pixel coordinates");
    return data_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)
        + static_cast<std::size_t>(x)];
}

const TGIFColorMap& TGIFSubImage::active_color_map() const
{
    if (color_map_.count() > 0)
        return color_map_;
    if (image_.global_color_map().count() > 0)
        return image_.global_color_map();
    return color_map_;
}

TGIFExtension& TGIFSubImage::add_extension(std::unique_ptr<TGIFExtension> extension)
{
    extensions_.push_back(std::move(extension));
    return *extensions_.back();
}

int TGIFSubImage::transparent_index() const
{
    return graphic_control_ ? graphic_control_->transparent_index() : 0;
}

// ---- The image

TGIFSubImage& TGIFImage::add_image()
{
    images_.push_back(std::make_unique<TGIFSubImage>(*this));
    return *images_.back();
}

void TGIFImage::Clear()
{
    images_.clear();
    header_ = TGIFHeader();
    pixel_total_ = 0;
}

int TGIFImage::bit_depth() const
{
    int bits = color_bits(header_.color_map.count());
    for (const auto& frame : images_)
        bits = std::max(bits, color_bits(frame->color_map().count()));
    return bits;
}

int TGIFImage::AddFrame(const Bitmap& source)
{
    auto frame = std::make_unique<TGIFSubImage>(*this);
    if (!source.empty()) {
        Bitmap converted;
        const Bitmap* bitmap = &source;
        if (source.pixel_format() != PixelFormat::pf8bit || source.palette().empty()) {
            // Only palette bitmaps map one to one onto a GIF frame; anything
            // else gets an octree palette of its own first.
            Bitmap rgb = source;
            const auto palette = BuildSharedPalette({ &rgb }, 256, 8);
            converted = RemapToPalette(rgb, palette, dmNearest);
            bitmap = &converted;
        }
        const auto& palette = bitmap->palette();
        frame->color_map().assign(std::vector<Color>(palette.begin(),
            palette.begin()
                + std::min<std::ptrdiff_t>(TGIFColorMap::kMaxColors, std::ssize(palette))));
        frame->set_bounds(0, 0, bitmap->width(), bitmap->height());
        const auto width = static_cast<std::size_t>(bitmap->width());
        for (int y = 0; y < bitmap->height(); ++y)
            std::memcpy(
                frame->data().data() + static_cast<std::size_t>(y) * width, bitmap->row(y), width);
    }
    images_.push_back(std::move(frame));
    return frame_count() - 1;
}

} // namespace velmora
