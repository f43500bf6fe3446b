// Damaged and hostile input: whatever the bytes, the reader ends with a
// picture or a GIFException, never a crash, a hang or an out-of-bounds read
// (run under the sanitizer build to see the last one).

#include "gif/gif_image.h"
#include "gif/gif_reader.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A good file with most of what the reader knows: global and local tables,
// a loop extension, a comment, graphic control, an interlaced frame, a frame
// smaller than the screen with an offset.
std::vector<std::uint8_t> good_file()
{
    TGIFImage image;
    std::vector<Color> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(make_color(i * 16, 255 - i * 16, i * 5));
    for (int f = 0; f < 3; ++f) {
        Bitmap b(0, 0, PixelFormat::pf8bit);
        b.set_palette(palette);
        b.set_size(9 + f, 7);
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x)
                b.row(y)[x] = static_cast<std::uint8_t>((x * y + f) % 16);
        const int index = image.AddFrame(b);
        auto control = std::make_unique<TGIFGraphicControlExtension>(image.frame(index));
        control->set_transparent(f > 0);
        control->set_transparent_index(3);
        image.frame(index).add_extension(std::move(control));
    }
    image.frame(0).add_extension(std::make_unique<TGIFAppExtNSLoop>());
    auto comment = std::make_unique<TGIFCommentExtension>();
    comment->lines = { "made for the damage tests" };
    image.frame(1).add_extension(std::move(comment));
    image.MergeColorMaps();
    image.frame(2).set_bounds(2, 1, 11, 7);
    auto bytes = image.SaveToMemory();
    return bytes;
}

bool survives(const std::vector<std::uint8_t>& bytes)
{
    try {
        const Bitmap b = decode_gif(bytes);
        return b.empty() || (b.width() > 0 && b.height() > 0);
    } catch (const GIFException&) {
        return true;
    }
}

} // namespace

TEST(HostileGIF, EveryTruncationLoadsOrFailsCleanly)
{
    const auto bytes = good_file();
    ASSERT_FALSE(decode_gif(bytes).empty());
    for (std::size_t n = 0; n <= bytes.size(); ++n)
        ASSERT_TRUE(survives(std::vector<std::uint8_t>(
            bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n))))
            << n;
}

TEST(HostileGIF, EverySingleByteChangeLoadsOrFailsCleanly)
{
    const auto bytes = good_file();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        for (const int value : { 0x00, 0xFF, bytes[i] ^ 0x01, bytes[i] ^ 0x80, 0x2C, 0x21, 0x3B }) {
            auto damaged = bytes;
            damaged[i] = static_cast<std::uint8_t>(value);
            ASSERT_TRUE(survives(damaged)) << "byte " << i << " = " << value;
        }
}

TEST(HostileGIF, HugeScreensAndFramesAreRefusedNotAllocated)
{
    // A 65535 x 65535 screen with a 1 x 1 frame: the screen-sized bitmap
    // would be 4 GiB.
    std::vector<std::uint8_t> bytes = { 'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80,
        0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 5, 0, 5, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0, 0x3B };
    try {
        decode_gif(bytes);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "GIF image too large");
    }
    // Many frames of the largest allowed size: the total is capped too.
    std::vector<std::uint8_t> many
        = { 'G', 'I', 'F', '8', '9', 'a', 0, 0x20, 0, 0x20, 0x80, 0, 0, 0, 0, 0, 255, 255, 255 };
    for (int i = 0; i < 6; ++i)
        many.insert(many.end(), { 0x2C, 0, 0, 0, 0, 0, 0x20, 0, 0x20, 0, 2, 2, 0x4C, 0x01, 0 });
    many.push_back(0x3B);
    try {
        decode_gif(many);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "GIF image too large");
    }
}

TEST(HostileGIF, EndlessZeroLengthStructuresEnd)
{
    // Only extension introducers and zero bytes: each block consumes input,
    // so the reader ends when the input does.
    std::vector<std::uint8_t> bytes = { 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0 };
    for (int i = 0; i < 20000; ++i)
        bytes.insert(bytes.end(), { 0x21, 0xFE, 0 });
    TGIFImage image;
    image.LoadFromMemory(bytes);
    EXPECT_EQ(image.frame_count(), 1);
    EXPECT_EQ(image.frame(0).extensions().size(), 20000u);
    EXPECT_TRUE(gif_to_bitmap(image, 24).empty());
}
