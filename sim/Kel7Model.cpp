#include "sim/Kel7Model.h"

#include "sim/Kel7Internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace quarnex::sim {

using namespace kel7;

namespace {

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

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

Kel7Model::Kel7Model(const Kel7Options& options) : options_(options) {
    options_.normalCount = std::clamp(options_.normalCount, 1, kMaxNormal);
    options_.specialCount = std::clamp(options_.specialCount, 0, kMaxSpecial);
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

    BuildFlash();
    BuildRegisterMap();

    FactoryReset();
    name_ = Trimmed12(options_.name);
    load_ = options_.load;
    setpoints_[0] = 0.5 * setup_.normal[kParCapacity];
    setpoints_[1] = 0.8 * setup_.normal[kParCapacity];
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

std::shared_ptr<Kel7Model> MakeKel7(const Kel7Options& options) {
    return std::make_shared<Kel7Model>(options);
}

// ---------------------------------------------------------------------------------------------
// Logs

// A simulator that runs for days must not grow its logs without end: once a log holds twice
// kLogSize entries, the older half goes (tests that look at the latest entries are unaffected).
template <class T> void Kel7Model::Record(std::vector<T>& log, T entry) {
    if (log.size() >= 2 * kLogSize)
        log.erase(log.begin(), log.begin() + static_cast<long>(log.size() - kLogSize));
    log.push_back(std::move(entry));
}

void Kel7Model::ClearLogs() {
    commands_.clear();
    writes_.clear();
}

// ---------------------------------------------------------------------------------------------
// The Modbus face

void Kel7Model::Advance(int64_t nowMs) {
    if (options_.clock != Kel7Clock::Bus)
        return;
    if (lastBusMs_ >= 0 && nowMs > lastBusMs_)
        Step(nowMs - lastBusMs_);
    lastBusMs_ = nowMs;
}

SlaveResult Kel7Model::ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    if (silent_)
        return {0, true, 0};
    const int start = address + 40001;
    if (!FindArea(start, count))
        return {kExIllegalAddress};
    for (int i = 0; i < count; ++i)
        out[i] = RegisterValue(start + i, start);
    return {};
}

SlaveResult Kel7Model::WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                                      bool single) {
    SlaveResult result;
    if (silent_)
        return {0, true, 0};
    const int reg = address + 40001;
    const int code = WriteValues(reg, values, count, single, result);
    Record(writes_, {reg, std::vector<uint16_t>(values, values + count),
                     result.exception == kExIllegalAddress ? -2 : code});
    return result;
}

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
                           coil == kCoilBatchLeave ||
                           (coil >= kCoilRemoteSetup && coil <= kCoilDiscard) || coil == kCoilCheck;
        if (!known)
            result.exception = kExIllegalAddress;
    }
    if (result.exception != kExIllegalAddress)
        Record(commands_, {coil, code});
    return result;
}

int Kel7Model::TakeAddressChange() {
    const int to = addressChange_;
    addressChange_ = 0;
    return to;
}

// ---------------------------------------------------------------------------------------------
// Commands

int Kel7Model::Refuse(int code, uint8_t exception, SlaveResult& result) {
    commandError_ = code;
    result.exception = exception;
    return code;
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
            return Refuse(kCeNotNormal, kExRefused, result);
        if (Motion())
            return Refuse(kCeUnstable, kExRefused, result);
        const double gross = Gross();
        if (gross < 0)
            return Refuse(kCeNegativeGross, kExIllegalValue, result);
        tare_ = gross;
        netMode_ = gross > 0;
        return 0;
    }
    case kCoilZero: {
        if (!normal || !weightValid)
            return Refuse(kCeNotNormal, kExRefused, result);
        if (Motion())
            return Refuse(kCeUnstable, kExRefused, result);
        if (netMode_)
            return Refuse(kCeNetMode, kExIllegalValue, result);
        const double newZero = CalibratedWeight() - setup_.normal[kParZeroOffset];
        if (std::fabs(newZero) > 0.02 * setup_.normal[kParCapacity])
            return Refuse(kCeZeroLimits, kExIllegalValue, result);
        zero_ = newZero;
        return 0;
    }
    case kCoilGross:
        if (!normal)
            return Refuse(kCeNotNormal, kExRefused, result);
        netMode_ = false;
        return 0;
    case kCoilNet:
        if (!normal)
            return Refuse(kCeNotNormal, kExRefused, result);
        if (tare_ == 0.0)
            return Refuse(kCeNoTare, kExIllegalValue, result);
        netMode_ = true;
        return 0;
    case kCoilShuntOff:
        shunt_ = false;
        return 0;
    case kCoilShuntOn:
        if (state_ != kStateRemoteSetup)
            return Refuse(kCeWrongState, kExRefused, result);
        shunt_ = true;
        return 0;
    case kCoilStart:
        if (state_ == kStateWaitForStart)
            state_ = kStateNormal;
        else if (state_ != kStateNormal)
            return Refuse(kCeWrongState, kExRefused, result);
        return 0;
    case kCoilBatchEnter:
        if (!options_.batchingOption)
            return Refuse(kCeOptionDisabled, kExIllegalValue, result);
        if (!enterable())
            return Refuse(kCeBatchState, kExRefused, result);
        batchSetup_ = true;
        return 0;
    case kCoilBatchLeave:
        if (!batchSetup_)
            return Refuse(kCeBatchState, kExRefused, result);
        batchSetup_ = false;
        return 0;
    case kCoilRemoteSetup:
    case kCoilRemoteRestore: {
        const int target = coil == kCoilRemoteSetup ? kStateRemoteSetup : kStateRemoteRestore;
        if (state_ == target)
            return 0;
        if (!enterable())
            return Refuse(kCeEnterSetup, kExRefused, result);
        EnterRemote(target);
        return 0;
    }
    case kCoilSave: {
        if (!SetupWritable())
            return Refuse(kCeExitSetup, kExRefused, result);
        bool fixed = false;
        if (const int code = CheckSetup(true, false, fixed))
            return Refuse(code, kExIllegalValue, result);
        LeaveRemote(true);
        result.delayMs = options_.saveMs;
        return 0;
    }
    case kCoilDiscard:
        if (!SetupWritable())
            return Refuse(kCeExitSetup, kExRefused, result);
        LeaveRemote(false);
        return 0;
    case kCoilCheck: {
        if (!SetupWritable())
            return Refuse(kCeWrongState, kExRefused, result);
        const int points = std::clamp(AsInt(setup_.normal[kParCalibPoints]), 2, 6);
        if (setup_.normal[kParCalibrationType] == kCalibDeadweight &&
            (setup_.unstored & ((1u << points) - 1)))
            return Refuse(kCeUnstoredPoints, kExRefused, result);
        bool fixed = false;
        // In remote restore the instrument puts values it cannot take back to their defaults
        // and says so; in remote set-up it names the register of the first such value.
        const int code = CheckSetup(false, state_ == kStateRemoteRestore, fixed);
        if (code != 0)
            return Refuse(code, kExIllegalValue, result);
        if (fixed)
            return Refuse(kCeSetToDefault, kExIllegalValue, result);
        return 0;
    }
    default:
        result.exception = kExIllegalAddress;
        return 0;
    }
}

} // namespace quarnex::sim
