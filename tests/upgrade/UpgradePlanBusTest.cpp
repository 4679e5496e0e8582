#include "upgrade/BootLoaderRegisters.h"
#include "upgrade/UpgradePlan.h"

#include "sim/Kel7Fixture.h"

#include "sim/FlashImage.h"

namespace quarnex::test {
namespace {

// The plan, sent as it stands to a simulated KEL 7, replaces its program: the plan's order,
// keys and blocks are what the instrument's boot loader accepts.
class UpgradePlanBusTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(5);
        MakeMaster();
    }

    CommStatus Write(int reg, const std::vector<uint16_t>& words) {
        return master_->WriteMultipleRegisters(5, reg, static_cast<int>(words.size()),
                                               words.data());
    }

    bool ReadInstrument(InstrumentProgramInfo& info) {
        uint16_t kb = 0;
        std::vector<uint16_t> app(bootreg::kInfoRegisters), boot(bootreg::kInfoRegisters);
        EXPECT_EQ(master_->ReadHoldingRegisters(5, bootreg::kFlashSize, 1, &kb), CommStatus::Ok);
        EXPECT_EQ(master_->ReadHoldingRegisters(5, bootreg::kAppInfo, 23, app.data()),
                  CommStatus::Ok);
        EXPECT_EQ(master_->ReadHoldingRegisters(5, bootreg::kBootInfo, 23, boot.data()),
                  CommStatus::Ok);
        return ParseInstrumentProgramInfo(kb, app, boot, info);
    }

    // Runs the steps; the wait after entering the boot loader is the real instrument's, the
    // simulated one is ready at once.
    void Run(const BootLoaderPlan& plan) {
        for (const BootLoaderStep& s : plan.steps) {
            switch (s.kind) {
            case BootLoaderStep::Kind::Enter:
                ASSERT_EQ(Write(bootreg::kEnter, EnterBootLoaderCommand()), CommStatus::Ok);
                break;
            case BootLoaderStep::Kind::Erase:
                ASSERT_EQ(Write(bootreg::kErase, EraseCommand(s.value)), CommStatus::Ok) << s.value;
                break;
            case BootLoaderStep::Kind::Program:
                ASSERT_EQ(Write(bootreg::kProgram, ProgramCommand(plan.blocks[s.block])),
                          CommStatus::Ok)
                    << plan.blocks[s.block].address;
                break;
            case BootLoaderStep::Kind::Restart:
                ASSERT_EQ(Write(bootreg::kRestart, RestartCommand()), CommStatus::Ok);
                break;
            default:
                break;
            }
        }
    }
};

TEST_F(UpgradePlanBusTest, ThePlanReplacesTheInstrumentsProgram) {
    InstrumentProgramInfo before;
    ASSERT_TRUE(ReadInstrument(before));
    const sim::ProgramInfo app{2003, 1310, 4, "KEL7-7312", "V1.06", "270101"};
    const sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.03", "270101"};
    UpgradeImage image;
    ASSERT_TRUE(
        image.ReadBytes(sim::BuildFlashImage(before.flashKb, app, boot, true, true, 9000, 2000, 21),
                        UpgradeImage::OnFailure::Clear));
    ASSERT_TRUE(IsCompatible(image, before)) << before.text;

    Run(PlanBootLoaderProcedure(image));

    InstrumentProgramInfo after;
    ASSERT_TRUE(ReadInstrument(after));
    EXPECT_EQ(after.application.text1, "KEL7-7312");
    EXPECT_EQ(after.application.setupDataVersion, 4u);
    EXPECT_EQ(after.bootLoader.text2, "V2.03");
    EXPECT_EQ(With(5, [](sim::Kel7Model& m) { return m.Flash(); }), image.Bytes());
}

} // namespace
} // namespace quarnex::test
