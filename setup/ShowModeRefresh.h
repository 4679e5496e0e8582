#pragma once

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

} // namespace quarnex
