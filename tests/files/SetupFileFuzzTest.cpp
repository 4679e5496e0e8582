#include "files/SetupFile.h"
#include "files/SetupFileImage.h"
#include "support/ScriptedPrompter.h"

#include "SetupFileSamples.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quarnex {
namespace {

// Runs every reader over whatever the file holds, as the restore and the viewer would. Each
// reader either moves on by a line or stops the loop, so the loops are bounded by the file size.
bool ReadEverything(SetupFile& file, Prompter& prompter, size_t size) {
    const bool valid = file.Validate(false, prompter) == SetupFileStatus::kOk;
    InstrumentInfo info;
    file.LoadInstrumentInfo(info, false, prompter);
    std::string text;
    file.ReadSectionText(text, SectionId::kUserInfo, prompter);
    for (SectionId id : {SectionId::kSetUp, SectionId::kBatchSetUp, SectionId::kRecipeSetUp,
                         SectionId::kStrSetUp, SectionId::kInstrId}) {
        for (int pass = 0; pass < 3; ++pass) {
            if (file.FindSection(id, prompter) != SetupFileStatus::kOk)
                break;
            for (size_t n = 0; n <= size; ++n) {
                int reg = 0;
                float value = 0;
                SetupFileStatus status;
                if (pass == 0)
                    status = file.ReadRegisterValue(reg, value, prompter);
                else if (pass == 1)
                    status = file.ReadRegisterText(reg, text, prompter);
                else
                    status = file.ReadTextLine(text, prompter, 2, true);
                if (status != SetupFileStatus::kOk)
                    break;
                if (pass == 0) {
                    EXPECT_LE(std::fabs(value), 1e8f);
                }
            }
        }
    }
    return valid;
}

class SetupFileFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ok());
        file_.SetFileName(folder_.File("fuzz.kel"));
    }
    bool Run(const std::string& bytes) {
        WriteBytes(file_.FileName(), bytes);
        if (file_.OpenForRead(prompter_) != SetupFileStatus::kOk)
            return false;
        const bool valid = ReadEverything(file_, prompter_, bytes.size());
        file_.Close(prompter_);
        // The whole-file loader takes nothing that the validation refuses.
        SetupFileImage image;
        if (LoadSetupFileImage(file_.FileName(), image, prompter_) == SetupFileStatus::kOk) {
            EXPECT_TRUE(valid);
        }
        prompter_.Clear();
        return valid;
    }

    TempFolder folder_;
    SetupFile file_;
    ScriptedPrompter prompter_;
};

// No cut-off copy of a good file passes as valid: the FILE_OK section and its end line are the
// last thing in it. Only the final LF may go (the CR still ends the line).
TEST_F(SetupFileFuzz, NoTruncatedFileIsValid) {
    for (const std::string eol : {"\r\n", "\n"}) {
        const std::string good = SampleSetupFile(eol);
        ASSERT_TRUE(Run(good));
        for (size_t n = 0; n + 1 < good.size(); ++n)
            EXPECT_FALSE(Run(good.substr(0, n))) << n;
        EXPECT_EQ(Run(good.substr(0, good.size() - 1)), eol == "\r\n");
    }
}

// Random bytes and randomly damaged good files: no crash, no endless loop, and no damaged file is
// valid without its FILE_OK section.
TEST_F(SetupFileFuzz, RandomAndDamagedInputs) {
    std::mt19937 random(20110503);
    const std::string good = SampleSetupFile();
    const char interesting[] = {'\r', '\n', '\t', ' ', '[', ']', '.', '-', '0', '9', 'e', '\0'};
    for (int i = 0; i < 3000; ++i) {
        std::string bytes;
        if (i % 3 == 0) {
            bytes.resize(random() % 1200);
            for (char& c : bytes)
                c = static_cast<char>(random() % 4 == 0 ? interesting[random() % sizeof interesting]
                                                        : random() % 256);
        } else {
            bytes = good;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                const size_t at = random() % bytes.size();
                switch (random() % 3) {
                case 0:
                    bytes[at] = interesting[random() % sizeof interesting];
                    break;
                case 1:
                    bytes.erase(at, 1 + random() % 40);
                    break;
                default:
                    bytes.insert(at, std::string(1 + random() % 500, static_cast<char>(random())));
                    break;
                }
                if (bytes.empty())
                    bytes = "x";
            }
        }
        // Whatever passes still has the FILE_OK marker in column 1.
        if (Run(bytes)) {
            const size_t ok = bytes.find("[FILE_OK]");
            ASSERT_NE(ok, std::string::npos);
            EXPECT_TRUE(ok == 0 || bytes[ok - 1] == '\n' || bytes[ok - 1] == '\r');
        }
    }
}

} // namespace
} // namespace quarnex
