// Picture loading by extension for the formats the platform codecs decode:
// the first byte of an input chooses the extension (BMP, ICO, WMF, EMF), the
// rest is the file. BMP is decoded by our own code; the libraries behind the
// others (Qt's icon reader, libwmf, libemf2svg, librsvg, the metafiles
// through the codec plugin) are not built with coverage instrumentation, so
// the fuzzer is guided only by our checks in front of them; the seeds
// hold the record types those libraries draw (shapes, pens and brushes,
// text, bitmaps, clipping) so that mutations reach them.
#include "base/error.h"
#include "picture/picture.h"
#include "picture/qt/platform_codecs.h"

#include <QGuiApplication>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr std::array<const char*, 4> kExtensions { "bmp", "ico", "wmf", "emf" };

std::string folder()
{
    static const std::string path = [] {
        char name[] = "/tmp/velmora-picture-fuzz-XXXXXX";
        if (!mkdtemp(name))
            std::abort();
        return std::string(name);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Metafile text needs fonts, which need a GUI application.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: at exit fontconfig would be shut down under librsvg's
    // font caches and assert.
    static QGuiApplication* application = new QGuiApplication(*argc, *argv);
    static_cast<void>(application);
    velmora::register_platform_codecs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string path = folder() + "/picture." + kExtensions[data[0] % kExtensions.size()];
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data + 1, 1, size - 1, file) != size - 1 || std::fclose(file) != 0)
        std::abort();
    try {
        velmora::load_picture(path);
    } catch (const velmora::Error&) {
    }
    return 0;
}
