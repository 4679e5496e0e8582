#pragma once

#include "platform/Prompter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;
class InstrumentSetup;

// Fixed-width texts for values that cannot be shown; they fill fixed-width fields.
namespace placeholder {
inline constexpr const char* kValue = "------";          // value not available
inline constexpr const char* kState = "------------";    // instrument state not available
inline constexpr const char* kSetupValue = "----------"; // set-up value not available
inline constexpr const char* kWeightError = "EEEEEE";    // weight with more than 6 decimals
inline constexpr const char* kChoice = "??????????";     // choice outside its list
inline constexpr const char* kUnit = "???";              // unit that cannot be resolved
inline constexpr const char* kTypeName = "??????";       // unknown instrument type
} // namespace placeholder

// A scaled weight: high and low word of a signed 32-bit integer, divided by 10^decimals.
// Fails (value 0.0) when decimals is above 6.
bool ScaledWeight(uint16_t high, uint16_t low, uint16_t decimals, double& value);
// A live measured value (a gross weight, a transducer signal) with its own decimals and no
// blanks in front (its fields are left-aligned). False, and "----------", when the decimals make
// it unusable.
bool FormatLiveValue(uint16_t high, uint16_t low, uint16_t decimals, std::string& text);
// "%.*f" with the weight's own decimals, or "EEEEEE".
std::string FormatWeight(uint16_t high, uint16_t low, uint16_t decimals);
// Signed 32-bit integer from two registers, high word first.
int32_t RegistersToInt32(uint16_t high, uint16_t low);

// Six characters of significance: 3.14159265 -> 3.14159, 123456.7 -> 123457, 99.999996 -> 100.000.
std::string FormatSixSignificant(double value);

// Packed text: two characters to a register, the first in the high byte.
// Unpacking stops at the first NUL; packing fills up with spaces and cuts a longer text.
std::string UnpackText(const uint16_t* registers, int count);
std::vector<uint16_t> PackText(const std::string& text, int count);

constexpr int kMaxTextRegisters = 100;
// Reads count (at most 100) registers as packed text (3 retries, retry box per flag). A bus failure
// gives an empty text and, with messages on, is shown. More than 100 fails without bus traffic.
bool ReadTextRegisters(ModbusMaster& bus, int address, int reg, int count, bool messages,
                       Prompter* owner, std::string& text);
// Writes text packed into count registers (function 16, 3 retries); a refusal is explained with
// the instrument's command error (ReportCommandError).
bool WriteTextRegisters(ModbusMaster& bus, int address, int reg, int count, const std::string& text,
                        bool messages, Prompter* owner);

// Decimals of weights from "Resolution:" (choice 0-2: 3, 3-5: 2, 6-8: 1, else 0).
int WeightDecimals(double resolutionChoice);
// The same mapping for "Flow rate resolution:".
int FlowRateDecimals(double flowRateResolutionChoice);
// The displayed unit from "Measurement unit:" ("" for NONE and Special, "???" beyond the list).
std::string DisplayedUnit(double measurementUnitChoice);
// The flow-rate unit from the displayed unit and "Flow rate unit:" (kg/s, /min, ...).
std::string FlowRateUnit(const std::string& displayedUnit, double flowRateUnitChoice);

// The number of decimals of a row that is printed with "%.*f"; kSixSignificant means the
// six-significant format. Rows are parameter-table rows (0-188 values, 190-794 batch values).
constexpr int kSixSignificant = 9999;
int SetupDecimals(const InstrumentSetup& setup, int row);
// The value text of a row: choice text, "%04.*f" code, six-significant or "%.*f".
std::string FormatSetupValue(const InstrumentSetup& setup, int row, double value);
// The unit of a row, special indications resolved against the set-up's values.
std::string SetupUnitText(const InstrumentSetup& setup, int row);

} // namespace quarnex
