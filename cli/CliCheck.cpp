#include "cli/CliCheck.h"

#include "check/CheckProcedure.h"
#include "cli/CliTerminal.h"
#include "comm/ModbusMaster.h"
#include "platform/Clock.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <poll.h>
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

} // namespace

bool TakeCheckInputLine(std::string& buffer, std::string& line) {
    const size_t end = buffer.find('\n');
    // A line longer than any answer is taken as it is, not kept growing.
    if (end == std::string::npos && buffer.size() < kMaxCheckInputLine)
        return false;
    const size_t length = end == std::string::npos ? kMaxCheckInputLine : end;
    line = buffer.substr(0, length);
    buffer.erase(0, end == std::string::npos ? length : length + 1);
    if (end != std::string::npos && !line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

namespace {

// Standard input, read as it comes: poll() gives the weight watching its turn, and a signal
// breaks the wait (poll is never restarted, whatever the handler's flags).
class StandardInput : public CheckLineSource {
public:
    Got Next(std::string& line, int waitMs) override {
        for (;;) {
            if (TakeLine(line))
                return Got::Line;
            if (ended_) {
                if (buffer_.empty())
                    return Got::End;
                line.swap(buffer_); // the last line, without its line break
                buffer_.clear();
                return Got::Line;
            }
            pollfd p{STDIN_FILENO, POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0)
                return Got::Nothing;
            char chunk[512];
            const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                return Got::Nothing;
            if (n <= 0)
                ended_ = true;
            else
                buffer_.append(chunk, static_cast<size_t>(n));
            waitMs = 0;
        }
    }

private:
    bool TakeLine(std::string& line) { return TakeCheckInputLine(buffer_, line); }
    std::string buffer_;
    bool ended_ = false;
};

CheckLineSource* g_input = nullptr;

bool ParsePositive(const std::string& text, double& value) {
    return ParseCheckNumber(text, value) && value > 0.0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Whether a file can be written where path is (the record is written beside and moved over it):
// "" when it can, else the system's reason. Asked before the first load, not after the weighing.
std::string CannotWriteBeside(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    std::string probe = dir + "/.quarnex-check-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        return std::strerror(errno);
    close(fd);
    unlink(probe.c_str());
    return {};
}

// The terminal side of one check: the prompts, the waiting for a line while the weight is
// watched, and what is said of the bus.
class CheckSession {
public:
    CheckSession(CheckProcedure& check, Terminal& terminal, CheckLineSource& input, int address)
        : check_(check), terminal_(terminal), input_(input), address_(address) {}

    enum class Wait { Line, End, Stopped };
    // Waits for a line of input, ticking the check meanwhile.
    Wait NextLine(std::string& line) {
        for (;;) {
            if (StopRequested())
                return Wait::Stopped;
            switch (input_.Next(line, period_)) {
            case CheckLineSource::Got::Line:
                return Wait::Line;
            case CheckLineSource::Got::End:
                return Wait::End;
            case CheckLineSource::Got::Nothing:
                break;
            }
            if (StopRequested())
                return Wait::Stopped;
            Tick();
        }
    }
    // One tick; says once that the bus is silent, and when it answers again.
    void Tick() {
        period_ = check_.Tick();
        const auto& d = check_.GetDisplay();
        if (d.silentMs >= CheckProcedure::kSilentReportMs && !saidSilent_) {
            terminal_.Message("quarnex-cli: no answer from the instrument at address " +
                              std::to_string(address_) + " for " +
                              std::to_string(d.silentMs / 1000) +
                              " s; the readings taken so far are kept");
            saidSilent_ = true;
        } else if (d.answered && saidSilent_) {
            terminal_.Message("  the instrument at address " + std::to_string(address_) +
                              " answers again");
            saidSilent_ = false;
        }
    }
    bool Silent() const { return check_.GetDisplay().silentMs >= CheckProcedure::kSilentReportMs; }
    int Period() const { return period_; }

private:
    CheckProcedure& check_;
    Terminal& terminal_;
    CheckLineSource& input_;
    int address_;
    int period_ = CheckProcedure::kPeriodMs;
    bool saidSilent_ = false;
};

} // namespace

void SetCheckInput(CheckLineSource* input) {
    g_input = input;
}

CheckLineSource& CheckInput() {
    static StandardInput standardInput;
    return g_input ? *g_input : standardInput;
}

bool IsCheckOption(const std::string& option, bool& flag) {
    static const char* const kFlags[] = {"--down", "--in-service", "--as-left",
                                         "--replace-as-left"};
    static const char* const kValued[] = {"--loads",      "--repeat",    "--eccentric",  "--class",
                                          "--e",          "--tolerance", "--record",     "--report",
                                          "--technician", "--notes",     "--next-check", "--settle",
                                          "--weights",    "--scale"};
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
        } else if (o == "--replace-as-left") {
            c.replaceAsLeft = true;
        } else if (o == "--report") {
            c.report = v;
        } else if (o == "--technician") {
            c.technician = v;
        } else if (o == "--notes") {
            c.notes = v;
        } else if (o == "--next-check") {
            c.nextCheck = v;
        } else if (o == "--weights") {
            c.weights = v;
        } else if (o == "--scale") {
            c.scale = v;
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
    if (c.replaceAsLeft && !c.asLeft)
        return "--replace-as-left goes with --as-left";
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
                    const BusOutcome& outcome, CheckLineSource& input) {
    TerminalPrompter prompter(terminal, false);
    CheckRecord record;
    std::string error;
    if (command.asLeft) {
        if (!LoadCheckRecord(command.record, record, error)) {
            terminal.Message("quarnex-cli: " + error);
            return kExitFailed;
        }
        // A record is evidence: an edited one gets nothing added, and a run is never overwritten.
        if (record.changedAfterWriting) {
            terminal.Message("quarnex-cli: " + command.record + ": " + kRecordChangedText +
                             "; no as-left check is added to it");
            return kExitFailed;
        }
        if (!record.Current("As found")) {
            terminal.Message("quarnex-cli: " + command.record +
                             " holds no as-found check to add the as-left check to");
            return kExitFailed;
        }
        if (const CheckRun* left = record.Current("As left"); left && !command.replaceAsLeft) {
            terminal.Message("quarnex-cli: " + command.record + " already holds an as-left check" +
                             (left->started.empty() ? "" : " (" + left->started + ")") +
                             ": --replace-as-left runs it again and keeps the earlier one in "
                             "the record as superseded");
            return kExitFailed;
        }
    } else if (!command.record.empty() && Exists(command.record)) {
        terminal.Message("quarnex-cli: " + command.record +
                         " exists: give another name, or --as-left to add the check after "
                         "calibration to it");
        return kExitFailed;
    }
    // The files are known to be writable before the first load is asked for.
    for (const std::string& path : {command.record, command.report}) {
        if (path.empty())
            continue;
        if (const std::string why = CannotWriteBeside(path); !why.empty()) {
            terminal.Message("quarnex-cli: cannot write " + path + ": " + why);
            return kExitFailed;
        }
    }
    const std::string serialBefore = record.serialNumber;
    CheckProcedure check(bus, command.address, prompter);
    check.SetSettleTimeoutMs(command.settleS * 1000);
    if (!check.Identify(record))
        return FailureExit(prompter, outcome);
    if (command.asLeft && record.serialNumber != serialBefore) {
        terminal.Message("quarnex-cli: the record " + command.record + " is of serial number " +
                         serialBefore + ", the instrument at address " +
                         std::to_string(command.address) + " is " + record.serialNumber);
        return kExitFailed;
    }
    if (!command.asLeft) {
        record.plan = command.plan;
        record.rule = command.rule;
    }
    if (const std::string problem = record.rule.Problem(record.division, record.unit);
        !problem.empty()) {
        terminal.Message("quarnex-cli: " + problem);
        return kExitArguments;
    }
    if (!command.technician.empty())
        record.technician = command.technician;
    if (!command.notes.empty())
        record.notes = command.notes;
    if (!command.nextCheck.empty())
        record.nextCheck = command.nextCheck;
    if (!command.weights.empty())
        record.weights = command.weights;
    if (!command.scale.empty())
        record.scale = command.scale;
    std::ostream& out = terminal.Out();
    out << record.instrument << ", serial number " << record.serialNumber << ", address "
        << record.address << ": capacity " << FormatCheckWeight(record.capacity, record.division)
        << " " << record.unit << ", display step "
        << FormatCheckWeight(record.division, record.division) << " " << record.unit << "\n"
        << record.rule.Describe(record.division, record.unit) << "\n"
        << std::flush;

    const std::string runName = command.asLeft ? "As left" : "As found";
    if (command.asLeft && command.replaceAsLeft)
        for (CheckRun& run : record.runs)
            if (run.name == runName)
                run.superseded = true;
    check.Begin(record, runName);
    const size_t runIndex = record.runs.size() - 1;
    // Every reading goes to the record as it is taken: nothing is lost to a crash or a kill.
    bool saveFailed = false;
    const auto save = [&] {
        if (command.record.empty() || saveFailed)
            return;
        if (!SaveCheckRecord(command.record, record, error)) {
            terminal.Message("quarnex-cli: " + error);
            saveFailed = true;
        }
    };
    save();
    const auto printReading = [&](size_t step) {
        const CheckResult result = EvaluateRun(record, record.runs[runIndex]);
        const StepResult& r = result.steps[step];
        out << "  " << StepLabel(r.step) << " " << FormatCheckWeight(r.step.load, record.division)
            << ": read " << FormatCheckWeight(r.reading.indication, record.division) << ", error "
            << FormatCheckWeight(r.error, record.division) << " (±"
            << FormatTolerance(r.tolerance, record.division) << ") "
            << (r.pass ? "ok" : "OUT OF TOLERANCE") << "\n"
            << std::flush;
        save();
    };
    CheckSession session(check, terminal, input, command.address);
    bool quit = false, silent = false, stopped = false;
    const auto noAnswer = [&] {
        terminal.Message("quarnex-cli: no answer from the instrument at address " +
                         std::to_string(command.address) + "; the readings taken so far are kept");
        silent = true;
    };
    session.Tick();
    while (!check.Finished() && !quit && !silent && !stopped) {
        const CheckProcedure::Display& d = check.GetDisplay();
        terminal.Message(d.instruction + ", then press Enter (s skip, b back, q quit)");
        std::string answer;
        const CheckSession::Wait got = session.NextLine(answer);
        if (got != CheckSession::Wait::Line) {
            stopped = got == CheckSession::Wait::Stopped;
            quit = true;
            break;
        }
        if (answer == "q") {
            quit = true;
        } else if (answer == "s") {
            check.Skip("skipped by the user");
            save();
        } else if (answer == "b") {
            check.Back();
            save();
        } else {
            const size_t step = check.StepIndex();
            check.WaitAgain();
            CheckProcedure::ReadOutcome outcome = check.Read();
            // Moving at Enter: the load is still settling. Its first still weight is taken; a
            // silent bus ends the check once it has been silent for a while.
            std::string said;
            while (outcome == CheckProcedure::ReadOutcome::NotTaken && !StopRequested()) {
                const auto& now = check.GetDisplay();
                if (session.Silent()) {
                    noAnswer();
                    break;
                }
                const bool moving = now.answered && now.motion && !now.settleTimedOut;
                if (now.answered && !moving)
                    break;
                if (now.answered && now.status != said)
                    terminal.Message("  " + (said = now.status) + " ...");
                Delay(session.Period());
                session.Tick();
                if (check.GetDisplay().canRead)
                    outcome = check.Read();
            }
            if (silent)
                break;
            if (StopRequested()) {
                stopped = quit = true;
                break;
            }
            if (outcome == CheckProcedure::ReadOutcome::Far) {
                terminal.Message(check.FarQuestion() + " (y/N)");
                std::string yes;
                const CheckSession::Wait again = session.NextLine(yes);
                if (again == CheckSession::Wait::Stopped) {
                    stopped = quit = true;
                    break;
                }
                if (again == CheckSession::Wait::Line && (yes == "y" || yes == "Y" || yes == "yes"))
                    outcome = check.Read(true);
                else
                    terminal.Message("  not read (Enter reads again, s skips the step)");
            }
            if (outcome == CheckProcedure::ReadOutcome::Taken) {
                printReading(step);
            } else if (outcome == CheckProcedure::ReadOutcome::NotTaken) {
                terminal.Message("  not read: " + check.GetDisplay().status +
                                 " (Enter reads again, s skips the step)");
            }
        }
    }
    stopped = stopped || StopRequested();

    const CheckRun& run = record.runs[runIndex];
    out << "\n" << CheckTable(record, run);
    if (command.asLeft)
        if (const CheckRun* found = record.Current("As found"))
            out << "\n" << CheckTable(record, *found);
    int code = kExitDone;
    const CheckResult result = EvaluateRun(record, run);
    if (silent)
        code = kExitBus;
    else if (result.verdict == CheckResult::Verdict::Fail)
        code = kExitOutOfTolerance;
    else if (result.verdict == CheckResult::Verdict::Incomplete || quit || stopped)
        code = kExitStopped;
    if (!command.record.empty()) {
        saveFailed = false;
        if (!SaveCheckRecord(command.record, record, error)) {
            terminal.Message("quarnex-cli: " + error);
            code = kExitFailed;
        } else {
            terminal.Message("record saved in " + command.record);
        }
    }
    if (!command.report.empty() && stopped) {
        terminal.Message("quarnex-cli: stopped: the report was not drawn" +
                         std::string(command.record.empty()
                                         ? ""
                                         : "; quarnex --check-report " + command.record + " " +
                                               command.report + " draws it"));
    } else if (!command.report.empty()) {
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
