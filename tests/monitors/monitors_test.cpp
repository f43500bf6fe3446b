// The saver's own run on several monitors: one form per monitor, each with
// the scene laid out for its monitor, built once per distinct size; input on
// any monitor ends the saver, with the password asked once. The offscreen
// platform here has three monitors: 1280 x 800, and two of 1024 x 768 to its
// right.

#include "base/show_info.h"
#include "display/main_form.h"
#include "picture/picture.h"
#include "platform/run_mode.h"
#include "platform/saver_password.h"
#include "platform/screensaver_state.h"
#include "scene/scene.h"
#include "scene/test_pictures.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

class MonitorsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmora::settings() = velmora::default_settings();
        velmora::settings().TestRun = true; // the forms work on the record
        velmora::settings().ImageResCode = 1;
        velmora::settings().NumberOfReflectedImages = 4;
        lake_ = velmora::test::register_test_picture(
            "monitors_lake.vtest", velmora::test::coordinate_picture(1024, 768));
        boat_ = velmora::test::register_test_picture(
            "monitors_boat.vtest", velmora::test::coordinate_picture(300, 200));
        velmora::settings().ImageFileName = lake_;
        // Counts the pictures loaded: a scene is built once per size.
        velmora::register_picture_decoder("vtest", [this](const std::string& file) {
            ++loads;
            return velmora::test::test_pictures().at(file);
        });
        velmora::run_mode = velmora::kRun;
        previous_info_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
        config_dir_ = std::filesystem::temp_directory_path()
            / ("velmora-monitors-" + std::to_string(::getpid()));
        std::filesystem::create_directories(config_dir_);
        ::setenv("XDG_CONFIG_HOME", config_dir_.c_str(), 1);
        velmora::SaverPassword::set("secret");
        velmora::SaverPassword::set_prompt([this](QWidget*) -> std::optional<std::string> {
            ++prompts;
            return answer;
        });
    }

    void TearDown() override
    {
        form.reset();
        velmora::SaverPassword::set_prompt({});
        velmora::SaverPassword::remove();
        velmora::set_info_handler(previous_info_);
        velmora::run_mode = velmora::kConfigure;
        set_screensaver_running(false);
        std::filesystem::remove_all(config_dir_);
    }

    TMainForm& start()
    {
        form = std::make_unique<TMainForm>();
        form->cover_every_monitor();
        form->FormActivate();
        return *form;
    }

    // The panel of `f` where the core lays the scene out for its monitor.
    static void expect_scene_for(const TMainForm& f, const QRect& monitor)
    {
        velmora::Settings s = velmora::settings();
        const std::optional<velmora::BuiltScene> expected
            = velmora::build_scene(s.ImageFileName, 0, s, monitor.width(), monitor.height(), {});
        ASSERT_TRUE(expected);
        const velmora::PanelRect p = expected->scene.panel;
        EXPECT_EQ(f.geometry(), monitor);
        EXPECT_TRUE(f.isVisible());
        EXPECT_TRUE(f.Panel1->isVisible());
        EXPECT_EQ(f.Panel1->geometry(), QRect(p.left, p.top, p.width, p.height));
        EXPECT_EQ(f.scene().picture, expected->scene.picture);
        EXPECT_EQ(f.FramesBuilt(), expected->frames.built);
        EXPECT_EQ(f.frames().strip, expected->frames.strip);
        EXPECT_TRUE(f.Timer1->isActive());
        EXPECT_FALSE(f.Timer2->isActive());
    }

    std::unique_ptr<TMainForm> form;
    std::vector<std::string> messages;
    int prompts = 0;
    int loads = 0;
    std::optional<std::string> answer;
    std::string lake_;
    std::string boat_;

private:
    velmora::InfoHandler previous_info_;
    std::filesystem::path config_dir_;
};

TEST_F(MonitorsTest, EveryMonitorShowsTheSceneLaidOutForItsSizeBuiltOncePerSize)
{
    ASSERT_EQ(QGuiApplication::screens().size(), 3);
    velmora::settings().Overlay = true;
    velmora::settings().OverlayFileName = boat_;
    TMainForm& f = start();
    const int loaded = loads;
    ASSERT_EQ(f.monitor_forms().size(), 2u);
    expect_scene_for(f, QRect(0, 0, 1280, 800));
    expect_scene_for(*f.monitor_forms()[0], QRect(1280, 0, 1024, 768));
    expect_scene_for(*f.monitor_forms()[1], QRect(2304, 0, 1024, 768));
    // The picture and the boat for 1280 x 800, then both for 1024 x 768;
    // the second 1024 x 768 monitor takes that scene as it is.
    EXPECT_EQ(loaded, 4);
    EXPECT_NE(f.overlay().bitmap, nullptr);
    EXPECT_EQ(*f.monitor_forms()[1]->overlay().bitmap, *f.overlay().bitmap);
    EXPECT_TRUE(messages.empty());
    // The other monitors' forms animate on their own.
    TMainForm& right = *f.monitor_forms()[0];
    const int frame = right.CurrentFrame;
    right.Timer1Timer();
    EXPECT_NE(right.CurrentFrame, frame);
}

TEST_F(MonitorsTest, InputOnAnyMonitorEndsTheSaverAskingThePasswordOnce)
{
    TMainForm& f = start();
    velmora::settings().TestRun = false; // a real run from here on
    TMainForm& right = *f.monitor_forms()[1];

    // A key on the right monitor: one prompt; cancelled, everything goes on.
    answer = std::nullopt;
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(&right, &key);
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(f.Closing);
    EXPECT_TRUE(right.isVisible());

    // A mouse move there counts in the saver's coordinates: small steps
    // anywhere add up, 3 pixels on both axes end it.
    answer = "secret";
    const auto move_to = [&](QPoint global) {
        const QPointF local = right.mapFromGlobal(QPointF(global));
        QMouseEvent move(
            QEvent::MouseMove, local, QPointF(global), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&right, &move);
    };
    f.MouseSkipCount = 0;
    f.LastMouseX = f.LastMouseY = -1;
    move_to(QPoint(2500, 300));
    move_to(QPoint(2502, 302));
    EXPECT_EQ(prompts, 1);
    move_to(QPoint(2503, 303));
    EXPECT_EQ(prompts, 2);
    EXPECT_TRUE(f.Closing);
    for (const auto& other : f.monitor_forms()) {
        EXPECT_TRUE(other->Closing);
        EXPECT_FALSE(other->isVisible());
        EXPECT_FALSE(other->Timer1->isActive());
    }
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(screensaver_running());
}

TEST_F(MonitorsTest, TheSlideShowChangesThePictureOnEveryMonitor)
{
    velmora::Settings& s = velmora::settings();
    s.MultipleMode = true;
    s.NumMultipleImages = 2;
    s.Images = { { lake_, 0, false }, { boat_, 0, false } };
    TMainForm& f = start();
    EXPECT_TRUE(f.Timer2->isActive());
    f.Timer2Timer();
    EXPECT_EQ(f.CurrentImageIndex, 2);
    for (const auto& other : f.monitor_forms()) {
        EXPECT_EQ(other->CurrentFileName, boat_);
        EXPECT_EQ(other->scene().picture.width(), f.scene().picture.width());
        EXPECT_TRUE(other->Panel1->isVisible());
        EXPECT_TRUE(other->Timer1->isActive());
        EXPECT_FALSE(other->Timer2->isActive());
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
        "offscreen:configfile=" VELMORA_SOURCE_DIR "/tests/monitors/three_monitors.json");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
