#include "picture/bmp_decoder.h"

#include "base/error.h"
#include "imaging/picture_limits.h"
#include "picture/file_checks.h"

#include <bit>
#include <cstdlib>
#include <string>

namespace velmora {

namespace {

    constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

    [[noreturn]] void unreadable(const std::string& why)
    {
        throw Error("Cannot read the BMP picture: " + why);
    }

    // Little-endian fields; a field beyond the file reads as zero (check_bmp
    // has made sure that the headers and the pixel data are there).
    struct Reader {
        const std::vector<std::uint8_t>& bytes;
        std::uint32_t u8(std::size_t at) const { return at < bytes.size() ? bytes[at] : 0u; }
        std::uint32_t u16(std::size_t at) const { return u8(at) | u8(at + 1) << 8; }
        std::uint32_t u32(std::size_t at) const { return u16(at) | u16(at + 2) << 16; }
    };

    // One colour channel of a bit-field pixel, as the 8 bits it fills from
    // the top (5 bits v become v * 8, as the pictures have always shown).
    struct Channel {
        std::uint32_t mask = 0;
        int shift = 0;
        int bits = 0;
        explicit Channel(std::uint32_t m)
            : mask(m)
            , shift(m ? std::countr_zero(m) : 0)
            , bits(std::popcount(m))
        {
        }
        std::uint8_t operator()(std::uint32_t pixel) const
        {
            const std::uint32_t value = (pixel & mask) >> shift;
            return static_cast<std::uint8_t>(bits >= 8 ? value >> (bits - 8) : value << (8 - bits));
        }
    };

    void put(std::uint8_t* to, Color c)
    {
        to[0] = static_cast<std::uint8_t>(color_blue(c));
        to[1] = static_cast<std::uint8_t>(color_green(c));
        to[2] = static_cast<std::uint8_t>(color_red(c));
    }

    // The palette (1, 4 and 8 bits) has room for every index and one more,
    // black, for the pixels a run-length stream skips.
    constexpr std::uint16_t kSkipped = 256;

    // The palette indices of a run-length picture, rows top first; pixels
    // the stream does not reach are kSkipped.
    std::vector<std::uint16_t> run_length_indices(
        const Reader& r, std::size_t at, int width, int height, bool four_bit)
    {
        std::vector<std::uint16_t> indices(static_cast<std::size_t>(width) * height, kSkipped);
        long long x = 0;
        long long y = height - 1; // the stream starts at the bottom row
        const auto set = [&](std::uint32_t index) {
            if (x < width && y >= 0)
                indices[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)]
                    = static_cast<std::uint16_t>(index);
            ++x;
        };
        while (at + 1 < r.bytes.size() && y >= 0) {
            const std::uint32_t count = r.u8(at);
            const std::uint32_t code = r.u8(at + 1);
            at += 2;
            if (count > 0) {
                for (std::uint32_t k = 0; k < count; ++k)
                    set(four_bit ? (k % 2 ? code & 0x0F : code >> 4) : code);
                continue;
            }
            if (code == 0) {
                x = 0;
                --y;
            } else if (code == 1) {
                break;
            } else if (code == 2) {
                x += r.u8(at);
                y -= r.u8(at + 1);
                at += 2;
            } else {
                for (std::uint32_t k = 0; k < code; ++k) {
                    const std::uint32_t byte = r.u8(at + (four_bit ? k / 2 : k));
                    set(four_bit ? (k % 2 ? byte & 0x0F : byte >> 4) : byte);
                }
                const std::size_t bytes = four_bit ? (code + 1) / 2 : code;
                at += (bytes + 1) / 2 * 2;
            }
        }
        return indices;
    }

} // namespace

Bitmap decode_bmp(const std::vector<std::uint8_t>& file)
{
    check_bmp(file);
    const Reader r { file };
    const std::size_t pixels_at = r.u32(10);
    const std::uint32_t info_size = r.u32(14);
    const bool core = info_size == 12;
    // The info headers' sizes are signed (a negative height: top row first).
    const auto s32 = [&r](std::size_t at) {
        return static_cast<long long>(static_cast<std::int32_t>(r.u32(at)));
    };
    const long long width = core ? r.u16(18) : s32(18);
    const long long signed_height = core ? r.u16(20) : s32(22);
    const std::uint32_t bits = core ? r.u16(24) : r.u16(28);
    const std::uint32_t compression = core ? kRgb : r.u32(30);
    const bool top_down = signed_height < 0;
    const long long height = std::llabs(signed_height);
    check_picture_size(width, height);

    const bool run_length = compression == kRle8 || compression == kRle4;
    const bool fields = compression == kBitfields || compression == kAlphaBitfields;
    if ((compression == kRle8 && bits != 8) || (compression == kRle4 && bits != 4)
        || (fields && bits != 16 && bits != 32) || (!run_length && !fields && compression != kRgb))
        unreadable("unsupported compression");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        unreadable("unsupported number of bits per pixel");
    if (run_length && top_down)
        unreadable("a run-length picture cannot be stored top row first");

    // The palette follows the info header: 3 bytes a colour after the core
    // header, 4 after the others; it holds the colours the header counts, or
    // all that the bits per pixel can name.
    std::vector<Color> palette;
    if (bits <= 8) {
        const std::uint32_t used = core ? 0 : r.u32(46);
        const std::uint32_t most = 1u << bits;
        const std::uint32_t count = used == 0 || used > most ? most : used;
        const std::size_t entry = core ? 3 : 4;
        const std::size_t first = 14 + static_cast<std::size_t>(info_size);
        palette.assign(kSkipped + 1, make_color(0, 0, 0));
        for (std::uint32_t k = 0; k < count && first + (k + 1) * entry <= file.size(); ++k) {
            const std::size_t at = first + k * entry;
            palette[k] = make_color(static_cast<int>(r.u8(at + 2)), static_cast<int>(r.u8(at + 1)),
                static_cast<int>(r.u8(at)));
        }
    }

    // Channel masks: after the info header (or inside a later version's), or
    // the defaults of the bits per pixel.
    const bool own_masks = fields && !core;
    const Channel red(own_masks ? r.u32(54) : bits == 16 ? 0x7C00u : 0xFF0000u);
    const Channel green(own_masks ? r.u32(58) : bits == 16 ? 0x03E0u : 0x00FF00u);
    const Channel blue(own_masks ? r.u32(62) : bits == 16 ? 0x001Fu : 0x0000FFu);

    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    Bitmap bitmap = Bitmap::for_overwrite(w, h, PixelFormat::pf24bit);
    if (run_length) {
        const std::vector<std::uint16_t> indices
            = run_length_indices(r, pixels_at, w, h, compression == kRle4);
        for (int y = 0; y < h; ++y) {
            std::uint8_t* to = bitmap.row(y);
            for (int x = 0; x < w; ++x, to += 3)
                put(to, palette[indices[static_cast<std::size_t>(y) * w + x]]);
        }
        return bitmap;
    }

    const std::size_t stride = (static_cast<std::size_t>(w) * bits + 31) / 32 * 4;
    for (int y = 0; y < h; ++y) {
        const std::size_t source_row = static_cast<std::size_t>(top_down ? y : h - 1 - y);
        const std::uint8_t* from = file.data() + pixels_at + source_row * stride;
        std::uint8_t* to = bitmap.row(y);
        for (int x = 0; x < w; ++x, to += 3) {
            switch (bits) {
            case 24:
                to[0] = from[3 * x];
                to[1] = from[3 * x + 1];
                to[2] = from[3 * x + 2];
                break;
            case 16:
            case 32: {
                std::uint32_t pixel = from[x * (bits / 8)] | from[x * (bits / 8) + 1] << 8;
                if (bits == 32)
                    pixel |= static_cast<std::uint32_t>(from[4 * x + 2]) << 16
                        | static_cast<std::uint32_t>(from[4 * x + 3]) << 24;
                to[0] = blue(pixel);
                to[1] = green(pixel);
                to[2] = red(pixel);
                break;
            }
            default: {
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                const std::uint32_t index
                    = (from[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                put(to, palette[index]);
            }
            }
        }
    }
    return bitmap;
}

} // namespace velmora
