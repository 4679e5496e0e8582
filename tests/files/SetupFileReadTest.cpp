#include "files/SetupFile.h"
#include "support/ScriptedPrompter.h"

#include "SetupFileSamples.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

class SetupFileRead : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ok());
        name_ = folder_.File("unit7.kel");
        file_.SetFileName(name_);
    }
    // Writes bytes as the file and opens it for reading.
    void Open(const std::string& bytes) {
        file_.Close(prompter_);
        WriteBytes(name_, bytes);
        ASSERT_EQ(file_.OpenForRead(prompter_), SetupFileStatus::kOk);
    }
    // Positions the file at a section that holds exactly the given lines.
    void OpenSection(const std::string& lines) {
        Open("[SET_UP]\r\n" + lines + "[End]\r\n");
        ASSERT_EQ(file_.FindSection(SectionId::kSetUp, prompter_), SetupFileStatus::kOk);
    }
    std::string DataError() const { return "File data error: " + name_; }
    std::string NotValid() const {
        return "Selected file is not a valid set-up file\n(" + name_ + ")";
    }

    TempFolder folder_;
    std::string name_;
    SetupFile file_;
    ScriptedPrompter prompter_;
};

TEST_F(SetupFileRead, AnyLineEndReadsTheSame) {
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        Open(SampleSetupFile(eol));
        EXPECT_EQ(file_.Validate(true, prompter_), SetupFileStatus::kOk);
        ASSERT_EQ(file_.FindSection(SectionId::kSetUp, prompter_), SetupFileStatus::kOk);
        int reg = 0;
        float value = 0;
        EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
        EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
        EXPECT_EQ(reg, 41002);
        EXPECT_EQ(value, -0.5f);
        EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kEndLine);

        std::string line;
        ASSERT_EQ(file_.FindSection(SectionId::kSetUp, prompter_), SetupFileStatus::kOk);
        EXPECT_EQ(file_.ReadLine(line, prompter_, 1), SetupFileStatus::kOk);
        EXPECT_EQ(line, "3.000000\tMeasurement unit:\tkg " + eol);
    }
    // Mixed in one file.
    Open("[SET_UP]\r41000 1\n41002 2\r\n[End]\n");
    ASSERT_EQ(file_.FindSection(SectionId::kSetUp, prompter_), SetupFileStatus::kOk);
    int reg = 0;
    float value = 0;
    EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(value, 2.0f);
    EXPECT_EQ(file_.ReadRegisterValue(reg, value, prompter_), SetupFileStatus::kEndLine);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(SetupFileRead, LinesMustEndWithinFourHundredBytes) {
    std::string line;
    // 399 bytes and LF, 398 bytes and CR LF: the longest lines there are.
    Open(std::string(399, 'a') + "\n" + std::string(398, 'b') + "\r\nlast");
    EXPECT_EQ(file_.ReadLine(line, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(line.size(), 400u);
    EXPECT_EQ(file_.ReadLine(line, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(line, std::string(398, 'b') + "\r\n");
    EXPECT_TRUE(prompter_.Boxes().empty());
    // The last line has no line end.
    EXPECT_EQ(file_.ReadLine(line, prompter_), SetupFileStatus::kDataError);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{DataError()});

    // 400 bytes before the line end.
    prompter_.Clear();
    Open(std::string(400, 'a') + "\n");
    EXPECT_EQ(file_.ReadLine(line, prompter_), SetupFileStatus::kDataError);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{DataError()});

    // 399 bytes and CR LF: the pair does not fit, and is not taken for a line and an empty line.
    prompter_.Clear();
    Open(std::string(399, 'a') + "\r\nnext\r\n");
    EXPECT_EQ(file_.ReadLine(line, prompter_), SetupFileStatus::kDataError);

    Open("");
    EXPECT_EQ(file_.ReadLine(line, prompter_), SetupFileStatus::kEndOfFile);
}

TEST_F(SetupFileRead, ValidationNeedsTheFiveMandatorySectionsClosed) {
    const std::string good = SampleSetupFile();
    const auto without = [&](const std::string& from, const std::string& to) {
        const size_t a = good.find(from);
        const size_t b = good.find(to, a);
        return good.substr(0, a) + good.substr(b);
    };
    // Optional sections missing: still valid.
    Open(without("[BATCH_SET_UP]", "[FILE_OK]"));
    EXPECT_EQ(file_.Validate(true, prompter_), SetupFileStatus::kOk);
    EXPECT_TRUE(prompter_.Boxes().empty());

    // Sections in another order: valid, and readable.
    const size_t fileOk = good.find("[FILE_OK]");
    const size_t setUp = good.find("[SET_UP]");
    const size_t batch = good.find("[BATCH_SET_UP]");
    Open(good.substr(fileOk) + good.substr(setUp, batch - setUp) + good.substr(0, setUp));
    EXPECT_EQ(file_.Validate(true, prompter_), SetupFileStatus::kOk);
    InstrumentInfo info;
    EXPECT_EQ(file_.LoadInstrumentInfo(info, true, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(info.firstSpecialRegister, 41338);
    EXPECT_TRUE(prompter_.Boxes().empty());

    const std::string invalid[] = {
        good.substr(0, good.find("[FILE_OK]")), // cut off before the end
        good.substr(0, good.size() - 7),        // FILE_OK without its end line
        without("[FILE_ID]", "[INSTR_ID]"),     // a mandatory section missing
        without("41000\t", "[BATCH_SET_UP]"),   // SET_UP runs into the next marker
    };
    for (size_t i = 0; i < std::size(invalid); ++i) {
        prompter_.Clear();
        Open(invalid[i]);
        EXPECT_EQ(file_.Validate(true, prompter_), SetupFileStatus::kNotValid) << i;
        EXPECT_EQ(prompter_.LastText(), NotValid()) << i;
    }

    // The check of a single section, and without a message.
    prompter_.Clear();
    Open(without("41000\t", "[BATCH_SET_UP]"));
    EXPECT_EQ(file_.CheckSection(SectionId::kSetUp, prompter_), SetupFileStatus::kSectionNotClosed);
    EXPECT_EQ(file_.CheckSection(SectionId::kBatchSetUp, prompter_), SetupFileStatus::kOk);
    Open(without("[RECIPE_SET_UP]", "[STR_SET_UP]"));
    EXPECT_EQ(file_.CheckSection(SectionId::kRecipeSetUp, prompter_),
              SetupFileStatus::kSectionNotFound);
    EXPECT_EQ(file_.FindSection(static_cast<SectionId>(42), prompter_),
              SetupFileStatus::kSectionNotFound);
    EXPECT_EQ(file_.Validate(false, prompter_), SetupFileStatus::kOk);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(SetupFileRead, MarkersCountOnlyInColumnOne) {
    std::string good = SampleSetupFile();
    // Indented, or inside a line: not a marker.
    good.replace(good.find("[FILE_OK]"), 9, " [FILE_OK]");
    Open(good);
    EXPECT_EQ(file_.Validate(false, prompter_), SetupFileStatus::kNotValid);
    EXPECT_EQ(file_.FindSection(SectionId::kFileOk, prompter_), SetupFileStatus::kSectionNotFound);
    // Case matters.
    Open("[set_up]\r\n[End]\r\n");
    EXPECT_EQ(file_.FindSection(SectionId::kSetUp, prompter_), SetupFileStatus::kSectionNotFound);
}

TEST_F(SetupFileRead, ValueLinesAndTheirNumbers) {
    struct Case {
        const char* line;
        bool ok;
        int reg = 0;
        float value = 0;
    };
    const Case cases[] = {
        {"41000\t3.000000\tLabel:\ttext \r\n", true, 41000, 3.0f},
        {"41000 3.5\r\n", true, 41000, 3.5f},                // SPACE for TAB
        {"41000  \t -2.25  label\r\n", true, 41000, -2.25f}, // any white space between
        {"+41000\t+1e3\r\n", true, 41000, 1000.0f},
        {"41000\t-99999999.5\r\n", true, 41000, -99999999.5f},
        {"41000\t99999999.99999999\r\n", true, 41000, 1e8f}, // below the limit, stored as float
        {"41000\t.5\r\n", true, 41000, 0.5f},
        {"41000\t1e8\r\n", false},
        {"41000\t100000000\r\n", false},
        {"41000\t-100000000.0\r\n", false},
        {"41000\tnan\r\n", false},
        {"41000\tinf\r\n", false},
        {"41000\t0x10\r\n", false},
        {"41000\t1,5\r\n", false},
        {"41000\t12abc\r\n", false},
        {"41000\t1e\r\n", false},
        {"41000\t.\r\n", false},
        {"41000\t-\r\n", false},
        {"41000\t1e999\r\n", false},
        {"41000\r\n", false}, // no second token
        {"41000\t\r\n", false},
        {"4100x\t1\r\n", false},
        {"99999999999\t1\r\n", false}, // register overflows
        {"\t41000\t1\r\n", false},     // empty first token
        {"-\t1\r\n", false},
        {"[SET_UP]\r\n", false}, // another marker
    };
    for (const Case& c : cases) {
        prompter_.Clear();
        OpenSection(c.line);
        int reg = -1;
        float value = -1;
        const SetupFileStatus status = file_.ReadRegisterValue(reg, value, prompter_);
        if (c.ok) {
            EXPECT_EQ(status, SetupFileStatus::kOk) << c.line;
            EXPECT_EQ(reg, c.reg) << c.line;
            EXPECT_EQ(value, c.value) << c.line;
            EXPECT_TRUE(prompter_.Boxes().empty()) << c.line;
        } else {
            EXPECT_EQ(status, SetupFileStatus::kDataError) << c.line;
            EXPECT_EQ(reg, -1) << c.line; // nothing half-read is handed out
            EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{DataError()}) << c.line;
        }
    }
}

TEST_F(SetupFileRead, StringLinesKeepTheirTextExactly) {
    OpenSection("43100\t  SAND A  \tName:\t  SAND A  \r\n"
                " 43106 \t\tName:\t\r\n"
                "43112\tno second tab\r\n"
                "x43118\ttext\tName:\r\n");
    int reg = 0;
    std::string text = "old";
    EXPECT_EQ(file_.ReadRegisterText(reg, text, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(reg, 43100);
    EXPECT_EQ(text, "  SAND A  ");
    EXPECT_EQ(file_.ReadRegisterText(reg, text, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(reg, 43106);
    EXPECT_EQ(text, "");
    EXPECT_EQ(file_.ReadRegisterText(reg, text, prompter_), SetupFileStatus::kDataError);
    EXPECT_EQ(file_.ReadRegisterText(reg, text, prompter_), SetupFileStatus::kDataError);
    EXPECT_EQ(file_.ReadRegisterText(reg, text, prompter_), SetupFileStatus::kEndLine);
    EXPECT_EQ(prompter_.Boxes().size(), 2u);
}

TEST_F(SetupFileRead, TextLinesForTheViewer) {
    OpenSection("41000\t3.000000\t[kg] Capacity:\t3000 kg\r\n"
                "free text without tabs\n"
                "[BATCH_SET_UP]\r\n");
    std::string text;
    // Two fields skipped: label, TAB, text, SPACE, unit. A label that begins with "[" is no marker.
    EXPECT_EQ(file_.ReadTextLine(text, prompter_, 2, true), SetupFileStatus::kOk);
    EXPECT_EQ(text, "[kg] Capacity:\t3000 kg");
    EXPECT_EQ(file_.ReadTextLine(text, prompter_, 2, false), SetupFileStatus::kOk);
    EXPECT_EQ(text, "free text without tabs\n");
    EXPECT_EQ(file_.ReadTextLine(text, prompter_, 2, true), SetupFileStatus::kDataError);
    EXPECT_EQ(file_.ReadTextLine(text, prompter_, 2, true), SetupFileStatus::kEndLine);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{DataError()});

    // The whole information section, and a section that runs into another marker.
    Open(SampleSetupFile());
    EXPECT_EQ(file_.ReadSectionText(text, SectionId::kUserInfo, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(text, "2011-05-03  14:22\r\nInstrument type: KEL 7 Recipe Batcher\r\n"
                    "Instrument address: 12\r\n\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(file_.ReadSectionText(text, SectionId::kStrSetUp, prompter_, 2),
              SetupFileStatus::kOk);
    EXPECT_EQ(text, "Activity 1 name:\tSAND  A\r\nActivity 2 name:\t\r\n");
    prompter_.Clear();
    Open("[USER_INFO]\r\nabc\r\n[SET_UP]\r\n[End]\r\n");
    EXPECT_EQ(file_.ReadSectionText(text, SectionId::kUserInfo, prompter_),
              SetupFileStatus::kDataError);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{DataError()});
    Open("[USER_INFO]\r\nabc\r\n");
    EXPECT_EQ(file_.ReadSectionText(text, SectionId::kUserInfo, prompter_),
              SetupFileStatus::kEndOfFile);
}

TEST_F(SetupFileRead, IdentificationBlockThroughTheRecordReader) {
    Open(SampleSetupFile());
    InstrumentInfo info;
    EXPECT_EQ(file_.LoadInstrumentInfo(info, true, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(info.type, itype::kKel7);
    EXPECT_EQ(info.serialNumber, 98765.0f);
    EXPECT_EQ(info.stringCount, 54);
    EXPECT_EQ(info.setupVersion, 1310);

    // A repeated register, and a block with a bad number: not valid, with the message.
    std::string twice = SampleSetupFile();
    twice.insert(twice.find("[End]", twice.find("[INSTR_ID]")), "40394\t1311.0\tx\ty \r\n");
    Open(twice);
    EXPECT_EQ(file_.LoadInstrumentInfo(info, true, prompter_), SetupFileStatus::kNotValid);
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{NotValid()});

    prompter_.Clear();
    std::string bad = SampleSetupFile();
    bad.replace(bad.find("104.000000"), 10, "1O4");
    Open(bad);
    EXPECT_EQ(file_.LoadInstrumentInfo(info, false, prompter_), SetupFileStatus::kNotValid);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{DataError()});

    // The adapter speaks the loader's numbers.
    Open(SampleSetupFile());
    SetupFileRecords records(file_, prompter_);
    EXPECT_EQ(records.FileName(), name_);
    EXPECT_EQ(records.FindSection(SetupRecordReader::kIdentificationSection, nullptr), 0);
    int reg = 0;
    float value = 0;
    EXPECT_EQ(records.ReadRegisterValue(reg, value, nullptr), 0);
    EXPECT_EQ(reg, 40200);
    EXPECT_EQ(records.FindSection(99, nullptr), 10);
}

} // namespace
} // namespace quarnex
