#include "setup/ShowModeRefresh.h"

#include "edit/SetupSource.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/SetupParameterTable.h"

#include <utility>

namespace quarnex {

namespace {

constexpr int kActivities = SetupParameterTable::kActivities;

} // namespace

ShowModeRefresh::ShowModeRefresh(std::vector<Phase> phases, int periodMs)
    : phases_(std::move(phases)), periodMs_(periodMs) {}

ShowModeRefresh ShowModeRefresh::ForStandardPage() {
    return ShowModeRefresh(
        {{Read::Normal}, {Read::Cycle, 1, kActivities}, {Read::Special}, {Read::Texts}}, kPeriodMs);
}

ShowModeRefresh ShowModeRefresh::ForActivitiesPage(int page) {
    if (page == 1)
        return ShowModeRefresh({{Read::Normal},
                                {Read::Activities, 1, 3},
                                {Read::Activities, 4, 6},
                                {Read::Activities, 7, 9},
                                {Read::Cycle, 10, 24},
                                {Read::Special},
                                {Read::Texts}},
                               200);
    return ShowModeRefresh({{Read::Normal},
                            {Read::Activities, 10, 12},
                            {Read::Activities, 13, 15},
                            {Read::Activities, 16, 18},
                            {Read::Activities, 19, 21},
                            {Read::Activities, 22, 24},
                            {Read::Cycle, 1, 9},
                            {Read::Special},
                            {Read::Texts}},
                           200);
}

ShowModeRefresh ShowModeRefresh::ForActivityDialog(int activity) {
    return ShowModeRefresh({{Read::Normal},
                            {Read::Activities, activity, activity},
                            {Read::Cycle, 1, kActivities},
                            {Read::Special},
                            {Read::Texts}},
                           250);
}

ShowModeRefresh ShowModeRefresh::ForRecipesPage() {
    return ShowModeRefresh(
        {{Read::Normal}, {Read::Cycle, 1, kActivities}, {Read::Special}, {Read::Texts}}, 500);
}

ShowModeRefresh ShowModeRefresh::ForRecipeDialog(int recipe) {
    return ShowModeRefresh({{Read::Normal},
                            {Read::Recipe, recipe},
                            {Read::Cycle, 1, kActivities},
                            {Read::Special},
                            {Read::Texts}},
                           250);
}

ShowModeRefresh::Step ShowModeRefresh::Activate(SetupSource& source) {
    return {true, !source.Probe()};
}

ShowModeRefresh::Step ShowModeRefresh::Tick(SetupSource& source) {
    Step step;
    if (phases_.empty())
        return step;
    const Phase& phase = phases_[phase_];
    const InstrumentInfo& info = source.Setup().Info();
    const auto read = [&source](SetupBlock block, int number = 0) {
        return source.Read({block, number}, false);
    };
    switch (phase.read) {
    case Read::Normal:
        step = {true, !read(SetupBlock::Normal)};
        break;
    case Read::Activities:
        if (info.batchCount > 0) {
            bool ok = true;
            for (int k = phase.first; k <= phase.last && ok; ++k)
                ok = read(SetupBlock::Activity, k);
            step = {true, !ok};
        }
        break;
    case Read::Cycle:
        if (info.batchCount > 0) {
            if (cycle_ < phase.first || cycle_ > phase.last)
                cycle_ = phase.first;
            step = {true, !read(SetupBlock::Activity, cycle_)};
            cycle_ = cycle_ == phase.last ? phase.first : cycle_ + 1;
        }
        break;
    case Read::Recipe:
        step = {true, !read(SetupBlock::Recipe, phase.first)};
        break;
    case Read::Special:
        if (info.specialCount > 0)
            step = {true, !read(SetupBlock::Special)};
        break;
    case Read::Texts:
        if (info.stringCount > 0)
            step = {true, !read(SetupBlock::Texts)};
        break;
    }
    phase_ = (phase_ + 1) % phases_.size();
    return step;
}

} // namespace quarnex
