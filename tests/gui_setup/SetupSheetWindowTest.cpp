// Window tests of the set-up sheet on the offscreen platform against the simulated KEL 7: opened
// from the panel's buttons, a value changed through its row's ">>", and every way out. Modal
// windows are worked from zero-time timers that fire inside their event loops.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"

#include "app/panel/CInstrumentPanelDlg.h"
#include "app/panel/CValueEntryDlg.h"
#include "app/setup/CKelSetUpPropSheet.h"
#include "sim/Kel7Model.h"
#include "sim/Kel7Registers.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace quarnex::test {
namespace {

using namespace sim::kel7;

constexpr int kAddress = 1;
constexpr int kContrast = 3; // "Display contrast:", factory value 4

class SetupSheetWindowTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        bus_.Attach(kAddress, sim::MakeKel7({}));
        MakeMaster();
        hooks_.setupSheet = [this](QWidget* parent, int address, InstrumentPanel::SheetMode mode) {
            CKelSetUpPropSheet::Run(parent, *master_, address, mode, prompter_);
        };
    }
    template <class F> auto Kel(F f) { return bus_.WithModel<sim::Kel7Model>(kAddress, f); }
    float Contrast() {
        return Kel([](sim::Kel7Model& m) { return m.NormalValue(kContrast); });
    }
    int State() {
        return Kel([](sim::Kel7Model& m) { return m.State(); });
    }
    std::vector<int> Coils() {
        return Kel([](sim::Kel7Model& m) {
            std::vector<int> coils;
            for (const auto& c : m.Commands())
                coils.push_back(c.coil);
            return coils;
        });
    }
    // Clicks a panel button; sheet runs on the sheet once it is up.
    void OpenFromPanel(QPushButton* button, std::function<void(CKelSetUpPropSheet&)> sheet) {
        bool ran = false;
        WhenModal<CKelSetUpPropSheet>([&](CKelSetUpPropSheet& s) {
            ran = true;
            sheet(s);
        });
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(ran);
    }
    // ">>" of "Display contrast:" on the General page, choosing position index.
    void ChangeContrast(CKelSetUpPropSheet& sheet, int index) {
        CKelSetUpPage* general = sheet.Page(0);
        ASSERT_NE(general, nullptr);
        const CSetUpRow* row = general->RowOf(kContrast);
        ASSERT_NE(row, nullptr);
        ASSERT_TRUE(row->EditButton()->isVisible());
        WhenModal<CChoiceDlg>([index](CChoiceDlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Display contrast:");
            EXPECT_EQ(dialog.List()->count(), 8);
            dialog.List()->setCurrentIndex(index);
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(row->EditButton(), Qt::LeftButton);
        EXPECT_EQ(row->Value()->text(), QString::number(index)); // read back after the write
    }

    PanelHooks hooks_;
};

TEST_F(SetupSheetWindowTest, EditSetupFromThePanelSavesAChangedValueOnOk) {
    CInstrumentPanelDlg panel(*master_, kAddress, prompter_, hooks_);
    panel.Start();
    panel.OnTimer();
    EXPECT_TRUE(panel.EditSetupButton()->toolTip().isEmpty());
    EXPECT_TRUE(panel.ShowSetupButton()->toolTip().isEmpty());
    EXPECT_FALSE(panel.EditBatchingButton()->isEnabled()); // built elsewhere
    EXPECT_FALSE(panel.EditBatchingButton()->toolTip().isEmpty());

    prompter_.Answer(true); // "Entering set-up mode. Do you want to continue ?"
    OpenFromPanel(panel.EditSetupButton(), [&](CKelSetUpPropSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "KEL set-up, address 1 (Edit set-up)");
        EXPECT_FALSE(sheet.windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_TRUE(sheet.CancelButton()->isVisible());
        ASSERT_EQ(sheet.Tabs()->count(), 7);
        EXPECT_EQ(sheet.Tabs()->tabText(0), "General");
        EXPECT_EQ(State(), kStateRemoteSetup);
        ChangeContrast(sheet, 6);

        // Another tab: edit mode reads nothing when the user only looks.
        const size_t requests = bus_.RequestCount(kAddress);
        sheet.Tabs()->setCurrentIndex(1);
        EXPECT_EQ(bus_.RequestCount(kAddress), requests);
        EXPECT_FALSE(sheet.CurrentPage()->TimerActive());

        prompter_.Answer(true); // "Save changes and exit set-up ?"
        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
    });
    EXPECT_FLOAT_EQ(Contrast(), 6.0f);
    EXPECT_EQ(State(), kStateNormal);
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilRemoteSetup, kCoilCheck, kCoilSave}));
    // The panel refreshes at once after editing.
    EXPECT_TRUE(panel.TimerActive());
    EXPECT_EQ(panel.TimerInterval(), 0);

    // Show set-up reads the saved value back; it offers no ">>", no Cancel, and leaves at once.
    OpenFromPanel(panel.ShowSetupButton(), [&](CKelSetUpPropSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "KEL set-up, address 1 (Show set-up)");
        EXPECT_FALSE(sheet.CancelButton()->isVisible());
        CKelSetUpPage* general = sheet.Page(0);
        EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "6");
        EXPECT_TRUE(general->TimerActive());
        for (int tab = 0; tab < sheet.Tabs()->count(); ++tab)
            for (const CSetUpRow& row : sheet.Page(tab)->Rows())
                EXPECT_TRUE(row.EditButton()->isHidden());
        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_FALSE(general->TimerActive());
    });
    EXPECT_EQ(panel.TimerInterval(), 200);
    EXPECT_EQ(prompter_.PendingAnswers(), 0u);
    EXPECT_EQ(State(), kStateNormal);
    panel.done(QDialog::Rejected);
}

TEST_F(SetupSheetWindowTest, CancelEscapeAndTheCloseRequestAskBeforeDiscarding) {
    CInstrumentPanelDlg panel(*master_, kAddress, prompter_, hooks_);
    panel.Start();
    panel.OnTimer();
    prompter_.Answer(true);
    OpenFromPanel(panel.EditSetupButton(), [&](CKelSetUpPropSheet& sheet) {
        ChangeContrast(sheet, 1);
        EXPECT_FLOAT_EQ(Contrast(), 1.0f); // written at once, kept only on save

        // "Exit set-up WITHOUT save ?" answered No, by Escape and by the close request: the
        // sheet stays open and sends nothing.
        const size_t coils = Coils().size();
        prompter_.Answer(false);
        QTest::keyClick(&sheet, Qt::Key_Escape);
        EXPECT_TRUE(sheet.isVisible());
        prompter_.Answer(false);
        sheet.close();
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_EQ(Coils().size(), coils);

        prompter_.Answer(true);
        QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
    });
    EXPECT_FLOAT_EQ(Contrast(), 4.0f);
    EXPECT_EQ(State(), kStateNormal);
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilRemoteSetup, kCoilDiscard}));
    std::vector<std::string> questions;
    for (const auto& box : prompter_.Boxes())
        questions.push_back(box.text);
    EXPECT_EQ(questions,
              (std::vector<std::string>{"Entering set-up mode. Do you want to continue ?",
                                        "Exit set-up WITHOUT save ?", "Exit set-up WITHOUT save ?",
                                        "Exit set-up WITHOUT save ?"}));
    panel.done(QDialog::Rejected);
}

TEST_F(SetupSheetWindowTest, ShowSetupRefreshesTheCurrentPageAndEscapeLeavesWithoutQuestions) {
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode{}, prompter_);
    ASSERT_TRUE(sheet.Start());
    sheet.show();
    CKelSetUpPage* general = sheet.Page(0);
    general->SetManualTicks(true);
    EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "4");
    Kel([](sim::Kel7Model& m) { m.SetNormalValue(kContrast, 7.0f); });
    general->OnTimer(); // phase 0 reads the normal values
    EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "7");

    // The instrument goes silent: dashes, no message.
    bus_.Detach(kAddress);
    for (int tick = 0; tick < 4; ++tick)
        general->OnTimer();
    EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "----------");

    // Another tab polls instead; the General page stops.
    sheet.Tabs()->setCurrentIndex(2);
    EXPECT_FALSE(general->TimerActive());
    EXPECT_TRUE(sheet.CurrentPage()->TimerActive());
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(sheet.CurrentPage()->TimerActive());
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(SetupSheetWindowTest, ASheetThatCannotEnterSetupIsNeverShown) {
    // The instrument refuses remote set-up while it is in local set-up.
    Kel([](sim::Kel7Model& m) { m.SetState(3); });
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode{true, false, false}, prompter_);
    EXPECT_FALSE(sheet.Start());
    EXPECT_EQ(sheet.Tabs()->count(), 0);
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(Coils(), std::vector<int>{kCoilRemoteSetup});
}

} // namespace
} // namespace quarnex::test
