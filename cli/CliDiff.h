#pragma once

#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;
class Terminal;

// quarnex-cli diff: two set-ups compared, each a set-up file or the instrument at an address
// (read as a backup reads it), and a folder of set-up files against a reference file.
//   diff FILE FILE | ADDR FILE | FILE ADDR | ADDR ADDR [--brief]
//   diff --against FILE DIR [--brief]
// Exit codes as diff(1): 0 equal, 1 they differ, 2 bad arguments; any failure (a file that does
// not load, an instrument that cannot be read, the port) exits kExitFailed, never 0 or 1.
struct DiffCommand {
    std::vector<std::string> words; // "diff" and its operands
    std::string against;            // --against: the reference file of a folder comparison
    bool brief = false;             // --brief: only whether (and how much) they differ
};

bool IsDiffCommand(const std::string& word);
// "" when the operands fit, else what is wrong.
std::string CheckDiffCommand(const DiffCommand& command);
// An operand that names an instrument (a whole number 1-247) rather than a file; a file of such a
// name is given as ./3.
bool DiffOperandIsAddress(const std::string& operand, int& address);
// Some operand is an instrument: the bus is needed.
bool DiffNeedsBus(const DiffCommand& command);
// Runs the checked command; bus may be null when no operand is an instrument.
int RunDiffCommand(const DiffCommand& command, ModbusMaster* bus, Terminal& terminal);

} // namespace quarnex
