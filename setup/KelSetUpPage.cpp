#include "setup/KelSetUpPage.h"

#include "setup/SetupSource.h"

namespace quarnex {

KelSetUpPage::KelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode)
    : source_(source), page_(page), editMode_(editMode),
      refresh_(ShowModeRefresh::ForStandardPage()),
      rows_(InitialPageDisplay(page, source.Setup(), editMode)) {}

void KelSetUpPage::Update(bool failed) {
    if (failed) {
        ShowFailedRead(rows_);
        return;
    }
    rows_ = PageDisplay(page_, source_.Setup(), editMode_);
    // The analogue outputs are adjusted while the instrument drives them: only on the bus.
    if (!source_.CanMeasure())
        for (size_t i = 0; i < rows_.size(); ++i)
            if (page_.rows[i].editor == EditorKind::Adjust)
                rows_[i].editEnabled = false;
}

int KelSetUpPage::Activate() {
    if (editMode_) {
        Update(false);
        return kNoTimer;
    }
    Update(ShowModeRefresh::Activate(source_).failed);
    return refresh_.PeriodMs();
}

int KelSetUpPage::Tick() {
    const ShowModeRefresh::Step step = refresh_.Tick(source_);
    if (step.update)
        Update(step.failed);
    return refresh_.PeriodMs();
}

EditRequest KelSetUpPage::EditRequestFor(size_t i) const {
    return RowEditRequest(page_.rows.at(i), source_.Setup());
}

void KelSetUpPage::EditEnded(size_t i, bool accepted) {
    if (!accepted || i >= page_.rows.size())
        return;
    // A failed re-read has been shown; the page then shows what the copy holds.
    ReadAfterEdit(source_, EditRequestFor(i));
    Update(false);
}

} // namespace quarnex
