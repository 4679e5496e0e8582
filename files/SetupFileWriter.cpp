#include "files/SetupFileWriter.h"

#include "instrument/Registers.h"
#include "res/FileTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstdio>

namespace quarnex {

namespace {

std::string TwoDigits(int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

std::string Fixed(double value, int decimals) {
    // Whole numbers and set points of a recipe: plain digits, no locale in between.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

// Writes the lines of one section between its marker and its end line.
class SectionWriter {
public:
    SectionWriter(SetupFile& file, Prompter& owner) : file_(file), owner_(owner) {}

    bool Ok() const { return status_ == SetupFileStatus::kOk; }
    SetupFileStatus Status() const { return status_; }

    void Marker(SectionId id) {
        if (Ok())
            status_ = file_.WriteSectionMarker(id, owner_);
    }
    void Line(const std::string& text) {
        if (Ok())
            status_ = file_.WriteLine(text, true, owner_);
    }
    void Value(int reg, double value, const std::string& label, const std::string& text,
               const std::string& unit) {
        if (Ok())
            status_ =
                file_.WriteValueLine(reg, static_cast<float>(value), label, text, unit, owner_);
    }
    void String(int reg, const std::string& text, const std::string& label) {
        if (Ok())
            status_ = file_.WriteStringLine(reg, text, label, owner_);
    }
    void UserInfo(const std::vector<std::string>& lines) {
        if (Ok())
            status_ = file_.WriteUserInfo(lines, owner_);
    }

private:
    SetupFile& file_;
    Prompter& owner_;
    SetupFileStatus status_ = SetupFileStatus::kOk;
};

int Count(int n, int limit) {
    return std::clamp(n, 0, limit);
}

} // namespace

SetupFileStatus WriteSetupSections(SetupFile& file, const InstrumentSetup& setup,
                                   const std::vector<std::string>& userInfo, std::time_t startTime,
                                   const std::function<std::time_t()>& now, Prompter& owner) {
    SectionWriter w(file, owner);
    const InstrumentInfo& info = setup.Info();

    w.Marker(SectionId::kFileId);
    w.Line(SetupFile::TimeText(startTime));
    w.Marker(SectionId::kEnd);

    w.Marker(SectionId::kInstrId);
    for (const InstrumentInfoLine& line : InstrumentInfoLines(info))
        w.Value(line.reg, line.value, line.label, line.text, "");
    w.Marker(SectionId::kEnd);

    w.Marker(SectionId::kUserInfo);
    w.UserInfo(userInfo);
    w.Marker(SectionId::kEnd);

    // The counts were checked against the model's sizes when the set-up was read; the clamps
    // keep a copy filled some other way inside its stores.
    w.Marker(SectionId::kSetUp);
    const int normal = Count(info.normalCount, SetupParameterTable::kNormalRows);
    for (int i = 0; i < normal; ++i)
        w.Value(info.firstNormalRegister + 2 * i, setup.Value(i), setup.Label(i),
                setup.ValueText(i), setup.UnitText(i));
    const int special = Count(info.specialCount, SetupParameterTable::kSpecialRows);
    for (int j = 0; j < special; ++j) {
        const int row = SetupParameterTable::kSpecialFirst + j;
        w.Value(setup.SpecialRegister(j), setup.Value(row), setup.Label(row), setup.ValueText(row),
                setup.UnitText(row));
    }
    w.Marker(SectionId::kEnd);

    w.Marker(SectionId::kBatchSetUp);
    constexpr int kGeneral = SetupParameterTable::kGeneralBatchValues;
    constexpr int kEach = SetupParameterTable::kActivityValues;
    for (int b = 0; b < kGeneral; ++b)
        w.Value(InstrumentSetup::BatchRegister(b), setup.BatchValue(b), setup.BatchLabel(b, true),
                setup.BatchValueText(b), setup.BatchUnitText(b));
    for (int k = 1; k <= SetupParameterTable::kActivities; ++k) {
        w.Value(reg::kActivitySelector, k, Text(ids::kActivityLabel), TwoDigits(k), "");
        for (int j = 0; j < kEach; ++j) {
            const int b = kGeneral + kEach * (k - 1) + j;
            w.Value(InstrumentSetup::BatchRegister(b), setup.BatchValue(b),
                    setup.BatchLabel(b, true), setup.BatchValueText(b), setup.BatchUnitText(b));
        }
    }
    w.Marker(SectionId::kEnd);

    w.Marker(SectionId::kRecipeSetUp);
    for (int r = 1; r <= InstrumentSetup::kRecipes; ++r) {
        w.Value(reg::kRecipeSelector, r, Text(ids::kRecipeLabel), TwoDigits(r), "");
        for (int j = 0; j < InstrumentSetup::kRecipeValuesEach; ++j) {
            const double value =
                setup.RecipeValue(InstrumentSetup::kRecipeValuesEach * (r - 1) + j);
            const bool activity = j % 2 == 0;
            const std::string label =
                Text(ids::kRecipeLineLabel) + " " + TwoDigits(j / 2 + 1) + ", " +
                Text(activity ? ids::kActivityLabel : ids::kRecipeSetpointLabel);
            w.Value(reg::kRecipeWindow + 2 * j, value, label, Fixed(value, activity ? 0 : 3), "");
        }
    }
    w.Marker(SectionId::kEnd);

    w.Marker(SectionId::kStrSetUp);
    const int strings = Count(info.stringCount, InstrumentSetup::kTexts);
    for (int k = 0; k < strings; ++k)
        w.String(setup.TextRegister(k), setup.Text(k), setup.TextLabel(k));
    w.Marker(SectionId::kEnd);

    if (w.Ok()) {
        w.Marker(SectionId::kFileOk);
        w.Line(SetupFile::TimeText(now()));
        w.Marker(SectionId::kEnd);
    }
    return w.Status();
}

} // namespace quarnex
