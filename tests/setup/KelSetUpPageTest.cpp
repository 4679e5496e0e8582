// A page of the set-up sheet against the simulated KEL 7: what it reads when, what its rows show
// after a failed read and after an edit, and what ">>" asks the editor for.
#include "sim/Kel7Fixture.h"

#include "edit/ValueEntry.h"
#include "instrument/SetupParameterTable.h"
#include "setup/CalibrationPages.h"
#include "setup/KelSetUpPage.h"
#include "setup/KelSetUpSheet.h"

namespace quarnex::test {
namespace {

using namespace sim::kel7;

constexpr size_t kContrastRow = 3; // General: "Display contrast:"
constexpr size_t kOperatorLockRow = 10;
constexpr size_t kOperatorCodeRow = 11;

class KelSetUpPageTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
    }
    std::unique_ptr<KelSetUpSheet> Open(bool edit) {
        auto sheet = std::make_unique<KelSetUpSheet>(
            *master_, 1, edit ? SheetMode::EditSetup : SheetMode::ShowSetup, prompter_);
        EXPECT_TRUE(sheet->Create()) << prompter_.LastText();
        return sheet;
    }
    KelSetUpPage Page(KelSetUpSheet& sheet, PageId id) {
        return KelSetUpPage(sheet.Source(), SetupPage(id), EditsSetup(sheet.Mode()));
    }
    size_t Requests() { return bus_.RequestCount(1); }
    size_t Writes() {
        return With(1, [](sim::Kel7Model& m) { return m.Writes().size(); });
    }
    // The requests one ReadNormal of this instrument takes.
    size_t ReadNormalRequests(KelSetUpSheet& sheet) {
        const size_t before = Requests();
        EXPECT_TRUE(sheet.Setup().ReadNormal(*master_, {.messages = &prompter_}));
        return Requests() - before;
    }
};

TEST_F(KelSetUpPageTest, EditModeLooksWithoutTrafficAndEachEditCostsOneWriteAndOneReadNormal) {
    auto sheet = Open(true);
    const size_t readNormal = ReadNormalRequests(*sheet);
    ASSERT_GT(readNormal, 0u);

    // Going through every page and looking costs nothing on the bus. Every shown row offers its
    // ">>" unless the instrument fixes or measures the value itself. The Calibration page reads
    // the live measurement on its own timer, but not when it is merely brought to the front.
    const size_t before = Requests();
    std::vector<KelSetUpPage> pages;
    int withoutButton = 0;
    for (PageId id : sheet->Pages()) {
        SCOPED_TRACE(static_cast<int>(id));
        pages.push_back(Page(*sheet, id));
        EXPECT_EQ(pages.back().Activate(), KelSetUpPage::kNoTimer);
        for (const RowDisplay& row : pages.back().Rows()) {
            EXPECT_EQ(row.editButton, row.state.shown && row.state.button) << row.label;
            withoutButton += row.state.shown && !row.state.button;
        }
        if (id == PageId::Calibration) {
            CalibrationLive live(sheet->Source(), true);
            EXPECT_EQ(live.Activate(), CalibrationLive::kEditPeriodMs);
        }
    }
    // "Filter time:" of a filter type other than "Special", the six measured transducer signals
    // of the factory deadweight calibration, and "Derivation time:" under automatic derivation.
    EXPECT_EQ(withoutButton, 1 + 6 + 1);
    EXPECT_EQ(Requests(), before);

    KelSetUpPage& general = pages.front();
    EXPECT_EQ(general.Rows()[kContrastRow].value, "4");
    const EditRequest request = general.EditRequestFor(kContrastRow);
    ASSERT_EQ(request.editor, EditorKind::Choice);
    EXPECT_EQ(request.caption, "Display contrast:");
    EXPECT_EQ(request.currentIndex, 4);

    // A cancelled editor: nothing read.
    general.EditEnded(kContrastRow, false);
    EXPECT_EQ(Requests(), before);

    const size_t writesBefore = Writes();
    ASSERT_EQ(sheet->Source().MakeChoice(request)->Ok(6), EntryResult::Accepted);
    general.EditEnded(kContrastRow, true);
    EXPECT_EQ(Writes() - writesBefore, 1u);
    EXPECT_EQ(Requests() - before, 1 + readNormal);
    EXPECT_EQ(general.Rows()[kContrastRow].value, "6");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(KelSetUpPageTest, SwitchingALockOnShowsTheMaskedCodeAfterTheReRead) {
    auto sheet = Open(true);
    KelSetUpPage general = Page(*sheet, PageId::General);
    general.Activate();
    const RowDisplay& code = general.Rows()[kOperatorCodeRow];
    EXPECT_EQ(code.value, "");
    EXPECT_FALSE(code.state.enabled);

    const EditRequest lock = general.EditRequestFor(kOperatorLockRow);
    ASSERT_EQ(sheet->Source().MakeChoice(lock)->Ok(1), EntryResult::Accepted);
    general.EditEnded(kOperatorLockRow, true);
    EXPECT_EQ(general.Rows()[kOperatorCodeRow].value, "* * * *");
    EXPECT_TRUE(general.Rows()[kOperatorCodeRow].state.enabled);
    // The code's editor starts from the real code.
    EXPECT_EQ(general.EditRequestFor(kOperatorCodeRow).currentText, "1234");
}

TEST_F(KelSetUpPageTest, ASpecialParameterIsWrittenToItsBlockAndThatBlockIsReadAgain) {
    auto sheet = Open(true);
    KelSetUpPage special = Page(*sheet, PageId::SpecialMenu);
    special.Activate();
    const EditRequest request = special.EditRequestFor(0);
    ASSERT_EQ(request.reread.block, SetupBlock::Special);
    ASSERT_EQ(sheet->Source().MakeNumber(request)->Ok("7"), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(With(1, [](sim::Kel7Model& m) { return m.SpecialValue(0); }), 7.0f);
    special.EditEnded(0, true);
    EXPECT_EQ(sheet->Setup().Value(SetupParameterTable::kSpecialFirst), 7.0);
}

TEST_F(KelSetUpPageTest, ShowModeDashesWhileTheInstrumentIsSilentAndRecoversByItself) {
    auto sheet = Open(false);
    KelSetUpPage general = Page(*sheet, PageId::General);
    for (const RowDisplay& row : general.Rows())
        EXPECT_FALSE(row.editButton);

    bus_.Detach(1);
    EXPECT_EQ(general.Activate(), ShowModeRefresh::kPeriodMs);
    for (const RowDisplay& row : general.Rows())
        EXPECT_EQ(row.value, "----------") << row.label;
    EXPECT_TRUE(prompter_.Boxes().empty());

    // Back on the bus with a new value: within four ticks the page shows it.
    AddKel7(1);
    With(1, [](sim::Kel7Model& m) { m.SetNormalValue(3, 2.0f); });
    for (int tick = 0; tick < 4; ++tick)
        EXPECT_EQ(general.Tick(), ShowModeRefresh::kPeriodMs);
    EXPECT_EQ(general.Rows()[kContrastRow].value, "2");
    EXPECT_EQ(general.Rows()[kOperatorCodeRow].value, ""); // the lock rule is back too
    for (const RowDisplay& row : general.Rows())
        EXPECT_FALSE(row.editButton);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// The simulated instrument takes every position of every list the pages offer and refuses the
// first position beyond, so the lists and the instrument's range checks agree; numbers, codes,
// adjustments and special parameters take the value they hold.
TEST_F(KelSetUpPageTest, EveryRowOfThePagesIsWritableWithinItsRangeAndRefusedBeyond) {
    auto sheet = Open(true);
    const InstrumentSetup& setup = sheet->Setup();
    auto write = [&](int reg, double value) {
        const float f = static_cast<float>(value);
        return master_->WriteFloatRegisters(1, reg, 1, &f);
    };
    int rows = 0;
    int refusedPoints = 0;
    for (PageId id : sheet->Pages())
        for (size_t i = 0; i < SetupPage(id).rows.size(); ++i) {
            const PageRow& row = SetupPage(id).rows[i];
            if (row.kind != RowKind::Parameter || !PageRowState(SetupPage(id), i, setup).shown)
                continue; // a batching row, or a special parameter the instrument does not have
            const EditRequest request = RowEditRequest(row, setup);
            const double value = setup.Value(row.parameter);
            SCOPED_TRACE(request.caption);
            ++rows;
            // A deadweight calibration has only as many points as "Number of calib. points:"
            // says; the instrument refuses a point beyond them (the page disables its row).
            const int point = row.parameter - calib::kPointValue1;
            if (point >= 0 && point < calib::kMaxPoints &&
                ChoiceOf(setup.Value(calib::kType)) == calib::kDeadweight &&
                point >= ChoiceOf(setup.Value(calib::kPoints))) {
                EXPECT_FALSE(PageRowState(SetupPage(id), i, setup).enabled);
                EXPECT_EQ(write(request.reg, value), CommStatus::IllegalDataValue);
                ++refusedPoints;
                continue;
            }
            if (request.editor == EditorKind::Choice) {
                const int count = request.finalChoice - request.firstChoice + 1;
                EXPECT_EQ(write(request.reg, count - 1), CommStatus::Ok);
                EXPECT_EQ(write(request.reg, count), CommStatus::IllegalDataValue);
            }
            EXPECT_EQ(write(request.reg, value), CommStatus::Ok); // and back
        }
    // General, Calib param, Calibration (type and the 16 rows of a deadweight calibration),
    // Communication, Level supervision, Inputs, Outputs, Analogue outputs, Flow rate, Special
    // menu (the activity and recipe pages' rows are batching values, tested with their dialogs).
    EXPECT_EQ(rows, 14 + 18 + 17 + 22 + 26 + 18 + 18 + 14 + 4 + setup.Info().specialCount);
    EXPECT_EQ(refusedPoints, 4); // the factory calibration has two points
    // Nothing changed in the end: the check passes and nothing was shown.
    EXPECT_EQ(master_->WriteSingleCoil(1, kCoilCheck, true), CommStatus::Ok);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// A value out of range that reached the instrument by another way (a local set-up, an old
// program version) is named by the check with its register.
TEST_F(KelSetUpPageTest, TheCheckNamesTheRegisterOfAValueOutOfRange) {
    auto sheet = Open(true);
    With(1, [](sim::Kel7Model& m) { m.SetNormalValue(3, 9.0f); }); // contrast has 0-7
    EXPECT_EQ(master_->WriteSingleCoil(1, kCoilCheck, true), CommStatus::IllegalDataValue);
    EXPECT_EQ(Reg(1, kCommandError), sheet->Setup().NormalRegister(3));
}

} // namespace
} // namespace quarnex::test
