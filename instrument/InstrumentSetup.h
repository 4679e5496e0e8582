#pragma once

#include "comm/CommStatus.h"
#include "instrument/InstrumentType.h"
#include "instrument/SetupParameterTable.h"
#include "platform/Prompter.h"

#include <array>
#include <string>

namespace quarnex {

class ModbusMaster;

// What a read of the set-up copy takes along and whom it tells about a failure. Always written
// with its field names ({.withTexts = true, .messages = &owner}).
struct SetupReadOptions {
    bool withTexts = false;       // ReadBatch, ReadRecipes: the activity and recipe names too
    bool withDescriptors = false; // ReadSpecial: the special parameters' own names and units too
    bool withRecipes = false;     // ReadAll: the recipes too
    Prompter* messages =
        nullptr; // the owner of the retry box and the failure messages; none: silent
};

// The description of a special parameter that the instrument supplies itself.
struct SpecialDescriptor {
    bool valid = false;
    std::string name;
    std::string unit;
    int decimals = 0;
};

// The in-memory copy of one instrument's set-up. Reads go to the instrument in requests of at
// most 50 floats (100 registers), stop at the first failure (shown with messages on) and keep what
// was read before it. The writers (WriteSetupFloat, WriteSetupText) never change the copy: after a
// write the caller reads the block again so that the copy follows the instrument.
class InstrumentSetup {
public:
    static constexpr int kValues = SetupParameterTable::kValueRows;        // 189
    static constexpr int kBatchValues = SetupParameterTable::kBatchValues; // 605
    static constexpr int kTexts = SetupParameterTable::kTexts;             // 54
    static constexpr int kRecipes = 30;
    static constexpr int kRecipeValuesEach = 60;
    static constexpr int kRecipeValues = kRecipes * kRecipeValuesEach; // 1800
    static constexpr float kUnsetValue = 999.0f;

    InstrumentSetup();

    // Values and batch values 999.0, descriptors cleared, address and type 0. Texts and recipe
    // values are kept.
    void Reset();

    // The identification block and the address, as CheckConnectedInstrument fills them.
    const InstrumentInfo& Info() const { return info_; }
    InstrumentInfo& MutableInfo() { return info_; }
    int Address() const { return address_; }
    void SetAddress(int address) { address_ = address; }

    // Reading.
    bool ReadAll(ModbusMaster& bus, const SetupReadOptions& options);
    bool ReadNormal(ModbusMaster& bus, const SetupReadOptions& options);
    // activity 0 = all, 1-24 = that one; the five general values are always read.
    bool ReadBatch(ModbusMaster& bus, int activity, const SetupReadOptions& options);
    bool ReadTexts(ModbusMaster& bus, const SetupReadOptions& options);
    bool ReadSpecial(ModbusMaster& bus, const SetupReadOptions& options);
    // recipe 0 = all, 1-30 = that one.
    bool ReadRecipes(ModbusMaster& bus, int recipe, const SetupReadOptions& options);

    // Parameter values (table rows 0-188).
    double Value(int row) const;
    void SetValue(int row, double value); // for the file layer and tests; the bus never uses it
    std::string Label(int row) const;     // descriptor name for special rows, "" when reserved
    std::string ValueText(int row) const;
    std::string UnitText(int row) const; // descriptor unit for special rows
    int Decimals(int row) const;         // kSixSignificant for the six-significant format
    int FirstChoice(int row) const;
    int FinalChoice(int row) const;
    // Register of normal parameter (or special row) i: first normal register + 2 i.
    int NormalRegister(int row) const;
    int SpecialRegister(int j) const; // first special register + 2 j
    const SpecialDescriptor& Descriptor(int j) const;
    SpecialDescriptor& MutableDescriptor(int j);

    // Texts 0-53 (0-23 activity names, 24-53 recipe names).
    const std::string& Text(int k) const;
    void SetText(int k, const std::string& text);
    std::string TextLabel(int k) const;
    int TextRegister(int k) const; // first string register + 6 k

    // Batch values 0-604.
    double BatchValue(int b) const;
    void SetBatchValue(int b, double value);
    // The label, with "01:" ... "24:" in front of activity values when withPrefix is set.
    std::string BatchLabel(int b, bool withPrefix) const;
    std::string BatchValueText(int b) const;
    std::string BatchUnitText(int b) const;
    int BatchDecimals(int b) const;
    // The register of batch value b: 41400 + 2 b for the general values, the window register
    // 41412 + 2 j for activity values (after writing the activity to the selector 41410).
    static int BatchRegister(int b);
    // An activity's value j (0-24), k = 1-24.
    double ActivityValue(int k, int j) const;

    // Recipe values 0-1799 (recipe r occupies 60 (r - 1) ... 60 r - 1).
    double RecipeValue(int i) const;
    // The register of value v (0-59) of a recipe: the window register 41464 + 2 v, after writing
    // the recipe to the selector 41462.
    static int RecipeRegister(int v);
    void SetRecipeValue(int i, double value);

    // Derived display facts.
    int WeightDecimals() const;
    int FlowRateDecimals() const;
    std::string DisplayedUnit() const;
    std::string FlowRateUnit() const;

    // Decodes a special parameter's 16 descriptor registers.
    static SpecialDescriptor DecodeDescriptor(const uint16_t registers[16]);

private:
    bool ReadFloatBlock(ModbusMaster& bus, int firstRegister, int count, float* out, bool messages,
                        Prompter* owner);
    bool Fail(ModbusMaster& bus, CommStatus status, bool messages, Prompter* owner);
    bool ReadActivity(ModbusMaster& bus, int k, bool messages, Prompter* owner);
    bool ReadRecipe(ModbusMaster& bus, int r, bool messages, Prompter* owner);

    InstrumentInfo info_;
    int address_ = 0;
    std::array<float, kValues> values_{};
    std::array<float, kBatchValues> batchValues_{};
    std::array<SpecialDescriptor, SetupParameterTable::kSpecialRows> descriptors_{};
    std::array<std::string, kTexts> texts_{};
    std::array<float, kRecipeValues> recipeValues_{};
};

} // namespace quarnex
