#include "cli/CliFiles.h"

#include "cli/CliSignals.h"
#include "cli/CliTerminal.h"
#include "comm/ModbusMaster.h"
#include "files/Backup.h"
#include "files/Restore.h"
#include "files/SetupListing.h"
#include "fleet/FleetHistory.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "monitor/BusSearch.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace quarnex {

namespace {

bool ParseAddress(const std::string& s, int& address) {
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || v < 1 || v > 247)
        return false;
    address = static_cast<int>(v);
    return true;
}

// Without --sections everything is restored; "--sections ''" names nothing and is refused.
bool ParseSections(const std::string& text, bool given, RestoreSelection& s) {
    if (!given)
        return true;
    if (text.empty())
        return false;
    s = {false, false, false, false};
    std::stringstream in(text);
    std::string word;
    while (std::getline(in, word, ',')) {
        if (word == "setup")
            s.setup = true;
        else if (word == "strings")
            s.strings = true;
        else if (word == "batching")
            s.batching = true;
        else if (word == "recipes")
            s.recipes = true;
        else
            return false;
    }
    return true;
}

// A file name part of an instrument's name: letters, digits, "-" and "_"; the rest "_".
std::string FileNamePart(const std::string& name) {
    std::string out;
    for (char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    while (!out.empty() && out.back() == '_')
        out.pop_back();
    return out;
}

int RunBackup(ModbusMaster& bus, int address, const std::string& file, const std::string& info,
              TerminalPrompter& prompter, Terminal& terminal, const BusOutcome& outcome) {
    Backup::Result result;
    {
        TerminalProgress progress(terminal);
        Backup backup(bus, address, itype::kKel7, prompter, progress);
        result = backup.Run(file, info, false);
    }
    if (result == Backup::Result::FileFailed)
        return kExitFailed;
    if (result != Backup::Result::Succeeded)
        return FailureExit(prompter, outcome);
    terminal.Out() << "Backup operation successful !\n" << file << '\n';
    return kExitDone;
}

// "3, 5-9, 12": the addresses as runs.
std::string AddressRuns(const std::vector<int>& addresses) {
    std::string out;
    for (size_t i = 0; i < addresses.size();) {
        size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1)
            ++j;
        if (!out.empty())
            out += ", ";
        out += std::to_string(addresses[i]);
        if (j > i)
            out += "-" + std::to_string(addresses[j]);
        i = j + 1;
    }
    return out;
}

// One address's type register, attempt by attempt: Ok, NoResponse only when every attempt met
// silence, else the last failure that was not silence (an answer was there, but broken).
CommStatus ProbeAddress(ModbusMaster& bus, int address, int retries) {
    CommStatus heard = CommStatus::NoResponse;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        uint16_t code = 0;
        const CommStatus s = bus.ReadHoldingRegisters(
            address, reg::kTypeCode, 1, &code,
            {.retries = 0, .extraTimeout = bus.PollTimeout(), .probe = true});
        if (s == CommStatus::Ok)
            return s;
        if (s != CommStatus::NoResponse)
            heard = s;
    }
    return heard;
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// Why an instrument that answered is not saved: "" for a KEL 7 Recipe Batcher (it is saved),
// else the reason. A KEL 7 of another set-up version is one this program cannot back up (a
// failure); another model is simply not what backup all saves.
std::string SkipReason(const InstrumentInfo& id, bool& incompatible) {
    const InstrumentType type =
        InstrumentTypeWithVersion(static_cast<int>(id.rawTypeCode), id.setupVersion);
    incompatible = type == itype::kKel7;
    if (type == itype::kKel7RecipeBatcher)
        return {};
    if (incompatible)
        return InstrumentTypeName(type) + " of set-up version " + std::to_string(id.setupVersion) +
               ", not compatible";
    std::string name;
    if (!InstrumentTypeName(type, name))
        name = "type code " + std::to_string(static_cast<long>(id.rawTypeCode));
    return name + ", not a " + InstrumentTypeName(itype::kKel7RecipeBatcher);
}

int RunBackupAll(ModbusMaster& bus, const SetupFileCommand& c, TerminalPrompter& prompter,
                 Terminal& terminal, const BusOutcome& outcome) {
    const std::string& dir = c.words[2];
    std::ostream& out = terminal.Out();
    // Every address visited ends in exactly one of the four lists, so the counts add up.
    std::vector<std::string> saved, failed, skipped;
    std::vector<int> silent;
    int visited = 0;
    if (const std::string notice = SilentGatewayNotice(bus, 247 * (c.retries + 1)); !notice.empty())
        terminal.Message(notice);
    auto visit = [&](int a, CommStatus probe) {
        if (probe == CommStatus::NoResponse) {
            silent.push_back(a);
            return;
        }
        if (probe != CommStatus::Ok) {
            failed.push_back(std::to_string(a) + ": " + ModbusMaster::StatusText(probe, false));
            return;
        }
        InstrumentInfo id;
        prompter.TakeMessages();
        if (!ReadInstrumentInfo(bus, a, &prompter, id)) {
            failed.push_back(std::to_string(a) + ": " + OneLine(prompter.TakeMessages()));
            return;
        }
        bool incompatible = false;
        // A KEL 7 whose set-up cannot be backed up is a failure (the exit code says so); another
        // kind of instrument is not this command's to save.
        if (const std::string reason = SkipReason(id, incompatible); !reason.empty()) {
            (incompatible ? failed : skipped).push_back(std::to_string(a) + ": " + reason);
            return;
        }
        std::string name;
        ReadTextRegisters(bus, a, reg::kInstrumentName, reg::kInstrumentNameRegisters, false,
                          nullptr, name);
        std::string file = std::to_string(a);
        if (const std::string part = FileNamePart(name); !part.empty())
            file += "_" + part;
        const std::string path = (std::filesystem::path(dir) / (file + ".kel")).string();
        terminal.Message("address " + std::to_string(a) + " -> " + path);
        prompter.TakeMessages();
        if (RunBackup(bus, a, path, c.info, prompter, terminal, outcome) == kExitDone)
            saved.push_back(std::to_string(a) + ": " + path);
        else
            failed.push_back(std::to_string(a) + ": " + OneLine(prompter.TakeMessages()));
    };
    for (int a = 1; a <= 247 && !StopRequested(); ++a) {
        ++visited;
        visit(a, ProbeAddress(bus, a, c.retries));
        // An address counted silent whose answer came after its wait (a gateway still busy with
        // earlier ones) is there: asked again, and backed up when it answers.
        for (const int late : bus.TakeLateAnswerAddresses()) {
            const auto it = std::find(silent.begin(), silent.end(), late);
            if (it == silent.end())
                continue;
            silent.erase(it);
            visit(late, ProbeAddress(bus, late, c.retries));
        }
    }
    out << "saved " << saved.size() << ", failed " << failed.size() << ", skipped "
        << skipped.size() << ", silent " << silent.size() << " of " << visited << " addresses\n";
    for (const std::string& s : saved)
        out << "  saved  " << s << '\n';
    for (const std::string& f : failed)
        out << "  FAILED " << f << '\n';
    for (const std::string& s : skipped)
        out << "  skipped " << s << '\n';
    if (!c.quiet && !silent.empty())
        out << "  silent " << AddressRuns(silent) << '\n';
    if (visited < 247)
        out << "  stopped before address " << visited + 1 << '\n';
    if (!failed.empty())
        return kExitFailed;
    return saved.empty() ? kExitNothingFound : kExitDone;
}

int RunList(const std::string& path, Prompter& prompter, std::ostream& out) {
    SetupFile file;
    file.SetFileName(path);
    SetupListing listing;
    if (ReadSetupListing(file, prompter, listing) != SetupFileStatus::kOk)
        return kExitFailed;
    out << "OPTIONAL INFORMATION\n";
    // The file's text never reaches the terminal as control characters.
    for (const std::string& line : listing.userInfo)
        out << "  " << VisibleEscapes(line) << '\n';
    out << '\n';
    for (const std::string& line : listing.lines)
        out << VisibleEscapes(PrintValueLine(line)) << '\n';
    return kExitDone;
}

} // namespace

bool IsSetupFileCommand(const std::string& word) {
    return word == "backup" || word == "restore" || word == "list";
}

std::string CheckSetupFileCommand(const std::vector<std::string>& w) {
    int address = 0;
    if (w[0] == "list")
        return w.size() == 2 ? std::string() : "usage: list FILE";
    if (w[0] == "backup" && w.size() == 3 && w[1] == "all")
        return {};
    const std::string form = w[0] == "backup"
                                 ? "usage: backup ADDR FILE [--info TEXT] | "
                                   "backup all DIR"
                                 : "usage: restore ADDR FILE [--sections LIST] [--yes] "
                                   "[--with-address]";
    if (w.size() != 3)
        return form;
    if (!ParseAddress(w[1], address))
        return "bad slave address '" + w[1] + "' (1 to 247)";
    return {};
}

std::string CheckSetupFileOptions(const SetupFileCommand& c) {
    const std::string& command = c.words[0];
    if (!c.info.empty() && command != "backup")
        return "--info is for backup only";
    if (!c.info.empty())
        if (std::string problem = BackupInfoProblem(c.info); !problem.empty())
            return "--info: " + problem;
    if (c.sectionsGiven && command != "restore")
        return "--sections is for restore only";
    if (c.withAddress && command != "restore")
        return "--with-address is for restore only";
    if (c.yes && command == "list")
        return "--yes is for restore, upgrade and default-setup";
    RestoreSelection selection;
    if (!ParseSections(c.sections, c.sectionsGiven, selection))
        return "bad --sections '" + c.sections +
               "' (setup, strings, batching, recipes, separated by commas)";
    return {};
}

std::string PrepareSetupFileCommand(const SetupFileCommand& c) {
    const std::vector<std::string>& w = c.words;
    if (w[0] != "backup" || w[1] != "all")
        return {};
    // Every instrument would be read in full before the first file fails: the folder is made
    // and checked first.
    const std::filesystem::path dir(w[2]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return "cannot make the folder " + w[2] + ": " + ec.message();
    if (!std::filesystem::is_directory(dir, ec))
        return w[2] + " is not a folder";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return "cannot write into the folder " + w[2] + ": " + std::strerror(errno);
    return {};
}

int RunSetupFileCommand(const SetupFileCommand& c, ModbusMaster* bus, Terminal& terminal,
                        const BusOutcome* outcome) {
    TerminalPrompter prompter(terminal, c.yes);
    const std::vector<std::string>& w = c.words;
    // A stored version of a plant's history (DIR:LINK/ADDRESS@REV) stands in for a file.
    StoredVersionFile stored;
    const std::string& operand = w[0] == "list" ? w[1] : w.back();
    std::string file = operand;
    if ((w[0] == "list" || w[0] == "restore") && IsStoredVersion(operand)) {
        std::string error;
        if (!stored.Make(operand, error)) {
            terminal.Message("quarnex-cli: " + error);
            return kExitFailed;
        }
        file = stored.Path();
    }
    if (w[0] == "list")
        return RunList(file, prompter, terminal.Out());
    if (!bus || !outcome)
        return kExitBus;
    if (w[0] == "backup" && w[1] == "all")
        return RunBackupAll(*bus, c, prompter, terminal, *outcome);
    int address = 0;
    ParseAddress(w[1], address);
    if (w[0] == "backup") {
        // Without --info the file carries what the window would have put in the box.
        const std::string info =
            c.info.empty() ? BackupInfoText(itype::kKel7, address, std::time(nullptr)) : c.info;
        return RunBackup(*bus, address, w[2], info, prompter, terminal, *outcome);
    }
    RestoreSelection selection;
    ParseSections(c.sections, c.sectionsGiven, selection);
    selection.takeLinkSettings = c.withAddress;
    Restore::Result result;
    std::string report;
    {
        TerminalProgress progress(terminal);
        Restore restore(*bus, address, itype::kKel7, prompter, progress);
        std::string info;
        if (!restore.LoadFile(file, info))
            return kExitFailed;
        result = restore.Run(selection, false);
        report = restore.ReportText();
    }
    switch (result) {
    case Restore::Result::Succeeded:
        terminal.Out() << report << '\n';
        return kExitDone;
    case Restore::Result::Warnings:
        terminal.Out() << report << '\n';
        return kExitWarnings;
    case Restore::Result::Stopped:
        return kExitStopped;
    case Restore::Result::NoFile:
        return kExitFailed;
    default:
        return FailureExit(prompter, *outcome);
    }
}

} // namespace quarnex
