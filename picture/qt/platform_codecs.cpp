#include "picture/qt/platform_codecs.h"

#include "base/error.h"
#include "picture/codec_plugins.h"
#include "picture/file_checks.h"
#include "picture/picture.h"
#include "picture/qt/qimage_view.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QString>

namespace velmora {

namespace {

    // Qt refuses images that need more memory than this (in MiB); ours must
    // fit kMaxPicturePixels at 32 bits.
    constexpr int kAllocationLimitMiB = static_cast<int>(kMaxPicturePixels * 4 / (1024 * 1024));

    QByteArray as_byte_array(const std::vector<std::uint8_t>& file)
    {
        // Qt only reads the bytes; no copy is made.
        return QByteArray::fromRawData(
            reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
    }

    Error unreadable(const char* what, const QImageReader& reader)
    {
        return Error(
            std::string("Cannot read the ") + what + ": " + reader.errorString().toStdString());
    }

    void prepare(QImageReader& reader)
    {
        reader.setAutoTransform(false);
        reader.setAllocationLimit(kAllocationLimitMiB);
    }

    // What a transparent picture looks like drawn onto a fresh (white) bitmap.
    QImage on_white(const QImage& image)
    {
        if (!image.hasAlphaChannel())
            return image;
        QImage canvas(image.size(), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        painter.drawImage(0, 0, image);
        painter.end();
        return canvas;
    }

} // namespace

Bitmap decode_ico(const std::vector<std::uint8_t>& file)
{
    const std::vector<IconEntry> entries = check_ico(file);
    std::size_t chosen = 0;
    const auto area = [](const IconEntry& e) { return e.width * e.height; };
    for (std::size_t k = 1; k < entries.size(); ++k) {
        const IconEntry& e = entries[k];
        const IconEntry& best = entries[chosen];
        if (area(e) > area(best) || (area(e) == area(best) && e.bits > best.bits))
            chosen = k;
    }
    QByteArray bytes = as_byte_array(file);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    prepare(reader);
    if (chosen > 0 && !reader.jumpToImage(static_cast<int>(chosen)))
        throw unreadable("icon", reader);
    const QImage image = reader.read();
    if (image.isNull())
        throw unreadable("icon", reader);
    QImage shown = on_white(image);
    // An icon is drawn by AND-ing its mask into the background and XOR-ing its
    // colours over that: where the mask is set, white becomes the colour's
    // inverse (white again under the usual black). Qt leaves the mask of
    // images without alpha unapplied, so apply it here.
    const IconMask mask = icon_mask(file, chosen);
    if (mask.width == shown.width() && mask.height == shown.height()) {
        shown = shown.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.bits[static_cast<std::size_t>(y * mask.width + x)])
                    shown.setPixel(x, y, ~image.pixel(x, y) | 0xFF000000u);
    }
    return bitmap_from_qimage(shown);
}

Bitmap decode_modern_picture(const std::vector<std::uint8_t>& file, const char* format)
{
    QByteArray bytes = as_byte_array(file);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    prepare(reader);
    // The extension decides the format: a BMP named .tif is refused, never
    // read by whichever reader recognises its content.
    reader.setAutoDetectImageFormat(false);
    const std::string what = std::string(format) + " picture";
    // The size is known from the header; refuse a huge picture before
    // decoding a single row of it.
    if (reader.size().isValid())
        check_picture_size(reader.size().width(), reader.size().height());
    const QImage image = reader.read();
    if (image.isNull())
        throw unreadable(what.c_str(), reader);
    if (!image.hasAlphaChannel())
        return bitmap_from_qimage(image);
    QImage canvas(image.size(), QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, image);
    painter.end();
    return bitmap_from_qimage(canvas);
}

void save_png(const Bitmap& bitmap, const std::string& path)
{
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || !qimage_view(bitmap).save(&file, "PNG")
        || !file.commit())
        throw Error("Unable to write to " + path);
}

void register_platform_codecs()
{
    const auto modern = [](const char* format) {
        return [format](const std::string& p) {
            return decode_modern_picture(read_picture_file(p), format);
        };
    };
    register_picture_decoder("png", modern("png"));
    register_picture_decoder("webp", modern("webp"));
    register_picture_decoder("tif", modern("tiff"));
    register_picture_decoder("tiff", modern("tiff"));
    register_picture_decoder(
        "ico", [](const std::string& p) { return decode_ico(read_picture_file(p)); });
    register_metafile_plugin();
}

} // namespace velmora
