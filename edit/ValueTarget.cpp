#include "edit/ValueTarget.h"

#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "instrument/TextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"

#include <cmath>

namespace quarnex {

namespace {

using Table = SetupParameterTable;

constexpr int kTextRegisters = Table::kTextLength / 2;
// A set-up file holds values below this magnitude; a restore refuses the rest.
constexpr double kStorableLimit = 100000000.0;

// Index of reg in a block of count entries step registers apart from first; -1 outside it.
int IndexIn(int reg, int first, int count, int step) {
    if (count <= 0 || reg < first || (reg - first) % step != 0)
        return -1;
    const int i = (reg - first) / step;
    return i < count ? i : -1;
}

// A selector's value as an activity or recipe number: a whole number from 1 to last; else 0.
int Number(float value, int last) {
    return std::floor(value) == value && value >= 1.0f && value <= static_cast<float>(last)
               ? static_cast<int>(value)
               : 0;
}

} // namespace

bool BusValueTarget::WriteFloat(int reg, float value, int extraTimeoutMs, Prompter& owner) {
    return WriteSetupFloat(bus_, address_, reg, value, extraTimeoutMs, &owner);
}

bool BusValueTarget::WriteText(int reg, int count, const std::string& text, Prompter& owner) {
    return WriteSetupText(bus_, address_, reg, count, text, &owner);
}

bool SetupCopyTarget::Refuse(int reg, Prompter& owner) {
    owner.Error(FormatText(Text(ids::kNotASetupRegister), {std::to_string(reg)}));
    return false;
}

bool SetupCopyTarget::WriteFloat(int reg, float value, int /*extraTimeoutMs*/, Prompter& owner) {
    if (!std::isfinite(value) || std::fabs(value) >= kStorableLimit) {
        owner.Error(Text(ids::kValueOutOfRange));
        return false;
    }
    if (reg == reg::kActivitySelector || reg == reg::kRecipeSelector) {
        const bool activity = reg == reg::kActivitySelector;
        const int number = Number(value, activity ? Table::kActivities : InstrumentSetup::kRecipes);
        if (number == 0)
            return Refuse(reg, owner);
        (activity ? activity_ : recipe_) = number;
        return true;
    }
    const InstrumentInfo& info = setup_.Info();
    if (int row = IndexIn(reg, info.firstNormalRegister, info.normalCount, 2); row >= 0) {
        setup_.SetValue(row, value);
    } else if (int j = IndexIn(reg, info.firstSpecialRegister, info.specialCount, 2); j >= 0) {
        setup_.SetValue(Table::kSpecialFirst + j, value);
    } else if (int b = IndexIn(reg, reg::kBatchGeneral, Table::kGeneralBatchValues, 2); b >= 0) {
        setup_.SetBatchValue(b, value);
    } else if (int a = IndexIn(reg, reg::kActivityWindow, Table::kActivityValues, 2);
               a >= 0 && activity_ > 0) {
        setup_.SetBatchValue(
            Table::kGeneralBatchValues + Table::kActivityValues * (activity_ - 1) + a, value);
    } else if (int r = IndexIn(reg, reg::kRecipeWindow, InstrumentSetup::kRecipeValuesEach, 2);
               r >= 0 && recipe_ > 0) {
        setup_.SetRecipeValue(InstrumentSetup::kRecipeValuesEach * (recipe_ - 1) + r, value);
    } else {
        return Refuse(reg, owner);
    }
    changed_ = true;
    return true;
}

bool SetupCopyTarget::WriteText(int reg, int count, const std::string& text, Prompter& owner) {
    const InstrumentInfo& info = setup_.Info();
    const int k = IndexIn(reg, info.firstStringRegister, info.stringCount, kTextRegisters);
    if (k < 0 || count != kTextRegisters)
        return Refuse(reg, owner);
    if (text.size() > static_cast<size_t>(2 * count)) {
        owner.Error(FormatText(Text(ids::kTextTooLong), {std::to_string(2 * count)}));
        return false;
    }
    setup_.SetText(k, text);
    changed_ = true;
    return true;
}

} // namespace quarnex
