// The saver's form inside a screen-saver host's window: laid out for the
// host's size, deaf to input, and never asking for anything.

#include "base/show_info.h"
#include "display/main_form.h"
#include "platform/run_mode.h"
#include "platform/saver_password.h"
#include "platform/screensaver_state.h"
#include "scene/scene.h"
#include "scene/test_pictures.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class HostedFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmora::settings() = velmora::default_settings();
        velmora::settings().SelectedImageIndex = -1;
        velmora::settings().TestRun = true; // the form works on the record
        velmora::settings().ImageFileName = velmora::test::register_test_picture(
            "hosted_lake.vtest", velmora::test::coordinate_picture(1024, 768));
        velmora::run_mode = velmora::kRun;
        previous_info_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
        config_dir_ = std::filesystem::temp_directory_path()
            / ("velmora-hosted-form-" + std::to_string(::getpid()));
        std::filesystem::create_directories(config_dir_);
        ::setenv("XDG_CONFIG_HOME", config_dir_.c_str(), 1);
        velmora::SaverPassword::set("secret");
        velmora::SaverPassword::set_prompt([this](QWidget*) -> std::optional<std::string> {
            ++prompts;
            return std::nullopt;
        });
        set_screensaver_running(false);
    }

    void TearDown() override
    {
        form.reset();
        velmora::SaverPassword::set_prompt({});
        velmora::SaverPassword::remove();
        velmora::set_info_handler(previous_info_);
        velmora::run_mode = velmora::kConfigure;
        std::filesystem::remove_all(config_dir_);
    }

    TMainForm& start(QSize host)
    {
        form = std::make_unique<TMainForm>();
        form->set_hosted(host);
        form->FormActivate();
        return *form;
    }

    std::unique_ptr<TMainForm> form;
    std::vector<std::string> messages;
    int prompts = 0;

private:
    velmora::InfoHandler previous_info_;
    std::filesystem::path config_dir_;
};

TEST_F(HostedFormTest, LaysTheSceneOutForTheHostAndLeavesTheScreenAlone)
{
    TMainForm& f = start(QSize(500, 400));
    EXPECT_TRUE(f.hosted());
    EXPECT_EQ(f.geometry(), QRect(0, 0, 500, 400));
    EXPECT_FALSE(f.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowTransparentForInput);
    ASSERT_TRUE(f.Panel1->isVisible());
    const QRect panel = f.Panel1->geometry();
    const auto centred = [](int free) { return static_cast<int>(std::nearbyint(free * 0.5)); };
    EXPECT_EQ(panel.topLeft(), QPoint(centred(500 - panel.width()), centred(400 - panel.height())));
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_FALSE(screensaver_running());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
}

TEST_F(HostedFormTest, InputNeverEndsItAndTheHostEndsItWithoutAPassword)
{
    TMainForm& f = start(QSize(640, 480));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &key);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &click);
    for (const int at : { 10, 100, 300 }) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at, at), QPointF(at, at), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&f, &move);
    }
    EXPECT_FALSE(f.Closing);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.Timer1->isActive());

    // A real run with a password set: the host ends the saver, the host
    // owns the password.
    velmora::settings().TestRun = false;
    f.request_close();
    EXPECT_EQ(prompts, 0);
    EXPECT_TRUE(f.Closing);
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(screensaver_running());
}

TEST_F(HostedFormTest, AMessageGoesToTheStatusLineInsteadOfABox)
{
    velmora::settings().ImageFileName = " ";
    TMainForm& f = start(QSize(640, 480));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(f.BuildFailed);
    EXPECT_EQ(f.StatusLab->text().toStdString(),
        "No Image selected. Please use \"Configure\" to enter image name.");
}

// The scene a hosted form shows: the panel centred in the host, sized as the
// core lays the picture out for that host size.
void expect_laid_out_for(const TMainForm& f, QSize host)
{
    velmora::Settings s = velmora::settings();
    const std::optional<velmora::BuiltScene> expected = velmora::build_scene(s.ImageFileName,
        s.ShiftPixels, s, host.width(), host.height(), {}, {}, f.StatusLab->sizeHint().height());
    ASSERT_TRUE(expected);
    const velmora::PanelRect p = expected->scene.panel;
    EXPECT_EQ(f.geometry(), QRect(QPoint(0, 0), host));
    EXPECT_EQ(f.Panel1->geometry(), QRect(p.left, p.top, p.width, p.height))
        << host.width() << " x " << host.height();
    EXPECT_EQ(f.scene().picture, expected->scene.picture);
    EXPECT_TRUE(f.Panel1->isVisible());
    EXPECT_TRUE(f.Timer1->isActive());
}

TEST_F(HostedFormTest, AResizedHostGetsTheSceneBuiltForItsNewSize)
{
    velmora::settings().ImageResCode = 2;
    TMainForm& f = start(QSize(900, 700));
    expect_laid_out_for(f, QSize(900, 700));
    EXPECT_EQ(velmora::settings().ImageResCode, 2);
    // Smaller than the viewing sizes asked for: the largest that fits shows
    // the whole scene; made large again, the size asked for is back.
    f.set_host_size(QSize(400, 300));
    expect_laid_out_for(f, QSize(400, 300));
    EXPECT_EQ(velmora::settings().ImageResCode, 0);
    f.set_host_size(QSize(700, 500));
    expect_laid_out_for(f, QSize(700, 500));
    EXPECT_EQ(velmora::settings().ImageResCode, 1);
    f.set_host_size(QSize(900, 700));
    EXPECT_EQ(velmora::settings().ImageResCode, 2);

    // A resize while a build runs (its status lines handle pending events)
    // makes the build run again for the last size.
    form.reset();
    form = std::make_unique<TMainForm>();
    form->set_hosted(QSize(900, 700));
    int resizes = 0;
    QTimer::singleShot(0, form.get(), [&] {
        ++resizes;
        form->set_host_size(QSize(500, 360));
    });
    form->FormActivate();
    EXPECT_EQ(resizes, 1);
    expect_laid_out_for(*form, QSize(500, 360));
    EXPECT_TRUE(messages.empty());
}

TEST_F(HostedFormTest, CommandLineOverridesApplyOnTopOfTheSettingsInMemory)
{
    velmora::settings().ImageResCode = 2;
    velmora::settings().NumberOfReflectedImages = 12;
    velmora::SettingOverrides overrides;
    overrides.size = 0;
    overrides.frames = 4;
    form = std::make_unique<TMainForm>();
    form->set_hosted(QSize(640, 480));
    form->set_overrides(overrides);
    form->FormActivate();
    EXPECT_EQ(velmora::settings().ImageResCode, 0);
    EXPECT_EQ(form->FramesBuilt(), 4);
    EXPECT_LE(form->scene().picture.width(), 320);
}

} // namespace

namespace {

// On a host as large as a 3840 x 2160 screen, Fit Screen makes a reflection
// area whose strip would pass its memory bound: the frames are made as they
// are shown, and every one is the frame a strip would hold.
TEST_F(HostedFormTest, FramesMadePerTickOnALargeHostAreTheFramesOfAStrip)
{
    velmora::settings().ImageResCode = 3;
    velmora::settings().NumberOfReflectedImages = 15;
    const QSize host(3840, 2160);
    TMainForm& f = start(host);
    ASSERT_EQ(f.FramesBuilt(), 15);
    ASSERT_EQ(f.frames().built, 0)
        << "no strip is held for an area this large: " << f.scene().area.width() << " x "
        << f.scene().area.height();
    velmora::Settings s = velmora::settings();
    const std::optional<velmora::BuiltScene> expected = velmora::build_scene(s.ImageFileName,
        s.ShiftPixels, s, host.width(), host.height(), {}, {}, f.StatusLab->sizeHint().height());
    ASSERT_TRUE(expected);
    const velmora::Bitmap& strip = expected->frames.strip;
    const int w = expected->scene.area.width();
    const int h = expected->scene.area.height();
    ASSERT_EQ(expected->frames.built, 15);
    ASSERT_EQ(f.scene().area.width(), w);
    ASSERT_EQ(f.scene().area.height(), h);
    // Round the cycle and into the next: the area always shows the frame
    // that was due, whole.
    for (int tick = 0; tick < 17; ++tick) {
        const int k = f.CurrentFrame;
        f.Timer1Timer();
        velmora::Bitmap want(w, h);
        velmora::draw_rect(want, 0, 0, strip, (k - 1) * w, 0, w, h);
        ASSERT_TRUE(f.scene().area == want) << "frame " << k;
    }
}

} // namespace
