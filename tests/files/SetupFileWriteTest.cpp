#include "files/SetupFile.h"
#include "support/ScriptedPrompter.h"

#include "SetupFileSamples.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quarnex {
namespace {

class SetupFileWrite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ok());
        name_ = folder_.File("unit7.kel");
        file_.SetFileName(name_);
    }

    TempFolder folder_;
    std::string name_;
    SetupFile file_;
    ScriptedPrompter prompter_;
};

TEST_F(SetupFileWrite, WritesTheLayoutByteForByte) {
    ASSERT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOk);
    const auto ok = SetupFileStatus::kOk;
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kFileId, prompter_), ok);
    EXPECT_EQ(file_.WriteLine("2011-05-03  14:22:10", true, prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kEnd, prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kInstrId, prompter_), ok);
    EXPECT_EQ(file_.WriteValueLine(40200, 2003.0f, "Instrument type:", "KEL 7", "", prompter_), ok);
    EXPECT_EQ(file_.WriteValueLine(40202, 1234.0f, "Program number:", "1234", "", prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kEnd, prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kUserInfo, prompter_), ok);
    EXPECT_EQ(file_.WriteUserInfo({"first", "", "[End]", "a\tb"}, prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kEnd, prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kSetUp, prompter_), ok);
    EXPECT_EQ(file_.WriteValueLine(41002, -0.5f, "Zero tracking:", "-0.5", "kg", prompter_), ok);
    EXPECT_EQ(file_.WriteValueLine(41004, 0.1f, "Filter:", "0.1", "s", prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kEnd, prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kStrSetUp, prompter_), ok);
    EXPECT_EQ(file_.WriteStringLine(43100, "SAND  A", "Activity 1 name:", prompter_), ok);
    EXPECT_EQ(file_.WriteSectionMarker(SectionId::kEnd, prompter_), ok);
    EXPECT_EQ(file_.Close(prompter_), ok);
    EXPECT_TRUE(prompter_.Boxes().empty());

    EXPECT_EQ(ReadBytes(name_), "[FILE_ID]\r\n"
                                "2011-05-03  14:22:10\r\n"
                                "[End]\r\n"
                                "[INSTR_ID]\r\n"
                                "40200\t2003.000000\tInstrument type:\tKEL 7 \r\n"
                                "40202\t1234.000000\tProgram number:\t1234 \r\n"
                                "[End]\r\n"
                                "[USER_INFO]\r\n"
                                "first\r\n"
                                "\r\n"
                                " [End]\r\n"
                                "a\tb\r\n"
                                "\r\n\r\n\r\n\r\n"
                                "[End]\r\n"
                                "[SET_UP]\r\n"
                                "41002\t-0.500000\tZero tracking:\t-0.5 kg\r\n"
                                "41004\t0.100000\tFilter:\t0.1 s\r\n"
                                "[End]\r\n"
                                "[STR_SET_UP]\r\n"
                                "43100\tSAND  A\tActivity 1 name:\tSAND  A\r\n"
                                "[End]\r\n");
}

TEST(SetupFileFormat, LinesMarkersAndTimes) {
    EXPECT_EQ(SetupFile::FormatValueLine(41410, 3.0f, "Activity:", "03", ""),
              "41410\t3.000000\tActivity:\t03 ");
    // The float widened to double: its exact value, rounded by "%f".
    EXPECT_EQ(SetupFile::FormatValueLine(41464, 0.3f, "Line 01, Setp:", "0.300", ""),
              "41464\t0.300000\tLine 01, Setp:\t0.300 ");
    EXPECT_EQ(SetupFile::FormatValueLine(41000, 99999992.0f, "a", "b", "c"),
              "41000\t99999992.000000\ta\tb c");
    EXPECT_EQ(SetupFile::FormatStringLine(43100, "", "Name:"), "43100\t\tName:\t");
    EXPECT_EQ(SetupFile::SectionMarker(SectionId::kRecipeSetUp), "[RECIPE_SET_UP]");
    EXPECT_EQ(SetupFile::SectionMarker(static_cast<SectionId>(9)), "");

    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(SetupFile::TimeText(1304432530), "2011-05-03  14:22:10");

    EXPECT_EQ(SetupFile::SplitLines("a\r\nb\rc\n\nd"),
              (std::vector<std::string>{"a", "b", "c", "", "d"}));
    EXPECT_EQ(SetupFile::UserInfoFileLine(std::string(200, 'x')).size(), 145u);
    EXPECT_EQ(SetupFile::UserInfoFileLine("[SET_UP]"), " [SET_UP]");
    EXPECT_EQ(SetupFile::UserInfoFileLine(" [x"), " [x");
}

TEST(SetupFileFormat, NoLineOutgrowsTheReadersLimit) {
    // Texts from the instrument (descriptor names, long decimals) must not make a line that the
    // reader refuses; TABs and line breaks in them must not split the line.
    const std::string huge(1000, '7');
    const std::string line =
        SetupFile::FormatValueLine(41338, -99999992.0f, huge + "\tx\r\n", "1." + huge, huge);
    EXPECT_LE(line.size() + 2, SetupFile::kMaxLineBytes);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3);
    const std::string tabs = SetupFile::FormatValueLine(41020, 1.0f, "Cap\tacity:", "1\t0", "k\tg");
    EXPECT_EQ(std::count(tabs.begin(), tabs.end(), '\t'), 3) << tabs;
    const std::string strLine = SetupFile::FormatStringLine(43100, huge, huge + "\n");
    EXPECT_LE(strLine.size() + 2, SetupFile::kMaxLineBytes);
}

// A file grows to its limit and not a line beyond: the reader would refuse it whole.
TEST_F(SetupFileWrite, StopsAtTheFileSizeLimit) {
    ASSERT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOk);
    const std::string line(SetupFile::kMaxLineBytes - 2, 'x'); // with its CR LF: kMaxLineBytes
    size_t written = 0;
    while (file_.WriteLine(line, true, prompter_) == SetupFileStatus::kOk)
        ++written;
    EXPECT_EQ(written, SetupFile::kMaxFileBytes / SetupFile::kMaxLineBytes);
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
}

TEST_F(SetupFileWrite, RefusesValuesAndTextsTheRestoreWouldNotTakeBack) {
    ASSERT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOk);
    const float refused[] = {1e8f,
                             -1e8f,
                             3e38f,
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
    for (float v : refused)
        EXPECT_EQ(file_.WriteValueLine(41020, v, "Capacity:", "x", "kg", prompter_),
                  SetupFileStatus::kNotStorable)
            << v;
    ASSERT_EQ(prompter_.Boxes().size(), std::size(refused));
    EXPECT_EQ(prompter_.Texts()[0],
              "The value of register 41020 (100000000.000000) can not be stored in a set-up file.");
    EXPECT_EQ(prompter_.Texts()[3],
              "The value of register 41020 (NaN) can not be stored in a set-up file.");
    EXPECT_EQ(prompter_.Texts()[4],
              "The value of register 41020 (infinite) can not be stored in a set-up file.");

    prompter_.Clear();
    for (const char* text : {"A\tB", "A\rB", "A\nB"})
        EXPECT_EQ(file_.WriteStringLine(43106, text, "Name:", prompter_),
                  SetupFileStatus::kNotStorable);
    EXPECT_EQ(prompter_.LastText(), "The text of register 43106 contains a TAB or a line break "
                                    "and can not be stored in a set-up file.");

    prompter_.Clear();
    EXPECT_EQ(file_.WriteLine(std::string(399, 'x'), true, prompter_),
              SetupFileStatus::kNotStorable);
    EXPECT_EQ(file_.WriteLine(std::string(398, 'x'), true, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.WriteValueLine(41020, -99999992.0f, "Capacity:", "x", "kg", prompter_),
              SetupFileStatus::kOk);
    EXPECT_EQ(file_.Close(prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(ReadBytes(name_),
              std::string(398, 'x') + "\r\n41020\t-99999992.000000\tCapacity:\tx kg\r\n");
}

TEST_F(SetupFileWrite, SecondBackupKeepsTheFirstAsBak) {
    for (const char* content : {"first", "second", "third"}) {
        ASSERT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOk);
        EXPECT_EQ(file_.WriteLine(content, true, prompter_), SetupFileStatus::kOk);
        EXPECT_EQ(file_.Close(prompter_), SetupFileStatus::kOk);
    }
    EXPECT_EQ(ReadBytes(name_), "third\r\n");
    EXPECT_EQ(ReadBytes(name_ + ".bak"), "second\r\n"); // one generation only
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(SetupFileWrite, APreviousFileThatCannotBeCopiedIsNotTruncated) {
    WriteBytes(name_, SampleSetupFile());
    std::filesystem::create_directory(name_ + ".bak"); // the copy cannot be created
    EXPECT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOpenFailed);
    EXPECT_FALSE(file_.IsOpen());
    EXPECT_EQ(ReadBytes(name_), SampleSetupFile());
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_EQ(prompter_.Texts()[0], name_ + ".bak is a directory, not a set-up file.");
    EXPECT_EQ(prompter_.Texts()[1], "The previous file could not be kept as " + name_ +
                                        ".bak; it has not been overwritten.");
}

TEST_F(SetupFileWrite, NoNameNoFile) {
    file_.ClearFileName();
    EXPECT_FALSE(file_.HasFileName());
    EXPECT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kNoFileName);
    EXPECT_EQ(file_.OpenForRead(prompter_), SetupFileStatus::kNoFileName);
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{"No file selected !", "No file selected !"}));
}

// The information the user types can never open or close a section: a backup cut off after the
// information lines stays invalid however the lines were crafted, and a complete one reads back.
TEST_F(SetupFileWrite, TypedMarkersNeitherCompleteACutFileNorBreakAGoodOne) {
    const std::vector<std::string> crafted = {"[End]", "[SET_UP]", "[End]", "[FILE_OK]", "[End]"};
    const std::string good = SampleSetupFile();
    const size_t infoStart = good.find("[USER_INFO]");
    const size_t afterInfo = good.find("[SET_UP]");

    const auto writeFile = [&](bool complete) {
        ASSERT_EQ(file_.OpenForWrite(prompter_), SetupFileStatus::kOk);
        for (const std::string& line : SetupFile::SplitLines(good.substr(0, infoStart)))
            ASSERT_EQ(file_.WriteLine(line, true, prompter_), SetupFileStatus::kOk);
        file_.WriteSectionMarker(SectionId::kUserInfo, prompter_);
        ASSERT_EQ(file_.WriteUserInfo(crafted, prompter_), SetupFileStatus::kOk);
        file_.WriteSectionMarker(SectionId::kEnd, prompter_);
        if (complete) {
            const std::string rest = good.substr(afterInfo);
            for (const std::string& line : SetupFile::SplitLines(rest))
                file_.WriteLine(line, true, prompter_);
        }
        ASSERT_EQ(file_.Close(prompter_), SetupFileStatus::kOk);
    };

    writeFile(false);
    ASSERT_EQ(file_.OpenForRead(prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.Validate(true, prompter_), SetupFileStatus::kNotValid);
    file_.Close(prompter_);

    writeFile(true);
    ASSERT_EQ(file_.OpenForRead(prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.Validate(false, prompter_), SetupFileStatus::kOk);
    std::string text;
    EXPECT_EQ(file_.ReadSectionText(text, SectionId::kUserInfo, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(text, " [End]\r\n [SET_UP]\r\n [End]\r\n [FILE_OK]\r\n [End]\r\n\r\n\r\n\r\n");
    int reg = 0;
    float value = 0;
    ASSERT_EQ(file_.FindSection(SectionId::kSetUp, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(reg, 41000);
    file_.Close(prompter_);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{
                                     "Selected file is not a valid set-up file\n(" + name_ + ")"});
}

} // namespace
} // namespace quarnex
