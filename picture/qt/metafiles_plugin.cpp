// The "metafiles" codec plugin: WMF and EMF through the metafile converters,
// loaded only when a metafile is opened.
#include "base/error.h"
#include "picture/codec_plugins.h"
#include "picture/qt/metafile_codecs.h"
#include "picture/qt/plugin_host.h"

namespace {

velmora::Bitmap decode(const std::string& format, const std::vector<std::uint8_t>& file)
{
    velmora::ensure_gui_application();
    if (format == "wmf")
        return velmora::decode_wmf(file);
    if (format == "emf")
        return velmora::decode_emf(file);
    throw velmora::Error("Unknown picture file extension (." + format + ")");
}

} // namespace

extern "C" __attribute__((visibility("default"))) const velmora::CodecPlugin* velmora_codec_plugin()
{
    static const velmora::CodecPlugin plugin { decode, nullptr };
    return &plugin;
}
