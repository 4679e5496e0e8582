#pragma once

// String IDs of set-ups away from the instrument: comparing and editing them
// (res/strings_offline.inc).

namespace quarnex::ids {

constexpr int kDiffIdentification = 21400;   // the first group of a comparison
constexpr int kDiffOtherValues = 21401;      // set-up values that no page shows
constexpr int kDiffNotInSetup = 21402;       // the side that does not have the value
constexpr int kDiffActivityLine = 21403;     // "Activity %1: %2"
constexpr int kDiffRecipeLine = 21404;       // "Recipe %1: %2"
constexpr int kDiffRegister = 21405;         // "Register %1"
constexpr int kDiffNoDifferences = 21406;    // the whole result of equal set-ups
constexpr int kDiffDifferences = 21407;      // "%1 differences"
constexpr int kDiffOneDifference = 21408;    // "1 difference"
constexpr int kDiffCompared = 21409;         // "Compared:"
constexpr int kDiffWith = 21410;             // "with:"
constexpr int kDiffInstrument = 21411;       // "Instrument at address %1"
constexpr int kDiffReadFailed = 21412;       // "Compare failed !"
constexpr int kFleetReference = 21413;       // "Reference:"
constexpr int kFleetNoFiles = 21414;         // no set-up files in the folder
constexpr int kFleetUnreadable = 21415;      // a file of the folder that did not load
constexpr int kFleetEqual = 21416;           // "equal"
constexpr int kFleetDiffers = 21417;         // "%1 rows differ"
constexpr int kFleetRow = 21418;             // the row column's heading
constexpr int kDiffSerialNumber = 21419;     // "serial number"
constexpr int kDiffNotLoaded = 21427;        // "%1: the set-up could not be loaded"
constexpr int kCompareSaveCaption = 21428;   // the save chooser's caption
constexpr int kCompareTextFilter = 21429;    // "Text files (*.txt)"
constexpr int kCompareCaption = 21430;       // the result window
constexpr int kCompareButton = 21431;        // "Compare…" in the viewer and on the panel
constexpr int kCompareSaveButton = 21432;    // "Save as text…"
constexpr int kCompareOpenCaption = 21433;   // the chooser of the file compared with
constexpr int kCompareRowColumn = 21434;     // "Row"
constexpr int kFleetDiffersOnce = 21435;     // "1 row differs"
constexpr int kOfflineMode = 21436;          // the sheet's caption: "<file> (Offline)"
constexpr int kOfflineSaveCaption = 21437;   // the save dialog and its chooser
constexpr int kOfflineReplaceSource = 21438; // the save would write over the file being edited
constexpr int kOfflineSaved = 21439;
constexpr int kOfflineEditMenu = 21440;   // File > "Edit set-up file…"
constexpr int kOfflineEditButton = 21441; // the viewer's button
constexpr int kOfflineOpenCaption = 21442;
constexpr int kOfflineSaveButton = 21443;
constexpr int kOfflineEditPrompt = 21444; // its status-bar prompt and tool tip

// diff of two set-ups that cannot or can only partly be compared.
constexpr int kDiffNotComparable = 21870;  // "not comparable: %1 and %2"
constexpr int kDiffVersionWarning = 21871; // set-up versions differ

} // namespace quarnex::ids
