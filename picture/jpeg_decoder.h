#pragma once

#include "imaging/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// Decodes a JPEG held in memory into a 24-bit bitmap of the picture's full
// size (greyscale, colour and CMYK pictures alike). The library's errors
// become velmora::Error "JPEG error #<n>" with the library's message code; a
// picture whose data ends early, or whose coded data is damaged, fails the
// same way instead of being shown half grey.
Bitmap decode_jpeg(const std::uint8_t* data, std::size_t size);

// Reads the file (see read_picture_file) and decodes it.
Bitmap load_jpeg_file(const std::string& path);

} // namespace velmora
