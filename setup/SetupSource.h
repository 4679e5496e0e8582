#pragma once

#include "setup/SetupPage.h"

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
    // The bus the source reads on (a progress window counts its requests); null without one.
    virtual ModbusMaster* Bus() = 0;

    // Show mode's activation: does the source answer at all? No message; the wait cursor shows.
    virtual bool Probe() = 0;
    // Reads one block into the copy. With messages a failure is shown (and the wait cursor
    // shows meanwhile); without, it only returns false.
    virtual bool Read(const SetupRead& what, bool messages) = 0;

    // The logic of the value-entry dialog a request opens; its OK writes the value to the
    // source. Null when the source has no such editor.
    virtual std::unique_ptr<ChoiceEntry> MakeChoice(const EditRequest& request) = 0;
    virtual std::unique_ptr<NumericEntry> MakeNumber(const EditRequest& request) = 0;
    virtual std::unique_ptr<TextEntry> MakeText(const EditRequest& request) = 0;
    virtual std::unique_ptr<AdjustmentEntry> MakeAdjustment(const EditRequest& request) = 0;
    virtual std::unique_ptr<ShuntEntry> MakeShunt(const EditRequest& request) = 0;
};

// The connected instrument: reads and writes go to the bus at the copy's address.
class BusSetupSource final : public SetupSource {
public:
    BusSetupSource(ModbusMaster& bus, InstrumentSetup& setup, Prompter& prompter);

    InstrumentSetup& Setup() override { return setup_; }
    Prompter& Owner() override { return prompter_; }
    ModbusMaster* Bus() override { return &bus_; }

    bool Probe() override;
    bool Read(const SetupRead& what, bool messages) override;
    std::unique_ptr<ChoiceEntry> MakeChoice(const EditRequest& request) override;
    std::unique_ptr<NumericEntry> MakeNumber(const EditRequest& request) override;
    std::unique_ptr<TextEntry> MakeText(const EditRequest& request) override;
    std::unique_ptr<AdjustmentEntry> MakeAdjustment(const EditRequest& request) override;
    std::unique_ptr<ShuntEntry> MakeShunt(const EditRequest& request) override;

private:
    ModbusMaster& bus_;
    InstrumentSetup& setup_;
    Prompter& prompter_;
};

// The one way back from an editor that ended with OK: the block the value lives in is read
// again (errors shown), so values derived from it show too. False when that read failed.
bool ReadAfterEdit(SetupSource& source, const EditRequest& request);

} // namespace quarnex
