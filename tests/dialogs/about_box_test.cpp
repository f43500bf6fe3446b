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

namespace {

using velmora::Bitmap;

// What the box should show: MAIN with frame n of REFLECT beneath it.
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

// Receives the addresses the box asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

TEST(AboutBoxTest, ShowsNameVersionLinkAndTheFramedPicture)
{
    std::vector<std::string> messages;
    const auto previous
        = velmora::set_info_handler([&](const std::string& t) { messages.push_back(t); });
    UrlCatcher catcher;
    TAboutBox box;
    box.show();
    velmora::set_info_handler(previous);
    EXPECT_TRUE(messages.empty()) << "both pictures are built in";
    EXPECT_EQ(box.size(), QSize(299, 250));
    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(6, 6, 76, 78));
    EXPECT_EQ(box.Panel2->size(), QSize(88, 90));
    EXPECT_EQ(box.Panel2->x(), 96); // Round(96.5)
    EXPECT_EQ(box.ProductName->text(), "Velmora");
    EXPECT_EQ(box.Version->text(), "Version " VELMORA_VERSION);
    EXPECT_TRUE(box.OKButton->isDefault());

    QTest::mouseClick(box.ToWebLab, Qt::LeftButton, {}, box.ToWebLab->rect().center());
    EXPECT_EQ(catcher.opened, std::vector<QUrl> { QUrl(QString::fromLatin1(kHomePageUrl)) });
    EXPECT_EQ(box.ToWebLab->text(), kHomePageUrl);
}

// Frames run 1 (at activation), 1, 2, 3, 4, 5, 1, ...; every showing starts
// again at frame 1, however the box was closed before.
TEST(AboutBoxTest, EveryShowingStartsTheAnimationAtFrameOne)
{
    TAboutBox box;
    for (const bool by_ok : { true, false, true }) {
        box.show();
        EXPECT_TRUE(box.Timer1->isActive());
        EXPECT_EQ(box.Timer1->interval(), 150);
        EXPECT_EQ(box.AnimationFrame, 1);
        EXPECT_TRUE(box.picture() == expected_picture(1));
        for (const int n : { 1, 2, 3, 4, 5, 1, 2 }) {
            box.Timer1Timer();
            EXPECT_TRUE(box.picture() == expected_picture(n)) << n;
        }
        EXPECT_EQ(box.AnimationFrame, 3);
        if (by_ok)
            QTest::mouseClick(box.OKButton, Qt::LeftButton);
        else
            QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.result(), by_ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(box.Timer1->isActive());
    }
}

} // namespace

#include "about_box_test.moc"
