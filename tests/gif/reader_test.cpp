#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif/gif_stream.h"
#include "gif_test_support.h"
#include "picture/picture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace velmora;
using namespace velmora::test;

namespace {

// A 4 x 2 frame at (0, 0) on a 4 x 2 screen, pixels 0 1 2 3 / 3 2 1 0, made
// of plain codes with a clear every time the table would need 4 bits.
Bytes good_gif()
{
    Bytes out = gif_header(4, 2);
    append(out, descriptor(0, 0, 4, 2));
    append(out,
        pack_codes(2,
            { { 4, 3 }, { 0, 3 }, { 1, 3 }, { 2, 3 }, { 4, 4 }, { 3, 3 }, { 3, 3 }, { 2, 3 },
                { 4, 4 }, { 1, 3 }, { 0, 3 }, { 5, 3 } }));
    out.push_back(0x3B);
    return out;
}

std::vector<std::string> warnings_of(const Bytes& bytes, TGIFImage& image)
{
    std::vector<std::string> warnings;
    image.set_warning_handler([&](const std::string& w) { warnings.push_back(w); });
    image.LoadFromMemory(bytes);
    return warnings;
}

std::string error_of(const Bytes& bytes)
{
    TGIFImage image;
    GIFInput in(bytes);
    try {
        image.LoadFromStream(in);
    } catch (const GIFException& e) {
        EXPECT_EQ(in.position(), 0u) << "position restored";
        EXPECT_EQ(image.frame_count(), 0) << "nothing half-built";
        return e.what();
    }
    return "";
}

} // namespace

TEST(GIFReader, ReadsPlainCodesAndTheScreen)
{
    TGIFImage image;
    EXPECT_TRUE(warnings_of(good_gif(), image).empty());
    ASSERT_EQ(image.frame_count(), 1);
    EXPECT_EQ(image.frame(0).data(), (Bytes { 0, 1, 2, 3, 3, 2, 1, 0 }));
    const Bitmap b = gif_to_bitmap(image, 24);
    ASSERT_EQ(b.pixel_format(), PixelFormat::pf8bit);
    EXPECT_EQ(b.width(), 4);
    EXPECT_EQ(b.pixel(2, 0), make_color(255, 0, 0));
    EXPECT_EQ(b.pixel(0, 1), make_color(0, 255, 0));
}

TEST(GIFReader, SignatureInAnyCaseAndAfterAFourBytePrefix)
{
    Bytes lower = good_gif();
    std::copy_n("gif87a", 6, lower.begin());
    TGIFImage image;
    image.LoadFromMemory(lower);
    EXPECT_EQ(image.frame(0).data()[3], 3);

    Bytes prefixed = { 'X', 'Y', 'Z', 'W' };
    append(prefixed, good_gif());
    image.LoadFromMemory(prefixed);
    EXPECT_EQ(image.frame(0).data()[3], 3);

    EXPECT_EQ(
        error_of({ 'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0 }), "Invalid GIF signature");
    EXPECT_EQ(error_of({}), "Invalid GIF signature");
}

TEST(GIFReader, DataStoppingMidFrameLeavesTheFillValue)
{
    // Four codes of an 8-pixel frame, then the file ends.
    Bytes cut = gif_header(4, 2);
    append(cut, descriptor(0, 0, 4, 2));
    append(cut, { 2, 9, 0x44, 0x00 }); // announces 9 bytes, holds 2
    TGIFImage image;
    const auto warnings = warnings_of(cut, image);
    EXPECT_NE(std::find(warnings.begin(), warnings.end(), "Premature end of data"), warnings.end());
    EXPECT_NE(std::find(warnings.begin(), warnings.end(), "Decoder bit buffer under-run"),
        warnings.end());
    EXPECT_EQ(image.frame(0).data(), (Bytes { 0, 1, 0, 0, 0, 0, 0, 0 }));

    // A transparent frame keeps its transparent index where data is missing.
    Bytes transparent = gif_header(4, 2);
    append(transparent, { 0x21, 0xF9, 4, 0x01, 0, 0, 3, 0 });
    append(transparent, descriptor(0, 0, 4, 2));
    append(transparent, { 2, 1, 0x44 });
    image.LoadFromMemory(transparent);
    EXPECT_TRUE(image.frame(0).transparent());
    EXPECT_EQ(image.frame(0).data(), (Bytes { 0, 3, 3, 3, 3, 3, 3, 3 }));

    // After a clear only a pixel value may follow; a table code there (7)
    // stops the frame, and the block after it is still read in step.
    Bytes table_code = gif_header(4, 2);
    append(table_code, descriptor(0, 0, 4, 2));
    append(
        table_code, pack_codes(2, { { 4, 3 }, { 1, 3 }, { 2, 3 }, { 4, 3 }, { 7, 3 }, { 3, 3 } }));
    append(table_code, { 0x21, 0xFE, 1, 'x', 0 });
    append(table_code, descriptor(0, 0, 4, 2));
    append(table_code, pack_codes(2, { { 4, 3 }, { 1, 3 }, { 5, 3 } }));
    table_code.push_back(0x3B);
    image.LoadFromMemory(table_code);
    ASSERT_EQ(image.frame_count(), 2);
    EXPECT_EQ(image.frame(0).data(), (Bytes { 1, 2, 0, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(image.frame(1).data()[0], 1);
}

TEST(GIFReader, SmallFirstFrameIsPlacedOnTheScreenAndLaterFramesIgnored)
{
    Bytes bytes = gif_header(5, 4);
    append(bytes, descriptor(2, 1, 2, 2));
    append(bytes, pack_codes(2, { { 4, 3 }, { 2, 3 }, { 3, 3 }, { 3, 3 }, { 2, 4 }, { 5, 4 } }));
    append(bytes, descriptor(0, 0, 5, 4)); // a second, full frame
    append(bytes, pack_codes(2, { { 4, 3 }, { 1, 3 }, { 5, 3 } }));
    bytes.push_back(0x3B);
    TGIFImage image;
    image.LoadFromMemory(bytes);
    ASSERT_EQ(image.frame_count(), 2);
    const Bitmap b = gif_to_bitmap(image, 24);
    ASSERT_EQ(b.width(), 5);
    ASSERT_EQ(b.height(), 4);
    EXPECT_EQ(b.pixel(2, 1), make_color(255, 0, 0));
    EXPECT_EQ(b.pixel(3, 1), make_color(0, 255, 0));
    EXPECT_EQ(b.pixel(2, 2), make_color(0, 255, 0));
    EXPECT_EQ(b.pixel(3, 2), make_color(255, 0, 0));
    EXPECT_EQ(b.pixel(0, 0), make_color(255, 255, 255)); // outside: white
    EXPECT_EQ(b.pixel(4, 3), make_color(255, 255, 255));
}

TEST(GIFReader, TheLogicalScreenIsThePictureWhateverTheFramesSize)
{
    // A first frame reaching past a 2 x 2 screen is cut to the screen.
    Bytes wide = gif_header(2, 2);
    append(wide, descriptor(1, 1, 3, 2));
    append(wide,
        pack_codes(2, { { 4, 3 }, { 2, 3 }, { 3, 3 }, { 2, 3 }, { 3, 4 }, { 2, 4 }, { 3, 4 } }));
    wide.push_back(0x3B);
    TGIFImage image;
    image.LoadFromMemory(wide);
    EXPECT_EQ(image.header().width, 2);
    EXPECT_EQ(image.header().height, 2);
    const Bitmap cut = gif_to_bitmap(image, 24);
    ASSERT_EQ(cut.width(), 2);
    ASSERT_EQ(cut.height(), 2);
    EXPECT_EQ(cut.pixel(1, 1), make_color(255, 0, 0));
    EXPECT_EQ(cut.pixel(0, 0), make_color(255, 255, 255));

    // A screen of no size says nothing: the frame gives the picture's size.
    Bytes unsized = gif_header(0, 0);
    append(unsized, descriptor(0, 0, 2, 1));
    append(unsized, pack_codes(2, { { 4, 3 }, { 2, 3 }, { 3, 3 }, { 5, 3 } }));
    unsized.push_back(0x3B);
    const Bitmap whole = decode_gif(unsized);
    EXPECT_EQ(whole.width(), 2);
    EXPECT_EQ(whole.height(), 1);

    // A frame without width (on a screen without width) has no pixels to
    // copy: no picture, and no null pointers handed to memcpy on the way.
    Bytes empty = gif_header(0, 3);
    append(empty, descriptor(0, 0, 0, 3));
    append(empty, pack_codes(2, { { 4, 3 }, { 5, 3 } }));
    empty.push_back(0x3B);
    EXPECT_TRUE(decode_gif(empty).empty());
}

TEST(GIFReader, NoImageBlockGivesAnEmptyBitmap)
{
    Bytes bytes = gif_header(3, 3);
    bytes.push_back(0x3B);
    EXPECT_TRUE(decode_gif(bytes).empty());
    Bytes comment_only = gif_header(3, 3);
    append(comment_only, { 0x21, 0xFE, 2, 'h', 'i', 0, 0x3B });
    TGIFImage image;
    image.LoadFromMemory(comment_only);
    ASSERT_EQ(image.frame_count(), 1);
    auto* comment = dynamic_cast<TGIFCommentExtension*>(image.frame(0).extensions().at(0).get());
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->lines, (std::vector<std::string> { "hi" }));
    EXPECT_TRUE(gif_to_bitmap(image, 24).empty());
}

TEST(GIFReader, AFullTableStaysAt12BitsUntilAClear)
{
    // Code size 8 and only single-pixel codes: every code but the first adds
    // an entry, the width grows at 512, 1024 and 2048 entries, and code 3839
    // adds the last one, 4095 = pixels 3838 and 3839. Encoders may go on
    // without a clear: the table then stays as it is and codes stay 12 bits
    // wide, until a clear code brings back 9 bits.
    constexpr int kPlain = 4000;
    std::vector<std::pair<int, int>> codes = { { 256, 9 } };
    Bytes expected;
    int width = 9;
    int next = 258;
    for (int k = 1; k <= kPlain; ++k) {
        codes.emplace_back(k % 256, width);
        expected.push_back(static_cast<std::uint8_t>(k % 256));
        if (k > 1 && next < 4096 && ++next == (1 << width) && width < 12)
            ++width;
    }
    ASSERT_EQ(width, 12);
    codes.emplace_back(4095, 12);
    append(expected, { 3838 % 256, 3839 % 256 });
    codes.emplace_back(256, 12);
    for (const int v : { 1, 2, 3 }) {
        codes.emplace_back(v, 9);
        expected.push_back(static_cast<std::uint8_t>(v));
    }
    codes.emplace_back(257, 9);

    const int w = static_cast<int>(expected.size());
    Bytes bytes = gif_header(w, 1, 8);
    append(bytes, descriptor(0, 0, w, 1));
    append(bytes, pack_codes(8, codes));
    bytes.push_back(0x3B);
    TGIFImage image;
    EXPECT_TRUE(warnings_of(bytes, image).empty());
    EXPECT_EQ(image.frame(0).data(), expected);
}

TEST(GIFReader, InterlacedRowsComeInFourPasses)
{
    // Ten rows of one pixel each; row values are their decoding order.
    Bytes bytes = gif_header(1, 10, 4);
    append(bytes, descriptor(0, 0, 1, 10, 0x40));
    Bytes data = { 4 };
    Bytes codes;
    {
        // Code size 4: clear 16, end 17, pixels 0..9 in order, 5 bits each.
        std::uint32_t bits = 16;
        int count = 5;
        for (int v = 0; v < 10; ++v) {
            bits |= static_cast<std::uint32_t>(v) << count;
            count += 5;
            while (count >= 8) {
                codes.push_back(static_cast<std::uint8_t>(bits & 0xFF));
                bits >>= 8;
                count -= 8;
            }
        }
        bits |= 17u << count;
        count += 5;
        while (count > 0) {
            codes.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    }
    data.push_back(static_cast<std::uint8_t>(codes.size()));
    append(data, codes);
    data.push_back(0);
    append(bytes, data);
    bytes.push_back(0x3B);
    TGIFImage image;
    image.LoadFromMemory(bytes);
    // Pass 1: rows 0, 8; pass 2: row 4; pass 3: rows 2, 6; pass 4: 1, 3, 5, 7, 9.
    EXPECT_EQ(image.frame(0).data(), (Bytes { 0, 5, 3, 6, 2, 7, 4, 8, 1, 9 }));
    // Written back in row order, without the interlace bit.
    const Bytes written = image.SaveToMemory();
    TGIFImage again;
    again.LoadFromMemory(written);
    EXPECT_FALSE(again.frame(0).interlaced());
    EXPECT_EQ(again.frame(0).data(), image.frame(0).data());
}

TEST(GIFReader, ExtensionsAreReadIntoTheirKinds)
{
    Bytes bytes = gif_header(4, 2);
    append(bytes, { 0x21, 0xFF, 11 });
    append(bytes, std::string("NETSCAPE2.0"));
    append(bytes, { 3, 1, 5, 0, 5, 2, 0x10, 0, 0, 0, 0 });
    append(bytes, { 0x21, 0xFF, 11 });
    append(bytes, std::string("XMP DataXMP"));
    append(bytes, { 2, 'a', 'b', 0 });
    append(bytes, { 0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 2, 0, 8, 8, 1, 0, 3, 'x', 'y', 'z', 0 });
    append(bytes, { 0x21, 0xF9, 4, 0x09, 50, 0, 2, 0 });
    append(bytes, { 0x21, 0xF9, 4, 0x00, 10, 0, 1, 0 }); // a second one does not control
    append(bytes, descriptor(0, 0, 4, 2));
    append(bytes, pack_codes(2, { { 4, 3 }, { 1, 3 }, { 5, 3 } }));
    bytes.push_back(0x3B);
    TGIFImage image;
    image.LoadFromMemory(bytes);
    const TGIFSubImage& frame = image.frame(0);
    ASSERT_EQ(frame.extensions().size(), 5u);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(frame.extensions()[0].get());
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loop_count, 5);
    EXPECT_EQ(loop->buffer_size, 16u);
    auto* unknown = dynamic_cast<TGIFUnknownAppExtension*>(frame.extensions()[1].get());
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->blocks, (std::vector<Bytes> { { 'a', 'b' } }));
    auto* text = dynamic_cast<TGIFTextExtension*>(frame.extensions()[2].get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->lines, (std::vector<std::string> { "xyz" }));
    ASSERT_NE(frame.graphic_control(), nullptr);
    EXPECT_EQ(frame.graphic_control(), frame.extensions()[3].get());
    EXPECT_EQ(frame.graphic_control()->delay(), 50);
    EXPECT_EQ(frame.graphic_control()->disposal(), 2);
    EXPECT_TRUE(frame.transparent());
    EXPECT_EQ(frame.transparent_index(), 2);
    // Pixels the data does not reach are the transparent index.
    EXPECT_EQ(frame.data(), (Bytes { 1, 2, 2, 2, 2, 2, 2, 2 }));
    // Written back, every extension is there again.
    TGIFImage again;
    again.LoadFromMemory(image.SaveToMemory());
    EXPECT_EQ(again.frame(0).extensions().size(), 5u);
    EXPECT_EQ(again.frame(0).data(), frame.data());
}

TEST(GIFReader, TenByteApplicationBlockEndsInsideTheIdentifier)
{
    Bytes bytes = gif_header(4, 2);
    append(bytes, { 0x21, 0xFF, 10 });
    append(bytes, std::string("ABCDEFGHIJ"));
    append(bytes, { 1, 'k', 0 }); // the sub-block starts right after the 10 bytes
    append(bytes, descriptor(0, 0, 4, 2));
    append(bytes, pack_codes(2, { { 4, 3 }, { 1, 3 }, { 5, 3 } }));
    bytes.push_back(0x3B);
    TGIFImage image;
    image.LoadFromMemory(bytes);
    auto* unknown = dynamic_cast<TGIFUnknownAppExtension*>(image.frame(0).extensions().at(0).get());
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(
        std::string(unknown->identifier.begin(), unknown->identifier.end()), "ABCDEFGHIJ\x01");
    EXPECT_EQ(unknown->blocks, (std::vector<Bytes> { { 'k' } }));
    EXPECT_EQ(image.frame(0).data()[0], 1);
}

TEST(GIFReader, EveryErrorText)
{
    const Bytes head = gif_header(4, 2);
    auto with = [&](std::initializer_list<int> tail) {
        Bytes b = head;
        append(b, tail);
        return b;
    };
    EXPECT_EQ(error_of(Bytes(head.begin(), head.begin() + 10)), "Premature end of data");
    EXPECT_EQ(error_of(Bytes(head.begin(), head.begin() + 15)), "Premature end of data");
    EXPECT_EQ(error_of(with({ 0x2C, 0, 0, 0 })), "Premature end of data");
    EXPECT_EQ(error_of(with({ 0x21, 0x77, 0 })), "Unknown extension type");
    EXPECT_EQ(error_of(with({ 0x21, 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0 })),
        "Unsupported Application Extension block size");
    Bytes loop = head;
    append(loop, { 0x21, 0xFF, 11 });
    append(loop, std::string("NETSCAPE2.0"));
    append(loop, { 2, 1, 0, 0 });
    EXPECT_EQ(error_of(loop), "Invalid GIF data");
    Bytes big_code_size = head;
    append(big_code_size, descriptor(0, 0, 4, 2));
    append(big_code_size, { 12, 1, 0, 0 });
    EXPECT_EQ(error_of(big_code_size), "Invalid GIF data");

    // A code beyond the table makes entry 7 its own prefix; reading 7 then
    // loops.
    Bytes circular = head;
    append(circular, descriptor(0, 0, 4, 2));
    append(circular, pack_codes(2, { { 4, 3 }, { 0, 3 }, { 7, 3 }, { 6, 3 }, { 7, 4 } }));
    circular.push_back(0x3B);
    EXPECT_EQ(error_of(circular), "Circular decoder table entry");

    // Too large a frame is refused before any allocation.
    EXPECT_EQ(error_of(with({ 0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0 })),
        "GIF image too large");

    // Inside an extension (only reachable by reading one directly).
    TGIFCommentExtension comment;
    const Bytes wrong_introducer = { 0x2C, 0xFE, 0 };
    GIFInput a(wrong_introducer);
    EXPECT_THROW(
        try { comment.read(a, {}); } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Invalid extension introducer");
            throw;
        },
        GIFException);
    const Bytes wrong_label = { 0x21, 0xF9, 0 };
    GIFInput b(wrong_label);
    EXPECT_THROW(
        try { comment.read(b, {}); } catch (const GIFException& e) {
            EXPECT_STREQ(
                e.what(), "Internal error: Extension Instance does not match Extension Label");
            throw;
        },
        GIFException);

    // No colour table at all.
    Bytes no_table = { 'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0, 0, 0 };
    append(no_table, descriptor(0, 0, 4, 2));
    append(no_table, pack_codes(2, { { 4, 3 }, { 1, 3 }, { 5, 3 } }));
    TGIFImage image;
    image.LoadFromMemory(no_table);
    try {
        gif_to_bitmap(image, 24);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "No global or local color table defined");
    }
}

TEST(GIFReader, WarningsForDamageThatStillReads)
{
    Bytes bytes = gif_header(4, 2);
    append(bytes, { 0, 0 }); // zero bytes between blocks are skipped
    append(bytes, descriptor(0, 0, 0, 0)); // zero size: the screen's
    append(bytes, pack_codes(2, { { 4, 3 }, { 2, 3 }, { 5, 3 } }));
    append(bytes, { 0x21, 0xF9, 4, 0, 0, 0, 1, 0 });
    append(bytes, { 0x99 }); // neither an extension nor an image
    TGIFImage image;
    const auto warnings = warnings_of(bytes, image);
    EXPECT_EQ(warnings,
        (std::vector<std::string> { "Image exceeds Logical Screen size",
            "Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer" }));
    ASSERT_EQ(image.frame_count(), 2); // the second holds only its extension
    EXPECT_EQ(image.frame(0).width(), 4);
    EXPECT_EQ(image.frame(0).height(), 2);
    ASSERT_EQ(image.frame(0).data().size(), 8u);
    EXPECT_EQ(image.frame(0).data()[0], 2);

    Bytes cut = gif_header(4, 2);
    append(cut, { 0x21, 0xF9, 4, 0 });
    TGIFImage cut_image;
    EXPECT_EQ(warnings_of(cut, cut_image), (std::vector<std::string> { "Premature end of data" }));
}

TEST(GIFReader, LowDepthDisplaysGetTheColourCube)
{
    TGIFImage image;
    image.LoadFromMemory(good_gif());
    const Bitmap b = gif_to_bitmap(image, 8);
    ASSERT_EQ(b.pixel_format(), PixelFormat::pf8bit);
    ASSERT_EQ(b.palette().size(), 216u);
    EXPECT_EQ(b.pixel(0, 0), make_color(0, 0, 0));
    EXPECT_EQ(b.pixel(1, 0), make_color(255, 255, 255));
    EXPECT_EQ(b.pixel(2, 0), make_color(255, 0, 0));
    // A colour off the cube: level (c + 3) / 51 per component (the first
    // pixel carries no error yet).
    Bytes off = { 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 48, 150, 201, 0, 0, 0 };
    append(off, descriptor(0, 0, 1, 1));
    append(off, pack_codes(2, { { 4, 3 }, { 0, 3 }, { 5, 3 } }));
    off.push_back(0x3B);
    image.LoadFromMemory(off);
    EXPECT_EQ(gif_to_bitmap(image, 8).pixel(0, 0), make_color(51, 153, 204));
    set_display_depth(8);
    EXPECT_EQ(decode_gif(good_gif()).palette().size(), 216u);
    set_display_depth(24);
    EXPECT_EQ(decode_gif(good_gif()).palette().size(), 4u);
}

TEST(GIFReader, PictureFilesNamedGifInAnyCaseLoadThroughTheReader)
{
    const std::string source = std::string(VELMORA_TEST_DATA) + "/gif/peer/im_gradient.gif";
    const Bitmap direct = decode_gif_file(source);
    const std::string folder = testing::TempDir();
    for (const std::string name : { "a.GIF", "b.Gif", "c.gif" }) {
        const std::string copy = folder + "/" + name;
        std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
        const Bitmap loaded = load_picture(copy);
        EXPECT_EQ(loaded.pixel_format(), PixelFormat::pf24bit) << name;
        ASSERT_EQ(loaded.width(), direct.width()) << name;
        ASSERT_EQ(loaded.height(), direct.height()) << name;
        for (int y = 0; y < loaded.height(); ++y)
            for (int x = 0; x < loaded.width(); ++x)
                ASSERT_EQ(loaded.pixel(x, y), direct.pixel(x, y)) << name << " " << x << "," << y;
        std::filesystem::remove(copy);
    }
}

// Straight to 24 bits gives exactly the 8-bit first frame turned to 24 bits,
// for frames covering the screen (the direct way) and all others.
TEST(GIFReader, TrueColourFirstFrameIsTheEightBitOneTurned)
{
    const auto good_codes = pack_codes(2,
        { { 4, 3 }, { 0, 3 }, { 1, 3 }, { 2, 3 }, { 4, 4 }, { 3, 3 }, { 3, 3 }, { 2, 3 }, { 4, 4 },
            { 1, 3 }, { 0, 3 }, { 5, 3 } });
    Bytes short_table = gif_header(4, 2, 1); // indices 2 and 3 are past its two colours
    append(short_table, descriptor(0, 0, 4, 2));
    append(short_table, good_codes);
    short_table.push_back(0x3B);
    Bytes local = gif_header(4, 2);
    append(local, descriptor(0, 0, 4, 2, 0x81));
    append(local, { 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120 });
    append(local, good_codes);
    local.push_back(0x3B);
    Bytes small_frame = gif_header(5, 4);
    append(small_frame, descriptor(2, 1, 2, 2));
    append(
        small_frame, pack_codes(2, { { 4, 3 }, { 2, 3 }, { 3, 3 }, { 3, 3 }, { 2, 4 }, { 5, 4 } }));
    small_frame.push_back(0x3B);

    std::vector<std::pair<std::string, Bytes>> files { { "global table", good_gif() },
        { "short table", short_table }, { "local table", local }, { "small frame", small_frame } };
    for (const auto& entry :
        std::filesystem::directory_iterator(std::string(VELMORA_TEST_DATA) + "/gif/peer")) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename().string(),
            Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    for (const auto& [name, bytes] : files)
        for (const int depth : { 24, 8 }) {
            SCOPED_TRACE(name + " at " + std::to_string(depth) + " bits");
            TGIFImage image;
            try {
                image.LoadFromMemory(bytes);
            } catch (const GIFException&) {
                continue; // a file the reader refuses has no frame to compare
            }
            Bitmap expected = gif_to_bitmap(image, depth);
            expected.set_pixel_format(PixelFormat::pf24bit);
            const Bitmap got = gif_to_true_colour(image, depth);
            EXPECT_EQ(got.pixel_format(), PixelFormat::pf24bit);
            EXPECT_TRUE(got == expected);
        }
}
