#pragma once

#include "files/SetupFile.h"
#include "platform/FileChooser.h"

#include <string>
#include <vector>

namespace quarnex {

// A printer that works on a grid of character cells, as a line printer would: a left margin, tab
// stops, wrapping at the right edge, a page header with the centred title and the page number.
// It lays out whole pages of text; the window draws each page's cells with a fixed-pitch font
// (14 columns and 6 lines per inch), one character per cell.
class CharacterPrinter {
public:
    static constexpr int kColumnsPerInch = 14;
    static constexpr int kLinesPerInch = 6;
    static constexpr int kLeftMargin = 16;
    static constexpr int kTabWidth = 8;

    // columns and lines of one page; a page too small for the margin and the header is enlarged
    // to the least that works, so that a tiny paper never loops.
    CharacterPrinter(std::string title, int columns, int lines);

    // TAB to the next multiple of the tab width (a new line past the right edge), form feed a new
    // page, CR back to the margin, LF a new line; any other character fills the current cell.
    void PrintText(const std::string& text);
    // A new line first unless at the margin, the text, then LF when lineEnd is set.
    void PrintLine(const std::string& text, bool lineEnd);
    void NewLine();
    void NewPage();
    // Ends the last page.
    void End() { ended_ = true; }

    int Columns() const { return columns_; }
    int Lines() const { return lines_; }
    // The pages laid out so far: each exactly Lines() strings of Columns() characters.
    const std::vector<std::vector<std::string>>& Pages() const { return pages_; }

private:
    void StartDocument();
    void Put(char c);
    void PageHeader();

    std::string title_;
    int columns_;
    int lines_;
    int column_ = kLeftMargin;
    int line_ = 0;
    int page_ = 1;
    bool ended_ = false;
    std::vector<std::vector<std::string>> pages_;
};

// The viewer's listing of a set-up file: the headings with the lines of each section (label TAB
// display text SPACE unit, or label TAB text), and the user's information lines.
struct SetupListing {
    std::vector<std::string> lines;
    std::vector<std::string> userInfo;
};

// The viewer's open chooser: every backup kind together, each kind alone, then all files; no
// default extension, starting at the current file.
FileChooser::Request SetupViewerFileRequest(const std::string& current);

// Reads the listing of the file whose name is set in file (validated, with the messages of the
// file layer). A missing optional section leaves its heading without lines; any other failure
// returns its status and leaves listing empty.
SetupFileStatus ReadSetupListing(SetupFile& file, Prompter& owner, SetupListing& listing);

// Which groups are printed; the identification and the user's information always are.
struct PrintSelection {
    bool setup = true;
    bool batching = true;
    bool recipes = true;
    bool strings = true;
    bool Any() const { return setup || batching || recipes || strings; }
};

// File text as a terminal may show it: control characters (C0, DEL and C1, the bytes that move
// the cursor, clear the screen or retitle the window) become visible escapes such as "\x1B";
// printable bytes and whole UTF-8 sequences of printable characters stay as they are.
std::string VisibleEscapes(const std::string& text);

// A value line as printed: the label padded to 35 characters, then the rest of the line. A line
// without TAB is printed as it is.
std::string PrintValueLine(const std::string& line);

// Prints the file (its name set in file) on printer, as the viewer's "Print" does, and ends the
// printer's document. A group follows only when the group before it ended with its end line.
SetupFileStatus PrintSetupFile(SetupFile& file, Prompter& owner, const PrintSelection& selection,
                               CharacterPrinter& printer);

} // namespace quarnex
