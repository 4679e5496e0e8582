#pragma once

#include "instrument/InstrumentSetup.h"
#include "platform/Prompter.h"
#include "setup/SetupSource.h"
#include "setup/StandardPages.h"

#include <memory>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;

// The set-up sheet of one KEL 7 without its window: it alone takes the instrument into remote
// set-up (or batch set-up) and out again, owns the set-up copy the pages show, and decides which
// pages there are. The window calls Create() before it shows itself and asks OkCheck() or
// CancelCheck() whenever the user wants to leave (Escape and the window's close request run the
// Cancel check too, even where the Cancel button is hidden).
class KelSetUpSheet {
public:
    KelSetUpSheet(ModbusMaster& bus, int address, SheetMode mode, Prompter& prompter);

    // Checks the instrument, enters remote set-up (edit) or batch set-up (batching, recipes) and
    // reads the whole set-up. False (already shown) leaves the sheet unshown.
    bool Create();

    // "KEL set-up, address 12 (Edit set-up)".
    std::string Caption() const;
    const std::vector<PageId>& Pages() const { return pages_; }
    bool CancelShown() const { return mode_.edit && !mode_.batching && !mode_.recipes; }
    // True: close the sheet. False: stay open (the instrument is still in its set-up state).
    bool OkCheck();
    bool CancelCheck();

    const SheetMode& Mode() const { return mode_; }
    int Address() const { return address_; }
    InstrumentSetup& Setup() { return *setup_; }
    const InstrumentSetup& Setup() const { return *setup_; }
    // The instrument as the pages read and write it.
    BusSetupSource& Source() { return source_; }

    // The extra receive time-out of the check and save commands: the instrument checks and stores
    // its whole set-up before it answers.
    int ProlongedTimeout() const;

private:
    bool EditSetup() const { return CancelShown(); }
    bool BatchOrRecipes() const { return mode_.batching || mode_.recipes; }
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
