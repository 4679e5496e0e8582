// The batching pages and dialogs: the activity-type row table and the set-point display as pure
// functions, and the selector writes and re-reads against the simulated Recipe Batcher.
#include "sim/Kel7Fixture.h"

#include "edit/ValueEntry.h"
#include "instrument/InstrumentSetup.h"
#include "setup/BatchingPages.h"
#include "setup/KelSetUpSheet.h"
#include "setup/ShowModeRefresh.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace quarnex::test {
namespace {

constexpr int N = kActivityNameRow;

int Entry(int activity, int j) {
    return 5 + 25 * (activity - 1) + j;
}

// ----- The activity-type table --------------------------------------------------------------

TEST(ActivityRows, EveryTypeShowsItsRowsSwitchedByModeAndAcknowledgeType) {
    const struct {
        int type, mode, ack;
        std::vector<int> rows;
    } cases[] = {
        {0, 1, 1, {0}},
        {1, 0, 0, {0, N, 1, 2, 7, 8, 9, 10, 11, 12, 13, 14}},
        {1, 1, 0, {0, N, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {2, 0, 3, {0, N, 1, 2, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
        {2, 1, 5, {0, N, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
        {3, 1, 0, {0, N, 2, 16, 11, 13, 14}},
        {3, 0, 1, {0, N, 2, 16, 11, 13, 14, 15}},
        {4, 0, 0, {0, N, 2, 16, 17, 11, 13, 14}},
        {4, 0, 2, {0, N, 2, 16, 17, 11, 13, 14, 15}},
        {5, 1, 0, {0, N, 14}},
        {5, 0, 4, {0, N, 14, 15}},
        {6, 0, 0, {0, N, 2, 14}},
        {7, 0, 1, {0, N, 2, 18, 14, 15}},
        {8, 1, 0, {0, N, 2, 14}},
        {9, 1, 1, {0, N, 19, 20}},
        {10, 0, 0, {0, N, 1, 2, 7, 8, 9, 10, 11, 12, 13, 14, 21, 22, 23, 24}},
        {10, 1, 1, {0, N, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 21, 22, 23, 24}},
        {11, 0, 0, {0, N}},
        {999, 0, 0, {0, N}}, // an unread copy: the type and its name, nothing else
        {-3, 0, 0, {0, N}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ActivityRows(c.type, c.mode, c.ack), c.rows)
            << "type " << c.type << " mode " << c.mode << " ack " << c.ack;
}

// ----- Pure displays from a set-up copy ---------------------------------------------------------

class BatchingCopy : public ::testing::Test {
protected:
    void SetUp() override {
        setup_->MutableInfo().firstNormalRegister = 41000;
        setup_->MutableInfo().firstStringRegister = 42000;
        for (int n = 0; n < InstrumentSetup::kValues; ++n)
            setup_->SetValue(n, 0);
        for (int b = 0; b < InstrumentSetup::kBatchValues; ++b)
            setup_->SetBatchValue(b, 0);
        setup_->SetValue(14, 2);                 // kg
        setup_->SetValue(15, 4);                 // resolution 0.01: two decimals
        Activity(1, 1, "Flour");                 // Weigh in
        Activity(2, 5, "Rest");                  // Timer
        Activity(3, 10, "Water");                // Pulse batching
        setup_->SetBatchValue(Entry(3, 22), 3);  // three decimals
        setup_->SetBatchValue(Entry(3, 23), 12); // "l"
        Activity(4, 9, "Salt");                  // Manual
        Activity(5, 0, "Old");                   // Not used
    }
    void Activity(int k, int type, const std::string& name) {
        setup_->SetBatchValue(Entry(k, 0), type);
        setup_->SetText(k - 1, name);
    }
    void Line(int recipe, int line, int activity, double setpoint) {
        setup_->SetRecipeValue(60 * (recipe - 1) + 2 * (line - 1), activity);
        setup_->SetRecipeValue(60 * (recipe - 1) + 2 * (line - 1) + 1, setpoint);
    }

    std::unique_ptr<InstrumentSetup> setup_ = std::make_unique<InstrumentSetup>();
};

TEST_F(BatchingCopy, SetPointFollowsTheTypeOfTheLinesActivity) {
    const struct {
        int activity;
        double value;
        bool shown;
        const char* text;
        const char* unit;
    } cases[] = {
        {1, 250.0, true, "250.00", "kg"}, // the weight display's decimals and unit
        {2, 30.0, true, "30.0", "s"},     // Timer
        {3, 12.5, true, "12.500", "l"},   // the pulse activity's own decimals and unit
        {4, 1.5, true, "1.500", "kg"},    // Manual
        {5, 7.0, false, "", ""},          // Not used
        {0, 7.0, false, "", ""},          // no activity
        {25, 7.0, false, "", ""},         // no such activity
    };
    for (const auto& c : cases) {
        const SetpointDisplay d = SetpointOf(*setup_, c.activity, c.value);
        EXPECT_EQ(d.shown, c.shown) << c.activity;
        EXPECT_EQ(d.value, c.text) << c.activity;
        EXPECT_EQ(d.unit, c.unit) << c.activity;
    }
    // Damaged values never reach the format: a wild decimal count gives none, a NaN set point
    // the placeholder.
    setup_->SetBatchValue(Entry(3, 22), 1.0e6);
    EXPECT_EQ(SetpointOf(*setup_, 3, 12.5).value, "12");
    EXPECT_EQ(SetpointOf(*setup_, 1, std::nan("")).value, "----------");
}

TEST_F(BatchingCopy, RecipeDialogShowsItsHalvesAndHidesSetPointsOfActivitiesWithout) {
    Line(2, 1, 0, 0);
    Line(2, 2, 2, 12);
    Line(2, 3, 5, 3);
    Line(2, 16, 1, 100);
    Line(2, 17, 99, 1); // damaged activity number: treated as none
    setup_->SetText(24 + 1, "Bread");
    EXPECT_EQ(RecipeDialogCaption(2), "Recipe no 2");

    // Row 0 is the name, then each line's activity and set point.
    std::vector<RowDisplay> d = PageDisplay(RecipeDialogPage(2, 1), *setup_, true);
    ASSERT_EQ(d.size(), 31u);
    const auto activity = [&d](int line) { return d[static_cast<size_t>(1 + 2 * line)]; };
    const auto setpoint = [&d](int line) { return d[static_cast<size_t>(2 + 2 * line)]; };
    EXPECT_EQ(d[0].value, "Bread");
    EXPECT_EQ(activity(0).label, "Line 01, Activity:");
    EXPECT_EQ(activity(0).value, "00:---");
    EXPECT_FALSE(setpoint(0).state.shown);
    EXPECT_FALSE(setpoint(0).editButton);
    EXPECT_EQ(activity(1).value, "02:Rest");
    EXPECT_EQ(setpoint(1).value, "12.0");
    EXPECT_EQ(activity(2).value, "05:Not used");
    EXPECT_FALSE(setpoint(2).state.shown);
    // The page's rule says the same as the display: what the sheet asks before an edit.
    const PageDescriptor dialog = RecipeDialogPage(2, 1);
    for (size_t i = 0; i < d.size(); ++i)
        EXPECT_EQ(PageRowState(dialog, i, *setup_).shown, d[i].state.shown) << i;

    d = PageDisplay(RecipeDialogPage(2, 16), *setup_, true);
    EXPECT_EQ(activity(0).label, "Line 16, Activity:");
    EXPECT_EQ(activity(0).value, "01:Flour");
    EXPECT_EQ(setpoint(0).value, "100.00");
    EXPECT_EQ(activity(1).value, "00:---");

    ShowFailedRead(d);
    EXPECT_EQ(d[0].value, "----------");
    EXPECT_EQ(activity(0).value, "----------");
    EXPECT_EQ(setpoint(0).value, "----------");

    EXPECT_FALSE(PageDisplay(RecipeDialogPage(2, 1), *setup_, false)[1].editButton);
    const auto request = [this](const PageRow& row) { return RowEditRequest(row, *setup_); };
    EXPECT_EQ(request(RecipeLineRow(2, 16, false)).caption, "Recipe line 16, Activity");
    EXPECT_EQ(request(RecipeLineRow(2, 16, true)).caption, "Recipe line 16, Setpoint");
    EXPECT_EQ(request(RecipeLineRow(2, 16, true)).currentText, "100.00");
    EXPECT_EQ(request(RecipeNameRow(2)).caption, "02: Recipe name:");
}

TEST_F(BatchingCopy, ActivityPagesShowTypeAndNameOnlyForActivitiesInUse) {
    // Page 1: the five general values, then activities 1-9, each with its ">>" in show mode too.
    const std::vector<RowDisplay> p1 = PageDisplay(ActivitiesPage(1), *setup_, false);
    ASSERT_EQ(p1.size(), 14u);
    EXPECT_EQ(p1[4].label, "Recipe check:");
    EXPECT_FALSE(p1[4].editButton);
    EXPECT_EQ(p1[5].label, "Activity 1");
    EXPECT_EQ(p1[5].value, "Weigh in");
    EXPECT_EQ(p1[5].unit, "Flour");
    EXPECT_TRUE(p1[5].editButton);
    EXPECT_EQ(p1[9].value, "Not used");
    EXPECT_EQ(p1[9].unit, "");

    const PageDescriptor& page2 = ActivitiesPage(2);
    ASSERT_EQ(page2.rows.size(), 15u);
    EXPECT_EQ(PageDisplay(page2, *setup_, true).front().label, "Activity 10");
    EXPECT_EQ(page2.rows.back().item, 24);

    const EditRequest r = RowEditRequest(GeneralBatchRow(2), *setup_);
    EXPECT_EQ(r.reg, 41404);
    EXPECT_EQ(r.selectorRegister, 0);
    EXPECT_EQ(r.caption, "Batch printouts:");
    EXPECT_EQ(r.finalChoice - r.firstChoice, 4);
}

TEST_F(BatchingCopy, ActivityDialogRowsCarryLabelsUnitsAndPrefixedCaptions) {
    EXPECT_EQ(ActivityDialogCaption(2), "Batching activity no 2");
    const std::vector<RowDisplay> rows = PageDisplay(ActivityDialogPage(2), *setup_, true);
    ASSERT_EQ(rows.size(), 3u); // type, name, acknowledge type
    EXPECT_EQ(rows[0].label, "Activity type:");
    EXPECT_EQ(rows[0].value, "Timer");
    EXPECT_EQ(rows[1].label, "Activity name:");
    EXPECT_EQ(rows[1].value, "Rest");
    EXPECT_EQ(rows[2].label, "Acknowledge type:");
    EXPECT_TRUE(rows[2].editButton);

    const EditRequest wait = RowEditRequest(ActivityValueRow(2, 11), *setup_);
    EXPECT_EQ(wait.editor, EditorKind::Number);
    EXPECT_EQ(wait.caption, "02:Wait time:");
    EXPECT_EQ(wait.reg, 41434);
    EXPECT_EQ(wait.selectorRegister, 41410);
    EXPECT_EQ(wait.selectorValue, 2);
    EXPECT_EQ(RowEditRequest(ActivityValueRow(2, 0), *setup_).editor, EditorKind::Choice);
    const EditRequest name = RowEditRequest(ActivityValueRow(2, N), *setup_);
    EXPECT_EQ(name.editor, EditorKind::Text);
    EXPECT_EQ(name.reg, 42006);
    EXPECT_EQ(name.textCount, 6);

    std::vector<RowDisplay> shown = PageDisplay(ActivityDialogPage(2), *setup_, false);
    ShowFailedRead(shown);
    for (const RowDisplay& row : shown) {
        EXPECT_FALSE(row.editButton);
        EXPECT_EQ(row.value, "----------");
    }
}

TEST_F(BatchingCopy, FlowRateOffersDerivationTimeOnlyWithoutAutomaticDerivation) {
    const PageDescriptor& page = FlowRatePage();
    ASSERT_EQ(page.rows.size(), 4u);
    EXPECT_EQ(PageRowState(page, 3, *setup_), kRowOn);
    EXPECT_TRUE(PageDisplay(page, *setup_, true)[3].editButton);
    setup_->SetValue(155, 1); // On: the value stays in view, its ">>" goes
    EXPECT_EQ(PageRowState(page, 3, *setup_), (RowState{.button = false}));
    EXPECT_FALSE(PageDisplay(page, *setup_, true)[3].editButton);
    EXPECT_EQ(PageRowState(page, 2, *setup_), kRowOn);
}

TEST(BatchingSheetPages, BatchingAndRecipeSheetsShowOnlyTheirPages) {
    InstrumentInfo info;
    info.options = 0x12;
    info.specialCount = 3;
    EXPECT_EQ(SheetPages(SheetMode::EditBatching, info),
              (std::vector<PageId>{PageId::Activities1, PageId::Activities2, PageId::Recipes}));
    EXPECT_EQ(SheetPages(SheetMode::EditRecipes, info), std::vector<PageId>{PageId::Recipes});
    const std::vector<PageId> all = SheetPages({}, info);
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all[8], PageId::FlowRate);
    EXPECT_EQ(all[11], PageId::Recipes);
    info.options = 0x10;
    EXPECT_EQ(SheetPages({}, info)[8], PageId::Activities1);
    info.options = 0x02;
    EXPECT_EQ(SheetPages({}, info).size(), 10u);
}

// ----- Against the simulated Recipe Batcher -----------------------------------------------------

class BatchingBusTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
        sheet_ = std::make_unique<KelSetUpSheet>(*master_, 1, SheetMode::EditBatching, prompter_);
        ASSERT_TRUE(sheet_->Create()) << prompter_.LastText();
        With(1, [](sim::Kel7Model& m) { m.ClearLogs(); });
    }
    // The registers written since the last ClearLogs, with the float each carried.
    std::vector<std::pair<int, float>> Writes() {
        return With(1, [](sim::Kel7Model& m) {
            std::vector<std::pair<int, float>> out;
            for (const auto& w : m.Writes()) {
                EXPECT_EQ(w.result, 0) << w.reg;
                uint32_t bits = uint32_t{w.values.at(0)} << 16 | w.values.at(1);
                float f = 0;
                std::memcpy(&f, &bits, sizeof f);
                out.emplace_back(w.reg, f);
            }
            return out;
        });
    }
    // Runs a request through the editor logic the source makes, as its dialog would, then the
    // one re-read.
    EntryResult Edit(const EditRequest& r, const std::string& text, int index = 0) {
        SetupSource& source = sheet_->Source();
        EntryResult result = EntryResult::Rejected;
        if (r.editor == EditorKind::Number)
            result = source.MakeNumber(r)->Ok(text);
        else if (r.editor == EditorKind::Text)
            result = source.MakeText(r)->Ok(text);
        else
            result = source.MakeChoice(r)->Ok(index);
        if (result == EntryResult::Accepted) {
            EXPECT_TRUE(ReadAfterEdit(source, r));
        }
        return result;
    }
    InstrumentSetup& Copy() { return sheet_->Setup(); }
    EditRequest Request(const PageRow& row) { return RowEditRequest(row, Copy()); }

    std::unique_ptr<KelSetUpSheet> sheet_;
};

TEST_F(BatchingBusTest, ActivityParameterWritesTheSelectorThenTheWindowRegister) {
    ASSERT_EQ(Edit(Request(ActivityValueRow(3, 11)), "4.5"), EntryResult::Accepted);
    // The selector, the value, then the re-read selects the activity again.
    EXPECT_EQ(Writes(),
              (std::vector<std::pair<int, float>>{{41410, 3.0f}, {41434, 4.5f}, {41410, 3.0f}}));
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.BatchValue(Entry(3, 11)); }), 4.5f);
    EXPECT_EQ(Copy().ActivityValue(3, 11), 4.5);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(BatchingBusTest, RecipeLineSixteenWritesTheRecipeSelectorThenItsSetPoint) {
    ASSERT_EQ(Edit(Request(RecipeLineRow(2, 16, true)), "42"), EntryResult::Accepted);
    EXPECT_EQ(Writes(),
              (std::vector<std::pair<int, float>>{{41462, 2.0f}, {41526, 42.0f}, {41462, 2.0f}}));
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.RecipeValue(60 + 31); }), 42.0f);

    // The activity of line 16: the list is "00:---" and the activities in use; entry 1 is
    // activity 1, written to 41524.
    With(1, [](sim::Kel7Model& m) { m.ClearLogs(); });
    ASSERT_EQ(Edit(Request(RecipeLineRow(2, 16, false)), "", 1), EntryResult::Accepted);
    EXPECT_EQ(Writes(),
              (std::vector<std::pair<int, float>>{{41462, 2.0f}, {41524, 1.0f}, {41462, 2.0f}}));
    EXPECT_EQ(ShowRow(RecipeLineRow(2, 16, false), Copy(), true).value, "01:Component A");
    EXPECT_TRUE(ShowRow(RecipeLineRow(2, 16, true), Copy(), true).state.shown);
}

TEST_F(BatchingBusTest, WeighInChangedToDumpSwitchesRowsAndHidesRecipeSetPoints) {
    // Activity 1 ("Component A", Weigh in, Fine+Coarse) is line 1 of recipes 1 and 2.
    const PageDescriptor activity = ActivityDialogPage(1);
    EXPECT_EQ(PageRowsOf(activity, Copy()).size(), 15u);
    ASSERT_TRUE(Copy().ReadRecipes(*master_, 0, {.messages = &prompter_})); // as the dialogs open
    EXPECT_TRUE(ShowRow(RecipeLineRow(1, 1, true), Copy(), true).state.shown);

    ASSERT_EQ(Edit(Request(ActivityValueRow(1, 0)), "", 3), EntryResult::Accepted); // Dump
    std::vector<int> shown;
    for (const PageRow& row : PageRowsOf(activity, Copy()))
        shown.push_back(row.parameter);
    EXPECT_EQ(shown, (std::vector<int>{0, N, 2, 16, 11, 13, 14}));
    EXPECT_EQ(PageDisplay(activity, Copy(), true)[0].value, "Dump");
    for (int recipe : {1, 2}) {
        ASSERT_TRUE(Copy().ReadRecipes(*master_, recipe, {.messages = &prompter_}));
        EXPECT_EQ(ShowRow(RecipeLineRow(recipe, 1, false), Copy(), true).value, "01:Component A");
        EXPECT_FALSE(ShowRow(RecipeLineRow(recipe, 1, true), Copy(), true).state.shown);
    }
}

TEST_F(BatchingBusTest, RefusedSelectorLeavesTheDialogOpenAndTheValueUntouched) {
    EditRequest r = Request(RecipeLineRow(2, 1, true));
    r.selectorValue = 31; // no recipe 31: exception 03, 226 in 40007
    prompter_.Clear();
    EXPECT_EQ(Edit(r, "5"), EntryResult::StayOpen);
    EXPECT_EQ(Reg(1, sim::kel7::kCommandError), 226);
    EXPECT_FALSE(prompter_.Boxes().empty());
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.RecipeValue(60 + 1); }), 150.0f);
}

TEST_F(BatchingBusTest, ShowRefreshRunsItsPhasesAndCyclesTheActivities) {
    ShowModeRefresh refresh = ShowModeRefresh::ForActivitiesPage(1);
    EXPECT_EQ(refresh.PeriodMs(), 200);
    const int waits = prompter_.WaitCursorShown();
    EXPECT_FALSE(ShowModeRefresh::Activate(sheet_->Source()).failed);
    EXPECT_EQ(prompter_.WaitCursorShown(), waits + 1); // the probe shows the wait cursor
    With(1, [](sim::Kel7Model& m) { m.SetBatchValue(Entry(8, 11), 7.0f); });
    With(1, [](sim::Kel7Model& m) { m.SetBatchValue(Entry(10, 11), 8.0f); });
    for (int tick = 0; tick < 7; ++tick) {
        const ShowModeRefresh::Step step = refresh.Tick(sheet_->Source());
        EXPECT_TRUE(step.update && !step.failed) << tick;
    }
    EXPECT_EQ(refresh.PhaseIndex(), 0u);
    EXPECT_EQ(refresh.CycleActivity(), 11);
    EXPECT_EQ(Copy().ActivityValue(8, 11), 7.0);
    EXPECT_EQ(Copy().ActivityValue(10, 11), 8.0);

    ShowModeRefresh recipe = ShowModeRefresh::ForRecipeDialog(3);
    recipe.Tick(sheet_->Source());
    With(1, [](sim::Kel7Model& m) { m.SetRecipeValue(120 + 1, 11.0f); });
    EXPECT_FALSE(recipe.Tick(sheet_->Source()).failed);
    EXPECT_EQ(Copy().RecipeValue(120 + 1), 11.0);

    bus_.Detach(1);
    EXPECT_TRUE(ShowModeRefresh::Activate(sheet_->Source()).failed);
    EXPECT_TRUE(recipe.Tick(sheet_->Source()).failed);
}

TEST_F(BatchingBusTest, BatchSetupIsLeftOnOkAndOnCancel) {
    EXPECT_EQ(sheet_->Pages().size(), 3u);
    EXPECT_TRUE(sheet_->CancelCheck()); // Cancel and Escape: no question
    EXPECT_TRUE(With(1, [](sim::Kel7Model& m) { return !m.InBatchSetup(); }));
    KelSetUpSheet recipes(*master_, 1, SheetMode::EditRecipes, prompter_);
    ASSERT_TRUE(recipes.Create());
    EXPECT_EQ(recipes.Pages(), std::vector<PageId>{PageId::Recipes});
    EXPECT_TRUE(recipes.OkCheck());
    EXPECT_TRUE(With(1, [](sim::Kel7Model& m) { return !m.InBatchSetup(); }));
    const auto coils = With(1, [](sim::Kel7Model& m) {
        std::vector<int> out;
        for (const auto& c : m.Commands())
            out.push_back(c.coil);
        return out;
    });
    EXPECT_EQ(coils, (std::vector<int>{18, 17, 18}));
    EXPECT_TRUE(prompter_.Boxes().empty());
}

} // namespace
} // namespace quarnex::test
