#pragma once

#include <string>
#include <vector>

namespace quarnex {

class CalibrationLive;

// What the calibration plot on the Calibration page draws, taken from the page's own display so
// that the plot never shows another value than the rows: the calibration points of a deadweight
// or table calibration as weight against transducer signal (mV/V), the line through them, and the
// live signal with the current gross weight while the page measures.
struct CalibrationPlotData {
    struct Point {
        int number = 0;        // calibration point 1-6
        double signal = 0;     // mV/V, "Transd. signal point k:"
        double weight = 0;     // "Value in calib. point k:"
        bool unstored = false; // the page marks its label with "* "
    };
    std::vector<Point> points; // the points in use (up to "Number of calib. points:"), in order
    std::vector<Point> line;   // the same points by rising signal: the line is drawn through them
    bool haveLive = false;     // the page shows both the gross weight and the input signal
    double liveSignal = 0.0;
    double liveWeight = 0.0;
    std::string weightUnit; // the unit of the points' values, for the weight axis
};

// The plot's data from the page's current display. A point whose value or signal the page cannot
// show (a failed read shows "----------") is left out, as is the live point while either live
// field shows no value.
CalibrationPlotData CalibrationPlot(const CalibrationLive& page);

} // namespace quarnex
