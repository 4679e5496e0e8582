#include "setup/BatchingPages.h"

#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "instrument/SetupParameterTable.h"
#include "instrument/ValueFormat.h"
#include "instrument/ValueHelpers.h"
#include "res/SetupTextIds.h"
#include "res/Strings.h"

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
    return {.title = ids::kPageFlowRate,
            .rows = {{155, EditorKind::Choice},
                     {156, EditorKind::Choice},
                     {157, EditorKind::Choice},
                     {kDerivationTime, EditorKind::Number}},
            .rule = FlowRateRule};
}

} // namespace

const PageDescriptor& FlowRatePage() {
    static const PageDescriptor page = MakeFlowRate();
    return page;
}

// ----- The rows ---------------------------------------------------------------------------------

PageRow GeneralBatchRow(int i) {
    return {.parameter = i, .editor = EditorKind::Choice, .kind = RowKind::GeneralBatch};
}

PageRow ActivityValueRow(int activity, int j) {
    EditorKind editor = EditorKind::Text;
    if (j != kActivityNameRow)
        editor = IsChoice(BatchEntry(activity, j)) ? EditorKind::Choice : EditorKind::Number;
    return {.parameter = j, .editor = editor, .kind = RowKind::ActivityValue, .item = activity};
}

PageRow RecipeNameRow(int recipe) {
    return {
        .parameter = 0, .editor = EditorKind::Text, .kind = RowKind::RecipeName, .item = recipe};
}

PageRow RecipeLineRow(int recipe, int line, bool setpoint) {
    return {.parameter = line,
            .editor = setpoint ? EditorKind::Number : EditorKind::ActivityChoice,
            .kind = setpoint ? RowKind::RecipeSetpoint : RowKind::RecipeActivity,
            .item = recipe};
}

namespace {

// The name row of an activity: "03: Activity name:" without its number.
std::string ActivityNameLabel(const InstrumentSetup& setup, int activity) {
    const std::string label = setup.TextLabel(activity - 1);
    const size_t colon = label.find(':');
    std::string unnumbered = colon == std::string::npos ? label : label.substr(colon + 1);
    unnumbered.erase(0, unnumbered.find_first_not_of(' '));
    return unnumbered;
}

int RecipeNameText(int recipe) {
    return kRecipeNameFirst + recipe - 1;
}

// A recipe's line n is two values of the recipe window, its activity and its set point.
int LineValue(int line, bool setpoint) {
    return 2 * (line - 1) + (setpoint ? 1 : 0);
}

double ValueOfLine(const InstrumentSetup& setup, int recipe, int line, bool setpoint) {
    return setup.RecipeValue(InstrumentSetup::kRecipeValuesEach * (recipe - 1) +
                             LineValue(line, setpoint));
}

// The activity of a recipe line; a damaged value gives 0 (none).
int ActivityOfLine(const InstrumentSetup& setup, int recipe, int line) {
    const int activity = ChoiceOf(ValueOfLine(setup, recipe, line, false));
    return activity >= 0 && activity <= kActivities ? activity : 0;
}

// "00:---", "03:Mixing", "07:Not used".
std::string LineActivityText(const InstrumentSetup& setup, int activity) {
    if (activity == 0)
        return "00:---";
    return Format("%02d:", activity) +
           (ActivityType(setup, activity) != 0
                ? ActivityName(setup, activity)
                : setup.BatchValueText(BatchEntry(activity, activity::kType)));
}

EditRequest TextRequest(const InstrumentSetup& setup, int k, std::string current) {
    EditRequest request;
    request.editor = EditorKind::Text;
    request.reg = setup.TextRegister(k);
    request.caption = setup.TextLabel(k);
    request.currentText = std::move(current);
    request.textCount = kTextRegisters;
    request.reread = {SetupBlock::Texts};
    return request;
}

// A general or activity value: its choice list or its number with the decimals it shows.
void ValueRequest(EditRequest& request, const InstrumentSetup& setup, int b) {
    if (IsChoice(b)) {
        const SetupParameterRow& row = SetupParameterTable::Row(SetupParameterTable::BatchRow(b));
        request.editor = EditorKind::Choice;
        request.firstChoice = row.firstChoice;
        request.finalChoice = row.finalChoice;
        request.currentIndex = ChoiceOf(setup.BatchValue(b));
    } else {
        request.editor = EditorKind::Number;
        if (setup.BatchDecimals(b) != kSixSignificant)
            request.decimals = setup.BatchDecimals(b);
        request.currentText = setup.BatchValueText(b);
    }
}

} // namespace

RowState BatchingRowState(const PageRow& r, const InstrumentSetup& setup) {
    if (r.kind != RowKind::RecipeSetpoint)
        return kRowOn;
    const SetpointDisplay setpoint = SetpointOf(setup, ActivityOfLine(setup, r.item, r.parameter),
                                                ValueOfLine(setup, r.item, r.parameter, true));
    return setpoint.shown ? kRowOn : kRowHidden;
}

RowDisplay BatchingRowDisplay(const PageRow& r, const InstrumentSetup& setup, bool editMode) {
    RowDisplay row;
    row.state = BatchingRowState(r, setup);
    row.editButton = editMode && row.state.shown;
    if (!row.state.shown)
        return row;
    const int k = r.item;
    switch (r.kind) {
    case RowKind::GeneralBatch:
        row.label = setup.BatchLabel(r.parameter, false);
        row.value = setup.BatchValueText(r.parameter);
        break;
    case RowKind::ActivityValue:
        if (r.parameter == kActivityNameRow) {
            row.label = ActivityNameLabel(setup, k);
            row.value = ActivityName(setup, k);
        } else {
            const int b = BatchEntry(k, r.parameter);
            row.label = setup.BatchLabel(b, false);
            row.value = setup.BatchValueText(b);
            row.unit = setup.BatchUnitText(b);
        }
        break;
    case RowKind::Activity:
        row.label = Text(ids::kActivity) + " " + std::to_string(k);
        row.value = setup.BatchValueText(BatchEntry(k, activity::kType));
        if (ActivityType(setup, k) != 0)
            row.unit = ActivityName(setup, k);
        row.unitIsValue = true;
        row.editButton = true;
        break;
    case RowKind::RecipeName:
        row.label = Text(ids::kRecipeNameLabel);
        row.value = TrimRight(setup.Text(RecipeNameText(k)));
        break;
    case RowKind::RecipeActivity:
        row.label = Numbered(ids::kLine, r.parameter, ids::kLineActivity);
        row.value = LineActivityText(setup, ActivityOfLine(setup, k, r.parameter));
        break;
    case RowKind::RecipeSetpoint: {
        const SetpointDisplay setpoint = SetpointOf(setup, ActivityOfLine(setup, k, r.parameter),
                                                    ValueOfLine(setup, k, r.parameter, true));
        row.label = Text(ids::kSetpointLabel);
        row.value = setpoint.value;
        row.unit = setpoint.unit;
        break;
    }
    case RowKind::Recipe:
        row.label = Text(ids::kRecipe) + Format(" %02d:", k);
        row.value = TrimRight(setup.Text(RecipeNameText(k)));
        row.editButton = true;
        break;
    case RowKind::Parameter:
        break;
    }
    return row;
}

EditRequest BatchingRowRequest(const PageRow& r, const InstrumentSetup& setup) {
    EditRequest request;
    const int k = r.item;
    switch (r.kind) {
    case RowKind::GeneralBatch:
        request.reg = InstrumentSetup::BatchRegister(r.parameter);
        request.caption = setup.BatchLabel(r.parameter, false);
        ValueRequest(request, setup, r.parameter);
        request.reread = {SetupBlock::Activity, 1}; // the general values come with activity 1
        break;
    case RowKind::ActivityValue: {
        if (r.parameter == kActivityNameRow)
            return TextRequest(setup, k - 1, ActivityName(setup, k));
        const int b = BatchEntry(k, r.parameter);
        request.reg = InstrumentSetup::BatchRegister(b);
        request.caption = setup.BatchLabel(b, true);
        request.selectorRegister = reg::kActivitySelector;
        request.selectorValue = k;
        request.reread = {SetupBlock::Activity, k};
        ValueRequest(request, setup, b);
        break;
    }
    case RowKind::RecipeName:
        return TextRequest(setup, RecipeNameText(k), TrimRight(setup.Text(RecipeNameText(k))));
    case RowKind::RecipeActivity:
    case RowKind::RecipeSetpoint: {
        const bool setpoint = r.kind == RowKind::RecipeSetpoint;
        const int line = r.parameter;
        request.reg = InstrumentSetup::RecipeRegister(LineValue(line, setpoint));
        request.caption =
            Numbered(ids::kRecipeLine, line, setpoint ? ids::kSetpoint : ids::kActivity);
        request.selectorRegister = reg::kRecipeSelector;
        request.selectorValue = k;
        request.reread = {SetupBlock::Recipe, k};
        if (setpoint) {
            request.editor = EditorKind::Number;
            request.currentText =
                SetpointOf(setup, ActivityOfLine(setup, k, line), ValueOfLine(setup, k, line, true))
                    .value;
        } else {
            request.editor = EditorKind::ActivityChoice;
            request.currentIndex = ActivityOfLine(setup, k, line);
        }
        break;
    }
    case RowKind::Activity:
    case RowKind::Recipe:
    case RowKind::Parameter:
        break;
    }
    return request;
}

// ----- The pages and dialogs
// ----------------------------------------------------------------------

namespace {

// Type, name, mode, the coarse/fine block, seven numbers, acknowledgement and the pulse rows.
constexpr size_t kMostActivityRows = 22;
constexpr int kRecipesPerColumn = 15;

PageDescriptor MakeActivities(int page) {
    PageDescriptor d{.title = page == 1 ? ids::kPageActivities1 : ids::kPageActivities2,
                     .refresh = ShowModeRefresh::ForActivitiesPage(page)};
    if (page == 1)
        for (int i = 0; i < kGeneralValues; ++i)
            d.rows.push_back(GeneralBatchRow(i));
    for (int k = page == 1 ? 1 : 10; k <= (page == 1 ? 9 : kActivities); ++k)
        d.rows.push_back(
            {.parameter = 0, .editor = EditorKind::Choice, .kind = RowKind::Activity, .item = k});
    return d;
}

PageDescriptor MakeRecipes() {
    PageDescriptor d{.title = ids::kPageRecipes, .refresh = ShowModeRefresh::ForRecipesPage()};
    for (int r = 1; r <= InstrumentSetup::kRecipes; ++r)
        d.rows.push_back({.parameter = 0,
                          .editor = EditorKind::Choice,
                          .kind = RowKind::Recipe,
                          .item = r,
                          .place = {(r - 1) % kRecipesPerColumn, (r - 1) / kRecipesPerColumn}});
    return d;
}

} // namespace

const PageDescriptor& ActivitiesPage(int page) {
    static const PageDescriptor first = MakeActivities(1);
    static const PageDescriptor second = MakeActivities(2);
    return page == 1 ? first : second;
}

const PageDescriptor& RecipesPage() {
    static const PageDescriptor page = MakeRecipes();
    return page;
}

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

PageDescriptor ActivityDialogPage(int activity) {
    const auto rowsOf = [activity](const InstrumentSetup& setup) {
        const auto choice = [&](int j) { return ChoiceOf(setup.ActivityValue(activity, j)); };
        std::vector<PageRow> rows;
        for (int j :
             ActivityRows(choice(activity::kType), choice(par::kMode), choice(par::kAckType)))
            rows.push_back(ActivityValueRow(activity, j));
        return rows;
    };
    return {.title = ids::kActivityDialogTitle,
            .rowsOf = rowsOf,
            .capacity = kMostActivityRows,
            .refresh = ShowModeRefresh::ForActivityDialog(activity)};
}

std::string ActivityDialogCaption(int activity) {
    return Text(ids::kActivityDialogTitle) + " " + std::to_string(activity);
}

PageDescriptor RecipeDialogPage(int recipe, int firstLine) {
    PageDescriptor d{.title = ids::kRecipeDialogTitle,
                     .openingRead = SetupRead{SetupBlock::Recipe, recipe},
                     .refresh = ShowModeRefresh::ForRecipeDialog(recipe)};
    d.rows.push_back(RecipeNameRow(recipe));
    d.rows.back().place = {0, 0};
    for (int i = 0; i < kRecipeLinesShown; ++i)
        for (bool setpoint : {false, true}) {
            d.rows.push_back(RecipeLineRow(recipe, firstLine + i, setpoint));
            d.rows.back().place = {i + 1, setpoint ? 1 : 0};
        }
    return d;
}

std::string RecipeDialogCaption(int recipe) {
    return Text(ids::kRecipeDialogTitle) + " " + std::to_string(recipe);
}

// ----- Set points -------------------------------------------------------------------------------

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

} // namespace quarnex
