#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif/gif_writer.h"
#include "gif_test_support.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

Bytes encode(const Bytes& pixels, int depth, int bound = 256)
{
    Bytes out;
    TRLEEncoder::encode(out, pixels.data(), pixels.size(), depth, bound);
    return out;
}

Bytes lzw(const Bytes& pixels, int depth, int bound = 256)
{
    Bytes out;
    TLZWEncoder::encode(out, pixels.data(), pixels.size(), depth, bound);
    return out;
}

Bitmap palette_bitmap(int w, int h, std::vector<Color> palette, std::initializer_list<int> indices)
{
    Bitmap b(0, 0, PixelFormat::pf8bit);
    b.set_palette(std::move(palette));
    b.set_size(w, h);
    auto it = indices.begin();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.row(y)[x] = static_cast<std::uint8_t>(it == indices.end() ? 0 : *it++);
    return b;
}

} // namespace

TEST(RunLengthEncoder, KnownByteStreams)
{
    // Four pixels of index 0 at bit depth 1: codes 4, 0, 6, 0 in 3 bits, end 5 in 4.
    EXPECT_EQ(encode(Bytes(4, 0), 1, 2), (Bytes { 0x02, 0x02, 0x84, 0x51, 0x00 }));
    // Ten pixels of index 0 at depth 8: 256, 0, 258, 259, 260, 257, all 9 bits.
    EXPECT_EQ(encode(Bytes(10, 0), 8),
        (Bytes { 0x08, 0x07, 0x00, 0x01, 0x08, 0x1C, 0x48, 0x30, 0x20, 0x00 }));
    // 1, 2, 3, 0 at depth 2: the third plain code widens the fourth and the end code.
    EXPECT_EQ(encode(Bytes { 1, 2, 3, 0 }, 2, 4), (Bytes { 0x02, 0x03, 0x8C, 0x06, 0x05, 0x00 }));
}

TEST(RunLengthEncoder, RunsReuseTheTableOrClearOrRepeatPlainCodes)
{
    // Code size 2 (clear 4, end 5, run codes from 6), worked through by hand:
    // 1 x 5 after the clear: 1, then runs of 2 (6) and the 2 left (6); the
    // third code widens to 4 bits. 2: plain. 1 x 7: the table holds runs of
    // 1 up to 3 (code 7), so 7, 7 and a plain 1. 2 x 5: the table is of 1s;
    // a clear and 2, 6, 6 (3 codes) beat 5 plain ones. 0 x 3: a clear and
    // 0, 6 would be 3 codes too, not fewer, so 0, 0, 0.
    Bytes pixels;
    for (const auto& [value, count] :
        { std::pair { 1, 5 }, { 2, 1 }, { 1, 7 }, { 2, 5 }, { 0, 3 } })
        pixels.insert(
            pixels.end(), static_cast<std::size_t>(count), static_cast<std::uint8_t>(value));
    const auto decoded = read_codes(encode(pixels, 2, 4));
    EXPECT_EQ(decoded.codes, (std::vector<int> { 4, 1, 6, 6, 2, 7, 7, 1, 4, 2, 6, 6, 0, 0, 0, 5 }));
    EXPECT_EQ(
        decoded.widths, (std::vector<int> { 3, 3, 3, 3, 4, 4, 4, 4, 4, 3, 3, 3, 4, 4, 4, 4 }));

    // 1 x 3 leaves runs of 1 up to 2 in the table; after a 2, ten 1s are
    // five run codes, and a clear with 1, 6, 7, 8 would be five too: the
    // table is kept when restarting saves nothing.
    Bytes ten = { 1, 1, 1, 2 };
    ten.insert(ten.end(), 10, 1);
    const auto kept = read_codes(encode(ten, 2, 4));
    EXPECT_EQ(kept.codes, (std::vector<int> { 4, 1, 6, 2, 6, 6, 6, 6, 6, 5 }));
}

TEST(RunLengthEncoder, DistinctPixelsClearEvery254CodesAndStayAt9Bits)
{
    Bytes pixels;
    for (int i = 0; i < 1000; ++i)
        pixels.push_back(static_cast<std::uint8_t>(i % 2));
    // Code sizes 2 and 3 clear after 9 codes, larger ones 2 codes before
    // the clear code's value.
    for (const auto& [depth, limit] : { std::pair { 2, 9u }, { 3, 9u }, { 4, 14u }, { 8, 254u } }) {
        const auto decoded = read_codes(encode(pixels, depth, 1 << depth));
        const int clear = 1 << decoded.code_size;
        ASSERT_EQ(decoded.codes.front(), clear);
        std::vector<std::size_t> clears;
        for (std::size_t i = 0; i < decoded.codes.size(); ++i) {
            if (depth == 8) {
                EXPECT_EQ(decoded.widths[i], 9) << "code " << i;
            }
            if (decoded.codes[i] == clear)
                clears.push_back(i);
        }
        ASSERT_GE(clears.size(), 3u);
        for (std::size_t k = 1; k < clears.size(); ++k)
            EXPECT_EQ(clears[k] - clears[k - 1], limit + 1) << "depth " << depth;
        EXPECT_EQ(decoded.codes.back(), clear + 1);
    }
}

TEST(RunLengthEncoder, LongRunsGrowTheWidthUpTo12BitsOnly)
{
    // One colour: growing run codes F, F + 1, ... with the limit raised to
    // 3837, so the width passes 10, 11 and 12 bits and no further. Runs of
    // 1 .. 3837 pixels cover 7363203 pixels; then the table is full, a clear
    // follows and the runs start again at 1, now under the usual limit of
    // 254 codes.
    const Bytes pixels(8000000, 7);
    const auto decoded = read_codes(encode(pixels, 8));
    ASSERT_EQ(decoded.codes[0], 256);
    EXPECT_EQ(decoded.codes[1], 7);
    EXPECT_EQ(decoded.codes[2], 258);
    EXPECT_EQ(decoded.codes[3], 259);
    ASSERT_GT(decoded.codes.size(), 3841u);
    EXPECT_EQ(decoded.codes[3837], 258 + 3835);
    EXPECT_EQ(decoded.codes[3838], 256);
    EXPECT_EQ(decoded.codes[3839], 7);
    EXPECT_EQ(decoded.codes[3840], 258);
    EXPECT_EQ(decoded.codes[3839 + 253], 258 + 252);
    EXPECT_EQ(decoded.codes[3839 + 254], 256);
    int since_clear = -1;
    int max_width = 0;
    for (std::size_t i = 0; i < decoded.codes.size(); ++i) {
        if (decoded.codes[i] == 256) {
            since_clear = 0;
            continue;
        }
        max_width = std::max(max_width, decoded.widths[i]);
        const int expected = since_clear < 255 ? 9
            : since_clear < 767                ? 10
            : since_clear < 1791               ? 11
                                               : 12;
        EXPECT_EQ(decoded.widths[i], expected) << "code " << i << " since clear " << since_clear;
        ++since_clear;
    }
    EXPECT_EQ(max_width, 12);
    // Far fewer codes than pixels.
    EXPECT_LT(decoded.codes.size(), 10000u);
    EXPECT_EQ(decoded.codes.back(), 257);
    // A run that ends more than 254 codes after its clear is followed by a
    // clear once the limit is back at 254.
    const auto shorter = read_codes(encode(Bytes(100000, 7), 8));
    ASSERT_EQ(shorter.codes.size(), 1 + 447 + 2u);
    EXPECT_EQ(shorter.codes[446], 258 + 444); // runs of 1 .. 446 pixels
    EXPECT_EQ(shorter.codes[447], 258 + 317); // and the 319 left
    EXPECT_EQ(shorter.codes[448], 256);
    EXPECT_EQ(shorter.codes[449], 257);
    // And it decodes to the same pixels.
    TGIFImage image;
    image.AddFrame(palette_bitmap(4000, 2000, std::vector<Color>(256, 0), {}));
    std::fill(image.frame(0).data().begin(), image.frame(0).data().end(), 7);
    TGIFImage back;
    back.LoadFromMemory(image.SaveToMemory());
    EXPECT_EQ(back.frame(0).data(), image.frame(0).data());
}

TEST(RunLengthEncoder, PixelOutsideTheColourBoundFails)
{
    try {
        encode(Bytes { 0, 1, 4 }, 2, 4);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color not in color table");
    }
}

TEST(LZWEncoder, CodesWidenAsTheDecoderDoesAndAFullTableIsCleared)
{
    // Four 0s at bit depth 1: 0, the string 00 (code 6), 0. The decoder's
    // table reaches 8 entries with the last code, so the end code takes 4 bits.
    EXPECT_EQ(lzw(Bytes(4, 0), 1, 2), (Bytes { 0x02, 0x02, 0x84, 0x51, 0x00 }));
    // With the last code the decoder's table reaches code 15, so the end code
    // takes 5 bits; its fifth bit begins a seventh byte.
    const auto widened
        = read_codes(lzw(Bytes { 0, 2, 0, 2, 1, 0, 0, 0, 3, 2, 0, 3, 3, 2, 1 }, 2, 4));
    EXPECT_EQ(widened.codes, (std::vector<int> { 4, 0, 2, 6, 1, 0, 10, 3, 7, 3, 12, 1, 5 }));
    EXPECT_EQ(widened.widths, (std::vector<int> { 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5 }));

    // Code size 8: the table gives out codes 258 to 4095 for the strings
    // after the first 3838 codes; the 3839th code is followed by a clear,
    // unless it is the last. Counts on both sides of each clear.
    for (const std::size_t count : { 3838u, 3839u, 3840u, 7678u, 7679u }) {
        const Bytes pixels = single_pixel_strings(count);
        std::vector<int> expected { 256 };
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0 && i % 3839 == 0)
                expected.push_back(256);
            expected.push_back(pixels[i]);
        }
        expected.push_back(257);
        EXPECT_EQ(read_codes(lzw(pixels, 8)).codes, expected) << count;
    }
    EXPECT_THROW(lzw(Bytes { 0, 1, 2, 3, 4 }, 2, 4), GIFException);
}

TEST(GIFWriter, SingleFrameFileLayout)
{
    TGIFImage image;
    const int index = image.AddFrame(palette_bitmap(2, 2,
        { make_color(10, 20, 30), make_color(40, 50, 60), make_color(70, 80, 90) },
        { 0, 1, 2, 0 }));
    ASSERT_EQ(index, 0);
    auto loop = std::make_unique<TGIFAppExtNSLoop>();
    image.frame(0).add_extension(std::move(loop));
    auto control = std::make_unique<TGIFGraphicControlExtension>(image.frame(0));
    control->set_delay(7);
    image.frame(0).add_extension(std::move(control));
    const Bytes bytes = image.SaveToMemory();

    Bytes expected;
    append(expected, std::string("GIF89a"));
    // Screen 2 x 2; no global table; resolution 1, size bits 1 (3 colours: 2 bits).
    append(expected, { 2, 0, 2, 0, 0x11, 0, 0 });
    append(expected, { 0x21, 0xFF, 0x0B });
    append(expected, std::string("NETSCAPE2.0"));
    append(expected, { 0x03, 0x01, 0x00, 0x00, 0x00 });
    append(expected, { 0x21, 0xF9, 0x04, 0x00, 0x07, 0x00, 0x00, 0x00 });
    append(expected, descriptor(0, 0, 2, 2, 0x81));
    // 3 colours take 4 entries, the last one black padding.
    append(expected, { 10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0 });
    append(expected, encode(Bytes { 0, 1, 2, 0 }, 2, 3));
    expected.push_back(0x3B);
    EXPECT_EQ(bytes, expected);
}

TEST(GIFWriter, TwoColourTablesUseCodeSize2AndOneEntryTablesArePadded)
{
    for (int colours : { 1, 2, 3 }) {
        TGIFImage image;
        image.AddFrame(palette_bitmap(1, 1,
            std::vector<Color>(static_cast<std::size_t>(colours), make_color(1, 2, 3)), { 0 }));
        const Bytes bytes = image.SaveToMemory();
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF87a");
        const std::size_t table = 13 + 10;
        const int entries = colours == 3 ? 4 : 2;
        EXPECT_EQ(bytes[22] & 7, colours == 3 ? 1 : 0);
        EXPECT_EQ(bytes[table + 3 * static_cast<std::size_t>(entries)], 2) << colours << " colours";
    }
}

TEST(GIFWriter, GlobalTableIsWrittenAtTheAnnouncedSize)
{
    // A 2-colour global table under a frame with a 4-colour local table: the
    // header announces 4 global entries (the largest table's bits), so 4 are
    // written, and a reader finds the frames where they are.
    TGIFImage image;
    image.global_color_map().assign({ make_color(255, 0, 0), make_color(0, 0, 255) });
    TGIFSubImage& plain
        = image.frame(image.AddFrame(palette_bitmap(2, 1, { make_color(9, 9, 9) }, { 0, 0 })));
    plain.color_map().clear();
    plain.data() = { 1, 0 };
    image.AddFrame(palette_bitmap(2, 1,
        { make_color(1, 1, 1), make_color(2, 2, 2), make_color(3, 3, 3), make_color(4, 4, 4) },
        { 3, 2 }));
    const Bytes bytes = image.SaveToMemory();
    EXPECT_EQ(bytes[10] & 0x87, 0x81);
    EXPECT_EQ(bytes[13 + 4 * 3], 0x2C) << "the first frame follows 4 entries";
    TGIFImage back;
    back.LoadFromMemory(bytes);
    ASSERT_EQ(back.frame_count(), 2);
    EXPECT_EQ(back.frame(0).active_color_map()[back.frame(0).data()[0]], make_color(0, 0, 255));
    EXPECT_EQ(back.frame(1).active_color_map()[back.frame(1).data()[0]], make_color(4, 4, 4));
}

TEST(GIFWriter, NoFramesIsAnUnsupportedVersion)
{
    TGIFImage image;
    try {
        image.SaveToMemory();
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported GIF version");
    }
}

TEST(GIFWriter, WriteThenReadGivesTheSamePixels)
{
    // An asymmetric F in red on blue, plus a noisy frame with a local table
    // of 200 colours, so both small and large code sizes go through.
    const std::vector<Color> two = { make_color(0, 0, 255), make_color(255, 0, 0) };
    Bitmap f = palette_bitmap(6, 5, two,
        { 0, 1, 1, 1, 1, 0, //
            0, 1, 0, 0, 0, 0, //
            0, 1, 1, 1, 0, 0, //
            0, 1, 0, 0, 0, 0, //
            0, 1, 0, 0, 0, 0 });
    std::vector<Color> many;
    for (int i = 0; i < 200; ++i)
        many.push_back(make_color(i, 255 - i, i / 2));
    Bitmap noise(0, 0, PixelFormat::pf8bit);
    noise.set_palette(many);
    noise.set_size(97, 61);
    std::uint32_t seed = 12345;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            // Runs of random length, so every flush path is used.
            noise.row(y)[x] = static_cast<std::uint8_t>(
                (seed >> 16) % 7 == 0 ? (seed >> 8) % 200 : (x > 0 ? noise.row(y)[x - 1] : 0));
        }
    TGIFImage image;
    image.AddFrame(f);
    image.AddFrame(noise);
    TGIFImage back;
    back.LoadFromMemory(image.SaveToMemory());
    ASSERT_EQ(back.frame_count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(back.frame(i).data(), image.frame(i).data());
        const auto& written = image.frame(i).color_map().colors();
        const auto& read = back.frame(i).color_map().colors();
        ASSERT_GE(read.size(), written.size());
        EXPECT_TRUE(std::equal(written.begin(), written.end(), read.begin()));
    }
    EXPECT_EQ(back.frame(1).color_map().count(), 256); // 200 padded to 2^8
    const Bitmap picture = gif_to_bitmap(back, 24);
    EXPECT_EQ(picture.width(), 97);
    EXPECT_EQ(picture.pixel(1, 0), make_color(255, 0, 0));
    EXPECT_EQ(picture.pixel(0, 0), make_color(0, 0, 255));
}
