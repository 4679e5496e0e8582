#include "files/SetupListing.h"

#include "files/FileTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstdio>

namespace quarnex {

namespace {

constexpr int kLabelWidth = 35;
// The header takes five lines; a page keeps at least one line of text below it.
constexpr int kHeaderLines = 5;

struct Group {
    SectionId id;
    int heading;
};

constexpr Group kValueGroups[] = {
    {SectionId::kSetUp, ids::kListSetupData},
    {SectionId::kBatchSetUp, ids::kListBatchingData},
    {SectionId::kRecipeSetUp, ids::kListRecipeData},
    {SectionId::kStrSetUp, ids::kListStringData},
};

// Reads the lines of a section; the status of the search or of the first failing read (the end
// line gives kEndLine, a normal end).
SetupFileStatus ReadLines(SetupFile& file, Prompter& owner, SectionId id, int skipFields,
                          bool stripLineEnd, std::vector<std::string>& out) {
    const SetupFileStatus found = file.FindSection(id, owner);
    if (found != SetupFileStatus::kOk)
        return found;
    for (;;) {
        std::string text;
        const SetupFileStatus s = file.ReadTextLine(text, owner, skipFields, stripLineEnd);
        if (s != SetupFileStatus::kOk)
            return s;
        out.push_back(text);
    }
}

} // namespace

CharacterPrinter::CharacterPrinter(std::string title, int columns, int lines)
    : title_(std::move(title)), columns_(std::max(columns, kLeftMargin + kTabWidth)),
      lines_(std::max(lines, kHeaderLines + 1)) {}

void CharacterPrinter::StartDocument() {
    if (pages_.empty())
        pages_.emplace_back(lines_, std::string(columns_, ' '));
}

void CharacterPrinter::Put(char c) {
    StartDocument();
    if (column_ >= 0 && column_ < columns_)
        pages_.back()[line_][column_] = c;
}

void CharacterPrinter::PrintText(const std::string& text) {
    if (ended_)
        return;
    StartDocument();
    for (char c : text) {
        switch (c) {
        case '\t': {
            const int next = (column_ / kTabWidth + 1) * kTabWidth;
            if (next >= columns_)
                NewLine();
            else
                column_ = next;
            break;
        }
        case '\f':
            NewPage();
            break;
        case '\r':
            column_ = kLeftMargin;
            break;
        case '\n':
            NewLine();
            break;
        default:
            Put(c);
            if (++column_ >= columns_)
                NewLine();
        }
    }
}

void CharacterPrinter::PrintLine(const std::string& text, bool lineEnd) {
    if (ended_)
        return;
    StartDocument();
    if (column_ != kLeftMargin)
        NewLine();
    PrintText(text);
    if (lineEnd)
        PrintText("\n");
}

void CharacterPrinter::NewLine() {
    StartDocument();
    column_ = kLeftMargin;
    if (++line_ >= lines_)
        NewPage();
}

void CharacterPrinter::NewPage() {
    StartDocument();
    pages_.emplace_back(lines_, std::string(columns_, ' '));
    line_ = 0;
    column_ = kLeftMargin;
    ++page_;
    PageHeader();
}

void CharacterPrinter::PageHeader() {
    // The header's lines are placed directly: its line feeds never reach the page's end.
    line_ = 2;
    const int titleColumn = std::max(0, columns_ / 2 - static_cast<int>(title_.size()) / 2);
    for (size_t i = 0; i < title_.size() && titleColumn + static_cast<int>(i) < columns_; ++i)
        pages_.back()[line_][titleColumn + i] = title_[i];
    const std::string number = std::to_string(page_);
    const int numberColumn = std::max(0, columns_ - static_cast<int>(number.size()) - 1);
    for (size_t i = 0; i < number.size(); ++i)
        pages_.back()[line_][numberColumn + i] = number[i];
    line_ += 3;
    column_ = kLeftMargin;
}

FileChooser::Request SetupViewerFileRequest(const std::string& current) {
    return {{},
            {{Text(ids::kAllBackupFilesFilter), {"*.pir", "*.kel", "*.jov", "*.yax"}},
             {Text(ids::kPirFilter), {"*.pir"}},
             {Text(ids::kKelFilter), {"*.kel"}},
             {Text(ids::kJovFilter), {"*.jov"}},
             {Text(ids::kYaxFilter), {"*.yax"}},
             {Text(ids::kAllFilesFilter), {"*.*"}}},
            {},
            current};
}

SetupFileStatus ReadSetupListing(SetupFile& file, Prompter& owner, SetupListing& listing) {
    listing = {};
    SetupFileStatus s = file.OpenForRead(owner);
    if (s == SetupFileStatus::kOk)
        s = file.Validate(true, owner);
    SetupListing out;
    auto section = [&](int heading, SectionId id, int skip, std::vector<std::string>& into) {
        if (s != SetupFileStatus::kOk)
            return;
        if (heading) {
            if (!into.empty())
                into.push_back("");
            into.push_back(Text(heading));
        }
        const SetupFileStatus r = ReadLines(file, owner, id, skip, true, into);
        if (r != SetupFileStatus::kEndLine && r != SetupFileStatus::kSectionNotFound)
            s = r;
    };
    section(ids::kListInstrumentInformation, SectionId::kInstrId, 2, out.lines);
    for (const Group& g : kValueGroups)
        section(g.heading, g.id, 2, out.lines);
    section(0, SectionId::kUserInfo, 0, out.userInfo);
    if (file.IsOpen())
        file.Close(owner);
    if (s == SetupFileStatus::kOk)
        listing = std::move(out);
    return s;
}

std::string PrintValueLine(const std::string& line) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos)
        return line;
    std::string label = line.substr(0, tab);
    if (label.size() < kLabelWidth)
        label.append(kLabelWidth - label.size(), ' ');
    return label + line.substr(tab + 1);
}

SetupFileStatus PrintSetupFile(SetupFile& file, Prompter& owner, const PrintSelection& selection,
                               CharacterPrinter& printer) {
    SetupFileStatus s = file.OpenForRead(owner);
    if (s == SetupFileStatus::kOk)
        s = file.Validate(true, owner);
    if (s != SetupFileStatus::kOk) {
        if (file.IsOpen())
            file.Close(owner);
        printer.End();
        return s;
    }
    // Prints one group; true when it ended with its end line (or, for the identification, was
    // missing).
    auto group = [&](int heading, SectionId id, int skip, bool missingIsEnd) {
        const std::string title = Text(heading);
        printer.PrintLine(title, true);
        printer.PrintLine(std::string(title.size(), '-'), true);
        std::vector<std::string> lines;
        const SetupFileStatus r = ReadLines(file, owner, id, skip, false, lines);
        for (const std::string& line : lines)
            printer.PrintText(skip ? PrintValueLine(line) : line);
        return r == SetupFileStatus::kEndLine ||
               (missingIsEnd && r == SetupFileStatus::kSectionNotFound);
    };
    bool ok = group(ids::kListInstrumentInformation, SectionId::kInstrId, 2, true);
    if (ok) {
        printer.PrintLine("", true);
        ok = group(ids::kListOptionalInformation, SectionId::kUserInfo, 0, true);
    }
    const bool chosen[] = {selection.setup, selection.batching, selection.recipes,
                           selection.strings};
    for (int g = 0; g < 4 && ok; ++g) {
        if (!chosen[g])
            continue;
        printer.PrintLine("", true);
        ok = group(kValueGroups[g].heading, kValueGroups[g].id, 2, false);
    }
    file.Close(owner);
    printer.End();
    return SetupFileStatus::kOk;
}

} // namespace quarnex
