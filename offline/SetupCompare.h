#pragma once

#include "files/SetupFileImage.h"
#include "files/SetupListing.h"
#include "platform/FileChooser.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;

// One value that differs between two set-ups: the row's label (activities, recipe lines and
// strings with their number) and both values as the sheet shows them, with their units.
struct DiffLine {
    std::string label;
    std::string left;
    std::string right;
    int order = 0; // the row's place in the sheet's order, the same for every pair of set-ups
};

// The differences of one page (or of the identification block), under the page's title.
struct DiffGroup {
    std::string title;
    std::vector<DiffLine> lines;
};

// What differs between two set-ups, grouped by page in the sheet's order: the identification
// block first (program version, set-up version, counts), then the pages' rows, the activities,
// the recipes, the special menu, and last the set-up values that no page shows. Groups without a
// difference are left out; equal set-ups give no group at all.
struct SetupDiff {
    std::vector<DiffGroup> groups;
    // Which instrument each side comes from: type and serial number ("KEL 7, serial number
    // 12-3456"). The serial number is never a difference: two instruments always have their own.
    std::string leftIdentity;
    std::string rightIdentity;
    bool Equal() const { return groups.empty(); }
    int Count() const;
};

SetupDiff CompareSetups(const SetupFileImage& left, const SetupFileImage& right);
// Set-ups of two instrument types have no rows in common ("not comparable: KEL 7 and PIR 7",
// as a restore refuses such a file); "" when they are of one type.
std::string NotComparableText(const SetupFileImage& left, const SetupFileImage& right);
// Two set-up versions of one type compare value by value, with this warning; "" for one version.
std::string SetupVersionWarning(const SetupFileImage& left, const SetupFileImage& right);

// The comparison as text, one line each: a heading per group, then the label padded to 35
// characters (as a printed listing pads it), the left value padded to 24, the right value; at
// least two blanks between the columns, so a label that fills its column still stands apart, and
// a column widened for a longer label or value. Widths count the characters printed: the texts
// come with their control characters escaped ("\x07") and a UTF-8 character counts once.
// Headed by "Compared:" left name and "with:" right name, each with its identity, ended by the
// count ("No differences." for equal set-ups). brief: the header and the count only.
std::vector<std::string> DiffText(const SetupDiff& diff, const std::string& leftName,
                                  const std::string& rightName, bool brief = false);

// The result window's "Save as text": the chooser's request (text files, "txt"), and the lines
// written with LF. False with the system's reason in error; a file that could not be written
// completely is removed rather than left half.
FileChooser::Request DiffTextFileRequest(const std::string& current);
bool SaveDiffText(const std::string& path, const std::vector<std::string>& lines,
                  std::string& error);
// Lays the lines out as a printed listing: a line each, the page header with the title, and ends
// the document.
void PrintDiffText(const std::vector<std::string>& lines, CharacterPrinter& printer);

// The backup's read of the instrument at address (the same checks and requests) into image, as if
// it were a complete file without information lines. False when the read failed; its message was
// shown at owner headed by "Compare failed !".
bool ReadInstrumentImage(ModbusMaster& bus, int address, Prompter& owner, Progress& progress,
                         SetupFileImage& image);
// "Instrument at address 3".
std::string InstrumentSideName(int address);

// ----- Many files against one --------------------------------------------------------------------

// Every file of a folder against a reference: which rows differ in which file.
struct FleetFile {
    std::string name;    // the file name without its folder
    bool loaded = false; // false: the file did not load (its message went to the prompter)
    std::string problem; // why not, for the table
    int differences = 0;
};
struct FleetRow {
    std::string group;
    std::string label;
    int order = 0;
    std::vector<std::string> values; // per file: its value where it differs, "" where it does not
    std::string reference;           // the reference's value
};
struct FleetTable {
    std::vector<FleetFile> files;
    std::vector<FleetRow> rows; // in the sheet's order
    bool AnyDifference() const;
    bool AnyUnreadable() const;
};

// The set-up files of folder (the backup kinds' extensions, in name order) other than the
// reference itself. False when the folder cannot be read (error filled).
bool SetupFilesIn(const std::string& folder, const std::string& reference,
                  std::vector<std::string>& paths, std::string& error);

// Loads each path and compares it with reference; a file that does not load gets its column
// marked and the reason from the prompter's last message.
class FleetCompare {
public:
    explicit FleetCompare(const SetupFileImage& reference) : reference_(reference) {}
    // The file's column; owner receives the loader's messages.
    void Add(const std::string& path, Prompter& owner);
    void AddLoaded(const std::string& name, const SetupFileImage& image);
    void AddUnreadable(const std::string& name, const std::string& problem);
    const FleetTable& Table() const { return table_; }

private:
    const SetupFileImage& reference_;
    FleetTable table_;
};

// The table as text: the reference and a numbered list of the files with their counts, then one
// line per row that differs anywhere: its group and label, the reference's value and an "X" under
// every file where it differs. brief: the list of files only.
std::vector<std::string> FleetText(const FleetTable& table, const std::string& referenceName,
                                   bool brief = false);

} // namespace quarnex
