#pragma once

#include "imaging/bitmap.h"

#include <memory>

namespace velmora {

// The overlay dialogs' one working copy of the overlay picture: none until
// the overlay placement dialog first loads an overlay, then refilled in place
// at every later load (24-bit, footing cut off, mirror applied), read by the
// transparent-colour picker, and freed when the Setup dialog closes.
std::unique_ptr<Bitmap>& shared_overlay_bitmap();

} // namespace velmora
