#pragma once

#include "edit/SetupSource.h"
#include "instrument/InstrumentSetup.h"
#include "platform/Prompter.h"
#include "setup/StandardPages.h"

#include <memory>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;

// What the sheet's window asks of the set-up behind it: the connected instrument (KelSetUpSheet)
// or a set-up file edited away from the instrument. The window calls Create() before it shows
// itself and asks OkCheck() or CancelCheck() whenever the user wants to leave (Escape and the
// window's close request run the Cancel check too, even where the Cancel button is hidden).
class SetupSheet {
public:
    virtual ~SetupSheet() = default;

    // False (already shown) leaves the sheet unshown.
    virtual bool Create() = 0;
    virtual std::string Caption() const = 0;
    virtual const std::vector<PageId>& Pages() const = 0;
    virtual bool EditMode() const = 0;
    virtual bool CancelShown() const = 0;
    // True: close the sheet. False: stay open.
    virtual bool OkCheck() = 0;
    virtual bool CancelCheck() = 0;
    // What the pages read and write.
    virtual SetupSource& Source() = 0;
};

// The set-up sheet of one KEL 7 without its window: it alone takes the instrument into remote
// set-up (or batch set-up) and out again, owns the set-up copy the pages show, and decides which
// pages there are.
class KelSetUpSheet final : public SetupSheet {
public:
    KelSetUpSheet(ModbusMaster& bus, int address, SheetMode mode, Prompter& prompter);

    // Checks the instrument, enters remote set-up (edit) or batch set-up (batching, recipes) and
    // reads the whole set-up. False (already shown) leaves the sheet unshown.
    bool Create() override;

    // "KEL set-up, address 12 (Edit set-up)".
    std::string Caption() const override;
    const std::vector<PageId>& Pages() const override { return pages_; }
    bool EditMode() const override { return EditsSetup(mode_); }
    bool CancelShown() const override { return mode_ == SheetMode::EditSetup; }
    // True: close the sheet. False: stay open (the instrument is still in its set-up state).
    bool OkCheck() override;
    bool CancelCheck() override;

    SheetMode Mode() const { return mode_; }
    int Address() const { return address_; }
    InstrumentSetup& Setup() { return *setup_; }
    const InstrumentSetup& Setup() const { return *setup_; }
    // The instrument as the pages read and write it.
    BusSetupSource& Source() override { return source_; }

    // The extra receive time-out of the check and save commands: the instrument checks and stores
    // its whole set-up before it answers.
    int ProlongedTimeout() const;

private:
    bool EditSetup() const { return CancelShown(); }
    bool BatchOrRecipes() const {
        return mode_ == SheetMode::EditBatching || mode_ == SheetMode::EditRecipes;
    }
    bool LeaveBatchSetup(bool messages);

    ModbusMaster& bus_;
    int address_;
    SheetMode mode_;
    Prompter& prompter_;
    std::unique_ptr<InstrumentSetup> setup_; // about 10 KB: kept off the caller's stack
    BusSetupSource source_;
    std::vector<PageId> pages_;
};

} // namespace quarnex
