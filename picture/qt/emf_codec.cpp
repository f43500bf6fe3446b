// Enhanced metafiles: libemf2svg's SVG drawn by librsvg, which honours the
// clip paths of the conversion (Qt's SVG renderer ignores them). No Qt here:
// glib's headers and Qt's keywords do not mix.
#include "base/error.h"
#include "base/numbers.h"
#include "picture/file_checks.h"
#include "picture/picture.h"
#include "picture/qt/metafile_codecs.h"

#include <algorithm>
#include <cairo.h>
#include <cstdlib>
#include <cstring>
#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <memory>
#include <new>
#include <string>

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

    std::unique_ptr<char, MallocDeleter> emf_to_svg(
        const std::vector<std::uint8_t>& file, std::size_t& length)
    {
        std::vector<char> contents(file.begin(), file.end());
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
    const EmfPlacement place = place_emf(check_emf(file));
    std::size_t length = 0;
    const auto svg = emf_to_svg(file, length);

    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, GObjectDeleter> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.get()), length, &error));
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
