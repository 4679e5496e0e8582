// The Calibration page's live part against the simulated KEL 7: the measured values, the
// unstored points, the shunt resistor, and a whole deadweight calibration through the sheet.
#include "sim/Kel7Fixture.h"

#include "edit/ValueEntry.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/Registers.h"
#include "setup/CalibrationPages.h"
#include "setup/KelSetUpSheet.h"

#include <algorithm>

namespace quarnex::test {
namespace {

using namespace sim::kel7;

size_t RowOf(int parameter) {
    const PageDescriptor& page = CalibrationPage();
    for (size_t i = 0; i < page.rows.size(); ++i)
        if (page.rows[i].parameter == parameter)
            return i;
    ADD_FAILURE() << "no row for " << parameter;
    return 0;
}

class CalibrationLiveTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
    }
    // Opens the sheet (remote set-up in edit mode) and the page on it.
    void Open(bool edit = true) {
        sheet_ = std::make_unique<KelSetUpSheet>(
            *master_, 1, edit ? SheetMode::EditSetup : SheetMode::ShowSetup, prompter_);
        ASSERT_TRUE(sheet_->Create()) << prompter_.LastText();
        page_ = std::make_unique<CalibrationLive>(sheet_->Source(), edit);
    }
    const RowDisplay& Row(int parameter) { return page_->Rows().at(RowOf(parameter)); }
    int CoilCount(int coil) {
        return With(1, [coil](sim::Kel7Model& m) {
            return static_cast<int>(
                std::count_if(m.Commands().begin(), m.Commands().end(),
                              [coil](const auto& c) { return c.coil == coil; }));
        });
    }
    // Register writes into the normal set-up block (the batching selectors are written by reads).
    int NormalWrites() {
        return With(1, [](sim::Kel7Model& m) {
            return static_cast<int>(
                std::count_if(m.Writes().begin(), m.Writes().end(), [](const auto& w) {
                    return w.reg >= kFirstNormal && w.reg < kFirstSpecial;
                }));
        });
    }
    void Load(double load) {
        With(1, [load](sim::Kel7Model& m) { m.SetLoad(load); });
    }
    // The number dialog's logic of a row, as the one editor dispatcher makes it; null when the
    // row cannot be edited now.
    std::unique_ptr<NumericEntry> Number(int parameter) {
        const auto request = page_->Edit(RowOf(parameter));
        return request ? sheet_->Source().MakeNumber(*request) : nullptr;
    }
    // A value typed into the number dialog of a row.
    EntryResult Enter(int parameter, const std::string& text) {
        auto entry = Number(parameter);
        EXPECT_TRUE(entry) << parameter;
        if (!entry)
            return EntryResult::Rejected;
        const EntryResult result = entry->Ok(text);
        page_->EditEnded(RowOf(parameter), result == EntryResult::Accepted);
        return result;
    }

    std::unique_ptr<KelSetUpSheet> sheet_;
    std::unique_ptr<CalibrationLive> page_;
};

TEST_F(CalibrationLiveTest, EditModeShowsTheLiveWeightAndSignalAsTheLoadMoves) {
    Load(123.4);
    Open();
    EXPECT_EQ(page_->Activate(), 100);
    EXPECT_EQ(page_->GrossText(), "----------"); // nothing measured yet
    EXPECT_EQ(page_->Tick(), 100);
    EXPECT_EQ(page_->GrossText(), "123.4");
    EXPECT_EQ(page_->SignalText(), "0.34680"); // 0.1 mV/V + 2 mV/V per 1000
    EXPECT_EQ(Row(55).value, "123.4");         // "Set zero:" shows the live weight
    EXPECT_EQ(Row(55).label, "Set zero:");
    Load(500);
    page_->Tick();
    EXPECT_EQ(page_->GrossText(), "500.0");
    EXPECT_EQ(Row(55).value, "500.0");
    // The factory calibration is a stored deadweight one: no marks, no information.
    EXPECT_EQ(page_->UnstoredMask(), 0);
    EXPECT_EQ(page_->InfoText(), "");
}

TEST_F(CalibrationLiveTest, UnstoredPointsAreMarkedAndExplained) {
    Open();
    ASSERT_EQ(WriteFloat(1, 41000 + 2 * 40, 3.0f), CommStatus::Ok); // three points
    With(1, [](sim::Kel7Model& m) { m.SetUnstoredMask(2); });       // point 2 entered, not stored
    page_->Activate();
    page_->EditEnded(RowOf(40), true); // the page reads again as after an edit
    page_->Tick();
    EXPECT_EQ(page_->UnstoredMask(), 2);
    EXPECT_EQ(Row(41).label, "Value in calib. point 1:");
    EXPECT_EQ(Row(42).label, "* Value in calib. point 2:");
    EXPECT_EQ(Row(43).label, "Value in calib. point 3:");
    EXPECT_EQ(page_->InfoText(), "* Calibration point not stored !\n   (calibration in progress)");

    With(1, [](sim::Kel7Model& m) { m.SetUnstoredMask(0); });
    page_->Tick();
    EXPECT_EQ(Row(42).label, "Value in calib. point 2:");
    EXPECT_EQ(page_->InfoText(), "");
}

TEST_F(CalibrationLiveTest, PointButtonsWaitForTheInstrumentToMeasure) {
    Open();
    page_->Activate();
    page_->Tick();
    ASSERT_TRUE(page_->PointEdit());
    EXPECT_TRUE(Row(40).editEnabled);
    EXPECT_TRUE(Row(41).editEnabled);
    EXPECT_FALSE(Row(47).editButton); // the signal is measured, never entered
    EXPECT_EQ(page_->Edit(RowOf(41))->extraTimeout, 15000);
    EXPECT_EQ(page_->Edit(RowOf(55))->currentText, "0.0");
    EXPECT_EQ(page_->Edit(RowOf(55))->extraTimeout, 15000);
    EXPECT_EQ(page_->Edit(RowOf(54))->editor, EditorKind::Shunt);
    EXPECT_EQ(page_->Edit(RowOf(32))->confirmation,
              "Do you want to start a new calibration?\n (Current calibration will be lost)");

    // A moving weight: the instrument cannot measure, the buttons are held back.
    With(1, [](sim::Kel7Model& m) { m.SetMotion(true); });
    page_->Tick();
    EXPECT_FALSE(page_->PointEdit());
    EXPECT_FALSE(Row(40).editEnabled);
    EXPECT_FALSE(Row(41).editEnabled);
    EXPECT_TRUE(Row(41).state.enabled); // the row itself stays readable
    EXPECT_FALSE(page_->Edit(RowOf(41)));
    EXPECT_FALSE(Number(41));
    EXPECT_TRUE(Row(55).editEnabled);
}

TEST_F(CalibrationLiveTest, ALeftOverShuntResistorIsTakenOffAtOnceAndEveryEleventhTick) {
    Open();
    page_->Activate();
    // The instrument keeps reporting error 19 whatever is sent.
    With(1, [](sim::Kel7Model& m) {
        m.SetError(19);
        m.ClearLogs();
    });
    std::vector<int> sentAt;
    for (int tick = 1; tick <= 23; ++tick) {
        const int before = CoilCount(kCoilShuntOff);
        page_->Tick();
        if (CoilCount(kCoilShuntOff) > before)
            sentAt.push_back(tick);
        EXPECT_EQ(page_->GrossText(), "----------");
        EXPECT_EQ(page_->SignalText(), "----------");
    }
    EXPECT_EQ(sentAt, (std::vector<int>{1, 12, 23}));
    EXPECT_TRUE(prompter_.Boxes().empty()); // silent

    // A real resistor: one command takes it off and the weight comes back.
    With(1, [](sim::Kel7Model& m) { m.SetError(0); });
    page_->Tick(); // a good weight resets the countdown
    ASSERT_EQ(Coil(1, kCoilShuntOn), CommStatus::Ok);
    page_->Tick();
    EXPECT_FALSE(With(1, [](sim::Kel7Model& m) { return m.ShuntConnected(); }));
    page_->Tick();
    EXPECT_EQ(page_->GrossText(), "0.0");
}

TEST_F(CalibrationLiveTest, ShuntDialogRefusesWithoutAValidWeightSignalAndSendsNothing) {
    Open();
    page_->Activate();
    page_->Tick();
    auto shunt = sheet_->Source().MakeShunt(page_->Edit(RowOf(54)).value());
    ASSERT_TRUE(shunt);
    EXPECT_EQ(shunt->Caption(), "Shunt transducer signal:");
    With(1, [](sim::Kel7Model& m) {
        m.SetError(4); // overload
        m.ClearLogs();
    });
    shunt->Tick();
    EXPECT_FALSE(shunt->Connect());
    EXPECT_EQ(prompter_.LastText(), "Weight signal not valid!");
    EXPECT_TRUE(With(1, [](sim::Kel7Model& m) { return m.Commands().empty(); }));

    // With a valid signal the measured shunt signal is stored, and the resistor taken off.
    With(1, [](sim::Kel7Model& m) { m.SetError(0); });
    shunt->Tick();
    ASSERT_TRUE(shunt->Connect());
    shunt->Tick();
    ASSERT_TRUE(shunt->Ready());
    EXPECT_EQ(shunt->MeasuredText(), "1.10000");
    EXPECT_EQ(shunt->Ok(""), EntryResult::Accepted);
    page_->EditEnded(RowOf(54), true);
    EXPECT_EQ(Row(54).value, "1.10000");
    EXPECT_FALSE(With(1, [](sim::Kel7Model& m) { return m.ShuntConnected(); }));
}

TEST_F(CalibrationLiveTest, ShowModeHasNoLiveValuesAndNoButtons) {
    Load(250);
    With(1, [](sim::Kel7Model& m) { m.SetUnstoredMask(1); });
    Open(false);
    EXPECT_EQ(page_->Activate(), 500);
    // One read a tick, as on every page: the unstored points are read on a tick of their own.
    const auto readsMask = [](const std::vector<uint8_t>& r) {
        return r.size() >= 4 && r[1] == 3 &&
               (r[2] << 8 | r[3]) == quarnex::reg::kUnstoredPoints - 40001;
    };
    int maskReads = 0;
    for (int tick = 0; tick < 4; ++tick) {
        bus_.ClearRequests();
        EXPECT_EQ(page_->Tick(), 500);
        const auto requests = bus_.Requests();
        if (std::any_of(requests.begin(), requests.end(), readsMask)) {
            ++maskReads;
            EXPECT_EQ(requests.size(), 1u) << "tick " << tick;
        }
        EXPECT_EQ(page_->GrossText(), "----------");
        EXPECT_EQ(Row(55).value, "----------");
        for (const RowDisplay& row : page_->Rows())
            EXPECT_FALSE(row.editButton) << row.label;
        EXPECT_FALSE(page_->Edit(RowOf(32)));
    }
    // The normal values were read, and after them the mask.
    EXPECT_GE(maskReads, 1);
    EXPECT_EQ(page_->UnstoredMask(), 1);
    EXPECT_EQ(Row(41).label, "* Value in calib. point 1:");
    EXPECT_EQ(Row(32).value, "Deadweight");
    // Nothing was written.
    EXPECT_EQ(NormalWrites(), 0);
}

// A two-point deadweight calibration from the type change to OK: a test weight of 500 entered as
// 250 makes the instrument read half the load afterwards.
TEST_F(CalibrationLiveTest, WholeDeadweightCalibrationThroughTheSheet) {
    Open();
    page_->Activate();
    page_->Tick();

    // The warning answered No: nothing is written, the dialog still ends with OK (the page reads
    // again and shows the unchanged type).
    auto type = sheet_->Source().MakeChoice(page_->Edit(RowOf(32)).value());
    ASSERT_TRUE(type);
    prompter_.Answer(false);
    EXPECT_EQ(type->Ok(calib::kDataSheet), EntryResult::Accepted);
    EXPECT_EQ(NormalWrites(), 0);
    // Yes: a new deadweight calibration, both points unstored.
    prompter_.Answer(true);
    ASSERT_EQ(type->Ok(calib::kDeadweight), EntryResult::Accepted);
    page_->EditEnded(RowOf(32), true);
    page_->Tick();
    EXPECT_EQ(page_->UnstoredMask(), 3);
    EXPECT_EQ(Row(41).label, "* Value in calib. point 1:");
    EXPECT_EQ(Row(42).label, "* Value in calib. point 2:");
    EXPECT_NE(page_->InfoText(), "");
    EXPECT_EQ(Enter(40, "2"), EntryResult::Accepted);

    // OK now: the check refuses with 168; No keeps the sheet open in remote set-up.
    prompter_.Clear();
    prompter_.Answer(true);  // save and exit?
    prompter_.Answer(false); // save all the same?
    EXPECT_FALSE(sheet_->OkCheck());
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_EQ(prompter_.Boxes()[1].text, SaveWarningText(168));
    EXPECT_NE(prompter_.Boxes()[1].text.find("err. 168"), std::string::npos);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.State(); }), kStateRemoteSetup);

    // Point 1 with the empty scale, point 2 with 500 on it.
    Load(0);
    page_->Tick();
    EXPECT_EQ(Number(41)->ExtraTimeout(), 15000); // measured first
    EXPECT_EQ(Enter(41, "0"), EntryResult::Accepted);
    EXPECT_EQ(page_->UnstoredMask(), 3); // until the next tick reads it
    page_->Tick();
    EXPECT_EQ(page_->UnstoredMask(), 2);
    EXPECT_EQ(Row(41).label, "Value in calib. point 1:");
    Load(500);
    page_->Tick();
    // A refused point is explained with the instrument's reason; the dialog stays open.
    prompter_.Clear();
    EXPECT_EQ(Enter(42, "-10"), EntryResult::StayOpen);
    EXPECT_NE(prompter_.LastText().find("Illegal calibration direction (Err. 167)"),
              std::string::npos)
        << prompter_.LastText();
    EXPECT_EQ(Enter(42, "250"), EntryResult::Accepted);
    page_->Tick();
    EXPECT_EQ(page_->UnstoredMask(), 0);
    EXPECT_EQ(page_->InfoText(), "");
    EXPECT_EQ(Row(42).label, "Value in calib. point 2:");
    EXPECT_EQ(Row(48).value, "1.10000"); // the signal the instrument measured at point 2
    EXPECT_EQ(page_->GrossText(), "250.0");

    // OK again: the check passes and the set-up is saved.
    prompter_.Clear();
    prompter_.Answer(true);
    EXPECT_TRUE(sheet_->OkCheck()) << prompter_.LastText();
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.State(); }), kStateNormal);
    Load(800);
    EXPECT_DOUBLE_EQ(Weight(1, kGrossWeight), 400.0);
    EXPECT_EQ(Float(1, 41000 + 2 * 32), 1.0f);
    EXPECT_EQ(Float(1, 41000 + 2 * 42), 250.0f);
}

} // namespace
} // namespace quarnex::test
