#include "instrument/ValueFormat.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/SetupParameterTable.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <cmath>
#include <cstdio>

namespace quarnex {

namespace {

// A choice index or count from a stored float. Values that are no number or far outside any
// list (an unread 999.0 stays 999) turn into a number that no list contains.
int Choice(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1.0e9)
        return -1000000;
    return static_cast<int>(value);
}

// Precision handed to "%.*f": the instrument supplies some decimals itself (descriptors, pulse
// batching); a damaged value must not make a text of hundreds of digits.
int SanePrecision(int decimals) {
    return decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
}

std::string Fixed(double value, int decimals, bool zeroFilledCode = false) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, zeroFilledCode ? "%04.*f" : "%.*f",
                  SanePrecision(decimals), value);
    return buffer;
}

int DecimalsOfResolution(double choice) {
    const int c = Choice(choice);
    if (c >= 0 && c <= 2)
        return 3;
    if (c >= 3 && c <= 5)
        return 2;
    if (c >= 6 && c <= 8)
        return 1;
    return 0;
}

bool IsBatchRow(int row) {
    return row >= SetupParameterTable::kBatchFirst && row < SetupParameterTable::kBatchEndRow;
}

// Batch value of activity parameter j of the activity that batch row `row` belongs to.
double ActivityParameter(const InstrumentSetup& setup, int row, int j) {
    const int k = SetupParameterTable::ActivityOfBatchValue(row - SetupParameterTable::kBatchFirst);
    return k == 0 ? 0.0 : setup.ActivityValue(k, j);
}

bool IsPulseBatching(const InstrumentSetup& setup, int row) {
    return IsBatchRow(row) &&
           Choice(ActivityParameter(setup, row, activity::kType)) == activity::kPulseBatching;
}

int LevelSource(const InstrumentSetup& setup, int level) {
    return Choice(setup.Value(param::kLevel1Source + 3 * (level - 1)));
}

int LevelDecimals(const InstrumentSetup& setup, int level) {
    const int source = LevelSource(setup, level);
    if (source == 4 || source == 8)
        return setup.FlowRateDecimals();
    if (source == 9)
        return kSixSignificant;
    if (source == 10 && level != 1)
        return LevelDecimals(setup, 1);
    return setup.WeightDecimals();
}

// LEVEL n's unit; asOffsetBase is set when a level with source "Offset level 1" asks for LEVEL
// 1's unit, where a source beyond the list gives no unit instead of "???".
std::string LevelUnit(const InstrumentSetup& setup, int level, bool asOffsetBase = false) {
    const int source = LevelSource(setup, level);
    const int lastSource = level == 1 ? 9 : 10;
    if (source == 0 || source == 9)
        return {};
    if (source == 4 || source == 8)
        return setup.FlowRateUnit();
    if (level != 1 && source == 10)
        return LevelUnit(setup, 1, true);
    if (source > lastSource || source < 0)
        return asOffsetBase ? std::string() : placeholder::kUnit;
    return setup.DisplayedUnit();
}

} // namespace

int32_t RegistersToInt32(uint16_t high, uint16_t low) {
    return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | low);
}

bool ScaledWeight(uint16_t high, uint16_t low, uint16_t decimals, double& value) {
    value = 0.0;
    if (decimals > 6)
        return false;
    value = RegistersToInt32(high, low) / std::pow(10.0, decimals);
    return true;
}

bool FormatLiveValue(uint16_t high, uint16_t low, uint16_t decimals, std::string& text) {
    double value = 0.0;
    if (!ScaledWeight(high, low, decimals, value)) {
        text = placeholder::kSetupValue;
        return false;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(decimals), value);
    text = buffer;
    return true;
}

std::string FormatWeight(uint16_t high, uint16_t low, uint16_t decimals) {
    double value = 0.0;
    if (!ScaledWeight(high, low, decimals, value))
        return placeholder::kWeightError;
    return Fixed(value, decimals);
}

std::string FormatSixSignificant(double value) {
    constexpr size_t kWidth = 6;
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%f", value);
    std::string plain = buffer;
    if (!plain.empty() && plain[0] == '-')
        plain.erase(0, 1);
    const size_t integerDigits =
        plain.find('.') == std::string::npos ? plain.size() : plain.find('.');
    const int precision = integerDigits >= kWidth ? 0 : static_cast<int>(kWidth - integerDigits);
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
    std::string text = buffer;
    if (precision > 0) {
        // A carry (99.99999 printed as 100.0000) makes the text one character too long.
        const size_t limit = kWidth + 1 + (text[0] == '-' ? 1 : 0);
        if (text.size() > limit)
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    return text;
}

std::string UnpackText(const uint16_t* registers, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const char pair[2] = {static_cast<char>(registers[i] >> 8),
                              static_cast<char>(registers[i] & 0xFF)};
        for (char c : pair) {
            if (c == '\0')
                return text;
            text += c;
        }
    }
    return text;
}

std::vector<uint16_t> PackText(const std::string& text, int count) {
    std::vector<uint16_t> registers(count > 0 ? static_cast<size_t>(count) : 0);
    auto at = [&](size_t i) -> uint16_t {
        return i < text.size() ? static_cast<uint8_t>(text[i]) : uint16_t{' '};
    };
    for (size_t i = 0; i < registers.size(); ++i)
        registers[i] = static_cast<uint16_t>((at(2 * i) << 8) | at(2 * i + 1));
    return registers;
}

bool ReadTextRegisters(ModbusMaster& bus, int address, int reg, int count, bool messages,
                       Prompter* owner, std::string& text) {
    text.clear();
    if (count < 1 || count > kMaxTextRegisters)
        return false;
    uint16_t registers[kMaxTextRegisters];
    const CommStatus result = bus.ReadHoldingRegisters(
        address, reg, count, registers, {.retries = 3, .showRetryBox = messages, .owner = owner});
    if (result != CommStatus::Ok) {
        if (messages) {
            bus.ReportLinkError(result, {}, false, owner);
            bus.ReportExceptionError(result, {}, owner);
        }
        return false;
    }
    text = UnpackText(registers, count);
    return true;
}

bool WriteTextRegisters(ModbusMaster& bus, int address, int reg, int count, const std::string& text,
                        bool messages, Prompter* owner) {
    if (count < 1 || count > kMaxTextRegisters)
        return false;
    const std::vector<uint16_t> registers = PackText(text, count);
    const CommStatus result =
        bus.WriteMultipleRegisters(address, reg, count, registers.data(),
                                   {.retries = 3, .showRetryBox = messages, .owner = owner});
    return ReportCommandError(bus, address, result, messages, {}, {}, owner);
}

int WeightDecimals(double resolutionChoice) {
    return DecimalsOfResolution(resolutionChoice);
}

int FlowRateDecimals(double flowRateResolutionChoice) {
    return DecimalsOfResolution(flowRateResolutionChoice);
}

std::string DisplayedUnit(double measurementUnitChoice) {
    const int c = Choice(measurementUnitChoice);
    if (c == 0 || c == 22)
        return {};
    if (c >= 1 && c <= 21)
        return Text(ids::kDisplayedUnitFirst + c - 1);
    return placeholder::kUnit; // also a negative choice, which no instrument should report
}

std::string FlowRateUnit(const std::string& displayedUnit, double flowRateUnitChoice) {
    // Only short units fit in front of the time unit in the instrument's own display.
    const std::string shortUnit = displayedUnit.size() <= 2 ? displayedUnit : std::string();
    switch (Choice(flowRateUnitChoice)) {
    case 0:
        return shortUnit + Text(unit::kPerSecond);
    case 1:
        return Text(unit::kPerMinute);
    case 2:
        return shortUnit + Text(unit::kPerHour);
    case 3:
        return Text(unit::kThousandPerMinute);
    case 4:
        return Text(unit::kThousandPerHour);
    default:
        return {};
    }
}

int SetupDecimals(const InstrumentSetup& setup, int row) {
    const SetupParameterRow& r = SetupParameterTable::Row(row);
    const int k = r.kind;
    if (k >= 1 && k <= 7)
        return k;
    if (k == kind::kWeight)
        return setup.WeightDecimals();
    if (k == kind::kWeightPlusOne)
        return setup.WeightDecimals() + 1;
    if (k >= kind::kLevel1 && k <= kind::kLevel8)
        return LevelDecimals(setup, k - kind::kLevel1 + 1);
    if (k == kind::kAnalogue1 || k == kind::kAnalogue2) {
        const int source = Choice(
            setup.Value(k == kind::kAnalogue1 ? param::kAnalogue1Source : param::kAnalogue2Source));
        if (source == 4)
            return setup.FlowRateDecimals();
        if (source == 5)
            return kSixSignificant;
        return setup.WeightDecimals();
    }
    if (k == kind::kSixSignificant)
        return kSixSignificant;
    if (k == kind::kBatchFine || k == kind::kBatchInflight) {
        if (IsPulseBatching(setup, row))
            return SanePrecision(Choice(ActivityParameter(setup, row, activity::kDecimals)));
        return setup.WeightDecimals();
    }
    if (k == kind::kSpecial && row >= SetupParameterTable::kSpecialFirst &&
        row < SetupParameterTable::kValueRows)
        return SanePrecision(setup.Descriptor(row - SetupParameterTable::kSpecialFirst).decimals);
    return 0;
}

std::string FormatSetupValue(const InstrumentSetup& setup, int row, double value) {
    const SetupParameterRow& r = SetupParameterTable::Row(row);
    if (r.kind == kind::kChoice) {
        const int c = Choice(value);
        // A negative index would land in the list before this one.
        if (c < 0 || r.firstChoice + c > r.finalChoice)
            return placeholder::kChoice;
        return Text(r.firstChoice + c);
    }
    const int decimals = SetupDecimals(setup, row);
    if (row == param::kOperatorCode || row == param::kSetupCode)
        return Fixed(value, decimals == kSixSignificant ? 0 : decimals, true);
    if (decimals == kSixSignificant)
        return IsBatchRow(row) ? Fixed(value, 0) : FormatSixSignificant(value);
    return Fixed(value, decimals);
}

std::string SetupUnitText(const InstrumentSetup& setup, int row) {
    const SetupParameterRow& r = SetupParameterTable::Row(row);
    if (r.kind == kind::kSpecial && row >= SetupParameterTable::kSpecialFirst &&
        row < SetupParameterTable::kValueRows)
        return setup.Descriptor(row - SetupParameterTable::kSpecialFirst).unit;
    const int id = r.unit;
    if (id == unit::kNone || id == unit::kNoUnit)
        return {};
    if (id == unit::kDisplayed)
        return setup.DisplayedUnit();
    if (id >= unit::kLevel1 && id <= unit::kLevel8)
        return LevelUnit(setup, id - unit::kLevel1 + 1);
    if (id == unit::kAnalogue1 || id == unit::kAnalogue2) {
        const int source = Choice(setup.Value(id == unit::kAnalogue1 ? param::kAnalogue1Source
                                                                     : param::kAnalogue2Source));
        if (source == 0 || source == 5)
            return {};
        if (source == 4)
            return setup.FlowRateUnit();
        if (source > 5 || source < 0)
            return placeholder::kUnit;
        return setup.DisplayedUnit();
    }
    if (id == unit::kBatchFine || id == unit::kBatchInflight) {
        if (!IsPulseBatching(setup, row))
            return setup.DisplayedUnit();
        const int u = Choice(ActivityParameter(setup, row, activity::kUnit));
        if (u == 0 || u == 22)
            return {};
        if (u < 0 || u > 22)
            return placeholder::kUnit;
        return Text(ids::kDisplayedUnitFirst + u - 1);
    }
    return Text(id);
}

} // namespace quarnex
