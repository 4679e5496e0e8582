// The one edit path over the connected instrument: one row of each editor kind on every kind of
// page, run through the source's editor logic and the one re-read, is taken by the instrument and
// followed by a read of the value's block, without a message.
#include "sim/Kel7Fixture.h"

#include "edit/ValueEntry.h"
#include "instrument/InstrumentSetup.h"
#include "setup/BatchingPages.h"
#include "setup/CalibrationPages.h"
#include "setup/KelSetUpPage.h"
#include "setup/KelSetUpSheet.h"

#include <memory>

namespace quarnex::test {
namespace {

struct Case {
    const char* name;
    EditRequest request;
    std::string text;   // Number, Code, Special, Text, Adjust
    int index = 0;      // Choice, ActivityChoice
    bool answer = true; // the confirmation's answer, if any
};

constexpr uint8_t kReadHolding = 0x03;

class EditPathTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
    }
    void Open(SheetMode mode) {
        sheet_ = std::make_unique<KelSetUpSheet>(*master_, 1, mode, prompter_);
        ASSERT_TRUE(sheet_->Create()) << prompter_.LastText();
    }
    InstrumentSetup& Copy() { return sheet_->Setup(); }

    // The source's editor logic, then ReadAfterEdit.
    EntryResult ThroughSource(const Case& c) {
        SetupSource& source = sheet_->Source();
        const EditRequest& r = c.request;
        EntryResult result = EntryResult::Rejected;
        switch (r.editor) {
        case EditorKind::Choice:
        case EditorKind::ActivityChoice:
            result = source.MakeChoice(r)->Ok(c.index);
            break;
        case EditorKind::Text:
            result = source.MakeText(r)->Ok(c.text);
            break;
        case EditorKind::Adjust: {
            auto entry = source.MakeAdjustment(r);
            EXPECT_TRUE(entry->Create());
            entry->Edited();
            result = entry->Ok(c.text);
            break;
        }
        default:
            result = source.MakeNumber(r)->Ok(c.text);
            break;
        }
        if (result == EntryResult::Accepted)
            ReadAfterEdit(source, r);
        return result;
    }
    void ExpectTakenAndReread(const std::vector<Case>& cases) {
        prompter_.Clear();
        size_t questions = 0;
        for (const Case& c : cases) {
            questions += c.request.confirmation.empty() ? 0 : 1;
            SCOPED_TRACE(c.name);
            if (!c.request.confirmation.empty())
                prompter_.Answer(c.answer);
            bus_.ClearRequests();
            EXPECT_EQ(ThroughSource(c), EntryResult::Accepted);
            const auto requests = bus_.Requests();
            ASSERT_FALSE(requests.empty());
            EXPECT_EQ(requests.back()[1], kReadHolding); // the block's read after the write
        }
        // Nothing failed: the only boxes are the confirmations asked.
        EXPECT_EQ(prompter_.Boxes().size(), questions) << prompter_.LastText();
    }

    std::unique_ptr<KelSetUpSheet> sheet_;
};

TEST_F(EditPathTest, DescriptorAndCalibrationPagesAreTakenAndReadAgainThroughTheSource) {
    Open(SheetMode::EditSetup);
    SetupSource& source = sheet_->Source();
    const auto row = [&](PageId id, size_t i) {
        return KelSetUpPage(source, SetupPage(id), true).EditRequestFor(i);
    };
    CalibrationLive calibration(source, true);
    calibration.Activate();
    calibration.Tick(); // the instrument can measure a point now
    const EditRequest type = calibration.Edit(0).value();
    const EditRequest points = calibration.Edit(8).value(); // "Number of calib. points:"
    ASSERT_EQ(points.editor, EditorKind::Number);
    const EditRequest adjust = row(PageId::AnalogueOutputs, 4);
    ASSERT_EQ(adjust.editor, EditorKind::Adjust);
    ExpectTakenAndReread({
        {"choice", row(PageId::General, 3), "", 5},
        {"number", row(PageId::CalibParam, 2), "5000", 0},
        {"code", row(PageId::General, 11), "1234", 0},
        {"adjust", adjust, std::to_string(adjust.currentInteger + 1), 0},
        {"special", row(PageId::SpecialMenu, 0), "7", 0},
        {"calibration type, warning answered No", type, "", calib::kDataSheet, false},
        {"calibration number", points, "2", 0},
    });
}

TEST_F(EditPathTest, ActivityAndRecipeDialogsAreTakenAndReadAgainThroughTheSource) {
    Open(SheetMode::EditBatching);
    const auto request = [this](const PageRow& row) { return RowEditRequest(row, Copy()); };
    ExpectTakenAndReread({
        {"general batching value", request(GeneralBatchRow(2)), "", 1},
        {"activity choice", request(ActivityValueRow(3, 1)), "", 1},
        {"activity number", request(ActivityValueRow(3, 11)), "4.5", 0},
        {"activity name", request(ActivityValueRow(3, kActivityNameRow)), "Mixer", 0},
        {"recipe line activity", request(RecipeLineRow(2, 16, false)), "", 1},
        {"recipe line set point", request(RecipeLineRow(2, 1, true)), "42", 0},
        {"recipe name", request(RecipeNameRow(2)), "Bread", 0},
    });
    EXPECT_TRUE(sheet_->CancelCheck());
}

} // namespace
} // namespace quarnex::test
