#pragma once

#include "setup/SetupPage.h"

#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;

// The batching set-up of a Recipe Batcher as pages: the Flow rate page, the two activity pages
// with the "Batching activity no" dialog, and the Recipes page with the "Recipe no" dialog. An
// activity is reached through the activity selector (41410) and a window of 25 values, a recipe
// through the recipe selector (41462) and a window of 60 values; every edit writes the selector
// first, then the value. The pages and both dialogs are descriptors like every other page: their
// rows name batching values (RowKind), which the functions below show and edit.

// The Flow rate page (parameters 155-158): the ">>" of "Derivation time:" is offered only while
// "Automatic deriv. time:" is Off.
const PageDescriptor& FlowRatePage();

// ----- The rows ---------------------------------------------------------------------------------

// The name row among the parameter rows of an activity.
constexpr int kActivityNameRow = -1;

PageRow GeneralBatchRow(int i);                // general value i (0-4)
PageRow ActivityValueRow(int activity, int j); // value j (0-24) or kActivityNameRow
PageRow RecipeNameRow(int recipe);
PageRow RecipeLineRow(int recipe, int line, bool setpoint); // line 1-30

// Whether a batching row shows: a recipe line's set point is hidden where the line's activity has
// none (no activity, or one without a set point); every other batching row shows.
RowState BatchingRowState(const PageRow& row, const InstrumentSetup& setup);
// What a batching row shows: its state as above, and its label, value and unit from the copy;
// the activity and recipe rows keep their ">>" in show mode, where their dialogs show without
// editing.
RowDisplay BatchingRowDisplay(const PageRow& row, const InstrumentSetup& setup, bool editMode);
// The ">>" of a batching row: the selector, the window register, the value's editor.
EditRequest BatchingRowRequest(const PageRow& row, const InstrumentSetup& setup);

// ----- The pages and dialogs
// ----------------------------------------------------------------------

// page 1: the five general values and activities 1-9; page 2: activities 10-24. Each activity
// shows its type and, unless "Not used", its name; its ">>" opens its dialog.
const PageDescriptor& ActivitiesPage(int page);
// The 30 recipe names in two columns, each with a ">>" to its dialog.
const PageDescriptor& RecipesPage();

// "Batching activity no": "Activity type:" (0), the name row unless the type is "Not used", then
// the rows the type uses, switched by "Batching mode:" and "Acknowledge type:".
std::vector<int> ActivityRows(int type, int batchingMode, int acknowledgeType);
PageDescriptor ActivityDialogPage(int activity);
std::string ActivityDialogCaption(int activity); // "Batching activity no 3"

// "Recipe no": the name, then fifteen lines from `firstLine` (1 or 16), each its activity and, in
// a second column, its set point. Edit mode reads the recipe as the dialog opens.
constexpr int kRecipeLinesShown = 15;
PageDescriptor RecipeDialogPage(int recipe, int firstLine);
std::string RecipeDialogCaption(int recipe); // "Recipe no 5"

// A line's set point as its activity's type shows it; shown false: no set-point row.
struct SetpointDisplay {
    bool shown = false;
    std::string value;
    std::string unit;
};
SetpointDisplay SetpointOf(const InstrumentSetup& setup, int activityNumber, double setpoint);

} // namespace quarnex
