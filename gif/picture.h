#pragma once

#include "imaging/bitmap.h"

#include <functional>
#include <string>

namespace velmora {

// A decoder turns one picture file into a bitmap of the picture's own size,
// in any pixel format, or throws velmora::Error with its message.
using PictureDecoder = std::function<Bitmap(const std::string& path)>;

// Registers the decoder for a file-name extension (compared without regard
// to case, given without the dot). The core registers "jpg", "jpeg" and
// "gif"; the platform layer registers the rest.
void register_picture_decoder(const std::string& extension, PictureDecoder decoder);

// Loads a picture by its extension and returns it as a 24-bit bitmap. An
// unregistered extension, a missing, unreadable or corrupt file all fail with
// velmora::Error; nothing is ever half-returned.
Bitmap load_picture(const std::string& path);

} // namespace velmora
