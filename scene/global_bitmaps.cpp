#include "scene/global_bitmaps.h"

namespace velmora {

std::unique_ptr<Bitmap>& shared_overlay_bitmap()
{
    static std::unique_ptr<Bitmap> bitmap;
    return bitmap;
}

} // namespace velmora
