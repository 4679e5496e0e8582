#include "edit/ValueTarget.h"

#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "res/InstrumentTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"

#include <cmath>

namespace quarnex {

namespace {

using Table = SetupParameterTable;

constexpr int kTextRegisters = Table::kTextLength / 2;
// A set-up file holds values below this magnitude; a restore refuses the rest.
constexpr double kStorableLimit = 100000000.0;

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
        const int number =
            reg::SelectedNumber(value, activity ? Table::kActivities : InstrumentSetup::kRecipes);
        if (number == 0)
            return Refuse(reg, owner);
        (activity ? activity_ : recipe_) = number;
        return true;
    }
    const InstrumentInfo& info = setup_.Info();
    if (int row = reg::IndexIn(reg, info.firstNormalRegister, info.normalCount, 2); row >= 0) {
        setup_.SetValue(row, value);
    } else if (int j = reg::IndexIn(reg, info.firstSpecialRegister, info.specialCount, 2); j >= 0) {
        setup_.SetValue(Table::kSpecialFirst + j, value);
    } else if (int b = reg::IndexIn(reg, reg::kBatchGeneral, Table::kGeneralBatchValues, 2);
               b >= 0) {
        setup_.SetBatchValue(b, value);
    } else if (int a = reg::IndexIn(reg, reg::kActivityWindow, Table::kActivityValues, 2);
               a >= 0 && activity_ > 0) {
        setup_.SetBatchValue(
            Table::kGeneralBatchValues + Table::kActivityValues * (activity_ - 1) + a, value);
    } else if (int r = reg::IndexIn(reg, reg::kRecipeWindow, InstrumentSetup::kRecipeValuesEach, 2);
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
    const int k = reg::IndexIn(reg, info.firstStringRegister, info.stringCount, kTextRegisters);
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
