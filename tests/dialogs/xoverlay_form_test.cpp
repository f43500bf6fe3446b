#include "dialogs/xoverlay_form.h"
#include "scene/global_bitmaps.h"
#include "scene/test_pictures.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

using velmora::Bitmap;
using velmora::Color;
using velmora::make_color;

using velmora::test::boat;
constexpr Color kBackground = velmora::test::kBoatBackground;
constexpr Color kHull = velmora::test::kBoatHull;
constexpr Color kMast = velmora::test::kBoatMast;

Color shown_at(QWidget& widget, QPoint p)
{
    const QColor c = widget.grab(QRect(p, QSize(1, 1))).toImage().pixelColor(0, 0);
    return make_color(c.red(), c.green(), c.blue());
}

class PickerTest : public ::testing::Test {
protected:
    void open(const Bitmap& overlay, Color screen, Color exact)
    {
        velmora::shared_overlay_bitmap() = std::make_unique<Bitmap>(overlay);
        form.OverlayXparentColor = screen;
        form.Overlay24BitXparentColor = exact;
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void click(QPoint p)
    {
        QTest::mouseMove(&form, p);
        QTest::mouseClick(&form, Qt::LeftButton, {}, p);
    }
    void TearDown() override
    {
        form.hide();
        velmora::shared_overlay_bitmap().reset();
    }
    TXOverlayForm form;
};

TEST_F(PickerTest, FitsThePictureAboveThePanel)
{
    struct Case {
        int w, h;
        QRect shown;
    };
    // 50 x 30 is enlarged to 308 x Round(184.8); 1000 x 1000 fits the 205
    // rows above the panel. Both are centred on the 348 x 245 surface.
    for (const Case& c : { Case { 50, 30, QRect(20, 30, 308, 185) },
             Case { 1000, 1000, QRect(71, 20, 205, 205) } }) {
        SCOPED_TRACE(c.w);
        open(boat(c.w, c.h), kBackground, kBackground);
        EXPECT_EQ(form.image_rect(), c.shown);
        EXPECT_EQ(form.windowTitle(), "Pick Overlay Transparent Color");
        QTest::mouseClick(form.DoneBut, Qt::LeftButton);
        EXPECT_FALSE(form.isVisible());
    }
}

TEST_F(PickerTest, ClickPicksTheShownAndTheExactColour)
{
    open(boat(50, 30), kBackground, kBackground);
    const QRect r = form.image_rect();
    // The background is knocked out: the surface's own colour shows there.
    const QPoint corner = r.topLeft() + QPoint(2, 4);
    EXPECT_NE(shown_at(form, corner), kBackground);
    // The hull's colour becomes transparent, the background comes back.
    const QPoint hull = r.bottomRight() - QPoint(r.width() / 2, 5);
    click(hull);
    EXPECT_EQ(form.OverlayXparentColor, kHull);
    EXPECT_EQ(form.Overlay24BitXparentColor, kHull);
    EXPECT_EQ(form.RGBSetLab->text(), "R=200, G=30, B=30");
    EXPECT_EQ(shown_at(form, corner), kBackground);
    EXPECT_NE(shown_at(form, hull), kHull);
    QTest::mouseClick(form.DoneBut, Qt::LeftButton);
    EXPECT_EQ(form.OverlayXparentColor, kHull);
    EXPECT_EQ(form.Overlay24BitXparentColor, kHull);
}

TEST_F(PickerTest, DoneWithoutAClickKeepsBothColours)
{
    open(boat(50, 30), kBackground, -1);
    QTest::mouseMove(&form, form.image_rect().center());
    QTest::mouseClick(form.DoneBut, Qt::LeftButton);
    EXPECT_EQ(form.OverlayXparentColor, kBackground);
    EXPECT_EQ(form.Overlay24BitXparentColor, -1);
    // A later opening does not take the pixel under an earlier click either.
    open(boat(50, 30), kBackground, kBackground);
    click(form.image_rect().center());
    QTest::mouseClick(form.DoneBut, Qt::LeftButton);
    open(boat(50, 30), kMast, kMast);
    QTest::mouseClick(form.DoneBut, Qt::LeftButton);
    EXPECT_EQ(form.OverlayXparentColor, kMast);
    EXPECT_EQ(form.Overlay24BitXparentColor, kMast);
}

TEST_F(PickerTest, CancelRestoresBothColoursAfterClicks)
{
    open(boat(50, 30), kBackground, kBackground);
    const QRect r = form.image_rect();
    click(r.bottomRight() - QPoint(r.width() / 2, 5));
    click(r.topLeft() + QPoint(r.width() / 3, 5));
    EXPECT_EQ(form.OverlayXparentColor, kMast);
    QTest::mouseClick(form.CancelBUt, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.OverlayXparentColor, kBackground);
    EXPECT_EQ(form.Overlay24BitXparentColor, kBackground);
}

TEST_F(PickerTest, ClicksOnTheFrameOrBesideThePictureChangeNothing)
{
    open(boat(50, 30), kBackground, kBackground);
    const QRect r = form.image_rect();
    // The white frame runs one pixel outside the picture.
    const Color white = make_color(255, 255, 255);
    const QPoint right(r.right() + 1, r.top() + 20);
    const QPoint below(r.left() + 20, r.bottom() + 1);
    for (const QPoint p : { right, below, QPoint(r.left() - 1, r.top()), QPoint(5, 5) }) {
        SCOPED_TRACE(p.x());
        if (p != QPoint(5, 5)) {
            EXPECT_EQ(shown_at(form, p), white);
        }
        click(p);
        EXPECT_EQ(form.OverlayXparentColor, kBackground);
        EXPECT_EQ(form.Overlay24BitXparentColor, kBackground);
    }
}

TEST_F(PickerTest, GridOffShowsThePlainBackground)
{
    open(boat(50, 30), kBackground, kBackground);
    const QRect r = form.image_rect();
    const QPoint frame(r.right() + 1, r.top() + 20);
    const Color surface = make_color(192, 220, 192);
    EXPECT_EQ(shown_at(form, QPoint(5, 0)), make_color(0, 0, 0)); // a grid line
    QTest::mouseClick(form.GridCBox, Qt::LeftButton);
    EXPECT_EQ(shown_at(form, QPoint(5, 0)), surface);
    EXPECT_EQ(shown_at(form, frame), surface);
    EXPECT_EQ(shown_at(form, r.topLeft() + QPoint(2, 0)), surface); // knocked out
    form.set_background_color(QColor(10, 20, 30));
    EXPECT_EQ(shown_at(form, r.topLeft() + QPoint(2, 0)), make_color(10, 20, 30));
    QTest::mouseClick(form.DoneBut, Qt::LeftButton);
    // The grid stays off for the next opening.
    open(boat(50, 30), kBackground, kBackground);
    EXPECT_FALSE(form.GridCBox->isChecked());
    QTest::mouseClick(form.GridCBox, Qt::LeftButton);
}

} // namespace
