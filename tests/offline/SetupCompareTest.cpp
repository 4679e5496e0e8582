// Comparing set-ups: files from a simulated KEL 7's backup, the instrument itself on the bus, and
// a folder of files against one.
#include "offline/SetupCompare.h"
#include "../files/TempFolder.h"
#include "comm/ModbusMaster.h"
#include "files/Backup.h"
#include "instrument/Registers.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"
#include "support/SingleKel7Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quarnex::test {
namespace {

constexpr int kContrast = 3; // "Display contrast:", a choice on the General page

class SetupCompareTest : public SingleKel7Fixture {
protected:
    void SetUp() override {
        SingleKel7Fixture::SetUp();
        Backup backup(*master_, kAddress, itype::kKel7, prompter_, progress_);
        backup.SetClock([] { return std::time_t(1304425330); });
        ASSERT_EQ(backup.Run(path_, "", false), Backup::Result::Succeeded);
        ASSERT_EQ(LoadSetupFileImage(path_, image_, prompter_), SetupFileStatus::kOk);
    }
    // Writes image as a file and loads it again, as a file the user chose would be.
    SetupFileImage ThroughFile(const SetupFileImage& image, const std::string& name) {
        const std::string path = dir_.File(name);
        EXPECT_EQ(WriteSetupFileImage(
                      image, path, {}, [] { return std::time_t(0); }, prompter_),
                  SetupFileStatus::kOk)
            << prompter_.LastText();
        SetupFileImage loaded;
        EXPECT_EQ(LoadSetupFileImage(path, loaded, prompter_), SetupFileStatus::kOk)
            << prompter_.LastText();
        return loaded;
    }
    static std::vector<std::string> Lines(const SetupDiff& diff) {
        std::vector<std::string> out;
        for (const DiffGroup& g : diff.groups)
            for (const DiffLine& l : g.lines)
                out.push_back(g.title + " | " + l.label + " | " + l.left + " | " + l.right);
        return out;
    }

    TempFolder dir_;
    ScriptedProgress progress_;
    const std::string path_ = dir_.File("unit1.kel");
    SetupFileImage image_;
};

TEST_F(SetupCompareTest, EqualSetupsGiveNoDifference) {
    const SetupDiff diff = CompareSetups(image_, ThroughFile(image_, "copy.kel"));
    EXPECT_TRUE(diff.Equal());
    const std::vector<std::string> text = DiffText(diff, "a.kel", "b.kel");
    EXPECT_EQ(text.front(), "Compared: a.kel (KEL 7, serial number 12-3456)");
    EXPECT_EQ(text[1], "    with: b.kel (KEL 7, serial number 12-3456)");
    EXPECT_EQ(text.back(), "No differences.");

    // A restore pads a name with blanks to the instrument's 12 characters: no difference.
    SetupFileImage padded = image_;
    std::string name = image_.setup.Text(30);
    name.resize(12, ' ');
    padded.setup.SetText(30, name);
    EXPECT_TRUE(CompareSetups(image_, padded).Equal());
}

// One change in every section of the file; each shows as exactly one line, in the sheet's order
// with the identification first, labelled and numbered, both values as the sheet shows them.
TEST_F(SetupCompareTest, OneValueOfEachSectionDiffers) {
    SetupFileImage changed = image_;
    InstrumentSetup& s = changed.setup;
    s.MutableInfo().programVersion = 105.0f;
    s.SetValue(kContrast, s.Value(kContrast) + 1);
    s.SetValue(SetupParameterTable::kSpecialFirst + 1,
               s.Value(SetupParameterTable::kSpecialFirst + 1) + 2);
    s.SetBatchValue(0, s.BatchValue(0) == 0 ? 1 : 0); // "Display no of batches:"
    const int activity4Value = SetupParameterTable::kGeneralBatchValues + 25 * 3 + 2;
    s.SetBatchValue(activity4Value, s.BatchValue(activity4Value) + 5);
    s.SetRecipeValue(60 * 6 + 3, 17.5f); // recipe 7, line 2's set point
    s.SetText(30, "MIXTURE 7");          // recipe 7's name
    const SetupDiff diff = CompareSetups(image_, ThroughFile(changed, "changed.kel"));
    const std::vector<std::string> lines = Lines(diff);
    ASSERT_EQ(lines.size(), 7u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "Identification | Program version: | 104 | 105");
    EXPECT_EQ(diff.groups[1].title, "General");
    EXPECT_EQ(diff.groups[1].lines[0].label, "Display contrast:");
    EXPECT_EQ(lines[2], "Activities1 | Display no of batches: | Yes | No");
    EXPECT_EQ(lines[3].substr(0, 25), "Activities1 | Activity 04");
    EXPECT_EQ(lines[4], "Recipes | Recipe 07: Recipe name: | \"\" | \"MIXTURE 7\"");
    EXPECT_EQ(lines[5].substr(0, 36), "Recipes | Recipe 07: Line 02, Setp: ");
    EXPECT_EQ(diff.groups.back().title, "Special menu");
    for (const DiffGroup& g : diff.groups)
        for (const DiffLine& l : g.lines)
            EXPECT_NE(l.left, l.right) << l.label;
    EXPECT_EQ(DiffText(diff, "a", "b").back(), "7 differences");
    EXPECT_EQ(DiffText(diff, "a", "b", true).size(), 4u);
}

// The right values stand one under the other as the terminal prints them: an escaped control
// character, a two-byte "±" and a value longer than its column move none of them.
TEST(DiffTextTest, ColumnsAlignByThePrintedCharacters) {
    SetupDiff diff;
    diff.groups.push_back({"Recipes",
                           {{"Recipe 01: Recipe name:", "\"MIX\x07\"", "\"MIX\""},
                            {"Recipe 02: Tolerance \xC2\xB1:", "0.5 kg", "1.0 kg"},
                            {"Recipe 03: Recipe name:", "\"A NAME OF MORE THAN 24 CH\"", "\"B\""},
                            {"Recipe 04: Recipe name:", "\"\"", "\"C\""}}});
    const std::vector<std::string> text = DiffText(diff, "a", "b");
    const auto column = [](const std::string& line, const std::string& right) {
        const size_t at = line.rfind(right);
        return at == std::string::npos
                   ? std::string::npos
                   : static_cast<size_t>(std::count_if(line.begin(), line.begin() + at, [](char c) {
                         return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
                     }));
    };
    ASSERT_EQ(text.size(), 10u) << ::testing::PrintToString(text);
    EXPECT_NE(text[4].find("\"MIX\\x07\""), std::string::npos) << text[4];
    const size_t at = column(text[4], "\"MIX\"");
    EXPECT_GT(at, 2u + 37u + 24u); // the value column is wider than its 24
    EXPECT_EQ(column(text[5], "1.0 kg"), at);
    EXPECT_EQ(column(text[6], "\"B\""), at);
    EXPECT_EQ(column(text[7], "\"C\""), at);
}

// A file of another set-up version with fewer special values and strings: the identification
// differences first, then what only one side has.
TEST_F(SetupCompareTest, FilesOfDifferentSetupVersions) {
    SetupFileImage older = image_;
    InstrumentInfo& info = older.setup.MutableInfo();
    info.setupVersion = 1300;
    info.specialCount = 3;
    older.valuePresent.reset(SetupParameterTable::kSpecialFirst + 3);
    older.valuePresent.reset(SetupParameterTable::kSpecialFirst + 4);
    const SetupDiff diff = CompareSetups(ThroughFile(older, "older.kel"), image_);
    const std::vector<std::string> lines = Lines(diff);
    ASSERT_EQ(lines.size(), 4u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "Identification | Number of special set-up: | 3 | 5");
    EXPECT_EQ(lines[1], "Identification | Set-up version: | 1300 | 1310");
    EXPECT_NE(lines[2].find("Special menu | "), std::string::npos);
    EXPECT_EQ(diff.groups.back().lines[0].left, "(not in this set-up)");
}

// A value that differs below its shown decimals shows its raw values, a label that fills its
// column keeps the values in line, and a set-up of another instrument type is not compared.
TEST_F(SetupCompareTest, DifferencesStayVisibleAndOnlyLikeIsCompared) {
    constexpr int kRatedOutput = 36; // mV/V with five decimals
    SetupFileImage a = image_, b = image_;
    a.setup.SetValue(kRatedOutput, 0.0123456f);
    b.setup.SetValue(kRatedOutput, 0.0123457f);
    const std::vector<std::string> lines = Lines(CompareSetups(a, b));
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_NE(lines[0].find("(0.0123456) | "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("(0.0123457)"), std::string::npos) << lines[0];

    SetupDiff table;
    table.groups.push_back({"Page", {{std::string(35, 'L'), "1", "2"}, {"Short:", "3", "4"}}});
    const std::vector<std::string> text = DiffText(table, "a", "b");
    EXPECT_EQ(text[4], "  " + std::string(35, 'L') + "  1" + std::string(23, ' ') + "2");
    EXPECT_EQ(text[5].find('3'), text[4].find('1')) << text[5];

    EXPECT_EQ(NotComparableText(a, b), "");
    EXPECT_EQ(SetupVersionWarning(a, b), "");
    b.setup.MutableInfo().setupVersion = 1300;
    EXPECT_EQ(SetupVersionWarning(a, b), "warning: set-up version 1310 and 1300: the values are "
                                         "compared as far as both have them");
    b.setup.MutableInfo().type = itype::kPir7;
    EXPECT_EQ(NotComparableText(a, b), "not comparable: KEL 7 and PIR 7");
}

TEST_F(SetupCompareTest, FileAgainstTheInstrumentAfterAnEditOnTheBus) {
    SetupFileImage instrument;
    ASSERT_TRUE(ReadInstrumentImage(*master_, kAddress, prompter_, progress_, instrument));
    EXPECT_TRUE(CompareSetups(image_, instrument).Equal());
    const float contrast = static_cast<float>(image_.setup.Value(kContrast)) + 1;
    ASSERT_EQ(master_->WriteSingleCoil(kAddress, coil::kEnterRemoteSetup, true, {}),
              CommStatus::Ok);
    ASSERT_EQ(master_->WriteFloatRegisters(kAddress, image_.setup.NormalRegister(kContrast), 1,
                                           &contrast, {}),
              CommStatus::Ok);
    ASSERT_EQ(master_->WriteSingleCoil(kAddress, coil::kLeaveAndSave, true, {}), CommStatus::Ok);
    ASSERT_TRUE(ReadInstrumentImage(*master_, kAddress, prompter_, progress_, instrument));
    const std::vector<std::string> lines = Lines(CompareSetups(image_, instrument));
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0].substr(0, 28), "General | Display contrast: ");
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
}

TEST_F(SetupCompareTest, FolderAgainstAReference) {
    SetupFileImage changed = image_;
    changed.setup.SetValue(kContrast, changed.setup.Value(kContrast) + 1);
    ThroughFile(image_, "a-same.kel");
    ThroughFile(changed, "b-contrast.kel");
    WriteBytes(dir_.File("c-broken.kel"), "not a set-up file");
    WriteBytes(dir_.File("notes.txt"), "ignored");
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(SetupFilesIn(dir_.File(""), path_, paths, error)) << error;
    ASSERT_EQ(paths.size(), 3u); // the reference itself and notes.txt are not among them
    FleetCompare fleet(image_);
    for (const std::string& p : paths)
        fleet.Add(p, prompter_);
    const FleetTable& table = fleet.Table();
    EXPECT_TRUE(table.AnyDifference());
    EXPECT_TRUE(table.AnyUnreadable());
    ASSERT_EQ(table.rows.size(), 1u);
    const std::vector<std::string> text = FleetText(table, "unit1.kel");
    EXPECT_EQ(text[1].substr(0, 14), "1   a-same.kel");
    EXPECT_NE(text[1].find("equal"), std::string::npos);
    EXPECT_NE(text[2].find("1 row differs"), std::string::npos);
    EXPECT_NE(text[3].find("not a valid set-up file"), std::string::npos);
    EXPECT_EQ(text.back().substr(0, 20), "  Display contrast: ");
    EXPECT_EQ(text.back().substr(text.back().size() - 9), ".   X   ?");
    EXPECT_FALSE(SetupFilesIn(dir_.File("missing"), path_, paths, error));
}

} // namespace
} // namespace quarnex::test
