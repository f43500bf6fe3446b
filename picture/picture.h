#pragma once

#include "imaging/bitmap.h"
#include "imaging/picture_limits.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// A decoder turns one picture file into a bitmap of the picture's own size,
// in any pixel format, or throws velmora::Error with its message. It is only
// handed paths that name a readable regular file.
using PictureDecoder = std::function<Bitmap(const std::string& path)>;

// Registers the decoder for a file-name extension (compared without regard
// to case, given without the dot), replacing any earlier one. The core
// registers "jpg", "jpeg" and "gif"; the platform layer registers the rest.
void register_picture_decoder(const std::string& extension, PictureDecoder decoder);

// Loads a picture by its extension and returns it as a 24-bit bitmap. An
// unregistered extension (whatever the content), a missing, unreadable or
// corrupt file, a directory or any other non-regular file all fail with
// velmora::Error; nothing is ever half-returned.
Bitmap load_picture(const std::string& path);

// True when a decoder is registered for the extension of `path`.
bool has_picture_decoder(const std::string& path);

// Reads a whole picture file. Fails with velmora::Error when the path does
// not name a regular file (missing, a directory, a device), cannot be read,
// or exceeds kMaxPictureFileBytes.
std::vector<std::uint8_t> read_picture_file(const std::string& path);

// A GIF file's first frame as a bitmap, read with the checks every picture
// file gets.
Bitmap decode_gif_file(const std::string& path);

} // namespace velmora
