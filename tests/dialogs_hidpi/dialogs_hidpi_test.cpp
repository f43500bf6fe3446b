#include "base/show_info.h"
#include "dialogs/locate_form.h"
#include "dialogs/overlay_form.h"
#include "dialogs/setup_form.h"
#include "dialogs/xoverlay_form.h"
#include "display/bitmap_view.h"
#include "scene/global_bitmaps.h"
#include "scene/test_pictures.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using velmora::Bitmap;
using velmora::test::coordinate_picture;
using velmora::test::register_test_picture;

// Every test of this program runs on a screen scaled by 2, set before the
// application object is made.
const bool scaled = [] { return qputenv("QT_SCALE_FACTOR", "2"); }();

QRgb rgb_of(const Bitmap& bitmap, int x, int y)
{
    const velmora::Color c = bitmap.pixel(x, y);
    return qRgb(velmora::color_red(c), velmora::color_green(c), velmora::color_blue(c));
}

// What `view` shows is `bitmap` pixel for pixel, in the screen's own pixels.
void expect_shown_one_to_one(QWidget* view, const Bitmap& bitmap)
{
    ASSERT_EQ(view->devicePixelRatioF(), 2.0);
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(shown.width(), bitmap.width());
    ASSERT_GE(shown.height(), bitmap.height());
    for (int y = 0; y < bitmap.height(); y += 7) {
        for (int x = 0; x < bitmap.width(); x += 11) {
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, rgb_of(bitmap, x, y) & 0xFFFFFF)
                << x << "," << y;
        }
    }
}

class DialogsHiDpi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scaled);
        previous_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override
    {
        velmora::set_info_handler(previous_);
        EXPECT_TRUE(messages.empty());
    }
    std::vector<std::string> messages;

private:
    velmora::InfoHandler previous_;
};

TEST_F(DialogsHiDpi, TheLocatorReducesThePictureToDevicePixelsOnly)
{
    TLocateForm form;
    form.PictureFile = register_test_picture("wide.vtest", coordinate_picture(1000, 500));
    form.PixelsFromBottom = 0;
    form.show();
    // The view keeps the window's coordinates; the picture under it has
    // twice the pixels each way.
    EXPECT_EQ(form.Image1->size(), QSize(552, 270));
    EXPECT_EQ(form.view().width(), 2 * 552);
    EXPECT_EQ(form.view().height(), 2 * 270);
    EXPECT_EQ(form.view_scale(), 500.0L / 270);
    expect_shown_one_to_one(form.Image1, form.view());
    // A click still reads the water edge in picture pixels.
    QTest::mouseMove(form.Image1, QPoint(30, 135));
    QTest::mouseClick(form.Image1, Qt::LeftButton, {}, QPoint(30, 135));
    EXPECT_NEAR(form.PixelsFromBottom, 500 * (270 - 135 + 4) / 270, 2);
    form.close();
}

TEST_F(DialogsHiDpi, TheOverlayDialogDrawsBothPicturesInDevicePixels)
{
    velmora::Settings s;
    s.ImageFileName = register_test_picture("lake.vtest", coordinate_picture(640, 480));
    Bitmap boat(200, 100);
    boat.fill(velmora::make_color(0, 128, 255));
    boat.fill_rect(50, 50, 150, 100, velmora::make_color(200, 30, 30));
    s.OverlayFileName = register_test_picture("boat.vtest", boat);
    s.Overlay = true;
    s.XOffSet = 101;
    s.YOffSet = 40;
    s.OverlayZoomFactor = 100;
    s.OverlayReflection = true;
    s.ReflectionHeightPercent = 80;
    s.AutoOverlayXparentColor = true;
    TOverlayForm form;
    form.set_parameters(s);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    // The composite of 640 x 864 is reduced once, into the panel's 1000 x 780
    // device pixels less the preview's margin: 570 x 770, on 285 x 385 of the
    // window's pixels; placing works in the window's pixels.
    const QRect preview = form.Image1->geometry();
    const Bitmap& main = form.main_preview();
    EXPECT_EQ(QSize(main.width(), main.height()), QSize(570, 770));
    EXPECT_EQ(preview.size(), QSize(285, 385));
    EXPECT_EQ(form.PreviewScale(), 864.0L / 770 * 2);
    EXPECT_EQ(form.Image2->width(), qRound(200 / (864.0 / 770 * 2)));
    EXPECT_EQ(form.Image2->picture().width(), 2 * form.Image2->width());

    // The bound rectangle is drawn over the preview and taken off again
    // without a trace.
    ASSERT_TRUE(form.bound_rect_drawn());
    const Bitmap with_bound = main;
    QTest::mouseClick(form.ShowBoundCBox, Qt::LeftButton, {}, QPoint(6, 6));
    ASSERT_FALSE(form.bound_rect_drawn());
    const Bitmap clean = form.main_preview();
    EXPECT_FALSE(clean == with_bound);
    QTest::mouseClick(form.ShowBoundCBox, Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_TRUE(form.main_preview() == with_bound);
    QTest::mouseClick(form.ShowBoundCBox, Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_TRUE(form.main_preview() == clean);

    expect_shown_one_to_one(form.Image1, clean);
    form.hide();
    velmora::shared_overlay_bitmap().reset();
}

TEST_F(DialogsHiDpi, ThePickerShowsThePictureInDevicePixels)
{
    // 410 x 410 fits the 205 x 205 of the window above the panel: on the
    // screen's 410 x 410 pixels there, every pixel of it shows.
    const Bitmap overlay = coordinate_picture(410, 410);
    velmora::shared_overlay_bitmap() = std::make_unique<Bitmap>(overlay);
    TXOverlayForm form;
    form.OverlayXparentColor = velmora::make_color(255, 255, 255);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.image_rect(), QRect(71, 20, 205, 205));
    QImage shown = form.grab(form.image_rect()).toImage();
    Bitmap picture(shown.width(), shown.height());
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            picture.set_pixel(x, y, velmora::make_color(c.red(), c.green(), c.blue()));
        }
    EXPECT_TRUE(picture == overlay);
    // A click picks the pixel under the pointer's device pixel.
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(71 + 100, 20 + 50));
    EXPECT_EQ(form.Overlay24BitXparentColor, overlay.pixel(200, 100));
    form.hide();
    velmora::shared_overlay_bitmap().reset();
}

TEST_F(DialogsHiDpi, ThePictureDialogsPreviewIsSharp)
{
    TSetupForm form;
    const std::string lake = register_test_picture("preview.vtest", coordinate_picture(400, 300));
    Q_EMIT form.OpenPictureDialog1->currentChanged(QString::fromStdString(lake));
    const QLabel* picture = form.OpenPictureDialog1->findChild<QLabel*>("PreviewPicture");
    ASSERT_NE(picture, nullptr);
    const QPixmap shown = picture->pixmap();
    EXPECT_EQ(shown.devicePixelRatio(), 2.0);
    // 176 x 132 in the window: 352 x 264 pixels of the screen.
    EXPECT_EQ(shown.size(), QSize(352, 264));
    EXPECT_EQ(shown.deviceIndependentSize(), QSizeF(176, 132));
}

} // namespace
