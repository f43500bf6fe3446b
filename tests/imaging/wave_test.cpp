#include "base/numbers.h"
#include "imaging/make_wave.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace velmora;

namespace {

std::vector<int> offsets(int height, long double shape, long double speed, long double phase,
    long double amplitude, int rows = 10)
{
    std::vector<int> result;
    for (int i = 0; i < rows; ++i)
        result.push_back(wave_offset(height, i, shape, speed, phase, amplitude));
    return result;
}

// Row y of the source is coloured by its index, so a copied row names its source.
Bitmap striped(int width, int height)
{
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        b.fill_rect(0, y, width, y + 1, make_color(y, 255 - y, 3));
    return b;
}

int source_row_of(const Bitmap& b, int y)
{
    return color_red(b.pixel(0, y));
}

} // namespace

TEST(Numbers, RoundHalfToEvenAndSaturate)
{
    EXPECT_EQ(round_half_even(0.5L), 0);
    EXPECT_EQ(round_half_even(1.5L), 2);
    EXPECT_EQ(round_half_even(2.5L), 2);
    EXPECT_EQ(round_half_even(67.5L), 68);
    EXPECT_EQ(round_half_even(50.5L), 50);
    EXPECT_EQ(round_half_even(-2.5L), -2);
    EXPECT_EQ(round_half_even(-3.5L), -4);
    EXPECT_EQ(round_half_even(2.4999999999L), 2);
    EXPECT_EQ(round_half_even(-0.7L), -1);
    EXPECT_EQ(round_half_even(1e30L), std::numeric_limits<long long>::max());
    EXPECT_EQ(round_half_even(-1e30L), std::numeric_limits<long long>::min());
    EXPECT_EQ(round_half_even(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(trunc_saturated(-2.9L), -2);
}

TEST(WaveOffset, ReproducesTheReferenceVectors)
{
    EXPECT_EQ(offsets(100, 17, 30, 0, 1), (std::vector<int> { -1, 1, 0, -1, 0, -1, 0, -1, 0, 0 }));
    EXPECT_EQ(offsets(100, 17, 30, wave_phase(1, 12), 1),
        (std::vector<int> { -1, 0, -1, -1, 0, -1, -1, 0, -1, -1 }));
    EXPECT_EQ(offsets(100, 17, 35, 0, kMakeWaveAmplitude),
        (std::vector<int> { 0, 1, 0, -1, 0, -1, 0, -1, 0, 0 }));
}

TEST(WaveOffset, ShapeZeroIsShapeOneTenthAndNothingBlowsUp)
{
    EXPECT_EQ(offsets(300, 0, 20, 0.3L, 1, 300), offsets(300, 0.1L, 20, 0.3L, 1, 300));
    // An empty source and a phase without period (infinite) give no offset
    // rather than an undefined conversion.
    EXPECT_EQ(wave_offset(0, 0, 5, 5, 0, 1), 0);
    EXPECT_EQ(wave_offset(50, 3, 5, 5, wave_phase(1, 0), 1), 0);
    const int huge = wave_offset(50, 3, 1e-30L, 1e30L, 0, 1);
    EXPECT_LE(huge, 1 << 30);
    EXPECT_GE(huge, -(1 << 30));
}

// The rule written out plainly, with the library's own sine of the whole
// argument: the quick sine wave_offset uses must never change a result.
int plain_offset(int height, int row, long double shape, long double speed, long double phase,
    long double amplitude)
{
    const auto h = static_cast<long double>(height);
    const long double t
        = (h / shape) * static_cast<long double>(height - row) / static_cast<long double>(row + 1)
        + phase;
    const long double v
        = std::sin(t) * ((h / shape) * (static_cast<long double>(row) + speed)) / h * amplitude;
    return static_cast<int>(std::trunc(v));
}

TEST(WaveOffset, EqualsThePlainRuleOnEveryRowOfEveryFrame)
{
    struct Wave {
        long double shape;
        long double speed;
    };
    // Settings' extremes and defaults, the overlay's speed-up, tiny and
    // negative shapes (huge sine arguments near the water edge).
    const Wave waves[] = { { 17, 30 }, { -17, -30 }, { 0.1L, 100 }, { 100, 0 }, { -100, 35 },
        { 1, -100 }, { 3, 5 }, { 55.1L, 45 } };
    int checked = 0;
    for (const int height : { 41, 200, 600 })
        for (const Wave& w : waves)
            for (const long double amplitude : { 1.0L, 0.625L })
                for (int s = 0; s < 15; ++s) {
                    const long double phase = wave_phase(s, 15);
                    for (int i = 0; i < height; ++i, ++checked)
                        ASSERT_EQ(wave_offset(height, i, w.shape, w.speed, phase, amplitude),
                            plain_offset(height, i, w.shape, w.speed, phase, amplitude))
                            << "height " << height << " shape " << static_cast<double>(w.shape)
                            << " speed " << static_cast<double>(w.speed) << " frame " << s
                            << " row " << i;
                }
    EXPECT_EQ(checked, (41 + 200 + 600) * 8 * 2 * 15);
}

TEST(MakeWave, SelectsRowsByTheOffsetAndFillsBelowTheSource)
{
    const Bitmap source = striped(4, 100);
    const Color fill = make_color(1, 2, 250);
    const auto wave = make_wave(source, 5, 12, 1.0L, fill, 5, 100);
    ASSERT_TRUE(wave);
    ASSERT_EQ(wave->width(), 4);
    ASSERT_EQ(wave->height(), 100);
    EXPECT_EQ(wave->pixel_format(), PixelFormat::pf24bit);
    int filled = 0;
    for (int i = 0; i < 100; ++i) {
        const int v = wave_offset(100, i, 5, 100, wave_phase(5, 12), kMakeWaveAmplitude);
        if (i + v > 99) {
            EXPECT_EQ(wave->pixel(3, i), fill) << i;
            ++filled;
        } else {
            EXPECT_EQ(source_row_of(*wave, i), i + v < 0 ? i : i + v) << i;
        }
    }
    // The far rows swing by many rows; some of them must fall off the bottom.
    EXPECT_GT(filled, 0);
}

TEST(MakeWave, RowZeroWithNegativeOffsetKeepsItsOwnRow)
{
    const Bitmap source = striped(2, 100);
    ASSERT_LT(wave_offset(100, 0, 17, 60, 0, kMakeWaveAmplitude), 0);
    const auto wave = make_wave(source, 0, 12, 1.0L, 0, 17, 60);
    ASSERT_TRUE(wave);
    EXPECT_EQ(source_row_of(*wave, 0), 0);
}

TEST(MakeWave, HeightFactorRoundsHalfToEven)
{
    const Bitmap source = striped(3, 40);
    EXPECT_EQ(make_wave(source, 1, 11, 0.95L, 0, 17, 30)->height(), 38);
    // 0.5 x 5 = 2.5 rounds to 2, 0.5 x 7 = 3.5 to 4.
    EXPECT_EQ(make_wave(striped(3, 5), 0, 11, 0.5L, 0, 17, 30)->height(), 2);
    EXPECT_EQ(make_wave(striped(3, 7), 0, 11, 0.5L, 0, 17, 30)->height(), 4);
}

TEST(MakeWave, ShapeZeroEqualsShapeOneTenth)
{
    const Bitmap source = striped(2, 60);
    EXPECT_EQ(
        *make_wave(source, 3, 11, 1.0L, 0, 0, 12), *make_wave(source, 3, 11, 1.0L, 0, 0.1L, 12));
}

TEST(MakeWave, NeverReadsBeyondTheSource)
{
    // A factor above 1 asks for rows the source lacks; they stay filled.
    const Bitmap source = striped(2, 10);
    const Color fill = make_color(9, 8, 7);
    const auto wave = make_wave(source, 0, 12, 2.0L, fill, 1000, 0);
    ASSERT_TRUE(wave);
    ASSERT_EQ(wave->height(), 20);
    for (int i = 10; i < 20; ++i) {
        if (i + wave_offset(10, i, 1000, 0, 0, kMakeWaveAmplitude) > 9) {
            EXPECT_EQ(wave->pixel(0, i), fill) << i;
        }
    }
    // A period of 0 has no phase: rows stay unshifted instead of failing.
    const auto flat = make_wave(source, 1, 0, 1.0L, fill, 17, 30);
    ASSERT_TRUE(flat);
    EXPECT_EQ(*flat, source);
    // A source without columns gives a wave frame without columns.
    EXPECT_EQ(make_wave(Bitmap(0, 10), 1, 12, 1.0L, fill, 17, 30)->height(), 10);
    // Other formats are read through a 24-bit copy.
    Bitmap narrow = source;
    narrow.set_pixel_format(PixelFormat::pf32bit);
    EXPECT_EQ(*make_wave(narrow, 2, 12, 1.0L, fill, 17, 30),
        *make_wave(source, 2, 12, 1.0L, fill, 17, 30));
}

TEST(ApplyWave, ReplacesContentKeepsTransparency)
{
    Bitmap b = striped(3, 40);
    const auto expected = make_wave(b, 4, 11, 0.95L, make_color(0, 0, 0), 20, 35);
    b.set_transparent(true);
    b.set_transparent_color(make_color(1, 1, 1));
    apply_wave(b, 4, 11, 0.95L, make_color(0, 0, 0), 20, 35);
    EXPECT_EQ(b, *expected);
    EXPECT_TRUE(b.transparent());
    EXPECT_EQ(b.transparent_color(), make_color(1, 1, 1));
}
