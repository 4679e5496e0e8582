// The set-up store of the simulated KEL 7: the factory set-up, the values' range checks, the
// writes of normal and special values (with the calibration points the instrument measures),
// the whole-set-up check, remote set-up and restore with their snapshot, texts and the name.

#include "sim/Kel7Model.h"

#include "sim/Kel7Internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quarnex::sim {

using namespace kel7;

// ---------------------------------------------------------------------------------------------
// Factory set-up

float Kel7Model::FactoryValue(int i) const {
    if (i == kParStartMode)
        return options_.startByCommand ? 0.0f : 1.0f;
    if (i == kParAddress)
        return static_cast<float>(options_.address);
    return NormalRange(i).factory;
}

void Kel7Model::FactoryReset() {
    // Every value of the parameter table exists inside; the identification tells how many of
    // them this program version shows on the bus.
    const int stored = std::max(options_.normalCount, kParameterTableRows);
    setup_.normal.assign(stored, 0.0f);
    for (int i = 0; i < stored; ++i)
        setup_.normal[i] = FactoryValue(i);
    if (!options_.flowRateOption) // without the option the flow-rate values rest at their defaults
        setup_.normal[kParAutoDerivationTime] = 1.0f;
    setup_.special.assign(options_.specialCount, 0.0f);
    for (int j = 0; j < options_.specialCount; ++j)
        setup_.special[j] = descriptors_[j].factory;
    setup_.texts.assign(options_.stringCount, std::string());
    FactoryBatching();
    setup_.unstored = 0;
    Derive();
}

// ---------------------------------------------------------------------------------------------
// Checks

bool Kel7Model::SetupWritable() const {
    return state_ == kStateRemoteSetup || state_ == kStateRemoteRestore;
}

int Kel7Model::CheckNormalRange(int i, float value) const {
    return RangeCode(NormalRange(i), value);
}

int Kel7Model::CheckSpecialRange(int j, float value) const {
    const Descriptor& d = descriptors_[j];
    return RangeCode(ValueRange{ValueKind::Number, d.min, d.max, d.factory}, value);
}

void Kel7Model::Derive() {
    auto& v = setup_.normal;
    if (v.size() < kParameterTableRows)
        return;
    // The filter types other than "Special" have a fixed time.
    static constexpr float kFilterTimes[3] = {100.0f, 400.0f, 1600.0f};
    const int filter = AsInt(v[kParFilterType]);
    if (filter >= 0 && filter < 3)
        v[kParFilterTime] = kFilterTimes[filter];
    // With automatic derivation time the instrument picks it from the flow-rate resolution.
    if (v[kParAutoDerivationTime] == 1.0f) {
        const int r = std::clamp(AsInt(v[kParFlowRateResolution]), 0, 14);
        v[kParDerivationTime] = r <= 5 ? 1.0f : r <= 8 ? 2.0f : 5.0f;
    }
}

int Kel7Model::CrossCheck(bool forExit) const {
    const auto& v = setup_.normal;
    if (v.size() < kParameterTableRows)
        return 0;
    const double division = kDivisions[std::clamp(AsInt(v[kParResolution]), 0, 14)];
    if (v[kParCapacity] / division > 999999.0)
        return forExit ? kCeExitCapacityDigits : kCeCapacityDigits;
    for (const int source : {kParOutput1Source, kParOutput2Source})
        if (v[source] != 0.0f && v[source + 3] <= v[source + 2])
            return kCeExitAnalogRange;
    // COM3 and COM4 sit on the I/O bus of COM2; both in use at one position is one unit twice.
    if (v[kParCom2Mode] == kComModeIoBus && v[kParCom3Mode] != 0.0f && v[kParCom4Mode] != 0.0f &&
        v[kParCom3Position] == v[kParCom4Position])
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
    if (const int reg = CheckBatching(fixToDefault, setToDefault))
        return reg;
    if (setToDefault)
        Derive();
    return CrossCheck(forExit);
}

// ---------------------------------------------------------------------------------------------
// Remote set-up and restore

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
    if (keep && haveSaved_ && setup_.normal[kParAddress] != saved_.normal[kParAddress])
        addressChange_ = static_cast<int>(setup_.normal[kParAddress]);
    if (!keep && haveSaved_)
        setup_ = saved_;
    haveSaved_ = false;
    shunt_ = false;
    state_ = stateBeforeRemote_;
    if (state_ == kStateWarmingUp)
        state_ = setup_.normal[kParStartMode] == 0.0f ? kStateWaitForStart : kStateNormal;
    stateUntilMs_ = -1;
    Derive();
}

// ---------------------------------------------------------------------------------------------
// Normal and special values

uint16_t Kel7Model::ReadNormal(int reg, int start) const {
    (void)start;
    return FloatAt(reg - kFirstNormal, setup_.normal[(reg - kFirstNormal) / 2]);
}

uint16_t Kel7Model::ReadSpecial(int reg, int start) const {
    (void)start;
    return FloatAt(reg - kFirstSpecial, setup_.special[(reg - kFirstSpecial) / 2]);
}

uint16_t Kel7Model::ReadDescriptor(int reg, int start) const {
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

int Kel7Model::WriteNormalValue(int reg, float value, SlaveResult& result) {
    if (!SetupWritable())
        return Refuse(kCeSaveNotAllowed, kExRefused, result);
    return WriteNormal((reg - kFirstNormal) / 2, value, result);
}

int Kel7Model::WriteNormal(int i, float value, SlaveResult& result) {
    auto& v = setup_.normal;
    if (state_ == kStateRemoteRestore) {
        // A restore loads whole blocks; the values are checked by coil 105.
        if (!std::isfinite(value))
            return Refuse(kCeIllegalValue, kExIllegalValue, result);
        v[i] = value;
        Derive();
        return 0;
    }
    if (const int code = CheckNormalRange(i, value))
        return Refuse(code, kExIllegalValue, result);
    const bool deadweight = v[kParCalibrationType] == kCalibDeadweight;
    const int points = std::clamp(AsInt(v[kParCalibPoints]), 2, 6);
    const uint16_t pointMask = static_cast<uint16_t>((1u << points) - 1);
    switch (i) {
    case kParResolution:
    case kParCapacity: {
        const double division =
            kDivisions[std::clamp(AsInt(i == kParResolution ? value : v[kParResolution]), 0, 14)];
        const double capacity = i == kParCapacity ? value : v[kParCapacity];
        if (capacity / division > 999999.0)
            return Refuse(kCeCapacityDigits, kExIllegalValue, result);
        break;
    }
    case kParCalibrationType:
        // A new calibration: a deadweight calibration must measure all its points again.
        setup_.unstored = value == kCalibDeadweight ? pointMask : 0;
        break;
    case kParCalibPoints:
        if (deadweight) {
            const uint16_t newMask = static_cast<uint16_t>((1u << static_cast<int>(value)) - 1);
            setup_.unstored =
                static_cast<uint16_t>((setup_.unstored | (newMask & ~pointMask)) & newMask);
        }
        break;
    case kParPointValue1:
    case kParPointValue1 + 1:
    case kParPointValue1 + 2:
    case kParPointValue1 + 3:
    case kParPointValue1 + 4:
    case kParPointValue1 + 5:
        if (deadweight) {
            const int k = i - kParPointValue1; // point k+1
            if (k >= points)
                return Refuse(kCeIllegalValue, kExIllegalValue, result);
            if (Motion()) {
                // The weight never settled while the instrument waited to measure.
                result.delayMs = options_.measureMs;
                return Refuse(kCeCalibTimeout, kExRefused, result);
            }
            if (k > 0 && !(setup_.unstored & (1u << (k - 1))) &&
                value <= v[kParPointValue1 + k - 1])
                return Refuse(kCeCalibDirection, kExIllegalValue, result);
            // The instrument measures the signal of the point before it answers.
            v[i] = value;
            v[kParPointSignal1 + k] =
                static_cast<float>(InputSignal() - (shunt_ ? options_.shuntSignal : 0));
            setup_.unstored = static_cast<uint16_t>(setup_.unstored & ~(1u << k));
            result.delayMs = options_.measureMs;
            return 0;
        }
        break;
    case kParSetZero: {
        if (deadweight && (setup_.unstored & pointMask))
            return Refuse(kCeZeroOffsetLocked, kExIllegalValue, result);
        if (Motion()) {
            result.delayMs = options_.measureMs;
            return Refuse(kCeCalibTimeout, kExRefused, result);
        }
        // Set zero: the current weight is to read as the value entered.
        const double raw = CalibratedWeight() - zero_ - v[kParZeroOffset];
        const double offset = v[kParZeroOffset] + raw - value;
        if (std::fabs(offset) > 0.2 * v[kParCapacity])
            return Refuse(kCeZeroSetRange, kExIllegalValue, result);
        v[kParZeroOffset] = static_cast<float>(offset);
        v[kParSetZero] = value;
        result.delayMs = options_.measureMs;
        return 0;
    }
    case kParZeroOffset:
        if (deadweight && (setup_.unstored & pointMask))
            return Refuse(kCeZeroOffsetLocked, kExIllegalValue, result);
        break;
    default:
        break;
    }
    v[i] = value;
    Derive();
    return 0;
}

int Kel7Model::WriteSpecialValue(int reg, float value, SlaveResult& result) {
    if (!SetupWritable())
        return Refuse(kCeSaveNotAllowed, kExRefused, result);
    const int j = (reg - kFirstSpecial) / 2;
    if (state_ != kStateRemoteRestore)
        if (const int code = CheckSpecialRange(j, value))
            return Refuse(code, kExIllegalValue, result);
    if (!std::isfinite(value))
        return Refuse(kCeIllegalValue, kExIllegalValue, result);
    setup_.special[j] = value;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Texts and the instrument's name: two characters to a register, any part may be written

uint16_t Kel7Model::ReadText(int reg, int start) const {
    (void)start;
    const int k = (reg - kFirstString) / kStringRegisters;
    const int c = 2 * ((reg - kFirstString) % kStringRegisters);
    const std::string& t = setup_.texts[k];
    const uint8_t hi = c < static_cast<int>(t.size()) ? static_cast<uint8_t>(t[c]) : 0;
    const uint8_t lo = c + 1 < static_cast<int>(t.size()) ? static_cast<uint8_t>(t[c + 1]) : 0;
    return static_cast<uint16_t>(hi << 8 | lo);
}

uint16_t Kel7Model::ReadName(int reg, int start) const {
    (void)start;
    const int c = 2 * (reg - kName);
    const uint8_t hi = c < static_cast<int>(name_.size()) ? static_cast<uint8_t>(name_[c]) : ' ';
    const uint8_t lo =
        c + 1 < static_cast<int>(name_.size()) ? static_cast<uint8_t>(name_[c + 1]) : ' ';
    return static_cast<uint16_t>(hi << 8 | lo);
}

int Kel7Model::WriteTexts(const Area& area, int reg, const uint16_t* values, int count, bool single,
                          SlaveResult& result) {
    (void)single;
    const bool name = area.first == kName;
    if (name ? !Running() : !BatchWritable())
        return Refuse(name ? kCeNotNormal : kCeSaveNotAllowed, kExRefused, result);
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

} // namespace quarnex::sim
