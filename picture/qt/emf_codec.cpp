// Enhanced metafiles: libemf2svg's SVG drawn by librsvg, which honours the
// clip paths of the conversion (Qt's SVG renderer ignores them). No Qt here:
// glib's headers and Qt's keywords do not mix.
#include "base/error.h"
#include "base/numbers.h"
#include "picture/file_checks.h"
#include "picture/picture.h"
#include "picture/qt/metafile_codecs.h"
#include "picture/qt/svg_guard.h"

#include <algorithm>
#include <cairo.h>
#include <cstdlib>
#include <cstring>
#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace velmora {

namespace {

    constexpr double kPixelsPerInch = 96.0;
    constexpr double kHundredthsOfMmPerInch = 2540.0;

    struct CairoSurfaceDeleter {
        void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    };
    struct CairoDeleter {
        void operator()(cairo_t* c) const { cairo_destroy(c); }
    };
    struct GObjectDeleter {
        void operator()(void* object) const { g_object_unref(object); }
    };
    struct MallocDeleter {
        void operator()(char* p) const { std::free(p); }
    };

    [[noreturn]] void fail_svg(GError* error)
    {
        std::string message = "Cannot draw the enhanced metafile";
        if (error) {
            message += std::string(": ") + error->message;
            g_error_free(error);
        }
        throw Error(message);
    }

    // How the SVG's coordinates (device pixels of the recording device, with
    // the header's bounds' top-left at the origin) map onto the picture.
    struct EmfPlacement {
        int width, height;
        double scale_x, scale_y;
        double shift_x, shift_y; // in SVG units, applied before scaling
    };

    EmfPlacement place_emf(const EmfHeader& h)
    {
        const long long frame_w = static_cast<long long>(h.frame[2]) - h.frame[0];
        const long long frame_h = static_cast<long long>(h.frame[3]) - h.frame[1];
        if (frame_w <= 0 || frame_h <= 0) {
            // No frame: the bounds, inclusive, at one picture pixel per device pixel.
            const long long w = static_cast<long long>(h.bounds[2]) - h.bounds[0] + 1;
            const long long hh = static_cast<long long>(h.bounds[3]) - h.bounds[1] + 1;
            check_picture_size(w, hh);
            return { static_cast<int>(w), static_cast<int>(hh), 1.0, 1.0, 0.0, 0.0 };
        }
        const auto to_pixels = [](long long hundredths) {
            return round_half_even(
                static_cast<long double>(hundredths) * kPixelsPerInch / kHundredthsOfMmPerInch);
        };
        const long long w = std::max(to_pixels(frame_w), 1LL);
        const long long hh = std::max(to_pixels(frame_h), 1LL);
        check_picture_size(w, hh);
        // Device pixels per 0.01 mm of the recording device (96 dpi when the
        // header does not say).
        const bool known
            = h.device[0] > 0 && h.device[1] > 0 && h.millimeters[0] > 0 && h.millimeters[1] > 0;
        const double per_x = known ? h.device[0] / (h.millimeters[0] * 100.0)
                                   : kPixelsPerInch / kHundredthsOfMmPerInch;
        const double per_y = known ? h.device[1] / (h.millimeters[1] * 100.0)
                                   : kPixelsPerInch / kHundredthsOfMmPerInch;
        return { static_cast<int>(w), static_cast<int>(hh),
            static_cast<double>(w) / (frame_w * per_x), static_cast<double>(hh) / (frame_h * per_y),
            h.bounds[0] - h.frame[0] * per_x, h.bounds[1] - h.frame[1] * per_y };
    }

    // libemf2svg writes a text record's string into a CDATA section without
    // splitting a "]]>" in it, and a font's face name into an attribute
    // without escaping it, so either could end its context and become
    // markup. Before conversion every ">" of a string becomes a placeholder
    // of the same size (U+E000 in UTF-16 strings, DEL in 8-bit ones, neither
    // of them a character a picture shows), which can end no CDATA section;
    // the placeholders become ">" again in the SVG that comes out. Control
    // characters, which XML cannot carry, become spaces. Face names lose the
    // characters that could end an attribute.
    constexpr char16_t kWidePlaceholder = 0xE000;
    constexpr std::uint8_t kNarrowPlaceholder = 0x7F;
    constexpr std::string_view kWidePlaceholderUtf8 = "\xEE\x80\x80";

    std::uint32_t read32(const std::vector<char>& bytes, std::size_t at)
    {
        std::uint32_t value = 0;
        for (int k = 3; k >= 0; --k)
            value
                = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(k)]);
        return value;
    }

    // The `count` characters at `at` (16-bit when `wide`), made safe in place.
    // False when they do not lie within their record, [begin, end): such a
    // string could not be made safe, and the file is refused.
    bool keep_as_text(std::vector<char>& bytes, std::size_t begin, std::size_t end, std::size_t at,
        std::size_t count, bool wide, bool face_name)
    {
        const std::size_t unit = wide ? 2 : 1;
        if (at < begin || at > end || count > (end - at) / unit)
            return false;
        for (std::size_t k = 0; k < count; ++k) {
            char* p = bytes.data() + at + k * unit;
            const unsigned c = wide ? static_cast<unsigned>(static_cast<unsigned char>(p[0])
                                   | static_cast<unsigned char>(p[1]) << 8)
                                    : static_cast<unsigned char>(p[0]);
            unsigned replaced = c;
            if (c < 0x20 && c != 0)
                replaced = ' ';
            else if (face_name && (c == '"' || c == '\'' || c == '<' || c == '>' || c == '&'))
                replaced = ' ';
            else if (c == '>')
                replaced = wide ? kWidePlaceholder : kNarrowPlaceholder;
            else if (wide && c == kWidePlaceholder)
                replaced = 0xFFFD;
            else if (!wide && c == kNarrowPlaceholder)
                replaced = ' ';
            p[0] = static_cast<char>(replaced & 0xFF);
            if (wide)
                p[1] = static_cast<char>(replaced >> 8);
        }
        return true;
    }

    // Applies keep_as_text to every string of the text and font records;
    // false when one of them does not lie within its record.
    bool keep_text_as_text(std::vector<char>& bytes)
    {
        constexpr std::uint32_t kEof = 14, kExtCreateFontW = 82, kExtTextOutA = 83,
                                kExtTextOutW = 84, kPolyTextOutA = 96, kPolyTextOutW = 97,
                                kSmallTextOut = 108;
        constexpr std::size_t kTextRecord = 40; // an EMRTEXT: reference, count, offset, ...
        for (std::size_t at = 0; at + 8 <= bytes.size();) {
            const std::uint32_t type = read32(bytes, at);
            const std::uint32_t size = read32(bytes, at + 4);
            if (size < 8 || size > bytes.size() - at)
                return false; // checked before: cannot happen
            const std::size_t end = at + size;
            const auto text_at = [&](std::size_t emrtext, bool wide) {
                if (emrtext + kTextRecord > end)
                    return false;
                const std::uint32_t count = read32(bytes, emrtext + 8);
                return count == 0
                    || keep_as_text(
                        bytes, at, end, at + read32(bytes, emrtext + 12), count, wide, false);
            };
            bool kept = true;
            switch (type) {
            case kExtCreateFontW:
                kept = keep_as_text(bytes, at, end, at + 40, 32, true, true);
                break;
            case kExtTextOutA:
            case kExtTextOutW:
                kept = text_at(at + 36, type == kExtTextOutW);
                break;
            case kPolyTextOutA:
            case kPolyTextOutW:
                kept = at + 40 <= end;
                for (std::size_t k = 0; kept && k < read32(bytes, at + 36); ++k)
                    kept = text_at(at + 40 + k * kTextRecord, type == kPolyTextOutW);
                break;
            case kSmallTextOut:
                kept = at + 36 <= end;
                if (kept) {
                    const std::uint32_t options = read32(bytes, at + 20);
                    const std::size_t text = at + 36 + ((options & 0x100) ? 0 : 16);
                    kept = keep_as_text(
                        bytes, at, end, text, read32(bytes, at + 16), !(options & 0x200), false);
                }
                break;
            default:
                break;
            }
            if (!kept)
                return false;
            if (type == kEof)
                return true;
            at = end;
        }
        return true;
    }

    // The placeholders of keep_as_text back as ">".
    std::string restore_text(std::string svg)
    {
        std::string out;
        out.reserve(svg.size());
        for (std::size_t k = 0; k < svg.size(); ++k) {
            if (svg[k] == static_cast<char>(kNarrowPlaceholder)) {
                out += "&gt;";
            } else if (svg.compare(k, kWidePlaceholderUtf8.size(), kWidePlaceholderUtf8) == 0) {
                out += "&gt;";
                k += kWidePlaceholderUtf8.size() - 1;
            } else {
                out += svg[k];
            }
        }
        return out;
    }

    std::unique_ptr<char, MallocDeleter> emf_to_svg(
        const std::vector<std::uint8_t>& file, std::size_t& length)
    {
        std::vector<char> contents(file.begin(), file.end());
        if (!keep_text_as_text(contents))
            throw Error("The enhanced metafile has a damaged text record");
        generatorOptions options {};
        char no_namespace[] = "";
        options.nameSpace = no_namespace;
        options.svgDelimiter = true;
        options.emfplus = false;
        char* text = nullptr;
        length = 0;
        const int converted = emf2svg(contents.data(), contents.size(), &text, &length, &options);
        std::unique_ptr<char, MallocDeleter> svg(text);
        if (!converted || !svg || length == 0)
            throw Error("Cannot draw the enhanced metafile");
        return svg;
    }

} // namespace

Bitmap decode_emf(const std::vector<std::uint8_t>& file)
{
    EmfPlacement place = place_emf(check_emf(file));
    // A frame larger than a drawing is made is drawn smaller.
    const DrawingSize size = metafile_drawing_size(place.width, place.height);
    place.scale_x *= static_cast<double>(size.width) / place.width;
    place.scale_y *= static_cast<double>(size.height) / place.height;
    place.width = size.width;
    place.height = size.height;

    std::size_t length = 0;
    const auto converted = emf_to_svg(file, length);
    const std::string svg = restore_text(guarded_svg(
        std::string_view(converted.get(), length), std::max(place.scale_x, place.scale_y)));

    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, GObjectDeleter> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error));
    if (!handle)
        fail_svg(error);
    double svg_width = place.width;
    double svg_height = place.height;
    rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &svg_width, &svg_height);

    std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, place.width, place.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw std::bad_alloc();
    std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    cairo_scale(cr.get(), place.scale_x, place.scale_y);
    cairo_translate(cr.get(), place.shift_x, place.shift_y);
    const RsvgRectangle viewport { 0, 0, svg_width, svg_height };
    if (!rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &error))
        fail_svg(error);
    cairo_surface_flush(surface.get());

    // RGB24 pixels are 32-bit words 0x00RRGGBB: blue, green, red, unused in memory.
    Bitmap bitmap(place.width, place.height, PixelFormat::pf24bit);
    const unsigned char* pixels = cairo_image_surface_get_data(surface.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    for (int y = 0; y < place.height; ++y) {
        const unsigned char* from = pixels + stride * static_cast<std::size_t>(y);
        std::uint8_t* to = bitmap.row(y);
        for (int x = 0; x < place.width; ++x, from += 4, to += 3)
            std::memcpy(to, from, 3);
    }
    return bitmap;
}

} // namespace velmora
