#include "dialogs/wait_form.h"

#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A borderless window on top of the others, centred, with the text bold and
// centred; SetText lets pending events run, so the window paints at once.
TEST(WaitFormTest, ShowsItsTextAtOnceInABorderlessTopmostWindow)
{
    TWaitForm wait;
    EXPECT_TRUE(wait.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(wait.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(wait.size(), QSize(318, 72));
    EXPECT_EQ(wait.WaitLab->geometry().topLeft(), QPoint(8, 29));
    EXPECT_EQ(wait.WaitLab->width(), 298);
    EXPECT_TRUE(wait.WaitLab->font().bold());
    EXPECT_FALSE(wait.testAttribute(Qt::WA_QuitOnClose))
        << "clicking it away never ends the program";
    wait.show();
    EXPECT_LE((wait.geometry().center() - wait.screen()->geometry().center()).manhattanLength(), 2);
    bool handled = false;
    QTimer::singleShot(0, &wait, [&] { handled = true; });
    wait.SetText("Loading Image.  Please wait...");
    EXPECT_TRUE(handled);
    EXPECT_EQ(wait.WaitLab->text(), "Loading Image.  Please wait...");
}

TEST(WaitFormTest, AClickHidesItUntilItsOwnerDestroysIt)
{
    QPointer<TWaitForm> alive;
    {
        auto wait = std::make_unique<TWaitForm>();
        alive = wait.get();
        wait->SetText("Building images.  Please wait...");
        wait->show();
        QTest::mouseClick(wait->WaitLab, Qt::LeftButton, {}, QPoint(100, 5)); // on the text too
        EXPECT_TRUE(wait->isHidden());
        wait->SetText("still working");
        EXPECT_TRUE(wait->isHidden());
        EXPECT_FALSE(alive.isNull()) << "hidden, not destroyed: the work still owns it";
    }
    EXPECT_TRUE(alive.isNull());
}

} // namespace
