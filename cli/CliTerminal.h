#pragma once

#include "cli/CliSignals.h"
#include "comm/TrafficRecorder.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

#include <iosfwd>
#include <string>

namespace quarnex {

class ModbusMaster;

// The exit codes of quarnex-cli, the same for every command; --help lists them from here.
enum CliExit : int {
    kExitDone = 0,         // done
    kExitBus = 1,          // the port could not be used, or the last request got no valid answer
    kExitArguments = 2,    // bad arguments: nothing was done
    kExitFailed = 3,       // the operation failed: a file that cannot be read or written, an
                           // instrument that refuses (wrong type, wrong state, incompatible image)
    kExitStopped = 4,      // stopped by a question answered No (no --yes), or nothing to do
    kExitWarnings = 5,     // restore done with warnings
    kExitNothingFound = 6, // backup all found no KEL 7 Recipe Batcher
    kExitOutOfTolerance = 7, // check: a reading out of tolerance
};

// The lines of --help that list the codes above.
std::string CliExitCodesHelp();

// The terminal of one run: the report goes to out; messages, questions and the progress line go
// to err. The progress line is rewritten in place, so whatever else goes to err first ends it:
// every message starts on a line of its own. Where err is no terminal (a log, a pipe) a rewritten
// line would pile up every percentage on one line: there the line is written once, as it ends.
class Terminal {
public:
    Terminal(std::ostream& out, std::ostream& err, bool inPlace = true)
        : out_(out), err_(err), inPlace_(inPlace) {}
    std::ostream& Out() { return out_; }
    // One message (its CR LF line breaks made LF), on lines of its own.
    void Message(const std::string& text);
    // The progress line: text and percentage, rewritten in place.
    void ProgressLine(const std::string& text);
    // Ends the progress line, if one is open.
    void EndLine();

private:
    std::ostream& out_;
    std::ostream& err_;
    bool inPlace_;
    bool lineOpen_ = false;
    std::string pending_; // the line not yet written where it is not rewritten in place
};

// Boxes become messages; a question is answered as --yes says, and the answer is shown. A
// terminal tool never waits for a Retry: it cancels.
class TerminalPrompter : public Prompter {
public:
    TerminalPrompter(Terminal& terminal, bool yes) : terminal_(terminal), yes_(yes) {}
    void Message(Icon, const std::string& text, const std::string&) override;
    bool AskYesNo(Icon, const std::string& text, const std::string&) override;
    bool AskRetryCancel(const std::string&) override { return false; }
    // The messages shown since the last call, one a line.
    std::string TakeMessages();
    bool AnsweredNo() const { return answeredNo_; }

private:
    Terminal& terminal_;
    bool yes_;
    bool answeredNo_ = false;
    std::string messages_;
};

// The progress of a long operation as one line on the terminal: its text and percentage.
class TerminalProgress : public Progress {
public:
    explicit TerminalProgress(Terminal& terminal, std::string text = {})
        : terminal_(terminal), text_(std::move(text)) {}
    ~TerminalProgress() override { terminal_.EndLine(); }
    void SetRange(int low, int high) override { low_ = low, high_ = high; }
    void SetPos(int pos) override;
    void SetText(const std::string& text) override;
    // Ctrl+C or SIGTERM: the operation ends at its next step.
    bool CancelAsked() const override { return StopRequested(); }
    // The last step of some procedures (a restart) shows no position of its own.
    void Done() { SetPos(high_); }

private:
    Terminal& terminal_;
    std::string text_;
    std::string shown_;
    int low_ = 0, high_ = 100;
};

// Watches every attempt on the bus: remembers how the latest one ended, so a failed operation can
// say whether the bus let it down, and prints each one with --trace.
class BusOutcome : public TrafficObserver {
public:
    BusOutcome(ModbusMaster& master, Terminal& terminal, bool trace);
    ~BusOutcome() override;
    void OnAttempt(const TrafficRecord& record) override;
    // True when the latest request got no valid answer at all (no answer, a broken one, or a
    // port that would not send); an exception answer is the instrument refusing, not the bus.
    bool LastRequestFailed() const;

private:
    ModbusMaster& master_;
    Terminal& terminal_;
    bool trace_;
    bool seen_ = false;
    CommStatus last_ = CommStatus::Ok;
};

// The exit code of an operation that did not succeed: stopped by a No, let down by the bus, or
// failed for a reason of its own.
int FailureExit(const TerminalPrompter& prompter, const BusOutcome& bus);

} // namespace quarnex
