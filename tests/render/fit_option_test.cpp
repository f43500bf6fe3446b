#include "scene/setting_ranges.h"
#include "settings/settings.h"
#include "tools/render/render_options.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(RenderOptions, SizeFitChoosesTheWholeScreen)
{
    Settings s;
    apply_render_overrides(parse_render_options({ "--size", "fit" }), s);
    EXPECT_EQ(s.ImageResCode, kFitScreenResCode);
    apply_render_overrides(parse_render_options({ "--size", "small" }), s);
    EXPECT_EQ(s.ImageResCode, 0);
}

} // namespace velmora
