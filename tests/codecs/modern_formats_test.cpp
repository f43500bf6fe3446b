#include "base/error.h"
#include "codecs/f_pictures.h"
#include "picture/exif_orientation.h"
#include "picture/jpeg_decoder.h"
#include "picture/picture.h"
#include "picture/qt/platform_codecs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

using test::bytes_of;
using test::f_cell;
using test::kPictures;
constexpr Color kRed = test::kFRed;
constexpr Color kBlue = test::kFBlue;
const Color kBlack = make_color(0, 0, 0);

// Every pixel, within `tolerance` per channel: red on the F, else `ground`.
void expect_f(const Bitmap& b, Color ground, int tolerance, const std::string& what)
{
    ASSERT_EQ(b.width(), 48) << what;
    ASSERT_EQ(b.height(), 40) << what;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            // Lossy pictures may blur the cells' borders; look at their insides.
            if (tolerance > 0 && (x % 8 == 0 || x % 8 == 7 || y % 8 == 0 || y % 8 == 7))
                continue;
            const Color want = f_cell(x, y, b.width(), b.height()) ? kRed : ground;
            const Color got = b.pixel(x, y);
            ASSERT_NEAR(color_red(got), color_red(want), tolerance) << what << " " << x << "," << y;
            ASSERT_NEAR(color_green(got), color_green(want), tolerance) << what;
            ASSERT_NEAR(color_blue(got), color_blue(want), tolerance) << what;
        }
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-modern-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        register_platform_codecs();
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

private:
    std::string path_;
};

// f.jpg with `app1` (a whole segment, marker included) right after its SOI.
Bytes with_segment(const Bytes& app1)
{
    Bytes jpeg = bytes_of("f.jpg");
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

// An APP1 segment holding `tiff` after the "Exif" identifier.
Bytes exif(const Bytes& tiff, const char* id = "Exif\0\0")
{
    const std::size_t length = 2 + 6 + tiff.size();
    Bytes segment { 0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length & 0xFF) };
    for (int k = 0; k < 6; ++k)
        segment.push_back(static_cast<std::uint8_t>(id[k]));
    for (std::uint8_t b : tiff)
        segment.push_back(b);
    return segment;
}

// A little-endian TIFF header and one directory entry (tag, type, count, value).
Bytes tiff_entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint16_t value,
    std::uint32_t ifd = 8, std::uint16_t entries = 1)
{
    const auto u16 = [](Bytes& b, std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    Bytes t { 'I', 'I', '*', 0 };
    u16(t, ifd & 0xFFFF);
    u16(t, ifd >> 16);
    u16(t, entries);
    u16(t, tag);
    u16(t, type);
    u16(t, count & 0xFFFF);
    u16(t, count >> 16);
    u16(t, value);
    u16(t, 0);
    return t;
}

} // namespace

TEST(ModernFormats, PngWebpAndTiffGiveTheirExactPixels)
{
    TempDir dir;
    for (const auto& [fixture, name] : { std::pair { "f.png", "a.png" }, { "f.png", "b.PNG" },
             { "f.webp", "c.WebP" }, { "f.tiff", "d.tiff" }, { "f.tiff", "e.TIF" } })
        expect_f(load_picture(dir.copy(fixture, name)), kBlue, 0, name);
}

TEST(ModernFormats, TransparentPartsOfAPngShowBlack)
{
    TempDir dir;
    expect_f(load_picture(dir.copy("f_alpha.png", "alpha.png")), kBlack, 0, "alpha");
}

TEST(ModernFormats, TheExtensionDecidesAndDamageFails)
{
    TempDir dir;
    // Content of another format under these extensions, or an unknown
    // extension, is refused whatever the bytes hold.
    for (const auto& [fixture, name] : { std::pair { "f.png", "a.webp" }, { "f.webp", "b.png" },
             { "f_24bit.bmp", "c.tiff" }, { "f.jpg", "d.png" }, { "f.png", "e.jxl" } })
        EXPECT_THROW(load_picture(dir.copy(fixture, name)), Error) << name;
    // A cut file fails, or (cut only in trailing bytes the picture does not
    // need) gives the whole picture; never a part of it.
    for (const char* format : { "png", "webp", "tiff" }) {
        const std::string fixture = std::string("f.") + format;
        const Bytes whole = bytes_of(fixture);
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            try {
                expect_f(decode_modern_picture(part, format), kBlue, 0,
                    fixture + " cut at " + std::to_string(cut));
            } catch (const Error&) {
            }
        }
    }
}

TEST(Orientation, EveryKindOfTurnShowsThePictureUpright)
{
    TempDir dir;
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "f_exif_" + std::to_string(n) + ".jpg";
        const Bytes bytes = bytes_of(name);
        EXPECT_EQ(jpeg_orientation(bytes.data(), bytes.size()), static_cast<Orientation>(n));
        expect_f(
            load_picture(dir.copy(name, "turned" + std::to_string(n) + ".JPEG")), kBlue, 40, name);
    }
}

TEST(Orientation, DamagedOrHostileExifIsIgnored)
{
    const Bytes good = tiff_entry(0x0112, 3, 1, 6);
    ASSERT_EQ(jpeg_orientation(with_segment(exif(good)).data(), with_segment(exif(good)).size()),
        Orientation::quarter_clockwise);
    Bytes cut_tiff = good;
    cut_tiff.resize(good.size() - 4);
    const std::vector<std::pair<const char*, Bytes>> cases {
        { "value 9", exif(tiff_entry(0x0112, 3, 1, 9)) },
        { "value 0", exif(tiff_entry(0x0112, 3, 1, 0)) },
        { "a LONG", exif(tiff_entry(0x0112, 4, 1, 6)) },
        { "count 2", exif(tiff_entry(0x0112, 3, 2, 6)) },
        { "directory far beyond", exif(tiff_entry(0x0112, 3, 1, 6, 0xFFFFFFF0u)) },
        { "directory at the end", exif(tiff_entry(0x0112, 3, 1, 6, 24)) },
        { "65535 entries", exif(tiff_entry(0x0100, 3, 1, 6, 8, 0xFFFF)) },
        { "entry cut", exif(cut_tiff) },
        { "no byte order", exif(Bytes { 'X', 'X', '*', 0, 8, 0, 0, 0 }) },
        { "other identifier", exif(good, "Exix\0\0") },
    };
    for (const auto& [what, segment] : cases) {
        const Bytes jpeg = with_segment(segment);
        EXPECT_EQ(jpeg_orientation(jpeg.data(), jpeg.size()), Orientation::upright) << what;
        // The picture itself still shows.
        EXPECT_EQ(decode_jpeg(jpeg.data(), jpeg.size()).width(), 48) << what;
    }

    // Cut anywhere or damaged in any byte of its head, a file never makes
    // the reader look outside it, and the answer is always a valid kind.
    const Bytes whole = bytes_of("f_exif_6.jpg");
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto o = static_cast<int>(jpeg_orientation(part.data(), part.size()));
        ASSERT_TRUE(o >= 1 && o <= 8) << cut;
    }
    for (std::size_t at = 0; at < 64; ++at)
        for (std::uint8_t mask : { 0x01, 0x80, 0xFF }) {
            Bytes damaged = whole;
            damaged[at] ^= mask;
            const auto o = static_cast<int>(jpeg_orientation(damaged.data(), damaged.size()));
            ASSERT_TRUE(o >= 1 && o <= 8) << at;
        }
}
