#include "sim/Kel7Model.h"

#include "sim/Kel7Registers.h"
#include "sim/Kel7Setup.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace quarnex::sim {

using namespace kel7;

namespace {

constexpr double kDivisions[15] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
                                   0.5,   1,     2,     5,    10,   20,   50};
constexpr int kDescriptorBase = kFirstSpecial + kDescriptorOffset;
constexpr double kDeadSignal = 0.1;      // mV/V of the empty scale
constexpr double kSignalPerLoad = 0.002; // mV/V per unit of load (2 mV/V at 1000)
constexpr int kSignalDecimals = 5;

uint16_t FloatHigh(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return static_cast<uint16_t>(bits >> 16);
}
uint16_t FloatLow(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return static_cast<uint16_t>(bits);
}
float ToFloat(uint16_t high, uint16_t low) {
    const uint32_t bits = uint32_t{high} << 16 | low;
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}
uint16_t FloatWord(float v, bool high) {
    return high ? FloatHigh(v) : FloatLow(v);
}

// A set-up value used as a code or a count. A restore writes values unchecked, so anything may
// stand there until the check; a value no int can hold must not become undefined behaviour.
int AsInt(float v) {
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::clamp(v, -1.0e9f, 1.0e9f));
}

bool Integral(float v) {
    return std::isfinite(v) && std::floor(v) == v;
}

// Refusal of a value against its range: 0 when acceptable.
int RangeCode(const ValueRange& r, float v) {
    if (!std::isfinite(v))
        return kCeIllegalValue;
    if (r.kind == ValueKind::Choice) {
        if (!Integral(v))
            return kCeIllegalValue;
        return (v < r.min || v > r.max) ? kCeChoice : 0;
    }
    if (r.kind == ValueKind::Integer && !Integral(v))
        return kCeIllegalValue;
    if (v > r.max)
        return kCeOverrange;
    if (v < r.min)
        return kCeUnderrange;
    return 0;
}

struct FactoryDescriptor {
    const char* name;
    const char* unit;
    int decimals;
    float min, max, factory;
};
constexpr FactoryDescriptor kFactoryDescriptors[] = {
    {"Pressure", "bar", 2, 0.0f, 400.0f, 2.5f},   {"Temperature", "degC", 1, -50.0f, 150.0f, 20.0f},
    {"Belt speed", "m/s", 3, 0.0f, 10.0f, 1.25f}, {"Pump delay", "s", 1, 0.0f, 600.0f, 5.0f},
    {"Counter", "", 0, 0.0f, 999999.0f, 0.0f},
};

struct FactoryActivity {
    int number;
    const char* name;
    float values[kActivityValues];
};
// Activity parameters: type, mode, output, coarse, fine, fine-on, fine value, -tol, +tol,
// inflight factor, inflight value, wait, pulsing, timeout, ack type, ack input, low, high, on
// during halt, print, enter, pulse input, decimals, unit, scale factor.
constexpr FactoryActivity kFactoryActivities[] = {
    {1, "Component A", {1,   1, 0, 2, 3, 1, 20, 1, 1, 50, 2.5f, 2, 0.5f,
                        120, 0, 0, 0, 0, 0, 1,  0, 0, 0,  0,    1}},
    {2, "Component B", {1,   0, 4, 0, 0, 0, 0, 2, 2, 50, 1.5f, 2, 0.5f,
                        120, 1, 2, 0, 0, 0, 1, 0, 0, 0,  0,    1}},
    {3, "Mixing", {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
    {4, "Discharge", {3, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 300, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 1}},
    {5, "Hand add", {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1}},
    {6, "Water meter", {10, 0, 6, 0, 0, 0, 5, 1, 1, 0, 0.5f, 1,   0,
                        60, 0, 0, 0, 0, 0, 0, 0, 0, 1, 12,   0.1f}},
};

struct FactoryRecipe {
    int number;
    const char* name;
    float lines[8]; // activity, set point, ...
};
constexpr FactoryRecipe kFactoryRecipes[] = {
    {1, "Standard mix", {1, 250.0f, 2, 120.0f, 3, 30.0f, 4, 0}},
    {2, "Light mix", {1, 150.0f, 6, 25.5f, 3, 15.0f, 4, 0}},
    {3, "Hand batch", {5, 10.0f, 4, 0, 0, 0, 0, 0}},
};

std::string Trimmed12(const std::string& s) {
    return s.substr(0, 12);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and factory set-up

Kel7Model::Kel7Model(const Kel7Options& options) : options_(options) {
    options_.normalCount = std::clamp(options_.normalCount, 1, 169);
    options_.specialCount = std::clamp(options_.specialCount, 0, 20);
    options_.stringCount = std::clamp(options_.stringCount, 0, 70);
    layout_ = LayoutForKb(options_.flashKb);
    if (layout_.size == 0) {
        options_.flashKb = 256;
        layout_ = LayoutForKb(256);
    }

    for (int j = 0; j < options_.specialCount; ++j) {
        Descriptor d;
        if (j < static_cast<int>(std::size(kFactoryDescriptors))) {
            const auto& f = kFactoryDescriptors[j];
            d = {f.name, f.unit, f.decimals, f.min, f.max, f.factory};
        } else {
            char name[20];
            std::snprintf(name, sizeof name, "Special %02d", j + 1);
            d = {name, "", 2, -999999.0f, 999999.0f, 0.0f};
        }
        descriptors_.push_back(d);
    }

    ProgramInfo app;
    app.typeCode = kCodeKel7;
    app.setupVersion = static_cast<uint16_t>(options_.setupVersion);
    app.setupDataVersion = static_cast<uint16_t>(options_.setupDataVersion);
    app.text1 = "KEL7-" + std::to_string(options_.programNumber);
    char version[32];
    std::snprintf(version, sizeof version, "V%d.%02d", options_.programVersion / 100,
                  options_.programVersion % 100);
    app.text2 = version;
    app.text3 = "261012";
    ProgramInfo boot;
    boot.typeCode = kCodeKel7;
    boot.text1 = "KEL7-BOOT";
    boot.text2 = "V2.01";
    boot.text3 = "250301";
    flash_ =
        BuildFlashImage(options_.flashKb, app, boot, true, true, 6000, 1500, options_.serialNumber);
    runningApp_ = ParseInfoBlock(&flash_[layout_.size - kInfoBlockBytes]);

    // The instrument's register blocks: a request must lie inside one of them.
    auto block = [this](int first, int last) { blocks_.push_back({first, last}); };
    block(kLiveFirst, kLiveLast);
    block(kIdFirstA, kIdLastA);
    block(kIdFirstB, kIdLastB);
    block(kFirstNormal, kFirstNormal + 2 * options_.normalCount - 1);
    if (options_.specialCount > 0) {
        block(kFirstSpecial, kFirstSpecial + 2 * options_.specialCount - 1);
        block(kDescriptorBase, kDescriptorBase + 2 * (options_.specialCount - 1) + 15);
    }
    block(kBatchGeneral, kBatchLast);
    block(kAdjustEnd1, kAdjustEnd2 + 1);
    block(kLevelValues, kLevelValues + 15);
    block(kFlashSize, kAppInfo + kInfoRegisters - 1);
    if (options_.stringCount > 0)
        block(kFirstString, kFirstString + kStringRegisters * options_.stringCount - 1);
    block(kLevelsLive, kLevelsLive + 23);
    block(kName, kName + 5);
    block(kBatchSetupFlag, kBatchSetupFlag);
    block(kBootEnter, kBootEnter + 3);
    block(kBootErase, kBootErase + 3);
    block(kBootRestart, kBootRestart + 3);
    block(kBootProgram, kBootProgram + 65);

    FactoryReset();
    name_ = Trimmed12(options_.name);
    load_ = options_.load;
    setpoints_[0] = 0.5 * setup_.normal[16];
    setpoints_[1] = 0.8 * setup_.normal[16];
    for (int n = 0; n < 8; ++n)
        levels_[n] = static_cast<float>(100.0 * (n + 1));

    if (options_.clock == Kel7Clock::Bus) {
        // Power comes on now, not at the first request: the bus clock is CLOCK_MONOTONIC in ms.
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        lastBusMs_ = int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000;
    }
    if (options_.startUp) {
        state_ = kStateStartingUp;
        stateUntilMs_ = options_.startUpMs;
        UpdateRunState();
    } else {
        state_ = options_.startByCommand ? kStateWaitForStart : kStateNormal;
    }
}

float Kel7Model::FactoryValue(int i) const {
    if (i == 1)
        return options_.startByCommand ? 0.0f : 1.0f;
    if (i == 57)
        return static_cast<float>(options_.address);
    return NormalRange(i).factory;
}

void Kel7Model::FactoryReset() {
    // Every value of the parameter table exists inside; the identification tells how many of
    // them this program version shows on the bus.
    const int stored = std::max(options_.normalCount, 159);
    setup_.normal.assign(stored, 0.0f);
    for (int i = 0; i < stored; ++i)
        setup_.normal[i] = FactoryValue(i);
    if (!options_.flowRateOption) // without the option the flow-rate values rest at their defaults
        setup_.normal[155] = 1.0f;
    setup_.special.assign(options_.specialCount, 0.0f);
    for (int j = 0; j < options_.specialCount; ++j)
        setup_.special[j] = descriptors_[j].factory;

    setup_.batch.assign(kGeneralValues + kActivities * kActivityValues, 0.0f);
    for (int i = 0; i < kGeneralValues; ++i)
        setup_.batch[i] = BatchGeneralRange(i).factory;
    for (int k = 1; k <= kActivities; ++k)
        for (int j = 0; j < kActivityValues; ++j)
            setup_.batch[kGeneralValues + kActivityValues * (k - 1) + j] = ActivityRange(j).factory;
    setup_.texts.assign(options_.stringCount, std::string());
    for (const auto& a : kFactoryActivities) {
        for (int j = 0; j < kActivityValues; ++j)
            setup_.batch[kGeneralValues + kActivityValues * (a.number - 1) + j] = a.values[j];
        if (a.number - 1 < options_.stringCount)
            setup_.texts[a.number - 1] = a.name;
    }
    setup_.recipes.assign(kRecipes * kRecipeValues, 0.0f);
    for (const auto& r : kFactoryRecipes) {
        for (int j = 0; j < 8; ++j)
            setup_.recipes[kRecipeValues * (r.number - 1) + j] = r.lines[j];
        if (kActivities + r.number - 1 < options_.stringCount)
            setup_.texts[kActivities + r.number - 1] = r.name;
    }
    setup_.unstored = 0;
    Derive();
}

std::shared_ptr<Kel7Model> MakeKel7(const Kel7Options& options) {
    return std::make_shared<Kel7Model>(options);
}

// ---------------------------------------------------------------------------------------------
// Time

void Kel7Model::Advance(int64_t nowMs) {
    if (options_.clock != Kel7Clock::Bus)
        return;
    if (lastBusMs_ >= 0 && nowMs > lastBusMs_)
        Step(nowMs - lastBusMs_);
    lastBusMs_ = nowMs;
}

void Kel7Model::Step(int64_t ms) {
    if (ms <= 0)
        return;
    const double before = load_;
    timeMs_ += ms;
    UpdateRunState();

    if (options_.demoLoad) {
        // A hopper that fills, holds, empties and rests, in a cycle of 40 s (shifted per
        // instrument so that a bus of them does not move in step).
        const double capacity = setup_.normal[16];
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
    const double window = std::max(static_cast<double>(setup_.normal[21]), 0.25 * Division());
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
            const int64_t minutes = std::clamp(AsInt(setup_.normal[25]), 0, 24 * 60);
            state_ = kStateWarmingUp;
            stateUntilMs_ = at + (minutes > 0 ? minutes * 60000 : options_.warmUpMs);
        } else if (state_ == kStateWarmingUp) {
            state_ = setup_.normal[1] == 0.0f ? kStateWaitForStart : kStateNormal;
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

void Kel7Model::SetState(int state) {
    state_ = state;
    stateUntilMs_ = -1;
    silent_ = false;
}

void Kel7Model::SetSetpoints(double setpoint1, double setpoint2) {
    setpoints_[0] = setpoint1;
    setpoints_[1] = setpoint2;
}

// ---------------------------------------------------------------------------------------------
// Weight

double Kel7Model::Division() const {
    const int r = AsInt(setup_.normal[15]);
    return kDivisions[std::clamp(r, 0, 14)];
}

int Kel7Model::WeightDecimals() const {
    const int r = AsInt(setup_.normal[15]);
    return r <= 2 ? 3 : r <= 5 ? 2 : r <= 8 ? 1 : 0;
}

double Kel7Model::CalibratedWeight() const {
    // The weight the calibration makes of the input signal, before zero setting and offset.
    const auto& v = setup_.normal;
    const double signal = InputSignal();
    const double factor = v[33];
    switch (AsInt(v[32])) {
    case 0: // data sheet: rated load at rated output
        return v[36] > 0 ? (signal - kDeadSignal) * v[35] / v[36] * factor : 0.0;
    case 3: // shunt: the shunt signal stands for the shunt calibration force
        return v[54] > 0 ? (signal - kDeadSignal) * v[53] / v[54] * factor : 0.0;
    default: {
        // Deadweight and table: straight lines through the stored points, in signal order,
        // extended beyond the first and last point.
        const int count = std::clamp(AsInt(v[40]), 2, 6);
        std::vector<std::pair<double, double>> points; // (signal, value)
        for (int k = 0; k < count; ++k)
            if (!(setup_.unstored & (1u << k)))
                points.push_back({v[47 + k], v[41 + k]});
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
    const double raw = CalibratedWeight() - zero_ - setup_.normal[56];
    const double d = Division();
    return std::round(raw / d) * d;
}

bool Kel7Model::Motion() const {
    if (forcedMotion_)
        return true;
    if (rampEndMs_ > rampStartMs_ && timeMs_ < rampEndMs_)
        return true;
    return timeMs_ - lastMoveMs_ <
           int64_t{std::clamp(AsInt(setup_.normal[22] * 1000.0f), 0, 3'600'000)};
}

bool Kel7Model::ZeroIndication() const {
    return std::fabs(CalibratedWeight() - zero_ - setup_.normal[56]) <= 0.25 * Division();
}

double Kel7Model::InputSignal() const {
    return kDeadSignal + load_ * kSignalPerLoad + (shunt_ ? options_.shuntSignal : 0.0);
}

bool Kel7Model::Running() const {
    return state_ != kStateStartingUp && state_ != kStateFatal && state_ != kStateBoot && !silent_;
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
    const int check = AsInt(setup_.normal[26]);
    const double gross = Gross();
    const double limit = setup_.normal[27];
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
    case 1:
        return net;
    case 2:
        return gross;
    case 3:
        return displayed;
    case 5:
        return std::fabs(net);
    case 6:
        return std::fabs(gross);
    case 7:
        return std::fabs(displayed);
    default:
        return 0.0; // flow rate and special: not measured here
    }
}

uint16_t Kel7Model::LiveRegister(int reg) const {
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
        return (state_ == kStateRemoteSetup && setup_.normal[32] == 1.0f && !Motion())
                   ? static_cast<uint16_t>(kPointEditable)
                   : 0;
    case kLevelStatus: {
        uint16_t bits = 0;
        for (int n = 0; n < 8; ++n) {
            const int source = AsInt(setup_.normal[79 + 3 * n]);
            if (source == 0 || source == 4 || source == 8 || source == 9)
                continue;
            double level = levels_[n];
            if (source == 10) {
                const int s1 = AsInt(setup_.normal[79]);
                if (s1 == 0)
                    continue;
                level += levels_[0];
            }
            const double value = LevelSource(source == 10 ? AsInt(setup_.normal[79]) : source);
            const bool below = setup_.normal[80 + 3 * n] == 1.0f;
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

// ---------------------------------------------------------------------------------------------
// Reads

bool Kel7Model::InBlock(int first, int count) const {
    for (const auto& [b, e] : blocks_)
        if (first >= b && first + count - 1 <= e)
            return true;
    return false;
}

uint16_t Kel7Model::RegisterValue(int reg, int start) const {
    if (const auto it = pinned_.find(reg); it != pinned_.end())
        return it->second;
    if (reg >= kLiveFirst && reg <= kLiveLast)
        return LiveRegister(reg);

    auto floatAt = [](int offset, float v) { return FloatWord(v, offset % 2 == 0); };
    if (reg >= kIdFirstA && reg <= kIdLastA) {
        const int i = (reg - kIdFirstA) / 2;
        const float values[5] = {static_cast<float>(kCodeKel7),
                                 static_cast<float>(options_.programNumber),
                                 static_cast<float>(options_.programVersion), 0.0f,
                                 static_cast<float>(options_.serialNumber)};
        return floatAt(reg - kIdFirstA, values[i]);
    }
    if (reg >= kIdFirstB && reg <= kIdLastB) {
        const int options = (options_.batchingOption ? kOptionBatching : 0) |
                            (options_.flowRateOption ? kOptionFlowRate : 0);
        float v = 0;
        switch (reg & ~1) {
        case kUnstoredPoints:
            v = setup_.unstored;
            break;
        case kIdOptions:
            v = static_cast<float>(options);
            break;
        case kIdFirstBatch:
            v = kBatchGeneral;
            break;
        case kIdBatchCount:
            v = kGeneralValues + kActivities * kActivityValues;
            break;
        case kIdFirstString:
            v = kFirstString;
            break;
        case kIdStringCount:
            v = static_cast<float>(options_.stringCount);
            break;
        case kIdFirstNormal:
            v = kFirstNormal;
            break;
        case kIdNormalCount:
            v = static_cast<float>(options_.normalCount);
            break;
        case kIdFirstSpecial:
            v = kFirstSpecial;
            break;
        case kIdSpecialCount:
            v = static_cast<float>(options_.specialCount);
            break;
        case kIdSetupVersion:
            v = runningApp_.setupVersion;
            break;
        case kIdSetupDataVersion:
            v = runningApp_.setupDataVersion;
            break;
        default:
            break;
        }
        return floatAt(reg - kIdFirstB, v);
    }
    if (reg >= kFirstNormal && reg < kFirstNormal + 2 * options_.normalCount)
        return floatAt(reg - kFirstNormal, setup_.normal[(reg - kFirstNormal) / 2]);
    if (options_.specialCount > 0 && reg >= kFirstSpecial &&
        reg < kFirstSpecial + 2 * options_.specialCount)
        return floatAt(reg - kFirstSpecial, setup_.special[(reg - kFirstSpecial) / 2]);
    if (options_.specialCount > 0 && reg >= kDescriptorBase &&
        reg < kDescriptorBase + 2 * options_.specialCount + 14) {
        // Descriptors overlap: a read is answered with the descriptor its start register names.
        const int j = std::clamp((start - kDescriptorBase) / 2, 0, options_.specialCount - 1);
        const int offset = reg - (kDescriptorBase + 2 * j);
        if (offset < 0 || offset >= kDescriptorLength)
            return 0;
        const Descriptor& d = descriptors_[j];
        char chars[32] = {};
        std::memcpy(chars, d.name.data(), std::min<size_t>(d.name.size(), 17));
        std::memcpy(chars + 18, d.unit.data(), std::min<size_t>(d.unit.size(), 5));
        if (offset == 12)
            return static_cast<uint16_t>(d.decimals);
        return static_cast<uint16_t>(static_cast<uint8_t>(chars[2 * offset]) << 8 |
                                     static_cast<uint8_t>(chars[2 * offset + 1]));
    }
    if (reg >= kBatchGeneral && reg <= kBatchLast) {
        if (reg < kActivitySelector)
            return floatAt(reg - kBatchGeneral, setup_.batch[(reg - kBatchGeneral) / 2]);
        if (reg < kActivityWindow)
            return floatAt(reg - kActivitySelector, static_cast<float>(activity_));
        if (reg < kRecipeSelector) {
            const int j = (reg - kActivityWindow) / 2;
            return floatAt(reg - kActivityWindow,
                           setup_.batch[kGeneralValues + kActivityValues * (activity_ - 1) + j]);
        }
        if (reg < kRecipeWindow)
            return floatAt(reg - kRecipeSelector, static_cast<float>(recipe_));
        const int j = (reg - kRecipeWindow) / 2;
        return floatAt(reg - kRecipeWindow, setup_.recipes[kRecipeValues * (recipe_ - 1) + j]);
    }
    if (reg >= kAdjustEnd1 && reg <= kAdjustEnd2 + 1)
        return floatAt(reg - kAdjustEnd1, adjustEnd_[(reg - kAdjustEnd1) / 2]);
    if (reg >= kLevelValues && reg < kLevelValues + 16)
        return floatAt(reg - kLevelValues, levels_[(reg - kLevelValues) / 2]);
    if (reg >= kFlashSize && reg < kAppInfo + kInfoRegisters) {
        if (reg == kFlashSize)
            return static_cast<uint16_t>(options_.flashKb);
        // The two program information blocks overlap; a read is keyed by its start register.
        const bool app = start >= kAppInfo;
        const int base = app ? kAppInfo : kBootInfo;
        const int offset = reg - base;
        if (offset < 0 || offset >= kInfoRegisters)
            return 0;
        const uint32_t at = (app ? layout_.size : layout_.bootEnd + 1) - kInfoBlockBytes +
                            static_cast<uint32_t>(2 * offset);
        return static_cast<uint16_t>(flash_[at] << 8 | flash_[at + 1]);
    }
    if (options_.stringCount > 0 && reg >= kFirstString &&
        reg < kFirstString + kStringRegisters * options_.stringCount) {
        const int k = (reg - kFirstString) / kStringRegisters;
        const int c = 2 * ((reg - kFirstString) % kStringRegisters);
        const std::string& t = setup_.texts[k];
        const uint8_t hi = c < static_cast<int>(t.size()) ? static_cast<uint8_t>(t[c]) : 0;
        const uint8_t lo = c + 1 < static_cast<int>(t.size()) ? static_cast<uint8_t>(t[c + 1]) : 0;
        return static_cast<uint16_t>(hi << 8 | lo);
    }
    if (reg >= kLevelsLive && reg < kLevelsLive + 24) {
        const int n = (reg - kLevelsLive) / 3, offset = (reg - kLevelsLive) % 3;
        const int dec = WeightDecimals();
        const auto v = static_cast<uint32_t>(static_cast<int32_t>(ScaledWeight(levels_[n], dec)));
        return offset == 0   ? static_cast<uint16_t>(v >> 16)
               : offset == 1 ? static_cast<uint16_t>(v)
                             : static_cast<uint16_t>(dec);
    }
    if (reg >= kName && reg < kName + 6) {
        const int c = 2 * (reg - kName);
        const uint8_t hi =
            c < static_cast<int>(name_.size()) ? static_cast<uint8_t>(name_[c]) : ' ';
        const uint8_t lo =
            c + 1 < static_cast<int>(name_.size()) ? static_cast<uint8_t>(name_[c + 1]) : ' ';
        return static_cast<uint16_t>(hi << 8 | lo);
    }
    if (reg == kBatchSetupFlag)
        return batchSetup_ ? 1 : 0;
    return 0;
}

SlaveResult Kel7Model::ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    if (silent_)
        return {0, true, 0};
    const int start = address + 40001;
    if (!InBlock(start, count))
        return {2};
    for (int i = 0; i < count; ++i)
        out[i] = RegisterValue(start + i, start);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Writes

int Kel7Model::Refuse(int code, uint8_t exception, SlaveResult& result) {
    commandError_ = code;
    result.exception = exception;
    return code;
}

bool Kel7Model::SetupWritable() const {
    return state_ == kStateRemoteSetup || state_ == kStateRemoteRestore;
}

bool Kel7Model::BatchWritable() const {
    return SetupWritable() || batchSetup_;
}

int Kel7Model::CheckNormalRange(int i, float value) const {
    return RangeCode(NormalRange(i), value);
}

int Kel7Model::CheckBatchRange(int entry, float value) const {
    if (entry < kGeneralValues)
        return RangeCode(BatchGeneralRange(entry), value);
    return RangeCode(ActivityRange((entry - kGeneralValues) % kActivityValues), value);
}

int Kel7Model::CheckRecipeRange(int j, float value) const {
    if (j % 2 == 0) { // activity number of a line
        if (!Integral(value) || value < 0 || value > kActivities)
            return kCeActivityNumber;
        return 0;
    }
    return RangeCode(ValueRange{}, value);
}

int Kel7Model::CheckSpecialRange(int j, float value) const {
    const Descriptor& d = descriptors_[j];
    return RangeCode(ValueRange{ValueKind::Number, d.min, d.max, d.factory}, value);
}

void Kel7Model::Derive() {
    auto& v = setup_.normal;
    if (v.size() < 159)
        return;
    // The filter types other than "Special" have a fixed time.
    static constexpr float kFilterTimes[3] = {100.0f, 400.0f, 1600.0f};
    const int filter = AsInt(v[18]);
    if (filter >= 0 && filter < 3)
        v[19] = kFilterTimes[filter];
    // With automatic derivation time the instrument picks it from the flow-rate resolution.
    if (v[155] == 1.0f) {
        const int r = std::clamp(AsInt(v[156]), 0, 14);
        v[158] = r <= 5 ? 1.0f : r <= 8 ? 2.0f : 5.0f;
    }
}

int Kel7Model::WriteNormal(int i, float value, SlaveResult& result) {
    auto& v = setup_.normal;
    if (state_ == kStateRemoteRestore) {
        // A restore loads whole blocks; the values are checked by coil 105.
        if (!std::isfinite(value))
            return Refuse(kCeIllegalValue, 3, result);
        v[i] = value;
        Derive();
        return 0;
    }
    if (const int code = CheckNormalRange(i, value))
        return Refuse(code, 3, result);
    const bool deadweight = v[32] == 1.0f;
    const int points = std::clamp(AsInt(v[40]), 2, 6);
    const uint16_t pointMask = static_cast<uint16_t>((1u << points) - 1);
    switch (i) {
    case 15:
    case 16: {
        const double division = kDivisions[std::clamp(AsInt(i == 15 ? value : v[15]), 0, 14)];
        const double capacity = i == 16 ? value : v[16];
        if (capacity / division > 999999.0)
            return Refuse(kCeCapacityDigits, 3, result);
        break;
    }
    case 32:
        // A new calibration: a deadweight calibration must measure all its points again.
        setup_.unstored = value == 1.0f ? pointMask : 0;
        break;
    case 40:
        if (deadweight) {
            const uint16_t newMask = static_cast<uint16_t>((1u << static_cast<int>(value)) - 1);
            setup_.unstored =
                static_cast<uint16_t>((setup_.unstored | (newMask & ~pointMask)) & newMask);
        }
        break;
    case 41:
    case 42:
    case 43:
    case 44:
    case 45:
    case 46:
        if (deadweight) {
            const int k = i - 41; // point k+1
            if (k >= points)
                return Refuse(kCeIllegalValue, 3, result);
            if (Motion()) {
                // The weight never settled while the instrument waited to measure.
                result.delayMs = options_.measureMs;
                return Refuse(kCeCalibTimeout, 7, result);
            }
            if (k > 0 && !(setup_.unstored & (1u << (k - 1))) && value <= v[40 + k])
                return Refuse(kCeCalibDirection, 3, result);
            // The instrument measures the signal of the point before it answers.
            v[i] = value;
            v[47 + k] = static_cast<float>(InputSignal() - (shunt_ ? options_.shuntSignal : 0));
            setup_.unstored = static_cast<uint16_t>(setup_.unstored & ~(1u << k));
            result.delayMs = options_.measureMs;
            return 0;
        }
        break;
    case 55: {
        if (deadweight && (setup_.unstored & pointMask))
            return Refuse(kCeZeroOffsetLocked, 3, result);
        if (Motion()) {
            result.delayMs = options_.measureMs;
            return Refuse(kCeCalibTimeout, 7, result);
        }
        // Set zero: the current weight is to read as the value entered.
        const double raw = CalibratedWeight() - zero_ - v[56];
        const double offset = v[56] + raw - value;
        if (std::fabs(offset) > 0.2 * v[16])
            return Refuse(kCeZeroSetRange, 3, result);
        v[56] = static_cast<float>(offset);
        v[55] = value;
        result.delayMs = options_.measureMs;
        return 0;
    }
    case 56:
        if (deadweight && (setup_.unstored & pointMask))
            return Refuse(kCeZeroOffsetLocked, 3, result);
        break;
    default:
        break;
    }
    v[i] = value;
    Derive();
    return 0;
}

int Kel7Model::WriteSetupFloat(int reg, float value, SlaveResult& result) {
    if (reg >= kFirstNormal && reg < kFirstNormal + 2 * options_.normalCount) {
        if (!SetupWritable())
            return Refuse(kCeSaveNotAllowed, 7, result);
        return WriteNormal((reg - kFirstNormal) / 2, value, result);
    }
    if (options_.specialCount > 0 && reg >= kFirstSpecial &&
        reg < kFirstSpecial + 2 * options_.specialCount) {
        if (!SetupWritable())
            return Refuse(kCeSaveNotAllowed, 7, result);
        const int j = (reg - kFirstSpecial) / 2;
        if (state_ != kStateRemoteRestore)
            if (const int code = CheckSpecialRange(j, value))
                return Refuse(code, 3, result);
        if (!std::isfinite(value))
            return Refuse(kCeIllegalValue, 3, result);
        setup_.special[j] = value;
        return 0;
    }
    if (reg == kActivitySelector) {
        if (!Integral(value) || value < 1 || value > kActivities)
            return Refuse(kCeActivityNumber, 3, result);
        activity_ = static_cast<int>(value);
        return 0;
    }
    if (reg == kRecipeSelector) {
        if (!Integral(value) || value < 1 || value > kRecipes)
            return Refuse(kCeRecipeNumber, 3, result);
        recipe_ = static_cast<int>(value);
        return 0;
    }
    if (reg >= kBatchGeneral && reg <= kBatchLast) {
        if (!BatchWritable())
            return Refuse(kCeSaveNotAllowed, 7, result);
        const bool check = state_ != kStateRemoteRestore;
        if (!std::isfinite(value))
            return Refuse(kCeIllegalValue, 3, result);
        if (reg < kActivitySelector || (reg >= kActivityWindow && reg < kRecipeSelector)) {
            const int entry = reg < kActivitySelector
                                  ? (reg - kBatchGeneral) / 2
                                  : kGeneralValues + kActivityValues * (activity_ - 1) +
                                        (reg - kActivityWindow) / 2;
            if (check)
                if (const int code = CheckBatchRange(entry, value))
                    return Refuse(code, 3, result);
            setup_.batch[entry] = value;
            return 0;
        }
        const int j = (reg - kRecipeWindow) / 2;
        if (check)
            if (const int code = CheckRecipeRange(j, value))
                return Refuse(code, 3, result);
        setup_.recipes[kRecipeValues * (recipe_ - 1) + j] = value;
        return 0;
    }
    if (reg == kAdjustEnd1 || reg == kAdjustEnd2) {
        if (state_ != kStateRemoteSetup)
            return Refuse(kCeSaveNotAllowed, 7, result);
        adjustEnd_[(reg - kAdjustEnd1) / 2] = value;
        return 0;
    }
    if (reg >= kLevelValues && reg < kLevelValues + 16) {
        if (!Running())
            return Refuse(kCeNotNormal, 7, result);
        if (const int code = RangeCode(ValueRange{}, value))
            return Refuse(code, 3, result);
        levels_[(reg - kLevelValues) / 2] = value;
        return 0;
    }
    return Refuse(kCeIllegalRegister, 3, result);
}

SlaveResult Kel7Model::WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                                      bool single) {
    SlaveResult result;
    if (silent_)
        return {0, true, 0};
    const int reg = address + 40001;
    const int code = WriteValues(reg, values, count, single, result);
    writes_.push_back(
        {reg, std::vector<uint16_t>(values, values + count), result.exception == 2 ? -2 : code});
    return result;
}

int Kel7Model::WriteValues(int reg, const uint16_t* values, int count, bool single,
                           SlaveResult& result) {
    if (!InBlock(reg, count)) {
        result.exception = 2;
        return 0;
    }
    if (reg >= kBootEnter && reg <= kBootProgram + 65)
        return BootWrite(reg, values, count, result);

    // Texts: packed two characters to a register; any part of a text may be written.
    const bool name = reg >= kName && reg < kName + 6;
    const bool text = options_.stringCount > 0 && reg >= kFirstString &&
                      reg < kFirstString + kStringRegisters * options_.stringCount;
    if (name || text) {
        if (name ? !Running() : !BatchWritable())
            return Refuse(name ? kCeNotNormal : kCeSaveNotAllowed, 7, result);
        for (int i = 0; i < count; ++i) {
            const int r = reg + i;
            std::string& t = name ? name_ : setup_.texts[(r - kFirstString) / kStringRegisters];
            const int c = 2 * (name ? r - kName : (r - kFirstString) % kStringRegisters);
            if (static_cast<int>(t.size()) < c + 2)
                t.resize(c + 2, '\0');
            t[c] = static_cast<char>(values[i] >> 8);
            t[c + 1] = static_cast<char>(values[i] & 0xFF);
            const size_t nul = t.find('\0');
            if (nul != std::string::npos && t.find_first_not_of('\0', nul) == std::string::npos)
                t.resize(nul);
        }
        return 0;
    }

    // Everything else that can be written is a two-register float.
    auto floatArea = [&](int first, int last) { return reg >= first && reg <= last; };
    int areaStart = 0;
    if (floatArea(kFirstNormal, kFirstNormal + 2 * options_.normalCount - 1))
        areaStart = kFirstNormal;
    else if (options_.specialCount > 0 &&
             floatArea(kFirstSpecial, kFirstSpecial + 2 * options_.specialCount - 1))
        areaStart = kFirstSpecial;
    else if (floatArea(kBatchGeneral, kBatchLast))
        areaStart = kBatchGeneral;
    else if (floatArea(kAdjustEnd1, kAdjustEnd2 + 1))
        areaStart = kAdjustEnd1;
    else if (floatArea(kLevelValues, kLevelValues + 15))
        areaStart = kLevelValues;
    else
        return Refuse(kCeIllegalRegister, 3, result);
    if ((reg - areaStart) % 2 != 0)
        return Refuse(kCeIllegalStart, 3, result);
    if (single || count % 2 != 0)
        return Refuse(kCeIllegalCount, 3, result);
    // One value after the other, as the instrument takes them: a selector written inside a block
    // selects the window for the values after it. The first refusal ends the write.
    int delay = 0;
    for (int i = 0; i < count; i += 2) {
        SlaveResult one;
        const int code = WriteSetupFloat(reg + i, ToFloat(values[i], values[i + 1]), one);
        delay = std::max(delay, one.delayMs);
        if (code != 0) {
            result = one;
            return code;
        }
    }
    result.delayMs = delay;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Set-up check, entry and exit

int Kel7Model::CrossCheck(bool forExit) const {
    const auto& v = setup_.normal;
    if (v.size() < 159)
        return 0;
    const double division = kDivisions[std::clamp(AsInt(v[15]), 0, 14)];
    if (v[16] / division > 999999.0)
        return forExit ? kCeExitCapacityDigits : kCeCapacityDigits;
    for (int output = 0; output < 2; ++output) {
        const int base = output == 0 ? 141 : 148;
        if (v[base] != 0.0f && v[base + 3] <= v[base + 2])
            return kCeExitAnalogRange;
    }
    // COM3 and COM4 sit on the I/O bus of COM2; both in use at one position is one unit twice.
    if (v[61] == 7.0f && v[64] != 0.0f && v[68] != 0.0f && v[67] == v[71])
        return kCeExitSameIoUnit;
    return 0;
}

int Kel7Model::CheckSetup(bool forExit, bool fixToDefault, bool& setToDefault) {
    setToDefault = false;
    auto& v = setup_.normal;
    for (int i = 0; i < static_cast<int>(v.size()); ++i)
        if (CheckNormalRange(i, v[i]) != 0) {
            if (!fixToDefault)
                return kFirstNormal + 2 * i;
            v[i] = FactoryValue(i);
            setToDefault = true;
        }
    for (int j = 0; j < options_.specialCount; ++j)
        if (CheckSpecialRange(j, setup_.special[j]) != 0) {
            if (!fixToDefault)
                return kFirstSpecial + 2 * j;
            setup_.special[j] = descriptors_[j].factory;
            setToDefault = true;
        }
    for (int e = 0; e < static_cast<int>(setup_.batch.size()); ++e)
        if (CheckBatchRange(e, setup_.batch[e]) != 0) {
            if (!fixToDefault)
                // Named by its register in the window of its activity (or as a general value).
                return e < kGeneralValues
                           ? kBatchGeneral + 2 * e
                           : kActivityWindow + 2 * ((e - kGeneralValues) % kActivityValues);
            setup_.batch[e] = e < kGeneralValues
                                  ? BatchGeneralRange(e).factory
                                  : ActivityRange((e - kGeneralValues) % kActivityValues).factory;
            setToDefault = true;
        }
    for (int e = 0; e < static_cast<int>(setup_.recipes.size()); ++e)
        if (CheckRecipeRange(e % kRecipeValues, setup_.recipes[e]) != 0) {
            if (!fixToDefault)
                return kRecipeWindow + 2 * (e % kRecipeValues);
            setup_.recipes[e] = 0.0f;
            setToDefault = true;
        }
    if (setToDefault)
        Derive();
    return CrossCheck(forExit);
}

void Kel7Model::EnterRemote(int state) {
    if (state_ != kStateRemoteSetup && state_ != kStateRemoteRestore) {
        saved_ = setup_;
        haveSaved_ = true;
        // A set-up entered during the warm-up ends it: the instrument then goes on as the end of
        // the warm-up would have taken it (to wait for start when "Start mode:" is Command).
        stateBeforeRemote_ =
            state_ == kStateWaitForStart || state_ == kStateWarmingUp ? state_ : kStateNormal;
    }
    state_ = state;
}

void Kel7Model::LeaveRemote(bool keep) {
    if (keep && haveSaved_ && setup_.normal[57] != saved_.normal[57])
        addressChange_ = static_cast<int>(setup_.normal[57]);
    if (!keep && haveSaved_)
        setup_ = saved_;
    haveSaved_ = false;
    shunt_ = false;
    state_ = stateBeforeRemote_;
    if (state_ == kStateWarmingUp)
        state_ = setup_.normal[1] == 0.0f ? kStateWaitForStart : kStateNormal;
    stateUntilMs_ = -1;
    Derive();
}

int Kel7Model::TakeAddressChange() {
    const int to = addressChange_;
    addressChange_ = 0;
    return to;
}

// ---------------------------------------------------------------------------------------------
// Commands

SlaveResult Kel7Model::WriteCoil(uint16_t address, bool on) {
    if (silent_)
        return {0, true, 0};
    SlaveResult result;
    const int coil = address + 1;
    int code = 0;
    if (on) {
        code = Command(coil, result);
    } else {
        // Commands act on "on"; "off" is accepted for every coil that exists and does nothing.
        const bool known = coil == kCoilTare || coil == kCoilZero || coil == kCoilGross ||
                           coil == kCoilNet || coil == kCoilShuntOff || coil == kCoilShuntOn ||
                           coil == kCoilStart || coil == kCoilBatchEnter ||
                           coil == kCoilBatchLeave || (coil >= 100 && coil <= 103) ||
                           coil == kCoilCheck;
        if (!known)
            result.exception = 2;
    }
    if (result.exception != 2)
        commands_.push_back({coil, code});
    return result;
}

int Kel7Model::Command(int coil, SlaveResult& result) {
    const bool normal = state_ == kStateNormal;
    const bool weightValid = Error() == 0;
    auto enterable = [this] {
        return state_ == kStateWaitForStart || state_ == kStateNormal || state_ == kStateError ||
               state_ == kStateWarmingUp;
    };
    switch (coil) {
    case kCoilTare: {
        if (!normal || !weightValid)
            return Refuse(kCeNotNormal, 7, result);
        if (Motion())
            return Refuse(kCeUnstable, 7, result);
        const double gross = Gross();
        if (gross < 0)
            return Refuse(kCeNegativeGross, 3, result);
        tare_ = gross;
        netMode_ = gross > 0;
        return 0;
    }
    case kCoilZero: {
        if (!normal || !weightValid)
            return Refuse(kCeNotNormal, 7, result);
        if (Motion())
            return Refuse(kCeUnstable, 7, result);
        if (netMode_)
            return Refuse(kCeNetMode, 3, result);
        const double newZero = CalibratedWeight() - setup_.normal[56];
        if (std::fabs(newZero) > 0.02 * setup_.normal[16])
            return Refuse(kCeZeroLimits, 3, result);
        zero_ = newZero;
        return 0;
    }
    case kCoilGross:
        if (!normal)
            return Refuse(kCeNotNormal, 7, result);
        netMode_ = false;
        return 0;
    case kCoilNet:
        if (!normal)
            return Refuse(kCeNotNormal, 7, result);
        if (tare_ == 0.0)
            return Refuse(kCeNoTare, 3, result);
        netMode_ = true;
        return 0;
    case kCoilShuntOff:
        shunt_ = false;
        return 0;
    case kCoilShuntOn:
        if (state_ != kStateRemoteSetup)
            return Refuse(kCeWrongState, 7, result);
        shunt_ = true;
        return 0;
    case kCoilStart:
        if (state_ == kStateWaitForStart)
            state_ = kStateNormal;
        else if (state_ != kStateNormal)
            return Refuse(kCeWrongState, 7, result);
        return 0;
    case kCoilBatchEnter:
        if (!options_.batchingOption)
            return Refuse(kCeOptionDisabled, 3, result);
        if (!enterable())
            return Refuse(kCeBatchState, 7, result);
        batchSetup_ = true;
        return 0;
    case kCoilBatchLeave:
        if (!batchSetup_)
            return Refuse(kCeBatchState, 7, result);
        batchSetup_ = false;
        return 0;
    case kCoilRemoteSetup:
    case kCoilRemoteRestore: {
        const int target = coil == kCoilRemoteSetup ? kStateRemoteSetup : kStateRemoteRestore;
        if (state_ == target)
            return 0;
        if (!enterable())
            return Refuse(kCeEnterSetup, 7, result);
        EnterRemote(target);
        return 0;
    }
    case kCoilSave: {
        if (!SetupWritable())
            return Refuse(kCeExitSetup, 7, result);
        bool fixed = false;
        if (const int code = CheckSetup(true, false, fixed))
            return Refuse(code, 3, result);
        LeaveRemote(true);
        result.delayMs = options_.saveMs;
        return 0;
    }
    case kCoilDiscard:
        if (!SetupWritable())
            return Refuse(kCeExitSetup, 7, result);
        LeaveRemote(false);
        return 0;
    case kCoilCheck: {
        if (!SetupWritable())
            return Refuse(kCeWrongState, 7, result);
        const int points = std::clamp(AsInt(setup_.normal[40]), 2, 6);
        if (setup_.normal[32] == 1.0f && (setup_.unstored & ((1u << points) - 1)))
            return Refuse(kCeUnstoredPoints, 7, result);
        bool fixed = false;
        // In remote restore the instrument puts values it cannot take back to their defaults
        // and says so; in remote set-up it names the register of the first such value.
        const int code = CheckSetup(false, state_ == kStateRemoteRestore, fixed);
        if (code != 0)
            return Refuse(code, 3, result);
        if (fixed)
            return Refuse(kCeSetToDefault, 3, result);
        return 0;
    }
    default:
        result.exception = 2;
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Boot loader

int Kel7Model::BootWrite(int reg, const uint16_t* values, int count, SlaveResult& result) {
    auto keyMatches = [values](const unsigned short* key, int n) {
        for (int i = 0; i < n; ++i)
            if (values[i] != key[i])
                return false;
        return true;
    };
    if (reg == kBootEnter) {
        if (count != 4)
            return Refuse(kCeIllegalCount, 3, result);
        if (keyMatches(kEnterKey, 4)) {
            if (SetupWritable() || state_ == kStateStartingUp)
                return Refuse(kCeWrongState, 7, result);
            state_ = kStateBoot;
            stateUntilMs_ = -1;
            eraseStarted_ = bootErased_ = false;
            netMode_ = false;
            shunt_ = false;
            batchSetup_ = false;
            return 0;
        }
        if (keyMatches(kDefaultKey, 4)) {
            if (!(state_ == kStateWaitForStart || state_ == kStateNormal || state_ == kStateError ||
                  state_ == kStateWarmingUp))
                return Refuse(kCeWrongState, 7, result);
            // The instrument stays at the address it answers at: its set-up must keep saying so,
            // or a later save (and every backup) would carry an address it does not listen on.
            const float address = setup_.normal[57];
            FactoryReset();
            setup_.normal[57] = address;
            result.delayMs = options_.saveMs;
            return 0;
        }
        return Refuse(kCeIllegalValue, 3, result);
    }
    if (reg == kBootErase || reg == kBootRestart) {
        if (count != 4)
            return Refuse(kCeIllegalCount, 3, result);
        if (!keyMatches(reg == kBootErase ? kEraseKey : kRestartKey, 3))
            return Refuse(kCeIllegalValue, 3, result);
        const int code = values[3];
        if (reg == kBootRestart) {
            if (code != kRestartCode)
                return Refuse(kCeIllegalValue, 3, result);
            Restart();
            return 0;
        }
        if (state_ != kStateBoot)
            return Refuse(kCeWrongState, 7, result);
        auto erase = [this](uint32_t from, uint32_t to, bool keepBoot) {
            for (uint32_t a = from; a <= to && a < layout_.size; ++a)
                if (!keepBoot || a < layout_.bootStart || a > layout_.bootEnd)
                    flash_[a] = 0xFF;
        };
        if (code == kEraseStart) {
            erase(0, layout_.size - 1, true); // the whole application area
            std::memcpy(flash_.data(), kResetVector, sizeof kResetVector);
            eraseStarted_ = true;
        } else if (code >= 1 && code <= 7) {
            // The boot-loader sector may be erased on its own (an upgrade that carries only a
            // boot loader leaves the application in place); the application sectors follow the
            // erase start.
            if (!eraseStarted_ && code != layout_.bootEraseCode)
                return Refuse(kCeNotNow, 7, result);
            if (code == layout_.bootEraseCode) {
                erase(layout_.bootStart, layout_.bootEnd, false);
                bootErased_ = true;
            } else {
                // The sectors: eighths of the flash, sector 1 taking the first two.
                const uint32_t unit = layout_.size / 8;
                const uint32_t from = code == 1 ? 4 : unit * static_cast<uint32_t>(code);
                erase(from, unit * static_cast<uint32_t>(code + 1) - 1, true);
            }
        } else {
            return Refuse(kCeIllegalValue, 3, result);
        }
        result.delayMs = options_.eraseMs;
        return 0;
    }
    if (reg == kBootProgram) {
        if (count < 3 || count > 66)
            return Refuse(kCeIllegalCount, 3, result);
        if (state_ != kStateBoot)
            return Refuse(kCeWrongState, 7, result);
        if (!eraseStarted_ && !bootErased_)
            return Refuse(kCeNotNow, 7, result);
        const uint32_t at = uint32_t{values[0]} << 16 | values[1];
        const uint32_t bytes = 2u * static_cast<uint32_t>(count - 2);
        if (at % 2 != 0 || at + bytes > layout_.size)
            return Refuse(kCeIllegalValue, 3, result);
        // Flash programming only clears bits; a block over unerased bytes is corrupted as on a
        // real part.
        for (int i = 0; i < count - 2; ++i) {
            flash_[at + 2 * i] &= static_cast<uint8_t>(values[2 + i] >> 8);
            flash_[at + 2 * i + 1] &= static_cast<uint8_t>(values[2 + i]);
        }
        return 0;
    }
    return Refuse(kCeIllegalStart, 3, result);
}

ProgramInfo Kel7Model::ApplicationInfo() const {
    return ParseInfoBlock(&flash_[layout_.size - kInfoBlockBytes]);
}

ProgramInfo Kel7Model::BootInfo() const {
    return ParseInfoBlock(&flash_[layout_.bootEnd + 1 - kInfoBlockBytes]);
}

void Kel7Model::Restart() {
    // Power-on: whatever was not saved is gone.
    if (haveSaved_)
        setup_ = saved_;
    haveSaved_ = false;
    shunt_ = false;
    batchSetup_ = false;
    netMode_ = false;
    tare_ = 0;
    zero_ = 0;
    eraseStarted_ = bootErased_ = false;
    const ProgramInfo app = ApplicationInfo();
    if (!ApplicationValid(flash_, layout_) || app.typeCode != kCodeKel7) {
        state_ = kStateBoot; // the boot loader finds no program to run
        stateUntilMs_ = -1;
        silent_ = false;
        return;
    }
    runningApp_ = app;
    // The identification follows the program: "KEL7-<number>" and "V<major>.<minor>".
    if (const auto dash = app.text1.find('-'); dash != std::string::npos) {
        const std::string digits = app.text1.substr(dash + 1);
        if (!digits.empty() && std::all_of(digits.begin(), digits.end(), ::isdigit))
            options_.programNumber = std::stoi(digits);
    }
    std::string version;
    for (char c : app.text2)
        if (std::isdigit(static_cast<unsigned char>(c)))
            version += c;
    if (!version.empty() && version.size() <= 6)
        options_.programVersion = std::stoi(version);
    state_ = kStateStartingUp;
    silent_ = options_.restartMs > 0;
    stateUntilMs_ = timeMs_ + (silent_ ? options_.restartMs : options_.startUpMs);
    if (options_.startUpMs == 0 && !silent_)
        stateUntilMs_ = timeMs_;
    UpdateRunState();
}

// ---------------------------------------------------------------------------------------------
// Direct access for tests

float Kel7Model::NormalValue(int i) const {
    return setup_.normal.at(i);
}
void Kel7Model::SetNormalValue(int i, float value) {
    setup_.normal.at(i) = value;
    Derive();
}
float Kel7Model::SpecialValue(int j) const {
    return setup_.special.at(j);
}
void Kel7Model::SetSpecialValue(int j, float value) {
    setup_.special.at(j) = value;
}
float Kel7Model::BatchValue(int i) const {
    return setup_.batch.at(i);
}
void Kel7Model::SetBatchValue(int i, float value) {
    setup_.batch.at(i) = value;
}
float Kel7Model::RecipeValue(int i) const {
    return setup_.recipes.at(i);
}
void Kel7Model::SetRecipeValue(int i, float value) {
    setup_.recipes.at(i) = value;
}
std::string Kel7Model::Text(int k) const {
    return setup_.texts.at(k);
}
void Kel7Model::SetText(int k, const std::string& text) {
    setup_.texts.at(k) = Trimmed12(text);
}
std::string Kel7Model::Name() const {
    return name_;
}
void Kel7Model::SetName(const std::string& name) {
    name_ = Trimmed12(name);
}

void Kel7Model::ClearLogs() {
    commands_.clear();
    writes_.clear();
}

} // namespace quarnex::sim
