// The saver's form inside a screen-saver host's window: laid out for the
// host's size, deaf to input, and never asking for anything.

#include "base/show_info.h"
#include "display/main_form.h"
#include "platform/run_mode.h"
#include "platform/saver_password.h"
#include "platform/screensaver_state.h"
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

} // namespace
