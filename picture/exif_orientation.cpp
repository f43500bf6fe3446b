#include "picture/exif_orientation.h"

#include "picture/jpeg_decoder.h"
#include "picture/picture.h"

#include <cstring>
#include <optional>
#include <vector>

namespace velmora {

namespace {

    constexpr std::uint16_t kOrientationTag = 0x0112;
    constexpr std::uint16_t kShortType = 3;

    // Bounds-checked reads from one byte range; every read past the end
    // gives nothing instead of touching memory beyond it.
    class Bytes {
    public:
        Bytes(const std::uint8_t* data, std::size_t size)
            : data_(data)
            , size_(size)
        {
        }
        std::size_t size() const { return size_; }
        bool has(std::size_t at, std::size_t count) const
        {
            return at <= size_ && count <= size_ - at;
        }
        std::optional<std::uint16_t> u16(std::size_t at, bool little) const
        {
            if (!has(at, 2))
                return std::nullopt;
            const unsigned a = data_[at];
            const unsigned b = data_[at + 1];
            return static_cast<std::uint16_t>(little ? a | b << 8 : a << 8 | b);
        }
        std::optional<std::uint32_t> u32(std::size_t at, bool little) const
        {
            const auto hi = u16(at, little);
            const auto lo = u16(at + 2, little);
            if (!hi || !lo)
                return std::nullopt;
            return little ? static_cast<std::uint32_t>(*lo) << 16 | *hi
                          : static_cast<std::uint32_t>(*hi) << 16 | *lo;
        }
        Bytes from(std::size_t at, std::size_t count) const
        {
            return has(at, count) ? Bytes(data_ + at, count) : Bytes(data_, 0);
        }
        bool starts_with(const char* text, std::size_t count) const
        {
            return has(0, count) && std::memcmp(data_, text, count) == 0;
        }

    private:
        const std::uint8_t* data_;
        std::size_t size_;
    };

    // The orientation in the TIFF structure of an EXIF block: header, then
    // the first directory's entries.
    Orientation tiff_orientation(const Bytes& tiff)
    {
        bool little = false;
        if (tiff.starts_with("II*\0", 4))
            little = true;
        else if (!tiff.starts_with("MM\0*", 4))
            return Orientation::upright;
        const auto ifd = tiff.u32(4, little);
        if (!ifd)
            return Orientation::upright;
        const auto count = tiff.u16(*ifd, little);
        if (!count)
            return Orientation::upright;
        for (std::size_t k = 0; k < *count; ++k) {
            const std::size_t entry = *ifd + 2 + k * 12;
            if (!tiff.has(entry, 12))
                break;
            if (tiff.u16(entry, little) != kOrientationTag)
                continue;
            if (tiff.u16(entry + 2, little) != kShortType || tiff.u32(entry + 4, little) != 1u)
                return Orientation::upright;
            const std::uint16_t value = *tiff.u16(entry + 8, little);
            return value >= 1 && value <= 8 ? static_cast<Orientation>(value)
                                            : Orientation::upright;
        }
        return Orientation::upright;
    }

    // Where stored pixel (x, y) of a w x h picture lands in the turned one.
    struct Target {
        int x;
        int y;
    };
    Target place(Orientation o, int x, int y, int w, int h)
    {
        switch (o) {
        case Orientation::mirrored:
            return { w - 1 - x, y };
        case Orientation::half_turn:
            return { w - 1 - x, h - 1 - y };
        case Orientation::flipped:
            return { x, h - 1 - y };
        case Orientation::transposed:
            return { y, x };
        case Orientation::quarter_clockwise:
            return { h - 1 - y, x };
        case Orientation::transversed:
            return { h - 1 - y, w - 1 - x };
        case Orientation::quarter_anticlockwise:
            return { y, w - 1 - x };
        case Orientation::upright:
            break;
        }
        return { x, y };
    }

} // namespace

Orientation jpeg_orientation(const std::uint8_t* data, std::size_t size)
{
    const Bytes file(data, size);
    if (!file.starts_with("\xFF\xD8", 2))
        return Orientation::upright;
    std::size_t at = 2;
    // The EXIF block sits among the segments before the coded data starts.
    while (file.has(at, 4)) {
        if (*file.u16(at, false) >> 8 != 0xFF)
            return Orientation::upright;
        const std::uint8_t marker = static_cast<std::uint8_t>(*file.u16(at, false) & 0xFF);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // start of scan, end of picture
            break;
        const std::uint16_t length = *file.u16(at + 2, false);
        if (length < 2 || !file.has(at + 2, length))
            break;
        const Bytes segment = file.from(at + 4, length - 2u);
        if (marker == 0xE1 && segment.starts_with("Exif\0\0", 6))
            return tiff_orientation(segment.from(6, segment.size() - 6));
        at += 2u + length;
    }
    return Orientation::upright;
}

Bitmap oriented(Bitmap stored, Orientation orientation)
{
    if (orientation == Orientation::upright || stored.empty())
        return stored;
    stored.set_pixel_format(PixelFormat::pf24bit);
    const int w = stored.width();
    const int h = stored.height();
    const bool swapped = orientation >= Orientation::transposed;
    Bitmap turned(swapped ? h : w, swapped ? w : h, PixelFormat::pf24bit);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* from = stored.row(y);
        for (int x = 0; x < w; ++x) {
            const Target t = place(orientation, x, y, w, h);
            std::memcpy(turned.row(t.y) + static_cast<std::size_t>(t.x) * 3,
                from + static_cast<std::size_t>(x) * 3, 3);
        }
    }
    return turned;
}

Bitmap load_oriented_jpeg_file(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = read_picture_file(path);
    return oriented(
        decode_jpeg(bytes.data(), bytes.size()), jpeg_orientation(bytes.data(), bytes.size()));
}

} // namespace velmora
