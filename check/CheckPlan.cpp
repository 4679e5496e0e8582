#include "check/CheckPlan.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quarnex {

bool ParseCheckNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 1e9)
        return false;
    value = v;
    return true;
}

std::string CheckPlan::Problem() const {
    if (loads.empty())
        return "no test loads given";
    for (size_t i = 0; i < loads.size(); ++i) {
        if (loads[i] < 0.0)
            return "a test load cannot be negative";
        if (i > 0 && loads[i] <= loads[i - 1])
            return "the test loads must increase (they are also read coming down)";
    }
    if (down && loads.size() < 2)
        return "coming down needs two test loads or more";
    if (repeatCount != 0 && (repeatCount < 2 || repeatCount > 20 || repeatLoad <= 0.0))
        return "repeatability needs a load above 0 and 2 to 20 repetitions";
    if (eccentricPositions != 0 &&
        ((eccentricPositions != 4 && eccentricPositions != 5) || eccentricLoad <= 0.0))
        return "eccentricity needs a load above 0 and 4 or 5 positions";
    return {};
}

std::vector<CheckStep> CheckPlan::Steps() const {
    std::vector<CheckStep> steps;
    for (double load : loads)
        steps.push_back({CheckStep::Kind::Up, load});
    if (down)
        for (size_t i = loads.size() - 1; i-- > 0;)
            steps.push_back({CheckStep::Kind::Down, loads[i]});
    for (int k = 1; k <= repeatCount; ++k)
        steps.push_back({CheckStep::Kind::Repeat, repeatLoad, 0, k, repeatCount});
    // Five positions: the centre and four corners; four: the centre and the three corners of a
    // platform on three load cells.
    for (int p = 0; p < eccentricPositions; ++p)
        steps.push_back({CheckStep::Kind::Eccentric, eccentricLoad, p});
    return steps;
}

bool ParseLoads(const std::string& text, std::vector<double>& loads) {
    loads.clear();
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        double v = 0;
        if (!ParseCheckNumber(part, v))
            return false;
        loads.push_back(v);
    }
    return !loads.empty() && text.back() != ',';
}

std::string LoadsText(const std::vector<double>& loads) {
    std::string text;
    char number[64];
    for (double load : loads) {
        std::snprintf(number, sizeof number, "%.10g", load);
        text += (text.empty() ? "" : ",") + std::string(number);
    }
    return text;
}

std::vector<double> DefaultLoads(double capacity, double division) {
    std::vector<double> loads;
    for (int percent : {0, 25, 50, 75, 100}) {
        double load = capacity * percent / 100.0;
        if (division > 0.0) {
            load = std::round(load / division) * division;
            // No 250.00000000000003 from the product.
            const double scale = std::pow(10.0, DivisionDecimals(division));
            load = std::round(load * scale) / scale;
        }
        if (loads.empty() || load > loads.back())
            loads.push_back(load);
    }
    return loads;
}

bool ParseLoadCount(const std::string& text, double& load, int& count) {
    const auto colon = text.find(':');
    double n = 0;
    if (colon == std::string::npos || !ParseCheckNumber(text.substr(0, colon), load) ||
        !ParseCheckNumber(text.substr(colon + 1), n) || n != std::floor(n) || n < 0 || n > 1000)
        return false;
    count = static_cast<int>(n);
    return true;
}

std::string StepInstruction(const CheckStep& step, double division, const std::string& unit) {
    const std::string load =
        FormatCheckWeight(step.load, division) + (unit.empty() ? "" : " ") + unit;
    switch (step.kind) {
    case CheckStep::Kind::Repeat:
        // Each repeat is a new placing of the load: it must come off the scale in between.
        if (step.repeat > 1)
            return "Take the load off and place it again (repeat " + std::to_string(step.repeat) +
                   " of " + std::to_string(step.repeats) + ")";
        return "Place " + load + " on the scale (1 of " + std::to_string(step.repeats) + ")";
    case CheckStep::Kind::Eccentric:
        if (step.position == 0)
            return "Place " + load + " in the centre of the platform";
        return "Move the load to corner " + std::to_string(step.position);
    default:
        return "Place " + load + " on the scale";
    }
}

std::string StepLabel(const CheckStep& step) {
    switch (step.kind) {
    case CheckStep::Kind::Up:
        return "up";
    case CheckStep::Kind::Down:
        return "down";
    case CheckStep::Kind::Repeat:
        return "repeat " + std::to_string(step.repeat) + "/" + std::to_string(step.repeats);
    case CheckStep::Kind::Eccentric:
        break;
    }
    return step.position == 0 ? "centre" : "corner " + std::to_string(step.position);
}

} // namespace quarnex
