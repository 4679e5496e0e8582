// The progress window of long operations: its percentage, and that it hands its owner back in
// the state it found it.
#include "support/QtTestSupport.h"

#include "ui/ProgressDialog.h"

#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace quarnex::test {
namespace {

TEST(ProgressDialog, PercentageOfTheRange) {
    EXPECT_EQ(ProgressDialog::PercentText(550, 0, 1100), "50%");
    EXPECT_EQ(ProgressDialog::PercentText(1100, 0, 1100), "100%");
    EXPECT_EQ(ProgressDialog::PercentText(0, 0, 1100), "0%");
    // Past the end the percentage wraps round: 130 shows as 30.
    EXPECT_EQ(ProgressDialog::PercentText(1430, 0, 1100), "30%");
    EXPECT_EQ(ProgressDialog::PercentText(200, 0, 100), "0%");
    EXPECT_EQ(ProgressDialog::PercentText(75, 50, 150), "25%");
    // Integer arithmetic: 1/3 is 33, and a large range does not overflow.
    EXPECT_EQ(ProgressDialog::PercentText(1, 0, 3), "33%");
    EXPECT_EQ(ProgressDialog::PercentText(1000000000, 0, 2000000000), "50%");
    // An empty range is not a division by zero.
    EXPECT_EQ(ProgressDialog::PercentText(7, 10, 10), "0%");
}

TEST(ProgressDialog, ShowsCaptionRangeMessageAndPosition) {
    App();
    QMainWindow owner;
    owner.show();
    ProgressDialog progress;
    EXPECT_EQ(progress.windowTitle(), "Software upgrade in progress !");
    EXPECT_EQ(progress.Low(), 0);
    EXPECT_EQ(progress.High(), 100);
    EXPECT_EQ(progress.Step(), 5);
    EXPECT_EQ(progress.PercentShown(), " 0 %");
    progress.SetRange(100, 1200);
    ASSERT_TRUE(progress.Create(&owner));
    EXPECT_TRUE(progress.isVisible());
    EXPECT_TRUE(progress.isEnabled()); // the owner is disabled, the progress window is not
    EXPECT_EQ(progress.BarValue(), 100);
    EXPECT_EQ(progress.Pos(), 100);
    progress.SetMessage("Erasing flash memory\nplease wait");
    EXPECT_EQ(progress.MessageShown(), "Erasing flash memory\nplease wait");
    progress.SetPos(650);
    EXPECT_EQ(progress.BarValue(), 650);
    EXPECT_EQ(progress.PercentShown(), "50%");
    progress.SetPos(1200);
    EXPECT_EQ(progress.PercentShown(), "100%");
    progress.SetPos(1530); // 130 %: the bar stays at its end, the text wraps
    EXPECT_EQ(progress.BarValue(), 1200);
    EXPECT_EQ(progress.PercentShown(), "30%");
    // Escape does not hide the window while the operation still runs.
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_TRUE(progress.isVisible());
    progress.Close();
    EXPECT_FALSE(progress.isVisible());
}

TEST(ProgressDialog, EachPositionFirstHandlesTheWaitingEvents) {
    App();
    ProgressDialog progress;
    ASSERT_TRUE(progress.Create(nullptr));
    bool handled = false;
    QTimer::singleShot(0, [&] { handled = true; });
    progress.SetPos(10);
    EXPECT_TRUE(handled);
    progress.Close();
}

TEST(ProgressDialog, OwnerIsGivenBackAsItWasFound) {
    App();
    QMainWindow owner;
    auto* child = new QPushButton(&owner);
    owner.show();
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(child)); // the owner's top-level window is disabled
        EXPECT_FALSE(owner.isEnabled());
        progress.Close();
        EXPECT_TRUE(owner.isEnabled());
    }
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(&owner));
        EXPECT_FALSE(owner.isEnabled());
    } // destroyed without Close: the owner comes back all the same
    EXPECT_TRUE(owner.isEnabled());

    owner.setEnabled(false); // disabled by someone else: it stays so
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(&owner));
        progress.Close();
        EXPECT_FALSE(owner.isEnabled());
    }
    EXPECT_FALSE(owner.isEnabled());
}

} // namespace
} // namespace quarnex::test
