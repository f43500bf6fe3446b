// The settings reader on any file, then a write and a second read that must
// give the record the first read gave: whatever a file holds, what is read
// from it can be saved and read back unchanged.
#include "base/error.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string folder()
{
    static const std::string path = [] {
        char name[] = "/tmp/velmora-settings-fuzz-XXXXXX";
        if (!mkdtemp(name))
            std::abort();
        return std::string(name);
    }();
    return path;
}

void put(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace velmora;
    const std::string source = folder() + "/source.INI";
    const std::string copy = folder() + "/copy.INI";
    put(source, data, size);
    unlink(copy.c_str());
    settings() = default_settings();
    try {
        read_settings(source);
    } catch (const Error&) {
        return 0; // a value that is no integer: reading stops, as it must
    }
    const Settings first = settings();
    write_settings(copy); // must not fail: every value read can be written
    settings() = Settings {};
    read_settings(copy);
    if (!(settings() == first))
        std::abort();
    // Writing over the file itself keeps its other lines and must read back
    // the same record too.
    settings() = first;
    write_settings(source);
    settings() = Settings {};
    read_settings(source);
    if (!(settings() == first))
        std::abort();
    return 0;
}
