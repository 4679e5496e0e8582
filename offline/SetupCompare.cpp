#include "offline/SetupCompare.h"

#include "files/Backup.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/SetupParameterTable.h"
#include "res/FileTextIds.h"
#include "res/OfflineTextIds.h"
#include "res/Strings.h"
#include "setup/BatchingPages.h"
#include "setup/StandardPages.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

namespace quarnex {

namespace {

using Table = SetupParameterTable;

constexpr size_t kLabelWidth = 35;               // as a printed listing pads its labels
constexpr size_t kLabelColumn = kLabelWidth + 2; // the label and its two blanks
constexpr size_t kValueWidth = 24;

// The places of the groups in the sheet's order; a row's order is its group's base plus its place.
constexpr int kGroupStep = 100000;

std::string TwoDigits(int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

std::string Raw(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    return buffer;
}

// The fewest significant digits (at most nine) that give the set-up value (a 32-bit float) back:
// two different values never print alike.
std::string Distinct(double value) {
    char buffer[64];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
        if (std::strtof(buffer, nullptr) == static_cast<float>(value))
            break;
    }
    return buffer;
}

// A string's label without the "07: " its listing puts in front: the comparison numbers it itself.
std::string Unnumbered(const std::string& label) {
    const bool numbered = label.size() > 4 && std::isdigit(static_cast<unsigned char>(label[0])) &&
                          std::isdigit(static_cast<unsigned char>(label[1])) &&
                          label.compare(2, 2, ": ") == 0;
    return numbered ? label.substr(4) : label;
}

std::string WithUnit(const std::string& value, const std::string& unit) {
    return unit.empty() ? value : value + " " + unit;
}

// An instrument keeps a name in 12 characters: a restore pads it with blanks, an instrument that
// was never written holds NULs. Neither shows on its display, so they do not make a difference.
std::string Shown(const std::string& text) {
    const size_t end = text.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// The columns of a text line up on a terminal by the characters it prints, not by bytes: a
// control character in a file's text is printed escaped ("\x07", as everywhere the files' texts
// are printed) and a UTF-8 character ("±", "°") is one character of two or more bytes.
std::string Printed(const std::string& s) {
    return VisibleEscapes(s);
}

size_t PrintedWidth(const std::string& printed) {
    return static_cast<size_t>(std::count_if(printed.begin(), printed.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80; // not a UTF-8 continuation byte
    }));
}

// A column of a table: the text as printed, padded to the column's width, and at least two blanks
// before the next column even when the text fills its own.
std::string Pad(const std::string& s, size_t width) {
    constexpr size_t kGap = 2;
    const std::string printed = Printed(s);
    const size_t n = PrintedWidth(printed);
    return printed + std::string(n + kGap > width ? kGap : width - n, ' ');
}

// Collects the groups while the comparison walks the sheet.
class DiffBuilder {
public:
    DiffBuilder() : absent_(Text(ids::kDiffNotInSetup)) {}

    void Group(const std::string& title) {
        diff_.groups.push_back({title, {}});
        base_ += kGroupStep;
    }
    // One row: equal when both have it with the same raw value, or neither has it. Texts that
    // look the same for different values get the raw values beside them.
    void Row(int place, const std::string& label, bool hasA, bool hasB, double valueA,
             double valueB, std::string textA, std::string textB) {
        if (hasA == hasB && (!hasA || valueA == valueB))
            return;
        if (hasA && hasB && textA == textB) {
            textA += " (" + Distinct(valueA) + ")";
            textB += " (" + Distinct(valueB) + ")";
        }
        Add(place, label, hasA ? textA : absent_, hasB ? textB : absent_);
    }
    void TextRow(int place, const std::string& label, bool hasA, bool hasB,
                 const std::string& textA, const std::string& textB) {
        const std::string a = Shown(textA);
        const std::string b = Shown(textB);
        if (hasA == hasB && (!hasA || a == b))
            return;
        Add(place, label, hasA ? "\"" + a + "\"" : absent_, hasB ? "\"" + b + "\"" : absent_);
    }
    SetupDiff Take() {
        std::erase_if(diff_.groups, [](const DiffGroup& g) { return g.lines.empty(); });
        return std::move(diff_);
    }

private:
    void Add(int place, const std::string& label, std::string left, std::string right) {
        diff_.groups.back().lines.push_back(
            {label, std::move(left), std::move(right), base_ + place});
    }

    const std::string absent_;
    SetupDiff diff_;
    int base_ = 0;
};

void CompareIdentification(DiffBuilder& d, const SetupFileImage& a, const SetupFileImage& b) {
    d.Group(Text(ids::kDiffIdentification));
    const std::vector<InstrumentInfoLine> la = InstrumentInfoLines(a.setup.Info());
    const std::vector<InstrumentInfoLine> lb = InstrumentInfoLines(b.setup.Info());
    for (size_t i = 0; i < la.size() && i < lb.size(); ++i)
        if (la[i].reg != reg::kSerialNumber)
            d.Row(static_cast<int>(i), la[i].label, true, true, la[i].value, lb[i].value,
                  la[i].text, lb[i].text);
}

// A set-up value row (normal or special) as its page shows it.
void CompareValueRow(DiffBuilder& d, int place, int row, const SetupFileImage& a,
                     const SetupFileImage& b) {
    const bool hasA = a.valuePresent.test(static_cast<size_t>(row));
    const bool hasB = b.valuePresent.test(static_cast<size_t>(row));
    std::string label = hasA ? a.setup.Label(row) : b.setup.Label(row);
    // A special row's name is the instrument's own; two instruments may name it differently.
    if (hasA && hasB && b.setup.Label(row) != label)
        label += " / " + b.setup.Label(row);
    if (label.empty())
        label = FormatText(Text(ids::kDiffRegister),
                           {std::to_string((hasA ? a : b).setup.NormalRegister(row))});
    d.Row(place, label, hasA, hasB, a.setup.Value(row), b.setup.Value(row),
          WithUnit(a.setup.ValueText(row), a.setup.UnitText(row)),
          WithUnit(b.setup.ValueText(row), b.setup.UnitText(row)));
}

void ComparePage(DiffBuilder& d, const PageDescriptor& page, std::vector<bool>& seen,
                 const SetupFileImage& a, const SetupFileImage& b) {
    d.Group(Text(page.title));
    for (size_t i = 0; i < page.rows.size(); ++i) {
        const int row = page.rows[i].parameter;
        if (row < 0 || row >= InstrumentSetup::kValues || seen[static_cast<size_t>(row)])
            continue;
        seen[static_cast<size_t>(row)] = true;
        CompareValueRow(d, static_cast<int>(i), row, a, b);
    }
}

void CompareBatchValue(DiffBuilder& d, int place, int bv, const std::string& label,
                       const SetupFileImage& a, const SetupFileImage& b) {
    d.Row(place, label, a.batchPresent.test(static_cast<size_t>(bv)),
          b.batchPresent.test(static_cast<size_t>(bv)), a.setup.BatchValue(bv),
          b.setup.BatchValue(bv), WithUnit(a.setup.BatchValueText(bv), a.setup.BatchUnitText(bv)),
          WithUnit(b.setup.BatchValueText(bv), b.setup.BatchUnitText(bv)));
}

void CompareString(DiffBuilder& d, int place, int k, const std::string& label,
                   const SetupFileImage& a, const SetupFileImage& b) {
    d.TextRow(place, label, a.textPresent.test(static_cast<size_t>(k)),
              b.textPresent.test(static_cast<size_t>(k)), a.setup.Text(k), b.setup.Text(k));
}

void CompareActivities(DiffBuilder& d, int page, const SetupFileImage& a, const SetupFileImage& b) {
    d.Group(Text(ActivitiesPage(page).title));
    if (page == 1)
        for (int bv = 0; bv < Table::kGeneralBatchValues; ++bv)
            CompareBatchValue(d, bv, bv, a.setup.BatchLabel(bv, false), a, b);
    for (const PageRow& row : ActivitiesPage(page).rows) {
        if (row.kind != RowKind::Activity)
            continue;
        const int k = row.item;
        const int place = 100 * k;
        const auto numbered = [k](const std::string& label) {
            return FormatText(Text(ids::kDiffActivityLine), {TwoDigits(k), label});
        };
        CompareString(d, place, k - 1, numbered(Unnumbered(a.setup.TextLabel(k - 1))), a, b);
        for (int j = 0; j < Table::kActivityValues; ++j) {
            const int bv = Table::kGeneralBatchValues + Table::kActivityValues * (k - 1) + j;
            CompareBatchValue(d, place + 1 + j, bv, numbered(a.setup.BatchLabel(bv, false)), a, b);
        }
    }
}

// Recipe lines as the recipe dialog shows them: the activity with its number and name, the set
// point in the way that activity's type shows it.
void CompareRecipes(DiffBuilder& d, const SetupFileImage& a, const SetupFileImage& b) {
    d.Group(Text(SetupPage(PageId::Recipes).title));
    constexpr int kEach = InstrumentSetup::kRecipeValuesEach;
    constexpr int kLines = kEach / 2;
    for (int r = 1; r <= InstrumentSetup::kRecipes; ++r) {
        const int place = 1000 * r;
        const auto numbered = [r](const std::string& label) {
            return FormatText(Text(ids::kDiffRecipeLine), {TwoDigits(r), label});
        };
        const int k = Table::kActivities + r - 1;
        CompareString(d, place, k, numbered(Unnumbered(a.setup.TextLabel(k))), a, b);
        for (int n = 0; n < kLines; ++n) {
            const int i = kEach * (r - 1) + 2 * n;
            const RowDisplay la = ShowRow(RecipeLineRow(r, n + 1, false), a.setup, false);
            const RowDisplay lb = ShowRow(RecipeLineRow(r, n + 1, false), b.setup, false);
            const bool hasA = a.recipePresent.test(static_cast<size_t>(i));
            const bool hasB = b.recipePresent.test(static_cast<size_t>(i));
            d.Row(place + 1 + 2 * n, numbered(la.label), hasA, hasB, a.setup.RecipeValue(i),
                  b.setup.RecipeValue(i), la.value, lb.value);
            // A set point the line's activity does not show still counts: shown as a number.
            const auto setpoint = [r, n](const InstrumentSetup& setup, double value) {
                const RowDisplay s = ShowRow(RecipeLineRow(r, n + 1, true), setup, false);
                return s.state.shown ? WithUnit(s.value, s.unit) : Raw(value);
            };
            const std::string label = Text(ids::kRecipeLineLabel) + " " + TwoDigits(n + 1) + ", " +
                                      Text(ids::kRecipeSetpointLabel);
            d.Row(place + 2 + 2 * n, numbered(label),
                  a.recipePresent.test(static_cast<size_t>(i + 1)),
                  b.recipePresent.test(static_cast<size_t>(i + 1)), a.setup.RecipeValue(i + 1),
                  b.setup.RecipeValue(i + 1), setpoint(a.setup, a.setup.RecipeValue(i + 1)),
                  setpoint(b.setup, b.setup.RecipeValue(i + 1)));
        }
    }
}

} // namespace

int SetupDiff::Count() const {
    int n = 0;
    for (const DiffGroup& g : groups)
        n += static_cast<int>(g.lines.size());
    return n;
}

std::string Identity(const InstrumentInfo& info) {
    for (const InstrumentInfoLine& line : InstrumentInfoLines(info))
        if (line.reg == reg::kSerialNumber)
            return InstrumentTypeName(info.type) + ", " + Text(ids::kDiffSerialNumber) + " " +
                   line.text;
    return InstrumentTypeName(info.type);
}

SetupDiff CompareSetups(const SetupFileImage& left, const SetupFileImage& right) {
    DiffBuilder d;
    CompareIdentification(d, left, right);
    std::vector<bool> seen(InstrumentSetup::kValues, false);
    // Every page of the sheet in tab order, whichever of them this instrument's sheet shows.
    for (PageId id :
         {PageId::General, PageId::CalibParam, PageId::Calibration, PageId::Communication,
          PageId::LevelSupervision, PageId::Inputs, PageId::Outputs, PageId::AnalogueOutputs,
          PageId::FlowRate, PageId::Activities1, PageId::Activities2, PageId::Recipes,
          PageId::SpecialMenu}) {
        if (id == PageId::Activities1 || id == PageId::Activities2)
            CompareActivities(d, id == PageId::Activities1 ? 1 : 2, left, right);
        else if (id == PageId::Recipes)
            CompareRecipes(d, left, right);
        else
            ComparePage(d, SetupPage(id), seen, left, right);
    }
    d.Group(Text(ids::kDiffOtherValues));
    for (int row = 0; row < InstrumentSetup::kValues; ++row)
        if (!seen[static_cast<size_t>(row)])
            CompareValueRow(d, row, row, left, right);
    SetupDiff diff = d.Take();
    diff.leftIdentity = Identity(left.setup.Info());
    diff.rightIdentity = Identity(right.setup.Info());
    return diff;
}

std::string NotComparableText(const SetupFileImage& left, const SetupFileImage& right) {
    const InstrumentType a = left.setup.Info().type, b = right.setup.Info().type;
    if (a == b)
        return {};
    return FormatText(Text(ids::kDiffNotComparable),
                      {InstrumentTypeName(a), InstrumentTypeName(b)});
}

std::string SetupVersionWarning(const SetupFileImage& left, const SetupFileImage& right) {
    const int a = left.setup.Info().setupVersion, b = right.setup.Info().setupVersion;
    if (a == b)
        return {};
    return FormatText(Text(ids::kDiffVersionWarning), {std::to_string(a), std::to_string(b)});
}

std::vector<std::string> DiffText(const SetupDiff& diff, const std::string& leftName,
                                  const std::string& rightName, bool brief) {
    std::vector<std::string> out;
    const std::string compared = Text(ids::kDiffCompared);
    const std::string with = Text(ids::kDiffWith);
    const size_t width = std::max(compared.size(), with.size());
    const auto side = [](const std::string& name, const std::string& identity) {
        return identity.empty() ? name : name + " (" + identity + ")";
    };
    out.push_back(std::string(width - compared.size(), ' ') + compared + " " +
                  side(leftName, diff.leftIdentity));
    out.push_back(std::string(width - with.size(), ' ') + with + " " +
                  side(rightName, diff.rightIdentity));
    // A value longer than its column widens the column for every line, so the right values
    // still stand one under the other.
    size_t labelColumn = kLabelColumn, valueColumn = kValueWidth;
    for (const DiffGroup& g : diff.groups)
        for (const DiffLine& l : g.lines) {
            labelColumn = std::max(labelColumn, PrintedWidth(Printed(l.label)) + 2);
            valueColumn = std::max(valueColumn, PrintedWidth(Printed(l.left)) + 2);
        }
    if (!brief)
        for (const DiffGroup& g : diff.groups) {
            out.emplace_back();
            out.push_back(Printed(g.title));
            for (const DiffLine& l : g.lines)
                out.push_back("  " + Pad(l.label, labelColumn) + Pad(l.left, valueColumn) +
                              Printed(l.right));
        }
    out.emplace_back();
    const int n = diff.Count();
    out.push_back(n == 0   ? Text(ids::kDiffNoDifferences)
                  : n == 1 ? Text(ids::kDiffOneDifference)
                           : FormatText(Text(ids::kDiffDifferences), {std::to_string(n)}));
    return out;
}

FileChooser::Request DiffTextFileRequest(const std::string& current) {
    return {Text(ids::kCompareSaveCaption),
            {{Text(ids::kCompareTextFilter), {"*.txt"}}, {Text(ids::kAllFilesFilter), {"*.*"}}},
            "txt",
            current};
}

bool SaveDiffText(const std::string& path, const std::vector<std::string>& lines,
                  std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (const std::string& line : lines)
        ok = ok && std::fputs(line.c_str(), f) >= 0 && std::fputc('\n', f) != EOF;
    const int savedErrno = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        error = path + ": " + std::strerror(savedErrno ? savedErrno : errno);
        std::remove(path.c_str());
    }
    return ok;
}

void PrintDiffText(const std::vector<std::string>& lines, CharacterPrinter& printer) {
    for (const std::string& line : lines)
        printer.PrintLine(line, true);
    printer.End();
}

bool ReadInstrumentImage(ModbusMaster& bus, int address, Prompter& owner, Progress& progress,
                         SetupFileImage& image) {
    auto read = std::make_unique<SetupFileImage>();
    Backup backup(bus, address, itype::kKel7, owner, progress);
    if (backup.ReadInstrument(read->setup, Text(ids::kDiffReadFailed)) != Backup::Result::Succeeded)
        return false;
    // Everything the identification block describes was read, as a backup writes it.
    const InstrumentInfo& info = read->setup.Info();
    for (int i = 0; i < std::min(info.normalCount, Table::kNormalRows); ++i)
        read->valuePresent.set(static_cast<size_t>(i));
    for (int j = 0; j < std::min(info.specialCount, Table::kSpecialRows); ++j)
        read->valuePresent.set(static_cast<size_t>(Table::kSpecialFirst + j));
    for (int k = 0; k < std::min(info.stringCount, InstrumentSetup::kTexts); ++k)
        read->textPresent.set(static_cast<size_t>(k));
    read->batchPresent.set();
    read->recipePresent.set();
    read->hasBatch = read->hasRecipes = read->hasStrings = true;
    image = std::move(*read);
    return true;
}

std::string InstrumentSideName(int address) {
    return FormatText(Text(ids::kDiffInstrument), {std::to_string(address)});
}

// ----- Many files against one --------------------------------------------------------------------

bool FleetTable::AnyDifference() const {
    return std::any_of(files.begin(), files.end(),
                       [](const FleetFile& f) { return f.loaded && f.differences > 0; });
}

bool FleetTable::AnyUnreadable() const {
    return std::any_of(files.begin(), files.end(), [](const FleetFile& f) { return !f.loaded; });
}

bool SetupFilesIn(const std::string& folder, const std::string& reference,
                  std::vector<std::string>& paths, std::string& error) {
    namespace fs = std::filesystem;
    paths.clear();
    std::error_code ec;
    const fs::path ref = fs::weakly_canonical(reference, ec);
    fs::directory_iterator it(folder, ec);
    if (ec) {
        error = folder + ": " + ec.message();
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            error = folder + ": " + ec.message();
            return false;
        }
        const fs::path p = it->path();
        std::string ext = p.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (ext != ".kel" && ext != ".pir" && ext != ".jov" && ext != ".yax")
            continue;
        std::error_code same;
        if (fs::weakly_canonical(p, same) == ref || !it->is_regular_file(same))
            continue;
        paths.push_back(p.string());
    }
    std::sort(paths.begin(), paths.end());
    return true;
}

void FleetCompare::Add(const std::string& path, Prompter& owner) {
    const std::string name = std::filesystem::path(path).filename().string();
    SetupFileImage image;
    if (LoadSetupFileImage(path, image, owner) != SetupFileStatus::kOk)
        AddUnreadable(name, Text(ids::kFleetUnreadable));
    else if (const std::string problem = NotComparableText(reference_, image); !problem.empty())
        AddUnreadable(name, problem);
    else
        AddLoaded(name, image);
}

void FleetCompare::AddUnreadable(const std::string& name, const std::string& problem) {
    table_.files.push_back({name, false, problem, 0});
    for (FleetRow& row : table_.rows)
        row.values.emplace_back();
}

void FleetCompare::AddLoaded(const std::string& name, const SetupFileImage& image) {
    const SetupDiff diff = CompareSetups(reference_, image);
    const size_t column = table_.files.size();
    table_.files.push_back({name, true, {}, diff.Count()});
    for (FleetRow& row : table_.rows)
        row.values.emplace_back();
    for (const DiffGroup& g : diff.groups)
        for (const DiffLine& l : g.lines) {
            auto at =
                std::lower_bound(table_.rows.begin(), table_.rows.end(), l.order,
                                 [](const FleetRow& r, int order) { return r.order < order; });
            if (at == table_.rows.end() || at->order != l.order)
                at = table_.rows.insert(
                    at, {g.title, l.label, l.order, std::vector<std::string>(column + 1), l.left});
            at->values[column] = l.right;
        }
}

std::vector<std::string> FleetText(const FleetTable& table, const std::string& referenceName,
                                   bool brief) {
    std::vector<std::string> out;
    out.push_back(Text(ids::kFleetReference) + " " + referenceName);
    for (size_t i = 0; i < table.files.size(); ++i) {
        const FleetFile& f = table.files[i];
        std::string state = !f.loaded            ? f.problem
                            : f.differences == 0 ? Text(ids::kFleetEqual)
                            : f.differences == 1 ? Text(ids::kFleetDiffersOnce)
                                                 : FormatText(Text(ids::kFleetDiffers),
                                                              {std::to_string(f.differences)});
        out.push_back(Pad(std::to_string(i + 1), 4) + Pad(f.name, 32) + state);
    }
    if (brief || table.rows.empty())
        return out;
    out.emplace_back();
    std::string heading = Pad(Text(ids::kFleetRow), kLabelColumn + 2) +
                          Pad(referenceName.substr(0, kValueWidth - 1), kValueWidth);
    for (size_t i = 0; i < table.files.size(); ++i)
        heading += Pad(std::to_string(i + 1), 4);
    while (!heading.empty() && heading.back() == ' ')
        heading.pop_back();
    out.push_back(heading);
    std::string group;
    for (const FleetRow& row : table.rows) {
        if (row.group != group) {
            group = row.group;
            out.push_back(group);
        }
        std::string line = "  " + Pad(row.label, kLabelColumn) + Pad(row.reference, kValueWidth);
        for (size_t i = 0; i < row.values.size(); ++i)
            line += Pad(!table.files[i].loaded ? "?" : row.values[i].empty() ? "." : "X", 4);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

} // namespace quarnex
