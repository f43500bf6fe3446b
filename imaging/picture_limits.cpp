#include "imaging/picture_limits.h"

#include "base/error.h"

#include <string>

namespace velmora {

void check_picture_size(long long width, long long height)
{
    if (width <= 0 || height <= 0)
        throw Error("The picture is empty");
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
        throw Error("The picture is too large (" + std::to_string(width) + " x "
            + std::to_string(height) + " pixels)");
}

} // namespace velmora
