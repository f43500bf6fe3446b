#include "base/error.h"
#include "picture/jpeg_decoder.h"
#include "picture/picture.h"
#include "support/peak_memory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

const std::string kPictures = std::string(VELMORA_TEST_DATA) + "/pictures/";

std::vector<std::uint8_t> bytes_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// A private folder for files the tests make, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-pictures-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        const std::string path = path_ + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The F of the test pictures: red strokes on blue over 6 x 5 cells.
bool f_is_red(int cell_x, int cell_y)
{
    static const char* const cells[] = { ".FFFF.", ".F....", ".FFF..", ".F....", ".F...." };
    return cells[cell_y][cell_x] == 'F';
}

// Compares the centre pixel of every cell with `red` or `blue`, channel by
// channel within `tolerance`.
void expect_f(const Bitmap& b, Color red, Color blue, int tolerance)
{
    for (int cy = 0; cy < 5; ++cy)
        for (int cx = 0; cx < 6; ++cx) {
            const int x = (2 * cx + 1) * b.width() / 12;
            const int y = (2 * cy + 1) * b.height() / 10;
            const Color want = f_is_red(cx, cy) ? red : blue;
            const Color got = b.pixel(x, y);
            EXPECT_NEAR(color_red(got), color_red(want), tolerance) << cx << "," << cy;
            EXPECT_NEAR(color_green(got), color_green(want), tolerance) << cx << "," << cy;
            EXPECT_NEAR(color_blue(got), color_blue(want), tolerance) << cx << "," << cy;
        }
}

std::string error_of(const std::string& path)
{
    try {
        load_picture(path);
    } catch (const Error& e) {
        return e.what();
    }
    return "(loaded)";
}

} // namespace

TEST(Jpeg, ColourGreyAndCmykPicturesDecodeToTheirPixels)
{
    const Bitmap colour = load_picture(kPictures + "f.jpg");
    ASSERT_EQ(colour.width(), 48);
    ASSERT_EQ(colour.height(), 40);
    EXPECT_EQ(colour.pixel_format(), PixelFormat::pf24bit);
    expect_f(colour, make_color(255, 0, 0), make_color(0, 0, 255), 24);

    // Grey: the maker stored red and blue as their luminances (0.2126 x 255
    // and 0.0722 x 255).
    const Bitmap grey = load_picture(kPictures + "f_gray.jpeg");
    expect_f(grey, make_color(54, 54, 54), make_color(18, 18, 18), 6);

    const Bitmap cmyk = load_picture(kPictures + "f_cmyk.jpg");
    ASSERT_EQ(cmyk.width(), 48);
    expect_f(cmyk, make_color(255, 0, 0), make_color(0, 0, 255), 40);
}

TEST(Jpeg, ExtensionsAreMatchedWithoutRegardToCase)
{
    TempDir dir;
    const auto jpeg = bytes_of(kPictures + "f.jpg");
    for (const char* name : { "a.JPG", "b.Jpeg", "c.jPg", "d.some.dots.jpeg" })
        EXPECT_EQ(load_picture(dir.file(name, jpeg)).width(), 48) << name;
    // The same bytes under another extension, or none, are refused.
    for (const char* name : { "e.png", "f.jpg.bak", "jpg", "g." })
        EXPECT_THROW(load_picture(dir.file(name, jpeg)), Error) << name;
    EXPECT_EQ(error_of(dir.file("h.png", jpeg)), "Unknown picture file extension (.png)");
}

TEST(Jpeg, EveryTruncationFailsWithTheLibrarysErrorNumber)
{
    const auto whole = bytes_of(kPictures + "f.jpg");
    ASSERT_GT(whole.size(), 100u);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        try {
            decode_jpeg(whole.data(), cut);
            ADD_FAILURE() << "a picture cut at " << cut << " bytes decoded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
        }
    }
}

TEST(Jpeg, DamagedBytesNeverCrash)
{
    // Each byte in turn replaced: decoding either succeeds with the full
    // size or fails with an Error.
    const auto whole = bytes_of(kPictures + "f.jpg");
    int failures = 0;
    for (std::size_t at = 0; at < whole.size(); ++at) {
        auto damaged = whole;
        damaged[at] ^= 0xA5;
        try {
            const Bitmap b = decode_jpeg(damaged.data(), damaged.size());
            EXPECT_GT(b.width(), 0);
        } catch (const Error&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(Jpeg, MemoryFollowsTheDataNotTheDeclaredSize)
{
    // The 48 x 40 picture with its frame header claiming 16384 x 16384: the
    // data ends after the first rows, and so must the memory it costs.
    auto forged = bytes_of(kPictures + "f.jpg");
    std::size_t frame = 0;
    while (frame + 9 < forged.size() && !(forged[frame] == 0xFF && forged[frame + 1] == 0xC0))
        ++frame;
    ASSERT_LT(frame + 9, forged.size());
    for (const std::size_t at : { frame + 5, frame + 7 }) { // height, width: big-endian
        forged[at] = 0x40;
        forged[at + 1] = 0x00;
    }
    EXPECT_THROW(decode_jpeg(forged.data(), forged.size()), Error);
    const long peak = test::peak_mib_of([&] { decode_jpeg(forged.data(), forged.size()); });
    ASSERT_GT(peak, 0);
    EXPECT_LT(peak, 100) << "MiB touched for a " << forged.size() << "-byte file";
}

TEST(Jpeg, ArithmeticDataEndingEarlyIsNoHugePicture)
{
    // Found by fuzzing: 239 bytes of arithmetic-coded data for a 10008 x
    // 18448 picture. The arithmetic decoder fills the rows after the end of
    // the data with nothing and no warning; they must not be decoded (1 GiB).
    const auto found = bytes_of(std::string(VELMORA_SOURCE_DIR)
        + "/tests/fuzz/regressions/jpeg/arithmetic_data_ending_in_a_huge_picture");
    ASSERT_EQ(found.size(), 239u);
    EXPECT_THROW(decode_jpeg(found.data(), found.size()), Error);
    const long peak = test::peak_mib_of([&] { decode_jpeg(found.data(), found.size()); });
    EXPECT_LT(peak, 100) << "MiB";
    // Nor can a progressive one of 356 bytes make the decoder fill that
    // picture for seconds: no file describes so many pixels per byte.
    const auto slow = bytes_of(std::string(VELMORA_SOURCE_DIR)
        + "/tests/fuzz/regressions/jpeg/progressive_arithmetic_slow_huge_picture");
    ASSERT_EQ(slow.size(), 356u);
    EXPECT_THROW(decode_jpeg(slow.data(), slow.size()), Error);
    // Whole arithmetic-coded pictures still decode.
    const auto whole
        = bytes_of(std::string(VELMORA_SOURCE_DIR) + "/tests/fuzz/corpus/jpeg/arithmetic.jpg");
    EXPECT_EQ(decode_jpeg(whole.data(), whole.size()).width(), 24);
}

TEST(Jpeg, EmptyAndForeignFilesFail)
{
    TempDir dir;
    EXPECT_EQ(error_of(dir.file("empty.jpg", {})).rfind("JPEG error #", 0), 0u);
    EXPECT_EQ(
        error_of(dir.file("text.jpg", { 'h', 'e', 'l', 'l', 'o' })).rfind("JPEG error #", 0), 0u);
    EXPECT_THROW(load_picture(dir.file("bmp.jpeg", bytes_of(kPictures + "f_24bit.bmp"))), Error);
}

TEST(PictureFiles, PathsThatAreNoReadableFileFailBeforeAnyDecoder)
{
    TempDir dir;
    EXPECT_THROW(load_picture(dir.path() + "/missing.jpg"), Error);

    fs::create_directory(dir.path() + "/folder.jpg");
    EXPECT_THROW(load_picture(dir.path() + "/folder.jpg"), Error);
    EXPECT_THROW(read_picture_file(dir.path() + "/folder.jpg"), Error);

    // A FIFO would block a plain open until someone writes to it.
    const std::string fifo = dir.path() + "/pipe.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(load_picture(fifo), Error);
}

TEST(PictureFiles, UnreadableFilesFail)
{
    TempDir dir;
    const std::string locked = dir.file("locked.jpg", bytes_of(kPictures + "f.jpg"));
    ::chmod(locked.c_str(), 0);
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root: permissions do not stop reading";
    }
    EXPECT_THROW(load_picture(locked), Error);
    EXPECT_THROW(read_picture_file(locked), Error);
}

TEST(PictureFiles, GifIsRegisteredInTheCore)
{
    TempDir dir;
    const std::string message = error_of(dir.file("broken.GIF", { 'x' }));
    EXPECT_NE(message, "(loaded)");
    EXPECT_EQ(message.find("Unknown picture file extension"), std::string::npos) << message;
}

TEST(PictureFiles, RegisteredDecodersGiveTwentyFourBitBitmaps)
{
    register_picture_decoder("TeSt8", [](const std::string&) {
        Bitmap b(2, 1, PixelFormat::pf8bit);
        b.set_palette({ make_color(1, 2, 3), make_color(4, 5, 6) });
        b.row(0)[1] = 1;
        return b;
    });
    TempDir dir;
    const Bitmap b = load_picture(dir.file("x.test8", { 0 }));
    EXPECT_EQ(b.pixel_format(), PixelFormat::pf24bit);
    EXPECT_EQ(b.pixel(0, 0), make_color(1, 2, 3));
    EXPECT_EQ(b.pixel(1, 0), make_color(4, 5, 6));
}

TEST(PictureFiles, SizeLimits)
{
    EXPECT_NO_THROW(check_picture_size(kMaxPictureSide, 1));
    EXPECT_THROW(check_picture_size(kMaxPictureSide + 1, 1), Error);
    EXPECT_THROW(check_picture_size(20000, 20000), Error);
    EXPECT_THROW(check_picture_size(0, 5), Error);
}
