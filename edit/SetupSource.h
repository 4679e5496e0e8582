#pragma once

#include "edit/EditRequest.h"
#include "edit/ValueTarget.h"

#include <memory>

namespace quarnex {

class AdjustmentEntry;
class ChoiceEntry;
class InstrumentSetup;
class ModbusMaster;
class NumericEntry;
class Prompter;
class ShuntEntry;
class TextEntry;

// Where the set-up a sheet shows comes from and where its edits go. Every page, row, rule and
// editor works on the source's copy through this; none of them knows what is behind it.
class SetupSource {
public:
    virtual ~SetupSource() = default;

    virtual InstrumentSetup& Setup() = 0;
    // The owner of every message, question and wait cursor of the sheet.
    virtual Prompter& Owner() = 0;
    // A connected instrument: it measures (the shunt, the calibration's live signal), drives the
    // analogue outputs while they are adjusted, and judges every value written to it. False for
    // a set-up copy away from the instrument, which checks what it can itself.
    virtual bool CanMeasure() const = 0;
    // The bus the source reads on (a progress window counts its requests, the calibration page
    // measures on it); null where the source cannot measure.
    virtual ModbusMaster* Bus() = 0;
    // Where the editors write their values.
    virtual ValueTarget& Target() = 0;

    // Show mode's activation: does the source answer at all? No message; the wait cursor shows.
    virtual bool Probe() = 0;
    // Reads one block into the copy. With messages a failure is shown (and the wait cursor
    // shows meanwhile); without, it only returns false.
    virtual bool Read(const SetupRead& what, bool messages) = 0;

    // What the calibration page's live part asks of a measuring instrument, once, without
    // messages: count registers from reg (the live block), one float value (the points not yet
    // stored), a command coil (a shunt resistor left connected taken off). False where the
    // source cannot measure or the instrument did not answer.
    virtual bool ReadMeasured(int, int, uint16_t*) { return false; }
    virtual bool ReadMeasuredFloat(int, float&) { return false; }
    virtual bool SendMeasuringCommand(int) { return false; }

    // The logic of the value-entry dialog a request opens; its OK writes the value to Target().
    std::unique_ptr<ChoiceEntry> MakeChoice(const EditRequest& request);
    std::unique_ptr<NumericEntry> MakeNumber(const EditRequest& request);
    std::unique_ptr<TextEntry> MakeText(const EditRequest& request);
    // The adjustment and the shunt measure on the instrument: null without a bus.
    std::unique_ptr<AdjustmentEntry> MakeAdjustment(const EditRequest& request);
    std::unique_ptr<ShuntEntry> MakeShunt(const EditRequest& request);
};

// The connected instrument: reads and writes go to the bus at the copy's address.
class BusSetupSource final : public SetupSource {
public:
    BusSetupSource(ModbusMaster& bus, InstrumentSetup& setup, Prompter& prompter);

    InstrumentSetup& Setup() override { return setup_; }
    Prompter& Owner() override { return prompter_; }
    bool CanMeasure() const override { return true; }
    ModbusMaster* Bus() override { return &bus_; }
    ValueTarget& Target() override;

    bool Probe() override;
    bool Read(const SetupRead& what, bool messages) override;
    bool ReadMeasured(int reg, int count, uint16_t* values) override;
    bool ReadMeasuredFloat(int reg, float& value) override;
    bool SendMeasuringCommand(int coil) override;

private:
    ModbusMaster& bus_;
    InstrumentSetup& setup_;
    Prompter& prompter_;
    std::unique_ptr<BusValueTarget> target_; // made for the copy's address when first needed
};

// The one way back from an editor that ended with OK: the block the value lives in is read
// again (errors shown), so values derived from it show too. False when that read failed.
bool ReadAfterEdit(SetupSource& source, const EditRequest& request);

} // namespace quarnex
