#include "setup/KelSetUpPage.h"

#include "instrument/InstrumentSetup.h"
#include "platform/Prompter.h"

namespace quarnex {

KelSetUpPage::KelSetUpPage(ModbusMaster& bus, InstrumentSetup& setup, const PageDescriptor& page,
                           bool editMode, Prompter& prompter)
    : bus_(bus), setup_(setup), page_(page), editMode_(editMode), prompter_(prompter),
      rows_(InitialPageDisplay(page, setup, editMode)) {}

void KelSetUpPage::Update(bool failed) {
    if (failed)
        ShowFailedRead(rows_);
    else
        rows_ = PageDisplay(page_, setup_, editMode_);
}

int KelSetUpPage::Activate() {
    if (editMode_) {
        Update(false);
        return kNoTimer;
    }
    ShowModeRefresh::Step step;
    {
        WaitCursor wait(prompter_);
        step = ShowModeRefresh::Activate(bus_, setup_);
    }
    Update(step.failed);
    return ShowModeRefresh::kPeriodMs;
}

int KelSetUpPage::Tick() {
    const ShowModeRefresh::Step step = refresh_.Tick(bus_, setup_);
    if (step.update)
        Update(step.failed);
    return ShowModeRefresh::kPeriodMs;
}

EditRequest KelSetUpPage::EditRequestFor(size_t i) const {
    return RowEditRequest(page_.rows.at(i), setup_);
}

void KelSetUpPage::EditEnded(size_t i, bool accepted) {
    if (!accepted || i >= page_.rows.size())
        return;
    {
        // A failed re-read has been shown; the page then shows what the copy holds.
        WaitCursor wait(prompter_);
        if (EditRequestFor(i).reread == SetupBlock::Special)
            setup_.ReadSpecial(bus_, false, true, &prompter_);
        else
            setup_.ReadNormal(bus_, true, &prompter_);
    }
    Update(false);
}

} // namespace quarnex
