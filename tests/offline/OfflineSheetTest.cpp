// Editing a set-up file away from the instrument: the same edits made through the sheet over a
// simulated KEL 7 and through the sheet over its backup leave both set-ups equal (so the file
// source takes every write where the instrument does); the saved file reloads, and restores into
// another instrument with the edited values.
#include "offline/OfflineSheet.h"
#include "../files/TempFolder.h"
#include "comm/ModbusMaster.h"
#include "edit/ValueEntry.h"
#include "files/Backup.h"
#include "files/Restore.h"
#include "instrument/ValueFormat.h"
#include "offline/SetupCompare.h"
#include "setup/BatchingPages.h"
#include "setup/CalibrationPages.h"
#include "setup/KelSetUpPage.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"
#include "support/SingleKel7Fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quarnex::test {
namespace {

constexpr int kSpare = 3; // a second KEL 7 with its factory set-up

struct Edit {
    EditRequest request;
    std::string text; // Number, Code, Special, Text
    int index = 0;    // Choice, ActivityChoice
};

// The request of an edit comes from the set-up the source shows, as the page makes it.
using MakeEdit = std::function<Edit(SetupSource& source)>;

EntryResult Apply(SetupSource& source, const Edit& e) {
    const EditRequest& r = e.request;
    EntryResult result = EntryResult::Rejected;
    if (r.editor == EditorKind::Choice || r.editor == EditorKind::ActivityChoice)
        result = source.MakeChoice(r)->Ok(e.index);
    else if (r.editor == EditorKind::Text)
        result = source.MakeText(r)->Ok(e.text);
    else
        result = source.MakeNumber(r)->Ok(e.text);
    if (result == EntryResult::Accepted)
        ReadAfterEdit(source, r);
    return result;
}

Edit PageEdit(SetupSource& s, PageId page, size_t row, std::string text, int index = 0) {
    return {KelSetUpPage(s, SetupPage(page), true).EditRequestFor(row), std::move(text), index};
}

// One row of every editor kind on every kind of page.
const std::vector<MakeEdit>& SetupEdits() {
    static const std::vector<MakeEdit> edits = {
        [](SetupSource& s) { return PageEdit(s, PageId::General, 3, "", 5); }, // choice
        [](SetupSource& s) { return PageEdit(s, PageId::CalibParam, 2, "5000"); },
        [](SetupSource& s) { return PageEdit(s, PageId::General, 11, "1234"); }, // a lock code
        [](SetupSource& s) { return PageEdit(s, PageId::SpecialMenu, 0, "7"); },
    };
    return edits;
}
const std::vector<MakeEdit>& BatchEdits() {
    static const std::vector<MakeEdit> edits = {
        [](SetupSource& s) {
            return Edit{RowEditRequest(GeneralBatchRow(2), s.Setup()), "", 1};
        },
        [](SetupSource& s) {
            return Edit{RowEditRequest(ActivityValueRow(3, 1), s.Setup()), "", 1};
        },
        [](SetupSource& s) { // "Activity type:" of an unused activity: Weigh in
            return Edit{RowEditRequest(ActivityValueRow(8, 0), s.Setup()), "", 1};
        },
        [](SetupSource& s) {
            return Edit{RowEditRequest(ActivityValueRow(3, 11), s.Setup()), "4.5"};
        },
        [](SetupSource& s) {
            return Edit{RowEditRequest(ActivityValueRow(3, kActivityNameRow), s.Setup()), "Mixer"};
        },
        [](SetupSource& s) {
            return Edit{RowEditRequest(RecipeLineRow(2, 16, false), s.Setup()), "", 1};
        },
        [](SetupSource& s) {
            return Edit{RowEditRequest(RecipeLineRow(2, 1, true), s.Setup()), "42"};
        },
        [](SetupSource& s) {
            return Edit{RowEditRequest(RecipeNameRow(2), s.Setup()), "Bread"};
        },
    };
    return edits;
}

class OfflineSheetTest : public SingleKel7Fixture {
protected:
    void SetUp() override {
        SingleKel7Fixture::SetUp();
        bus_.Attach(kSpare, sim::MakeKel7({}));
        Backup backup(*master_, kAddress, itype::kKel7, prompter_, progress_);
        ASSERT_EQ(backup.Run(source_, "first line\r\nsecond line", false),
                  Backup::Result::Succeeded);
        sheet_ =
            std::make_unique<OfflineSetupSheet>(source_, prompter_, [this](OfflineSetupSheet& s) {
                return s.Save(saved_, "edited offline");
            });
        sheet_->SetClock([] { return std::time_t(1700000000); });
        ASSERT_TRUE(sheet_->Create()) << prompter_.LastText();
    }
    // The same edits through the sheet over the instrument, in its set-up mode, saved there.
    void EditInstrument(SheetMode mode, const std::vector<MakeEdit>& edits) {
        KelSetUpSheet sheet(*master_, kAddress, mode, prompter_);
        ASSERT_TRUE(sheet.Create()) << prompter_.LastText();
        for (const MakeEdit& edit : edits)
            ASSERT_EQ(Apply(sheet.Source(), edit(sheet.Source())), EntryResult::Accepted)
                << prompter_.LastText();
        prompter_.Answer(true); // "Save set-up and exit ?"
        ASSERT_TRUE(sheet.OkCheck()) << prompter_.LastText();
    }
    SetupFileImage Instrument(int address) {
        SetupFileImage image;
        EXPECT_TRUE(ReadInstrumentImage(*master_, address, prompter_, progress_, image))
            << prompter_.LastText();
        return image;
    }
    static std::string FileText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempFolder dir_;
    ScriptedProgress progress_;
    const std::string source_ = dir_.File("unit1.kel");
    const std::string saved_ = dir_.File("unit1-edited.kel");
    std::unique_ptr<OfflineSetupSheet> sheet_;
};

TEST_F(OfflineSheetTest, EditsTakeEffectAsOnTheInstrumentAndTheSavedFileRestoresThem) {
    EXPECT_EQ(sheet_->Caption(), "unit1.kel (Offline)");
    EXPECT_EQ(sheet_->Pages(), SheetPages(SheetMode::EditSetup, sheet_->Image().setup.Info()));
    EXPECT_EQ(sheet_->InfoText(), "first line\r\nsecond line");
    SetupSource& offline = sheet_->Source();
    EXPECT_FALSE(offline.CanMeasure());
    for (const auto* edits : {&SetupEdits(), &BatchEdits()})
        for (const MakeEdit& edit : *edits)
            ASSERT_EQ(Apply(offline, edit(offline)), EntryResult::Accepted) << prompter_.LastText();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_FALSE(CompareSetups(Instrument(kAddress), sheet_->Image()).Equal());

    EditInstrument(SheetMode::EditSetup, SetupEdits());
    EditInstrument(SheetMode::EditBatching, BatchEdits());
    const SetupFileImage edited = Instrument(kAddress);
    EXPECT_TRUE(CompareSetups(edited, sheet_->Image()).Equal())
        << DiffText(CompareSetups(edited, sheet_->Image()), "instrument", "offline").back();

    // OK saves through the window's dialog: a new file, the source untouched.
    const std::string before = FileText(source_);
    prompter_.Clear();
    ASSERT_TRUE(sheet_->OkCheck()) << prompter_.LastText();
    EXPECT_EQ(FileText(source_), before);
    SetupFileImage saved;
    ASSERT_EQ(LoadSetupFileImage(saved_, saved, prompter_), SetupFileStatus::kOk);
    EXPECT_TRUE(CompareSetups(saved, edited).Equal());
    EXPECT_EQ(saved.userInfo.front(), "edited offline");
    EXPECT_NE(saved.fileIdTime, sheet_->Image().fileIdTime);

    Restore restore(*master_, kSpare, itype::kKel7, prompter_, progress_);
    std::string info;
    ASSERT_TRUE(restore.LoadFile(saved_, info)) << prompter_.LastText();
    prompter_.Answer(true); // "You are about to load new set-up data ..."
    ASSERT_EQ(restore.Run({}, false), Restore::Result::Succeeded) << restore.ReportText();
    EXPECT_TRUE(CompareSetups(Instrument(kSpare), saved).Equal());
}

TEST_F(OfflineSheetTest, WhatOnlyTheInstrumentCanDoIsHeldBackAndValuesKeepTheirDecimals) {
    SetupSource& offline = sheet_->Source();
    const EditRequest fine = RowEditRequest(ActivityValueRow(1, 6), offline.Setup());
    ASSERT_EQ(fine.currentText, "20.0"); // "Fine value:", one decimal
    EXPECT_EQ(offline.MakeNumber(fine)->Ok("25.05"), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), "This value can have no more decimals than it shows (1).");
    EXPECT_EQ(offline.MakeNumber(fine)->Ok("2.51e1"), EntryResult::Accepted);

    KelSetUpPage outputs(offline, SetupPage(PageId::AnalogueOutputs), true);
    outputs.Activate();
    ASSERT_EQ(outputs.Descriptor().rows[4].editor, EditorKind::Adjust);
    EXPECT_FALSE(outputs.Rows()[4].editEnabled);
    EXPECT_EQ(offline.MakeAdjustment(outputs.EditRequestFor(4)), nullptr);

    CalibrationLive calibration(offline, true);
    calibration.Activate();
    calibration.Tick();
    EXPECT_EQ(calibration.GrossText(), placeholder::kSetupValue);
    for (size_t i = 0; i < calibration.Rows().size(); ++i) {
        const int n = CalibrationPage().rows[i].parameter;
        if (n == calib::kSetZero || n == calib::kShuntSignal) {
            EXPECT_FALSE(calibration.Edit(i)) << n;
        }
    }
}

TEST_F(OfflineSheetTest, SavingAsksBeforeTheSourceAndLeavingAsksBeforeLosingEdits) {
    EXPECT_TRUE(sheet_->CancelCheck()); // nothing changed: no question
    EXPECT_TRUE(prompter_.Boxes().empty());
    SetupSource& offline = sheet_->Source();
    ASSERT_EQ(Apply(offline, SetupEdits()[1](offline)), EntryResult::Accepted);
    prompter_.Answer(false);
    EXPECT_FALSE(sheet_->CancelCheck());

    const std::string before = FileText(source_);
    EXPECT_FALSE(sheet_->Save("", ""));                            // no file chosen
    EXPECT_FALSE(sheet_->Save(saved_, std::string(9 * 150, 'x'))); // more than eight lines
    prompter_.Answer(false);
    EXPECT_FALSE(sheet_->Save(source_, "")); // the source itself: asked, answered No
    EXPECT_EQ(FileText(source_), before);
    EXPECT_FALSE(std::filesystem::exists(saved_));
    prompter_.Answer(true);
    EXPECT_TRUE(sheet_->Save(source_, ""));
    EXPECT_NE(FileText(source_), before);
    EXPECT_TRUE(std::filesystem::exists(source_ + ".bak"));
    EXPECT_EQ(prompter_.PendingAnswers(), 0u);
}

TEST_F(OfflineSheetTest, AFileThatCannotBeSavedAgainIsNotOpened) {
    std::string text = FileText(source_);
    // A set-up without its recipes could not be written back whole.
    const size_t recipes = text.find("[RECIPE_SET_UP]");
    ASSERT_NE(recipes, std::string::npos);
    const size_t end = text.find("[End]", recipes);
    text.erase(recipes, end + 7 - recipes);
    std::ofstream(dir_.File("partial.kel"), std::ios::binary) << text;
    OfflineSetupSheet partial(dir_.File("partial.kel"), prompter_, {});
    prompter_.Clear();
    EXPECT_FALSE(partial.Create());
    EXPECT_FALSE(prompter_.Boxes().empty());
    EXPECT_TRUE(partial.Pages().empty());
}

} // namespace
} // namespace quarnex::test
