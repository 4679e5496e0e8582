#pragma once

#include "setup/SetupPage.h"
#include "setup/ShowModeRefresh.h"

#include <optional>
#include <vector>

namespace quarnex {

class SetupSource;

// One page of the set-up sheet without its window: what its rows show, when it reads, and what
// the ">>" of a row opens. In edit mode the page shows the sheet's copy and reads only after a
// confirmed edit; in show mode it polls on its own timer (the standard pages' refresh). The
// window calls Activate() when the tab becomes current, re-arms a single-shot timer with what it
// returns, and stops that timer when the tab is left.
//
// A page with a live part (the Calibration page) derives from this one: it reads its live values
// on its own period (Activate, Tick) and adds them, and what it holds back, to the rows (Update,
// EditRequestFor).
class KelSetUpPage {
public:
    static constexpr int kNoTimer = -1;

    KelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode);
    virtual ~KelSetUpPage() = default;

    // The page becomes the current tab. Returns the period of the refresh timer, or kNoTimer
    // (edit mode shows what the sheet read when it was created, without bus traffic).
    virtual int Activate();
    // One refresh step; returns the next period.
    virtual int Tick();
    // The editor of row i has ended; accepted means the source took the new value, and the
    // block the value lives in is read again so that values derived from it show too.
    void EditEnded(size_t i, bool accepted);
    // What the ">>" of row i opens, from the copy as it is now.
    virtual EditRequest EditRequestFor(size_t i) const;
    // The same, but none where the row cannot be edited now: in show mode, on a row without
    // ">>", on a disabled row and on one whose ">>" the page holds back.
    std::optional<EditRequest> Edit(size_t i) const;

    const std::vector<RowDisplay>& Rows() const { return rows_; }
    const PageDescriptor& Descriptor() const { return page_; }
    bool EditMode() const { return editMode_; }

protected:
    // Shows the copy in the rows (or dashes their values after a failed read).
    virtual void Update(bool failed);

    SetupSource& source_;
    const PageDescriptor& page_;
    bool editMode_;
    std::vector<RowDisplay> rows_;
    PageModel model_;
};

} // namespace quarnex
