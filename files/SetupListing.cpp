#include "files/SetupListing.h"

#include "res/FileTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstdint>
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

namespace {

// The length of a well-formed UTF-8 sequence at text[i] of a character from U+00A0 on, else 0.
size_t PrintableUtf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t n = 0;
    uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp < 0xA0)
        return 0;
    return n;
}

} // namespace

std::string VisibleEscapes(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t n = c >= 0x80 ? PrintableUtf8Length(text, i) : 0; n > 0) {
            // The bidirectional controls reorder what follows them on the terminal (a name that
            // reads as another): shown as their code, \u202E.
            const uint32_t cp = n == 3
                                    ? ((c & 0x0Fu) << 12) |
                                          ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                                          (static_cast<unsigned char>(text[i + 2]) & 0x3Fu)
                                    : 0;
            if (cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
                (cp >= 0x2066 && cp <= 0x2069)) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += kHex[(cp >> shift) & 0x0F];
            } else {
                out.append(text, i, n);
            }
            i += n;
        } else if (c >= 0xA0) {
            out += static_cast<char>(c); // a character of an 8-bit text, nothing a terminal obeys
            ++i;
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
            ++i;
        }
    }
    return out;
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
