#include "gif/codecs/platform_codecs.h"

#include "gif/picture.h"
#include "imaging/error.h"

#include <QImage>
#include <QImageReader>
#include <QString>

namespace velmora {

namespace {

    Bitmap from_qimage(const QImage& source)
    {
        const QImage image = source.convertToFormat(QImage::Format_BGR888);
        Bitmap bitmap(image.width(), image.height());
        const auto bytes = static_cast<std::size_t>(image.width()) * 3;
        for (int y = 0; y < image.height(); ++y)
            std::copy_n(image.constScanLine(y), bytes, bitmap.row(y));
        return bitmap;
    }

    Bitmap read_with_qt(const std::string& path, const char* format)
    {
        QImageReader reader(QString::fromStdString(path), format);
        QImage image = reader.read();
        if (image.isNull())
            throw Error(reader.errorString().toStdString());
        return from_qimage(image);
    }

} // namespace

void register_platform_codecs()
{
    register_picture_decoder("bmp", [](const std::string& p) { return read_with_qt(p, "bmp"); });
    register_picture_decoder("ico", [](const std::string& p) { return read_with_qt(p, "ico"); });
}

} // namespace velmora
