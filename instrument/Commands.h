#pragma once

#include "instrument/Registers.h"
#include "platform/Prompter.h"

#include <string>

namespace quarnex {

class ModbusMaster;
struct TransactionOptions;

// Writes the coil on (3 retries, no extra time-out, retry box per messages). A refusal is
// explained with prefix + the command-error text, any other failure as a bus failure followed by
// extra (when not empty) in a second box; with messages off a failure is silent.
bool SendCommand(ModbusMaster& bus, int address, int coil, bool messages, const std::string& prefix,
                 const std::string& extra, Prompter* owner);
// The same with the caller's transaction options; options.showRetryBox also stands for messages
// and options.owner for owner.
bool SendCommandWithTimeout(ModbusMaster& bus, int address, int coil,
                            const TransactionOptions& options, const std::string& prefix,
                            const std::string& extra);
// What became of a command that changes the instrument's mode.
enum class ModeOutcome {
    Done,        // answered, or the state read afterwards shows it carried out
    NotDone,     // the state shows it was not carried out; the failure has been reported
    StateUnknown // no good answer and the state could not be read; nothing shown
};
// Sends a mode-changing command coil (enter remote set-up or restore, leave with or without
// saving) with the options of SendCommandWithTimeout. When its answer is lost or refused, the
// instrument may still have carried it out (a repeat after a lost answer is refused because the
// first attempt did the work), so the state register is read before anything is reported: a
// state the command leads to counts as done, silently. state receives the state read, or -1.
ModeOutcome SendModeCommand(ModbusMaster& bus, int address, int coil,
                            const TransactionOptions& options, const std::string& prefix,
                            const std::string& extra, int* state = nullptr);
// Reads the state register (40008) with a few retries and no messages; -1 when it cannot be read.
int ReadStateQuietly(ModbusMaster& bus, int address, int retries = 3);

// Writes one float (function 16, high word first): 3 retries below 1000 ms extra time-out, one
// attempt from 1000 ms on (a slow command is not repeated). Messages always on, no prefix.
bool WriteSetupFloat(ModbusMaster& bus, int address, int reg, float value, int extraTimeout,
                     Prompter* owner);
// WriteTextRegisters with messages on.
bool WriteSetupText(ModbusMaster& bus, int address, int reg, int count, const std::string& text,
                    Prompter* owner);

// A number typed by the user: the whole text must be a decimal number (leading blanks and an
// exponent allowed, empty = 0) within +-99999999.9999999851. Otherwise an error box
// ("Illegal character in entered value." / "Entered value out of range.") and false.
constexpr double kEnteredValueLimit = 99999999.9999999851;
bool ParseEnteredValue(const std::string& text, Prompter& owner, double& value);

// The start-up handshake: reads the state (40008); in "Wait for start state" with ask set, asks
// whether to start and sends coil 16, waits 500 ms and reads the state again. True with the state
// read; a bus failure is shown and gives false, as does a failed start.
bool StartInstrumentIfWaiting(ModbusMaster& bus, int address, int stateRegister, bool ask,
                              Prompter* owner, int& state);

} // namespace quarnex
