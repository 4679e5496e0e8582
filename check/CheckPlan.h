#pragma once

#include "check/Tolerance.h"

#include <string>
#include <vector>

namespace quarnex {

// One step of a check: a load to put on the scale and read.
struct CheckStep {
    enum class Kind { Up, Down, Repeat, Eccentric };
    Kind kind = Kind::Up;
    double load = 0.0;
    int position = 0; // Eccentric: 0 the centre, 1-4 the corners
    int repeat = 0;   // Repeat: 1 ... N
    int repeats = 0;  // Repeat: N
};

// The test loads of a check: increasing, then (down) decreasing through the same loads; then,
// when asked, one load put on repeatCount times (repeatability) and one load in the centre and
// the corners (eccentricity: 4 positions for a platform on three load cells, else 5).
struct CheckPlan {
    std::vector<double> loads;
    bool down = false;
    double repeatLoad = 0.0;
    int repeatCount = 0; // 0: no repeatability test; else 2-20
    double eccentricLoad = 0.0;
    int eccentricPositions = 0; // 0: no eccentricity test; else 4 or 5

    // "" when the plan can be run, else what is wrong with it.
    std::string Problem() const;
    std::vector<CheckStep> Steps() const;
};

// A finite number of at most 1e9 in size, the whole text; false for anything else.
bool ParseCheckNumber(const std::string& text, double& value);
// "0,250,500" (increasing, at least one); false for anything else.
bool ParseLoads(const std::string& text, std::vector<double>& loads);
// "0,250,500" as the command line and the record write it.
std::string LoadsText(const std::vector<double>& loads);
// The loads a check offers first: 0, 25, 50, 75 and 100 % of the capacity, each rounded to the
// display step (and none twice).
std::vector<double> DefaultLoads(double capacity, double division);
// "LOAD:N" of --repeat and --eccentric.
bool ParseLoadCount(const std::string& text, double& load, int& count);

// "Place 500.0 kg on the scale", "Take the load off and place it again (repeat 2 of 3)",
// "Place 500.0 kg in the centre of the platform", "Move the load to corner 1".
std::string StepInstruction(const CheckStep& step, double division, const std::string& unit);
// "up", "down", "repeat 2/3", "centre", "corner 1": the step in the table.
std::string StepLabel(const CheckStep& step);

} // namespace quarnex
