#pragma once

#include <string>

namespace quarnex {

// How a ">>" changes its value: which value-entry dialog it opens.
enum class EditorKind {
    Choice,         // the choice dialog with the parameter's list; the chosen position is written
    Number,         // the number dialog, opened with the value's display text
    Code,           // a lock code: its value field is masked, the number dialog gets the real code
    Adjust,         // the analogue outputs' adjustment dialog, ended through an adjust-end register
    Special,        // a special-menu parameter: the number dialog; label, unit, decimals from the
                    // instrument
    Text,           // a name (instrument, activity, recipe): the text dialog
    ActivityChoice, // a recipe line's activity: the choice of the activities in use
    Shunt,          // the calibration force measured with the shunt resistor connected
};

// A block of the set-up copy that is read as one: what is read again after a confirmed edit,
// and what one show-mode refresh step reads.
enum class SetupBlock {
    Normal,   // the standard set-up values
    Special,  // the special values, without their descriptors
    Activity, // the general batching values and activity `number` (through its selector)
    Texts,    // the activity and recipe names
    Recipe,   // recipe `number` (through its selector)
};

struct SetupRead {
    SetupBlock block = SetupBlock::Normal;
    int number = 0; // Activity, Recipe

    bool operator==(const SetupRead&) const = default;
};

// Everything the editor a ">>" opens needs to know: every ">>" of the sheet, of the activity
// dialog and of the recipe dialog yields one of these, and one dispatcher opens its editor.
struct EditRequest {
    EditorKind editor = EditorKind::Number;
    int reg = 0;              // the register the value is written to
    std::string caption{};    // the parameter's label
    int selectorRegister = 0; // 0: none; else written with selectorValue before the value
    int selectorValue = 0;
    int firstChoice = 0; // Choice: the list's string IDs
    int finalChoice = 0;
    int currentIndex = 0;       // Choice: the position preselected; ActivityChoice: the activity
    std::string currentText{};  // Number, Code, Special, Text, Shunt: the text in the edit
    int textCount = 0;          // Text: registers
    int endRegister = 0;        // Adjust
    int currentInteger = 0;     // Adjust: the value the dialog writes when it opens
    int extraTimeout = 0;       // ms of extra receive time-out: the instrument measures first
    std::string confirmation{}; // Choice: a Yes/No question asked before the write
    int decimals = -1;          // Number: the decimals the value is shown with; -1 where not known
    SetupRead reread{};         // what to read again after the editor ends with OK
};

} // namespace quarnex
