#include "base/show_info.h"
#include "dialogs/overlay_form.h"
#include "dialogs/xoverlay_form.h"
#include "display/bitmap_view.h"
#include "imaging/rescaler.h"
#include "scene/global_bitmaps.h"
#include "scene/scene.h"
#include "scene/test_pictures.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

using velmora::Bitmap;
using velmora::Color;
using velmora::make_color;
using velmora::Settings;

using velmora::test::boat;
constexpr Color kBackground = velmora::test::kBoatBackground;
constexpr Color kHull = velmora::test::kBoatHull;
constexpr Color kMast = velmora::test::kBoatMast;

Color color_of(const QImage& image, QPoint p)
{
    const QColor c = image.pixelColor(p);
    return make_color(c.red(), c.green(), c.blue());
}

class OverlayFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
        main_file = velmora::test::register_test_picture(
            "lake.vtest", velmora::test::coordinate_picture(640, 480));
        boat_file = velmora::test::register_test_picture("boat.vtest", boat(200, 100));
        s.ImageFileName = main_file;
        s.Overlay = true;
        s.OverlayFileName = boat_file;
        s.XOffSet = 101;
        s.YOffSet = 40;
        s.OverlayZoomFactor = 100;
        s.ReflectionHeightPercent = 80;
        s.OverlayReflection = true;
        s.AutoOverlayXparentColor = true;
        s.OverlayXparentColor = -1;
        s.Overlay24BitXparentColor = -1;
        s.ImageResCode = 1;
        s.NumberOfReflectedImages = 3;
        s.WaveFactor1 = 17;
        s.WaveFactor2 = 30;
    }
    void TearDown() override
    {
        form.hide();
        velmora::set_info_handler(previous_);
        velmora::shared_overlay_bitmap().reset();
    }
    void open()
    {
        form.set_parameters(s);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    // Shows the dialog modally as the Setup dialog does; a dialog that does
    // not close by itself within 5 s counts as hung and is closed.
    int open_modal()
    {
        form.set_parameters(s);
        bool hung = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            hung = true;
            form.done(-1);
        });
        guard.start(5000);
        const int result = form.exec();
        EXPECT_FALSE(hung);
        return result;
    }
    QPoint overlay_offset() const { return form.Image2->pos() - form.Image1->pos(); }
    std::string status() const { return form.StatusBar1->currentMessage().toStdString(); }
    void drag(QPoint from, std::vector<QPoint> steps)
    {
        QTest::mousePress(form.Image2, Qt::LeftButton, {}, from);
        for (const QPoint d : steps)
            QTest::mouseMove(form.Image2, from + d);
        QTest::mouseRelease(form.Image2, Qt::LeftButton, {}, from);
    }

    Settings s;
    std::string main_file;
    std::string boat_file;
    std::vector<std::string> messages;
    TOverlayForm form;

private:
    velmora::InfoHandler previous_;
};

TEST_F(OverlayFormTest, PreviewOfA640x480Picture)
{
    open();
    // Composite 640 x 864, reduced to 281 x 380 and centred in the panel.
    EXPECT_EQ(form.Image1->geometry(), QRect(110, 6, 281, 380));
    EXPECT_EQ(form.PreviewScale(), 864.0L / 380.0L);
    EXPECT_EQ(form.WaterLineY(), 211);
    // 200 x 100 at (101, 40) picture pixels: 88 x 44 at Round(44.42 + 110),
    // Round(17.59 + 6).
    EXPECT_EQ(form.Image2->geometry(), QRect(154, 24, 88, 44));
    EXPECT_EQ(status(), "X-Left=101, Y-Top=40");
    EXPECT_EQ(form.windowTitle(), "lake.vtest");
    // The automatic colour is the overlay's bottom-left pixel.
    EXPECT_EQ(form.OverlayXparentColor, kBackground);
    EXPECT_EQ(form.Overlay24BitXparentColor, kBackground);
    EXPECT_FALSE(form.SelectXBut->isEnabled());
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.XOffSet, 101); // Done without a move keeps the exact offsets
    EXPECT_FALSE(form.OverlayChanged);
}

TEST_F(OverlayFormTest, ReopeningRebuildsOnlyWhatChanged)
{
    open();
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    open();
    EXPECT_EQ(form.main_loads(), 1);
    EXPECT_EQ(form.overlay_loads(), 1);
    QTest::mouseClick(form.CancelBut, Qt::LeftButton);
    s.ReflectionHeightPercent = 50;
    open();
    EXPECT_EQ(form.main_loads(), 2);
    EXPECT_EQ(form.overlay_loads(), 1);
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    s.OverlayShiftPixels = 10;
    open();
    EXPECT_EQ(form.main_loads(), 2);
    EXPECT_EQ(form.overlay_loads(), 2);
    EXPECT_EQ(velmora::shared_overlay_bitmap()->height(), 90);
}

TEST_F(OverlayFormTest, DragStepsThatWouldLeaveThePreviewAreIgnored)
{
    open();
    const QPoint start = form.Image2->pos();
    const QPoint grip(5, 5);
    // Left: no column would stay over the preview (154 - 200 <= 110 - 88).
    drag(grip, { QPoint(-200, 0) });
    EXPECT_EQ(form.Image2->pos(), start);
    EXPECT_FALSE(form.OverlayChanged);
    // Down: the top would come within 10 rows of the preview's bottom.
    drag(grip, { QPoint(0, 6 + 380 - 10 - 24) });
    EXPECT_EQ(form.Image2->pos(), start);
    // A step that keeps the overlay in view is taken, and read in picture
    // pixels: 34 preview pixels are Round(34 x 864 / 380) = 77.
    drag(grip, { QPoint(-10, 0), QPoint(-10, -500) });
    EXPECT_EQ(form.Image2->pos(), start + QPoint(-10, 0));
    EXPECT_EQ(status(), "X-Left=77, Y-Top=41");
    EXPECT_TRUE(form.OverlayChanged);
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    EXPECT_EQ(form.XOffSet, 77);
    EXPECT_EQ(form.YOffSet, 41);
}

TEST_F(OverlayFormTest, CancelKeepsTheOldPositionButTheNewScale)
{
    open();
    drag(QPoint(5, 5), { QPoint(20, 30) });
    form.UpDown1->setFocus();
    QTest::keyClick(form.UpDown1, Qt::Key_Up);
    EXPECT_EQ(form.Image2->size(), QSize(92, 46)); // Round(200 / (864 / 380) x 1.05)
    EXPECT_EQ(form.OverlayScaleLab->text(), "105%");
    QTest::mouseClick(form.CancelBut, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(form.XOffSet, 101);
    EXPECT_EQ(form.YOffSet, 40);
    EXPECT_EQ(form.OverlayZoomFactor, 105);
    EXPECT_TRUE(form.OverlayChanged);
    // "Reset" brings the scale back to 100 %.
    s.OverlayZoomFactor = 105;
    open();
    QTest::mouseClick(form.Set100But, Qt::LeftButton);
    EXPECT_EQ(form.UpDown1->value(), 100);
    EXPECT_EQ(form.Image2->size(), QSize(88, 44));
}

TEST_F(OverlayFormTest, FlippingTwiceRestoresTheOverlay)
{
    open();
    const Bitmap first = form.Image2->picture();
    QTest::mouseClick(form.FlipOverlayCBox, Qt::LeftButton);
    EXPECT_TRUE(form.FlipOverlay);
    const Bitmap& mirrored = form.Image2->picture();
    EXPECT_EQ(mirrored.pixel(first.width() / 3, 5), kBackground);
    EXPECT_EQ(mirrored.pixel(first.width() * 2 / 3, 5), kMast);
    QTest::mouseClick(form.FlipOverlayCBox, Qt::LeftButton);
    EXPECT_FALSE(form.FlipOverlay);
    EXPECT_TRUE(form.Image2->picture() == first);
    EXPECT_FALSE(form.OverlayChanged);
}

TEST_F(OverlayFormTest, ReflectionBoxIsMirroredAtTheWaterLineOrHangsBelow)
{
    struct Case {
        const char* name;
        int y_offset;
        std::set<int> lines; // rows of the preview with a horizontal XOR line
    };
    // Overlay rows 18..61 lie above the water line (211): the reflection box
    // starts at 2 x 211 - 62 = 360 (its bottom lies below the preview).
    // Rows 220..263 reach below it: the box is 264..307.
    const Case cases[] = { { "above the water line", 40, { 18, 61, 360 } },
        { "below the water line", 500, { 220, 263, 264, 307 } } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s.YOffSet = c.y_offset;
        open();
        ASSERT_TRUE(form.bound_rect_drawn());
        const Bitmap drawn = form.main_preview();
        QTest::mouseClick(form.ShowBoundCBox, Qt::LeftButton);
        EXPECT_FALSE(form.bound_rect_drawn());
        const Bitmap clean = form.main_preview();
        const int column = form.Image2->x() - form.Image1->x() + 40;
        std::set<int> lines;
        for (int y = 0; y < clean.height(); ++y)
            if (drawn.pixel(column, y) != clean.pixel(column, y))
                lines.insert(y);
        EXPECT_EQ(lines, c.lines);
        // XOR: each line is the inverse of the picture below it.
        EXPECT_EQ(drawn.pixel(column, *c.lines.begin()),
            clean.pixel(column, *c.lines.begin()) ^ 0xFFFFFF);
        QTest::mouseClick(form.ShowBoundCBox, Qt::LeftButton);
        QTest::mouseClick(form.CancelBut, Qt::LeftButton);
    }
}

TEST_F(OverlayFormTest, ErrorsCloseTheDialogAndLeaveEverythingAsItWas)
{
    const std::string damaged
        = (std::filesystem::temp_directory_path() / "velmora-damaged-overlay.jpg").string();
    std::ofstream(damaged) << "not a picture";
    struct Case {
        const char* name;
        std::string main;
        std::string overlay;
        int shift;
        std::string message;
    };
    const Case cases[] = {
        { "missing main picture", "/nonexistent/lake.jpg", boat_file, 0,
            "Error loading Main Image /nonexistent/lake.jpg!" },
        { "edge at the top", main_file, boat_file, 479, "Shift-Pixel Amount is too large!" },
        { "damaged overlay", main_file, damaged, 0,
            "Error Loading Overlay Image " + damaged + "!" },
    };
    // A good opening first: its preview and its place must survive the
    // failures.
    s.OverlayXparentColor = make_color(1, 2, 3);
    open();
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    const Bitmap preview = form.main_preview();
    const QPoint placed = form.pos();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        s.ImageFileName = c.main;
        s.OverlayFileName = c.overlay;
        s.ShiftHorizon = c.shift > 0;
        s.ShiftPixels = c.shift;
        s.XOffSet = 7;
        s.OverlayXparentColor = make_color(1, 2, 3);
        s.Overlay24BitXparentColor = make_color(4, 5, 6);
        bool on_screen = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout,
            [&] { on_screen |= form.windowHandle() && form.windowHandle()->isVisible(); });
        probe.start(5);
        EXPECT_EQ(open_modal(), QDialog::Rejected);
        EXPECT_FALSE(on_screen) << "only the message shows";
        EXPECT_EQ(messages, std::vector<std::string> { c.message });
        Settings back = s;
        form.take_parameters(back);
        EXPECT_EQ(back.XOffSet, 7);
        EXPECT_EQ(back.OverlayXparentColor, make_color(1, 2, 3));
        EXPECT_EQ(back.Overlay24BitXparentColor, make_color(4, 5, 6));
        EXPECT_TRUE(form.main_preview() == preview || c.main == main_file);
    }
    std::filesystem::remove(damaged);
    // With the pictures back the dialog opens as before.
    messages.clear();
    s.ImageFileName = main_file;
    s.OverlayFileName = boat_file;
    s.ShiftPixels = 0;
    open();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form.Image2->size(), QSize(88, 44));
    EXPECT_EQ(form.pos(), placed);
}

TEST_F(OverlayFormTest, TheScaleStepsBy5AndEnterInItKeepsTheDialogOpen)
{
    // A typed scale goes to the nearest step when Enter takes it.
    const std::pair<const char*, int> cases[]
        = { { "7", 5 }, { "8", 10 }, { "3", 5 }, { "150", 150 } };
    open();
    for (const auto& [typed, scale] : cases) {
        SCOPED_TRACE(typed);
        form.UpDown1->setFocus();
        QTest::keyClick(form.UpDown1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(form.UpDown1, typed);
        QTest::keyClick(form.UpDown1, Qt::Key_Return);
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.OverlayZoomFactor, scale);
        EXPECT_EQ(form.OverlayScaleLab->text().toStdString(), std::to_string(scale) + "%");
    }
}

// As in the saver, a footing as high as the overlay or higher leaves no
// overlay and keeps its colours; both dialogs say so.
TEST_F(OverlayFormTest, AFootingThatLeavesNoRowsShowsNoOverlayAndSaysSo)
{
    for (const int footing : { 100, 250 }) {
        SCOPED_TRACE(footing);
        s.OverlayShiftPixels = footing;
        s.OverlayXparentColor = make_color(1, 2, 3);
        s.Overlay24BitXparentColor = make_color(4, 5, 6);
        open();
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(status(), velmora::kNoOverlayRows);
        EXPECT_EQ(form.Image2->height(), 0);
        Settings back = s;
        form.take_parameters(back);
        EXPECT_EQ(back.OverlayXparentColor, make_color(1, 2, 3));
        EXPECT_EQ(back.Overlay24BitXparentColor, make_color(4, 5, 6));
        QTest::mouseClick(form.CancelBut, Qt::LeftButton);

        // The picker shows the same words where the picture would be, and
        // no stray frame.
        TXOverlayForm picker;
        picker.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
        const QImage shown = picker.grab(QRect(0, 0, picker.width(), picker.Panel1->y()))
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        int white = 0;
        int text = 0;
        const QRgb background = picker.background_color().rgb();
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb p = shown.pixel(x, y) | 0xFF000000;
                white += p == 0xFFFFFFFF;
                text += p != background && p != 0xFF000000 && p != 0xFFFFFFFF;
            }
        EXPECT_EQ(white, 0);
        EXPECT_GT(text, 50);
        picker.hide();
    }
}

// The dialog and the saver's scene build agree on where the overlay stands,
// how large it is and which of its pixels show, within one pixel of either
// scale.
TEST_F(OverlayFormTest, PreviewShowsTheOverlayAsTheSaverDoes)
{
    s.XOffSet = 260;
    s.YOffSet = 300;
    s.OverlayZoomFactor = 150;
    s.FlipOverlay = true;
    s.AutoOverlayXparentColor = false;
    s.OverlayXparentColor = kBackground;
    s.Overlay24BitXparentColor = kBackground;
    Settings saver_settings = s;
    const std::optional<velmora::BuiltScene> built
        = velmora::build_scene(main_file, 0, saver_settings, 1280, 1024, {});
    ASSERT_TRUE(built);
    ASSERT_TRUE(built->overlay.bitmap);
    const long double sf = built->scene.ScaleFactor;
    const Bitmap& shown_overlay = *built->overlay.bitmap;

    open();
    const long double ps = form.PreviewScale();
    const long double tolerance = ps + 1 / sf;
    const QPoint at = overlay_offset();
    EXPECT_NEAR(at.x() * ps, built->overlay.x / sf, tolerance);
    EXPECT_NEAR(at.y() * ps, built->overlay.y / sf, tolerance);
    EXPECT_NEAR(form.Image2->width() * ps, shown_overlay.width() / sf, tolerance);
    EXPECT_NEAR(form.Image2->height() * ps, shown_overlay.height() / sf, tolerance);

    // Inside each region of the boat: its colour where it is opaque, the
    // picture behind it where it is transparent, in both.
    const QImage dialog = form.Panel1->grab().toImage();
    const Bitmap& saver = built->scene.picture;
    for (const double fx : { 0.125, 0.375, 0.625, 0.875 }) {
        for (const double fy : { 0.25, 0.75 }) {
            SCOPED_TRACE(std::to_string(fx) + " " + std::to_string(fy));
            // Mirrored: the boat's own column is taken from the other side.
            const Color own = boat(200, 100).pixel(
                static_cast<int>((1 - fx) * 200), static_cast<int>(fy * 100));
            const QPoint in_dialog = form.Image2->pos()
                + QPoint(static_cast<int>(fx * form.Image2->width()),
                    static_cast<int>(fy * form.Image2->height()));
            const Color d = color_of(dialog, in_dialog);
            const Color v
                = saver.pixel(built->overlay.x + static_cast<int>(fx * shown_overlay.width()),
                    built->overlay.y + static_cast<int>(fy * shown_overlay.height()));
            if (own == kBackground) {
                EXPECT_NE(d, kBackground);
                EXPECT_NE(v, kBackground);
            } else {
                EXPECT_EQ(d, own);
                EXPECT_EQ(v, own);
            }
        }
    }
}

} // namespace
