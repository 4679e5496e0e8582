#include "setup/KelSetUpPage.h"

#include "edit/SetupSource.h"

namespace quarnex {

KelSetUpPage::KelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode)
    : source_(source), page_(page), editMode_(editMode),
      rows_(InitialPageDisplay(page, source.Setup(), editMode)),
      model_(source, ShowModeRefresh::ForStandardPage(), editMode) {}

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
    const int period = model_.Activate();
    Update(model_.Failed());
    return period;
}

int KelSetUpPage::Tick() {
    if (model_.Tick())
        Update(model_.Failed());
    return model_.PeriodMs();
}

EditRequest KelSetUpPage::EditRequestFor(size_t i) const {
    return RowEditRequest(page_.rows.at(i), source_.Setup());
}

std::optional<EditRequest> KelSetUpPage::Edit(size_t i) const {
    if (!editMode_ || i >= rows_.size())
        return std::nullopt;
    const RowDisplay& row = rows_[i];
    if (!row.editButton || !row.editEnabled || !row.state.enabled)
        return std::nullopt;
    return EditRequestFor(i);
}

void KelSetUpPage::EditEnded(size_t i, bool accepted) {
    if (!accepted || i >= page_.rows.size())
        return;
    model_.EditEnded(EditRequestFor(i), true);
    // A failed re-read has been shown; the page then shows what the copy holds.
    Update(false);
}

} // namespace quarnex
