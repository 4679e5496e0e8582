// The communication tester's window on the offscreen platform: opened from the menu with the
// main view's polling stopped, it sends a float, gets it back, and polling resumes after it.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"

#include "app/CCommTesterDlg.h"
#include "app/CMainFrame.h"
#include "app/CQuarnexView.h"
#include "app/CSplashWnd.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace quarnex::test {
namespace {

class CommTesterWindowTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        CSplashWnd::EnableSplashScreen(false);
        profile_.WriteInt("Comm Param", "Baud", 115200);
    }
    void TearDown() override {
        frame_.reset();
        BusFixture::TearDown();
    }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(CommTesterWindowTest, SendsAFloatAndGetsItBackWithPollingStopped) {
    auto bank = AddBank(3);
    frame_ = std::make_unique<CMainFrame>(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame_->Create());
    frame_->show();
    ASSERT_TRUE(frame_->View()->TimerActive());

    bool worked = false;
    WhenModal<CCommTesterDlg>([&](CCommTesterDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Communication tester");
        EXPECT_FALSE(frame_->View()->TimerActive());
        EXPECT_EQ(dialog.TypeGroup()->checkedId(), CommTester::kOneRegister);
        EXPECT_EQ(dialog.GetLabel(2)->text(), "Reg.1 (bin):");
        EXPECT_TRUE(dialog.GetEdit(2)->isVisible());

        dialog.TypeGroup()->button(CommTester::kFloat)->click();
        EXPECT_EQ(dialog.SendLabel(0)->text(), "Float:");
        EXPECT_FALSE(dialog.SendEdit(1)->isVisible());
        EXPECT_FALSE(dialog.GetEdit(2)->isVisible());

        Type(dialog.AddressEdit(), "3");
        Type(dialog.SendStartEdit(), "40011");
        Type(dialog.SendEdit(0), "1.5");
        dialog.SendButton()->click();
        EXPECT_EQ(dialog.SendEdit(0)->text(), "1.500000");
        EXPECT_EQ(bank->Get(10), 0x3FC0);
        EXPECT_EQ(bank->Get(11), 0x0000);

        Type(dialog.GetStartEdit(), "40011");
        dialog.GetButton()->click();
        EXPECT_EQ(dialog.GetEdit(0)->text(), "1.500000");
        EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();

        // A bad address is refused with the focus back on it, and the type stays.
        Type(dialog.AddressEdit(), "248");
        dialog.TypeGroup()->button(CommTester::kModiconFloat)->click();
        EXPECT_EQ(prompter_.LastText(), "Please enter an integer between 1 and 247.");
        EXPECT_EQ(dialog.TypeGroup()->checkedId(), CommTester::kFloat);
        EXPECT_EQ(dialog.SendLabel(0)->text(), "Float:");
        worked = true;
        dialog.accept();
    });
    frame_->Action(CMainFrame::kCommTester)->trigger();
    EXPECT_TRUE(worked);
    EXPECT_TRUE(frame_->View()->TimerActive());
}

// Return in any field sends nothing and leaves the window open: no button is a default.
TEST_F(CommTesterWindowTest, ReturnInAFieldCommandsNothing) {
    AddBank(3);
    MakeMaster();
    CCommTesterDlg dialog(*master_, prompter_);
    dialog.show();
    Type(dialog.AddressEdit(), "3");
    Type(dialog.CoilEdit(), "7"); // a tare, on a KEL 7
    Type(dialog.SendStartEdit(), "40011");
    Type(dialog.SendEdit(0), "12");
    Type(dialog.GetStartEdit(), "40011");
    bus_.ClearRequests();
    const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
    ASSERT_GE(fields.size(), 10);
    for (QLineEdit* field : fields) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_TRUE(bus_.Requests().empty()) << field->text().toStdString();
        EXPECT_TRUE(dialog.isVisible()) << field->text().toStdString();
    }
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
}

} // namespace
} // namespace quarnex::test
