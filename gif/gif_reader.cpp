// The block parser of the GIF reader. Bits and codes live in gif_stream.cpp.
//
// What damaged input does:
//   - a signature other than "GIF" (any case), even after a 4-byte prefix,
//     and a cut in a fixed-size part (descriptor, colour table) fail the load;
//   - an unknown block type ends the block list with a warning, and so does
//     the end of the data without a trailer (quietly);
//   - a frame larger than kMaxFramePixels, or frames together larger than
//     kMaxImagePixels, fail with "GIF image too large" before any allocation;
//   - image data that stops early leaves the rest of the frame at its fill
//     value (the transparent index, or 0); extra data is skipped;
//   - a frame reaching beyond the logical screen is cut to the screen when
//     the picture is made; a frame without width gives no picture.
// The position in the input is restored whenever the load fails.

#include "gif/gif_reader.h"

#include "gif/dither.h"
#include "gif/gif_stream.h"

#include <atomic>
#include <cctype>
#include <cstring>
#include <new>

namespace velmora {

namespace {

    std::atomic<int> g_display_depth { 24 };

    constexpr std::uint8_t kTrailer = 0x3B; // ';'

    bool is_signature(const std::uint8_t* bytes)
    {
        return std::toupper(bytes[0]) == 'G' && std::toupper(bytes[1]) == 'I'
            && std::toupper(bytes[2]) == 'F';
    }

    int read16(const std::uint8_t* p)
    {
        return p[0] | (p[1] << 8);
    }

    class BlockParser {
    public:
        BlockParser(TGIFImage& image, GIFInput& in)
            : image_(image)
            , in_(in)
            , warn_([&image](const std::string& message) { image.warning(message); })
        {
        }

        void parse()
        {
            read_signature();
            read_screen();
            // The picture of a GIF is its logical screen (GIF89a section 18):
            // frames reaching beyond it are cut to it when shown, however far
            // adding them grows the model's screen. A side of no size says
            // nothing, so there the frames give the extent.
            const int screen_width = image_.header().width;
            const int screen_height = image_.header().height;
            skip_zeros();
            while (!in_.at_end() && in_.peek() != kTrailer) {
                if (in_.peek() != TGIFExtension::kIntroducer
                    && in_.peek() != TGIFSubImage::kSeparator) {
                    warn_("Unknown GIF block type");
                    break;
                }
                read_frame();
                skip_zeros();
            }
            if (!in_.at_end() && in_.peek() != kTrailer)
                warn_("Invalid Image trailer");
            else
                in_.read_byte();
            if (screen_width > 0)
                image_.header().width = screen_width;
            if (screen_height > 0)
                image_.header().height = screen_height;
        }

    private:
        void read_signature()
        {
            // Some files carry a 4-byte prefix before the signature. The
            // version ("87a", "89a") is not compared.
            const std::size_t start = in_.position();
            std::uint8_t signature[6] = {};
            if (in_.read_some(signature, 6) == 6 && is_signature(signature))
                return;
            in_.seek(start);
            in_.skip(4);
            const std::size_t got = in_.read_some(signature, 6);
            if (got >= 3 && is_signature(signature) && got < 6)
                throw GIFException("Premature end of data");
            if (got < 6 || !is_signature(signature))
                throw GIFException("Invalid GIF signature");
        }

        void read_screen()
        {
            // Logical screen descriptor (GIF89a section 18).
            std::uint8_t d[7];
            in_.read_exact(d, 7);
            TGIFHeader& header = image_.header();
            header.width = read16(d);
            header.height = read16(d + 2);
            header.packed = d[4];
            header.background_index = d[5];
            header.aspect_ratio = d[6];
            if (d[4] & 0x80)
                header.color_map.read(in_, 1 << ((d[4] & 7) + 1));
        }

        void skip_zeros()
        {
            while (in_.peek() == 0)
                in_.read_byte();
        }

        std::unique_ptr<TGIFExtension> make_extension(TGIFSubImage& frame)
        {
            // Looks at the label (and an application block's identifier)
            // without consuming anything; the extension reads itself whole.
            const std::size_t at = in_.position();
            std::uint8_t label = 0;
            in_.skip(1);
            in_.read_exact(&label, 1);
            std::unique_ptr<TGIFExtension> extension;
            switch (label) {
            case TGIFTextExtension::kLabel:
                extension = std::make_unique<TGIFTextExtension>();
                break;
            case TGIFGraphicControlExtension::kLabel:
                extension = std::make_unique<TGIFGraphicControlExtension>(frame);
                break;
            case TGIFCommentExtension::kLabel:
                extension = std::make_unique<TGIFCommentExtension>();
                break;
            case TGIFApplicationExtension::kLabel: {
                const int size = in_.read_byte();
                char identifier[11] = {};
                const bool whole = size == 11
                    && in_.read_some(reinterpret_cast<std::uint8_t*>(identifier), 11) == 11;
                if (whole
                    && (std::memcmp(identifier, "NETSCAPE2.0", 11) == 0
                        || std::memcmp(identifier, "ANIMEXTS1.0", 11) == 0))
                    extension = std::make_unique<TGIFAppExtNSLoop>();
                else
                    extension = std::make_unique<TGIFUnknownAppExtension>();
                break;
            }
            default:
                throw GIFException("Unknown extension type");
            }
            in_.seek(at);
            return extension;
        }

        void read_frame()
        {
            TGIFSubImage& frame = image_.add_image();
            while (
                !in_.at_end() && in_.peek() != TGIFSubImage::kSeparator && in_.peek() != kTrailer) {
                if (in_.peek() != TGIFExtension::kIntroducer) {
                    warn_("Invalid extension introducer");
                    break;
                }
                auto extension = make_extension(frame);
                extension->read(in_, warn_);
                frame.add_extension(std::move(extension));
            }
            // Only an image separator starts a descriptor; a frame without
            // one keeps just its extensions.
            if (in_.peek() == TGIFSubImage::kSeparator)
                read_image(frame);
        }

        void read_image(TGIFSubImage& frame)
        {
            // Image descriptor (GIF89a section 20).
            std::uint8_t d[10];
            in_.read_exact(d, 10);
            int width = read16(d + 5);
            int height = read16(d + 7);
            if (width == 0 || height == 0) {
                warn_("Image exceeds Logical Screen size");
                width = image_.header().width;
                height = image_.header().height;
            }
            frame.set_packed(d[9]);
            if (d[9] & 0x80)
                frame.color_map().read(in_, 1 << ((d[9] & 7) + 1));
            // set_bounds checks the pixel limits before it allocates.
            frame.set_bounds(read16(d + 1), read16(d + 3), width, height);
            if (frame.transparent())
                std::fill(frame.data().begin(), frame.data().end(),
                    static_cast<std::uint8_t>(frame.transparent_index()));
            const TGIFPixelTarget target { frame.data().data(), frame.width(), frame.height(),
                frame.interlaced() };
            decode_image_data(in_, target, warn_);
        }

        TGIFImage& image_;
        GIFInput& in_;
        GIFWarningHandler warn_;
    };

} // namespace

void set_display_depth(int bits_per_pixel)
{
    g_display_depth = bits_per_pixel;
}
int display_depth()
{
    return g_display_depth;
}

void TGIFImage::LoadFromStream(GIFInput& in)
{
    Clear();
    const std::size_t start = in.position();
    try {
        BlockParser(*this, in).parse();
    } catch (const std::bad_alloc&) {
        Clear();
        in.seek(start);
        throw GIFException("GIF image too large");
    } catch (...) {
        Clear();
        in.seek(start);
        throw;
    }
}

void TGIFImage::LoadFromMemory(std::span<const std::uint8_t> bytes)
{
    GIFInput in(bytes);
    LoadFromStream(in);
}

namespace {

    const TGIFSubImage* first_frame(const TGIFImage& image)
    {
        for (const auto& f : image.images())
            if (f->has_image())
                return f.get();
        return nullptr;
    }

} // namespace

Bitmap gif_to_bitmap(const TGIFImage& image, int depth)
{
    const TGIFSubImage* frame = first_frame(image);
    if (!frame)
        return Bitmap();
    const TGIFColorMap& table = frame->active_color_map();
    if (table.count() == 0)
        throw GIFException("No global or local color table defined");

    const int screen_width = image.header().width;
    const int screen_height = image.header().height;
    try {
        Bitmap picture(0, 0, PixelFormat::pf8bit);
        picture.set_palette(table.colors());
        picture.set_size(frame->width(), frame->height());
        // A frame without width has no rows to copy (and no memory to copy
        // from).
        const auto w = static_cast<std::size_t>(frame->width());
        for (int y = 0; w > 0 && y < frame->height(); ++y)
            std::memcpy(picture.row(y), frame->data().data() + static_cast<std::size_t>(y) * w, w);
        if (frame->width() != screen_width || frame->height() != screen_height) {
            if (std::int64_t { screen_width } * screen_height > kMaxScreenPixels)
                throw GIFException("GIF image too large");
            // Outside the frame: white, as near as the palette allows.
            Bitmap screen(0, 0, PixelFormat::pf8bit);
            screen.set_palette(table.colors());
            screen.set_size(screen_width, screen_height);
            draw(screen, frame->left(), frame->top(), picture);
            picture = std::move(screen);
        }
        if (depth <= 8) {
            picture.set_pixel_format(PixelFormat::pf24bit);
            TColorCubeLookup cube;
            TFloydSteinbergDitherer engine(cube, picture.width());
            return remap_with(picture, engine, TColorCubeLookup::palette());
        }
        return picture;
    } catch (const std::bad_alloc&) {
        throw GIFException("GIF image too large");
    }
}

Bitmap decode_gif(std::span<const std::uint8_t> bytes, const GIFWarningHandler& warn)
{
    TGIFImage image;
    image.set_warning_handler(warn);
    image.LoadFromMemory(bytes);
    return gif_to_bitmap(image);
}

// A photo GIF of 4000 x 2250 is 9 MB of indices: copying them into an 8-bit
// bitmap first cost a fresh 9 MB (its page faults, a white fill and a copy)
// on the way to the 24-bit picture every caller of a picture file wants.
Bitmap gif_to_true_colour(const TGIFImage& image, int depth)
{
    const TGIFSubImage* frame = first_frame(image);
    const bool covers_screen = frame && frame->width() > 0 && frame->height() > 0
        && frame->width() == image.header().width && frame->height() == image.header().height;
    if (!covers_screen || depth <= 8 || frame->active_color_map().count() == 0) {
        Bitmap picture = gif_to_bitmap(image, depth);
        picture.set_pixel_format(PixelFormat::pf24bit);
        return picture;
    }
    const std::vector<Color>& colors = frame->active_color_map().colors();
    // Stored bytes of each index, as an 8-bit bitmap turns to 24 bits: an
    // index past the table is black.
    std::uint8_t table[256][3] = {};
    for (std::size_t i = 0; i < 256 && i < colors.size(); ++i) {
        table[i][0] = static_cast<std::uint8_t>(color_blue(colors[i]));
        table[i][1] = static_cast<std::uint8_t>(color_green(colors[i]));
        table[i][2] = static_cast<std::uint8_t>(color_red(colors[i]));
    }
    try {
        Bitmap picture
            = Bitmap::for_overwrite(frame->width(), frame->height(), PixelFormat::pf24bit);
        picture.set_palette(colors);
        const auto w = static_cast<std::size_t>(frame->width());
        for (int y = 0; y < frame->height(); ++y) {
            const std::uint8_t* from = frame->data().data() + static_cast<std::size_t>(y) * w;
            std::uint8_t* to = picture.row(y);
            for (std::size_t x = 0; x < w; ++x, to += 3)
                std::memcpy(to, table[from[x]], 3);
        }
        return picture;
    } catch (const std::bad_alloc&) {
        throw GIFException("GIF image too large");
    }
}

Bitmap decode_gif_true_colour(std::span<const std::uint8_t> bytes, const GIFWarningHandler& warn)
{
    TGIFImage image;
    image.set_warning_handler(warn);
    image.LoadFromMemory(bytes);
    return gif_to_true_colour(image);
}

} // namespace velmora
