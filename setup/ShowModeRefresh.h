#pragma once

#include "edit/EditRequest.h"

#include <cstddef>
#include <vector>

namespace quarnex {

class SetupSource;

// How a page or dialog keeps itself current in show mode: one read per timer tick, the reads
// given as a list of phases run in turn. Phases that read activities are skipped on an
// instrument without activities, the special values and the names on one without them; a
// skipped phase gives no update. Errors are not shown: a failed read dashes the display until
// the next good one.
class ShowModeRefresh {
public:
    // The standard pages' period.
    static constexpr int kPeriodMs = 500;

    enum class Read {
        Normal,     // the standard set-up block
        Activities, // the activities first ... last, in one tick
        Cycle,      // one activity per tick, first ... last then first again
        Recipe,     // recipe `first`
        Special,
        Texts,
    };
    struct Phase {
        Read read;
        int first = 0;
        int last = 0;
    };
    struct Step {
        bool update = false; // the page shows the copy anew (or dashes, when failed)
        bool failed = false;
    };

    ShowModeRefresh(std::vector<Phase> phases, int periodMs);

    // The standard pages (500 ms: the normal values, one activity in turn, the special values,
    // the names), Activities1 and Activities2 (200 ms), the activity dialog (250 ms), the
    // Recipes page (500 ms), the recipe dialog (250 ms).
    static ShowModeRefresh ForStandardPage();
    static ShowModeRefresh ForActivitiesPage(int page);
    static ShowModeRefresh ForActivityDialog(int activity);
    static ShowModeRefresh ForRecipesPage();
    static ShowModeRefresh ForRecipeDialog(int recipe);

    // Activation: does the source answer at all (the wait cursor shows meanwhile)?
    static Step Activate(SetupSource& source);
    // One timer step; the phase and the activity cycle carry on from where they stopped.
    Step Tick(SetupSource& source);

    int PeriodMs() const { return periodMs_; }
    size_t PhaseIndex() const { return phase_; }
    int CycleActivity() const { return cycle_; } // 0: not started, else the next one

private:
    std::vector<Phase> phases_;
    int periodMs_;
    size_t phase_ = 0;
    int cycle_ = 0;
};

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
