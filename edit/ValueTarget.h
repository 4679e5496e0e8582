#pragma once

#include "platform/Prompter.h"

#include <string>

namespace quarnex {

class InstrumentSetup;
class ModbusMaster;

// Where a value-entry dialog's value goes: the instrument on the bus, or a set-up held in memory
// (a set-up file edited away from the instrument). The dialogs and the pages behind them do not
// know which.
class ValueTarget {
public:
    virtual ~ValueTarget() = default;

    // One set-up float at reg; false when it was refused (the reason already shown at owner).
    // extraTimeoutMs: the instrument answers only after it has measured (calibration points).
    virtual bool WriteFloat(int reg, float value, int extraTimeoutMs, Prompter& owner) = 0;
    // A text of count registers (2 characters each) from reg.
    virtual bool WriteText(int reg, int count, const std::string& text, Prompter& owner) = 0;
};

// The instrument at an address: WriteSetupFloat and WriteSetupText, with their messages.
class BusValueTarget final : public ValueTarget {
public:
    BusValueTarget(ModbusMaster& bus, int address) : bus_(bus), address_(address) {}

    bool WriteFloat(int reg, float value, int extraTimeoutMs, Prompter& owner) override;
    bool WriteText(int reg, int count, const std::string& text, Prompter& owner) override;

private:
    ModbusMaster& bus_;
    int address_;
};

// A set-up copy in memory, written register by register as the instrument takes the writes: the
// activity and recipe selectors choose which activity or recipe the window registers reach, the
// registers are found through the copy's identification block. A register that is not part of
// the set-up, a selector without such an activity or recipe, a value a set-up file cannot hold and
// a text longer than its registers are refused with a message, and the copy stays as it was.
class SetupCopyTarget final : public ValueTarget {
public:
    explicit SetupCopyTarget(InstrumentSetup& setup) : setup_(setup) {}

    bool WriteFloat(int reg, float value, int extraTimeoutMs, Prompter& owner) override;
    bool WriteText(int reg, int count, const std::string& text, Prompter& owner) override;

    // A value or a text of the copy was changed (selector writes change nothing).
    bool Changed() const { return changed_; }

private:
    bool Refuse(int reg, Prompter& owner);

    InstrumentSetup& setup_;
    int activity_ = 0; // the selectors as last written; 0: none yet
    int recipe_ = 0;
    bool changed_ = false;
};

} // namespace quarnex
