#pragma once

#include "imaging/bitmap.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velmora {

// Answers the palette index for a colour and the palette colour it chose.
class TColorLookup {
public:
    virtual ~TColorLookup() = default;
    virtual int lookup(int red, int green, int blue, Color& chosen) = 0;
    virtual int color_count() const = 0;
};

// Nearest palette colour by the sum of the component differences, cached per
// 5-5-5 cell: within one remapping every colour of a cell gets the answer
// found for the first colour looked up there (or the cell's own palette
// entry, the first entry whose colour falls in the cell).
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const std::vector<Color>& palette);
    int lookup(int red, int green, int blue, Color& chosen) override;
    int color_count() const override { return static_cast<int>(palette_.size()); }

    static int cache_key(int red, int green, int blue)
    {
        return (red >> 3) + 32 * (green >> 3) + 1024 * (blue >> 3);
    }

private:
    std::vector<Color> palette_;
    std::array<std::int16_t, 32768> cache_;
};

// The fixed 216-colour cube (levels 0, 51, ..., 255 per component) used for
// displays of 8 bits or less; entry r * 36 + g * 6 + b for the level numbers.
class TColorCubeLookup : public TColorLookup {
public:
    int lookup(int red, int green, int blue, Color& chosen) override;
    int color_count() const override { return 216; }
    static std::vector<Color> palette();
};

// Nearest-colour mapping. Walks rows alternately left to right and right to
// left, starting left to right, like the error-diffusing subclass.
class TDitherEngine {
public:
    TDitherEngine(TColorLookup& lookup, int width);
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine&) = delete;
    TDitherEngine& operator=(const TDitherEngine&) = delete;

    int column() const { return column_; }
    bool in_row() const { return column_ >= 0 && column_ < width_; }
    // Maps one pixel and advances the column by the direction.
    virtual int map(int red, int green, int blue);
    // Moves to the next row: the direction flips.
    virtual void next_line();

protected:
    TColorLookup& lookup_;
    int width_;
    int direction_ = 1;
    int column_ = 0;
};

// Floyd-Steinberg error diffusion in integer sixteenths.
class TFloydSteinbergDitherer : public TDitherEngine {
public:
    TFloydSteinbergDitherer(TColorLookup& lookup, int width);
    int map(int red, int green, int blue) override;
    void next_line() override;

private:
    struct Channel {
        std::vector<std::int32_t> errors; // width + 2 slots, shared by two rows
        int current = 0; // error carried to the next pixel of this row
        int below = 0; // error for the slot below the current pixel
        int below_previous = 0; // error for the slot below the previous pixel
    };
    int slot_ = 0;
    std::array<Channel, 3> channels_; // red, green, blue
};

enum DitherMode { dmNearest = 0, dmFloydSteinberg = 1 };

// Maps a bitmap onto a palette and returns a new 8-bit bitmap of the same size
// whose colour table has 256 entries: the palette's, then black. The source is
// converted in place to 24 bits per pixel first. An empty palette gives a
// bitmap without pixels.
Bitmap RemapToPalette(Bitmap& source, const std::vector<Color>& palette, int mode);

// Maps a 24-bit bitmap through any lookup and dithering engine; the result's
// colour table is `table`.
Bitmap remap_with(const Bitmap& source, TDitherEngine& engine, std::vector<Color> table);

} // namespace velmora
