#pragma once

namespace quarnex {

// How the set-up sheet is opened: to look at the set-up, to edit it, or to edit the batching
// activities or the recipes (the instrument then goes into batch set-up instead of remote set-up).
enum class SheetMode { ShowSetup, EditSetup, EditBatching, EditRecipes };

// Every mode but ShowSetup changes the instrument's set-up.
constexpr bool EditsSetup(SheetMode mode) {
    return mode != SheetMode::ShowSetup;
}

} // namespace quarnex
