#include "cli/CliLog.h"

#include "cli/CliSignals.h"
#include "cli/CliTerminal.h"

#include "comm/ModbusMaster.h"
#include "monitor/panel/WeightLog.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <utility>

namespace quarnex {

namespace {

constexpr int kMinIntervalMs = 10;
constexpr int kMaxIntervalMs = 3600 * 1000;
constexpr int kMaxDurationS = 366 * 24 * 3600;
// How often a named pipe is asked again for its reader.
constexpr int kReaderPollMs = 50;

// Set by Ctrl+C (and a polite kill); the log ends after the sample it is taking.
volatile std::sig_atomic_t stopAsked = 0;

extern "C" void AskStop(int) {
    stopAsked = 1;
}

// Ctrl+C and SIGTERM set the flag while the log runs; the handlers before are restored after.
class StopSignals {
public:
    StopSignals() {
        stopAsked = 0;
        struct sigaction action {};
        action.sa_handler = AskStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// Failed reads are counted and written as rows; the master's own messages would only repeat them.
class QuietPrompter : public Prompter {
public:
    void Message(Icon, const std::string&, const std::string&) override {}
    bool AskYesNo(Icon, const std::string&, const std::string&) override { return false; }
    bool AskRetryCancel(const std::string&) override { return false; }
};

bool ParseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

} // namespace

bool IsLogOption(const std::string& option) {
    return option == "--interval" || option == "--duration" || option == "--csv";
}

std::string CheckLogCommand(const std::vector<std::string>& words,
                            const std::vector<std::string>& options, LogCommand& command) {
    command = {};
    if (words.size() != 2)
        return "usage: log ADDR[,ADDR...] [--interval MS] [--duration S] [--csv FILE]";
    std::string error;
    if (!ParseAddressList(words[1], command.addresses, error))
        return error;
    for (size_t i = 0; i + 1 < options.size(); i += 2) {
        const std::string& name = options[i];
        const std::string& value = options[i + 1];
        long v = 0;
        if (name == "--interval") {
            if (!ParseNumber(value, kMinIntervalMs, kMaxIntervalMs, v))
                return "bad value for --interval: '" + value + "' (" +
                       std::to_string(kMinIntervalMs) + " to " + std::to_string(kMaxIntervalMs) +
                       " ms)";
            command.intervalMs = static_cast<int>(v);
        } else if (name == "--duration") {
            if (!ParseNumber(value, 1, kMaxDurationS, v))
                return "bad value for --duration: '" + value + "' (1 to " +
                       std::to_string(kMaxDurationS) + " s)";
            command.durationS = static_cast<int>(v);
        } else {
            if (value.empty())
                return "--csv needs a file name";
            command.csv = value;
        }
    }
    return {};
}

bool OpenLogFile(const LogCommand& command, WeightLogFile& file, Terminal& terminal) {
    if (command.csv.empty())
        return true;
    std::string error;
    bool told = false;
    while (!file.Open(command.csv, error)) {
        if (!file.NoReader() || StopRequested()) {
            terminal.Message("quarnex-cli: " + error);
            return false;
        }
        if (!std::exchange(told, true))
            terminal.Message("quarnex-cli: waiting for a reader of the named pipe " + command.csv +
                             " (Ctrl+C stops)");
        Delay(kReaderPollMs);
    }
    return true;
}

int RunLogCommand(const LogCommand& command, WeightLogFile& file, ModbusMaster& bus, int retries,
                  Terminal& terminal) {
    std::unique_ptr<WeightLogWriter> writer;
    if (command.csv.empty())
        writer = std::make_unique<WeightLogWriter>(terminal.Out());
    QuietPrompter quiet;
    WeightLogger logger(bus, quiet,
                        {.addresses = command.addresses,
                         .intervalMs = command.intervalMs,
                         .durationS = command.durationS,
                         .retries = retries});
    const StopSignals signals;
    const WeightLogSummary summary = logger.Run(
        [&](const WeightSample& sample) {
            return writer ? writer->Write(sample) : file.Write(sample);
        },
        [] { return stopAsked != 0; },
        [&](const std::string& text) { terminal.Message("quarnex-cli: " + text); });
    const bool closed = writer ? writer->Flush() : file.Close();
    std::string text = WeightLogger::SummaryText(summary, command.addresses.size());
    if (!command.csv.empty())
        text += "file: " + command.csv + " (" + std::to_string(file.Count()) + " rows)\n";
    terminal.Message(text.substr(0, text.size() - 1));
    if (!closed || summary.writeFailed) {
        terminal.Message("quarnex-cli: " + (file.Error().empty()
                                                ? std::string("the output cannot be written")
                                                : file.Error()));
        return kExitFailed;
    }
    return summary.samples > 0 && summary.failures == summary.samples ? kExitBus : kExitDone;
}

} // namespace quarnex
