#pragma once

#include "instrument/SheetMode.h"
#include "setup/SetupPage.h"

#include <vector>

namespace quarnex {

struct InstrumentInfo;

// The pages of the set-up sheet that are built, in the sheet's tab order.
enum class PageId {
    General,
    CalibParam,
    Calibration,
    Communication,
    LevelSupervision,
    Inputs,
    Outputs,
    AnalogueOutputs,
    FlowRate,
    Activities1, // these three come from setup/BatchingPages.h
    Activities2,
    Recipes,
    SpecialMenu,
};

// The descriptor of a page (one constant object per page, alive for the whole program).
const PageDescriptor& SetupPage(PageId id);

// The pages the sheet shows for this mode and instrument, in tab order: every page of the tab
// order that the removal rules leave (Special menu goes when the instrument has no special
// parameters; batching and recipe sheets show only their own pages).
std::vector<PageId> SheetPages(SheetMode mode, const InstrumentInfo& info);

} // namespace quarnex
