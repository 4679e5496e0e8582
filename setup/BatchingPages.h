#pragma once

#include "platform/Prompter.h"
#include "setup/SetupPage.h"

#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;
class ModbusMaster;

// The batching set-up of a Recipe Batcher without its windows: the Flow rate page, the two
// activity pages with the "Batching activity no" dialog, and the Recipes page with the
// "Recipe no" dialog. An activity is reached through the activity selector (41410) and a window of
// 25 values, a recipe through the recipe selector (41462) and a window of 60 values; every edit
// writes the selector first, then the value.

// The Flow rate page (parameters 155-158): the ">>" of "Derivation time:" is offered only while
// "Automatic deriv. time:" is Off.
const PageDescriptor& FlowRatePage();

// ----- Editing one value ------------------------------------------------------------------------

enum class BatchEditor {
    Choice,         // ChoiceEntry with the list firstChoice ... finalChoice
    Number,         // NumericEntry opened with currentText
    Text,           // TextEntry of textCount registers opened with currentText
    ActivityChoice, // ActivityChoiceEntry with ActivityChoiceEntry::ActivitiesOf(setup)
};

// What is read again (errors shown) after the editor ended with OK.
enum class BatchReread {
    GeneralValues, // the five general values and activity 1
    Activity,      // activity `number`
    Texts,         // the activity and recipe names
    Recipe,        // recipe `number`
};

// Everything the value-entry dialog that a ">>" opens needs. With a selector register the
// entry's SetSelector(selectorRegister, selectorValue) is called before it is shown.
struct BatchEditRequest {
    BatchEditor editor = BatchEditor::Number;
    int reg = 0;
    std::string caption;
    int selectorRegister = 0; // 0: none
    int selectorValue = 0;
    int firstChoice = 0; // Choice
    int finalChoice = 0;
    int currentIndex = 0;    // Choice: the position preselected; ActivityChoice: the activity
    std::string currentText; // Number, Text
    int textCount = 0;       // Text: registers
    BatchReread reread = BatchReread::Activity;
    int number = 0; // the activity or recipe read again
};

// The read after a confirmed edit, errors shown. False when it failed (the caller dashes).
bool RereadAfterEdit(const BatchEditRequest& request, ModbusMaster& bus, InstrumentSetup& setup,
                     Prompter& prompter);

// ----- Show-mode refresh ------------------------------------------------------------------------

// The reads a batching page or dialog runs in show mode, one per timer tick, as a list of
// phases. Phases that read activities are skipped on an instrument without activities, the
// special values and the names on one without them; a skipped phase gives no update.
class BatchShowRefresh {
public:
    enum class Read {
        Normal,     // the standard set-up block
        Activities, // the activities first ... last, in one tick
        Cycle,      // one activity per tick, first ... last then first again
        Recipe,     // recipe `first`
        Special,
        Texts,
    };
    struct Phase {
        Read read;
        int first = 0;
        int last = 0;
    };
    struct Step {
        bool update = false;
        bool failed = false;
    };

    BatchShowRefresh(std::vector<Phase> phases, int periodMs);

    // Activities1 and Activities2 (200 ms), the activity dialog (250 ms), the Recipes page
    // (500 ms), the recipe dialog (250 ms).
    static BatchShowRefresh ForActivitiesPage(int page);
    static BatchShowRefresh ForActivityDialog(int activity);
    static BatchShowRefresh ForRecipesPage();
    static BatchShowRefresh ForRecipeDialog(int recipe);

    // Activation: does the instrument answer (40001, one retry, no box)? The wait cursor shows
    // meanwhile.
    static Step Activate(ModbusMaster& bus, const InstrumentSetup& setup, Prompter& prompter);
    Step Tick(ModbusMaster& bus, InstrumentSetup& setup);

    int PeriodMs() const { return periodMs_; }
    size_t PhaseIndex() const { return phase_; }
    int CycleActivity() const { return cycle_; }

private:
    std::vector<Phase> phases_;
    int periodMs_;
    size_t phase_ = 0;
    int cycle_ = 0; // 0: not started, else the next activity of the cycle phase
};

// ----- Activities1 and Activities2 ----------------------------------------------------------

struct ActivityGroupDisplay {
    int activity = 0;
    std::string heading; // "Activity 7"
    std::string type;    // display text of "Activity type:"
    std::string name;    // empty while the type is "Not used"
};

struct ActivitiesPageDisplay {
    std::vector<RowDisplay> general; // page 1: the five general values; page 2: none
    std::vector<ActivityGroupDisplay> activities;
};

// page 1: general values and activities 1-9; page 2: activities 10-24. The activity ">>" stays
// in show mode: the activity dialog shows an activity without editing it.
int ActivitiesPageTitle(int page);
int ActivitiesPageFirst(int page);
int ActivitiesPageLast(int page);
ActivitiesPageDisplay ActivitiesDisplay(int page, const InstrumentSetup& setup, bool editMode,
                                        bool failed);
// The ">>" of general value i (0-4).
BatchEditRequest GeneralValueEditRequest(int i, const InstrumentSetup& setup);

// ----- "Batching activity no" -------------------------------------------------------------------

// The name row among the parameter rows of an activity.
constexpr int kActivityNameRow = -1;

// The rows of the activity dialog: "Activity type:" (0), the name row unless the type is "Not
// used", then the rows the type uses, switched by "Batching mode:" and "Acknowledge type:".
std::vector<int> ActivityRows(int type, int batchingMode, int acknowledgeType);

struct ActivityRowDisplay {
    int parameter = 0; // 0-24, or kActivityNameRow
    std::string label;
    std::string value;
    std::string unit;
    bool editButton = false;
};

class ActivityDialog {
public:
    ActivityDialog(const InstrumentSetup& setup, int activity, bool editMode);

    int Activity() const { return activity_; }
    std::string Caption() const; // "Batching activity no 3"
    // Rebuilt from the set-up copy on every call; failed: every value "----------".
    std::vector<ActivityRowDisplay> Rows(bool failed) const;
    // The ">>" of the row showing parameter j (or the name row).
    BatchEditRequest EditRequest(int parameter) const;

private:
    const InstrumentSetup& setup_;
    int activity_;
    bool editMode_;
};

// ----- Recipes --------------------------------------------------------------------------------

struct RecipeRowDisplay {
    std::string label; // "Recipe 01:"
    std::string name;
};
std::vector<RecipeRowDisplay> RecipesDisplay(const InstrumentSetup& setup, bool failed);

// A line's set point as its activity's type shows it; shown false: no set-point row.
struct SetpointDisplay {
    bool shown = false;
    std::string value;
    std::string unit;
};
SetpointDisplay SetpointOf(const InstrumentSetup& setup, int activityNumber, double setpoint);

struct RecipeLineDisplay {
    int line = 0;         // 1-30
    std::string label;    // "Line 16, Activity:"
    std::string activity; // "00:---", "03:Mixing", "07:Not used"
    SetpointDisplay setpoint;
    bool editButtons = false; // activity and set-point ">>" (the latter only on a shown row)
};

struct RecipeDialogDisplay {
    std::string name;
    bool nameButton = false;
    std::vector<RecipeLineDisplay> lines; // 15
    bool lines16To30Enabled = false;      // "LINE 16 - 30"
    bool lines1To15Enabled = false;       // "LINE 1 - 15"
};

class RecipeDialog {
public:
    static constexpr int kLinesPerHalf = 15;

    RecipeDialog(const InstrumentSetup& setup, int recipe, bool editMode);

    int Recipe() const { return recipe_; }
    std::string Caption() const; // "Recipe no 5"
    int Offset() const { return offset_; }
    void ShowLines16To30() { offset_ = kLinesPerHalf; }
    void ShowLines1To15() { offset_ = 0; }

    RecipeDialogDisplay Display(bool failed) const;
    int ActivityOfLine(int line) const; // 1-30; a damaged value gives 0
    BatchEditRequest NameEditRequest() const;
    BatchEditRequest ActivityEditRequest(int line) const;
    BatchEditRequest SetpointEditRequest(int line) const;

private:
    const InstrumentSetup& setup_;
    int recipe_;
    bool editMode_;
    int offset_ = 0;
};

} // namespace quarnex
