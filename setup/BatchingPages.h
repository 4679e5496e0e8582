#pragma once

#include "setup/SetupPage.h"

#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;

// The batching set-up of a Recipe Batcher without its windows: the Flow rate page, the two
// activity pages with the "Batching activity no" dialog, and the Recipes page with the
// "Recipe no" dialog. An activity is reached through the activity selector (41410) and a window of
// 25 values, a recipe through the recipe selector (41462) and a window of 60 values; every edit
// writes the selector first, then the value. Their show-mode reads are ShowModeRefresh's phases,
// their edits EditRequests like every other ">>".

// The Flow rate page (parameters 155-158): the ">>" of "Derivation time:" is offered only while
// "Automatic deriv. time:" is Off.
const PageDescriptor& FlowRatePage();

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
EditRequest GeneralValueEditRequest(int i, const InstrumentSetup& setup);

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
    EditRequest EditRequestFor(int parameter) const;

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
    EditRequest NameEditRequest() const;
    EditRequest ActivityEditRequest(int line) const;
    EditRequest SetpointEditRequest(int line) const;

private:
    // A recipe's line n is two values of the recipe window, its activity and its set point.
    static int LineValue(int line, bool setpoint) { return 2 * (line - 1) + (setpoint ? 1 : 0); }
    double ValueOfLine(int line, bool setpoint) const;

    const InstrumentSetup& setup_;
    int recipe_;
    bool editMode_;
    int offset_ = 0;
};

} // namespace quarnex
