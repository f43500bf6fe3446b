#include "picture/file_checks.h"

#include "base/error.h"

#include <algorithm>
#include <string>

namespace velmora {

namespace {

    // Little-endian fields at checked offsets.
    class Fields {
    public:
        Fields(const Bytes& bytes, const char* what)
            : bytes_(bytes)
            , what_(what)
        {
        }

        std::size_t size() const { return bytes_.size(); }

        void need(std::size_t offset, std::size_t count) const
        {
            if (offset > bytes_.size() || count > bytes_.size() - offset)
                fail("is truncated");
        }
        std::uint8_t u8(std::size_t offset) const
        {
            need(offset, 1);
            return bytes_[offset];
        }
        std::uint16_t u16(std::size_t offset) const
        {
            need(offset, 2);
            return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
        }
        std::uint32_t u32(std::size_t offset) const
        {
            need(offset, 4);
            return static_cast<std::uint32_t>(bytes_[offset])
                | (static_cast<std::uint32_t>(bytes_[offset + 1]) << 8)
                | (static_cast<std::uint32_t>(bytes_[offset + 2]) << 16)
                | (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
        }
        std::int32_t s32(std::size_t offset) const
        {
            return static_cast<std::int32_t>(u32(offset));
        }

        [[noreturn]] void fail(const std::string& fault) const
        {
            throw Error(std::string("The ") + what_ + " " + fault);
        }

    private:
        const Bytes& bytes_;
        const char* what_;
    };

    // Rows a run-length picture may declare beyond twice those its data
    // describes.
    constexpr long long kRleSlackRows = 64;

    // BMP compressions.
    constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

    // Walks a run-length stream (8 or 4 bits per pixel) from `offset`; it
    // must reach its end-of-bitmap code inside the file. Returns the rows the
    // stream moves through (ends of lines and the rows deltas skip).
    long long check_rle(const Fields& f, std::size_t offset, bool four_bit)
    {
        std::size_t at = offset;
        long long rows = 0;
        for (;;) {
            const std::uint8_t count = f.u8(at);
            const std::uint8_t code = f.u8(at + 1);
            at += 2;
            if (count > 0)
                continue; // a run of `count` pixels of one value
            switch (code) {
            case 0: // end of line
                ++rows;
                break;
            case 1: // end of bitmap
                return rows;
            case 2: // delta: two more bytes, the second the rows skipped
                rows += f.u8(at + 1);
                at += 2;
                break;
            default: { // `code` literal pixels, padded to a 16-bit boundary
                const std::size_t bytes = four_bit ? (code + 1u) / 2u : code;
                at += (bytes + 1u) / 2u * 2u;
                f.need(at, 0);
            }
            }
        }
    }

    // Pixels a compressed embedded bitmap may declare per byte of its data:
    // twice what the densest run (255 pixels in two bytes) describes, so
    // that every bitmap made of runs passes while a few bytes cannot make
    // the converter fill millions of pixels.
    constexpr long long kCompressedPixelsPerByte = 256;
    // Compressed bitmaps up to this many pixels pass whatever their data.
    constexpr long long kSmallBitmapPixels = 64LL * 64;

    // A device-independent bitmap embedded in a metafile record: its header
    // at `header` (of `header_bytes`, 0 when the record does not say), its
    // pixel data at `bits` (of `bits_bytes`, 0 when unknown). A bitmap that
    // declares more pixels than `pixels_left` (what the metafile's earlier
    // bitmaps left of kMaxEmbeddedPixels), whose uncompressed rows its data
    // cannot hold, or whose compressed data is far too little for its
    // pixels, is refused. The converters expand every bitmap in full each
    // time a record draws it, so the budget covers the file, not a record.
    void check_embedded_bitmap(const Fields& f, std::size_t record_end, std::size_t header,
        std::size_t header_bytes, std::size_t bits, std::size_t bits_bytes, long long& pixels_left)
    {
        if (header + 4 > record_end || (header_bytes > 0 && header_bytes > record_end - header))
            f.fail("has a damaged bitmap");
        const std::uint32_t info_size = f.u32(header);
        if (info_size < 12 || info_size > record_end - header)
            f.fail("has a damaged bitmap");
        long long width = 0;
        long long height = 0;
        std::uint32_t bit_count = 0;
        std::uint32_t compression = kRgb;
        if (info_size == 12) {
            width = f.u16(header + 4);
            height = f.u16(header + 6);
            bit_count = f.u16(header + 10);
        } else {
            width = f.s32(header + 4);
            height = f.s32(header + 8);
            bit_count = f.u16(header + 14);
            compression = f.u32(header + 16);
        }
        if (width < 0)
            width = -width;
        if (height < 0)
            height = -height;
        if (width * height > pixels_left || bit_count > 32)
            f.fail("holds a bitmap too large for its data");
        pixels_left -= width * height;
        if (bits_bytes > 0 && bits_bytes > record_end - std::min(bits, record_end))
            f.fail("has a damaged bitmap");
        // Zero bits per pixel means the data is in some compressed form.
        const bool uncompressed = bit_count > 0
            && (compression == kRgb || compression == kBitfields || compression == kAlphaBitfields);
        const long long stride = (width * bit_count + 31) / 32 * 4;
        // Without a stated size the data runs to the record's end.
        const long long room = static_cast<long long>(
            bits_bytes > 0 ? bits_bytes : record_end - std::min(bits, record_end));
        if (uncompressed
                ? stride * height > room
                : width * height > std::max(kSmallBitmapPixels, kCompressedPixelsPerByte * room))
            f.fail("holds a bitmap too large for its data");
    }

    // The bitmap of a WMF record that carries one, located by its function.
    void check_wmf_record_bitmap(const Fields& f, std::size_t record, std::size_t words,
        std::uint16_t function, long long& pixels_left)
    {
        const std::size_t end = record + words * 2;
        std::size_t params = 0; // bytes of parameters before the bitmap
        switch (function) {
        case 0x0940: // META_DIBBITBLT
            params = 16;
            break;
        case 0x0B41: // META_DIBSTRETCHBLT
            params = 20;
            break;
        case 0x0F43: // META_STRETCHDIB
            params = 22;
            break;
        case 0x0D33: // META_SETDIBTODEV
            params = 18;
            break;
        case 0x0142: // META_DIBCREATEPATTERNBRUSH
            params = 4;
            break;
        default:
            return;
        }
        // The blits may come without a bitmap (a plain raster operation).
        const std::size_t header = record + 6 + params;
        if (header + 4 > end)
            return;
        check_embedded_bitmap(f, end, header, 0, header, 0, pixels_left);
    }

    // The bitmaps of an EMF record that carries any: each named by offset
    // and size fields (offsets from the record's start).
    void check_emf_record_bitmaps(const Fields& f, std::size_t record, std::size_t size,
        std::uint32_t type, long long& pixels_left)
    {
        std::size_t fields[2] = { 0, 0 }; // where offBmi, cbBmi, offBits, cbBits start
        switch (type) {
        case 76: // EMR_BITBLT
        case 77: // EMR_STRETCHBLT
            fields[0] = 84;
            break;
        case 78: // EMR_MASKBLT: the source, then the mask
            fields[0] = 84;
            fields[1] = 112;
            break;
        case 79: // EMR_PLGBLT: the source, then the mask
            fields[0] = 96;
            fields[1] = 124;
            break;
        case 80: // EMR_SETDIBITSTODEVICE
        case 81: // EMR_STRETCHDIBITS
            fields[0] = 48;
            break;
        case 93: // EMR_CREATEMONOBRUSH
        case 94: // EMR_CREATEDIBPATTERNBRUSHPT
            fields[0] = 16;
            break;
        default:
            return;
        }
        const std::size_t end = record + size;
        for (const std::size_t at : fields) {
            if (at == 0 || at + 16 > size)
                continue;
            const std::uint32_t bmi = f.u32(record + at);
            const std::uint32_t bmi_bytes = f.u32(record + at + 4);
            const std::uint32_t bits = f.u32(record + at + 8);
            const std::uint32_t bits_bytes = f.u32(record + at + 12);
            if (bmi_bytes == 0)
                continue; // no bitmap (a plain raster operation)
            if (bmi >= size || bits > size)
                f.fail("has a damaged bitmap");
            check_embedded_bitmap(
                f, end, record + bmi, bmi_bytes, record + bits, bits_bytes, pixels_left);
        }
    }

} // namespace

void check_bmp(const Bytes& file)
{
    const Fields f(file, "BMP picture");
    if (f.size() < 2 || file[0] != 'B' || file[1] != 'M')
        f.fail(f.size() < 2 ? "is empty" : "has no BMP signature");
    const std::uint32_t pixels_at = f.u32(10);
    const std::uint32_t info_size = f.u32(14);
    if (info_size < 12)
        f.fail("has a damaged header");
    f.need(14, info_size);
    long long width = 0;
    long long height = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = kRgb;
    if (info_size == 12) { // the old core header
        width = f.u16(18);
        height = f.u16(20);
        bits = f.u16(24);
    } else {
        width = f.s32(18);
        height = f.s32(22);
        bits = f.u16(28);
        compression = f.u32(30);
    }
    if (height < 0)
        height = -height; // top-down rows
    if (width <= 0 || height <= 0 || bits == 0 || bits > 32)
        f.fail("has a damaged header");
    f.need(pixels_at, 0);
    switch (compression) {
    case kRgb:
    case kBitfields:
    case kAlphaBitfields: {
        const long long stride = (width * bits + 31) / 32 * 4;
        if (height > static_cast<long long>(f.size()) || stride > static_cast<long long>(f.size()))
            f.fail("is truncated");
        f.need(pixels_at, static_cast<std::size_t>(stride * height));
        break;
    }
    case kRle8:
    case kRle4: {
        // Rows after the end code stay blank, but a stream that describes a
        // few rows of a picture millions of rows high would make the decoder
        // allocate for rows that no data backs: the memory must follow the
        // data, so at most twice the rows described (and a few) are taken.
        const long long rows = check_rle(f, pixels_at, compression == kRle4);
        if (height > 2 * rows + kRleSlackRows)
            f.fail("describes far fewer rows than it declares");
        break;
    }
    default:
        break; // other codings are the decoder's to accept or refuse
    }
}

std::vector<IconEntry> check_ico(const Bytes& file)
{
    const Fields f(file, "icon");
    if (f.size() == 0)
        f.fail("is empty");
    const std::uint16_t type = f.u16(2);
    const std::uint16_t count = f.u16(4);
    if (f.u16(0) != 0 || (type != 1 && type != 2))
        f.fail("has no icon header");
    if (count == 0)
        f.fail("holds no image");
    std::vector<IconEntry> entries;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t entry = 6 + 16 * k;
        const std::uint32_t bytes = f.u32(entry + 8);
        const std::uint32_t offset = f.u32(entry + 12);
        if (bytes == 0)
            f.fail("has an empty image");
        f.need(offset, bytes);
        // A size byte of 0 stands for 256.
        entries.push_back({ f.u8(entry) == 0 ? 256 : f.u8(entry),
            f.u8(entry + 1) == 0 ? 256 : f.u8(entry + 1), type == 1 ? f.u16(entry + 6) : 0 });
    }
    return entries;
}

IconMask icon_mask(const Bytes& file, std::size_t index)
{
    const Fields f(file, "icon");
    const std::size_t entry = 6 + 16 * index;
    const std::size_t at = f.u32(entry + 12);
    const std::size_t end = at + f.u32(entry + 8);
    if (f.u32(at) == 0x474E5089u) // "\x89PNG": alpha, no mask
        return {};
    const std::uint32_t info_size = f.u32(at);
    const std::int32_t width = f.s32(at + 4);
    const std::int32_t height = f.s32(at + 8) / 2; // colour rows and mask rows
    const std::uint16_t bits = f.u16(at + 14);
    const std::uint32_t colours_used = f.u32(at + 32);
    if (bits == 32 || bits == 0 || width <= 0 || height <= 0 || width > 256 || height > 256)
        return {};
    const std::size_t palette = bits <= 8 ? (colours_used != 0 ? colours_used : 1u << bits) : 0;
    const std::size_t colour_stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const std::size_t mask_stride = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    const std::size_t mask_at
        = at + info_size + 4 * palette + colour_stride * static_cast<std::size_t>(height);
    if (palette > 256 || mask_at + mask_stride * static_cast<std::size_t>(height) > end)
        return {};
    IconMask mask { width, height,
        std::vector<bool>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) };
    for (int y = 0; y < height; ++y) {
        // Mask rows are stored bottom row first, the leftmost pixel in the top bit.
        const std::size_t row = mask_at + mask_stride * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x)
            mask.bits[static_cast<std::size_t>(y * width + x)]
                = (file[row + static_cast<std::size_t>(x / 8)] >> (7 - x % 8)) & 1;
    }
    return mask;
}

void check_wmf(const Bytes& file)
{
    const Fields f(file, "metafile");
    if (f.size() == 0)
        f.fail("is empty");
    std::size_t at = 0;
    if (f.u32(0) == 0x9AC6CDD7u) { // placeable header
        std::uint16_t sum = 0;
        for (std::size_t k = 0; k < 10; ++k)
            sum = static_cast<std::uint16_t>(sum ^ f.u16(2 * k));
        if (sum != f.u16(20))
            f.fail("has a damaged header (checksum)");
        const auto left = static_cast<std::int16_t>(f.u16(6));
        const auto top = static_cast<std::int16_t>(f.u16(8));
        const auto right = static_cast<std::int16_t>(f.u16(10));
        const auto bottom = static_cast<std::int16_t>(f.u16(12));
        if (right <= left || bottom <= top || f.u16(14) == 0)
            f.fail("has an empty frame");
        at = 22;
    }
    const std::uint16_t type = f.u16(at);
    const std::uint16_t header_words = f.u16(at + 2);
    if ((type != 1 && type != 2) || header_words != 9)
        f.fail("has no metafile header");
    // The player allocates a buffer of the largest record's size up front:
    // a record larger than the file cannot exist.
    const std::uint32_t largest_words = f.u32(at + 12);
    if (largest_words > f.size() / 2)
        f.fail("has a damaged header (largest record)");
    at += 18;
    long long pixels_left = kMaxEmbeddedPixels;
    for (;;) {
        const std::uint32_t words = f.u32(at);
        const std::uint16_t function = f.u16(at + 4);
        if (words < 3 || words > f.size() / 2)
            f.fail("has a damaged record");
        f.need(at, static_cast<std::size_t>(words) * 2);
        if (function == 0)
            return; // the end record
        check_wmf_record_bitmap(f, at, words, function, pixels_left);
        at += static_cast<std::size_t>(words) * 2;
    }
}

Bytes with_placeable_header(const Bytes& file)
{
    constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
    constexpr std::uint16_t kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C;
    const Fields f(file, "metafile");
    if (f.u32(0) == kPlaceableKey)
        return file;
    std::optional<std::int16_t> left, top, width, height;
    for (std::size_t at = 18;;) {
        const std::uint32_t words = f.u32(at);
        const std::uint16_t function = f.u16(at + 4);
        if (function == 0 || words < 3)
            break;
        // Both records hold y before x.
        if (function == kSetWindowOrg && !left) {
            top = static_cast<std::int16_t>(f.u16(at + 6));
            left = static_cast<std::int16_t>(f.u16(at + 8));
        } else if (function == kSetWindowExt && !width) {
            height = static_cast<std::int16_t>(f.u16(at + 6));
            width = static_cast<std::int16_t>(f.u16(at + 8));
        }
        at += static_cast<std::size_t>(words) * 2;
    }
    if (!width || *width <= 0 || *height <= 0)
        return file;
    const int x0 = left.value_or(0);
    const int y0 = top.value_or(0);
    const int x1 = x0 + *width;
    const int y1 = y0 + *height;
    if (x1 > 32767 || y1 > 32767)
        return file;

    const std::uint16_t words[10]
        = { 0xCDD7, 0x9AC6, 0, static_cast<std::uint16_t>(x0), static_cast<std::uint16_t>(y0),
              static_cast<std::uint16_t>(x1), static_cast<std::uint16_t>(y1), 96, 0, 0 };
    std::uint16_t checksum = 0;
    Bytes result;
    result.reserve(file.size() + 22);
    for (const std::uint16_t word : words) {
        checksum = static_cast<std::uint16_t>(checksum ^ word);
        result.push_back(static_cast<std::uint8_t>(word & 0xFF));
        result.push_back(static_cast<std::uint8_t>(word >> 8));
    }
    result.push_back(static_cast<std::uint8_t>(checksum & 0xFF));
    result.push_back(static_cast<std::uint8_t>(checksum >> 8));
    result.insert(result.end(), file.begin(), file.end());
    return result;
}

EmfHeader check_emf(const Bytes& file)
{
    const Fields f(file, "enhanced metafile");
    if (f.size() == 0)
        f.fail("is empty");
    constexpr std::uint32_t kHeader = 1, kEof = 14, kSignature = 0x464D4520; // " EMF"
    if (f.u32(0) != kHeader || f.u32(40) != kSignature)
        f.fail("has no metafile header");
    const std::uint32_t header_size = f.u32(4);
    if (header_size < 88 || header_size % 4 != 0)
        f.fail("has a damaged header");
    if (f.u32(48) > f.size())
        f.fail("is truncated");
    EmfHeader header {};
    for (std::size_t k = 0; k < 4; ++k) {
        header.bounds[k] = f.s32(8 + 4 * k);
        header.frame[k] = f.s32(24 + 4 * k);
    }
    header.device[0] = f.s32(72);
    header.device[1] = f.s32(76);
    header.millimeters[0] = f.s32(80);
    header.millimeters[1] = f.s32(84);

    std::size_t at = 0;
    long long pixels_left = kMaxEmbeddedPixels;
    for (;;) {
        const std::uint32_t type = f.u32(at);
        const std::uint32_t size = f.u32(at + 4);
        if (size < 8 || size % 4 != 0)
            f.fail("has a damaged record");
        f.need(at, size);
        if (type == kEof)
            return header;
        check_emf_record_bitmaps(f, at, size, type, pixels_left);
        at += size;
    }
}

} // namespace velmora
