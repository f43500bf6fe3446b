#include "picture/qt/qimage_view.h"

#include <QColor>
#include <QPainter>
#include <gtest/gtest.h>

using namespace velmora;

TEST(QImageView, SharesTheRowsOfAnOddWidthBitmap)
{
    // Width 5: 15 bytes of pixels in 16-byte rows, so a view that ignored
    // the stride would drift by a byte per row.
    Bitmap b(5, 3);
    b.fill(make_color(0, 0, 0));
    b.set_pixel(4, 2, make_color(10, 20, 30));
    QImage view = qimage_view(b);
    ASSERT_FALSE(view.isNull());
    EXPECT_EQ(view.constBits(), b.bits()); // no copy
    EXPECT_EQ(view.pixelColor(4, 2), QColor(10, 20, 30));

    QPainter painter(&view);
    painter.fillRect(QRect(1, 1, 1, 1), QColor(200, 100, 50));
    painter.end();
    EXPECT_EQ(b.pixel(1, 1), make_color(200, 100, 50));
    EXPECT_EQ(b.pixel(4, 2), make_color(10, 20, 30));
}

TEST(QImageView, ReadOnlyViewsAndOtherFormats)
{
    const Bitmap b(2, 2);
    QImage view = qimage_view(b);
    ASSERT_FALSE(view.isNull());
    view.setPixelColor(0, 0, QColor(1, 2, 3)); // detaches: the bitmap stays white
    EXPECT_EQ(b.pixel(0, 0), make_color(255, 255, 255));

    Bitmap other(2, 2, PixelFormat::pf32bit);
    EXPECT_TRUE(qimage_view(other).isNull());
    Bitmap empty;
    EXPECT_TRUE(qimage_view(empty).isNull());
}

TEST(QImageView, ImagesBecomeTwentyFourBitBitmapsWithStraightColours)
{
    QImage argb(3, 1, QImage::Format_ARGB32_Premultiplied);
    argb.setPixelColor(0, 0, QColor(255, 0, 0));
    argb.setPixelColor(1, 0, QColor(0, 200, 100, 128)); // half transparent
    argb.setPixelColor(2, 0, QColor(0, 0, 255));
    const Bitmap b = bitmap_from_qimage(argb);
    ASSERT_EQ(b.width(), 3);
    EXPECT_EQ(b.pixel_format(), PixelFormat::pf24bit);
    EXPECT_EQ(b.pixel(0, 0), make_color(255, 0, 0));
    EXPECT_NEAR(color_green(b.pixel(1, 0)), 200, 2); // not darkened by the alpha
    EXPECT_EQ(b.pixel(2, 0), make_color(0, 0, 255));

    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({ qRgb(1, 2, 3), qRgb(4, 5, 6) });
    indexed.setPixel(0, 0, 1);
    indexed.setPixel(1, 0, 0);
    const Bitmap p = bitmap_from_qimage(indexed);
    EXPECT_EQ(p.pixel(0, 0), make_color(4, 5, 6));
    EXPECT_EQ(p.pixel(1, 0), make_color(1, 2, 3));

    EXPECT_TRUE(bitmap_from_qimage(QImage()).empty());

    // A round trip through a view gives the same bitmap.
    Bitmap original(7, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x)
            original.set_pixel(x, y, make_color(x * 30, y * 60, 90));
    EXPECT_EQ(bitmap_from_qimage(qimage_view(original)), original);
}
