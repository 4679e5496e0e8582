#include "Kel7Fixture.h"

#include "sim/FlashImage.h"

namespace quarnex::test {
namespace {

using namespace sim::kel7;

class Kel7BootTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(3);
        MakeMaster();
    }

    CommStatus Key(int reg, const unsigned short* key, int words, int code = -1) {
        std::vector<uint16_t> v(key, key + words);
        if (code >= 0)
            v.push_back(static_cast<uint16_t>(code));
        return master_->WriteMultipleRegisters(3, reg, static_cast<int>(v.size()), v.data());
    }
    CommStatus Program(uint32_t address, const std::vector<uint8_t>& image, uint32_t from,
                       int words) {
        std::vector<uint16_t> v = {static_cast<uint16_t>(address >> 16),
                                   static_cast<uint16_t>(address)};
        for (int i = 0; i < words; ++i)
            v.push_back(static_cast<uint16_t>(image[from + 2 * i] << 8 | image[from + 2 * i + 1]));
        return master_->WriteMultipleRegisters(3, kBootProgram, static_cast<int>(v.size()),
                                               v.data());
    }
    // Sends every non-empty 128-byte block of [first, last] as the upgrade does.
    void ProgramArea(const std::vector<uint8_t>& image, uint32_t first, uint32_t last) {
        for (uint32_t a = first; a + 127 <= last; a += 128) {
            bool empty = true;
            for (uint32_t i = a; i < a + 128; ++i)
                empty = empty && image[i] == 0xFF;
            if (empty)
                continue;
            // The block at address 0 leaves out the reset vector: address 4, 62 words.
            const CommStatus s = a == 0 ? Program(4, image, 4, 62) : Program(a, image, a, 64);
            ASSERT_EQ(s, CommStatus::Ok) << a;
        }
    }
    std::vector<uint16_t> Info(int reg) {
        std::vector<uint16_t> v(23);
        EXPECT_EQ(master_->ReadHoldingRegisters(3, reg, 23, v.data()), CommStatus::Ok);
        return v;
    }
};

std::string InfoText(const std::vector<uint16_t>& info) {
    std::string s;
    for (int i = 3; i < 8; ++i) {
        s += static_cast<char>(info[i] >> 8);
        s += static_cast<char>(info[i] & 0xFF);
    }
    return s.substr(0, s.find('\0'));
}

TEST_F(Kel7BootTest, ProgramInformationBlocksAreKeyedByTheirStartRegister) {
    EXPECT_EQ(Reg(3, kFlashSize), 256);
    const auto boot = Info(kBootInfo), app = Info(kAppInfo);
    EXPECT_EQ(boot[0], 2003);
    EXPECT_EQ(InfoText(boot), "KEL7-BOOT");
    EXPECT_EQ(app[0], 2003);
    EXPECT_EQ(app[1], 1310);
    EXPECT_EQ(InfoText(app), "KEL7-7310");
    // The program text of the information window: 43001-43004 inside the application block.
    EXPECT_EQ(app[3], 0x4B45); // "KE"
}

TEST_F(Kel7BootTest, UpgradeRunsTheNewProgramAfterTheRestart) {
    sim::ProgramInfo app{2003, 1310, 3, "KEL7-7311", "V1.05", "261201"};
    sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.02", "261201"};
    const auto image = sim::BuildFlashImage(256, app, boot, true, true, 9000, 2000, 77);
    const auto layout = sim::LayoutForKb(256);
    ASSERT_TRUE(sim::ApplicationValid(image, layout));
    ASSERT_TRUE(sim::BootValid(image, layout));

    // Programming before the boot loader runs is refused.
    EXPECT_EQ(Key(kBootErase, kEraseKey, 3, 99), CommStatus::NegativeAcknowledge);
    EXPECT_EQ(Reg(3, 40007), kCeWrongState);
    EXPECT_EQ(Key(kBootEnter, kEraseKey, 3, 1), CommStatus::IllegalDataValue); // not the key
    ASSERT_EQ(Key(kBootEnter, kEnterKey, 4), CommStatus::Ok);
    EXPECT_EQ(Reg(3, 40008), kStateBoot);
    EXPECT_EQ(Program(0x100, image, 0x100, 64), CommStatus::NegativeAcknowledge); // not erased
    EXPECT_EQ(Reg(3, 40007), kCeNotNow);

    ASSERT_EQ(Key(kBootErase, kEraseKey, 3, 99), CommStatus::Ok);
    for (int code = 1; code <= 7; ++code) {
        if (code != layout.bootEraseCode) {
            ASSERT_EQ(Key(kBootErase, kEraseKey, 3, code), CommStatus::Ok);
        }
    }
    // Erased: the application block reads as empty flash.
    EXPECT_EQ(Info(kAppInfo)[0], 0xFFFF);
    ProgramArea(image, 0, layout.bootStart - 1);
    ProgramArea(image, layout.bootEnd + 1, layout.size - 1);
    ASSERT_EQ(Key(kBootErase, kEraseKey, 3, layout.bootEraseCode), CommStatus::Ok);
    ProgramArea(image, layout.bootStart, layout.bootEnd);
    EXPECT_EQ(Reg(3, 40008), kStateBoot);
    ASSERT_EQ(Key(kBootRestart, kRestartKey, 3, 99), CommStatus::Ok);

    EXPECT_EQ(With(3, [](sim::Kel7Model& m) { return m.Flash(); }), image);
    EXPECT_EQ(Reg(3, 40008), kStateNormal);
    EXPECT_EQ(InfoText(Info(kAppInfo)), "KEL7-7311");
    EXPECT_EQ(InfoText(Info(kBootInfo)), "KEL7-BOOT");
    EXPECT_EQ(Info(kAppInfo)[2], 3);
    EXPECT_EQ(Float(3, 40202), 7311.0f);
    EXPECT_EQ(Float(3, 40204), 105.0f);
    EXPECT_EQ(Float(3, 40396), 3.0f);
}

TEST_F(Kel7BootTest, BootLoaderOnlyUpgradeKeepsTheApplication) {
    // A file with only a boot loader: no erase start, just the boot-loader sector, its blocks
    // and the restart. The application that was there runs again afterwards.
    sim::ProgramInfo none{};
    sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.07", "261202"};
    const auto image = sim::BuildFlashImage(256, none, boot, false, true, 0, 2500, 5);
    const auto layout = sim::LayoutForKb(256);
    const auto before = InfoText(Info(kAppInfo));

    ASSERT_EQ(Key(kBootEnter, kEnterKey, 4), CommStatus::Ok);
    // An application sector still needs the erase start first.
    EXPECT_EQ(Key(kBootErase, kEraseKey, 3, layout.bootEraseCode == 1 ? 2 : 1),
              CommStatus::NegativeAcknowledge);
    EXPECT_EQ(Reg(3, 40007), kCeNotNow);
    ASSERT_EQ(Key(kBootErase, kEraseKey, 3, layout.bootEraseCode), CommStatus::Ok);
    ProgramArea(image, layout.bootStart, layout.bootEnd);
    ASSERT_EQ(Key(kBootRestart, kRestartKey, 3, 99), CommStatus::Ok);

    EXPECT_EQ(Reg(3, 40008), kStateNormal);
    EXPECT_EQ(InfoText(Info(kAppInfo)), before);
    const auto bootInfo = Info(kBootInfo);
    EXPECT_EQ(bootInfo[0], 2003);
    EXPECT_EQ(bootInfo[8], 0x5632); // "V2" of "V2.07"
    EXPECT_TRUE(With(3, [&](sim::Kel7Model& m) {
        return sim::BootValid(m.Flash(), layout) && sim::ApplicationValid(m.Flash(), layout);
    }));
}

TEST_F(Kel7BootTest, WrongApplicationChecksumKeepsTheBootState) {
    ASSERT_EQ(Key(kBootEnter, kEnterKey, 4), CommStatus::Ok);
    ASSERT_EQ(Key(kBootErase, kEraseKey, 3, 99), CommStatus::Ok);
    ASSERT_EQ(Key(kBootRestart, kRestartKey, 3, 99), CommStatus::Ok);
    EXPECT_EQ(Reg(3, 40008), kStateBoot);
    EXPECT_EQ(Reg(3, 40001), 2003); // the boot loader still tells what it is
    // The wrong restart code is refused.
    EXPECT_EQ(Key(kBootRestart, kRestartKey, 3, 98), CommStatus::IllegalDataValue);
}

TEST_F(Kel7BootTest, RestartIsSilentForAWhileThenStartsUp) {
    bus_.Detach(3);
    sim::Kel7Options options;
    options.restartMs = 500;
    options.startUpMs = 200;
    AddKel7(3, options);
    ASSERT_EQ(Key(kBootRestart, kRestartKey, 3, 99), CommStatus::Ok);
    uint16_t state = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(3, 40008, 1, &state), CommStatus::NoResponse);
    With(3, [](sim::Kel7Model& m) { m.Step(500); });
    EXPECT_EQ(Reg(3, 40008), kStateStartingUp);
    With(3, [](sim::Kel7Model& m) { m.Step(200); });
    EXPECT_EQ(Reg(3, 40008), kStateNormal);
}

TEST_F(Kel7BootTest, DefaultSetupKeyRestoresTheFactorySetup) {
    ASSERT_EQ(Coil(3, kCoilRemoteSetup), CommStatus::Ok);
    ASSERT_EQ(WriteFloat(3, 41000 + 2 * 16, 3000.0f), CommStatus::Ok);
    // Not while in remote set-up.
    EXPECT_EQ(Key(kBootEnter, kDefaultKey, 4), CommStatus::NegativeAcknowledge);
    ASSERT_EQ(Coil(3, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(Float(3, 41000 + 2 * 16), 3000.0f);
    ASSERT_EQ(Key(kBootEnter, kDefaultKey, 4), CommStatus::Ok);
    EXPECT_EQ(Float(3, 41000 + 2 * 16), 1000.0f);
    EXPECT_EQ(Reg(3, 40008), kStateNormal);
}

} // namespace
} // namespace quarnex::test
