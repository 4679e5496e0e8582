#include "files/SetupFileWriter.h"
#include "support/ScriptedPrompter.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace quarnex {
namespace {

class SetupFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ok());
        name_ = folder_.File("unit7.kel");
        file_.SetFileName(name_);
        InstrumentInfo& info = setup_.MutableInfo();
        info.rawTypeCode = 2003;
        info.type = itype::kKel7;
        info.programNumber = 7310;
        info.programVersion = 104;
        info.serialNumber = 98765;
        info.options = 16;
        info.firstBatchRegister = 41400;
        info.batchCount = 605;
        info.firstStringRegister = 43100;
        info.stringCount = 3;
        info.firstNormalRegister = 41000;
        info.normalCount = 4;
        info.firstSpecialRegister = 41338;
        info.specialCount = 2;
        info.setupVersion = 1310;
        info.setupDataVersion = 2;
        for (int i = 0; i < 4; ++i)
            setup_.SetValue(i, i + 1);
        setup_.SetValue(SetupParameterTable::kSpecialFirst, -0.25);
        setup_.SetValue(SetupParameterTable::kSpecialFirst + 1, 7);
        for (int b = 0; b < InstrumentSetup::kBatchValues; ++b)
            setup_.SetBatchValue(b, b * 0.5);
        for (int i = 0; i < InstrumentSetup::kRecipeValues; ++i)
            setup_.SetRecipeValue(i, i % 2 == 0 ? i % 24 + 1 : i * 0.125);
        setup_.SetText(0, "SAND  A");
        setup_.SetText(2, "GRAVEL");
    }

    SetupFileStatus Write() {
        EXPECT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOk);
        const SetupFileStatus status = WriteSetupSections(
            file_, setup_, {"line 1", "[line 2"}, 1304432530, [] { return 1304432591; }, prompter_);
        EXPECT_EQ(file_.Close(prompter_), SetupFileStatus::kOk);
        return status;
    }

    TempFolder folder_;
    std::string name_;
    SetupFile file_;
    InstrumentSetup setup_;
    ScriptedPrompter prompter_;
};

// The sections in the backup's order with their line counts, and every line the way the format
// lays it out.
TEST_F(SetupFileWriterTest, WholeStructure) {
    setenv("TZ", "UTC", 1);
    tzset();
    ASSERT_EQ(Write(), SetupFileStatus::kOk);
    EXPECT_TRUE(prompter_.Boxes().empty());
    const std::string bytes = ReadBytes(name_);

    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t end = bytes.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(bytes.substr(at, end - at));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos);
        at = end + 2;
    }
    std::vector<std::pair<std::string, int>> sections; // marker and lines in it
    for (const std::string& line : lines) {
        if (line == "[End]")
            continue;
        if (!line.empty() && line[0] == '[')
            sections.push_back({line, 0});
        else
            ++sections.back().second;
    }
    const std::vector<std::pair<std::string, int>> expected = {
        {"[FILE_ID]", 1},        {"[INSTR_ID]", 15},        {"[USER_INFO]", 8},  {"[SET_UP]", 6},
        {"[BATCH_SET_UP]", 629}, {"[RECIPE_SET_UP]", 1830}, {"[STR_SET_UP]", 3}, {"[FILE_OK]", 1}};
    EXPECT_EQ(sections, expected);

    const auto lineAfter = [&](const std::string& marker, int n) {
        const auto it = std::find(lines.begin(), lines.end(), marker);
        return it + n < lines.end() ? *(it + n) : std::string("<none>");
    };
    EXPECT_EQ(lineAfter("[FILE_ID]", 1), "2011-05-03  14:22:10");
    EXPECT_EQ(lineAfter("[FILE_OK]", 1), "2011-05-03  14:23:11");
    EXPECT_EQ(lineAfter("[INSTR_ID]", 1), "40200\t2003.000000\tInstrument type:\tKEL 7 ");
    EXPECT_EQ(lineAfter("[INSTR_ID]", 4), "40208\t98765.000000\tSerial number:\t09-8765 ");
    EXPECT_EQ(lineAfter("[USER_INFO]", 2), " [line 2");
    EXPECT_EQ(lineAfter("[USER_INFO]", 8), "");
    EXPECT_EQ(lineAfter("[SET_UP]", 1).substr(0, 15), "41000\t1.000000\t");
    EXPECT_EQ(lineAfter("[SET_UP]", 5).substr(0, 16), "41338\t-0.250000\t");
    EXPECT_EQ(lineAfter("[SET_UP]", 6).substr(0, 15), "41340\t7.000000\t");
    EXPECT_EQ(lineAfter("[BATCH_SET_UP]", 1).substr(0, 15), "41400\t0.000000\t");
    EXPECT_EQ(lineAfter("[BATCH_SET_UP]", 6), "41410\t1.000000\tActivity:\t01 ");
    EXPECT_EQ(lineAfter("[BATCH_SET_UP]", 7).substr(0, 18), "41412\t2.500000\t01:");
    EXPECT_EQ(lineAfter("[BATCH_SET_UP]", 6 + 26 * 23), "41410\t24.000000\tActivity:\t24 ");
    EXPECT_EQ(lineAfter("[BATCH_SET_UP]", 629).substr(0, 16), "41460\t302.000000");
    EXPECT_EQ(lineAfter("[RECIPE_SET_UP]", 1), "41462\t1.000000\tRecipe:\t01 ");
    EXPECT_EQ(lineAfter("[RECIPE_SET_UP]", 2), "41464\t1.000000\tLine 01, Activity:\t1 ");
    EXPECT_EQ(lineAfter("[RECIPE_SET_UP]", 3), "41466\t0.125000\tLine 01, Setp:\t0.125 ");
    EXPECT_EQ(lineAfter("[RECIPE_SET_UP]", 61), "41582\t7.375000\tLine 30, Setp:\t7.375 ");
    EXPECT_EQ(lineAfter("[RECIPE_SET_UP]", 62), "41462\t2.000000\tRecipe:\t02 ");
    EXPECT_EQ(lineAfter("[STR_SET_UP]", 1).substr(0, 14), "43100\tSAND  A\t");
    EXPECT_EQ(lineAfter("[STR_SET_UP]", 2).substr(0, 7), "43106\t\t");
    // Value lines end with the SPACE before the (here empty) unit; string lines do not.
    EXPECT_EQ(lineAfter("[INSTR_ID]", 15).back(), ' ');
    EXPECT_EQ(lineAfter("[STR_SET_UP]", 3).back(), 'L');

    // The reader takes back every value the restore would write.
    ASSERT_EQ(file_.OpenForRead(prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.Validate(true, prompter_), SetupFileStatus::kOk);
    InstrumentInfo info;
    EXPECT_EQ(file_.LoadInstrumentInfo(info, true, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(info.specialCount, 2);
    ASSERT_EQ(file_.FindSection(SectionId::kRecipeSetUp, prompter_), SetupFileStatus::kOk);
    int reg = 0;
    float value = 0;
    for (int r = 0; r < InstrumentSetup::kRecipes; ++r) {
        ASSERT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
        EXPECT_EQ(value, r + 1);
        for (int j = 0; j < InstrumentSetup::kRecipeValuesEach; ++j) {
            ASSERT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
            EXPECT_EQ(value, static_cast<float>(setup_.RecipeValue(60 * r + j)));
        }
    }
    EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kEndLine);
    file_.Close(prompter_);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// A value the restore would refuse, or a text with a line break: the register is named, the
// writing stops there, and the file is not a valid set-up file.
TEST_F(SetupFileWriterTest, UnstorableContentLeavesNoValidFile) {
    setup_.SetBatchValue(5 + 25 * 3 + 2, NAN); // activity 4, third value
    EXPECT_EQ(Write(), SetupFileStatus::kNotStorable);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"The value of register 41416 (NaN) can "
                                                          "not be stored in a set-up file."});
    EXPECT_EQ(ReadBytes(name_).find("[FILE_OK]"), std::string::npos);

    setup_.SetBatchValue(5 + 25 * 3 + 2, 1);
    setup_.SetText(1, "AB\nCD");
    prompter_.Clear();
    EXPECT_EQ(Write(), SetupFileStatus::kNotStorable);
    EXPECT_EQ(prompter_.Texts().size(), 1u);
    ASSERT_EQ(file_.OpenForRead(prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.Validate(false, prompter_), SetupFileStatus::kNotValid);
    file_.Close(prompter_);
    // The earlier (also failed) file is the safety copy.
    EXPECT_NE(ReadBytes(name_ + ".bak").find("[INSTR_ID]"), std::string::npos);
}

} // namespace
} // namespace quarnex
