#include "dialogs/wait_form.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(WaitFormTest, IsABorderlessTopmostWindowWithCentredBoldText)
{
    TWaitForm wait;
    EXPECT_TRUE(wait.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(wait.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(wait.size(), QSize(318, 72));
    EXPECT_EQ(wait.WaitLab->geometry().topLeft(), QPoint(8, 29));
    EXPECT_EQ(wait.WaitLab->width(), 298);
    EXPECT_TRUE(wait.WaitLab->font().bold());
    EXPECT_EQ(wait.WaitLab->alignment(), Qt::AlignCenter);
    wait.show();
    const QRect screen = wait.screen()->geometry();
    EXPECT_LE(std::abs(wait.geometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(wait.geometry().center().y() - screen.center().y()), 1);
}

// SetText lets pending events run, so the window paints before the work.
TEST(WaitFormTest, SetTextShowsTheTextAndHandlesPendingEvents)
{
    TWaitForm wait;
    wait.show();
    bool handled = false;
    QTimer::singleShot(0, &wait, [&] { handled = true; });
    wait.SetText("Loading Image.  Please wait...");
    EXPECT_TRUE(handled);
    EXPECT_EQ(wait.Text(), "Loading Image.  Please wait...");
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
        // Anywhere on the window, on the text too.
        QTest::mouseClick(wait->WaitLab, Qt::LeftButton, {}, QPoint(100, 5));
        EXPECT_TRUE(wait->isHidden());
        EXPECT_FALSE(alive.isNull()) << "hidden, not destroyed: the work still owns it";
        wait->SetText("still working");
        EXPECT_TRUE(wait->isHidden());
    }
    EXPECT_TRUE(alive.isNull());
}

} // namespace
