#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;
class Terminal;
class WeightLogFile;

// `quarnex-cli log ADDR[,ADDR...] [--interval MS] [--duration S] [--csv FILE]`: the weight log.
// Reads the live block of each address every interval and writes a row per sample (to FILE, else
// to the output), until the duration is over or Ctrl+C; the summary goes to the error stream.
struct LogCommand {
    std::vector<int> addresses;
    int intervalMs = 1000;
    int durationS = 0; // 0: until Ctrl+C
    std::string csv;   // empty: the rows go to the output
};

// The log's own options, kept apart from the general ones by the option parser.
bool IsLogOption(const std::string& option);
// "" when words (the command and its arguments) and options (--interval 200 --duration 10 ...)
// make a log, else what is wrong.
std::string CheckLogCommand(const std::vector<std::string>& words,
                            const std::vector<std::string>& options, LogCommand& command);
// Opens the --csv file, before the port is opened: a file that cannot be written costs no bus
// time, and waiting for the reader of a named pipe does not hold the port. That wait ends with
// the reader or with Ctrl+C. False (with the message shown) when the log cannot start.
bool OpenLogFile(const LogCommand& command, WeightLogFile& file, Terminal& terminal);
// Runs the log: the rows to the file (opened by OpenLogFile when the command has one) or the
// terminal's output, the messages and the summary as the terminal's messages. Exit codes: done;
// the bus, when no read at all was answered; failed, when the file could not be written.
int RunLogCommand(const LogCommand& command, WeightLogFile& file, ModbusMaster& bus, int retries,
                  Terminal& terminal);

} // namespace quarnex
