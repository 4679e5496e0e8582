#pragma once

#include "check/CheckRecord.h"

#include <string>
#include <utility>
#include <vector>

namespace quarnex {

// What the error plot of a check shows, without the drawing: the errors of each run against the
// load, going up, coming down, repeated and eccentric apart (only up and down are lines: the
// repeated and eccentric readings are points at one load, markers of their own), and the
// tolerance band around zero. Each run has a colour of its own; a superseded run is named so.
struct CheckPlotSeries {
    std::string name; // "As found, up", "As left (superseded), repeat"
    CheckStep::Kind kind = CheckStep::Kind::Up;
    size_t run = 0; // index into the record's runs
    bool superseded = false;
    bool Joined() const { return kind == CheckStep::Kind::Up || kind == CheckStep::Kind::Down; }
    std::vector<std::pair<double, double>> points; // (load, error)
};

// "As found", "As left (superseded)": a run as the report and the plot name it.
std::string RunTitle(const CheckRun& run);

std::vector<CheckPlotSeries> CheckPlotData(const CheckRecord& record);
// The upper edge of the tolerance band from 0 to the largest test load: a step line with both
// ends of every step (the lower edge is its mirror).
std::vector<std::pair<double, double>> ToleranceEdge(const CheckRecord& record);

} // namespace quarnex
