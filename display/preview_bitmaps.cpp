#include "display/preview_bitmaps.h"

#include "base/show_info.h"
#include "picture/qt/qimage_view.h"

#include <QFile>
#include <QImage>

// The resources live in a static library: nothing would pull them into the
// program unless they are registered by name.
static void register_preview_resources()
{
    Q_INIT_RESOURCE(preview);
}

namespace velmora {

std::optional<Bitmap> load_resource_bitmap(const std::string& name)
{
    static const bool registered = (register_preview_resources(), true);
    (void)registered;
    const QString path = QStringLiteral(":/velmora/") + QString::fromStdString(name);
    if (!QFile::exists(path))
        return std::nullopt;
    const QImage image(path);
    if (image.isNull())
        return std::nullopt;
    return bitmap_from_qimage(image);
}

PreviewBitmaps load_preview_bitmaps(const std::string& missing_message)
{
    PreviewBitmaps result;
    for (auto [name, target] : { std::pair { kMainResource, &result.main },
             std::pair { kReflectResource, &result.reflect } }) {
        if (auto loaded = load_resource_bitmap(name))
            *target = std::move(*loaded);
        else
            show_info(missing_message);
    }
    return result;
}

} // namespace velmora
