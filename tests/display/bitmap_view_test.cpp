#include "display/bitmap_view.h"

#include <QImage>
#include <QPixmap>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using velmora::Bitmap;

// Every pixel a different colour, so a shifted row, column or band shows.
Bitmap numbered(int width, int height)
{
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.set_pixel(x, y, velmora::make_color((x * 7 + y) & 0xFF, (y * 13) & 0xFF, x ^ y));
    return bitmap;
}

// What the view shows, grabbed part by part, is the bitmap's pixel where the
// bitmap reaches and black elsewhere.
TEST(BitmapViewTest, ShowsTheBitmapsOwnPixelsAndBlackBeyondThem)
{
    struct Case {
        const char* what;
        int bitmap_w, bitmap_h, view_w, view_h;
        QRect grabbed; // an empty rectangle grabs the whole view
    };
    const Case cases[] = {
        { "padded rows", 7, 5, 7, 5, {} },
        { "many bands", 300, 1000, 300, 1000, {} },
        { "a part inside one band and across bands", 300, 1000, 300, 1000,
            QRect(13, 200, 50, 300) },
        { "a part at the right and bottom edges", 301, 401, 301, 401, QRect(290, 390, 11, 11) },
        { "smaller than the view", 10, 10, 16, 12, {} },
        { "larger than the view", 40, 40, 20, 20, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bitmap bitmap = numbered(c.bitmap_w, c.bitmap_h);
        BitmapView view(&bitmap);
        view.resize(c.view_w, c.view_h);
        const QRect part = c.grabbed.isEmpty() ? view.rect() : c.grabbed;
        const QImage shot = view.grab(part).toImage();
        ASSERT_EQ(shot.size(), part.size());
        int wrong = 0;
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x) {
                const int bx = part.left() + x, by = part.top() + y;
                const velmora::Color want = bx < c.bitmap_w && by < c.bitmap_h
                    ? bitmap.pixel(bx, by)
                    : velmora::make_color(0, 0, 0);
                const QRgb got = shot.pixel(x, y);
                if (velmora::make_color(qRed(got), qGreen(got), qBlue(got)) != want && ++wrong < 4)
                    ADD_FAILURE() << "pixel " << bx << "," << by;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// Rows held elsewhere show in place of the bitmap's own, whatever the view
// paints into: a 32-bit image it writes straight into (at any offset, so
// rows start off every alignment) or another image it draws bands onto.
TEST(BitmapViewTest, ShowsRowsHeldElsewhereOnEveryDevice)
{
    struct Case {
        const char* what;
        int width;
        QImage::Format format;
        QPoint offset;
    };
    const Case cases[] = {
        { "32-bit image", 37, QImage::Format_RGB32, { 0, 0 } },
        { "32-bit image, odd offset", 45, QImage::Format_ARGB32_Premultiplied, { 3, 2 } },
        { "narrow rows", 9, QImage::Format_RGB32, { 5, 0 } },
        { "24-bit image", 37, QImage::Format_RGB888, { 1, 1 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bitmap own(c.width, 6);
        const Bitmap held = numbered(c.width, 6);
        std::vector<const std::uint8_t*> rows;
        for (int y = 5; y >= 0; --y)
            rows.push_back(held.row(y));
        BitmapView view(&own);
        view.resize(c.width, 6);
        view.show_rows(rows);
        QImage image(c.width + 8, 9, c.format);
        image.fill(Qt::green);
        view.render(&image, c.offset);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < c.width; ++x) {
                const QRgb got = image.pixel(c.offset + QPoint(x, y));
                ASSERT_EQ(
                    velmora::make_color(qRed(got), qGreen(got), qBlue(got)), held.pixel(x, 5 - y))
                    << x << "," << y;
            }
        EXPECT_EQ(image.pixel(c.offset + QPoint(c.width, 0)), QColor(Qt::green).rgb());
        view.show_rows({});
        EXPECT_EQ(view.grab().toImage().pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu)
            << "the own bitmap again";
    }
}

TEST(BitmapViewTest, ShowsBlackWithoutATrueColourBitmap)
{
    const Bitmap indexed(8, 8, velmora::PixelFormat::pf8bit);
    const Bitmap none;
    for (const Bitmap* bitmap : { &indexed, &none, static_cast<const Bitmap*>(nullptr) }) {
        BitmapView view(bitmap);
        view.resize(8, 8);
        const QImage shot = view.grab().toImage();
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(shot.pixel(x, y) & 0xFFFFFF, 0u);
    }
}

} // namespace
