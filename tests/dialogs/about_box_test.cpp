#include "base/numbers.h"
#include "base/show_info.h"
#include "dialogs/about_box.h"
#include "display/bitmap_view.h"
#include "display/preview_bitmaps.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using velmora::Bitmap;

// The picture the box should show with frame n of REFLECT under MAIN.
Bitmap expected_picture(int n)
{
    const Bitmap main = *velmora::load_resource_bitmap(velmora::kMainResource);
    const Bitmap reflect = *velmora::load_resource_bitmap(velmora::kReflectResource);
    Bitmap picture(main.width(), main.height() + reflect.height());
    velmora::draw(picture, 0, 0, main);
    velmora::draw_rect(picture, 0, main.height(), reflect, (n - 1) * main.width(), 0, main.width(),
        reflect.height());
    return picture;
}

// Receives the URLs the box asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override { velmora::set_info_handler(previous_); }

    TAboutBox box;
    std::vector<std::string> messages;
    velmora::InfoHandler previous_;
};

TEST_F(AboutBoxTest, FramesThePictureInTheMiddleOfThePanel)
{
    box.show();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(box.size(), QSize(299, 250));
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.ProgramIcon->size(), QSize(76, 78));
    EXPECT_EQ(box.ProgramIcon->pos(), QPoint(6, 6));
    EXPECT_EQ(box.Panel2->size(), QSize(88, 90));
    EXPECT_EQ(box.Panel2->x(), 96); // Round(96.5)
    EXPECT_EQ(box.ProductName->text(), "Velmora");
    EXPECT_EQ(box.Version->text(), "Version " VELMORA_VERSION);
    EXPECT_EQ(box.ToWebLab->text(), kHomePageUrl);
    EXPECT_TRUE(box.OKButton->isDefault());
}

// Frames run 1 (at activation), 1, 2, 3, 4, 5, 1, ... and every showing
// starts again at frame 1.
TEST_F(AboutBoxTest, EveryShowingStartsTheAnimationAtFrameOne)
{
    const int drawn_by_ticks[] = { 1, 2, 3, 4, 5, 1, 2 };
    for (int showing = 1; showing <= 2; ++showing) {
        SCOPED_TRACE(showing);
        box.show();
        EXPECT_TRUE(box.Timer1->isActive());
        EXPECT_EQ(box.Timer1->interval(), 150);
        EXPECT_EQ(box.AnimationFrame, 1);
        EXPECT_TRUE(box.picture() == expected_picture(1));
        for (const int n : drawn_by_ticks) {
            box.Timer1Timer();
            EXPECT_TRUE(box.picture() == expected_picture(n)) << n;
        }
        EXPECT_EQ(box.AnimationFrame, 3);
        QTest::mouseClick(box.OKButton, Qt::LeftButton);
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.result(), QDialog::Accepted);
        EXPECT_FALSE(box.Timer1->isActive());
    }
}

TEST_F(AboutBoxTest, ClosingByKeyStopsTheAnimationToo)
{
    box.show();
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    EXPECT_FALSE(box.Timer1->isActive());
}

TEST_F(AboutBoxTest, TheLinkOpensTheHomePage)
{
    UrlCatcher catcher;
    box.show();
    QTest::mouseClick(box.ToWebLab, Qt::LeftButton, {}, box.ToWebLab->rect().center());
    ASSERT_EQ(catcher.opened.size(), 1U);
    EXPECT_EQ(catcher.opened.front(), QUrl(QString::fromLatin1(kHomePageUrl)));
    EXPECT_EQ(box.ToWebLab->cursor().shape(), Qt::PointingHandCursor);
}

} // namespace

#include "about_box_test.moc"
