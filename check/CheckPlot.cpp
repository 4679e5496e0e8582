#include "check/CheckPlot.h"

#include <algorithm>
#include <cmath>

namespace quarnex {

std::vector<CheckPlotSeries> CheckPlotData(const CheckRecord& record) {
    std::vector<CheckPlotSeries> series;
    for (size_t r = 0; r < record.runs.size(); ++r) {
        const CheckResult result = EvaluateRun(record, record.runs[r]);
        const bool asLeft = r > 0;
        CheckPlotSeries up{record.runs[r].name + ", up", false, asLeft, {}};
        CheckPlotSeries down{record.runs[r].name + ", down", true, asLeft, {}};
        for (const StepResult& s : result.steps) {
            if (s.reading.state != CheckReading::State::Taken)
                continue;
            (s.step.kind == CheckStep::Kind::Down ? down : up)
                .points.push_back({s.step.load, s.error});
        }
        series.push_back(std::move(up));
        if (record.plan.down)
            series.push_back(std::move(down));
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
