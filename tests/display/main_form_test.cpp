#include "base/show_info.h"
#include "display/bitmap_view.h"
#include "display/main_form.h"
#include "gif/gif_image.h"
#include "platform/run_mode.h"
#include "platform/saver_password.h"
#include "platform/screensaver_state.h"
#include "scene/test_pictures.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using velmora::Bitmap;
using velmora::Settings;
using velmora::test::coordinate_picture;
using velmora::test::register_test_picture;

Settings defaults()
{
    Settings s = velmora::default_settings();
    s.SelectedImageIndex = -1;
    s.TestRun = true; // the form works on the record and never reads a file
    return s;
}

// Frame k (1-based) of the form's strip, as Image2 should show it.
Bitmap frame(const TMainForm& form, int k)
{
    const Bitmap& area = form.scene().area;
    Bitmap expected(area.width(), area.height());
    velmora::draw_rect(expected, 0, 0, form.frames().strip, (k - 1) * area.width(), 0, area.width(),
        area.height());
    return expected;
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmora::settings() = defaults();
        velmora::run_mode = velmora::kConfigure; // as the setup dialog's Test button
        previous_info_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
        lake = register_test_picture("lake.vtest", coordinate_picture(1024, 768));
        velmora::settings().ImageFileName = lake;
        config_dir_ = std::filesystem::temp_directory_path()
            / ("velmora-display-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(config_dir_);
        ::setenv("XDG_CONFIG_HOME", config_dir_.c_str(), 1);
        velmora::SaverPassword::remove();
    }

    void TearDown() override
    {
        velmora::SaverPassword::set_prompt({});
        velmora::SaverPassword::remove();
        velmora::set_info_handler(previous_info_);
        form.reset();
        std::filesystem::remove_all(config_dir_);
    }

    // Creates the form and runs its first activation.
    TMainForm& start()
    {
        form = std::make_unique<TMainForm>();
        form->FormActivate();
        return *form;
    }

    std::unique_ptr<TMainForm> form;
    std::vector<std::string> messages;
    std::string lake; // a 1024 x 768 picture

private:
    velmora::InfoHandler previous_info_;
    std::filesystem::path config_dir_;
};

TEST_F(MainFormTest, FirstActivationShowsTheSceneCentredOnABlackScreen)
{
    TMainForm& f = start();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(f.geometry(), screen);
    EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.Panel1->isVisible());
    EXPECT_EQ(f.Image1->size(), QSize(356, 267));
    EXPECT_EQ(f.Image2->geometry(), QRect(0, 267, 356, 214));
    const auto centred = [](int free) { return static_cast<int>(std::nearbyint(free * 0.5)); };
    EXPECT_EQ(f.Panel1->geometry(),
        QRect(centred(screen.width() - 356), centred(screen.height() - 481), 356, 481));
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 70);
    EXPECT_FALSE(f.Timer2->isActive());
    EXPECT_EQ(f.FramesBuilt(), 12);
    EXPECT_EQ(f.scene().area, frame(f, 1));
    EXPECT_EQ(f.StatusLab->text().toStdString(), TMainForm::status_banner());
    EXPECT_EQ(TMainForm::status_banner(), std::string("Velmora ") + VELMORA_VERSION);
    EXPECT_TRUE(screensaver_running());
    EXPECT_TRUE(messages.empty());
    f.close();
    EXPECT_FALSE(screensaver_running());
}

TEST_F(MainFormTest, FramesFollowInOrderAndWrapAround)
{
    velmora::settings().NumberOfReflectedImages = 4;
    TMainForm& f = start();
    ASSERT_EQ(f.FramesBuilt(), 4);
    for (int k : { 1, 2, 3, 4, 1, 2 }) {
        EXPECT_EQ(f.CurrentFrame, k);
        f.Timer1Timer();
        EXPECT_EQ(f.scene().area, frame(f, k)) << k;
        EXPECT_TRUE(f.Timer1->isActive());
    }
    // The frames really differ, or the order above proves nothing.
    EXPECT_NE(frame(f, 1), frame(f, 2));

    // Without frames nothing is copied and the count stays at 1.
    TMainForm empty;
    empty.Timer1Timer();
    empty.Timer1Timer();
    EXPECT_EQ(empty.CurrentFrame, 1);
    EXPECT_TRUE(empty.scene().area.empty());
}

TEST_F(MainFormTest, AtTheEndOfACycleTheStatusLineSometimesChanges)
{
    // Without frames every tick ends a cycle. About 39 ticks in 100 show a
    // line; a third of those the banner, the rest the tip.
    const QString banner = QString::fromStdString(TMainForm::status_banner());
    const QString tip = QStringLiteral("Use Setup (\"velmora /c\" or Velmora in the settings "
                                       "menu) to load other images and configurations...");
    TMainForm f;
    constexpr int kTicks = 4000;
    int banners = 0;
    int tips = 0;
    for (int i = 0; i < kTicks; ++i) {
        f.StatusLab->clear();
        f.Timer1Timer();
        const QString line = f.StatusLab->text();
        banners += line == banner;
        tips += line == tip;
        ASSERT_TRUE(line.isEmpty() || line == banner || line == tip) << line.toStdString();
    }
    const double shown = static_cast<double>(banners + tips) / kTicks;
    EXPECT_NEAR(shown, 0.39, 0.04);
    EXPECT_NEAR(static_cast<double>(banners) / (banners + tips), 1.0 / 3, 0.06);
}

TEST_F(MainFormTest, MouseMustMoveOnBothAxesToEndTheSaver)
{
    TMainForm& f = start();
    f.FormMouseMove(100, 100); // the first move only records the point
    EXPECT_FALSE(f.Closing);
    f.FormMouseMove(110, 100); // 10 pixels straight right
    f.FormMouseMove(100, 110); // and straight down
    EXPECT_FALSE(f.Closing);
    f.FormMouseMove(101, 101); // small moves add up against the recorded point
    f.FormMouseMove(102, 102);
    EXPECT_FALSE(f.Closing);
    f.FormMouseMove(103, 103);
    EXPECT_TRUE(f.Closing);
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.Timer1->isActive());
}

TEST_F(MainFormTest, KeysInSingleImageMode)
{
    TMainForm& f = start();
    f.FormKeyDown(Qt::Key_F8);
    EXPECT_FALSE(f.Closing);
    f.FormKeyDown(Qt::Key_PageUp);
    EXPECT_TRUE(f.Closing);

    start().FormMouseDown();
    EXPECT_TRUE(form->Closing);
}

class SlideShowTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        Settings& s = velmora::settings();
        s.MultipleMode = true;
        s.NumMultipleImages = 3;
        // Widths tell the pictures apart on the screen: 178, 267 and 356.
        for (int k = 1; k <= 3; ++k) {
            s.Images.push_back({ register_test_picture("slide" + std::to_string(k) + ".vtest",
                                     coordinate_picture(100 + 100 * k, 300)),
                0, false });
        }
    }

    static int shown(const TMainForm& f) { return f.Image1->width(); }
};

TEST_F(SlideShowTest, PageUpGoesBackAndTheShowFollows)
{
    TMainForm& f = start();
    ASSERT_EQ(f.CurrentImageIndex, 1);
    const int first = shown(f);
    EXPECT_TRUE(f.Timer2->isActive());
    EXPECT_EQ(f.Timer2->interval(), 10000);

    f.FormKeyDown(Qt::Key_PageUp);
    EXPECT_EQ(f.CurrentImageIndex, 3);
    const int third = shown(f);
    EXPECT_NE(third, first);
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_TRUE(f.Timer2->isActive());
    EXPECT_TRUE(f.Panel1->isVisible());

    std::vector<int> order;
    for (int i = 0; i < 3; ++i) {
        f.Timer2Timer();
        order.push_back(f.CurrentImageIndex);
    }
    EXPECT_EQ(order, (std::vector<int> { 2, 1, 3 }));
    EXPECT_EQ(shown(f), third);

    f.FormKeyDown(Qt::Key_PageDown);
    EXPECT_EQ(f.CurrentImageIndex, 1);
    EXPECT_EQ(shown(f), first);
    f.Timer2Timer();
    EXPECT_EQ(f.CurrentImageIndex, 2);
    EXPECT_FALSE(f.Closing);
}

TEST_F(SlideShowTest, StartsAtTheSelectedPictureAndEveryOtherKeyCloses)
{
    velmora::settings().SelectedImageIndex = 2;
    TMainForm& f = start();
    EXPECT_EQ(f.CurrentImageIndex, 2);
    EXPECT_EQ(f.CurrentFileName, velmora::settings().Images[1].ImageNumber);
    f.FormKeyDown(Qt::Key_F12);
    EXPECT_TRUE(f.Closing);
    start().FormKeyDown(Qt::Key_F8);
    EXPECT_TRUE(form->Closing);
}

TEST_F(SlideShowTest, APictureThatFailsDoesNotStopTheShow)
{
    velmora::settings().Images[1].ImageNumber = "/nowhere/missing.vtest";
    TMainForm& f = start();
    const int first = shown(f);
    f.Timer2Timer();
    EXPECT_EQ(f.CurrentImageIndex, 2);
    EXPECT_TRUE(f.BuildFailed);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error loading image \"/nowhere/missing.vtest\"!");
    EXPECT_EQ(shown(f), first) << "the previous scene stays";
    EXPECT_TRUE(f.Timer2->isActive());
    f.Timer2Timer();
    EXPECT_EQ(f.CurrentImageIndex, 3);
    EXPECT_FALSE(f.BuildFailed);
}

// Fitted to the screen, every picture of the show leaves the status line
// below it free to read.
TEST_F(SlideShowTest, FittedToTheScreenTheShowKeepsTheStatusLineFree)
{
    velmora::settings().ImageResCode = velmora::kFitScreenResCode;
    TMainForm& f = start();
    for (int k = 1; k <= 3; ++k) {
        ASSERT_EQ(f.CurrentImageIndex, k);
        EXPECT_GE(f.Panel1->y(), 0);
        EXPECT_LT(f.Panel1->geometry().bottom(), f.StatusLab->y()) << k;
        EXPECT_EQ(f.StatusLab->geometry().bottom(), f.height() - 1);
        f.Timer2Timer();
    }
}

TEST_F(SlideShowTest, DisabledReflectionKeepsTheAnimationOff)
{
    velmora::settings().DisableReflection = true;
    TMainForm& f = start();
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.Panel1->height(), f.Image1->height());
    f.Timer2Timer();
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_TRUE(f.Timer2->isActive());
}

TEST_F(MainFormTest, AnEightBitDisplayGetsAMessageAndNoScene)
{
    form = std::make_unique<TMainForm>();
    form->set_color_depth_source([] { return 8; });
    form->FormActivate();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Display setting must be at least 16-bit color for this ScreenSaver!");
    EXPECT_TRUE(form->FirstActivation);
    EXPECT_FALSE(form->Panel1->isVisible());
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->scene().picture.empty());
    // The check repeats at the next activation.
    form->set_color_depth_source([] { return 16; });
    form->FormActivate();
    EXPECT_FALSE(form->FirstActivation);
    EXPECT_EQ(form->FramesBuilt(), 12);
}

TEST_F(MainFormTest, PicturesThatCannotBeShownLeaveTheScreenBlack)
{
    Settings& s = velmora::settings();
    s.ImageFileName = " ";
    start();
    s.ShiftHorizon = true;
    s.ShiftPixels = 768;
    s.ImageFileName = lake;
    start();
    EXPECT_EQ(messages,
        (std::vector<std::string> {
            "No Image selected. Please use \"Configure\" to enter image name.",
            "Water Edge defined too high! No image generated." }));
    EXPECT_TRUE(form->BuildFailed);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->Panel1->isVisible());
}

TEST_F(MainFormTest, ASaverRunReadsTheSettingsFile)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path()
        / ("velmora-display-ini-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    velmora::override_program_file_name((dir / "velmora").string());
    velmora::settings().TestRun = false;
    std::ofstream(dir / "velmora.INI")
        << "[Setup]\nImageFileName=" << lake << "\nNumberOfReflectedImages=5\nDelayTimeMS=90\n";
    TMainForm& f = start();
    EXPECT_EQ(f.FramesBuilt(), 5);
    EXPECT_EQ(f.Timer1->interval(), 90);

    // A value that is no number stops the reading: the screen stays black.
    std::ofstream(dir / "velmora.INI")
        << "[Setup]\nImageFileName=" << lake << "\nDelayTimeMS=fast\n";
    start();
    EXPECT_EQ(messages, std::vector<std::string> { "'fast' is not a valid integer value" });
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->scene().picture.empty());
    velmora::override_program_file_name("");
    std::filesystem::remove_all(dir);
}

TEST_F(MainFormTest, OutOfRangeSettingsAreClampedByTheDisplay)
{
    Settings& s = velmora::settings();
    s.DelayTimeMS = 0;
    s.MultDelayTime = 2000000000;
    s.NumberOfReflectedImages = 1000;
    s.ImageResCode = 7;
    s.ReflectionHeightPercent = -3;
    s.BrightnessLevel = 100000;
    s.WaveFactor1 = 0;
    s.OverlayZoomFactor = 100000;
    s.Overlay = true;
    s.OverlayFileName = lake;
    s.XOffSet = 2147483647;
    s.OverlayShiftPixels = -5;
    TMainForm& f = start();
    // Only values that would fault are moved: no interval of no time, no
    // milliseconds beyond 32 bits, no negative reflection height.
    EXPECT_EQ(f.Timer1->interval(), 1);
    EXPECT_EQ(f.Timer2->interval(), 2147483 * 1000);
    EXPECT_EQ(f.FrameCount, 15);
    EXPECT_EQ(f.FramesBuilt(), 15);
    EXPECT_EQ(f.Image1->width(), 800); // large size without reflection rows
    EXPECT_EQ(s.DelayTimeMS, 0) << "the record stays as read";
    f.Timer1Timer();
    EXPECT_EQ(f.CurrentFrame, 2);
}

TEST_F(MainFormTest, OverlayColourIsMeasuredOnTheForm)
{
    Settings& s = velmora::settings();
    Bitmap boat(40, 20);
    boat.fill(velmora::make_color(0, 128, 255));
    boat.fill_rect(10, 10, 30, 19, velmora::make_color(200, 30, 30));
    const std::string boat_file = register_test_picture("boat.vtest", boat);
    s.Overlay = true;
    s.OverlayFileName = boat_file;
    s.XOffSet = 300;
    s.YOffSet = 200;
    TMainForm& f = start();
    EXPECT_FALSE(f.OverlayFailed);
    EXPECT_EQ(s.OverlayXparentColor, velmora::make_color(0, 128, 255));
    EXPECT_EQ(s.Overlay24BitXparentColor, velmora::make_color(0, 128, 255));
    ASSERT_TRUE(f.overlay().bitmap);
    // The hull stands on the picture; the probe pixel is black again.
    const int x = f.overlay().x + f.overlay().bitmap->width() / 2;
    const int y = f.overlay().y + f.overlay().bitmap->height() * 3 / 4;
    EXPECT_EQ(f.scene().picture.pixel(x, y), velmora::make_color(200, 30, 30));
    const QImage corner = f.grab(QRect(f.width() - 1, 0, 1, 2)).toImage();
    EXPECT_EQ(corner.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(corner.pixel(0, 1), qRgb(0, 0, 0));
}

// Closes the form after the given number of event-loop passes, wherever the
// build has got to by then.
TEST_F(MainFormTest, ClosingInTheMiddleOfABuildStopsIt)
{
    Settings& s = velmora::settings();
    Bitmap boat(40, 20);
    boat.fill(velmora::make_color(0, 128, 255));
    const std::string boat_file = register_test_picture("boat.vtest", boat);
    s.Overlay = true;
    s.OverlayFileName = boat_file;
    s.YOffSet = 700;
    bool stopped_among_frames = false;
    for (int passes = 1; passes <= 40; ++passes) {
        form = std::make_unique<TMainForm>();
        int seen = 0;
        QTimer ticker;
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (++seen == passes)
                form->FormKeyDown(Qt::Key_Escape);
        });
        ticker.start();
        form->FormActivate();
        ticker.stop();
        if (seen < passes)
            break; // the build ended before the close came
        EXPECT_TRUE(form->Closing) << passes;
        EXPECT_FALSE(form->isVisible()) << passes;
        EXPECT_FALSE(form->Timer1->isActive()) << passes;
        EXPECT_LT(form->FramesBuilt(), 12);
        stopped_among_frames |= form->FramesBuilt() > 0;
        // Frames that were built stay usable until the form goes.
        EXPECT_GE(form->frames().strip.width(), form->FramesBuilt() * form->scene().area.width());
        form->Timer1Timer();
        form.reset();
    }
    EXPECT_TRUE(stopped_among_frames);
}

TEST_F(MainFormTest, TestRunClosesWithoutAskingForThePassword)
{
    velmora::SaverPassword::set("secret");
    int prompts = 0;
    velmora::SaverPassword::set_prompt([&](QWidget*) -> std::optional<std::string> {
        ++prompts;
        return std::nullopt;
    });
    TMainForm& f = start();
    velmora::run_mode = velmora::kRun;
    f.FormKeyDown(Qt::Key_Space);
    EXPECT_TRUE(f.Closing);
    EXPECT_EQ(prompts, 0);
}

TEST_F(MainFormTest, SaverRunAsksForThePasswordWhenOneIsSet)
{
    TMainForm& f = start();
    velmora::run_mode = velmora::kRun;
    velmora::settings().TestRun = false;
    velmora::SaverPassword::set("secret");
    std::vector<std::optional<std::string>> answers { std::nullopt, "wrong", "secret" };
    int prompts = 0;
    velmora::SaverPassword::set_prompt([&](QWidget* parent) -> std::optional<std::string> {
        EXPECT_EQ(parent, &f);
        EXPECT_FALSE(f.Closing);
        return answers[static_cast<std::size_t>(prompts++)];
    });

    f.FormMouseMove(10, 10);
    f.FormMouseMove(20, 20); // cancelled prompt: the saver goes on
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(f.Closing);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.MouseSkipCount, 2);
    f.FormMouseMove(200, 200); // the prompt coming and going: ignored
    f.FormMouseMove(300, 300);
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(f.MouseSkipCount, 0);
    f.FormMouseMove(400, 400);
    EXPECT_EQ(prompts, 2);
    EXPECT_FALSE(f.Closing); // wrong password

    f.FormKeyDown(Qt::Key_Return);
    EXPECT_EQ(prompts, 3);
    EXPECT_TRUE(f.Closing);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(MainFormTest, SaverRunWithoutPasswordClosesAtOnce)
{
    TMainForm& f = start();
    velmora::run_mode = velmora::kRun;
    velmora::settings().TestRun = false;
    int prompts = 0;
    velmora::SaverPassword::set_prompt([&](QWidget*) -> std::optional<std::string> {
        ++prompts;
        return std::nullopt;
    });
    f.FormMouseDown();
    EXPECT_EQ(prompts, 0);
    EXPECT_TRUE(f.Closing);
}

class ExportTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        // The pictures folder follows the home folder; it does not exist yet.
        const char* home = std::getenv("HOME");
        old_home_ = home ? home : "";
        home_ = std::filesystem::temp_directory_path()
            / ("velmora-display-home-" + std::to_string(::getpid()));
        std::filesystem::create_directories(home_);
        ::setenv("HOME", home_.c_str(), 1);
        pictures = home_ / "Pictures";
        // 320 x 120 with a 61-row reflection: within the GIF size limit.
        Settings& s = velmora::settings();
        s.ImageFileName = register_test_picture("small.vtest", coordinate_picture(320, 120));
        s.ImageResCode = 0;
        s.ReflectionHeightPercent = 50;
        s.NumberOfReflectedImages = 3;
    }
    void TearDown() override
    {
        ::setenv("HOME", old_home_.c_str(), 1);
        std::filesystem::remove_all(home_);
        MainFormTest::TearDown();
    }

    std::filesystem::path pictures;

private:
    std::string old_home_;
    std::filesystem::path home_;
};

TEST_F(ExportTest, F12WritesTheSceneToThePicturesFolder)
{
    TMainForm& f = start();
    ASSERT_EQ(f.Panel1->size(), QSize(320, 181));
    f.FormKeyDown(Qt::Key_F12);
    const std::filesystem::path first = pictures / "Reflection_00.GIF";
    ASSERT_TRUE(std::filesystem::exists(first));
    EXPECT_EQ(
        f.StatusLab->text().toStdString(), "Finished generating GIF file " + first.string() + ".");
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(f.Timer1->isActive()) << "the animation goes on";
    EXPECT_FALSE(f.Closing);
    // The file holds the whole scene: GIF89a, logical screen 320 x 181.
    std::ifstream in(first, std::ios::binary);
    std::string head(10, '\0');
    in.read(head.data(), 10);
    EXPECT_EQ(head.substr(0, 6), "GIF89a");
    EXPECT_EQ(static_cast<unsigned char>(head[6]) | static_cast<unsigned char>(head[7]) << 8, 320);
    EXPECT_EQ(static_cast<unsigned char>(head[8]) | static_cast<unsigned char>(head[9]) << 8, 181);

    f.FormKeyDown(Qt::Key_F12);
    EXPECT_TRUE(std::filesystem::exists(pictures / "Reflection_01.GIF"));
}

TEST_F(ExportTest, InputDuringTheExportWaitsForItsEnd)
{
    TMainForm& f = start();
    // Delivered while the export runs: a second F12, a key and a click.
    QCoreApplication::postEvent(&f, new QKeyEvent(QEvent::KeyPress, Qt::Key_F12, Qt::NoModifier));
    QCoreApplication::postEvent(&f, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
    QCoreApplication::postEvent(&f,
        new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier));
    f.FormKeyDown(Qt::Key_F12);
    EXPECT_TRUE(std::filesystem::exists(pictures / "Reflection_00.GIF"));
    EXPECT_FALSE(std::filesystem::exists(pictures / "Reflection_01.GIF"));
    EXPECT_FALSE(f.Exporting);
    EXPECT_TRUE(messages.empty());
    // The close request was carried out once the export had finished.
    EXPECT_TRUE(f.Closing);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(f.FramesBuilt(), 0) << "the frames go with the close";
}

TEST_F(ExportTest, F12DuringTheFirstBuildExportsTheFramesBuiltSoFar)
{
    velmora::settings().NumberOfReflectedImages = 6;
    form = std::make_unique<TMainForm>();
    TMainForm& f = *form;
    int exported = 0;
    bool animating_after_export = true;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (exported == 0 && f.FramesBuilt() >= 2) {
            exported = f.FramesBuilt();
            f.FormKeyDown(Qt::Key_F12);
            animating_after_export = f.Timer1->isActive();
        }
    });
    ticker.start();
    f.FormActivate();
    ticker.stop();
    ASSERT_GE(exported, 2);
    ASSERT_LT(exported, 6) << "the build ended before the key came";
    // The export must not start the animation in the middle of the build.
    EXPECT_FALSE(animating_after_export);
    EXPECT_EQ(f.FramesBuilt(), 6);
    EXPECT_TRUE(f.Timer1->isActive());

    std::ifstream in(pictures / "Reflection_00.GIF", std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    velmora::TGIFImage gif;
    gif.LoadFromMemory(bytes);
    EXPECT_EQ(gif.frame_count(), exported);
}

TEST_F(ExportTest, F12RefusesScenesTooLargeOrWithoutFrames)
{
    velmora::settings().ImageFileName = lake;
    velmora::settings().ImageResCode = 1;
    velmora::settings().ReflectionHeightPercent = 80;
    TMainForm& f = start();
    f.StatusLab->setText(QStringLiteral("before"));
    f.FormKeyDown(Qt::Key_F12);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Image too large (356X481) for saving to animate GIF!");
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_FALSE(f.Closing);
    EXPECT_EQ(f.StatusLab->text(), QStringLiteral("before"));

    TMainForm bare;
    bare.FormKeyDown(Qt::Key_F12);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "No reflection images built yet. Nothing to save!");
    EXPECT_FALSE(bare.Closing);
    // A refused export leaves no trace, not even the pictures folder.
    EXPECT_FALSE(std::filesystem::exists(pictures));
}

} // namespace
