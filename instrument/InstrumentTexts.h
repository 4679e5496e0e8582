#pragma once

#include "comm/ModbusMaster.h"
#include "instrument/Registers.h"
#include "platform/Prompter.h"

#include <cstdint>
#include <string>

namespace quarnex {

// Texts of the instrument's own codes. They never fail: unlisted codes get a generic text.
std::string StateText(int state);          // register 40008
std::string InstrumentErrorText(int code); // register 40009
std::string CommandErrorText(int code);    // register 40007, with the exit prefix where it has one
// The question asked when saving a set-up produced command error code.
std::string SaveWarningText(int code);

// The common end of every write and command: true on success; with messages off a failure is
// silent. A refusal (exception 03 or 07) reads register 40007 (3 retries) and shows prefix + its
// command-error text; any other failure (or a failed read of 40007) is shown as a bus failure,
// followed by extra in a second error box when extra is not empty.
bool ReportCommandError(ModbusMaster& bus, int address, CommStatus result, bool messages,
                        const std::string& prefix, const std::string& extra, Prompter* owner);

// The live block, registers 40001-40017, decoded.
struct LiveBlock {
    int rawTypeCode = 0;
    int commandError = 0;
    int state = 0;
    int error = 0;
    int statusBits = 0;
    int ioStatus = 0;
    uint16_t gross[3] = {0, 0, 0}; // high word, low word, decimals
    uint16_t net[3] = {0, 0, 0};

    bool Zero() const { return (statusBits & bits::kZero) != 0; }
    bool NetMode() const { return (statusBits & bits::kNetMode) != 0; }
    bool Motion() const { return (statusBits & bits::kMotion) != 0; }
    bool IoBusFaulty() const { return (ioStatus & bits::kIoBusFaulty) != 0; }
};
LiveBlock DecodeLiveBlock(const uint16_t registers[17]);
// "WARNING!   I/O-bus faulty." while the I/O bus is faulty, else "".
std::string IoWarningText(const LiveBlock& block);

} // namespace quarnex
