#include "cli/CliTerminal.h"

#include "comm/ModbusMaster.h"
#include "comm/TrafficLog.h"
#include "files/SetupListing.h"

#include <ostream>
#include <utility>

namespace quarnex {

std::string CliExitCodesHelp() {
    return "exit codes:\n"
           "  0  done\n"
           "  1  bus or port failure: the port could not be used, or no valid answer came\n"
           "  2  bad arguments: nothing was done\n"
           "  3  the operation failed: a file that cannot be read or written, an instrument\n"
           "     that refuses (wrong type or state, an incompatible upgrade file)\n"
           "  4  stopped: a question answered No (give --yes), nothing to do, or a check\n"
           "     quit or with a step left out\n"
           "  5  restore done with warnings\n"
           "  6  backup all found no KEL 7 Recipe Batcher\n"
           "  7  check: a reading (or the repeatability) out of tolerance\n";
}

void Terminal::Message(const std::string& text) {
    EndLine();
    std::string lines = text;
    for (size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at))
        lines.erase(at, 1);
    // A message may carry a file name or a file's text: its line breaks are kept, any other
    // control character is shown escaped rather than obeyed by the terminal.
    std::string shown;
    for (size_t from = 0;;) {
        const size_t end = lines.find('\n', from);
        shown += VisibleEscapes(lines.substr(from, end - from));
        if (end == std::string::npos)
            break;
        shown += '\n';
        from = end + 1;
    }
    err_ << shown << '\n' << std::flush;
}

void Terminal::ProgressLine(const std::string& text) {
    if (inPlace_)
        err_ << '\r' << text << std::flush;
    else
        pending_ = text;
    lineOpen_ = true;
}

void Terminal::EndLine() {
    if (lineOpen_)
        err_ << std::exchange(pending_, {}) << '\n' << std::flush;
    lineOpen_ = false;
}

void TerminalPrompter::Message(Icon, const std::string& text, const std::string&) {
    terminal_.Message(text);
    messages_ += text + '\n';
}

bool TerminalPrompter::AskYesNo(Icon, const std::string& text, const std::string&) {
    terminal_.Message(text + (yes_ ? " (answered Yes)" : " (answered No)"));
    answeredNo_ = answeredNo_ || !yes_;
    return yes_;
}

std::string TerminalPrompter::TakeMessages() {
    return std::exchange(messages_, {});
}

void TerminalProgress::SetPos(int pos) {
    const std::string percent = ProgressPercentText(pos, low_, high_);
    if (percent == shown_)
        return;
    shown_ = percent;
    terminal_.ProgressLine(text_.empty() ? percent : text_ + ' ' + percent);
}

void TerminalProgress::SetText(const std::string& text) {
    terminal_.EndLine();
    // A window shows the steps done so far above the current one; the line shows the current.
    std::string last = text;
    while (!last.empty() && (last.back() == '\n' || last.back() == '\r'))
        last.pop_back();
    if (const size_t at = last.find_last_of("\r\n"); at != std::string::npos)
        last.erase(0, at + 1);
    text_ = last;
    shown_.clear();
}

BusOutcome::BusOutcome(ModbusMaster& master, Terminal& terminal, bool trace)
    : master_(master), terminal_(terminal), trace_(trace) {
    master_.SetTrafficObserver(this);
}

BusOutcome::~BusOutcome() {
    if (master_.GetTrafficObserver() == this)
        master_.SetTrafficObserver(nullptr);
}

void BusOutcome::OnAttempt(const TrafficRecord& record) {
    seen_ = true;
    last_ = record.status;
    if (trace_)
        terminal_.Message(traffic::TraceLine(record));
}

bool BusOutcome::LastRequestFailed() const {
    switch (last_) {
    case CommStatus::NoPort:
    case CommStatus::TransmitError:
    case CommStatus::ReceiveError:
    case CommStatus::NoResponse:
    case CommStatus::ChecksumError:
        return seen_;
    default:
        return false;
    }
}

int FailureExit(const TerminalPrompter& prompter, const BusOutcome& bus) {
    if (prompter.AnsweredNo())
        return kExitStopped;
    return bus.LastRequestFailed() ? kExitBus : kExitFailed;
}

} // namespace quarnex
