#include "Kel7Fixture.h"

#include "sim/FamilyModel.h"

#include <cstring>

namespace quarnex::test {
namespace {

using namespace sim::kel7;

class Kel7LiveTest : public Kel7Fixture {};

TEST_F(Kel7LiveTest, IdentifiesItselfInTheLiveAndIdentificationBlocks) {
    sim::Kel7Options options;
    options.serialNumber = 123456;
    AddKel7(5, options);
    MakeMaster();
    uint16_t live[30] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(5, 40001, 30, live), CommStatus::Ok);
    EXPECT_EQ(live[0], 2003);
    EXPECT_EQ(live[3], 0x0001); // 123456 = 0x0001E240
    EXPECT_EQ(live[4], 0xE240);
    EXPECT_EQ(live[7], kStateNormal);
    EXPECT_EQ(live[8], 0);

    float id[5] = {}, block[15] = {};
    ASSERT_EQ(master_->ReadFloatRegisters(5, 40200, 5, id), CommStatus::Ok);
    ASSERT_EQ(master_->ReadFloatRegisters(5, 40370, 15, block), CommStatus::Ok);
    EXPECT_EQ(id[0], 2003.0f);
    EXPECT_EQ(id[4], 123456.0f);
    EXPECT_EQ(static_cast<int>(block[0]) & 16, 16); // batching
    EXPECT_EQ(static_cast<int>(block[0]) & 2, 2);   // flow rate
    EXPECT_EQ(block[5], 41000.0f);                  // first normal
    EXPECT_EQ(block[6], 159.0f);
    EXPECT_EQ(block[7], 41338.0f); // first special: first normal + 338
    EXPECT_EQ(block[4], 54.0f);    // strings
    EXPECT_EQ(block[12], 1310.0f); // set-up version
    EXPECT_EQ(Float(5, 40368), 0.0f);
}

TEST_F(Kel7LiveTest, VariantsReportWhatTheyAre) {
    sim::Kel7Options v1300, v1311, many, bare;
    v1300.setupVersion = 1300;
    v1311.setupVersion = 1311;
    many.normalCount = 160;
    many.stringCount = 55;
    bare.batchingOption = false;
    bare.flowRateOption = false;
    bare.specialCount = 0;
    AddKel7(1, v1300);
    AddKel7(2, v1311);
    AddKel7(3, many);
    AddKel7(4, bare);
    MakeMaster();
    EXPECT_EQ(Float(1, 40394), 1300.0f);
    EXPECT_EQ(Float(2, 40394), 1311.0f);
    EXPECT_EQ(Float(3, 40382), 160.0f);
    EXPECT_EQ(Float(3, 40378), 55.0f);
    float last = 0;
    EXPECT_EQ(master_->ReadFloatRegisters(3, 41000 + 2 * 159, 1, &last), CommStatus::Ok);
    EXPECT_EQ(Float(4, 40370), 0.0f);
    EXPECT_EQ(Float(4, 40386), 0.0f);
    // Without special parameters there is no special block to read.
    float special = 0;
    EXPECT_EQ(master_->ReadFloatRegisters(4, 41338, 1, &special), CommStatus::IllegalDataAddress);
    // Without the batching option the batch set-up cannot be entered.
    ExpectRefused(4, kCoilBatchEnter, kCeOptionDisabled, CommStatus::IllegalDataValue);
}

TEST_F(Kel7LiveTest, OtherFamilyMembersAnswerTheirTypeCodes) {
    const int codes[] = {2001, 2002, 2004, 2006, 2007, 2008, 2009, 2010, 2011};
    int address = 10;
    for (int code : codes)
        bus_.Attach(address++, sim::MakeFamilyModel(code));
    MakeMaster();
    address = 10;
    for (int code : codes) {
        uint16_t live[17] = {};
        ASSERT_EQ(master_->ReadHoldingRegisters(address, 40001, 17, live), CommStatus::Ok) << code;
        EXPECT_EQ(live[0], code);
        EXPECT_EQ(Float(address, 40200), static_cast<float>(code));
        EXPECT_NE(Float(address, 40394), 1310.0f) << code;
        uint16_t info[23] = {};
        ASSERT_EQ(master_->ReadHoldingRegisters(address, 42996, 23, info), CommStatus::Ok);
        EXPECT_EQ(info[0], code);
        ++address;
    }
    // The default set-up key: PIR 7, FLIN 7 and TIG 7 take it at 41950, the others at 48000.
    const uint16_t key[4] = {kDefaultKey[0], kDefaultKey[1], kDefaultKey[2], kDefaultKey[3]};
    EXPECT_EQ(master_->WriteMultipleRegisters(10, 41950, 4, key), CommStatus::Ok); // PIR 7
    EXPECT_EQ(master_->WriteMultipleRegisters(13, 41950, 4, key), CommStatus::Ok); // FLIN 7
    EXPECT_EQ(master_->WriteMultipleRegisters(18, 41950, 4, key), CommStatus::Ok); // TIG 7
    EXPECT_EQ(master_->WriteMultipleRegisters(12, 48000, 4, key), CommStatus::Ok); // YAX 7
    EXPECT_EQ(master_->WriteMultipleRegisters(12, 41950, 4, key), CommStatus::IllegalDataAddress);
    EXPECT_EQ(bus_.WithModel<sim::FamilyModel>(10, [](auto& m) { return m.DefaultSetups(); }), 1);
}

TEST_F(Kel7LiveTest, WeightFollowsTheLoadWithDecimalsMotionAndZero) {
    AddKel7(1);
    MakeMaster();
    // Factory: resolution 0.1 -> one decimal; an empty scale shows zero.
    EXPECT_EQ(Reg(1, 40014), 1);
    EXPECT_EQ(Reg(1, 40010) & kStatusZero, kStatusZero);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(123.44); });
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 123.4);
    EXPECT_EQ(Reg(1, 40010), 0); // settled, not zero, gross
    EXPECT_NEAR(Weight(1, 40027), 0.1 + 123.44 * 0.002, 1e-5);

    // A load that moves shows motion until it has settled for the no-motion delay (0.5 s).
    With(1, [](sim::Kel7Model& m) {
        m.RampLoad(200.0, 1000);
        m.Step(400);
    });
    EXPECT_EQ(Reg(1, 40010) & kStatusMotion, kStatusMotion);
    const double moving = Weight(1, 40012);
    EXPECT_GT(moving, 123.4);
    EXPECT_LT(moving, 200.0);
    With(1, [](sim::Kel7Model& m) { m.Step(700); });
    EXPECT_EQ(Reg(1, 40010) & kStatusMotion, kStatusMotion); // still inside the delay
    With(1, [](sim::Kel7Model& m) { m.Step(600); });
    EXPECT_EQ(Reg(1, 40010), 0);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 200.0);

    // Another resolution changes the decimals (set directly, as a saved set-up would).
    With(1, [](sim::Kel7Model& m) { m.SetNormalValue(15, 2); }); // 0.005 -> 3 decimals
    EXPECT_EQ(Reg(1, 40014), 3);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 200.0);
}

TEST_F(Kel7LiveTest, OverloadAndOverRangeShowAsErrors) {
    AddKel7(1);
    MakeMaster();
    With(1, [](sim::Kel7Model& m) { m.SetLoad(1060.0); }); // limit 1050
    EXPECT_EQ(Reg(1, 40009), kErrOverload);
    EXPECT_EQ(Reg(1, 40008), kStateNormal); // still in normal state
    ExpectRefused(1, kCoilTare, kCeNotNormal, CommStatus::NegativeAcknowledge);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(1600.0); }); // beyond the converter
    EXPECT_EQ(Reg(1, 40009), kErrOverRange);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(10.0); });
    EXPECT_EQ(Reg(1, 40009), 0);
}

TEST_F(Kel7LiveTest, WeighingCommandsAndTheirRefusals) {
    AddKel7(1);
    MakeMaster();
    // Net without a tare, tare on a negative gross, tare while moving.
    ExpectRefused(1, kCoilNet, kCeNoTare, CommStatus::IllegalDataValue);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(-5.0); });
    ExpectRefused(1, kCoilTare, kCeNegativeGross, CommStatus::IllegalDataValue);
    With(1, [](sim::Kel7Model& m) {
        m.SetLoad(40.0);
        m.SetMotion(true);
    });
    ExpectRefused(1, kCoilTare, kCeUnstable, CommStatus::NegativeAcknowledge);
    ExpectRefused(1, kCoilZero, kCeUnstable, CommStatus::NegativeAcknowledge);
    With(1, [](sim::Kel7Model& m) { m.SetMotion(false); });
    // Zero setting only within 2 % of capacity.
    ExpectRefused(1, kCoilZero, kCeZeroLimits, CommStatus::IllegalDataValue);

    // Tare: net mode, net weight zero; more load shows on the net weight.
    EXPECT_EQ(Coil(1, kCoilTare), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40010) & kStatusNet, kStatusNet);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(65.5); });
    EXPECT_DOUBLE_EQ(Weight(1, 40015), 25.5);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 65.5);
    ExpectRefused(1, kCoilZero, kCeNetMode, CommStatus::IllegalDataValue);
    EXPECT_EQ(Coil(1, kCoilGross), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40010) & kStatusNet, 0);
    EXPECT_EQ(Coil(1, kCoilNet), CommStatus::Ok); // the tare is kept
    EXPECT_EQ(Reg(1, 40010) & kStatusNet, kStatusNet);
    EXPECT_EQ(Coil(1, kCoilGross), CommStatus::Ok);

    // Zero within the limits: a small load becomes the new zero.
    With(1, [](sim::Kel7Model& m) { m.SetLoad(12.0); });
    EXPECT_EQ(Coil(1, kCoilZero), CommStatus::Ok);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 0.0);
    EXPECT_EQ(Reg(1, 40010) & kStatusZero, kStatusZero);

    // Outside normal state every weighing command is refused with 127.
    With(1, [](sim::Kel7Model& m) { m.SetState(kStateWaitForStart); });
    for (int coil : {kCoilTare, kCoilZero, kCoilGross, kCoilNet})
        ExpectRefused(1, coil, kCeNotNormal, CommStatus::NegativeAcknowledge);
    // A refusal leaves the reason until the next one.
    EXPECT_EQ(Coil(1, kCoilStart), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40007), kCeNotNormal);
    EXPECT_EQ(Reg(1, 40008), kStateNormal);
}

TEST_F(Kel7LiveTest, StartsUpThroughWarmingUpToWaitForStartOrNormal) {
    sim::Kel7Options command, automatic;
    command.startUp = automatic.startUp = true;
    command.startUpMs = automatic.startUpMs = 1000;
    command.warmUpMs = automatic.warmUpMs = 2000;
    command.startByCommand = true;
    AddKel7(1, command);
    AddKel7(2, automatic);
    MakeMaster();
    EXPECT_EQ(Reg(1, 40008), kStateStartingUp);
    With(1, [](sim::Kel7Model& m) { m.Step(1000); });
    With(2, [](sim::Kel7Model& m) { m.Step(1000); });
    EXPECT_EQ(Reg(1, 40008), kStateWarmingUp);
    EXPECT_EQ(Reg(2, 40008), kStateWarmingUp);
    With(1, [](sim::Kel7Model& m) { m.Step(2000); });
    With(2, [](sim::Kel7Model& m) { m.Step(2000); });
    EXPECT_EQ(Reg(1, 40008), kStateWaitForStart);
    EXPECT_EQ(Float(1, 41002), 0.0f); // "Start mode:" Command
    EXPECT_EQ(Reg(2, 40008), kStateNormal);
    EXPECT_EQ(Coil(1, kCoilStart), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateNormal);
    With(1, [](sim::Kel7Model& m) { m.SetState(kStateBoot); });
    ExpectRefused(1, kCoilStart, kCeWrongState, CommStatus::NegativeAcknowledge);
}

TEST_F(Kel7LiveTest, TestsCanPinStatesErrorsAndRegisters) {
    AddKel7(1);
    MakeMaster();
    With(1, [](sim::Kel7Model& m) {
        m.SetState(12);
        m.SetError(97);
        m.SetIoStatus(kIoBusFaulty);
        m.Pin(40014, 9);
    });
    uint16_t live[17] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, live), CommStatus::Ok);
    EXPECT_EQ(live[7], 12);
    EXPECT_EQ(live[8], 97);
    EXPECT_EQ(live[10], kIoBusFaulty);
    EXPECT_EQ(live[13], 9);
    EXPECT_EQ(live[16], 1); // the net weight keeps its own decimals
    With(1, [](sim::Kel7Model& m) {
        m.UnpinAll();
        m.SetError(0);
    });
    EXPECT_EQ(Reg(1, 40014), 1);
    EXPECT_EQ(Reg(1, 40009), 0);
}

TEST_F(Kel7LiveTest, LevelsSetpointsAndNameAreReadAndWritten) {
    AddKel7(1);
    MakeMaster();
    // Level 1 watches the net weight, active above its value (100 by default).
    With(1, [](sim::Kel7Model& m) {
        m.SetLoad(150.0);
        m.SetSetpoints(300.0, 450.5);
    });
    EXPECT_EQ(Reg(1, 40045) & 1, 1);
    EXPECT_EQ(WriteFloat(1, 41826, 175.5f), CommStatus::Ok); // in normal state
    EXPECT_EQ(Reg(1, 40045) & 1, 0);
    EXPECT_DOUBLE_EQ(Weight(1, 44039), 175.5);
    EXPECT_DOUBLE_EQ(Weight(1, 40031), 300.0);
    EXPECT_DOUBLE_EQ(Weight(1, 40034), 450.5);

    // The name: packed text, written by the information window in normal state.
    const uint16_t text[6] = {0x5369, 0x6C6F, 0x2034, 0x2020, 0x2020, 0x2020}; // "Silo 4"
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 44696, 6, text), CommStatus::Ok);
    uint16_t back[6] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 44696, 6, back), CommStatus::Ok);
    EXPECT_EQ(std::memcmp(text, back, sizeof text), 0);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.Name(); }), "Silo 4      ");
}

} // namespace
} // namespace quarnex::test
