#include "settings/settings.h"

namespace velmora {

Settings& settings()
{
    static Settings record;
    return record;
}

} // namespace velmora
