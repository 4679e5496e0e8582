#pragma once

#include "setup/KelSetUpPage.h"

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

// The Calibration page without its window: the page's rows of the current calibration type, with
// the live part added. In edit mode it reads the measurement block every 100 ms (gross weight,
// input signal in mV/V, the point-edit flag, the instrument error) and the unstored-points mask; it
// takes off a shunt resistor left connected. In show mode it follows the framework's four-phase
// refresh and shows no live values.
//
// The window drives it as any page and renders GrossText(), SignalText() and InfoText() beside
// the rows.
class CalibrationLive final : public KelSetUpPage {
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

    // Edit mode polls the live values every kEditPeriodMs; show mode refreshes like every page.
    int Activate() override;
    int Tick() override;

    // "Current grossweight:" and the input signal (FormatLiveValue, or "----------").
    const std::string& GrossText() const { return gross_; }
    const std::string& SignalText() const { return signal_; }
    // The information line: the unstored-points note of a deadweight calibration, else "".
    const std::string& InfoText() const { return info_; }
    uint16_t UnstoredMask() const { return mask_; }
    bool PointEdit() const { return pointEdit_; }
    int ShuntCountdown() const { return countdown_; }

    // What ">>" of row i opens: the type's choice with the new-calibration warning, the shunt
    // dialog, or the number dialog (points of a deadweight calibration and "Set zero:" wait for
    // the instrument to measure).
    EditRequest EditRequestFor(size_t row) const override;

private:
    int EditTick();
    int ShowTick();
    bool ReadMask();
    // The rows, then the live values, the unstored points and what only a measuring
    // instrument can do held back.
    void Update(bool failed) override;

    InstrumentSetup& setup_;
    bool maskDue_ = false; // show mode: the next tick reads the unstored points
    std::string gross_;
    std::string signal_;
    std::string info_;
    uint16_t mask_ = 0;
    bool pointEdit_ = false;
    int countdown_ = 0;
};

} // namespace quarnex
