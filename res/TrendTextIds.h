#pragma once

// String IDs of the weight trend, the weight log and the calibration plot.
namespace quarnex::ids {

constexpr int kTrendButton = 18840;
constexpr int kSpanOneMinute = 18841;
constexpr int kSpanFiveMinutes = 18842;
constexpr int kSpanThirtyMinutes = 18843;
constexpr int kTrendPause = 18844;
constexpr int kTrendResume = 18845;
constexpr int kSaveAsPng = 18846;
constexpr int kSaveAsCsv = 18847;
constexpr int kTrendGross = 18848;
constexpr int kTrendNet = 18849;
constexpr int kTrendMotion = 18850;
constexpr int kTrendStates = 18851;
constexpr int kPngFiles = 18852;
constexpr int kCsvFiles = 18853;
constexpr int kLogToFile = 18854;
constexpr int kStopLog = 18855;
constexpr int kLoggingTo = 18856;
constexpr int kLogStopped = 18857;
constexpr int kCannotSave = 18858;
constexpr int kTrendTime = 18859;
constexpr int kCalibPlotPoints = 18860;
constexpr int kCalibPlotLine = 18861;
constexpr int kCalibPlotSignal = 18862;
constexpr int kCalibPlotUnstored = 18863;
constexpr int kCalibPlotSignalAxis = 18864;
constexpr int kCalibPlotWeightAxis = 18865;
constexpr int kLogSaved = 18866;

} // namespace quarnex::ids
