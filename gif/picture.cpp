#include "gif/picture.h"

#include "imaging/error.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace velmora {

namespace {

    std::string lower(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }

    std::map<std::string, PictureDecoder>& decoders()
    {
        static std::map<std::string, PictureDecoder> table;
        return table;
    }

} // namespace

void register_picture_decoder(const std::string& extension, PictureDecoder decoder)
{
    decoders()[lower(extension)] = std::move(decoder);
}

Bitmap load_picture(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    const std::string extension
        = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        ? std::string()
        : lower(path.substr(dot + 1));
    const auto found = decoders().find(extension);
    if (found == decoders().end())
        throw Error("Unknown picture file extension (." + extension + ")");
    Bitmap bitmap = found->second(path);
    bitmap.set_pixel_format(PixelFormat::pf24bit);
    return bitmap;
}

} // namespace velmora
