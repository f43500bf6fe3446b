#include "base/show_info.h"
#include "display/bitmap_view.h"
#include "display/main_form.h"
#include "imaging/rescaler.h"
#include "platform/run_mode.h"
#include "scene/setting_ranges.h"
#include "scene/test_pictures.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

// Every test of this program runs on a screen scaled by 2, set before the
// application object is made.
const bool scaled = [] { return qputenv("QT_SCALE_FACTOR", "2"); }();

TEST(HiDpi, TheSceneIsFittedAndDrawnInDevicePixels)
{
    ASSERT_TRUE(scaled);
    velmora::Settings s = velmora::default_settings();
    s.TestRun = true;
    s.SelectedImageIndex = -1;
    s.ImageResCode = velmora::kFitScreenResCode;
    s.ImageFileName = velmora::test::register_test_picture(
        "hidpi.vtest", velmora::test::coordinate_picture(1024, 768));
    velmora::settings() = s;
    velmora::run_mode = velmora::kConfigure;
    std::vector<std::string> messages;
    const auto previous
        = velmora::set_info_handler([&](const std::string& text) { messages.push_back(text); });

    TMainForm form;
    form.FormActivate();
    ASSERT_EQ(form.devicePixelRatioF(), 2.0);
    const QSize device = form.size() * 2;
    const velmora::Scene& scene = form.scene();
    // Picture and reflection fill the device pixels' height above the status
    // line (less a row or two of rounding), the picture keeps its aspect.
    const int filled = scene.picture.height() + scene.area.height();
    const int free_rows = device.height() - form.StatusLab->sizeHint().height() * 2;
    EXPECT_TRUE(filled <= free_rows && filled >= free_rows - 2) << filled;
    EXPECT_GT(device.height(), form.height());
    EXPECT_EQ(scene.picture.width(), std::lround(scene.picture.height() / 768.0 * 1024));
    EXPECT_EQ(form.Image1->size(),
        QSize((scene.picture.width() + 1) / 2, (scene.picture.height() + 1) / 2));

    // What the window shows is the bitmap itself, pixel for pixel.
    const QImage shown = form.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(shown.width(), scene.picture.width());
    for (int y = 0; y < scene.picture.height(); y += 37)
        for (int x = 0; x < scene.picture.width(); x += 29)
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF,
                static_cast<QRgb>(velmora::color_red(scene.picture.pixel(x, y)) << 16
                    | velmora::color_green(scene.picture.pixel(x, y)) << 8
                    | velmora::color_blue(scene.picture.pixel(x, y))))
                << x << "," << y;
    EXPECT_TRUE(messages.empty());
    velmora::set_info_handler(previous);
}

} // namespace
