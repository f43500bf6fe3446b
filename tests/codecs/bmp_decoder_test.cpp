// Our BMP decoder against Qt's BMP reader, which decoded BMP pictures before:
// every kind of BMP file shows the same pixels either way.
#include "picture/bmp_decoder.h"
#include "picture/qt/qimage_view.h"

#include <QBuffer>
#include <QImageReader>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

struct BmpCase {
    const char* what;
    std::uint32_t info_size; // 12, 40, 108 or 124
    int bits;
    std::uint32_t compression;
    int height; // negative: top row first
    std::uint32_t colours; // palette entries written (0: none)
    std::vector<std::uint32_t> masks; // red, green, blue, alpha
    Bytes pixels; // the data as written; empty: varied bytes of full rows
};

constexpr int kWidth = 7;

Bytes make_bmp(const BmpCase& c)
{
    const int rows = c.height < 0 ? -c.height : c.height;
    Bytes pixels = c.pixels;
    if (pixels.empty()) {
        const std::size_t stride = (kWidth * static_cast<std::size_t>(c.bits) + 31) / 32 * 4;
        for (std::size_t k = 0; k < stride * static_cast<std::size_t>(rows); ++k)
            pixels.push_back(static_cast<std::uint8_t>(k * 37 + k / 5 * 11));
    }
    Bytes info;
    put32(info, c.info_size);
    if (c.info_size == 12) {
        put16(info, kWidth);
        put16(info, static_cast<std::uint32_t>(rows));
        put16(info, 1);
        put16(info, static_cast<std::uint32_t>(c.bits));
    } else {
        put32(info, kWidth);
        put32(info, static_cast<std::uint32_t>(c.height));
        put16(info, 1);
        put16(info, static_cast<std::uint32_t>(c.bits));
        put32(info, c.compression);
        put32(info, static_cast<std::uint32_t>(pixels.size()));
        put32(info, 3780);
        put32(info, 3780);
        put32(info, c.bits <= 8 ? c.colours : 0);
        put32(info, 0);
        for (std::uint32_t mask : c.masks)
            put32(info, mask);
        if (c.info_size > 40)
            info.resize(c.info_size, 0);
        else
            info.resize(40 + 4 * c.masks.size(), 0);
    }
    for (std::uint32_t k = 0; k < c.colours; ++k) {
        info.push_back(static_cast<std::uint8_t>(k * 40));
        info.push_back(static_cast<std::uint8_t>(255 - k * 20));
        info.push_back(static_cast<std::uint8_t>(k * 90));
        if (c.info_size != 12)
            info.push_back(0);
    }
    Bytes file = { 'B', 'M' };
    put32(file, static_cast<std::uint32_t>(14 + info.size() + pixels.size()));
    put32(file, 0);
    put32(file, static_cast<std::uint32_t>(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

Bitmap qt_decoded(const Bytes& file)
{
    QByteArray bytes(
        reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    return bitmap_from_qimage(reader.read());
}

} // namespace

TEST(BmpDecoder, EveryKindOfBmpShowsWhatQtShowed)
{
    // Runs and literal pixels (odd counts padded) that set every pixel.
    const Bytes rle8 = { 3, 1, 0, 3, 2, 0, 1, 0, 1, 2, 0, 0, 7, 0, 0, 0, 0, 4, 1, 2, 0, 1, 3, 2, 0,
        0, 2, 1, 5, 0, 0, 0, 0, 7, 2, 1, 0, 2, 1, 0, 2, 0, 0, 1 };
    const Bytes rle4 = { 3, 0x12, 0, 3, 0x34, 0x50, 1, 0x70, 0, 0, 7, 0x67, 0, 0, 0, 5, 0x01, 0x23,
        0x40, 0, 2, 0x55, 0, 0, 4, 0x21, 3, 0x70, 0, 0, 0, 7, 0x76, 0x54, 0x32, 0x10, 0, 1 };
    const std::vector<BmpCase> cases = {
        { "core 1 bit", 12, 1, 0, 5, 2, {}, {} },
        { "core 4 bits", 12, 4, 0, 5, 16, {}, {} },
        { "core 8 bits", 12, 8, 0, 5, 256, {}, {} },
        { "core 24 bits", 12, 24, 0, 5, 0, {}, {} },
        { "1 bit", 40, 1, 0, 5, 2, {}, {} },
        { "4 bits", 40, 4, 0, 5, 16, {}, {} },
        { "8 bits, 256 colours", 40, 8, 0, 5, 256, {}, {} },
        { "8 bits, 256 colours, top row first", 40, 8, 0, -5, 256, {}, {} },
        { "16 bits, 5-5-5", 40, 16, 0, 5, 0, {}, {} },
        { "24 bits", 40, 24, 0, 5, 0, {}, {} },
        { "24 bits, top row first", 40, 24, 0, -5, 0, {}, {} },
        { "32 bits", 40, 32, 0, 5, 0, {}, {} },
        { "16 bits, bit fields 5-6-5", 40, 16, 3, 5, 0, { 0xF800, 0x07E0, 0x001F }, {} },
        { "16 bits, bit fields 4-4-4", 40, 16, 3, 5, 0, { 0x0F00, 0x00F0, 0x000F }, {} },
        { "32 bits, bit fields B-G-R", 40, 32, 3, 5, 0, { 0xFF, 0xFF00, 0xFF0000 }, {} },
        { "32 bits, version 5 header with alpha mask", 124, 32, 3, 5, 0,
            { 0xFF0000, 0xFF00, 0xFF, 0xFF000000 }, {} },
        { "16 bits, version 4 header, 5-6-5", 108, 16, 3, 5, 0, { 0xF800, 0x07E0, 0x001F, 0 }, {} },
        { "8-bit runs", 40, 8, 1, 5, 3, {}, rle8 },
        { "4-bit runs", 40, 4, 2, 5, 8, {}, rle4 },
    };
    for (const BmpCase& c : cases) {
        const Bytes file = make_bmp(c);
        const Bitmap want = qt_decoded(file);
        ASSERT_FALSE(want.empty()) << c.what;
        const Bitmap got = decode_bmp(file);
        ASSERT_EQ(got.width(), want.width()) << c.what;
        ASSERT_EQ(got.height(), want.height()) << c.what;
        for (int y = 0; y < got.height(); ++y)
            for (int x = 0; x < got.width(); ++x)
                ASSERT_EQ(got.pixel(x, y), want.pixel(x, y)) << c.what << " at " << x << "," << y;
    }
}

TEST(BmpDecoder, PixelsARunLengthPictureSkipsAreBlack)
{
    // A delta and an early end leave pixels unset, which Qt's reader showed
    // as whatever its memory held.
    const Bytes runs = { 3, 1, 0, 0, 0, 2, 2, 1, 2, 1, 0, 1 };
    const Bitmap b = decode_bmp(make_bmp({ "runs with gaps", 40, 8, 1, 5, 2, {}, runs }));
    const Color black = make_color(0, 0, 0);
    const Color one = make_color(90, 235, 40);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool set = (y == 4 && x < 3) || (y == 2 && (x == 2 || x == 3));
            EXPECT_EQ(b.pixel(x, y), set ? one : black) << x << "," << y;
        }
}
