#pragma once

#include "check/CheckRecord.h"

#include <string>
#include <utility>
#include <vector>

namespace quarnex {

// What the error plot of a check shows, without the drawing: the errors of each run against the
// load, going up and coming down apart (repeated and eccentric readings with the up ones), and
// the tolerance band around zero.
struct CheckPlotSeries {
    std::string name; // "As found, up"
    bool down = false;
    bool asLeft = false;
    std::vector<std::pair<double, double>> points; // (load, error)
};

std::vector<CheckPlotSeries> CheckPlotData(const CheckRecord& record);
// The upper edge of the tolerance band from 0 to the largest test load: a step line with both
// ends of every step (the lower edge is its mirror).
std::vector<std::pair<double, double>> ToleranceEdge(const CheckRecord& record);

} // namespace quarnex
