#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// Structure checks run on picture files before they reach a library decoder.
// The libraries behind the platform codecs are forgiving: Qt shows a cut-off
// BMP with its missing rows blank, and the metafile converters were not
// written for hostile input. Each check walks the file's framing (headers,
// record sizes, pixel data extent) and throws velmora::Error naming what is
// wrong, so a truncated or corrupt file fails instead of half-showing.

using Bytes = std::vector<std::uint8_t>;

// BMP: file and info header, pixel data wholly inside the file (for
// run-length coded pictures: a run-length stream that reaches its
// end-of-bitmap code inside the file). Returns nothing; throws on faults.
void check_bmp(const Bytes& file);

// One image of an icon file as its directory describes it.
struct IconEntry {
    int width; // 1..256
    int height; // 1..256
    int bits; // bits per pixel, 0 when the directory leaves it open
};

// ICO (and CUR): directory, and every image's data wholly inside the file.
// Returns the directory's entries in file order.
std::vector<IconEntry> check_ico(const Bytes& file);

// The AND mask of image `index` of a checked icon file: one flag per pixel,
// rows top first, true where the icon lets the background through. Empty for
// images that carry an alpha channel instead (32-bit and PNG images) or whose
// mask is missing.
struct IconMask {
    int width = 0;
    int height = 0;
    std::vector<bool> bits;
};
IconMask icon_mask(const Bytes& file, std::size_t index);

// The bitmaps embedded in one metafile (record bitmaps and pattern brushes)
// may hold at most this many pixels together: four times the pixels of the
// largest drawing we make of a metafile. Their converters allocate and fill
// what each bitmap's header declares, every time a record draws it, so a few
// bytes could otherwise ask for gigabytes or minutes.
inline constexpr long long kMaxEmbeddedPixels = 4096LL * 4096;

// WMF: optional placeable header (with its checksum), the standard header
// (its largest record no larger than the file), and a chain of records
// inside the file that ends with the end record; every embedded bitmap
// inside its record, its data wholly there, within kMaxEmbeddedPixels.
void check_wmf(const Bytes& file);

// Prefixes a metafile that has no placeable header with one, so that it gets
// a size: the window its records set up (origin and extent), one logical
// unit per pixel at 96 dpi. Files that already have the header, or that set
// no window, come back unchanged.
Bytes with_placeable_header(const Bytes& file);

// The parts of an EMF header the picture's size comes from.
struct EmfHeader {
    std::int32_t bounds[4]; // left, top, right, bottom: inclusive, device pixels
    std::int32_t frame[4]; // left, top, right, bottom: 0.01 mm
    std::int32_t device[2]; // reference device size in pixels
    std::int32_t millimeters[2]; // reference device size in millimetres
};

// EMF: the header record with its signature, a chain of records inside the
// file that ends with the end-of-file record; every embedded bitmap inside
// its record, its data wholly there, within kMaxEmbeddedPixels. Returns the
// header.
EmfHeader check_emf(const Bytes& file);

} // namespace velmora
