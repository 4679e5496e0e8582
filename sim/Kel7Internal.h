#pragma once

// What the parts of the simulated KEL 7 share: register words of floats, the guarded reading of
// set-up values used as codes, the range check of one value, and the instrument's fixed figures.
// Only the simulator's Kel7*.cpp files include it.

#include "sim/Kel7Registers.h"
#include "sim/Kel7Setup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace quarnex::sim::kel7 {

// The steps of "Resolution:" (and "Flow rate resolution:"), by choice.
constexpr double kDivisions[15] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
                                   0.5,   1,     2,     5,    10,   20,   50};
constexpr int kDescriptorBase = kFirstSpecial + kDescriptorOffset;
constexpr double kDeadSignal = 0.1;      // mV/V of the empty scale
constexpr double kSignalPerLoad = 0.002; // mV/V per unit of load (2 mV/V at 1000)
constexpr int kSignalDecimals = 5;

inline uint16_t FloatHigh(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return static_cast<uint16_t>(bits >> 16);
}
inline uint16_t FloatLow(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return static_cast<uint16_t>(bits);
}
inline float ToFloat(uint16_t high, uint16_t low) {
    const uint32_t bits = uint32_t{high} << 16 | low;
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}
// The word of a two-register float at an offset from the float area's start (even: high word).
inline uint16_t FloatAt(int offset, float v) {
    return offset % 2 == 0 ? FloatHigh(v) : FloatLow(v);
}

// A set-up value used as a code or a count. A restore writes values unchecked, so anything may
// stand there until the check; a value no int can hold must not become undefined behaviour.
inline int AsInt(float v) {
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::clamp(v, -1.0e9f, 1.0e9f));
}

inline bool Integral(float v) {
    return std::isfinite(v) && std::floor(v) == v;
}

// Refusal of a value against its range: 0 when acceptable.
inline int RangeCode(const ValueRange& r, float v) {
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

// Names and texts hold at most 12 characters.
inline std::string Trimmed12(const std::string& s) {
    return s.substr(0, 12);
}

} // namespace quarnex::sim::kel7
