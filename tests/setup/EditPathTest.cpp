// The one edit path over the connected instrument: one row of each editor kind on every kind of
// page, run through the source's editor logic and the one re-read, puts on the bus exactly the
// requests that the editor configured by hand from the same request and the block's own read
// put there (the pages did that themselves before they shared the path): byte for byte, in order.
#include "sim/Kel7Fixture.h"

#include "edit/ValueEntry.h"
#include "instrument/InstrumentSetup.h"
#include "setup/BatchingPages.h"
#include "setup/CalibrationPages.h"
#include "setup/KelSetUpPage.h"
#include "setup/KelSetUpSheet.h"

#include <functional>
#include <memory>

namespace quarnex::test {
namespace {

using Reread = std::function<bool(ModbusMaster&, InstrumentSetup&, Prompter&)>;

struct Case {
    const char* name;
    EditRequest request;
    std::string text;   // Number, Code, Special, Text, Adjust
    int index = 0;      // Choice, ActivityChoice
    Reread reread;      // the read of the value's block, called directly
    bool answer = true; // the confirmation's answer, if any
};

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

    // The new path: the source's editor logic, then ReadAfterEdit.
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
    // The editor configured by hand from the request on the bus, then the block's own read.
    EntryResult ByHand(const Case& c) {
        const EditRequest& r = c.request;
        const auto select = [&r](ValueEntry& entry) {
            if (r.selectorRegister != 0)
                entry.SetSelector(r.selectorRegister, r.selectorValue);
        };
        EntryResult result = EntryResult::Rejected;
        if (r.editor == EditorKind::Choice) {
            ChoiceEntry entry(*master_, 1, r.reg, r.caption, r.firstChoice, r.finalChoice,
                              r.currentIndex, prompter_);
            select(entry);
            entry.SetConfirmation(r.confirmation);
            result = entry.Ok(c.index);
        } else if (r.editor == EditorKind::ActivityChoice) {
            ActivityChoiceEntry entry(*master_, 1, r.reg, r.caption,
                                      ActivityChoiceEntry::ActivitiesOf(Copy()), r.currentIndex,
                                      prompter_);
            select(entry);
            result = entry.Ok(c.index);
        } else if (r.editor == EditorKind::Text) {
            TextEntry entry(*master_, 1, r.reg, r.textCount, r.caption, r.currentText, prompter_);
            result = entry.Ok(c.text);
        } else if (r.editor == EditorKind::Adjust) {
            AdjustmentEntry entry(*master_, 1, r.reg, r.endRegister, r.caption, r.currentInteger,
                                  prompter_);
            EXPECT_TRUE(entry.Create());
            entry.Edited();
            result = entry.Ok(c.text);
        } else {
            NumericEntry entry(*master_, 1, r.reg, r.caption, r.currentText, prompter_);
            select(entry);
            entry.SetExtraTimeout(r.extraTimeout);
            result = entry.Ok(c.text);
        }
        if (result == EntryResult::Accepted)
            c.reread(*master_, Copy(), prompter_);
        return result;
    }
    // Both ways write the same value, so the instrument answers both alike.
    void ExpectSameRequests(const std::vector<Case>& cases) {
        prompter_.Clear();
        size_t questions = 0;
        for (const Case& c : cases) {
            questions += c.request.confirmation.empty() ? 0 : 2;
            SCOPED_TRACE(c.name);
            if (!c.request.confirmation.empty())
                prompter_.Answer(c.answer);
            bus_.ClearRequests();
            const EntryResult viaSource = ThroughSource(c);
            const auto sourceRequests = bus_.Requests();
            if (!c.request.confirmation.empty())
                prompter_.Answer(c.answer);
            bus_.ClearRequests();
            EXPECT_EQ(ByHand(c), viaSource);
            EXPECT_EQ(viaSource, EntryResult::Accepted);
            EXPECT_FALSE(sourceRequests.empty());
            EXPECT_EQ(bus_.Requests(), sourceRequests);
        }
        // Nothing failed: the only boxes are the confirmations asked.
        EXPECT_EQ(prompter_.Boxes().size(), questions) << prompter_.LastText();
    }

    std::unique_ptr<KelSetUpSheet> sheet_;
};

Reread Normal() {
    return [](ModbusMaster& bus, InstrumentSetup& s, Prompter& p) {
        return s.ReadNormal(bus, {.messages = &p});
    };
}

TEST_F(EditPathTest, DescriptorAndCalibrationPagesSendWhatTheirEditorsAndRereadsSentByHand) {
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
    const Reread special = [](ModbusMaster& bus, InstrumentSetup& s, Prompter& p) {
        return s.ReadSpecial(bus, {.messages = &p});
    };
    ExpectSameRequests({
        {"choice", row(PageId::General, 3), "", 5, Normal()},
        {"number", row(PageId::CalibParam, 2), "5000", 0, Normal()},
        {"code", row(PageId::General, 11), "1234", 0, Normal()},
        {"adjust", adjust, std::to_string(adjust.currentInteger + 1), 0, Normal()},
        {"special", row(PageId::SpecialMenu, 0), "7", 0, special},
        {"calibration type, warning answered No", type, "", calib::kDataSheet, Normal(), false},
        {"calibration number", points, "2", 0, Normal()},
    });
}

TEST_F(EditPathTest, ActivityAndRecipeDialogsSendWhatTheirEditorsAndRereadsSentByHand) {
    Open(SheetMode::EditBatching);
    const ActivityDialog activity(Copy(), 3, true);
    const RecipeDialog recipe(Copy(), 2, true);
    const auto batch = [](int k) -> Reread {
        return [k](ModbusMaster& bus, InstrumentSetup& s, Prompter& p) {
            return s.ReadBatch(bus, k, {.messages = &p});
        };
    };
    const Reread texts = [](ModbusMaster& bus, InstrumentSetup& s, Prompter& p) {
        return s.ReadTexts(bus, {.messages = &p});
    };
    const Reread recipe2 = [](ModbusMaster& bus, InstrumentSetup& s, Prompter& p) {
        return s.ReadRecipes(bus, 2, {.messages = &p});
    };
    ExpectSameRequests({
        {"general batching value", GeneralValueEditRequest(2, Copy()), "", 1, batch(1)},
        {"activity choice", activity.EditRequestFor(1), "", 1, batch(3)},
        {"activity number", activity.EditRequestFor(11), "4.5", 0, batch(3)},
        {"activity name", activity.EditRequestFor(kActivityNameRow), "Mixer", 0, texts},
        {"recipe line activity", recipe.ActivityEditRequest(16), "", 1, recipe2},
        {"recipe line set point", recipe.SetpointEditRequest(1), "42", 0, recipe2},
        {"recipe name", recipe.NameEditRequest(), "Bread", 0, texts},
    });
    EXPECT_TRUE(sheet_->CancelCheck());
}

} // namespace
} // namespace quarnex::test
