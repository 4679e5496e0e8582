#include "instrument/InstrumentSetup.h"

#include "comm/ModbusMaster.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstdio>

namespace quarnex {

namespace {

// The protocol carries at most 125 registers per read; the instrument answers at most 100.
constexpr int kFloatsPerRequest = 50;
constexpr int kTextsPerRequest = 16;
constexpr int kTextRegisters = 6; // 12 characters
constexpr int kRetries = 2;

TransactionOptions Options(bool messages, Prompter* owner) {
    return {.retries = kRetries, .showRetryBox = messages, .owner = owner};
}

const SpecialDescriptor kNoDescriptor{};
const std::string kNoText;

} // namespace

InstrumentSetup::InstrumentSetup() {
    Reset();
}

void InstrumentSetup::Reset() {
    values_.fill(kUnsetValue);
    batchValues_.fill(kUnsetValue);
    descriptors_.fill(SpecialDescriptor{});
    address_ = 0;
    info_.rawTypeCode = 0.0f;
    info_.type = itype::kUnknown;
}

bool InstrumentSetup::Fail(ModbusMaster& bus, CommStatus result, bool messages, Prompter* owner) {
    if (messages) {
        bus.ReportLinkError(result, {}, false, owner);
        bus.ReportExceptionError(result, {}, owner);
    }
    return false;
}

bool InstrumentSetup::ReadFloatBlock(ModbusMaster& bus, int firstRegister, int count, float* out,
                                     bool messages, Prompter* owner) {
    for (int done = 0; done < count;) {
        const int n = std::min(kFloatsPerRequest, count - done);
        const CommStatus result = bus.ReadFloatRegisters(address_, firstRegister + 2 * done, n,
                                                         out + done, Options(messages, owner));
        if (result != CommStatus::Ok)
            return Fail(bus, result, messages, owner);
        done += n;
    }
    return true;
}

bool InstrumentSetup::ReadAll(ModbusMaster& bus, const SetupReadOptions& options) {
    Prompter* owner = options.messages;
    return ReadNormal(bus, {.messages = owner}) &&
           ReadBatch(bus, 0, {.withTexts = true, .messages = owner}) &&
           ReadSpecial(bus, {.withDescriptors = true, .messages = owner}) &&
           (!options.withRecipes || ReadRecipes(bus, 0, {.messages = owner}));
}

bool InstrumentSetup::ReadNormal(ModbusMaster& bus, const SetupReadOptions& options) {
    const bool messages = options.messages != nullptr;
    Prompter* owner = options.messages;
    // CheckConnectedInstrument refuses larger counts; the clamp keeps a copy filled from
    // elsewhere within its store as well.
    const int count = std::clamp(info_.normalCount, 0, SetupParameterTable::kNormalRows);
    return ReadFloatBlock(bus, info_.firstNormalRegister, count, values_.data(), messages, owner);
}

bool InstrumentSetup::ReadActivity(ModbusMaster& bus, int k, bool messages, Prompter* owner) {
    const float selector = static_cast<float>(k);
    const CommStatus result = bus.WriteFloatRegisters(address_, reg::kActivitySelector, 1,
                                                      &selector, Options(messages, owner));
    if (result != CommStatus::Ok)
        return Fail(bus, result, messages, owner);
    float* out = batchValues_.data() + SetupParameterTable::kGeneralBatchValues +
                 SetupParameterTable::kActivityValues * (k - 1);
    return ReadFloatBlock(bus, reg::kActivityWindow, SetupParameterTable::kActivityValues, out,
                          messages, owner);
}

bool InstrumentSetup::ReadBatch(ModbusMaster& bus, int activity, const SetupReadOptions& options) {
    const bool messages = options.messages != nullptr;
    Prompter* owner = options.messages;
    if (activity < 0 || activity > SetupParameterTable::kActivities)
        return false;
    if (!ReadFloatBlock(bus, reg::kBatchGeneral, SetupParameterTable::kGeneralBatchValues,
                        batchValues_.data(), messages, owner))
        return false;
    const int first = activity == 0 ? 1 : activity;
    const int last = activity == 0 ? SetupParameterTable::kActivities : activity;
    for (int k = first; k <= last; ++k)
        if (!ReadActivity(bus, k, messages, owner))
            return false;
    return !options.withTexts || ReadTexts(bus, options);
}

bool InstrumentSetup::ReadTexts(ModbusMaster& bus, const SetupReadOptions& options) {
    const bool messages = options.messages != nullptr;
    Prompter* owner = options.messages;
    const int count = std::clamp(info_.stringCount, 0, kTexts);
    uint16_t registers[kTextsPerRequest * kTextRegisters];
    for (int done = 0; done < count;) {
        const int n = std::min(kTextsPerRequest, count - done);
        const CommStatus result =
            bus.ReadHoldingRegisters(address_, info_.firstStringRegister + kTextRegisters * done,
                                     kTextRegisters * n, registers, Options(messages, owner));
        if (result != CommStatus::Ok)
            return Fail(bus, result, messages, owner);
        for (int i = 0; i < n; ++i)
            texts_[done + i] = UnpackText(registers + kTextRegisters * i, kTextRegisters);
        done += n;
    }
    return true;
}

bool InstrumentSetup::ReadSpecial(ModbusMaster& bus, const SetupReadOptions& options) {
    const bool messages = options.messages != nullptr;
    Prompter* owner = options.messages;
    const int count = std::clamp(info_.specialCount, 0, SetupParameterTable::kSpecialRows);
    if (!ReadFloatBlock(bus, info_.firstSpecialRegister, count,
                        values_.data() + SetupParameterTable::kSpecialFirst, messages, owner))
        return false;
    if (!options.withDescriptors)
        return true;
    for (int j = 0; j < count; ++j) {
        uint16_t registers[reg::kDescriptorRegisters];
        const CommStatus result = bus.ReadHoldingRegisters(
            address_, SpecialRegister(j) + reg::kDescriptorOffset, reg::kDescriptorRegisters,
            registers, Options(messages, owner));
        if (result != CommStatus::Ok)
            return Fail(bus, result, messages, owner);
        descriptors_[j] = DecodeDescriptor(registers);
    }
    return true;
}

bool InstrumentSetup::ReadRecipe(ModbusMaster& bus, int r, bool messages, Prompter* owner) {
    const float selector = static_cast<float>(r);
    const CommStatus result = bus.WriteFloatRegisters(address_, reg::kRecipeSelector, 1, &selector,
                                                      Options(messages, owner));
    if (result != CommStatus::Ok)
        return Fail(bus, result, messages, owner);
    return ReadFloatBlock(bus, reg::kRecipeWindow, kRecipeValuesEach,
                          recipeValues_.data() + kRecipeValuesEach * (r - 1), messages, owner);
}

bool InstrumentSetup::ReadRecipes(ModbusMaster& bus, int recipe, const SetupReadOptions& options) {
    const bool messages = options.messages != nullptr;
    Prompter* owner = options.messages;
    if (recipe < 0 || recipe > kRecipes)
        return false;
    const int first = recipe == 0 ? 1 : recipe;
    const int last = recipe == 0 ? kRecipes : recipe;
    for (int r = first; r <= last; ++r)
        if (!ReadRecipe(bus, r, messages, owner))
            return false;
    return !options.withTexts || ReadTexts(bus, options);
}

SpecialDescriptor InstrumentSetup::DecodeDescriptor(const uint16_t registers[16]) {
    // 32 characters: the name from the start, the unit from character 19 (register 10); register
    // 13 holds the decimals, and its zero high byte ends the unit.
    constexpr int kUnitRegister = 9;
    constexpr int kDecimalsRegister = 12;
    SpecialDescriptor d;
    d.valid = true;
    d.name = UnpackText(registers, reg::kDescriptorRegisters);
    d.unit = UnpackText(registers + kUnitRegister, reg::kDescriptorRegisters - kUnitRegister);
    d.decimals = registers[kDecimalsRegister];
    return d;
}

double InstrumentSetup::Value(int row) const {
    return row >= 0 && row < kValues ? values_[row] : kUnsetValue;
}

void InstrumentSetup::SetValue(int row, double value) {
    if (row >= 0 && row < kValues)
        values_[row] = static_cast<float>(value);
}

namespace {
bool IsSpecialRow(int row) {
    return row >= SetupParameterTable::kSpecialFirst && row < SetupParameterTable::kValueRows;
}
} // namespace

std::string InstrumentSetup::Label(int row) const {
    if (IsSpecialRow(row))
        return descriptors_[row - SetupParameterTable::kSpecialFirst].name;
    const int id = SetupParameterTable::Row(row).label;
    return id ? quarnex::Text(id) : std::string();
}

std::string InstrumentSetup::ValueText(int row) const {
    return FormatSetupValue(*this, row, Value(row));
}

std::string InstrumentSetup::UnitText(int row) const {
    return SetupUnitText(*this, row);
}

int InstrumentSetup::Decimals(int row) const {
    return SetupDecimals(*this, row);
}

int InstrumentSetup::FirstChoice(int row) const {
    return SetupParameterTable::Row(row).firstChoice;
}

int InstrumentSetup::FinalChoice(int row) const {
    return SetupParameterTable::Row(row).finalChoice;
}

int InstrumentSetup::NormalRegister(int row) const {
    // The special parameters live in their own block, wherever the instrument puts it.
    if (IsSpecialRow(row))
        return SpecialRegister(row - SetupParameterTable::kSpecialFirst);
    return info_.firstNormalRegister + 2 * row;
}

int InstrumentSetup::SpecialRegister(int j) const {
    return info_.firstSpecialRegister + 2 * j;
}

const SpecialDescriptor& InstrumentSetup::Descriptor(int j) const {
    return j >= 0 && j < SetupParameterTable::kSpecialRows ? descriptors_[j] : kNoDescriptor;
}

SpecialDescriptor& InstrumentSetup::MutableDescriptor(int j) {
    return descriptors_[std::clamp(j, 0, SetupParameterTable::kSpecialRows - 1)];
}

const std::string& InstrumentSetup::Text(int k) const {
    return k >= 0 && k < kTexts ? texts_[k] : kNoText;
}

void InstrumentSetup::SetText(int k, const std::string& text) {
    if (k >= 0 && k < kTexts)
        texts_[k] = text.substr(0, SetupParameterTable::kTextLength);
}

std::string InstrumentSetup::TextLabel(int k) const {
    const int id = SetupParameterTable::TextLabel(k);
    return id ? quarnex::Text(id) : std::string();
}

int InstrumentSetup::TextRegister(int k) const {
    return info_.firstStringRegister + kTextRegisters * k;
}

double InstrumentSetup::BatchValue(int b) const {
    return b >= 0 && b < kBatchValues ? batchValues_[b] : kUnsetValue;
}

void InstrumentSetup::SetBatchValue(int b, double value) {
    if (b >= 0 && b < kBatchValues)
        batchValues_[b] = static_cast<float>(value);
}

std::string InstrumentSetup::BatchLabel(int b, bool withPrefix) const {
    if (b < 0 || b >= kBatchValues)
        return {};
    std::string label =
        quarnex::Text(SetupParameterTable::Row(SetupParameterTable::BatchRow(b)).label);
    const int k = SetupParameterTable::ActivityOfBatchValue(b);
    if (withPrefix && k > 0) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02d:", k);
        label = prefix + label;
    }
    return label;
}

std::string InstrumentSetup::BatchValueText(int b) const {
    return FormatSetupValue(*this, SetupParameterTable::BatchRow(b), BatchValue(b));
}

std::string InstrumentSetup::BatchUnitText(int b) const {
    return SetupUnitText(*this, SetupParameterTable::BatchRow(b));
}

int InstrumentSetup::BatchDecimals(int b) const {
    return SetupDecimals(*this, SetupParameterTable::BatchRow(b));
}

int InstrumentSetup::BatchRegister(int b) {
    if (SetupParameterTable::ActivityOfBatchValue(b) == 0)
        return reg::kBatchGeneral + 2 * b;
    const int j =
        (b - SetupParameterTable::kGeneralBatchValues) % SetupParameterTable::kActivityValues;
    return reg::kActivityWindow + 2 * j;
}

int InstrumentSetup::RecipeRegister(int v) {
    return reg::kRecipeWindow + 2 * v;
}

double InstrumentSetup::ActivityValue(int k, int j) const {
    if (k < 1 || k > SetupParameterTable::kActivities || j < 0 ||
        j >= SetupParameterTable::kActivityValues)
        return kUnsetValue;
    return batchValues_[SetupParameterTable::kGeneralBatchValues +
                        SetupParameterTable::kActivityValues * (k - 1) + j];
}

double InstrumentSetup::RecipeValue(int i) const {
    return i >= 0 && i < kRecipeValues ? recipeValues_[i] : 0.0;
}

void InstrumentSetup::SetRecipeValue(int i, double value) {
    if (i >= 0 && i < kRecipeValues)
        recipeValues_[i] = static_cast<float>(value);
}

int InstrumentSetup::WeightDecimals() const {
    return quarnex::WeightDecimals(values_[param::kResolution]);
}

int InstrumentSetup::FlowRateDecimals() const {
    return quarnex::FlowRateDecimals(values_[param::kFlowRateResolution]);
}

std::string InstrumentSetup::DisplayedUnit() const {
    return quarnex::DisplayedUnit(values_[param::kMeasurementUnit]);
}

std::string InstrumentSetup::FlowRateUnit() const {
    return quarnex::FlowRateUnit(DisplayedUnit(), values_[param::kFlowRateUnit]);
}

} // namespace quarnex
