#include "upgrade/UpgradePlan.h"
#include "upgrade/BootLoaderRegisters.h"

#include "sim/FlashImage.h"
#include "sim/Kel7Registers.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

using Kind = BootLoaderStep::Kind;

const sim::ProgramInfo kApp{2003, 1310, 12, "KEL7-7311", "V1.05", "261201"};
const sim::ProgramInfo kBoot{2003, 0, 0, "KEL7-BOOT", "V2.02", "261130"};

UpgradeImage Read(const std::vector<uint8_t>& bytes) {
    UpgradeImage image;
    EXPECT_TRUE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear));
    return image;
}

std::vector<int> Values(const BootLoaderPlan& plan, Kind kind) {
    std::vector<int> out;
    for (const BootLoaderStep& s : plan.steps)
        if (s.kind == kind)
            out.push_back(s.value);
    return out;
}

TEST(UpgradePlan, RegistersAndKeysAreTheInstrumentsOwn) {
    namespace k = sim::kel7;
    EXPECT_EQ(bootreg::kFlashSize, k::kFlashSize);
    EXPECT_EQ(bootreg::kBootInfo, k::kBootInfo);
    EXPECT_EQ(bootreg::kAppInfo, k::kAppInfo);
    EXPECT_EQ(bootreg::kEnter, k::kBootEnter);
    EXPECT_EQ(bootreg::kErase, k::kBootErase);
    EXPECT_EQ(bootreg::kRestart, k::kBootRestart);
    EXPECT_EQ(bootreg::kProgram, k::kBootProgram);
    EXPECT_EQ(bootreg::kDefaultSetupAlt, k::kDefaultSetupAlt);
    EXPECT_EQ(EnterBootLoaderCommand(), std::vector<uint16_t>(k::kEnterKey, k::kEnterKey + 4));
    EXPECT_EQ(DefaultSetupCommand(), std::vector<uint16_t>(k::kDefaultKey, k::kDefaultKey + 4));
    const std::vector<uint16_t> erase = EraseCommand(5);
    EXPECT_EQ(erase, (std::vector<uint16_t>{k::kEraseKey[0], k::kEraseKey[1], k::kEraseKey[2], 5}));
    EXPECT_EQ(RestartCommand(),
              (std::vector<uint16_t>{k::kRestartKey[0], k::kRestartKey[1], k::kRestartKey[2], 99}));
    EXPECT_EQ(ProgramCommand({0x12380, {0xABCD}}), (std::vector<uint16_t>{0x0001, 0x2380, 0xABCD}));
}

TEST(UpgradePlan, BlocksLeaveOutTheResetVectorTheBootAreaAndErasedFlash) {
    auto bytes = sim::BuildFlashImage(128, kApp, kBoot, true, true, 6000, 1500, 3);
    FlashLayout l;
    ASSERT_TRUE(FlashLayoutForLength(bytes.size(), l));
    // An erased word inside a block does not make it empty; a block erased but for one byte is
    // sent.
    bytes[0x8000 + 77] = 0x00;

    const auto app = ApplicationBlocks(bytes, l);
    ASSERT_EQ(app.size(), 47u + 1 + 1);
    EXPECT_EQ(app[0].address, 4u);
    ASSERT_EQ(app[0].words.size(), 62u);
    EXPECT_EQ(app[0].words[0], bytes[4] << 8 | bytes[5]);
    EXPECT_EQ(app[0].words[61], bytes[126] << 8 | bytes[127]);
    EXPECT_EQ(app[1].address, 128u);
    EXPECT_EQ(app[1].words.size(), 64u);
    EXPECT_EQ(app[47].address, 0x8000u);
    EXPECT_EQ(app[47].words[38], 0xFF00);
    EXPECT_EQ(app.back().address, l.size - 128);
    EXPECT_EQ(app.back().words.back(), bytes[l.size - 2] << 8 | bytes[l.size - 1]);
    for (const ProgramBlock& b : app)
        EXPECT_FALSE(l.InBootArea(b.address)) << b.address;

    const auto boot = BootLoaderBlocks(bytes, l);
    ASSERT_EQ(boot.size(), 12u + 1);
    EXPECT_EQ(boot[0].address, l.bootStart);
    EXPECT_EQ(boot.back().address, l.bootEnd + 1 - 128);
    for (const ProgramBlock& b : boot)
        EXPECT_EQ(b.words.size(), 64u);

    // Only the reset vector in the first block: nothing of it is sent.
    std::vector<uint8_t> vectorOnly(l.size, 0xFF);
    vectorOnly[0] = 0x02;
    EXPECT_TRUE(ApplicationBlocks(vectorOnly, l).empty());
    // A buffer that does not fit the layout gives no blocks.
    EXPECT_TRUE(ApplicationBlocks(std::span(bytes).first(1000), l).empty());
    EXPECT_TRUE(BootLoaderBlocks(std::span(bytes).first(1000), l).empty());
}

TEST(UpgradePlan, EraseOrderFollowsTheLayout) {
    auto codes = [](int kb) {
        UpgradeImage image = Read(sim::BuildFlashImage(kb, kApp, kBoot));
        return Values(PlanBootLoaderProcedure(image), Kind::Erase);
    };
    // The application's sectors after 99, the boot loader's own sector last.
    EXPECT_EQ(codes(128), (std::vector<int>{99, 1, 2, 3, 5, 6, 7, 4}));
    EXPECT_EQ(codes(256), (std::vector<int>{99, 1, 2, 3, 5, 6, 7, 4}));
    EXPECT_EQ(codes(512), (std::vector<int>{99, 2, 3, 4, 5, 6, 7, 1}));
    EXPECT_EQ(codes(1024), (std::vector<int>{99, 2, 3, 4, 5, 6, 7, 1}));

    UpgradeImage appOnly = Read(sim::BuildFlashImage(512, kApp, kBoot, true, false));
    EXPECT_EQ(Values(PlanBootLoaderProcedure(appOnly), Kind::Erase),
              (std::vector<int>{99, 2, 3, 4, 5, 6, 7}));
    UpgradeImage bootOnly = Read(sim::BuildFlashImage(512, kApp, kBoot, false, true));
    EXPECT_EQ(Values(PlanBootLoaderProcedure(bootOnly), Kind::Erase), (std::vector<int>{1}));
    EXPECT_TRUE(ApplicationEraseCodes(bootOnly.Info()).empty());

    // Nothing is planned for an image that was not read.
    EXPECT_TRUE(PlanBootLoaderProcedure(UpgradeImage()).steps.empty());
}

TEST(UpgradePlan, ABootLoaderAloneStartsItsSectorAtTheRightPosition) {
    // 999 blocks of code and the block with the program information: N = 1000.
    UpgradeImage image =
        Read(sim::BuildFlashImage(1024, kApp, kBoot, false, true, 0, 999 * 128, 11));
    ASSERT_EQ(image.Info().usedBlocks, 1000);
    const BootLoaderPlan plan = PlanBootLoaderProcedure(image);
    EXPECT_EQ(plan.rangeLow, 0);
    EXPECT_EQ(plan.rangeHigh, 1100);
    EXPECT_EQ(plan.step, 5);

    const auto& s = plan.steps;
    ASSERT_GE(s.size(), 8u);
    EXPECT_EQ(s[0].kind, Kind::Message);
    EXPECT_EQ(s[0].text, "Initiating instrument for software upgrade ........");
    EXPECT_EQ(s[1].kind, Kind::Position);
    EXPECT_EQ(s[1].value, 20);
    EXPECT_EQ(s[2].kind, Kind::Enter);
    EXPECT_EQ(s[3].kind, Kind::Wait);
    EXPECT_EQ(s[3].value, 3000);
    EXPECT_EQ(s[4].kind, Kind::Message);
    EXPECT_EQ(s[4].text, "Initiating instrument for software upgrade ........\n"
                         "Programming bootloader program .......");
    EXPECT_EQ(s[5].kind, Kind::Position);
    EXPECT_EQ(s[5].value, 80);
    EXPECT_EQ(s[6].kind, Kind::Erase);
    EXPECT_EQ(s[6].value, 1);

    // Every 4th block shows the position, which counts the blocks sent.
    ASSERT_EQ(plan.blocks.size(), 1000u);
    const auto positions = Values(plan, Kind::Position);
    ASSERT_EQ(positions.size(), 2u + 250);
    EXPECT_EQ(positions[2], 84);
    EXPECT_EQ(positions.back(), 1080);
    EXPECT_EQ(s[s.size() - 2].text.substr(s[s.size() - 2].text.rfind('\n') + 1),
              "Restarting the instrument ........");
    EXPECT_EQ(s.back().kind, Kind::Restart);
}

TEST(UpgradePlan, AWholeImageRunsInTheInstrumentsOrder) {
    UpgradeImage image =
        Read(sim::BuildFlashImage(256, kApp, kBoot, true, true, 1000 * 128, 20 * 128, 4));
    const int n = image.Info().usedBlocks;
    ASSERT_EQ(n, 1000 + 1 + 20 + 1);
    const BootLoaderPlan plan = PlanBootLoaderProcedure(image);
    EXPECT_EQ(plan.rangeHigh, n + n / 10);

    std::string kinds;
    for (const BootLoaderStep& s : plan.steps)
        kinds += "MPEWXGR"[static_cast<int>(s.kind)];
    // Message, position, enter, wait; erase 99 and six sectors, each after a position; the
    // application's 1001 blocks with a position after every 10th; the boot loader's sector and
    // 21 blocks with a position after every 4th; restart.
    std::string expected = "MPEWMPX";
    for (int i = 0; i < 6; ++i)
        expected += "PX";
    expected += "M";
    for (int i = 1; i <= 1001; ++i)
        expected += i % 10 == 0 ? "GP" : "G";
    expected += "MPX";
    for (int i = 1; i <= 21; ++i)
        expected += i % 4 == 0 ? "GP" : "G";
    expected += "MR";
    EXPECT_EQ(kinds, expected);

    const auto positions = Values(plan, Kind::Position);
    // N / 50, then N / 100 more before the erase and before each sector.
    EXPECT_EQ(positions[0], n / 50);
    EXPECT_EQ(positions[1], n / 50 + n / 100);
    EXPECT_EQ(positions[7], n / 50 + 7 * (n / 100));
    EXPECT_EQ(positions[8], positions[7] + 10);
    // The boot loader's start: the application's 1001 blocks, then (N / 10) / 10 more.
    EXPECT_EQ(positions[8 + 100], positions[7] + 1001 + (n / 10) / 10);

    // The program steps name the application's blocks first, then the boot loader's.
    std::vector<uint32_t> addresses;
    for (const BootLoaderStep& s : plan.steps)
        if (s.kind == Kind::Program)
            addresses.push_back(plan.blocks.at(s.block).address);
    ASSERT_EQ(addresses.size(), 1022u);
    EXPECT_EQ(addresses[0], 4u);
    EXPECT_EQ(addresses[1000], 0x3FF80u);
    EXPECT_EQ(addresses[1001], 0x20000u);
    EXPECT_EQ(addresses.back(), 0x27F80u);

    const std::string& last = plan.steps[plan.steps.size() - 2].text;
    EXPECT_EQ(last, "Initiating instrument for software upgrade ........\n"
                    "Erasing flash memory ........\n"
                    "Programming application program ........\n"
                    "Programming bootloader program .......\n"
                    "Restarting the instrument ........");
}

std::vector<uint16_t> Registers(const sim::ProgramInfo& info) {
    uint8_t bytes[46];
    sim::WriteInfoBlock(info, bytes);
    std::vector<uint16_t> regs(23);
    for (size_t i = 0; i < regs.size(); ++i)
        regs[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return regs;
}

TEST(UpgradePlan, InstrumentInformationAndCompatibility) {
    sim::ProgramInfo app = kApp, boot = kBoot;
    app.checksum = 0x1A2B;
    boot.checksum = 0x00C3;
    InstrumentProgramInfo instrument;
    ASSERT_TRUE(ParseInstrumentProgramInfo(256, Registers(app), Registers(boot), instrument));
    EXPECT_EQ(instrument.text,
              "Instrument type: KEL 7 (256Kb)\r\n"
              "Application program: KEL7-7311 (V1.05, 261201, Chk=1A2B, Sv=1310, Sd=12)\r\n"
              "Boot loader program: KEL7-BOOT (V2.02, 261130, Chk=00C3)");

    // An erased application (all 0xFFFF) has no information; the boot loader's block must hold.
    const std::vector<uint16_t> erased(23, 0xFFFF);
    ASSERT_TRUE(ParseInstrumentProgramInfo(256, erased, Registers(boot), instrument));
    EXPECT_EQ(instrument.text, "Instrument type: KEL 7 (256Kb)\r\nNo information available !\r\n"
                               "Boot loader program: KEL7-BOOT (V2.02, 261130, Chk=00C3)");
    EXPECT_FALSE(ParseInstrumentProgramInfo(256, Registers(app), erased, instrument));
    EXPECT_EQ(instrument.text, "");

    // Compatibility: the boot loader's type and the flash size.
    ASSERT_TRUE(ParseInstrumentProgramInfo(256, Registers(app), Registers(boot), instrument));
    EXPECT_TRUE(IsCompatible(Read(sim::BuildFlashImage(256, kApp, kBoot)), instrument));
    EXPECT_FALSE(IsCompatible(Read(sim::BuildFlashImage(512, kApp, kBoot)), instrument));
    sim::ProgramInfo pirApp = kApp, pirBoot = kBoot;
    pirApp.typeCode = pirBoot.typeCode = 2001;
    EXPECT_FALSE(IsCompatible(Read(sim::BuildFlashImage(256, pirApp, pirBoot)), instrument));
    // The file's type is its application's even when the instrument's application differs.
    sim::ProgramInfo flinApp = kApp;
    flinApp.typeCode = 2006;
    ASSERT_TRUE(ParseInstrumentProgramInfo(256, Registers(flinApp), Registers(boot), instrument));
    EXPECT_TRUE(IsCompatible(Read(sim::BuildFlashImage(256, kApp, kBoot)), instrument));
    EXPECT_FALSE(IsCompatible(UpgradeImage(), instrument));
}

TEST(UpgradePlan, DefaultSetupRegisterByType) {
    EXPECT_EQ(DefaultSetupRegister(itype::kPir7), 41950);
    EXPECT_EQ(DefaultSetupRegister(itype::kFlin7), 41950);
    EXPECT_EQ(DefaultSetupRegister(itype::kTig7), 41950);
    for (InstrumentType t : {0, 2, 3, 5, 6, 7, 8, 10, 11})
        EXPECT_EQ(DefaultSetupRegister(t), 48000) << t;
}

} // namespace
} // namespace quarnex
