// A whole set-up file in memory: loaded from a simulator's backup, written back, and every kind of
// file the loader must refuse.
#include "files/SetupFileImage.h"
#include "TempFolder.h"
#include "files/Backup.h"
#include "files/SetupListing.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"
#include "support/SingleKel7Fixture.h"

#include <gtest/gtest.h>

namespace quarnex::test {
namespace {

void ExpectSameSetup(const SetupFileImage& a, const SetupFileImage& b) {
    EXPECT_EQ(InstrumentInfoLines(a.setup.Info()).size(),
              InstrumentInfoLines(b.setup.Info()).size());
    for (size_t i = 0; i < InstrumentInfoLines(a.setup.Info()).size(); ++i)
        EXPECT_EQ(InstrumentInfoLines(a.setup.Info())[i].value,
                  InstrumentInfoLines(b.setup.Info())[i].value)
            << i;
    for (int i = 0; i < InstrumentSetup::kValues; ++i)
        EXPECT_EQ(a.setup.Value(i), b.setup.Value(i)) << "row " << i;
    for (int i = 0; i < InstrumentSetup::kBatchValues; ++i)
        EXPECT_EQ(a.setup.BatchValue(i), b.setup.BatchValue(i)) << "batch " << i;
    for (int i = 0; i < InstrumentSetup::kRecipeValues; ++i)
        EXPECT_EQ(a.setup.RecipeValue(i), b.setup.RecipeValue(i)) << "recipe " << i;
    for (int k = 0; k < InstrumentSetup::kTexts; ++k)
        EXPECT_EQ(a.setup.Text(k), b.setup.Text(k)) << "text " << k;
    for (int j = 0; j < SetupParameterTable::kSpecialRows; ++j) {
        EXPECT_EQ(a.setup.Descriptor(j).name, b.setup.Descriptor(j).name) << j;
        EXPECT_EQ(a.setup.Descriptor(j).unit, b.setup.Descriptor(j).unit) << j;
        EXPECT_EQ(a.setup.Descriptor(j).decimals, b.setup.Descriptor(j).decimals) << j;
    }
}

class SetupFileImageTest : public SingleKel7Fixture {
protected:
    void SetUp() override {
        SingleKel7Fixture::SetUp();
        Kel([](sim::Kel7Model& m) {
            m.SetNormalValue(10, 3.0f);
            m.SetSpecialValue(1, 12.5f);
            m.SetBatchValue(5 + 25 * 3 + 2, 41.25f); // activity 4
            m.SetRecipeValue(60 * 6 + 3, 17.5f);     // recipe 7, line 2 set point
            m.SetText(30, "MIXTURE 7");
        });
        Backup backup(*master_, kAddress, itype::kKel7, prompter_, progress_);
        backup.SetClock([] { return std::time_t(1304425330); });
        ASSERT_EQ(backup.Run(backup_, "first\r\nsecond", false), Backup::Result::Succeeded);
    }

    TempFolder dir_;
    ScriptedProgress progress_;
    const std::string backup_ = dir_.File("unit1.kel");
};

TEST_F(SetupFileImageTest, BackupLoadsWritesBackAndReloadsEqual) {
    SetupFileImage image;
    ASSERT_EQ(LoadSetupFileImage(backup_, image, prompter_), SetupFileStatus::kOk)
        << prompter_.LastText();
    EXPECT_TRUE(image.Complete());
    EXPECT_TRUE(image.hasBatch && image.hasRecipes && image.hasStrings);
    EXPECT_EQ(image.setup.Info().type, itype::kKel7);
    EXPECT_EQ(image.setup.Value(10), 3.0f);
    EXPECT_EQ(image.setup.Value(SetupParameterTable::kSpecialFirst + 1), 12.5f);
    EXPECT_EQ(image.setup.ActivityValue(4, 2), 41.25f);
    EXPECT_EQ(image.setup.RecipeValue(60 * 6 + 3), 17.5f);
    EXPECT_EQ(image.setup.Text(30), "MIXTURE 7");
    EXPECT_TRUE(image.setup.Descriptor(1).valid);
    EXPECT_FALSE(image.setup.Descriptor(1).name.empty());
    EXPECT_EQ(image.userInfo.size(), 8u);
    EXPECT_EQ(image.userInfo[0], "first");
    EXPECT_EQ(image.fileIdTime, SetupFile::TimeText(1304425330));

    const std::string copy = dir_.File("copy.kel");
    const std::time_t later = 1400000000;
    ASSERT_EQ(WriteSetupFileImage(
                  image, copy, {"edited at the desk"}, [&] { return later; }, prompter_),
              SetupFileStatus::kOk)
        << prompter_.LastText();
    SetupFileImage again;
    ASSERT_EQ(LoadSetupFileImage(copy, again, prompter_), SetupFileStatus::kOk);
    ExpectSameSetup(image, again);
    EXPECT_EQ(again.userInfo[0], "edited at the desk");
    EXPECT_EQ(again.fileIdTime, SetupFile::TimeText(later));
    EXPECT_EQ(again.fileOkTime, SetupFile::TimeText(later));

    // The listing (the viewer's and quarnex-cli list's reader) takes it whole.
    SetupFile file;
    file.SetFileName(copy);
    SetupListing listing;
    EXPECT_EQ(ReadSetupListing(file, prompter_, listing), SetupFileStatus::kOk);
    EXPECT_GT(listing.lines.size(), 2400u);
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
}

// Each case changes the good backup in one place; the loader must refuse it with a message that
// says what is wrong, and leave the caller's image alone.
TEST_F(SetupFileImageTest, RefusesEveryBadFileWithItsReason) {
    const std::string good = ReadBytes(backup_);
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string bytes = good;
        const size_t at = bytes.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? bytes : bytes.replace(at, from.size(), to);
    };
    struct Case {
        const char* what;
        std::string bytes;
        SetupFileStatus status;
        const char* message;
    };
    const Case cases[] = {
        {"no FILE_OK section", replace("[FILE_OK]", "[FILE_NOT]"), SetupFileStatus::kNotValid,
         "not a valid set-up file"},
        {"normal count beyond the model", replace("40382\t159.000000", "40382\t170.000000"),
         SetupFileStatus::kNotValid, "more set-up values"},
        {"a value outside the described block",
         replace("\r\n[End]\r\n[BATCH_SET_UP]", "\r\n41998\t1.000000\tx\t1 \r\n[End]\r\n"
                                                "[BATCH_SET_UP]"),
         SetupFileStatus::kNotValid, "Register 41998 does not belong"},
        {"a value twice", replace("[SET_UP]\r\n41000\t", "[SET_UP]\r\n41002\t"),
         SetupFileStatus::kNotValid, "Register 41002 appears more than once"},
        {"activity 25", replace("41410\t1.000000", "41410\t25.000000"), SetupFileStatus::kNotValid,
         "no activity or recipe 25"},
        {"a recipe line before its recipe", replace("41462\t1.000000", "41460\t1.000000"),
         SetupFileStatus::kNotValid, "Register 41460 does not belong"},
        // Recipe 1's last line moved one register on: past the recipe's 60 values it is no
        // line of recipe 1, nor the first of recipe 2.
        {"a line past the recipe window", replace("41582\t", "41584\t"), SetupFileStatus::kNotValid,
         "Register 41584 does not belong"},
        {"a recipe register that is odd", replace("41582\t", "41581\t"), SetupFileStatus::kNotValid,
         "41581"},
        {"an activity register that is odd", replace("41414\t", "41415\t"),
         SetupFileStatus::kNotValid, "Register 41415 does not belong"},
        {"a string too long", replace("43280\tMIXTURE 7\t", "43280\tMIXTURE 7 AND MORE\t"),
         SetupFileStatus::kNotValid, "longer than the instrument"},
        {"a value that is no number", replace("41000\t", "41000\tx"), SetupFileStatus::kDataError,
         "File data error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir_.File("bad.kel");
        WriteBytes(path, c.bytes);
        prompter_.Clear();
        SetupFileImage image;
        image.fileIdTime = "untouched";
        EXPECT_EQ(LoadSetupFileImage(path, image, prompter_), c.status);
        EXPECT_NE(prompter_.LastText().find(c.message), std::string::npos) << prompter_.LastText();
        EXPECT_EQ(image.fileIdTime, "untouched");
    }
    prompter_.Clear();
    SetupFileImage image;
    EXPECT_EQ(LoadSetupFileImage(dir_.File("missing.kel"), image, prompter_),
              SetupFileStatus::kOpenFailed);
    EXPECT_EQ(LoadSetupFileImage("", image, prompter_), SetupFileStatus::kNoFileName);
}

TEST_F(SetupFileImageTest, PartialFileLoadsButIsNotWrittenBack) {
    std::string bytes = ReadBytes(backup_);
    const size_t from = bytes.find("[RECIPE_SET_UP]");
    bytes.erase(from, bytes.find("[End]", from) + 7 - from);
    WriteBytes(backup_, bytes);
    SetupFileImage image;
    ASSERT_EQ(LoadSetupFileImage(backup_, image, prompter_), SetupFileStatus::kOk);
    EXPECT_FALSE(image.hasRecipes);
    EXPECT_FALSE(image.Complete());
    const std::string copy = dir_.File("copy.kel");
    EXPECT_EQ(WriteSetupFileImage(
                  image, copy, {}, [] { return std::time_t(0); }, prompter_),
              SetupFileStatus::kNotStorable);
    EXPECT_NE(prompter_.LastText().find("can not be written"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(copy));
}

} // namespace
} // namespace quarnex::test
