#include "settings/settings.h"

#include "settings/ini.h"

namespace velmora {

Settings& settings()
{
    static Settings record;
    return record;
}

bool lzw_gif_export(const Settings& record)
{
    return names_match(record.GIFCompression, "LZW");
}

} // namespace velmora
