#include "check/CheckPlot.h"

#include <algorithm>
#include <cmath>

namespace quarnex {

std::string RunTitle(const CheckRun& run) {
    return run.superseded ? run.name + " (superseded)" : run.name;
}

std::vector<CheckPlotSeries> CheckPlotData(const CheckRecord& record) {
    static constexpr std::pair<CheckStep::Kind, const char*> kKinds[] = {
        {CheckStep::Kind::Up, "up"},
        {CheckStep::Kind::Down, "down"},
        {CheckStep::Kind::Repeat, "repeat"},
        {CheckStep::Kind::Eccentric, "eccentric"},
    };
    std::vector<CheckPlotSeries> series;
    for (size_t r = 0; r < record.runs.size(); ++r) {
        const CheckRun& run = record.runs[r];
        const CheckResult result = EvaluateRun(record, run);
        for (const auto& [kind, label] : kKinds) {
            CheckPlotSeries s;
            s.name = RunTitle(run) + ", " + label;
            s.kind = kind;
            s.run = r;
            s.superseded = run.superseded;
            for (const StepResult& step : result.steps)
                if (step.step.kind == kind && step.reading.state == CheckReading::State::Taken)
                    s.points.push_back({step.step.load, step.error});
            // The plan's parts only: no empty "down" of a plan that does not come down.
            const bool planned =
                kind == CheckStep::Kind::Up ||
                (kind == CheckStep::Kind::Down && record.plan.down) ||
                (kind == CheckStep::Kind::Repeat && record.plan.repeatCount) ||
                (kind == CheckStep::Kind::Eccentric && record.plan.eccentricPositions);
            if (planned)
                series.push_back(std::move(s));
        }
    }
    return series;
}

std::vector<std::pair<double, double>> ToleranceEdge(const CheckRecord& record) {
    const CheckPlan& p = record.plan;
    double top = p.loads.empty() ? 0.0 : p.loads.back();
    top = std::max({top, p.repeatLoad, p.eccentricLoad});
    std::vector<std::pair<double, double>> edge;
    if (top <= 0.0)
        return edge;
    // Sampled finely enough that a class's step shows as a step, and both ends of it kept.
    constexpr int kSamples = 400;
    double last = record.rule.Tolerance(0.0, record.division);
    edge.push_back({0.0, last});
    for (int i = 1; i <= kSamples; ++i) {
        const double load = top * i / kSamples;
        const double t = record.rule.Tolerance(load, record.division);
        if (t != last && record.rule.kind != ToleranceRule::Kind::PercentOfLoad) {
            // Find the step's place between the samples.
            double low = top * (i - 1) / kSamples, high = load;
            for (int k = 0; k < 40; ++k) {
                const double mid = (low + high) / 2;
                (record.rule.Tolerance(mid, record.division) == last ? low : high) = mid;
            }
            edge.push_back({low, last});
            edge.push_back({high, t});
        }
        last = t;
        if (record.rule.kind == ToleranceRule::Kind::PercentOfLoad || i == kSamples)
            edge.push_back({load, t});
    }
    return edge;
}

} // namespace quarnex
