#include "setup/BatchingPages.h"

#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "instrument/SetupParameterTable.h"
#include "instrument/ValueFormat.h"
#include "instrument/ValueHelpers.h"
#include "res/Strings.h"
#include "setup/SetupTextIds.h"

#include <cmath>
#include <cstdio>

namespace quarnex {

namespace {

constexpr int kActivities = SetupParameterTable::kActivities;
constexpr int kGeneralValues = SetupParameterTable::kGeneralBatchValues;
constexpr int kTextRegisters = SetupParameterTable::kTextLength / 2;
constexpr int kRecipeNameFirst = kActivities; // text 24 + (r - 1)

std::string Format(const char* pattern, int n) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, n);
    return text;
}

// "Line 16, Activity:", "Recipe line 03, Setpoint": the texts around a two-digit number.
std::string Numbered(int before, int n, int after) {
    return Text(before) + Format(" %02d, ", n) + Text(after);
}

int BatchEntry(int activity, int j) {
    return kGeneralValues + SetupParameterTable::kActivityValues * (activity - 1) + j;
}

int ActivityType(const InstrumentSetup& setup, int activity) {
    return ChoiceOf(setup.ActivityValue(activity, activity::kType));
}

// The dialog's and the page's name of activity k or recipe r: trimmed, as the instrument pads it.
std::string ActivityName(const InstrumentSetup& setup, int activity) {
    return TrimRight(setup.Text(activity - 1));
}

bool IsChoice(int batchValue) {
    return SetupParameterTable::Row(SetupParameterTable::BatchRow(batchValue)).kind ==
           kind::kChoice;
}

// ----- The activity-type table -------------------------------------------------------------

// Steps of a type's row list: a parameter, or a group that the current values expand.
constexpr int kModeRows = -10; // "Batching mode:", then the coarse/fine outputs or the one output
constexpr int kAckRows = -11;  // "Acknowledge type:" and, unless "No test", its input

namespace par {
constexpr int kMode = 1;
constexpr int kOutput = 2;
constexpr int kCoarseOutput = 3;
constexpr int kFineOutput = 4;
constexpr int kFineOn = 5;
constexpr int kFineValue = 6;
constexpr int kAckType = 14;
constexpr int kAckInput = 15;
constexpr int kLowLevel = 16;
constexpr int kHighLevel = 17;
constexpr int kWaitTime = 11;
constexpr int kTimeout = 13;
} // namespace par

struct TypeRows {
    int type;
    std::vector<int> steps;
};

const std::vector<TypeRows>& TypeTable() {
    static const std::vector<TypeRows> table = {
        {1, {kModeRows, 7, 8, 9, 10, 11, 12, 13, kAckRows}},                          // Weigh in
        {2, {kModeRows, 7, 8, 9, 10, 11, 12, 13, kAckRows}},                          // Weigh out
        {3, {par::kOutput, par::kLowLevel, par::kWaitTime, par::kTimeout, kAckRows}}, // Dump
        {4,
         {par::kOutput, par::kLowLevel, par::kHighLevel, par::kWaitTime, par::kTimeout,
          kAckRows}},                                                         // Fill
        {5, {kAckRows}},                                                      // Timer
        {6, {par::kOutput, kAckRows}},                                        // Timer with output
        {7, {par::kOutput, 18, kAckRows}},                                    // Latch on
        {8, {par::kOutput, kAckRows}},                                        // Latch off
        {9, {19, 20}},                                                        // Manual
        {10, {kModeRows, 7, 8, 9, 10, 11, 12, 13, kAckRows, 21, 22, 23, 24}}, // Pulse batching
    };
    return table;
}

// ----- Set points by activity type -------------------------------------------------------------

constexpr int kTimer = 5;
constexpr int kTimerWithOutput = 6;
constexpr int kManual = 9;
constexpr int kMaxDecimals = 6;

std::string FixedText(double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) > 1.0e12)
        return placeholder::kSetupValue;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

// ----- Flow rate --------------------------------------------------------------------------------

namespace {

constexpr int kAutoDerivation = 155;
constexpr int kDerivationTime = 158;

// The derivation time is the instrument's own while automatic derivation is On: shown, never
// entered.
RowState FlowRateRule(int parameter, const InstrumentSetup& setup) {
    if (parameter == kDerivationTime && ChoiceAt(setup, kAutoDerivation) != 0)
        return {.button = false};
    return kRowOn;
}

PageDescriptor MakeFlowRate() {
    return {ids::kPageFlowRate,
            {{155, EditorKind::Choice},
             {156, EditorKind::Choice},
             {157, EditorKind::Choice},
             {kDerivationTime, EditorKind::Number}},
            FlowRateRule,
            {}};
}

} // namespace

const PageDescriptor& FlowRatePage() {
    static const PageDescriptor page = MakeFlowRate();
    return page;
}

// ----- Activities1 and Activities2 ----------------------------------------------------------

int ActivitiesPageTitle(int page) {
    return page == 1 ? ids::kPageActivities1 : ids::kPageActivities2;
}

int ActivitiesPageFirst(int page) {
    return page == 1 ? 1 : 10;
}

int ActivitiesPageLast(int page) {
    return page == 1 ? 9 : kActivities;
}

ActivitiesPageDisplay ActivitiesDisplay(int page, const InstrumentSetup& setup, bool editMode,
                                        bool failed) {
    ActivitiesPageDisplay display;
    if (page == 1)
        for (int i = 0; i < kGeneralValues; ++i) {
            RowDisplay row;
            row.label = setup.BatchLabel(i, false);
            row.value = failed ? placeholder::kSetupValue : setup.BatchValueText(i);
            row.editButton = editMode;
            display.general.push_back(std::move(row));
        }
    for (int k = ActivitiesPageFirst(page); k <= ActivitiesPageLast(page); ++k) {
        ActivityGroupDisplay group;
        group.activity = k;
        group.heading = Text(ids::kActivity) + " " + std::to_string(k);
        if (failed) {
            group.type = placeholder::kSetupValue;
            group.name = placeholder::kSetupValue;
        } else {
            group.type = setup.BatchValueText(BatchEntry(k, activity::kType));
            if (ActivityType(setup, k) != 0)
                group.name = ActivityName(setup, k);
        }
        display.activities.push_back(std::move(group));
    }
    return display;
}

EditRequest GeneralValueEditRequest(int i, const InstrumentSetup& setup) {
    EditRequest request;
    request.editor = EditorKind::Choice;
    request.reg = InstrumentSetup::BatchRegister(i);
    request.caption = setup.BatchLabel(i, false);
    const SetupParameterRow& row = SetupParameterTable::Row(SetupParameterTable::BatchRow(i));
    request.firstChoice = row.firstChoice;
    request.finalChoice = row.finalChoice;
    request.currentIndex = ChoiceOf(setup.BatchValue(i));
    request.reread = {SetupBlock::Activity, 1}; // the general values come with activity 1
    return request;
}

// ----- "Batching activity no" -------------------------------------------------------------------

std::vector<int> ActivityRows(int type, int batchingMode, int acknowledgeType) {
    std::vector<int> rows = {activity::kType};
    if (type != 0)
        rows.push_back(kActivityNameRow);
    for (const TypeRows& entry : TypeTable()) {
        if (entry.type != type)
            continue;
        for (int step : entry.steps) {
            if (step == kModeRows) {
                rows.push_back(par::kMode);
                if (batchingMode != 0)
                    rows.insert(rows.end(), {par::kCoarseOutput, par::kFineOutput, par::kFineOn,
                                             par::kFineValue});
                else
                    rows.push_back(par::kOutput);
            } else if (step == kAckRows) {
                rows.push_back(par::kAckType);
                if (acknowledgeType != 0)
                    rows.push_back(par::kAckInput);
            } else {
                rows.push_back(step);
            }
        }
    }
    return rows;
}

ActivityDialog::ActivityDialog(const InstrumentSetup& setup, int activity, bool editMode)
    : setup_(setup), activity_(activity), editMode_(editMode) {}

std::string ActivityDialog::Caption() const {
    return Text(ids::kActivityDialogTitle) + " " + std::to_string(activity_);
}

std::vector<ActivityRowDisplay> ActivityDialog::Rows(bool failed) const {
    const auto choice = [this](int j) { return ChoiceOf(setup_.ActivityValue(activity_, j)); };
    std::vector<ActivityRowDisplay> rows;
    for (int j : ActivityRows(choice(activity::kType), choice(par::kMode), choice(par::kAckType))) {
        ActivityRowDisplay row;
        row.parameter = j;
        row.editButton = editMode_;
        if (j == kActivityNameRow) {
            // "03: Activity name:" without its number.
            const std::string label = setup_.TextLabel(activity_ - 1);
            const size_t colon = label.find(':');
            row.label = colon == std::string::npos ? label : label.substr(colon + 1);
            row.label.erase(0, row.label.find_first_not_of(' '));
            row.value = failed ? placeholder::kSetupValue : ActivityName(setup_, activity_);
        } else {
            const int b = BatchEntry(activity_, j);
            row.label = setup_.BatchLabel(b, false);
            row.value = failed ? placeholder::kSetupValue : setup_.BatchValueText(b);
            row.unit = setup_.BatchUnitText(b);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

EditRequest ActivityDialog::EditRequestFor(int parameter) const {
    EditRequest request;
    if (parameter == kActivityNameRow) {
        request.editor = EditorKind::Text;
        request.reg = setup_.TextRegister(activity_ - 1);
        request.caption = setup_.TextLabel(activity_ - 1);
        request.currentText = ActivityName(setup_, activity_);
        request.textCount = kTextRegisters;
        request.reread = {SetupBlock::Texts};
        return request;
    }
    const int b = BatchEntry(activity_, parameter);
    request.reg = InstrumentSetup::BatchRegister(b);
    request.caption = setup_.BatchLabel(b, true);
    request.selectorRegister = reg::kActivitySelector;
    request.selectorValue = activity_;
    request.reread = {SetupBlock::Activity, activity_};
    if (IsChoice(b)) {
        const SetupParameterRow& row = SetupParameterTable::Row(SetupParameterTable::BatchRow(b));
        request.editor = EditorKind::Choice;
        request.firstChoice = row.firstChoice;
        request.finalChoice = row.finalChoice;
        request.currentIndex = ChoiceOf(setup_.BatchValue(b));
    } else {
        request.editor = EditorKind::Number;
        if (setup_.BatchDecimals(b) != kSixSignificant)
            request.decimals = setup_.BatchDecimals(b);
        request.currentText = setup_.BatchValueText(b);
    }
    return request;
}

// ----- Recipes --------------------------------------------------------------------------------

std::vector<RecipeRowDisplay> RecipesDisplay(const InstrumentSetup& setup, bool failed) {
    std::vector<RecipeRowDisplay> rows;
    for (int r = 1; r <= InstrumentSetup::kRecipes; ++r)
        rows.push_back(
            {Text(ids::kRecipe) + Format(" %02d:", r),
             failed ? placeholder::kSetupValue : TrimRight(setup.Text(kRecipeNameFirst + r - 1))});
    return rows;
}

SetpointDisplay SetpointOf(const InstrumentSetup& setup, int activityNumber, double setpoint) {
    SetpointDisplay display;
    if (activityNumber < 1 || activityNumber > kActivities)
        return display;
    int decimals = 0;
    switch (ActivityType(setup, activityNumber)) {
    case 1: // Weigh in
    case 2: // Weigh out
        decimals = setup.WeightDecimals();
        display.unit = setup.DisplayedUnit();
        break;
    case kTimer:
    case kTimerWithOutput:
        decimals = 1;
        display.unit = Text(unit::kSeconds);
        break;
    case kManual:
        decimals = 3;
        display.unit = setup.DisplayedUnit();
        break;
    case activity::kPulseBatching:
        // The activity's own "No of decimals:"; a damaged value must not reach the format.
        decimals = ChoiceOf(setup.ActivityValue(activityNumber, activity::kDecimals));
        if (decimals < 0 || decimals > kMaxDecimals)
            decimals = 0;
        display.unit = setup.BatchValueText(BatchEntry(activityNumber, activity::kUnit));
        break;
    default:
        return display;
    }
    display.shown = true;
    display.value = FixedText(setpoint, decimals);
    return display;
}

RecipeDialog::RecipeDialog(const InstrumentSetup& setup, int recipe, bool editMode)
    : setup_(setup), recipe_(recipe), editMode_(editMode) {}

std::string RecipeDialog::Caption() const {
    return Text(ids::kRecipeDialogTitle) + " " + std::to_string(recipe_);
}

double RecipeDialog::ValueOfLine(int line, bool setpoint) const {
    return setup_.RecipeValue(InstrumentSetup::kRecipeValuesEach * (recipe_ - 1) +
                              LineValue(line, setpoint));
}

int RecipeDialog::ActivityOfLine(int line) const {
    const int activity = ChoiceOf(ValueOfLine(line, false));
    return activity >= 0 && activity <= kActivities ? activity : 0;
}

RecipeDialogDisplay RecipeDialog::Display(bool failed) const {
    RecipeDialogDisplay display;
    display.lines16To30Enabled = offset_ == 0;
    display.lines1To15Enabled = offset_ != 0;
    display.nameButton = editMode_;
    display.name =
        failed ? placeholder::kSetupValue : TrimRight(setup_.Text(kRecipeNameFirst + recipe_ - 1));
    for (int n = offset_ + 1; n <= offset_ + kLinesPerHalf; ++n) {
        RecipeLineDisplay line;
        line.line = n;
        line.label = Numbered(ids::kLine, n, ids::kLineActivity);
        line.editButtons = editMode_;
        if (failed) {
            line.activity = placeholder::kSetupValue;
            line.setpoint = {true, placeholder::kSetupValue, placeholder::kSetupValue};
        } else {
            const int a = ActivityOfLine(n);
            if (a == 0) {
                line.activity = "00:---";
            } else {
                line.activity = Format("%02d:", a) +
                                (ActivityType(setup_, a) != 0
                                     ? ActivityName(setup_, a)
                                     : setup_.BatchValueText(BatchEntry(a, activity::kType)));
                line.setpoint = SetpointOf(setup_, a, ValueOfLine(n, true));
            }
        }
        display.lines.push_back(std::move(line));
    }
    return display;
}

EditRequest RecipeDialog::NameEditRequest() const {
    EditRequest request;
    request.editor = EditorKind::Text;
    const int k = kRecipeNameFirst + recipe_ - 1;
    request.reg = setup_.TextRegister(k);
    request.caption = setup_.TextLabel(k);
    request.currentText = TrimRight(setup_.Text(k));
    request.textCount = kTextRegisters;
    request.reread = {SetupBlock::Texts};
    return request;
}

EditRequest RecipeDialog::ActivityEditRequest(int line) const {
    EditRequest request;
    request.editor = EditorKind::ActivityChoice;
    request.reg = reg::kRecipeWindow + 2 * LineValue(line, false);
    request.caption = Numbered(ids::kRecipeLine, line, ids::kActivity);
    request.selectorRegister = reg::kRecipeSelector;
    request.selectorValue = recipe_;
    request.currentIndex = ActivityOfLine(line);
    request.reread = {SetupBlock::Recipe, recipe_};
    return request;
}

EditRequest RecipeDialog::SetpointEditRequest(int line) const {
    EditRequest request = ActivityEditRequest(line);
    request.editor = EditorKind::Number;
    request.reg = reg::kRecipeWindow + 2 * LineValue(line, true);
    request.caption = Numbered(ids::kRecipeLine, line, ids::kSetpoint);
    request.currentIndex = 0;
    request.currentText = SetpointOf(setup_, ActivityOfLine(line), ValueOfLine(line, true)).value;
    return request;
}

} // namespace quarnex
