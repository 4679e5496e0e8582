#pragma once

#include "instrument/InstrumentType.h"
#include "monitor/panel/InstrumentPanel.h"

#include <functional>

class QWidget;

namespace quarnex {

class BusSession;
class ModbusMaster;
class Prompter;

// Windows that the panel opens but that are built elsewhere. A hook left empty keeps its
// buttons disabled (with a tool tip saying so) whatever the instrument's state:
//   setupSheet - runs the set-up sheet modally in a mode (Show set-up, Edit set-up); the panel
//                has already asked its question and checked the state, and stops its polling
//                around the call;
//   batchingSheet - the same for Edit batching set-up and Edit recipes;
//   backup, restore - run their dialogs modally; the panel has checked the instrument first;
//   compare - the instrument's set-up against a set-up file, checked as for a backup.
struct PanelHooks {
    using SheetOpener =
        std::function<void(QWidget* parent, int address, InstrumentPanel::SheetMode mode)>;
    SheetOpener setupSheet;
    SheetOpener batchingSheet;
    std::function<void(QWidget* parent, int address)> backup;
    std::function<void(QWidget* parent, int address)> restore;
    std::function<void(QWidget* parent, int address)> compare;
    // check - the check with test weights, checked as for a backup.
    std::function<void(QWidget* parent, int address)> check;
};

// Opens the instrument panel of the KEL 7 Recipe Batcher at address modally and returns when the
// user closed it. The caller (the main view) stops its own polling before and restarts it after,
// and has already refused the models the panel does not serve; it must not hold session's bus
// (the panel polls through the session). Messages go through prompter (the program's QtPrompter
// puts them over the active window).
void OpenInstrumentPanel(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                         Prompter& prompter, const PanelHooks& hooks = {});

// The "Select instrument" dialog: asks for an address 1-247 and reads its type. True with both
// when the user confirmed an instrument of a known model; false on Cancel. Polling may go on
// while it is open (the dialog's reads and the polls take turns on the bus).
bool SelectInstrument(QWidget* parent, ModbusMaster& bus, Prompter& prompter, int& address,
                      InstrumentType& type);

// The side windows of the panel, modal; each polls on its own timer, through the session, until
// closed (the panel's polls and theirs take turns on the session).
void OpenInstrumentInfo(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                        Prompter& prompter);
void OpenLevels(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                Prompter& prompter);

} // namespace quarnex
