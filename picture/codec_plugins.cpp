#include "picture/codec_plugins.h"

#include "base/error.h"
#include "picture/picture.h"

#include <dlfcn.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

// The EMF converter shuts fontconfig down (FcFini) after matching the font
// of a text record, while Qt's font database and the SVG renderer's font
// caches still hold fontconfig's caches: the next text drawn anywhere in the
// process (the saver's status line, the next metafile) then fails
// fontconfig's own assertion and ends the program. Defined in every program
// that can load the metafile plugin, and exported from it (the library links
// --export-dynamic-symbol=FcFini into them), this definition comes first in
// the converter's symbol lookup: the shutdown does nothing, and fontconfig
// lives as long as the process, as it does in every Qt program.
extern "C" __attribute__((visibility("default"))) void FcFini()
{
}

namespace velmora {

namespace {

    using Entry = const CodecPlugin* (*)();

    // lib/velmora as seen from an installed program's folder.
    constexpr const char* kPluginsFromProgram = VELMORA_PLUGINS_FROM_PROGRAM;

    // A decoder that reads the file with the checks every picture file gets
    // and hands it to the plugin.
    PictureDecoder through_plugin(const char* plugin, const char* format)
    {
        return [plugin, format](const std::string& path) {
            const std::vector<std::uint8_t> file = read_picture_file(path);
            return codec_plugin(plugin).decode(format, file);
        };
    }

} // namespace

const CodecPlugin& codec_plugin(const std::string& name)
{
    static std::mutex guard;
    static std::map<std::string, const CodecPlugin*> loaded;
    const std::lock_guard<std::mutex> lock(guard);
    if (const auto found = loaded.find(name); found != loaded.end())
        return *found->second;
    const std::string file = "velmora-" + name + ".so";
    // Beside an installed program, beside a program in the build tree, or
    // in the library search path (the test programs').
    std::vector<std::string> candidates;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && program.is_absolute()) {
        for (const auto& folder :
            { program.parent_path() / kPluginsFromProgram, program.parent_path() / "plugins" })
            if (std::filesystem::exists(folder / file, error))
                candidates.push_back((folder / file).string());
    }
    candidates.push_back(file);
    void* handle = nullptr;
    std::string failure;
    for (const std::string& candidate : candidates) {
        // Never closed: the libraries behind a plugin (Qt, glib) cannot be
        // unloaded safely.
        handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle)
            break;
        failure = ::dlerror();
    }
    const auto entry
        = handle ? reinterpret_cast<Entry>(::dlsym(handle, kCodecPluginEntry)) : nullptr;
    const CodecPlugin* plugin = entry ? entry() : nullptr;
    if (!plugin)
        throw Error("Cannot load the picture codecs " + file + ": "
            + (handle ? "it is not a codec plugin" : failure));
    loaded.emplace(name, plugin);
    return *plugin;
}

void register_metafile_plugin()
{
    register_picture_decoder("wmf", through_plugin("metafiles", "wmf"));
    register_picture_decoder("emf", through_plugin("metafiles", "emf"));
}

void register_image_plugin()
{
    register_picture_decoder("ico", through_plugin("images", "ico"));
    register_picture_decoder("png", through_plugin("images", "png"));
    register_picture_decoder("webp", through_plugin("images", "webp"));
    register_picture_decoder("tif", through_plugin("images", "tiff"));
    register_picture_decoder("tiff", through_plugin("images", "tiff"));
}

} // namespace velmora
