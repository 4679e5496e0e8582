#include "upgrade/SoftwareUpgrade.h"

#include "res/UpgradeTextIds.h"
#include "upgrade/BootLoaderRegisters.h"

#include "res/Strings.h"
#include "sim/FlashImage.h"
#include "sim/Kel7Fixture.h"
#include "support/ScriptedProgress.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace quarnex::test {
namespace {

constexpr int kAddress = 5;

sim::ProgramInfo App(int number, const char* version, uint16_t type = 2003) {
    return {type, 1310, 4, "KEL7-" + std::to_string(number), version, "270101"};
}
sim::ProgramInfo Boot(const char* version = "V2.03", uint16_t type = 2003) {
    return {type, 0, 0, "KEL7-BOOT", version, "270101"};
}

class SoftwareUpgradeTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        dir_ = std::filesystem::temp_directory_path() /
               ("quarnex-swupgrade-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        Kel7Fixture::TearDown();
    }
    void Start(int flashKb = 256) {
        sim::Kel7Options options;
        options.flashKb = flashKb;
        AddKel7(kAddress, options);
        MakeMaster();
        upgrade_ = std::make_unique<SoftwareUpgrade>(*master_, prompter_);
        // The simulated boot loader is ready at once.
        upgrade_->SetWait([](int, Progress&, int) {});
    }
    std::string File(const std::vector<uint8_t>& bytes, const std::string& name = "new.hex") {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    // Erase codes in the order the instrument received them, and whether 48000 was written.
    std::vector<int> EraseCodes(bool* entered = nullptr) {
        std::vector<int> codes;
        for (const auto& r : bus_.Requests()) {
            if (r.size() < 8 || r[0] != kAddress || r[1] != 16)
                continue;
            const int reg = 40001 + (r[2] << 8 | r[3]);
            if (reg == bootreg::kEnter && entered)
                *entered = true;
            if (reg == bootreg::kErase && r.size() >= 15)
                codes.push_back(r[13] << 8 | r[14]);
        }
        return codes;
    }
    // The instrument runs a program again once it answers its program information.
    bool WaitForProgram(InstrumentProgramInfo& info) {
        for (int i = 0; i < 200; ++i) {
            ScriptedPrompter quiet;
            SoftwareUpgrade probe(*master_, quiet);
            if (probe.ReadInstrument(kAddress) && probe.Instrument().application.valid) {
                info = probe.Instrument();
                return true;
            }
        }
        return false;
    }
    std::string Failure(int reason) { return Text(ids::kUpgradeFailed) + "\n" + Text(reason); }

    std::filesystem::path dir_;
    std::unique_ptr<SoftwareUpgrade> upgrade_;
    ScriptedPrompter boxOwner_;
};

TEST_F(SoftwareUpgradeTest, AnUpgradeReplacesTheProgramTheInstrumentReports) {
    Start();
    ASSERT_TRUE(upgrade_->ReadInstrument(kAddress)) << prompter_.LastText();
    EXPECT_NE(upgrade_->InstrumentText().find("KEL7-7310"), std::string::npos);
    ASSERT_TRUE(upgrade_->SelectFile(
        File(sim::BuildFlashImage(256, App(7312, "V1.06"), Boot(), true, true, 9000, 2000, 3))));
    const int n = upgrade_->Image().Info().usedBlocks;

    ScriptedProgress progress;
    prompter_.Answer(true);
    ASSERT_TRUE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_)) << prompter_.LastText();
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_EQ(prompter_.Boxes()[0].text, Text(ids::kUpgradeQuestion) + " 5 ?");
    EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(prompter_.LastText(), Text(ids::kUpgradeSucceeded));
    EXPECT_EQ(prompter_.Boxes()[1].icon, Prompter::Icon::Information);
    EXPECT_TRUE(upgrade_->InstrumentText().empty()); // cleared after every upgrade
    // The bar moves forward through the whole range.
    ASSERT_EQ(progress.Ranges().size(), 1u);
    EXPECT_EQ(progress.Ranges()[0], std::make_pair(0, n + n / 10));
    EXPECT_GT(progress.Positions().size(), 10u);
    EXPECT_TRUE(std::is_sorted(progress.Positions().begin(), progress.Positions().end()));
    EXPECT_EQ(progress.Texts().back().substr(progress.Texts().back().rfind('\n') + 1),
              Text(ids::kRestartingInstrument));
    EXPECT_EQ(EraseCodes(), (std::vector<int>{99, 1, 2, 3, 5, 6, 7, 4}));

    InstrumentProgramInfo after;
    ASSERT_TRUE(WaitForProgram(after));
    EXPECT_EQ(after.application.text1, "KEL7-7312");
    EXPECT_EQ(after.application.text2, "V1.06");
    EXPECT_EQ(after.bootLoader.text2, "V2.03");
    EXPECT_EQ(With(kAddress, [](sim::Kel7Model& m) { return m.Options().programNumber; }), 7312);
    EXPECT_EQ(With(kAddress, [](sim::Kel7Model& m) { return m.Options().programVersion; }), 106);
    EXPECT_TRUE(boxOwner_.Boxes().empty());
}

TEST_F(SoftwareUpgradeTest, ABootLoaderOnlyFileSkipsTheApplicationAndItsPositions) {
    Start(1024);
    // 999 blocks of code and the block with the information: N = 1000.
    auto bytes =
        sim::BuildFlashImage(1024, App(1, "V1.00"), Boot("V2.09"), false, true, 0, 999 * 128, 8);
    ASSERT_TRUE(upgrade_->SelectFile(File(bytes)));
    ASSERT_EQ(upgrade_->Image().Info().usedBlocks, 1000);
    ScriptedProgress progress;
    ASSERT_TRUE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, false))
        << prompter_.LastText();
    ASSERT_GE(progress.Positions().size(), 2u);
    EXPECT_EQ(progress.Positions()[0], 20);
    EXPECT_EQ(progress.Positions()[1], 80);
    EXPECT_EQ(progress.Ranges()[0], std::make_pair(0, 1100));
    EXPECT_EQ(EraseCodes(), std::vector<int>{1});
    InstrumentProgramInfo after;
    ASSERT_TRUE(WaitForProgram(after)); // the application was left in place
    EXPECT_EQ(after.bootLoader.text2, "V2.09");
    EXPECT_EQ(after.application.text1, "KEL7-7310");
}

TEST_F(SoftwareUpgradeTest, A512KbApplicationErasesSectorsTwoToSevenAfter99) {
    Start(512);
    ASSERT_TRUE(upgrade_->SelectFile(
        File(sim::BuildFlashImage(512, App(7400, "V2.00"), Boot(), true, false, 3000, 0, 4))));
    ScriptedProgress progress;
    ASSERT_TRUE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, false))
        << prompter_.LastText();
    EXPECT_EQ(EraseCodes(), (std::vector<int>{99, 2, 3, 4, 5, 6, 7}));
    InstrumentProgramInfo after;
    ASSERT_TRUE(WaitForProgram(after));
    EXPECT_EQ(after.application.text1, "KEL7-7400");
}

TEST_F(SoftwareUpgradeTest, NothingReachesTheBootLoaderWithoutAMatchingFile) {
    Start(256);
    ScriptedProgress progress;
    // No file yet.
    EXPECT_FALSE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_));
    EXPECT_EQ(prompter_.LastText(), Failure(ids::kNoFileSelected));
    // A PIR 7 image, then a KEL 7 image of another flash size.
    for (auto bytes : {sim::BuildFlashImage(256, App(1, "V1.00", 2001), Boot("V1", 2001)),
                       sim::BuildFlashImage(128, App(1, "V1.00"), Boot())}) {
        ASSERT_TRUE(upgrade_->SelectFile(File(bytes)));
        prompter_.Clear();
        EXPECT_FALSE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, false));
        EXPECT_EQ(prompter_.LastText(), Failure(ids::kNotCompatible));
        EXPECT_NE(upgrade_->InstrumentText().find("KEL 7"), std::string::npos);
    }
    // No to the question.
    EXPECT_FALSE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, true));
    bool entered = false;
    EXPECT_TRUE(EraseCodes(&entered).empty());
    EXPECT_FALSE(entered);
    EXPECT_TRUE(progress.Positions().empty());

    // A file damaged on disk after it was chosen: refused, the earlier result kept on show.
    const std::string path =
        File(sim::BuildFlashImage(256, App(7312, "V1.06"), Boot()), "changed.hex");
    ASSERT_TRUE(upgrade_->SelectFile(path));
    const std::string summary = upgrade_->FileText();
    File(std::vector<uint8_t>(1000, 0), "changed.hex");
    prompter_.Clear();
    EXPECT_FALSE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, false));
    EXPECT_EQ(prompter_.LastText(), Failure(ids::kNotUpgradeFile));
    EXPECT_EQ(upgrade_->FileText(), summary);
    EXPECT_TRUE(EraseCodes(&entered).empty());
    EXPECT_FALSE(entered);

    // A bad selection clears the path and the text.
    prompter_.Clear();
    EXPECT_FALSE(upgrade_->SelectFile(path));
    EXPECT_EQ(prompter_.LastText(), Text(ids::kNotUpgradeFile));
    EXPECT_TRUE(upgrade_->Path().empty());
    EXPECT_TRUE(upgrade_->FileText().empty());
}

TEST_F(SoftwareUpgradeTest, ABusFailureMidWayWarnsOfACorruptProgramAndARetryRecovers) {
    Start(256);
    ASSERT_TRUE(upgrade_->SelectFile(
        File(sim::BuildFlashImage(256, App(7320, "V1.20"), Boot(), true, false, 40000, 0, 6))));
    // The progress window goes before the outcome is shown, failure or success.
    std::vector<size_t> boxesWhenEnded;
    upgrade_->SetProcedureEnded([&] { boxesWhenEnded.push_back(prompter_.Boxes().size()); });
    ScriptedProgress progress;
    bool pulled = false;
    progress.OnPos([&](int) {
        // The cable goes after the first blocks of the application were sent.
        if (!pulled && progress.Positions().size() > 12) {
            pulled = true;
            bus_.InjectFault(kAddress, {.kind = sim::Fault::Silence, .count = 3});
        }
    });
    EXPECT_FALSE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, false));
    EXPECT_TRUE(pulled);
    EXPECT_EQ(prompter_.LastText(), Failure(ids::kProgramMayBeCorrupt));
    // The Retry/Cancel box was offered at the progress window, and cancelled.
    ASSERT_FALSE(boxOwner_.Boxes().empty());
    EXPECT_EQ(boxOwner_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
    // Half a program: the instrument stays in its boot loader, even after a restart.
    EXPECT_EQ(With(kAddress, [](sim::Kel7Model& m) { return m.State(); }), sim::kel7::kStateBoot);

    // The same upgrade again brings it back.
    bus_.ClearFaults();
    prompter_.Clear();
    ScriptedProgress again;
    ASSERT_TRUE(upgrade_->StartUpgrade(kAddress, again, boxOwner_, false)) << prompter_.LastText();
    InstrumentProgramInfo after;
    ASSERT_TRUE(WaitForProgram(after));
    EXPECT_EQ(after.application.text1, "KEL7-7320");
    EXPECT_NE(With(kAddress, [](sim::Kel7Model& m) { return m.State(); }), sim::kel7::kStateBoot);
    EXPECT_EQ(boxesWhenEnded, (std::vector<size_t>{0, 0}));
}

TEST_F(SoftwareUpgradeTest, TheAddressFieldTakesOneToTwoHundredFortySeven) {
    Start(256);
    int address = 0;
    for (auto [text, value] : {std::pair{" 5 ", 5}, {"1", 1}, {"247", 247}}) {
        EXPECT_TRUE(upgrade_->ReadAddress(text, address)) << text;
        EXPECT_EQ(address, value);
    }
    for (const char* text : {"", "  ", "0", "248", "-1", "5x", "x5", "0x10", "99999999999"}) {
        prompter_.Clear();
        address = 7;
        EXPECT_FALSE(upgrade_->ReadAddress(text, address)) << text;
        EXPECT_EQ(address, 7);
        EXPECT_EQ(prompter_.LastText(), "Please enter an integer between 1 and 247.");
    }
}

TEST_F(SoftwareUpgradeTest, ReadingTheInstrumentReportsWhatWentWrong) {
    Start(256);
    bus_.InjectFault(kAddress, {.kind = sim::Fault::Silence, .count = 100});
    EXPECT_FALSE(upgrade_->ReadInstrument(kAddress, "P\n"));
    EXPECT_EQ(upgrade_->InstrumentText(), Text(ids::kCommunicationError));
    EXPECT_EQ(prompter_.LastText(), "P\n" + Text(10031));
}

TEST_F(SoftwareUpgradeTest, ADefaultSetUpGoesToTheEnterRegisterOfAKel7) {
    Start(256);
    EXPECT_FALSE(upgrade_->MakeDefaultSetup(kAddress, true)); // answered No
    EXPECT_EQ(prompter_.Boxes()[0].text, Text(ids::kDefaultSetupQuestion) + " 5 ?");
    EXPECT_TRUE(prompter_.Boxes()[0].defaultNo);
    prompter_.Clear();
    EXPECT_TRUE(upgrade_->MakeDefaultSetup(kAddress, false));
    EXPECT_EQ(prompter_.LastText(), Text(ids::kDefaultSetupSucceeded));
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Information);
    EXPECT_GT(prompter_.WaitCursorShown(), 0);
    bool entered = false;
    EraseCodes(&entered);
    EXPECT_TRUE(entered);

    bus_.InjectFault(kAddress, {.kind = sim::Fault::Silence, .count = 100});
    prompter_.Clear();
    EXPECT_FALSE(upgrade_->MakeDefaultSetup(kAddress, false));
    EXPECT_EQ(prompter_.LastText(), Text(ids::kDefaultSetupFailed));
}

// The enter or restart command carried out with its answers lost (or answered with an exception
// all the same): the state says what happened, the report matches it, and the instrument is never
// left in its boot loader.
TEST_F(SoftwareUpgradeTest, ALostAnswerToEnterOrRestartIsSettledByTheState) {
    Start(256);
    const std::string path =
        File(sim::BuildFlashImage(256, App(7320, "V1.20"), Boot(), true, false, 40000, 0, 6));
    struct Case {
        const char* what;
        sim::FaultSpec fault;
    };
    const Case cases[] = {
        {"enter lost",
         {.kind = sim::Fault::Silence, .count = 11, .when = sim::RegistersWrite(bootreg::kEnter)}},
        {"enter answered with an exception",
         {.kind = sim::Fault::Exception,
          .count = 11,
          .when = sim::RegistersWrite(bootreg::kEnter)}},
        {"restart lost",
         {.kind = sim::Fault::Silence, .count = 3, .when = sim::RegistersWrite(bootreg::kRestart)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(upgrade_->SelectFile(path));
        prompter_.Clear();
        bus_.InjectFault(kAddress, c.fault);
        ScriptedProgress progress;
        EXPECT_TRUE(upgrade_->StartUpgrade(kAddress, progress, boxOwner_, false))
            << prompter_.LastText();
        bus_.ClearFaults();
        EXPECT_EQ(prompter_.LastText(), Text(ids::kUpgradeSucceeded));
        InstrumentProgramInfo after;
        ASSERT_TRUE(WaitForProgram(after));
        EXPECT_EQ(after.application.text1, "KEL7-7320");
        EXPECT_NE(With(kAddress, [](sim::Kel7Model& m) { return m.State(); }),
                  sim::kel7::kStateBoot);
    }
}

} // namespace
} // namespace quarnex::test
