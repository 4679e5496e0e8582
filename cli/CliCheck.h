#pragma once

#include "check/CheckRecord.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quarnex {

class BusOutcome;
class ModbusMaster;
class Terminal;

// `quarnex-cli check ADDR --loads 0,500,1000 [--down] [--repeat LOAD:N] [--eccentric LOAD:N]
// [--class III [--e E] [--in-service] | --tolerance X[%]] [--record FILE [--as-left
// [--replace-as-left]]] [--report FILE.pdf] [--technician NAME] [--notes TEXT]
// [--next-check DATE] [--settle S] [--weights TEXT] [--scale TEXT]`: the check with test
// weights. Each step prompts on the error stream and reads its answer from a line of the input:
// Enter to read, s to skip, b to go back, q to quit. The weight is watched all the while, also
// while the program waits for a line.
struct CheckCommand {
    int address = 0;
    CheckPlan plan;
    ToleranceRule rule;
    std::string record;         // where the record goes
    bool asLeft = false;        // add the check after calibration to the record's as-found check
    bool replaceAsLeft = false; // a second as-left run; the first stays in the record, superseded
    std::string report;         // the PDF report
    std::string technician;
    std::string notes;
    std::string nextCheck;
    std::string weights; // "ID, class F1, certificate C-123 of 2026-03-01"
    std::string scale;   // "Silo 3 scale, hall B"
    int settleS = 30;
};

// Where the check's answers come from, a line at a time, without blocking the watching of the
// weight: standard input, or a test's script.
class CheckLineSource {
public:
    enum class Got { Line, Nothing, End };
    virtual ~CheckLineSource() = default;
    // A whole line (without its line break) when one comes within waitMs; Nothing when none
    // came, or a signal broke the wait; End when the input ended.
    virtual Got Next(std::string& line, int waitMs) = 0;
};

// The check's own options, kept apart from the general ones by the option parser once the
// command is check. flag: the option takes no value.
bool IsCheckOption(const std::string& option, bool& flag);
// "" when words and options (option, value, option, value ...; a flag's value is empty) make a
// check, else what is wrong.
std::string CheckCheckCommand(const std::vector<std::string>& words,
                              const std::vector<std::string>& options, CheckCommand& command);
// Runs the check; the answers come from input. Exit codes: done (every reading within
// tolerance), kExitOutOfTolerance, stopped (quit or a step left out), the bus, failed.
// The next whole line of buffer (without its line break, CR LF taken as one) into line, and out
// of buffer; a line longer than any answer is cut at kMaxCheckInputLine. False while buffer holds
// no whole line yet.
inline constexpr size_t kMaxCheckInputLine = 4096;
bool TakeCheckInputLine(std::string& buffer, std::string& line);

// Ctrl+C ends it at any prompt, keeping the readings taken.
int RunCheckCommand(const CheckCommand& command, ModbusMaster& bus, Terminal& terminal,
                    const BusOutcome& outcome, CheckLineSource& input);

// Where the check reads its answers: standard input unless a test sets a source (null: back to
// standard input).
void SetCheckInput(CheckLineSource* input);
CheckLineSource& CheckInput();

} // namespace quarnex
