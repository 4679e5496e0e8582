#pragma once

#include "setup/SetupPage.h"
#include "setup/ShowModeRefresh.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;
class ModbusMaster;
class Prompter;
class SetupSource;

// The calibration parameters the pages' rules and the live part look at.
namespace calib {
constexpr int kType = 32; // "Calibration type:"
constexpr int kDataSheet = 0;
constexpr int kDeadweight = 1;
constexpr int kTable = 2;
constexpr int kShunt = 3;
constexpr int kTransducers = 34;  // "Number of transducers:" (1-4)
constexpr int kRatedOutput1 = 36; // rated output of transducers 1-4: 36-39
constexpr int kPoints = 40;       // "Number of calib. points:" (2-6)
constexpr int kPointValue1 = 41;  // value in calibration point 1-6: 41-46
constexpr int kPointSignal1 = 47; // transducer signal of point 1-6: 47-52
constexpr int kMaxPoints = 6;
constexpr int kShuntSignal = 54; // "Shunt transducer signal:"
constexpr int kSetZero = 55;     // "Set zero:"
} // namespace calib

// "Calib param": parameters 14-31 (unit, resolution, capacity, filter, motion, overload, zero
// tracking, excitation, tare correction). The filter time can be entered only for the "Special"
// filter; the overload limit and the zero-tracking rate exist only while their check is on.
const PageDescriptor& CalibParamPage();

// "Calibration": "Calibration type:" and, in parameter order, every row a calibration type uses
// (33-56). The rule shows the rows of the current type only; in that order they are the page's
// 16 calibration rows of the type (Data sheet 33-39, 54-56; Deadweight and Table 40-52, 54-56;
// Shunt 33, 53-56). The live part (CalibrationLive) adds the measured values, the unstored
// points and the editors' particulars.
const PageDescriptor& CalibrationPage();

// The Calibration page without its window: the rows of the current calibration type, and the
// live part. In edit mode it reads the measurement block every 100 ms (gross weight, input signal
// in mV/V, the point-edit flag, the instrument error) and the unstored-points mask; it takes off a
// shunt resistor left connected. In show mode it follows the framework's four-phase refresh and
// shows no live values.
//
// The window: Activate() when the page becomes current and start the timer with the period it
// returns; on each timer tick stop the timer, call Tick() and start it again with the period it
// returns; stop the timer when the page is left. ">>" of row i: Edit(i) is the request the one
// editor dispatcher opens (none while the row cannot be edited); the timer stays stopped while
// the dialog is up (restart it with kEditPeriodMs afterwards). When the dialog has ended call
// EditEnded(). Then render Rows(), GrossText(), SignalText() and InfoText().
class CalibrationLive {
public:
    static constexpr int kEditPeriodMs = 100;
    static constexpr int kShowPeriodMs = ShowModeRefresh::kPeriodMs;
    // Calibration points and "Set zero:" are answered only after the instrument has measured.
    static constexpr int kMeasuringTimeoutMs = 15000;
    // While error 19 persists command 11 is repeated every this many ticks plus one.
    static constexpr int kShuntRepeatTicks = 10;
    static constexpr int kLiveCount = 30; // 40001-40030

    // The rows come from the source; the live values from the measurement block on the source's
    // bus. A source without a bus (a set-up file) has no live values: they show the placeholder,
    // and what only the instrument can do (measure a point, set zero, the shunt) is held back.
    CalibrationLive(SetupSource& source, bool editMode);
    ~CalibrationLive();

    // The page became current: shows the rows; returns the timer period to start.
    int Activate();
    // One timer step; returns the period to restart the timer with.
    int Tick();
    // The editor of row i has ended; accepted: the normal set-up is read again (messages on) and
    // shown.
    void EditEnded(size_t row, bool accepted);

    bool EditMode() const { return edit_; }
    // One entry per row of CalibrationPage(): label, value, unit, state and ">>".
    const std::vector<RowDisplay>& Rows() const { return rows_; }
    // "Current grossweight:" and the input signal (FormatLiveValue, or "----------").
    const std::string& GrossText() const { return gross_; }
    const std::string& SignalText() const { return signal_; }
    // The information line: the unstored-points note of a deadweight calibration, else "".
    const std::string& InfoText() const { return info_; }
    uint16_t UnstoredMask() const { return mask_; }
    bool PointEdit() const { return pointEdit_; }
    int ShuntCountdown() const { return countdown_; }

    // What ">>" of row i opens now: the type's choice with the new-calibration warning, the
    // shunt dialog, or the number dialog (points of a deadweight calibration and "Set zero:"
    // wait for the instrument to measure). None in show mode, on a row without button or with
    // its button held back.
    std::optional<EditRequest> Edit(size_t row) const;

private:
    int EditTick();
    int ShowTick();
    bool ReadMask();
    void Update(bool failed);

    SetupSource& source_;
    ModbusMaster* bus_;
    InstrumentSetup& setup_;
    bool edit_;
    Prompter& prompter_;
    ShowModeRefresh refresh_;
    std::vector<RowDisplay> rows_;
    std::string gross_;
    std::string signal_;
    std::string info_;
    uint16_t mask_ = 0;
    bool pointEdit_ = false;
    int countdown_ = 0;
};

} // namespace quarnex
