#pragma once

#include "edit/EditRequest.h"
#include "setup/ShowModeRefresh.h"

namespace quarnex {

class SetupSource;

// What every page and dialog of the sheet does between its display and the source: in show mode
// it keeps the copy current with its refresh, one read per tick; after an accepted edit it reads
// the value's block again (errors shown). Failed() tells the display to dash its values until
// the next good read.
class PageModel {
public:
    PageModel(SetupSource& source, ShowModeRefresh refresh, bool editMode);

    // Show mode's activation: does the source answer at all? Returns the refresh period.
    int Activate();
    // One refresh step: true when the display is to be shown anew.
    bool Tick();
    // The editor of a request has ended (accepted: the source took the value).
    void EditEnded(const EditRequest& request, bool accepted);
    // Reads a block with messages: a dialog that opens on a part of the copy not read yet.
    void Read(const SetupRead& what);

    int PeriodMs() const { return refresh_.PeriodMs(); }
    bool Failed() const { return failed_; }
    bool EditMode() const { return editMode_; }
    SetupSource& Source() const { return source_; }

private:
    SetupSource& source_;
    ShowModeRefresh refresh_; // its phase and activity survive the page's deactivation
    bool editMode_;
    bool failed_ = false;
};

} // namespace quarnex
