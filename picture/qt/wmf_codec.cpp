// Windows metafiles: libwmf's SVG output drawn by Qt's SVG renderer (libwmf's
// own raster output draws filled shapes as outlines).
#include "base/error.h"
#include "picture/file_checks.h"
#include "picture/picture.h"
#include "picture/qt/metafile_codecs.h"
#include "picture/qt/qimage_view.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <libwmf/api.h>
#include <libwmf/svg.h>
#include <memory>
#include <string>

namespace velmora {

namespace {

    constexpr double kPixelsPerInch = 96.0;

    struct WmfApiDeleter {
        void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
    };
    using WmfApi = std::unique_ptr<wmfAPI, WmfApiDeleter>;

    void check_wmf_status(wmfAPI* api, wmf_error_t status)
    {
        if (status != wmf_E_None || api->err != wmf_E_None)
            throw Error("Cannot draw the metafile (libwmf error "
                + std::to_string(static_cast<int>(status != wmf_E_None ? status : api->err)) + ")");
    }

    // Converts the metafile to SVG text with libwmf's SVG device; sets the
    // picture's size.
    QByteArray wmf_to_svg(
        std::vector<unsigned char>& data, unsigned int& width, unsigned int& height)
    {
        wmfAPI_Options options {};
        options.function = wmf_svg_function;
        // Unknown records are skipped; nothing is printed.
        const unsigned long flags
            = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        wmfAPI* raw = nullptr;
        const wmf_error_t created = wmf_api_create(&raw, flags, &options);
        WmfApi api(raw);
        if (!api)
            throw Error("Cannot draw the metafile (libwmf error "
                + std::to_string(static_cast<int>(created)) + ")");
        check_wmf_status(api.get(), created);
        check_wmf_status(
            api.get(), wmf_mem_open(api.get(), data.data(), static_cast<long>(data.size())));
        wmfD_Rect bbox {};
        check_wmf_status(api.get(), wmf_scan(api.get(), 0, &bbox));
        check_wmf_status(api.get(),
            wmf_display_size(api.get(), &width, &height, kPixelsPerInch, kPixelsPerInch));
        check_picture_size(width, height);

        wmf_svg_t* device = WMF_SVG_GetData(api.get());
        device->out = wmf_stream_create(api.get(), nullptr); // into memory
        device->Description = const_cast<char*>("Velmora");
        device->bbox = bbox;
        device->width = width;
        device->height = height;
        device->flags |= WMF_SVG_INLINE_IMAGES; // never write image files
        const wmf_error_t played = wmf_play(api.get(), 0, &bbox);
        char* text = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api.get(), device->out, &text, &length);
        // The text belongs to libwmf's memory pool, which the api frees.
        QByteArray svg(text, static_cast<qsizetype>(text ? length : 0));
        check_wmf_status(api.get(), played);
        return svg;
    }

} // namespace

Bitmap decode_wmf(const std::vector<std::uint8_t>& file)
{
    check_wmf(file);
    std::vector<unsigned char> data = with_placeable_header(file); // libwmf wants it writable
    unsigned int width = 0;
    unsigned int height = 0;
    const QByteArray svg = wmf_to_svg(data, width, height);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        throw Error("Cannot draw the metafile");
    QImage canvas(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    renderer.render(&painter, QRectF(0, 0, width, height));
    painter.end();
    return bitmap_from_qimage(canvas);
}

} // namespace velmora
