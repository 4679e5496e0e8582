#pragma once

#include "edit/EditRequest.h"
#include "setup/ShowModeRefresh.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;

// Which value of the set-up copy a row shows and writes, and what its ">>" does.
enum class RowKind {
    Parameter,      // parameter `parameter`: a row of SetupParameterTable (0-188)
    GeneralBatch,   // general batching value `parameter` (0-4)
    ActivityValue,  // value `parameter` (0-24) of activity `item`, or its name (kActivityNameRow)
    Activity,       // activity `item`: its type and name; ">>" opens its dialog, also in show mode
    RecipeName,     // the name of recipe `item`
    RecipeActivity, // the activity of line `parameter` (1-30) of recipe `item`
    RecipeSetpoint, // the set point of that line, as its activity's type shows it
    Recipe,         // recipe `item`: its name; ">>" opens its dialog, also in show mode
};

// Where a row sits: by default under the row before it; a page of several columns of rows (the
// recipes, the recipe dialog's lines) gives each row its line and its column.
struct RowPlace {
    int line = -1; // -1: the next line
    int column = 0;
};

// One row of a page: a label, a read-only value field, a unit field and a ">>" button.
struct PageRow {
    int parameter = 0; // what `kind` numbers: a parameter, a batching value, a recipe line
    EditorKind editor = EditorKind::Number;
    int endRegister = 0; // Adjust: the register that is written with 0 when the adjustment ends
    RowKind kind = RowKind::Parameter;
    int item = 0; // the activity or recipe the row belongs to
    RowPlace place{};
};

// What a page's dependent rules make of a row. Always written with its field names
// ({.enabled = false}): four bools in a row swap unseen when given by position.
struct RowState {
    bool shown = true;   // false: label, value, unit and ">>" are hidden altogether
    bool enabled = true; // false: label and ">>" are disabled
    bool empty = false;  // the value and unit fields are empty (the parameter keeps its value)
    bool button = true;  // false: no ">>" (the instrument fixes or measures the value itself)

    bool operator==(const RowState&) const = default;
};

// The states the rules give most: a row in use, a row switched off by another value (greyed,
// without value), a row the current values leave off the page.
inline constexpr RowState kRowOn{};
inline constexpr RowState kRowOff{.enabled = false, .empty = true};
inline constexpr RowState kRowHidden{.shown = false, .enabled = false, .empty = true};

// A page's dependent rules: the state of the row that shows `parameter`, from the set-up values
// alone (the instrument's counts included). Pure: the same values give the same state.
using RowRule = RowState (*)(int parameter, const InstrumentSetup& setup);

// A framed group of consecutive rows with a heading.
struct PageGroup {
    int title; // string ID
    size_t firstRow;
    size_t rowCount;
};

// A set-up page as data. Every page and both batching dialogs are their rows plus their rules;
// one page model keeps any of them current and one row widget renders it. The rows are fixed, or
// computed from the set-up copy at every display (the activity dialog: the activity's type decides
// its rows). A page with a live part (the calibration page's measured signal) keeps that part
// beside its descriptor and still shows its parameter rows through this one.
struct PageDescriptor {
    int title = 0; // string ID of the tab text
    std::vector<PageRow> rows{};
    RowRule rule = nullptr; // none: every row shown, enabled and filled
    std::vector<PageGroup> groups{};
    // Set: the rows follow the copy, and `rows` are only the ones the window opens with.
    std::function<std::vector<PageRow>(const InstrumentSetup&)> rowsOf{};
    size_t capacity = 0; // with rowsOf: the most rows it gives (the window makes as many)
    // Edit mode reads this once as the page opens, with messages (a recipe not read yet).
    std::optional<SetupRead> openingRead{};
    // How show mode keeps the page current.
    ShowModeRefresh refresh = ShowModeRefresh::ForStandardPage();
};

// The rows a page shows for the copy as it is now.
std::vector<PageRow> PageRowsOf(const PageDescriptor& page, const InstrumentSetup& setup);

// The rule's verdict for row index i of the page (rows without a rule are shown and enabled).
RowState PageRowState(const PageDescriptor& page, size_t i, const InstrumentSetup& setup);

// The activity and recipe rows that lead to their dialogs.
inline bool OpensDialog(const PageRow& row) {
    return row.kind == RowKind::Activity || row.kind == RowKind::Recipe;
}

// What the page shows in one row.
struct RowDisplay {
    std::string label;
    std::string value;
    std::string unit;
    RowState state;
    bool editButton = false;  // ">>" visible: only in edit mode, and never on a hidden row
    bool editEnabled = true;  // ">>" can be pressed now (a live condition of the page may hold it)
    bool unitIsValue = false; // the unit field shows a value too (an activity's name by its type)
};

// The page before its first read: labels and units from the set-up copy (for special rows the
// instrument's own names and units), empty values, the rows the instrument does not have hidden,
// everything else enabled.
std::vector<RowDisplay> InitialPageDisplay(const PageDescriptor& page, const InstrumentSetup& setup,
                                           bool editMode);

// The page after a successful read: every value's display text, its unit, and the page's rules
// applied. A lock code shows "* * * *" while its lock is On. Row i shows PageRowsOf(page)[i], or
// rows[i] where the caller has them already.
std::vector<RowDisplay> PageDisplay(const PageDescriptor& page, const InstrumentSetup& setup,
                                    bool editMode);
std::vector<RowDisplay> PageDisplay(const PageDescriptor& page, const std::vector<PageRow>& rows,
                                    const InstrumentSetup& setup, bool editMode);

// One row as a page without rules shows it (the set-up comparison shows recipe lines so).
RowDisplay ShowRow(const PageRow& row, const InstrumentSetup& setup, bool editMode);

// After a failed read every value field shows "----------" (and a unit field that shows a value);
// labels, units and row states stay as the last successful display left them, so the fields
// recover with the next good read.
void ShowFailedRead(std::vector<RowDisplay>& display);

// The register a row's value is read from and written to: first normal set-up register + 2 n for
// a normal parameter, first special set-up register + 2 j for special parameter j.
int RowRegister(const PageRow& row, const InstrumentSetup& setup);

// The request for the ">>" of a row, from the set-up copy as it is now (none for a row that
// opens a dialog).
EditRequest RowEditRequest(const PageRow& row, const InstrumentSetup& setup);

// A choice position or count from a stored float; a value that is no number or far outside any
// list (an unread 999.0 stays 999) gives a number that no rule or list accepts.
int ChoiceOf(double value);
// ChoiceOf the set-up value of a parameter.
int ChoiceAt(const InstrumentSetup& setup, int parameter);

} // namespace quarnex
