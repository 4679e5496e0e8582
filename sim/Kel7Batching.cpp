// Batching and recipes of the simulated KEL 7: the general values, 24 activities and 30 recipes
// behind their selector registers, the factory activities and recipes, their range checks, and
// batch set-up mode (coils 17 and 18).

#include "sim/Kel7Model.h"

#include "sim/Kel7Internal.h"

#include <cmath>

namespace quarnex::sim {

using namespace kel7;

namespace {

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

// The entry of activity k's parameter j among the batch values.
constexpr int ActivityEntry(int k, int j) {
    return kGeneralValues + kActivityValues * (k - 1) + j;
}

} // namespace

void Kel7Model::FactoryBatching() {
    // The texts are already cleared; the factory activities and recipes bring their names.
    setup_.batch.assign(kGeneralValues + kActivities * kActivityValues, 0.0f);
    for (int i = 0; i < kGeneralValues; ++i)
        setup_.batch[i] = BatchGeneralRange(i).factory;
    for (int k = 1; k <= kActivities; ++k)
        for (int j = 0; j < kActivityValues; ++j)
            setup_.batch[ActivityEntry(k, j)] = ActivityRange(j).factory;
    for (const auto& a : kFactoryActivities) {
        for (int j = 0; j < kActivityValues; ++j)
            setup_.batch[ActivityEntry(a.number, j)] = a.values[j];
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
}

bool Kel7Model::BatchWritable() const {
    return SetupWritable() || batchSetup_;
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

int Kel7Model::CheckBatching(bool fixToDefault, bool& setToDefault) {
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
    return 0;
}

uint16_t Kel7Model::ReadBatching(int reg, int start) const {
    (void)start;
    if (reg < kActivitySelector)
        return FloatAt(reg - kBatchGeneral, setup_.batch[(reg - kBatchGeneral) / 2]);
    if (reg < kActivityWindow)
        return FloatAt(reg - kActivitySelector, static_cast<float>(activity_));
    if (reg < kRecipeSelector)
        return FloatAt(reg - kActivityWindow,
                       setup_.batch[ActivityEntry(activity_, (reg - kActivityWindow) / 2)]);
    if (reg < kRecipeWindow)
        return FloatAt(reg - kRecipeSelector, static_cast<float>(recipe_));
    const int j = (reg - kRecipeWindow) / 2;
    return FloatAt(reg - kRecipeWindow, setup_.recipes[kRecipeValues * (recipe_ - 1) + j]);
}

uint16_t Kel7Model::ReadBatchSetupFlag(int reg, int start) const {
    (void)reg;
    (void)start;
    return batchSetup_ ? 1 : 0;
}

int Kel7Model::WriteBatchingValue(int reg, float value, SlaveResult& result) {
    // The selectors may be written at any time; they choose what the windows show.
    if (reg == kActivitySelector) {
        if (!Integral(value) || value < 1 || value > kActivities)
            return Refuse(kCeActivityNumber, kExIllegalValue, result);
        activity_ = static_cast<int>(value);
        return 0;
    }
    if (reg == kRecipeSelector) {
        if (!Integral(value) || value < 1 || value > kRecipes)
            return Refuse(kCeRecipeNumber, kExIllegalValue, result);
        recipe_ = static_cast<int>(value);
        return 0;
    }
    if (!BatchWritable())
        return Refuse(kCeSaveNotAllowed, kExRefused, result);
    const bool check = state_ != kStateRemoteRestore;
    if (!std::isfinite(value))
        return Refuse(kCeIllegalValue, kExIllegalValue, result);
    if (reg < kActivitySelector || (reg >= kActivityWindow && reg < kRecipeSelector)) {
        const int entry = reg < kActivitySelector
                              ? (reg - kBatchGeneral) / 2
                              : ActivityEntry(activity_, (reg - kActivityWindow) / 2);
        if (check)
            if (const int code = CheckBatchRange(entry, value))
                return Refuse(code, kExIllegalValue, result);
        setup_.batch[entry] = value;
        return 0;
    }
    const int j = (reg - kRecipeWindow) / 2;
    if (check)
        if (const int code = CheckRecipeRange(j, value))
            return Refuse(code, kExIllegalValue, result);
    setup_.recipes[kRecipeValues * (recipe_ - 1) + j] = value;
    return 0;
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

} // namespace quarnex::sim
