#include "setup/KelSetUpPage.h"

#include "edit/SetupSource.h"

#include <utility>

namespace quarnex {

KelSetUpPage::KelSetUpPage(SetupSource& source, PageDescriptor page, bool editMode)
    : source_(source), page_(std::move(page)), editMode_(editMode),
      current_(PageRowsOf(page_, source.Setup())),
      rows_(InitialPageDisplay(page_, source.Setup(), editMode)),
      model_(source, page_.refresh, editMode) {}

void KelSetUpPage::Update(bool failed) {
    if (failed) {
        ShowFailedRead(rows_);
        return;
    }
    current_ = PageRowsOf(page_, source_.Setup());
    rows_ = PageDisplay(page_, current_, source_.Setup(), editMode_);
    // The analogue outputs are adjusted while the instrument drives them: only on the bus.
    if (!source_.CanMeasure())
        for (size_t i = 0; i < rows_.size(); ++i)
            if (current_[i].editor == EditorKind::Adjust)
                rows_[i].editEnabled = false;
}

int KelSetUpPage::Activate() {
    if (editMode_) {
        if (page_.openingRead)
            model_.Read(*page_.openingRead);
        Update(model_.Failed());
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

void KelSetUpPage::Redisplay() {
    Update(!editMode_ && model_.Failed());
}

void KelSetUpPage::ShowRows(const PageDescriptor& page) {
    page_.rows = page.rows;
    page_.rowsOf = page.rowsOf;
    Redisplay();
}

int KelSetUpPage::IndexOf(int parameter) const {
    for (size_t i = 0; i < current_.size(); ++i)
        if (current_[i].parameter == parameter)
            return static_cast<int>(i);
    return -1;
}

EditRequest KelSetUpPage::EditRequestFor(size_t i) const {
    return RowEditRequest(current_.at(i), source_.Setup());
}

std::optional<EditRequest> KelSetUpPage::Edit(size_t i) const {
    if (!editMode_ || i >= rows_.size() || i >= current_.size() || OpensDialog(current_[i]))
        return std::nullopt;
    const RowDisplay& row = rows_[i];
    if (!row.editButton || !row.editEnabled || !row.state.enabled)
        return std::nullopt;
    return EditRequestFor(i);
}

void KelSetUpPage::EditEnded(size_t i, bool accepted) {
    if (!accepted || i >= current_.size())
        return;
    model_.EditEnded(EditRequestFor(i), true);
    // A failed re-read has been shown; the page then shows what the copy holds.
    Update(false);
}

} // namespace quarnex
