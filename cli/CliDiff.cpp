#include "cli/CliDiff.h"

#include "cli/CliTerminal.h"
#include "files/SetupListing.h"
#include "fleet/FleetHistory.h"
#include "offline/SetupCompare.h"
#include "res/OfflineTextIds.h"
#include "res/Strings.h"

#include <ostream>

namespace quarnex {

namespace {

// The differ exit code of diff(1); the other codes are the cli's own.
constexpr int kExitDiffer = 1;

// File names and the files' own texts (names, special labels) never reach the terminal as
// control characters.
int Print(const std::vector<std::string>& lines, Terminal& terminal) {
    for (const std::string& line : lines)
        terminal.Out() << VisibleEscapes(line) << '\n';
    terminal.Out().flush();
    return kExitDone;
}

// A set-up file, or a stored version of a plant's history (DIR:LINK/ADDRESS@REV) in its place.
SetupFileStatus LoadFileOrVersion(const std::string& operand, SetupFileImage& image,
                                  TerminalPrompter& prompter, Terminal& terminal) {
    if (!IsStoredVersion(operand))
        return LoadSetupFileImage(operand, image, prompter);
    std::string text, version, error;
    if (ReadStoredVersion(operand, text, version, error) && LoadImageText(text, image, error))
        return SetupFileStatus::kOk;
    terminal.Message("quarnex-cli: " + error);
    return SetupFileStatus::kNotValid;
}

// One side: the file loaded, or the instrument read with the backup's read.
bool LoadSide(const std::string& operand, ModbusMaster* bus, Terminal& terminal,
              SetupFileImage& image, std::string& name) {
    TerminalPrompter prompter(terminal, false);
    int address = 0;
    if (DiffOperandIsAddress(operand, address)) {
        name = InstrumentSideName(address);
        TerminalProgress progress(terminal);
        return bus && ReadInstrumentImage(*bus, address, prompter, progress, image);
    }
    name = operand;
    if (LoadFileOrVersion(operand, image, prompter, terminal) == SetupFileStatus::kOk)
        return true;
    // The file layer's message does not always name the file; with two files it must be said.
    terminal.Message("quarnex-cli: " + FormatText(Text(ids::kDiffNotLoaded), {operand}));
    return false;
}

int RunFleet(const DiffCommand& c, Terminal& terminal) {
    TerminalPrompter prompter(terminal, false);
    SetupFileImage reference;
    if (LoadFileOrVersion(c.against, reference, prompter, terminal) != SetupFileStatus::kOk)
        return kExitFailed;
    std::vector<std::string> paths;
    std::string error;
    if (!SetupFilesIn(c.words[1], c.against, paths, error)) {
        terminal.Message("quarnex-cli: " + error);
        return kExitFailed;
    }
    if (paths.empty()) {
        terminal.Message(FormatText(Text(ids::kFleetNoFiles), {c.words[1]}));
        return kExitStopped;
    }
    FleetCompare fleet(reference);
    for (const std::string& path : paths)
        fleet.Add(path, prompter);
    Print(FleetText(fleet.Table(), c.against, c.brief), terminal);
    if (fleet.Table().AnyUnreadable())
        return kExitFailed;
    return fleet.Table().AnyDifference() ? kExitDiffer : kExitDone;
}

} // namespace

bool IsDiffCommand(const std::string& word) {
    return word == "diff";
}

bool DiffOperandIsAddress(const std::string& operand, int& address) {
    if (operand.empty() || operand.size() > 3 ||
        operand.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int a = std::stoi(operand);
    if (a < 1 || a > 247)
        return false;
    address = a;
    return true;
}

std::string CheckDiffCommand(const DiffCommand& c) {
    const std::string usage =
        "usage: diff FILE|ADDR FILE|ADDR [--brief] | diff --against FILE DIR [--brief]";
    const size_t operands = c.against.empty() ? 3 : 2;
    if (c.words.size() != operands)
        return usage;
    for (size_t i = 1; i < c.words.size(); ++i) {
        const std::string& w = c.words[i];
        int address = 0;
        if (w.empty())
            return usage;
        // Only digits but not an address: a typing error rather than a file of that name.
        if (w.find_first_not_of("0123456789") == std::string::npos &&
            !DiffOperandIsAddress(w, address))
            return "bad address " + w + " (1-247; a file of that name as ./" + w + ")";
        if (!c.against.empty() && DiffOperandIsAddress(w, address))
            return "diff --against compares the set-up files of a folder: " + w + " is no folder";
    }
    return {};
}

bool DiffNeedsBus(const DiffCommand& c) {
    int address = 0;
    return c.against.empty() &&
           (DiffOperandIsAddress(c.words[1], address) || DiffOperandIsAddress(c.words[2], address));
}

int RunDiffCommand(const DiffCommand& c, ModbusMaster* bus, Terminal& terminal) {
    if (!c.against.empty())
        return RunFleet(c, terminal);
    SetupFileImage left, right;
    std::string leftName, rightName;
    // Files first: a file that does not load stops the run before the bus is used.
    int address = 0;
    const bool leftFirst = !DiffOperandIsAddress(c.words[1], address);
    if (leftFirst ? !LoadSide(c.words[1], bus, terminal, left, leftName) ||
                        !LoadSide(c.words[2], bus, terminal, right, rightName)
                  : !LoadSide(c.words[2], bus, terminal, right, rightName) ||
                        !LoadSide(c.words[1], bus, terminal, left, leftName))
        return kExitFailed;
    // Another instrument type has other registers: a comparison would list every row.
    if (const std::string problem = NotComparableText(left, right); !problem.empty()) {
        terminal.Message("quarnex-cli: " + problem);
        return kExitFailed;
    }
    if (const std::string warning = SetupVersionWarning(left, right); !warning.empty())
        terminal.Message("quarnex-cli: " + warning);
    const SetupDiff diff = CompareSetups(left, right);
    Print(DiffText(diff, leftName, rightName, c.brief), terminal);
    return diff.Equal() ? kExitDone : kExitDiffer;
}

} // namespace quarnex
