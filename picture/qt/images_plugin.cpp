// The "images" codec plugin: Qt's image readers and PNG writing for programs
// that do not link Qt themselves.
#include "base/error.h"
#include "picture/codec_plugins.h"
#include "picture/qt/platform_codecs.h"
#include "picture/qt/plugin_host.h"

namespace {

velmora::Bitmap decode(const std::string& format, const std::vector<std::uint8_t>& file)
{
    velmora::ensure_gui_application();
    if (format == "ico")
        return velmora::decode_ico(file);
    if (format == "png" || format == "webp" || format == "tiff")
        return velmora::decode_modern_picture(file, format.c_str());
    throw velmora::Error("Unknown picture file extension (." + format + ")");
}

void save_png(const velmora::Bitmap& bitmap, const std::string& path)
{
    velmora::ensure_gui_application();
    velmora::save_png(bitmap, path);
}

} // namespace

extern "C" __attribute__((visibility("default"))) const velmora::CodecPlugin* velmora_codec_plugin()
{
    static const velmora::CodecPlugin plugin { decode, save_png };
    return &plugin;
}
