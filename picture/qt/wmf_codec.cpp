// Windows metafiles: libwmf's SVG output drawn by Qt's SVG renderer (libwmf's
// own raster output draws filled shapes as outlines).
#include "base/error.h"
#include "picture/file_checks.h"
#include "picture/picture.h"
#include "picture/qt/metafile_codecs.h"
#include "picture/qt/qimage_view.h"
#include "picture/qt/svg_guard.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <libwmf/api.h>
#include <libwmf/ipa.h>
#include <libwmf/svg.h>
#include <memory>
#include <string>

namespace velmora {

namespace {

    constexpr double kPixelsPerInch = 96.0;
    // Memory libwmf may hold at once for one metafile. Its allocations follow
    // fields of the file (a record buffer of the declared largest record,
    // bitmaps of their declared size); past this budget they fail and the
    // metafile fails cleanly instead of taking what it claims.
    constexpr std::size_t kWmfMemoryBudget = 192u * 1024 * 1024;

    // libwmf's allocations, counted against kWmfMemoryBudget. Each block
    // carries its size in front of it.
    struct WmfMemory {
        std::size_t in_use = 0;
    };
    constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

    extern "C" void* wmf_counted_malloc(void* context, std::size_t size)
    {
        auto* memory = static_cast<WmfMemory*>(context);
        if (size > kWmfMemoryBudget - memory->in_use)
            return nullptr;
        auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
        if (!block)
            return nullptr;
        *reinterpret_cast<std::size_t*>(block) = size;
        memory->in_use += size;
        return block + kBlockHeader;
    }

    extern "C" void wmf_counted_free(void* context, void* pointer)
    {
        if (!pointer)
            return;
        auto* block = static_cast<unsigned char*>(pointer) - kBlockHeader;
        static_cast<WmfMemory*>(context)->in_use -= *reinterpret_cast<std::size_t*>(block);
        std::free(block);
    }

    extern "C" void* wmf_counted_realloc(void* context, void* pointer, std::size_t size)
    {
        if (!pointer)
            return wmf_counted_malloc(context, size);
        auto* memory = static_cast<WmfMemory*>(context);
        auto* block = static_cast<unsigned char*>(pointer) - kBlockHeader;
        const std::size_t old_size = *reinterpret_cast<std::size_t*>(block);
        if (size > old_size && size - old_size > kWmfMemoryBudget - memory->in_use)
            return nullptr;
        auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kBlockHeader));
        if (!grown)
            return nullptr;
        *reinterpret_cast<std::size_t*>(grown) = size;
        memory->in_use = memory->in_use - old_size + size;
        return grown + kBlockHeader;
    }

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

    // A metafile string (8-bit, Windows-1252 in practice, read here as
    // Latin-1) as the character data of an SVG element: markup characters
    // escaped, control characters (which XML cannot carry) as spaces, other
    // bytes as UTF-8.
    std::string as_svg_text(const char* text)
    {
        std::string out;
        for (const char* p = text; p && *p; ++p) {
            const auto c = static_cast<unsigned char>(*p);
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                if (c < 0x20) {
                    out += ' ';
                } else if (c < 0x80) {
                    out += static_cast<char>(c);
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
        }
        return out;
    }

    // libwmf's SVG device copies a text record's string into the SVG as it
    // is, so text holding "<" would become markup. Its text drawing is
    // routed through here and handed the string escaped.
    struct TextHook {
        void (*draw_text)(wmfAPI*, wmfDrawText_t*) = nullptr;
    };

    extern "C" void draw_text_as_text(wmfAPI* api, wmfDrawText_t* text)
    {
        const auto* hook = static_cast<const TextHook*>(api->user_data);
        char* const original = text->str;
        try {
            std::string escaped = as_svg_text(original);
            text->str = escaped.data();
            hook->draw_text(api, text);
        } catch (...) {
            // No memory for the escaped copy: the text is left out.
        }
        text->str = original;
    }

    // Converts the metafile to SVG text with libwmf's SVG device; sets the
    // picture's size.
    QByteArray wmf_to_svg(std::vector<unsigned char>& data, WmfMemory& memory, unsigned int& width,
        unsigned int& height)
    {
        wmfAPI_Options options {};
        options.function = wmf_svg_function;
        options.context = &memory;
        options.malloc = wmf_counted_malloc;
        options.realloc = wmf_counted_realloc;
        options.free = wmf_counted_free;
        // Unknown records are skipped; nothing is printed.
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_ALLOC | WMF_OPT_IGNORE_NONFATAL
            | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        wmfAPI* raw = nullptr;
        const wmf_error_t created = wmf_api_create(&raw, flags, &options);
        WmfApi api(raw);
        if (!api)
            throw Error("Cannot draw the metafile (libwmf error "
                + std::to_string(static_cast<int>(created)) + ")");
        check_wmf_status(api.get(), created);
        TextHook hook;
        auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
        hook.draw_text = functions->draw_text;
        if (!hook.draw_text)
            throw Error("Cannot draw the metafile");
        api->user_data = &hook;
        functions->draw_text = draw_text_as_text;

        check_wmf_status(
            api.get(), wmf_mem_open(api.get(), data.data(), static_cast<long>(data.size())));
        wmfD_Rect bbox {};
        check_wmf_status(api.get(), wmf_scan(api.get(), 0, &bbox));
        check_wmf_status(api.get(),
            wmf_display_size(api.get(), &width, &height, kPixelsPerInch, kPixelsPerInch));
        check_picture_size(width, height);

        wmf_svg_t* device = WMF_SVG_GetData(api.get());
        device->out = wmf_stream_create(api.get(), nullptr); // into memory
        if (!device->out)
            throw Error("Cannot draw the metafile");
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
    WmfMemory memory;
    unsigned int width = 0;
    unsigned int height = 0;
    const QByteArray svg = wmf_to_svg(data, memory, width, height);
    const std::string guarded = guarded_svg(std::string_view(svg.constData(), svg.size()));
    QSvgRenderer renderer(QByteArray(guarded.data(), static_cast<qsizetype>(guarded.size())));
    if (!renderer.isValid())
        throw Error("Cannot draw the metafile");
    const DrawingSize size = metafile_drawing_size(width, height);
    QImage canvas(size.width, size.height, QImage::Format_RGB32);
    if (canvas.isNull())
        throw Error("Cannot draw the metafile");
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    renderer.render(&painter, QRectF(0, 0, size.width, size.height));
    painter.end();
    return bitmap_from_qimage(canvas);
}

} // namespace velmora
