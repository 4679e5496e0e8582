#pragma once

#include "check/CheckRecord.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace quarnex {

class BusOutcome;
class ModbusMaster;
class Terminal;

// `quarnex-cli check ADDR --loads 0,500,1000 [--down] [--repeat LOAD:N] [--eccentric LOAD:N]
// [--class III [--e E] [--in-service] | --tolerance X[%]] [--record FILE [--as-left]]
// [--report FILE.pdf] [--technician NAME] [--notes TEXT] [--next-check DATE] [--settle S]`:
// the check with test weights. Each step prompts on the error stream and reads its answer from a
// line of the input: Enter to read, s to skip, b to go back, q to quit.
struct CheckCommand {
    int address = 0;
    CheckPlan plan;
    ToleranceRule rule;
    std::string record;  // where the record goes
    bool asLeft = false; // add the check after calibration to the record's as-found check
    std::string report;  // the PDF report
    std::string technician;
    std::string notes;
    std::string nextCheck;
    int settleS = 30;
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
int RunCheckCommand(const CheckCommand& command, ModbusMaster& bus, Terminal& terminal,
                    const BusOutcome& outcome, std::istream& input);

// Where the check reads its answers: standard input unless a test sets a stream (null: back to
// standard input).
void SetCheckInput(std::istream* input);
std::istream& CheckInput();

} // namespace quarnex
