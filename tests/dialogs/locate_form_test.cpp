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
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using velmora::Bitmap;
using velmora::test::coordinate_picture;
using velmora::test::register_test_picture;

// Counts the progress windows shown during loads; can click each away the
// moment it shows (the loader's pending events deliver the click).
class WaitWatcher : public QObject {
public:
    explicit WaitWatcher(bool click_away = false)
        : click_away_(click_away)
    {
        qApp->installEventFilter(this);
    }
    ~WaitWatcher() override { qApp->removeEventFilter(this); }
    std::vector<QPointer<TWaitForm>> shown;
    std::vector<QPointer<TWaitForm>> hidden;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* wait = qobject_cast<TWaitForm*>(watched);
        if (wait && event->type() == QEvent::Show) {
            shown.emplace_back(wait);
            if (click_away_)
                QCoreApplication::postEvent(wait,
                    new QMouseEvent(QEvent::MouseButtonPress, QPointF(9, 9),
                        wait->mapToGlobal(QPointF(9, 9)), Qt::LeftButton, Qt::LeftButton, {}));
        } else if (wait && event->type() == QEvent::Hide) {
            hidden.emplace_back(wait);
        }
        return false;
    }

private:
    bool click_away_;
};

class LocateFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_
            = velmora::set_info_handler([this](const std::string& t) { messages.push_back(t); });
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
    void click_row(int y)
    {
        QTest::mouseMove(form.Image1, QPoint(30, y));
        QTest::mouseClick(form.Image1, Qt::LeftButton, {}, QPoint(30, y));
    }
    // Drags the right knob by dy pixels in four real mouse moves.
    void drag_knob(int dy)
    {
        QTest::mousePress(form.Shape2, Qt::LeftButton, {}, QPoint(5, 5));
        for (int i = 0; i < 4; ++i)
            QTest::mouseMove(form.Shape2, QPoint(5, 5 + dy / 4));
        QTest::mouseRelease(form.Shape2, Qt::LeftButton, {}, QPoint(5, 5));
    }
    // The line and both knobs sit at view row `line` (view top 44).
    void expect_line_at(int line)
    {
        EXPECT_EQ(form.line_position(), line);
        EXPECT_EQ(form.Bevel1->y(), 44 + line);
        EXPECT_EQ(form.Shape1->geometry(), QRect(10, 44 + line - 5, 10, 10));
        EXPECT_EQ(form.Shape2->geometry(), QRect(572, 44 + line - 5, 10, 10));
    }

    TLocateForm form;
    std::vector<std::string> messages;
    velmora::InfoHandler previous_;
    const std::string wide = register_test_picture("wide.vtest", coordinate_picture(1000, 500));
    const std::string tall = register_test_picture("tall.vtest", coordinate_picture(300, 1000));
};

// The view is the panel's width less 40, unless the picture less 10 rows
// would then be higher than the panel: then 40 less than the panel's height.
TEST_F(LocateFormTest, FitsThePictureIntoTheViewAndCentresIt)
{
    struct Case {
        int width, height, view_width, view_height, left, top;
    };
    for (const Case c : { Case { 1000, 500, 552, 270, 20, 44 }, // Round(270.48)
             Case { 300, 1000, 95, 316, 249, 20 }, // 1822 would not fit; Round(94.8)
             Case { 600, 8, 552, 1, 20, 178 } }) { // a few rows still give a view
        const Bitmap picture = coordinate_picture(c.width, c.height);
        open(register_test_picture(std::to_string(c.width) + ".vtest", picture), 0);
        EXPECT_EQ(form.Image1->geometry(), QRect(c.left, c.top, c.view_width, c.view_height));
        EXPECT_EQ(form.view_scale(), static_cast<long double>(c.height) / c.view_height);
        Bitmap expected = picture;
        velmora::rescale_bitmap(expected, c.view_width, c.view_height);
        EXPECT_TRUE(form.view() == expected) << c.width;
        form.close();
    }
}

TEST_F(LocateFormTest, ConvertsBetweenLinePositionsAndPictureValues)
{
    open(wide, 0); // V = 270, S = 500 / 270
    for (const auto& [line, value] :
        { std::pair { 0, 500 }, { 270, 0 }, { 135, 250 }, { 46, 415 } })
        EXPECT_EQ(form.picture_value(line), value) << line;
    // Lines off the view (Round(-0.54), Round(270.54)) give -1.
    for (const auto& [value, line] :
        { std::pair { 250, 135 }, { 1, 269 }, { 501, -1 }, { -1, -1 } })
        EXPECT_EQ(form.line_position_for(value), line) << value;
}

TEST_F(LocateFormTest, OpensWaitingWithoutALineAndFixedWithOne)
{
    open(wide, 0);
    EXPECT_TRUE(form.waiting_for_click());
    EXPECT_TRUE(form.Shape1->isHidden() && form.Shape2->isHidden());
    EXPECT_FALSE(form.ResetBut->isEnabled());
    EXPECT_EQ(form.status_text(), "Current Setting=0 pixels from bottom");
    EXPECT_EQ(form.InstructionLab->text(), "Instruction: Click on image to Define water-edge line");
    EXPECT_EQ(form.windowTitle(), "wide.vtest");
    QTest::mouseClick(form.CloseBut, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.PixelsFromBottom, 0);

    open(wide, 100);
    EXPECT_FALSE(form.waiting_for_click());
    expect_line_at(216); // Round(270 - 100 x 270 / 500)
    EXPECT_TRUE(form.knobs_active());
    EXPECT_EQ(form.Shape1->fill(), QColor(Qt::red));
    EXPECT_TRUE(form.ResetBut->isEnabled());
    EXPECT_EQ(form.status_text(), "Current Setting=100 pixels from bottom");
}

TEST_F(LocateFormTest, TheLineFollowsTheMouseAndAClickFixesOrClearsIt)
{
    open(wide, 0);
    QTest::mouseMove(form.Image1, QPoint(200, 50));
    EXPECT_EQ(form.Bevel1->y(), 44 + 46); // 4 pixels above the pointer
    EXPECT_EQ(form.status_text(), "Cursor Location:=415, New Setting=[NONE]");
    QTest::mouseClick(form.Image1, Qt::LeftButton, {}, QPoint(200, 50));
    EXPECT_EQ(form.PixelsFromBottom, 415);
    EXPECT_EQ(form.status_text(), "Current value=415 pixels from bottom");
    expect_line_at(46);
    QTest::mouseMove(form.Image1, QPoint(200, 150));
    EXPECT_EQ(form.Bevel1->y(), 44 + 46) << "a fixed line stays";

    QTest::mouseClick(form.Image1, Qt::RightButton, {}, QPoint(200, 150));
    EXPECT_EQ(form.PixelsFromBottom, 0);
    EXPECT_FALSE(form.knobs_active());
    EXPECT_TRUE(form.Shape2->isVisible()) << "cleared knobs stay where they were";
    EXPECT_EQ(form.Shape2->fill(), QColor(Qt::white));
    EXPECT_FALSE(form.ResetBut->isEnabled());
    drag_knob(40);
    EXPECT_EQ(form.Shape2->y(), 44 + 46 - 5) << "white knobs do not drag";
    QTest::mouseMove(form.Image1, QPoint(200, 160));
    EXPECT_EQ(form.Bevel1->y(), 44 + 156) << "the line follows the mouse again";
}

// A line on the view's top row is the full picture height; two rows less
// are kept, when the picture loads and when the dialog closes.
TEST_F(LocateFormTest, ValuesAtThePictureTopAreCutToTwoRowsBelowIt)
{
    open(wide, 0);
    click_row(4);
    EXPECT_EQ(form.line_position(), 0);
    EXPECT_EQ(form.PixelsFromBottom, 500);
    form.close();
    EXPECT_EQ(form.PixelsFromBottom, 498);

    open(tall, 1000);
    EXPECT_EQ(form.PixelsFromBottom, 998);
}

TEST_F(LocateFormTest, DraggingAKnobMovesLineAndKnobsWithinTheView)
{
    // From row 216 (value 100): far up stops on row 0, far down on row 270.
    for (const auto& [dy, line, value] :
        { std::tuple { -800, 0, 500 }, { 800, 270, 0 }, { -20, 196, 137 } }) {
        open(wide, 100);
        drag_knob(dy);
        EXPECT_FALSE(form.dragging());
        expect_line_at(line);
        EXPECT_EQ(form.PixelsFromBottom, value) << dy;
        EXPECT_EQ(
            form.status_text(), "Current value=" + std::to_string(value) + " pixels from bottom");
        form.close();
    }
}

TEST_F(LocateFormTest, ResetClearsTheLineAndUnchecksTheHiddenBox)
{
    open(wide, 100);
    form.close();
    form.ShowUseBottom = false; // as for an overlay's footing
    form.UseBottom = true;
    form.show();
    EXPECT_TRUE(form.UseBottomCBox->isHidden());
    QTest::mouseClick(form.ResetBut, Qt::LeftButton);
    EXPECT_EQ(form.PixelsFromBottom, 0);
    EXPECT_EQ(form.status_text(), "Current value=0 pixels from bottom");
    EXPECT_FALSE(form.UseBottom);
    EXPECT_FALSE(form.UseBottomCBox->isChecked());
    EXPECT_TRUE(form.Shape1->isHidden());
    EXPECT_TRUE(form.waiting_for_click());
    EXPECT_FALSE(form.ResetBut->isEnabled());
    EXPECT_EQ(form.Bevel1->y(), form.Panel1->height()) << "out of sight";
}

TEST_F(LocateFormTest, ReopeningTheSameFileReusesTheViewAndFollowsMirrorView)
{
    WaitWatcher waits;
    Bitmap scaled = coordinate_picture(1000, 500);
    velmora::rescale_bitmap(scaled, 552, 270);
    const Bitmap mirrored = velmora::flip_reverse_copy(false, true, scaled);
    struct Opening {
        std::string file;
        bool mirror;
        std::size_t loads; // progress windows so far
        bool mirrored;
    };
    // The overlay's picture opened mirrored, then another picture twice.
    for (const Opening& o :
        { Opening { wide, false, 1, false }, { wide, true, 1, true }, { wide, false, 1, false },
            { wide, true, 1, true }, { tall, false, 2, false }, { tall, false, 2, false } }) {
        open(o.file, 0, o.mirror);
        EXPECT_EQ(waits.shown.size(), o.loads);
        EXPECT_EQ(form.mirrored(), o.mirrored);
        if (o.file == wide)
            EXPECT_TRUE(form.view() == (o.mirrored ? mirrored : scaled));
        else
            EXPECT_EQ(velmora::color_red(form.view().pixel(0, 0)), 0);
        EXPECT_EQ(form.Bevel1->y(), form.Panel1->height()) << "the line starts out of sight";
        QTest::mouseClick(form.CloseBut, Qt::LeftButton);
        EXPECT_FALSE(form.MirrorView) << "cleared at every closing";
        EXPECT_FALSE(form.Panel1->isVisible());
    }
    for (const auto& wait : waits.shown)
        EXPECT_TRUE(wait.isNull()) << "each progress window is gone after its load";
}

// A picture that cannot be loaded: one message, the window never shows,
// the modal showing ends by itself and nothing the caller gave changes.
TEST_F(LocateFormTest, AFailedLoadReportsOnceAndLeavesEverything)
{
    const auto folder = std::filesystem::temp_directory_path()
        / ("velmora-locate-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(folder);
    const std::string damaged = (folder / "damaged.jpg").string();
    std::ofstream(damaged) << "not a picture at all";
    open(wide, 100);
    form.close();

    for (const std::string& file : { (folder / "missing.jpg").string(), damaged }) {
        messages.clear();
        form.PictureFile = file;
        form.PixelsFromBottom = 9000; // left as it came, not cut
        form.UseBottom = form.MirrorView = true;
        bool on_screen = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout,
            [&] { on_screen |= form.windowHandle() && form.windowHandle()->isVisible(); });
        probe.start(5);
        QTimer::singleShot(5000, &form, [&] { form.reject(); }); // only if it hangs
        form.exec();
        EXPECT_EQ(messages, std::vector<std::string> { "Error Loading Image " + file + "!" });
        EXPECT_FALSE(on_screen);
        EXPECT_EQ(form.PixelsFromBottom, 9000);
        EXPECT_TRUE(form.UseBottom);
        EXPECT_FALSE(form.MirrorView || form.load_failed() || form.activated());
        EXPECT_EQ(form.built_file(), wide);
        EXPECT_EQ(form.picture_height(), 500);
        EXPECT_LT(form.y(), -1000) << "moved out of the screen";
    }

    // The previous picture opens again from its kept view, centred.
    WaitWatcher waits;
    messages.clear();
    open(wide, 100);
    EXPECT_TRUE(messages.empty() && waits.shown.empty());
    expect_line_at(216);
    const QSize room
        = QGuiApplication::primaryScreen()->geometry().size() - form.frameGeometry().size();
    const auto half = [](int d) { return static_cast<int>(velmora::round_half_even(d * 0.5L)); };
    EXPECT_EQ(form.pos(), QPoint(half(room.width()), half(room.height())));
    std::filesystem::remove_all(folder);
}

TEST_F(LocateFormTest, AProgressWindowClickedAwayLetsTheLoadGoOn)
{
    WaitWatcher waits(true);
    open(wide, 0);
    ASSERT_EQ(waits.shown.size(), 1U);
    EXPECT_GE(waits.hidden.size(), 1U);
    EXPECT_EQ(form.built_file(), wide);
    EXPECT_EQ(form.view_height(), 270);
    EXPECT_TRUE(waits.shown.front().isNull()) << "destroyed when the load ended";
}

} // namespace
