#include "base/error.h"
#include "codecs/f_pictures.h"
#include "picture/picture.h"
#include "picture/qt/metafile_codecs.h"
#include "picture/qt/platform_codecs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

using test::bytes_of;
using test::kPictures;
constexpr Color kRed = test::kFRed;
constexpr Color kBlue = test::kFBlue;
const Color kWhite = make_color(255, 255, 255);

Color f_colour(int x, int y, int width, int height)
{
    return test::f_cell(x, y, width, height) ? kRed : kBlue;
}

// Every pixel (for raster files) must be exactly the F's colour.
void expect_exact_f(const Bitmap& b, const std::function<bool(int, int)>& transparent = {})
{
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const Color want
                = transparent && transparent(x, y) ? kWhite : f_colour(x, y, b.width(), b.height());
            ASSERT_EQ(b.pixel(x, y), want) << x << "," << y;
        }
}

// For drawings: the centre of every cell; edges may be smoothed.
void expect_f_cells(const Bitmap& b)
{
    for (int cy = 0; cy < 5; ++cy)
        for (int cx = 0; cx < 6; ++cx) {
            const int x = (2 * cx + 1) * b.width() / 12;
            const int y = (2 * cy + 1) * b.height() / 10;
            EXPECT_EQ(b.pixel(x, y), f_colour(x, y, b.width(), b.height())) << cx << "," << cy;
        }
}

// Cuts the file at every length from 0 up to one byte short: each must fail
// with an Error.
void expect_every_truncation_fails(const Bytes& whole, Bitmap (*decode)(const Bytes&))
{
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        try {
            decode(part);
            ADD_FAILURE() << "a file cut at " << cut << " of " << whole.size() << " bytes decoded";
            return;
        } catch (const Error&) {
        }
    }
}

// Damages each byte in turn: decoding either gives a picture or an Error.
void expect_damage_is_survived(const Bytes& whole, Bitmap (*decode)(const Bytes&))
{
    for (std::size_t at = 0; at < whole.size(); ++at)
        for (std::uint8_t mask : { 0x01, 0x80, 0xFF }) {
            Bytes damaged = whole;
            damaged[at] ^= mask;
            try {
                const Bitmap b = decode(damaged);
                EXPECT_FALSE(b.empty());
            } catch (const Error&) {
            }
        }
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-codecs-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string copy(const std::string& fixture, const std::string& name) const
    {
        fs::copy_file(kPictures + fixture, path_ + "/" + name);
        return path_ + "/" + name;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

TEST(Bmp, TwentyFourAndEightBitPicturesGiveTheirExactPixels)
{
    const Bitmap colour = decode_bmp(bytes_of("f_24bit.bmp"));
    ASSERT_EQ(colour.width(), 6);
    ASSERT_EQ(colour.height(), 5);
    expect_exact_f(colour);
    const Bitmap palette = decode_bmp(bytes_of("f_8bit.bmp"));
    ASSERT_EQ(palette.width(), 6);
    expect_exact_f(palette);
}

TEST(Bmp, CutOrDamagedFilesFailOrDecodeButNeverCrash)
{
    expect_every_truncation_fails(bytes_of("f_24bit.bmp"), decode_bmp);
    expect_every_truncation_fails(bytes_of("f_8bit.bmp"), decode_bmp);
    expect_damage_is_survived(bytes_of("f_8bit.bmp"), decode_bmp);
}

TEST(Bmp, RunLengthPicturesMustReachTheirEnd)
{
    // A 4 x 2 8-bit run-length picture: two runs per row, then the end code.
    Bytes rle = { 'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, // file header
        40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0, // info: 4 x 2, 8 bit, RLE8
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, //
        255, 0, 0, 0, 0, 0, 255, 0, // palette: blue, red
        2, 0, 2, 1, 0, 0, // bottom row: blue blue red red, end of line
        4, 1, 0, 1 }; // top row: all red, end of bitmap
    const Bitmap b = decode_bmp(rle);
    ASSERT_EQ(b.width(), 4);
    EXPECT_EQ(b.pixel(0, 1), kBlue);
    EXPECT_EQ(b.pixel(3, 1), kRed);
    EXPECT_EQ(b.pixel(0, 0), kRed);
    expect_every_truncation_fails(rle, decode_bmp);
}

TEST(Bmp, RunLengthPicturesCannotClaimRowsTheirDataLacks)
{
    // The two-row run-length picture above declaring more rows: a few blank
    // rows after the end code are fine, millions are refused before any
    // decoder allocates them (found by fuzzing: 133 bytes asked for 1 GiB).
    Bytes rle = { 'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, //
        40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0, //
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, //
        255, 0, 0, 0, 0, 0, 255, 0, 2, 0, 2, 1, 0, 0, 4, 1, 0, 1 };
    rle[22] = 60;
    EXPECT_EQ(decode_bmp(rle).height(), 60);
    rle[22] = 0;
    rle[24] = 0x10; // 1048576 rows
    EXPECT_THROW(decode_bmp(rle), Error);
    const std::string found = std::string(VELMORA_SOURCE_DIR)
        + "/tests/fuzz/regressions/picture/bmp_rle_millions_of_rows_without_data";
    std::ifstream in(found, std::ios::binary);
    const Bytes file { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    ASSERT_GT(file.size(), 1u);
    EXPECT_THROW(decode_bmp(Bytes(file.begin() + 1, file.end())), Error);
}

TEST(Ico, TransparentPartsShowWhiteAndTheLargestImageWins)
{
    const Bitmap alpha = decode_ico(bytes_of("f_alpha.ico"));
    ASSERT_EQ(alpha.width(), 16);
    ASSERT_EQ(alpha.height(), 16);
    expect_exact_f(alpha, [](int x, int) { return x < 2; });

    // The larger image's mask clears its top row; the last pixel there is
    // red XOR-ed onto white, which shows cyan.
    const Bitmap two = decode_ico(bytes_of("f_two_sizes.ico"));
    ASSERT_EQ(two.width(), 32);
    ASSERT_EQ(two.height(), 32);
    EXPECT_EQ(two.pixel(31, 0), make_color(0, 255, 255));
    Bitmap rest = two;
    rest.set_pixel(31, 0, kWhite);
    expect_exact_f(rest, [](int, int y) { return y == 0; });
}

TEST(Ico, CutOrDamagedFilesFailOrDecodeButNeverCrash)
{
    // The larger image lies at the end: cutting into it must fail even
    // though the smaller image is whole.
    expect_every_truncation_fails(bytes_of("f_two_sizes.ico"), decode_ico);
    Bytes header = bytes_of("f_alpha.ico");
    header.resize(80);
    expect_damage_is_survived(header, decode_ico);
}

TEST(Wmf, FilledShapesAreFilledAtTheBoundingBoxSize)
{
    // 960 x 720 units at 1440 per inch: 64 x 48 pixels at 96 per inch.
    const Bitmap b = decode_wmf(bytes_of("f.wmf"));
    ASSERT_EQ(b.width(), 64);
    ASSERT_EQ(b.height(), 48);
    expect_f_cells(b);
}

TEST(Wmf, WithoutPlaceableHeaderTheDrawingStillShows)
{
    Bytes plain = bytes_of("f.wmf");
    plain.erase(plain.begin(), plain.begin() + 22);
    // The window (960 x 720 units) taken as pixels.
    const Bitmap b = decode_wmf(plain);
    ASSERT_EQ(b.width(), 960);
    ASSERT_EQ(b.height(), 720);
    expect_f_cells(b);
}

TEST(Wmf, CutOrDamagedFilesFailOrDecodeButNeverCrash)
{
    expect_every_truncation_fails(bytes_of("f.wmf"), decode_wmf);
    expect_damage_is_survived(bytes_of("f.wmf"), decode_wmf);
}

TEST(Emf, ClipPathsAreHonoured)
{
    const Bitmap b = decode_emf(bytes_of("clip.emf"));
    ASSERT_EQ(b.width(), 64);
    ASSERT_EQ(b.height(), 48);
    // Inside the clip rectangle (16..48 x 12..36) red, everywhere else blue.
    for (int y = 2; y < 46; y += 2)
        for (int x = 2; x < 62; x += 2) {
            if ((x >= 14 && x <= 49) && (y >= 10 && y <= 37))
                if (!(x >= 18 && x <= 45 && y >= 14 && y <= 33))
                    continue; // the clip edge
            const bool inside = x >= 16 && x < 48 && y >= 12 && y < 36;
            ASSERT_EQ(b.pixel(x, y), inside ? kRed : kBlue) << x << "," << y;
        }
}

TEST(Emf, SizeComesFromTheFrameElseFromTheBounds)
{
    Bytes file = bytes_of("clip.emf");
    const auto set = [&](std::size_t at, std::int32_t v) {
        for (int k = 0; k < 4; ++k)
            file[at + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k));
    };
    set(32, 2 * 1693);
    set(36, 2 * 1270);
    // A frame twice as large makes a picture twice as large; the drawing
    // keeps its place and size in it (the frame maps onto the picture).
    const Bitmap doubled = decode_emf(file);
    ASSERT_EQ(doubled.width(), 128);
    ASSERT_EQ(doubled.height(), 96);
    EXPECT_EQ(doubled.pixel(30, 20), kRed);
    EXPECT_EQ(doubled.pixel(8, 20), kBlue);
    EXPECT_EQ(doubled.pixel(100, 80), kWhite);

    set(32, 0); // no frame: the bounds, inclusive
    set(36, 0);
    const Bitmap bounds = decode_emf(file);
    EXPECT_EQ(bounds.width(), 64);
    EXPECT_EQ(bounds.height(), 48);
    EXPECT_EQ(bounds.pixel(30, 20), kRed);
}

TEST(Emf, CutOrDamagedFilesFailOrDecodeButNeverCrash)
{
    expect_every_truncation_fails(bytes_of("clip.emf"), decode_emf);
    expect_damage_is_survived(bytes_of("clip.emf"), decode_emf);
}

TEST(PlatformCodecs, LoadByExtensionWithoutRegardToCase)
{
    register_platform_codecs();
    register_platform_codecs(); // harmless twice
    TempDir dir;
    EXPECT_EQ(load_picture(dir.copy("f_24bit.bmp", "a.BMP")).width(), 6);
    EXPECT_EQ(load_picture(dir.copy("f_alpha.ico", "b.Ico")).width(), 16);
    EXPECT_EQ(load_picture(dir.copy("f.wmf", "c.WMF")).width(), 64);
    EXPECT_EQ(load_picture(dir.copy("clip.emf", "d.eMf")).width(), 64);
    // A metafile under a raster extension is refused, and the other way round.
    EXPECT_THROW(load_picture(dir.copy("f.wmf", "e.bmp")), Error);
    EXPECT_THROW(load_picture(dir.copy("f_24bit.bmp", "f.emf")), Error);
    EXPECT_THROW(load_picture(dir.copy("f_24bit.bmp", "g.tif")), Error);
    for (const char* name : { "empty.bmp", "empty.ico", "empty.wmf", "empty.emf" }) {
        std::ofstream(dir.path() + "/" + name).close();
        EXPECT_THROW(load_picture(dir.path() + "/" + name), Error) << name;
    }
    fs::create_directory(dir.path() + "/folder.wmf");
    EXPECT_THROW(load_picture(dir.path() + "/folder.wmf"), Error);
}
