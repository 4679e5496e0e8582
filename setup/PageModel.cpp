#include "setup/PageModel.h"

#include "edit/SetupSource.h"

#include <utility>

namespace quarnex {

PageModel::PageModel(SetupSource& source, ShowModeRefresh refresh, bool editMode)
    : source_(source), refresh_(std::move(refresh)), editMode_(editMode) {}

int PageModel::Activate() {
    failed_ = ShowModeRefresh::Activate(source_).failed;
    return refresh_.PeriodMs();
}

bool PageModel::Tick() {
    const ShowModeRefresh::Step step = refresh_.Tick(source_);
    if (step.update)
        failed_ = step.failed;
    return step.update;
}

void PageModel::EditEnded(const EditRequest& request, bool accepted) {
    if (accepted)
        failed_ = !ReadAfterEdit(source_, request);
}

void PageModel::Read(const SetupRead& what) {
    failed_ = !source_.Read(what, true);
}

} // namespace quarnex
