#include "base/numbers.h"
#include "base/show_info.h"
#include "dialogs/locate_form.h"
#include "dialogs/wait_form.h"
#include "display/bitmap_view.h"
#include "imaging/rescaler.h"
#include "scene/test_pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using velmora::Bitmap;
using velmora::test::coordinate_picture;
using velmora::test::register_test_picture;

// Counts the progress windows shown while a picture loads and can click
// them away the moment they show.
class WaitWatcher : public QObject {
public:
    WaitWatcher() { qApp->installEventFilter(this); }
    ~WaitWatcher() override { qApp->removeEventFilter(this); }

    int shown = 0;
    bool click_away = false;
    std::vector<QPointer<TWaitForm>> forms;
    bool hidden_before_loaded = false;
    const TLocateForm* locator = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* wait = qobject_cast<TWaitForm*>(watched);
        if (!wait)
            return false;
        if (event->type() == QEvent::Show) {
            ++shown;
            forms.emplace_back(wait);
            if (click_away) {
                // Delivered by the events the loader lets run.
                const QPointF at(10, 10);
                QCoreApplication::postEvent(wait,
                    new QMouseEvent(QEvent::MouseButtonPress, at, wait->mapToGlobal(at),
                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            }
        } else if (event->type() == QEvent::Hide && locator && locator->built_file().empty()) {
            hidden_before_loaded = true;
        }
        return false;
    }
};

class LocateFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
        wide = register_test_picture("wide.vtest", coordinate_picture(1000, 500));
        tall = register_test_picture("tall.vtest", coordinate_picture(300, 1000));
    }
    void TearDown() override { velmora::set_info_handler(previous_); }

    // Opens the form as the setup dialog does, without the modal loop.
    void open(const std::string& file, int value, bool mirror = false)
    {
        form.PictureFile = file;
        form.PixelsFromBottom = value;
        form.MirrorView = mirror;
        form.ShowUseBottom = true;
        form.show();
    }

    // A real click on the picture at view row y (after a move there).
    void click_row(int y)
    {
        QTest::mouseMove(form.Image1, QPoint(30, y));
        QTest::mouseClick(form.Image1, Qt::LeftButton, {}, QPoint(30, y));
    }

    // Drags the right knob by dy pixels in steps, with real mouse events.
    void drag_knob(int dy)
    {
        QTest::mousePress(form.Shape2, Qt::LeftButton, {}, QPoint(5, 5));
        const int steps = 4;
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(form.Shape2, QPoint(5, 5 + dy / steps));
        QTest::mouseRelease(form.Shape2, Qt::LeftButton, {}, QPoint(5, 5));
    }

    TLocateForm form;
    std::vector<std::string> messages;
    velmora::InfoHandler previous_;
    std::string wide;
    std::string tall;
};

// The view fills the panel's width less 40 unless the picture less 10 rows
// would then be higher than the panel; it is centred in the panel.
TEST_F(LocateFormTest, FitsThePictureIntoTheViewAndCentresIt)
{
    struct Case {
        int width, height;
        int view_width, view_height, left, top;
    };
    const Case cases[] = {
        { 1000, 500, 552, 270, 20, 44 }, // Round(490 x 552 / 1000) = Round(270.48)
        { 300, 1000, 95, 316, 249, 20 }, // 1822 rows would not fit: 316 high, Round(94.8) wide
        { 600, 8, 552, 1, 20, 178 }, // fewer than 10 rows still give a view
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const Bitmap picture = coordinate_picture(c.width, c.height);
        open(register_test_picture(std::to_string(c.width) + ".vtest", picture), 0);
        EXPECT_EQ(form.view_width(), c.view_width);
        EXPECT_EQ(form.view_height(), c.view_height);
        EXPECT_EQ(form.Image1->geometry(), QRect(c.left, c.top, c.view_width, c.view_height));
        EXPECT_EQ(form.view_scale(), static_cast<long double>(c.height) / c.view_height);
        EXPECT_EQ(form.picture_height(), c.height);
        Bitmap expected = picture;
        velmora::rescale_bitmap(expected, c.view_width, c.view_height);
        EXPECT_TRUE(form.view() == expected);
        form.close();
    }
}

TEST_F(LocateFormTest, ConvertsBetweenLinePositionsAndPictureValues)
{
    open(wide, 0); // V = 270, S = 500 / 270
    struct Line {
        int line;
        int value;
    };
    for (const Line c : { Line { 0, 500 }, Line { 270, 0 }, Line { 135, 250 }, Line { 46, 415 } })
        EXPECT_EQ(form.picture_value(c.line), c.value) << c.line;
    struct Value {
        int value;
        int line;
    };
    for (const Value c : { Value { 250, 135 }, Value { 500, 0 }, Value { 0, 270 }, Value { 1, 269 },
             Value { 503, -1 }, Value { -3, -1 } })
        EXPECT_EQ(form.line_position_for(c.value), c.line) << c.value;
}

TEST_F(LocateFormTest, OpeningWithoutALineShowsNoKnobsAndReturnsZero)
{
    open(wide, 0);
    EXPECT_TRUE(form.waiting_for_click());
    EXPECT_TRUE(form.Shape1->isHidden());
    EXPECT_TRUE(form.Shape2->isHidden());
    EXPECT_FALSE(form.ResetBut->isEnabled());
    EXPECT_EQ(form.status_text(), "Current Setting=0 pixels from bottom");
    EXPECT_EQ(form.InstructionLab->text().toStdString(),
        "Instruction: Click on image to Define water-edge line");
    EXPECT_EQ(form.windowTitle(), "wide.vtest");
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.PixelsFromBottom, 0);
}

TEST_F(LocateFormTest, OpeningWithALineFixesItWithRedKnobs)
{
    open(wide, 100); // line at Round(270 - 100 x 270 / 500) = 216
    EXPECT_FALSE(form.waiting_for_click());
    EXPECT_EQ(form.line_position(), 216);
    EXPECT_EQ(form.Bevel1->y(), 44 + 216);
    EXPECT_EQ(form.Shape1->geometry(), QRect(10, 44 + 216 - 5, 10, 10));
    EXPECT_EQ(form.Shape2->geometry(), QRect(572, 44 + 216 - 5, 10, 10));
    EXPECT_EQ(form.Shape1->fill(), QColor(Qt::red));
    EXPECT_TRUE(form.knobs_active());
    EXPECT_TRUE(form.ResetBut->isEnabled());
    EXPECT_EQ(form.status_text(), "Current Setting=100 pixels from bottom");
}

TEST_F(LocateFormTest, TheLineFollowsTheMouseAndAClickFixesOrClearsIt)
{
    open(wide, 0);
    QTest::mouseMove(form.Image1, QPoint(200, 50));
    EXPECT_EQ(form.Bevel1->y(), 44 + 46); // 4 pixels above the pointer
    EXPECT_EQ(form.status_text(), "Cursor Location:=415, New Setting=[NONE]");
    EXPECT_EQ(form.PixelsFromBottom, 0);

    QTest::mouseClick(form.Image1, Qt::LeftButton, {}, QPoint(200, 50));
    EXPECT_EQ(form.PixelsFromBottom, 415);
    EXPECT_EQ(form.status_text(), "Current value=415 pixels from bottom");
    EXPECT_TRUE(form.knobs_active());
    EXPECT_FALSE(form.Shape1->isHidden());
    QTest::mouseMove(form.Image1, QPoint(200, 150));
    EXPECT_EQ(form.Bevel1->y(), 44 + 46) << "a fixed line stays";

    QTest::mouseClick(form.Image1, Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_EQ(form.PixelsFromBottom, 0);
    EXPECT_FALSE(form.knobs_active());
    EXPECT_FALSE(form.Shape1->isHidden()) << "cleared knobs stay where they were";
    EXPECT_EQ(form.Shape2->fill(), QColor(Qt::white));
    EXPECT_FALSE(form.ResetBut->isEnabled());
    const QPoint white_knob = form.Shape2->pos();
    drag_knob(40);
    EXPECT_EQ(form.Shape2->pos(), white_knob) << "white knobs do not drag";
    QTest::mouseMove(form.Image1, QPoint(200, 160));
    EXPECT_EQ(form.Bevel1->y(), 44 + 156) << "the line follows the mouse again";
}

TEST_F(LocateFormTest, AClickOnTheTopRowGivesThePictureHeightAndClosingCapsIt)
{
    open(wide, 0);
    click_row(4); // line position 0
    EXPECT_EQ(form.line_position(), 0);
    EXPECT_EQ(form.PixelsFromBottom, 500);
    form.close();
    EXPECT_EQ(form.PixelsFromBottom, 498);
}

TEST_F(LocateFormTest, DraggingMovesLineAndKnobsWithinTheView)
{
    struct Case {
        int dy;
        int line;
        int value;
    };
    // From the line at 216 (value 100): far up stops on row 0, far down on
    // row V = 270 (value 0); a small drag moves by exactly that much.
    const Case cases[] = { { -800, 0, 500 }, { 800, 270, 0 }, { -20, 196, 137 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dy);
        open(wide, 100);
        drag_knob(c.dy);
        EXPECT_FALSE(form.dragging());
        EXPECT_EQ(form.line_position(), c.line);
        EXPECT_EQ(form.Bevel1->y(), 44 + c.line);
        EXPECT_EQ(form.Shape1->y(), 44 + c.line - 5);
        EXPECT_EQ(form.Shape2->y(), 44 + c.line - 5);
        EXPECT_EQ(form.PixelsFromBottom, c.value);
        EXPECT_EQ(
            form.status_text(), "Current value=" + std::to_string(c.value) + " pixels from bottom");
        form.close();
    }
}

TEST_F(LocateFormTest, ResetClearsTheLineAndUnchecksTheHiddenBox)
{
    form.PictureFile = wide;
    form.PixelsFromBottom = 100;
    form.ShowUseBottom = false; // as for an overlay's footing
    form.UseBottom = true;
    form.show();
    EXPECT_TRUE(form.UseBottomCBox->isHidden());
    EXPECT_TRUE(form.UseBottomCBox->isChecked());
    QTest::mouseClick(form.ResetBut, Qt::LeftButton);
    EXPECT_EQ(form.PixelsFromBottom, 0);
    EXPECT_FALSE(form.UseBottom);
    EXPECT_FALSE(form.UseBottomCBox->isChecked());
    EXPECT_TRUE(form.Shape1->isHidden());
    EXPECT_TRUE(form.waiting_for_click());
    EXPECT_FALSE(form.ResetBut->isEnabled());
    EXPECT_EQ(form.Bevel1->y(), form.Panel1->height());
}

TEST_F(LocateFormTest, TheCheckBoxReturnsItsState)
{
    open(wide, 0);
    EXPECT_TRUE(form.UseBottomCBox->isVisible());
    QTest::mouseClick(form.UseBottomCBox, Qt::LeftButton);
    EXPECT_TRUE(form.UseBottom);
    QTest::mouseClick(form.UseBottomCBox, Qt::LeftButton);
    EXPECT_FALSE(form.UseBottom);
}

TEST_F(LocateFormTest, ReopeningTheSameFileReusesTheViewAndFollowsMirrorView)
{
    WaitWatcher waits;
    const Bitmap& view = form.view();
    // Red tells the picture's column; mirrored, column 0 shows the last one.
    const auto left_red = [&] { return velmora::color_red(view.pixel(0, 0)); };
    Bitmap scaled = coordinate_picture(1000, 500);
    velmora::rescale_bitmap(scaled, 552, 270);
    const int mirrored_red = velmora::color_red(scaled.pixel(551, 0));

    struct Opening {
        const std::string* file;
        bool mirror;
        int loads; // progress windows shown so far
        bool mirrored;
    };
    const Opening openings[] = {
        { &wide, false, 1, false },
        { &wide, true, 1, true }, // the same view, mirrored once more
        { &wide, false, 1, false }, // and back the right way round
        { &wide, true, 1, true },
        { &tall, false, 2, false }, // a new picture is never mirrored without MirrorView
        { &tall, false, 2, false },
    };
    int index = 0;
    for (const Opening& o : openings) {
        SCOPED_TRACE(index++);
        open(*o.file, 0, o.mirror);
        EXPECT_EQ(waits.shown, o.loads);
        EXPECT_EQ(form.mirrored(), o.mirrored);
        if (o.file == &wide)
            EXPECT_EQ(left_red(), o.mirrored ? mirrored_red : 0);
        else
            EXPECT_EQ(left_red(), 0);
        EXPECT_EQ(form.Bevel1->y(), form.Panel1->height()) << "the line starts out of sight";
        QTest::mouseClick(form.CloseBut, Qt::LeftButton);
        EXPECT_FALSE(form.MirrorView) << "cleared at every closing";
        EXPECT_FALSE(form.Panel1->isVisible());
    }
    for (const auto& wait : waits.forms)
        EXPECT_TRUE(wait.isNull()) << "each progress window is gone after its load";
}

TEST_F(LocateFormTest, AValueAtOrAboveThePictureHeightIsCutWhenItLoads)
{
    open(wide, 500);
    EXPECT_EQ(form.PixelsFromBottom, 498);
    EXPECT_EQ(form.line_position(), 1); // Round(270 - 498 x 270 / 500) = Round(1.08)
}

// A picture that cannot be loaded: one message, the window never shows,
// the modal showing ends by itself and nothing the caller gave changes.
TEST_F(LocateFormTest, AFailedLoadReportsOnceAndLeavesEverything)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path()
        / ("velmora-locate-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(folder);
    const std::string damaged = (folder / "damaged.jpg").string();
    std::ofstream(damaged) << "not a picture at all";
    const std::string missing = (folder / "missing.jpg").string();

    open(wide, 0);
    form.move(150, 90);
    click_row(100);
    form.close();
    const int kept_value = form.PixelsFromBottom;

    for (const std::string& file : { missing, damaged }) {
        SCOPED_TRACE(file);
        messages.clear();
        form.PictureFile = file;
        form.PixelsFromBottom = 9000; // above every height: left as it came
        form.UseBottom = true;
        form.MirrorView = true;
        bool ever_on_screen = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout,
            [&] { ever_on_screen |= form.windowHandle() && form.windowHandle()->isVisible(); });
        probe.start(5);
        QTimer::singleShot(5000, &form, [&] { form.reject(); }); // only if it hangs
        form.exec();
        probe.stop();
        EXPECT_EQ(messages, std::vector<std::string> { "Error Loading Image " + file + "!" });
        EXPECT_FALSE(ever_on_screen);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.PixelsFromBottom, 9000);
        EXPECT_TRUE(form.UseBottom);
        EXPECT_FALSE(form.MirrorView);
        EXPECT_FALSE(form.load_failed());
        EXPECT_FALSE(form.activated());
        EXPECT_EQ(form.built_file(), wide);
        EXPECT_EQ(form.picture_height(), 500);
        EXPECT_EQ(form.view_height(), 270);
        EXPECT_LT(form.y(), -1000) << "moved out of the screen";
    }

    // The previous picture opens again from the kept view, centred.
    WaitWatcher waits;
    messages.clear();
    open(wide, kept_value);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(waits.shown, 0);
    EXPECT_TRUE(form.Panel1->isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto half = [](int d) {
        return static_cast<int>(velmora::round_half_even(static_cast<long double>(d) * 0.5L));
    };
    EXPECT_EQ(form.pos(),
        QPoint(half(screen.width() - form.frameGeometry().width()),
            half(screen.height() - form.frameGeometry().height())));
    EXPECT_EQ(form.PixelsFromBottom, kept_value);
    form.close();
    std::filesystem::remove_all(folder);
}

TEST_F(LocateFormTest, AProgressWindowClickedAwayLetsTheLoadGoOn)
{
    WaitWatcher waits;
    waits.click_away = true;
    waits.locator = &form;
    open(wide, 0);
    EXPECT_EQ(waits.shown, 1);
    EXPECT_TRUE(waits.hidden_before_loaded);
    EXPECT_EQ(form.built_file(), wide);
    EXPECT_EQ(form.view_height(), 270);
    ASSERT_EQ(waits.forms.size(), 1U);
    EXPECT_TRUE(waits.forms.front().isNull());
}

} // namespace
