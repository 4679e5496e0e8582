#pragma once

#include "setup/PageModel.h"
#include "setup/SetupPage.h"

#include <optional>
#include <vector>

namespace quarnex {

class SetupSource;

// The one model under every page of the set-up sheet and both batching dialogs, without their
// windows: what the rows show, when the page reads, and what the ">>" of a row opens. In edit mode
// the page shows the sheet's copy and reads only after a confirmed edit (and, for a dialog that
// opens on a part of the copy not read yet, once as it opens); in show mode it polls with its
// descriptor's refresh. The window calls Activate() when the page comes to the front, re-arms a
// single-shot timer with what it and Tick() return, and stops that timer when the page is left.
//
// A page with a live part (the Calibration page) derives from this one: it reads its live values
// on its own period (Activate, Tick) and adds them, and what it holds back, to the rows (Update,
// EditRequestFor).
class KelSetUpPage {
public:
    static constexpr int kNoTimer = -1;

    KelSetUpPage(SetupSource& source, PageDescriptor page, bool editMode);
    virtual ~KelSetUpPage() = default;

    // The page comes to the front. Returns the period of the refresh timer, or kNoTimer (edit
    // mode shows what the sheet read when it was created, without bus traffic).
    virtual int Activate();
    // One refresh step; returns the next period.
    virtual int Tick();
    // The editor of row i has ended; accepted means the source took the new value, and the
    // block the value lives in is read again so that values derived from it show too.
    void EditEnded(size_t i, bool accepted);
    // What the ">>" of row i opens, from the copy as it is now.
    virtual EditRequest EditRequestFor(size_t i) const;
    // The same, but none where the row cannot be edited now: in show mode, on a row without
    // ">>", on a disabled row, on one whose ">>" the page holds back, on one that opens a dialog.
    std::optional<EditRequest> Edit(size_t i) const;
    // A dialog opened from a row has ended: the page shows the copy as the dialog left it.
    void Redisplay();
    // Another part of the same page (the recipe dialog's other fifteen lines): the rows change,
    // the refresh carries on.
    void ShowRows(const PageDescriptor& page);

    // The rows as the copy decides them now, and what each shows.
    const std::vector<PageRow>& CurrentRows() const { return current_; }
    const std::vector<RowDisplay>& Rows() const { return rows_; }
    // The current row that shows `parameter` (as its PageRow numbers it), or -1.
    int IndexOf(int parameter) const;
    const PageDescriptor& Descriptor() const { return page_; }
    bool EditMode() const { return editMode_; }
    // Activate() reads from the instrument with messages (a progress window is worth showing).
    bool OpensWithRead() const { return editMode_ && page_.openingRead.has_value(); }

protected:
    // Shows the copy in the rows (or dashes their values after a failed read).
    virtual void Update(bool failed);

    SetupSource& source_;
    PageDescriptor page_;
    bool editMode_;
    std::vector<PageRow> current_;
    std::vector<RowDisplay> rows_;
    PageModel model_;
};

} // namespace quarnex
