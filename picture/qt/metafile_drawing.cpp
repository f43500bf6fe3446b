#include "base/numbers.h"
#include "picture/qt/metafile_codecs.h"

#include <algorithm>

namespace velmora {

DrawingSize metafile_drawing_size(long long width, long long height)
{
    const long long longest = std::max(width, height);
    if (longest <= kMaxMetafileSide)
        return { static_cast<int>(width), static_cast<int>(height) };
    const auto shrunk = [longest](long long side) {
        const long long scaled
            = round_half_even(static_cast<long double>(side) * kMaxMetafileSide / longest);
        return static_cast<int>(std::clamp<long long>(scaled, 1, kMaxMetafileSide));
    };
    return { shrunk(width), shrunk(height) };
}

} // namespace velmora
