#include "scene/setting_ranges.h"

#include <algorithm>

namespace velmora {

Settings within_ranges(const Settings& record)
{
    Settings s = record;
    for (const SettingRange& r : kSettingRanges)
        if (r.extra == SettingRange::kNoExtraValue || s.*r.field != r.extra)
            s.*r.field = std::clamp(s.*r.field, r.min, r.max);
    return s;
}

std::int32_t water_edge_in_range(std::int32_t value)
{
    return std::max(value, 0);
}

} // namespace velmora
