#include "cli/CliCheck.h"

#include "check/CheckProcedure.h"
#include "cli/CliTerminal.h"
#include "comm/ModbusMaster.h"
#include "platform/Clock.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quarnex {

namespace {

// quarnex-cli links no Qt, so that a server takes it without the desktop stack; the PDF report is
// drawn by the windows' program, `quarnex --check-report RECORD PDF`, where it is installed: beside
// this program (installed, or the build tree's app/ folder) or on the PATH.
std::string ReportProgram() {
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    std::vector<std::string> candidates;
    if (n > 0) {
        self.resize(static_cast<size_t>(n));
        const std::string dir = self.substr(0, self.rfind('/') + 1);
        candidates = {dir + "quarnex", dir + "../app/quarnex"};
    }
    if (const char* path = std::getenv("PATH"))
        for (std::string rest = path; !rest.empty();) {
            const size_t colon = rest.find(':');
            const std::string dir = rest.substr(0, colon);
            if (!dir.empty())
                candidates.push_back(dir + "/quarnex");
            rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        }
    for (const std::string& c : candidates)
        if (access(c.c_str(), X_OK) == 0)
            return c;
    return {};
}

// The record goes to a file of its own beside the report, the program draws it, the file goes.
bool DrawReport(const CheckRecord& record, const std::string& pdf, std::string& error) {
    const std::string program = ReportProgram();
    if (program.empty()) {
        error =
            "the report needs the quarnex program (the package quarnex), which is not installed";
        return false;
    }
    std::string temp = pdf + ".record.XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = pdf + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    bool ok = SaveCheckRecord(temp, record, error);
    if (ok) {
        const pid_t child = fork();
        if (child == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(program.c_str(), program.c_str(), "--check-report", temp.c_str(), pdf.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        ok = child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok)
            error = "the report was not made: " + program + " --check-report failed";
    }
    unlink(temp.c_str());
    return ok;
}

std::istream* g_input = nullptr;

bool ParsePositive(const std::string& text, double& value) {
    return ParseCheckNumber(text, value) && value > 0.0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

void SetCheckInput(std::istream* input) {
    g_input = input;
}

std::istream& CheckInput() {
    return g_input ? *g_input : std::cin;
}

bool IsCheckOption(const std::string& option, bool& flag) {
    static const char* const kFlags[] = {"--down", "--in-service", "--as-left"};
    static const char* const kValued[] = {
        "--loads",  "--repeat", "--eccentric",  "--class", "--e",          "--tolerance",
        "--record", "--report", "--technician", "--notes", "--next-check", "--settle"};
    for (const char* f : kFlags)
        if (option == f)
            return flag = true;
    flag = false;
    for (const char* v : kValued)
        if (option == v)
            return true;
    return false;
}

std::string CheckCheckCommand(const std::vector<std::string>& words,
                              const std::vector<std::string>& options, CheckCommand& c) {
    if (words.size() != 2)
        return "usage: check ADDR --loads L1,L2,... [options] (quarnex-cli --help)";
    char* end = nullptr;
    const long address = std::strtol(words[1].c_str(), &end, 10);
    if (words[1].empty() || *end != '\0' || address < 1 || address > 247)
        return "bad slave address '" + words[1] + "' (1 to 247)";
    c.address = static_cast<int>(address);
    bool haveClass = false, haveTolerance = false, haveLoads = false, eGiven = false;
    for (size_t i = 0; i + 1 < options.size(); i += 2) {
        const std::string& o = options[i];
        const std::string& v = options[i + 1];
        double number = 0;
        if (o == "--loads") {
            if (!ParseLoads(v, c.plan.loads))
                return "bad --loads '" + v + "': increasing loads, separated by commas";
            haveLoads = true;
        } else if (o == "--down") {
            c.plan.down = true;
        } else if (o == "--repeat") {
            if (!ParseLoadCount(v, c.plan.repeatLoad, c.plan.repeatCount))
                return "bad --repeat '" + v + "': LOAD:N, e.g. 500:3";
        } else if (o == "--eccentric") {
            if (!ParseLoadCount(v, c.plan.eccentricLoad, c.plan.eccentricPositions))
                return "bad --eccentric '" + v + "': LOAD:N with N 4 or 5 positions";
        } else if (o == "--class") {
            if (!ParseAccuracyClass(v, c.rule.accuracyClass))
                return "bad --class '" + v + "' (I, II, III or IIII)";
            c.rule.kind = ToleranceRule::Kind::AccuracyClass;
            haveClass = true;
        } else if (o == "--e") {
            if (!ParsePositive(v, number))
                return "bad --e '" + v + "': the verification scale interval, above 0";
            c.rule.e = number;
            eGiven = true;
        } else if (o == "--in-service") {
            c.rule.inService = true;
        } else if (o == "--tolerance") {
            if (!ParseTolerance(v, c.rule))
                return "bad --tolerance '" + v + "': an amount above 0, or a percentage (0.1%)";
            haveTolerance = true;
        } else if (o == "--record") {
            c.record = v;
        } else if (o == "--as-left") {
            c.asLeft = true;
        } else if (o == "--report") {
            c.report = v;
        } else if (o == "--technician") {
            c.technician = v;
        } else if (o == "--notes") {
            c.notes = v;
        } else if (o == "--next-check") {
            c.nextCheck = v;
        } else if (o == "--settle") {
            if (!ParsePositive(v, number) || number > 3600 || number != std::floor(number))
                return "bad --settle '" + v + "' (1 to 3600 seconds)";
            c.settleS = static_cast<int>(number);
        }
    }
    if (haveClass && haveTolerance)
        return "give --class or --tolerance, not both";
    if (haveTolerance && (eGiven || c.rule.inService))
        return "--e and --in-service go with --class";
    if (c.asLeft) {
        if (c.record.empty())
            return "--as-left needs --record FILE: the record of the check before calibration";
        if (haveLoads || c.plan.repeatCount || c.plan.eccentricPositions || haveClass ||
            haveTolerance)
            return "--as-left runs the plan and rule of the record again: give no loads or rule";
        return {};
    }
    if (!haveLoads)
        return "check needs --loads L1,L2,...";
    if (const std::string problem = c.plan.Problem(); !problem.empty())
        return problem;
    if (!c.report.empty() && ReportProgram().empty())
        return "--report needs the quarnex program (the package quarnex) to draw the PDF: it is "
               "not installed; --record keeps every reading";
    return {};
}

int RunCheckCommand(const CheckCommand& command, ModbusMaster& bus, Terminal& terminal,
                    const BusOutcome& outcome, std::istream& input) {
    TerminalPrompter prompter(terminal, false);
    CheckRecord record;
    std::string error;
    if (command.asLeft) {
        if (!LoadCheckRecord(command.record, record, error)) {
            terminal.Message("quarnex-cli: " + error);
            return kExitFailed;
        }
    } else if (!command.record.empty() && Exists(command.record)) {
        terminal.Message("quarnex-cli: " + command.record +
                         " exists: give another name, or --as-left to add the check after "
                         "calibration to it");
        return kExitFailed;
    }
    const CheckRecord before = record;
    CheckProcedure check(bus, command.address, prompter);
    check.SetSettleTimeoutMs(command.settleS * 1000);
    if (!check.Identify(record))
        return FailureExit(prompter, outcome);
    if (command.asLeft && (record.serialNumber != before.serialNumber)) {
        terminal.Message("quarnex-cli: the record " + command.record + " is of serial number " +
                         before.serialNumber + ", the instrument at address " +
                         std::to_string(command.address) + " is " + record.serialNumber);
        return kExitFailed;
    }
    if (!command.asLeft) {
        record.plan = command.plan;
        record.rule = command.rule;
    }
    if (!command.technician.empty())
        record.technician = command.technician;
    if (!command.notes.empty())
        record.notes = command.notes;
    if (!command.nextCheck.empty())
        record.nextCheck = command.nextCheck;
    std::ostream& out = terminal.Out();
    out << record.instrument << ", serial number " << record.serialNumber << ", address "
        << record.address << ": capacity " << FormatCheckWeight(record.capacity, record.division)
        << " " << record.unit << ", display step "
        << FormatCheckWeight(record.division, record.division) << " " << record.unit << "\n"
        << record.rule.Describe(record.division, record.unit) << "\n"
        << std::flush;

    const std::string runName = command.asLeft ? "As left" : "As found";
    check.Begin(record, runName);
    bool quit = false, silent = false;
    while (!check.Finished() && !quit && !StopRequested()) {
        const CheckProcedure::Display& d = check.GetDisplay();
        terminal.Message(d.instruction + ", then press Enter (s skip, b back, q quit)");
        std::string answer;
        if (!std::getline(input, answer)) {
            quit = true;
            break;
        }
        if (answer == "q") {
            quit = true;
        } else if (answer == "s") {
            check.Skip("skipped by the user");
        } else if (answer == "b") {
            check.Back();
        } else {
            // Waits for a still weight in gross; says once why it waits.
            const size_t step = check.StepIndex();
            check.WaitAgain();
            std::string said;
            const int64_t start = MonotonicMs();
            while (!StopRequested()) {
                const int period = check.Tick();
                if (check.GetDisplay().canRead)
                    break;
                const auto& now = check.GetDisplay();
                if (now.settleTimedOut || MonotonicMs() - start >= command.settleS * 1000)
                    break;
                if (now.status != said && now.answered)
                    terminal.Message("  " + (said = now.status) + " ...");
                Delay(period);
            }
            const auto& now = check.GetDisplay();
            if (now.canRead) {
                check.Read();
                const CheckResult result = EvaluateRun(record, check.Run());
                const StepResult& r = result.steps[step];
                out << "  " << StepLabel(r.step) << " "
                    << FormatCheckWeight(r.step.load, record.division) << ": read "
                    << FormatCheckWeight(r.reading.indication, record.division) << ", error "
                    << FormatCheckWeight(r.error, record.division) << " (±"
                    << FormatCheckWeight(r.tolerance, record.division / 2) << ") "
                    << (r.pass ? "ok" : "OUT OF TOLERANCE") << "\n"
                    << std::flush;
            } else if (!now.answered) {
                terminal.Message("quarnex-cli: no answer from the instrument at address " +
                                 std::to_string(command.address) +
                                 "; the readings taken so far are kept");
                silent = true;
                break;
            } else if (!StopRequested()) {
                terminal.Message("  not read: " + now.status +
                                 " (Enter waits again, s skips the step)");
            }
        }
    }

    out << "\n" << CheckTable(record, check.Run());
    if (command.asLeft)
        for (const CheckRun& run : record.runs)
            if (run.name != runName)
                out << "\n" << CheckTable(record, run);
    int code = kExitDone;
    const CheckResult result = EvaluateRun(record, check.Run());
    if (silent)
        code = kExitBus;
    else if (result.verdict == CheckResult::Verdict::Fail)
        code = kExitOutOfTolerance;
    else if (result.verdict == CheckResult::Verdict::Incomplete || quit || StopRequested())
        code = kExitStopped;
    if (!command.record.empty()) {
        if (!SaveCheckRecord(command.record, record, error)) {
            terminal.Message("quarnex-cli: " + error);
            code = kExitFailed;
        } else {
            terminal.Message("record saved in " + command.record);
        }
    }
    if (!command.report.empty()) {
        if (!DrawReport(record, command.report, error)) {
            terminal.Message("quarnex-cli: " + error);
            code = kExitFailed;
        } else {
            terminal.Message("report saved in " + command.report);
        }
    }
    return code;
}

} // namespace quarnex
