// The live scale of the simulated KEL 7: time, the timed states, the load and what the
// calibration makes of it, motion, zero, errors, levels and the live registers.

#include "sim/Kel7Model.h"

#include "sim/Kel7Internal.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quarnex::sim {

using namespace kel7;

// ---------------------------------------------------------------------------------------------
// Time and states

void Kel7Model::Step(int64_t ms) {
    if (ms <= 0)
        return;
    const double before = load_;
    timeMs_ += ms;
    UpdateRunState();

    if (options_.demoLoad) {
        // A hopper that fills, holds, empties and rests, in a cycle of 40 s (shifted per
        // instrument so that a bus of them does not move in step).
        const double capacity = setup_.normal[kParCapacity];
        const int64_t t =
            (timeMs_ + static_cast<int64_t>(options_.serialNumber % 40) * 1000) % 40000;
        const double full = 0.6 * capacity;
        if (t < 5000)
            load_ = 0.0;
        else if (t < 20000)
            load_ = full * (t - 5000) / 15000.0;
        else if (t < 28000)
            load_ = full;
        else if (t < 36000)
            load_ = full * (36000 - t) / 8000.0;
        else
            load_ = 0.0;
    } else if (rampEndMs_ > rampStartMs_) {
        if (timeMs_ >= rampEndMs_) {
            // The load stopped moving when the ramp ended, not at the end of this step.
            load_ = rampTo_;
            lastMoveMs_ = rampEndMs_;
            rampStartMs_ = rampEndMs_ = 0;
            return;
        } else {
            load_ = rampFrom_ + (rampTo_ - rampFrom_) *
                                    static_cast<double>(timeMs_ - rampStartMs_) /
                                    static_cast<double>(rampEndMs_ - rampStartMs_);
        }
    }
    const double window =
        std::max(static_cast<double>(setup_.normal[kParMotionWindow]), 0.25 * Division());
    if (std::fabs(load_ - before) > window)
        lastMoveMs_ = timeMs_;
}

void Kel7Model::UpdateRunState() {
    // Timed states: restart silence -> starting up -> warming up -> wait for start / normal.
    while (stateUntilMs_ >= 0 && timeMs_ >= stateUntilMs_) {
        const int64_t at = stateUntilMs_;
        if (silent_) {
            silent_ = false;
            state_ = kStateStartingUp;
            stateUntilMs_ = at + options_.startUpMs;
        } else if (state_ == kStateStartingUp) {
            // "Warm up time:" in minutes when set; else the simulator's own (short) warm-up.
            const int64_t minutes = std::clamp(AsInt(setup_.normal[kParWarmUpTime]), 0, 24 * 60);
            state_ = kStateWarmingUp;
            stateUntilMs_ = at + (minutes > 0 ? minutes * 60000 : options_.warmUpMs);
        } else if (state_ == kStateWarmingUp) {
            state_ = setup_.normal[kParStartMode] == 0.0f ? kStateWaitForStart : kStateNormal;
            stateUntilMs_ = -1;
        } else {
            stateUntilMs_ = -1;
        }
    }
}

void Kel7Model::SetLoad(double load) {
    load_ = load;
    rampStartMs_ = rampEndMs_ = 0;
    lastMoveMs_ = -1'000'000;
}

void Kel7Model::RampLoad(double target, int64_t durationMs) {
    if (durationMs <= 0) {
        SetLoad(target);
        return;
    }
    rampFrom_ = load_;
    rampTo_ = target;
    rampStartMs_ = timeMs_;
    rampEndMs_ = timeMs_ + durationMs;
    lastMoveMs_ = timeMs_;
}

void Kel7Model::PlaceLoad(double target, int64_t settleMs) {
    options_.demoLoad = false;
    if (target != load_)
        descending_ = target < load_;
    RampLoad(target, std::max<int64_t>(settleMs, 1));
}

void Kel7Model::SetPosition(int position, int64_t settleMs) {
    options_.demoLoad = false;
    position_ = std::clamp(position, 0, 4);
    RampLoad(load_, std::max<int64_t>(settleMs, 1));
}

double Kel7Model::ScaleError() const {
    const double capacity = setup_.normal[kParCapacity];
    if (capacity <= 0.0)
        return 0.0;
    const double x = std::clamp(load_ / capacity, 0.0, 1.0);
    const double curve = 4.0 * x * (1.0 - x); // 0 at no load and at capacity, 1 at half
    static constexpr double kCorner[5] = {0.0, 1.0, 0.5, -0.5, -1.0};
    double error = scaleErrors_.nonlinearity / 100.0 * capacity * curve;
    if (descending_)
        error += scaleErrors_.hysteresis / 100.0 * capacity * curve;
    error += kCorner[position_] * scaleErrors_.eccentricity / 100.0 * load_;
    return error;
}

void Kel7Model::SetState(int state) {
    state_ = state;
    stateUntilMs_ = -1;
    silent_ = false;
}

void Kel7Model::SetSetpoints(double setpoint1, double setpoint2) {
    setpoints_[0] = setpoint1;
    setpoints_[1] = setpoint2;
}

bool Kel7Model::Running() const {
    return state_ != kStateStartingUp && state_ != kStateFatal && state_ != kStateBoot && !silent_;
}

// ---------------------------------------------------------------------------------------------
// Weight

double Kel7Model::Division() const {
    const int r = AsInt(setup_.normal[kParResolution]);
    return kDivisions[std::clamp(r, 0, 14)];
}

int Kel7Model::WeightDecimals() const {
    const int r = AsInt(setup_.normal[kParResolution]);
    return r <= 2 ? 3 : r <= 5 ? 2 : r <= 8 ? 1 : 0;
}

double Kel7Model::CalibratedWeight() const {
    // The weight the calibration makes of the input signal, before zero setting and offset.
    const auto& v = setup_.normal;
    const double signal = InputSignal();
    const double factor = v[kParConversionFactor];
    switch (AsInt(v[kParCalibrationType])) {
    case kCalibDataSheet: // rated load at rated output
        return v[kParRatedOutput1] > 0
                   ? (signal - kDeadSignal) * v[kParRatedLoad] / v[kParRatedOutput1] * factor
                   : 0.0;
    case kCalibShunt: // the shunt signal stands for the shunt calibration force
        return v[kParShuntSignal] > 0
                   ? (signal - kDeadSignal) * v[kParShuntForce] / v[kParShuntSignal] * factor
                   : 0.0;
    default: {
        // Deadweight and table: straight lines through the stored points, in signal order,
        // extended beyond the first and last point.
        const int count = std::clamp(AsInt(v[kParCalibPoints]), 2, 6);
        std::vector<std::pair<double, double>> points; // (signal, value)
        for (int k = 0; k < count; ++k)
            if (!(setup_.unstored & (1u << k)))
                points.push_back({v[kParPointSignal1 + k], v[kParPointValue1 + k]});
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     points.end());
        if (points.size() < 2) // a calibration in progress: the instrument's own line
            return (signal - kDeadSignal) / kSignalPerLoad;
        size_t i = 1;
        while (i + 1 < points.size() && signal > points[i].first)
            ++i;
        const auto& [s0, w0] = points[i - 1];
        const auto& [s1, w1] = points[i];
        return w0 + (signal - s0) * (w1 - w0) / (s1 - s0);
    }
    }
}

double Kel7Model::Gross() const {
    double raw = CalibratedWeight() - zero_ - setup_.normal[kParZeroOffset];
    const double d = Division();
    if (scaleErrors_.noise > 0.0) {
        // A new scatter every 100 ms of instrument time, the same for every read within it.
        uint32_t h = static_cast<uint32_t>(timeMs_ / 100) * 2654435761u ^ options_.serialNumber;
        h ^= h >> 15;
        h *= 2246822519u;
        h ^= h >> 13;
        raw += scaleErrors_.noise * d * (static_cast<double>(h % 20001) / 10000.0 - 1.0);
    }
    return std::round(raw / d) * d;
}

bool Kel7Model::Motion() const {
    if (forcedMotion_)
        return true;
    if (rampEndMs_ > rampStartMs_ && timeMs_ < rampEndMs_)
        return true;
    return timeMs_ - lastMoveMs_ <
           int64_t{std::clamp(AsInt(setup_.normal[kParNoMotionDelay] * 1000.0f), 0, 3'600'000)};
}

bool Kel7Model::ZeroIndication() const {
    return std::fabs(CalibratedWeight() - zero_ - setup_.normal[kParZeroOffset]) <=
           0.25 * Division();
}

double Kel7Model::InputSignal() const {
    return kDeadSignal + (load_ + ScaleError()) * kSignalPerLoad +
           (shunt_ ? options_.shuntSignal : 0.0);
}

int Kel7Model::ComputedError() const {
    if (state_ == kStateBoot || state_ == kStateStartingUp)
        return 0;
    if (shunt_)
        return kErrShuntConnected;
    if (state_ == kStateRemoteSetup || state_ == kStateRemoteRestore)
        return kErrRemoteSetup;
    const double signal = InputSignal();
    if (signal > 3.2)
        return kErrOverRange;
    if (signal < -3.2)
        return kErrUnderRange;
    const int check = AsInt(setup_.normal[kParOverloadCheck]);
    const double gross = Gross();
    const double limit = setup_.normal[kParOverloadLimit];
    if (check != 0 && gross > limit)
        return kErrOverload;
    if (check == 2 && gross < -limit)
        return kErrUnderload;
    return 0;
}

int Kel7Model::Error() const {
    return forcedError_ != 0 ? forcedError_ : ComputedError();
}

int64_t Kel7Model::ScaledWeight(double value, int decimals) const {
    return std::llround(value * std::pow(10.0, decimals));
}

double Kel7Model::LevelSource(int source) const {
    const double gross = Gross(), net = Net();
    const double displayed = netMode_ ? net : gross;
    switch (source) {
    case kLevelNet:
        return net;
    case kLevelGross:
        return gross;
    case kLevelDisplayed:
        return displayed;
    case kLevelAbsNet:
        return std::fabs(net);
    case kLevelAbsGross:
        return std::fabs(gross);
    case kLevelAbsDisplayed:
        return std::fabs(displayed);
    default:
        return 0.0; // flow rate and special: not measured here
    }
}

// ---------------------------------------------------------------------------------------------
// Live registers

uint16_t Kel7Model::ReadLive(int reg, int start) const {
    (void)start;
    auto scaled = [this](int offset, double value, int decimals) -> uint16_t {
        const auto v = static_cast<uint32_t>(static_cast<int32_t>(ScaledWeight(value, decimals)));
        return offset == 0   ? static_cast<uint16_t>(v >> 16)
               : offset == 1 ? static_cast<uint16_t>(v)
                             : static_cast<uint16_t>(decimals);
    };
    const int dec = WeightDecimals();
    switch (reg) {
    case kTypeCode:
        return static_cast<uint16_t>(kCodeKel7);
    case kSerialHigh:
        return static_cast<uint16_t>(options_.serialNumber >> 16);
    case kSerialLow:
        return static_cast<uint16_t>(options_.serialNumber);
    case kCommandError:
        return static_cast<uint16_t>(commandError_);
    case kState:
        return static_cast<uint16_t>(state_);
    case kError:
        return static_cast<uint16_t>(Error());
    case kStatusBits: {
        uint16_t bits = 0;
        if (Running()) {
            if (ZeroIndication())
                bits |= kStatusZero;
            if (netMode_)
                bits |= kStatusNet;
            if (Motion())
                bits |= kStatusMotion;
        }
        return bits;
    }
    case kIoStatus:
        return ioStatus_;
    case kCalibFlags:
        return (state_ == kStateRemoteSetup &&
                setup_.normal[kParCalibrationType] == kCalibDeadweight && !Motion())
                   ? static_cast<uint16_t>(kPointEditable)
                   : 0;
    case kLevelStatus: {
        uint16_t bits = 0;
        for (int n = 0; n < 8; ++n) {
            const int source = AsInt(setup_.normal[kParLevel1Source + kParLevelStride * n]);
            if (source == kLevelNotInUse || source == kLevelFlowRate ||
                source == kLevelAbsFlowRate || source == kLevelSpecial)
                continue;
            double level = levels_[n];
            const int source1 = AsInt(setup_.normal[kParLevel1Source]);
            if (source == kLevelOffsetLevel1) {
                if (source1 == kLevelNotInUse)
                    continue;
                level += levels_[0];
            }
            const double value = LevelSource(source == kLevelOffsetLevel1 ? source1 : source);
            const bool below = setup_.normal[kParLevel1OutputConf + kParLevelStride * n] == 1.0f;
            if (below ? value < level : value > level)
                bits |= static_cast<uint16_t>(1u << n);
        }
        return bits;
    }
    default:
        break;
    }
    if (reg >= kGrossWeight && reg < kGrossWeight + 3)
        return scaled(reg - kGrossWeight, Gross(), dec);
    if (reg >= kNetWeight && reg < kNetWeight + 3)
        return scaled(reg - kNetWeight, Net(), dec);
    if (reg >= kInputSignal && reg < kInputSignal + 3)
        return scaled(reg - kInputSignal, InputSignal(), kSignalDecimals);
    if (reg >= kSetpoint1 && reg < kSetpoint1 + 3)
        return scaled(reg - kSetpoint1, setpoints_[0], dec);
    if (reg >= kSetpoint2 && reg < kSetpoint2 + 3)
        return scaled(reg - kSetpoint2, setpoints_[1], dec);
    return 0;
}

uint16_t Kel7Model::ReadLevelLive(int reg, int start) const {
    (void)start;
    const int n = (reg - kLevelsLive) / 3, offset = (reg - kLevelsLive) % 3;
    const int dec = WeightDecimals();
    const auto v = static_cast<uint32_t>(static_cast<int32_t>(ScaledWeight(levels_[n], dec)));
    return offset == 0   ? static_cast<uint16_t>(v >> 16)
           : offset == 1 ? static_cast<uint16_t>(v)
                         : static_cast<uint16_t>(dec);
}

// ---------------------------------------------------------------------------------------------
// Levels and the end of an analogue output's adjustment

uint16_t Kel7Model::ReadLevelValue(int reg, int start) const {
    (void)start;
    return FloatAt(reg - kLevelValues, levels_[(reg - kLevelValues) / 2]);
}

int Kel7Model::WriteLevelValue(int reg, float value, SlaveResult& result) {
    if (!Running())
        return Refuse(kCeNotNormal, kExRefused, result);
    if (const int code = RangeCode(ValueRange{}, value))
        return Refuse(code, kExIllegalValue, result);
    levels_[(reg - kLevelValues) / 2] = value;
    return 0;
}

uint16_t Kel7Model::ReadAdjustEnd(int reg, int start) const {
    (void)start;
    return FloatAt(reg - kAdjustEnd1, adjustEnd_[(reg - kAdjustEnd1) / 2]);
}

int Kel7Model::WriteAdjustEnd(int reg, float value, SlaveResult& result) {
    if (state_ != kStateRemoteSetup)
        return Refuse(kCeSaveNotAllowed, kExRefused, result);
    adjustEnd_[(reg - kAdjustEnd1) / 2] = value;
    return 0;
}

} // namespace quarnex::sim
