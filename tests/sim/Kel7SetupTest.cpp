#include "Kel7Fixture.h"

#include <cstring>

namespace quarnex::test {
namespace {

using namespace sim::kel7;

int NormalReg(int i) {
    return 41000 + 2 * i;
}

class Kel7SetupTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
    }
    // A refused write: the exception, then the reason in 40007.
    void ExpectWriteRefused(int reg, float value, int code, CommStatus exception) {
        EXPECT_EQ(WriteFloat(1, reg, value), exception) << reg << " = " << value;
        EXPECT_EQ(Reg(1, 40007), code) << reg << " = " << value;
    }
};

TEST_F(Kel7SetupTest, FactorySetupIsReadInBlocksOfFifty) {
    float values[159] = {};
    for (int first = 0; first < 159; first += 50) {
        const int n = std::min(50, 159 - first);
        ASSERT_EQ(master_->ReadFloatRegisters(1, NormalReg(first), n, values + first),
                  CommStatus::Ok);
    }
    EXPECT_EQ(values[1], 1.0f);     // Start mode: Auto
    EXPECT_EQ(values[14], 2.0f);    // kg
    EXPECT_EQ(values[16], 1000.0f); // capacity
    EXPECT_EQ(values[19], 400.0f);  // standard filter time
    EXPECT_EQ(values[57], 1.0f);    // its own address
    EXPECT_EQ(values[158], 2.0f);
    // Reading past the last normal value reaches outside the block.
    float beyond[2];
    EXPECT_EQ(master_->ReadFloatRegisters(1, NormalReg(158), 2, beyond),
              CommStatus::IllegalDataAddress);
}

TEST_F(Kel7SetupTest, SetupWritesNeedRemoteSetupAndPassTheRangeChecks) {
    ExpectWriteRefused(NormalReg(16), 500.0f, kCeSaveNotAllowed, CommStatus::NegativeAcknowledge);
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateRemoteSetup);
    EXPECT_EQ(Reg(1, 40009), kErrRemoteSetup);
    ExpectWriteRefused(NormalReg(57), 248.0f, kCeOverrange, CommStatus::IllegalDataValue);
    ExpectWriteRefused(NormalReg(57), 0.0f, kCeUnderrange, CommStatus::IllegalDataValue);
    ExpectWriteRefused(NormalReg(57), 12.5f, kCeIllegalValue, CommStatus::IllegalDataValue);
    ExpectWriteRefused(NormalReg(14), 23.0f, kCeChoice, CommStatus::IllegalDataValue);
    ExpectWriteRefused(NormalReg(16), 999999.0f, kCeCapacityDigits, CommStatus::IllegalDataValue);
    // A write that starts in the middle of a value, or a single register, names the fault.
    const uint16_t two[2] = {0x4000, 0};
    EXPECT_EQ(master_->WriteMultipleRegisters(1, NormalReg(16) + 1, 2, two),
              CommStatus::IllegalDataValue);
    EXPECT_EQ(Reg(1, 40007), kCeIllegalStart);
    EXPECT_EQ(master_->WriteSingleRegister(1, NormalReg(16), 0x4000), CommStatus::IllegalDataValue);
    EXPECT_EQ(Reg(1, 40007), kCeIllegalCount);
    // Live registers are not set-up.
    EXPECT_EQ(master_->WriteSingleRegister(1, 40008, 2), CommStatus::IllegalDataValue);
    EXPECT_EQ(Reg(1, 40007), kCeIllegalRegister);
    EXPECT_EQ(Float(1, NormalReg(16)), 1000.0f);
}

TEST_F(Kel7SetupTest, SavedAddressMovesTheInstrumentDiscardedDoesNot) {
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(57), 9.0f), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateRemoteSetup); // still at 1 while in set-up
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40001), 2003);
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(57), 9.0f), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok); // answered from the old address
    EXPECT_EQ(Reg(9, 40001), 2003);
    uint16_t v = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &v), CommStatus::NoResponse);

    // A default set-up leaves it where it is, and its set-up still names that address, so the
    // next save does not move it away either.
    const uint16_t key[4] = {kDefaultKey[0], kDefaultKey[1], kDefaultKey[2], kDefaultKey[3]};
    ASSERT_EQ(master_->WriteMultipleRegisters(9, kBootEnter, 4, key), CommStatus::Ok);
    EXPECT_EQ(Float(9, NormalReg(57)), 9.0f);
    ASSERT_EQ(Coil(9, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(9, NormalReg(16), 2000.0f), CommStatus::Ok);
    EXPECT_EQ(Coil(9, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(Reg(9, 40001), 2003);
}

TEST_F(Kel7SetupTest, DerivedValuesFollowAtOnce) {
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(18), 2.0f), CommStatus::Ok); // Long filter
    EXPECT_EQ(Float(1, NormalReg(19)), 1600.0f);
    EXPECT_EQ(WriteFloat(1, NormalReg(19), 250.0f), CommStatus::Ok); // fixed by the type again
    EXPECT_EQ(Float(1, NormalReg(19)), 1600.0f);
    EXPECT_EQ(WriteFloat(1, NormalReg(18), 3.0f), CommStatus::Ok); // Special: the time is free
    EXPECT_EQ(WriteFloat(1, NormalReg(19), 250.0f), CommStatus::Ok);
    EXPECT_EQ(Float(1, NormalReg(19)), 250.0f);
    EXPECT_EQ(WriteFloat(1, NormalReg(15), 9.0f), CommStatus::Ok); // resolution 1
    EXPECT_EQ(Reg(1, 40014), 0);
}

TEST_F(Kel7SetupTest, KeepSavesAndDiscardRestoresTheSetupFromBeforeEntry) {
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(16), 2000.0f), CommStatus::Ok);
    EXPECT_EQ(Float(1, NormalReg(16)), 2000.0f); // read back at once
    EXPECT_EQ(Coil(1, kCoilCheck), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateNormal);
    EXPECT_EQ(Reg(1, 40009), 0);
    EXPECT_EQ(Float(1, NormalReg(16)), 2000.0f);

    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(16), 3000.0f), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, 41338, 10.0f), CommStatus::Ok); // a special value
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateNormal);
    EXPECT_EQ(Float(1, NormalReg(16)), 2000.0f);
    EXPECT_EQ(Float(1, 41338), 2.5f);

    // Leaving when not in set-up, entering restore from set-up: wrong state.
    ExpectRefused(1, kCoilSave, kCeExitSetup, CommStatus::NegativeAcknowledge);
    ExpectRefused(1, kCoilDiscard, kCeExitSetup, CommStatus::NegativeAcknowledge);
    ExpectRefused(1, kCoilCheck, kCeWrongState, CommStatus::NegativeAcknowledge);
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok); // entering again is harmless
    ExpectRefused(1, kCoilRemoteRestore, kCeEnterSetup, CommStatus::NegativeAcknowledge);
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
    With(1, [](sim::Kel7Model& m) { m.SetState(kStateBoot); });
    ExpectRefused(1, kCoilRemoteSetup, kCeEnterSetup, CommStatus::NegativeAcknowledge);
}

TEST_F(Kel7SetupTest, WaitingInstrumentReturnsToWaitingAfterSetup) {
    With(1, [](sim::Kel7Model& m) { m.SetState(kStateWaitForStart); });
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateWaitForStart);

    // A set-up entered while warming up ends the warm-up where it would have ended: waiting for
    // start with "Start mode:" Command, normal with Auto (as saved, or as before when discarded).
    bus_.Detach(1);
    sim::Kel7Options command;
    command.startUp = true;
    command.warmUpMs = 60000;
    command.startByCommand = true;
    AddKel7(1, command);
    ASSERT_EQ(Reg(1, 40008), kStateWarmingUp);
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(1), 1.0f), CommStatus::Ok); // Auto, then discarded
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateWaitForStart);
    With(1, [](sim::Kel7Model& m) { m.Step(60000); });
    EXPECT_EQ(Reg(1, 40008), kStateWaitForStart);

    bus_.Detach(1);
    AddKel7(1, command);
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(1), 1.0f), CommStatus::Ok); // Auto, saved
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateNormal);
}

TEST_F(Kel7SetupTest, CheckRefusesUnstoredPointsAndNamesCrossCheckFaults) {
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    // A new deadweight calibration: both points are unstored until measured.
    EXPECT_EQ(WriteFloat(1, NormalReg(32), 1.0f), CommStatus::Ok);
    EXPECT_EQ(Float(1, 40368), 3.0f);
    ExpectRefused(1, kCoilCheck, kCeUnstoredPoints, CommStatus::NegativeAcknowledge);
    // Zero offset and set zero are locked meanwhile.
    ExpectWriteRefused(NormalReg(56), 1.0f, kCeZeroOffsetLocked, CommStatus::IllegalDataValue);
    // Point 1 at 0 with the empty scale, point 2 at 500 with 500 on it: each write is answered
    // only after the instrument has measured.
    EXPECT_EQ(Reg(1, 40020) & kPointEditable, kPointEditable);
    EXPECT_EQ(WriteFloat(1, NormalReg(41), 0.0f), CommStatus::Ok);
    EXPECT_EQ(Float(1, 40368), 2.0f);
    With(1, [](sim::Kel7Model& m) { m.RampLoad(500.0, 1000); });
    // A weight that does not settle while the instrument waits to measure.
    ExpectWriteRefused(NormalReg(42), 500.0f, kCeCalibTimeout, CommStatus::NegativeAcknowledge);
    EXPECT_EQ(Reg(1, 40020) & kPointEditable, 0);
    With(1, [](sim::Kel7Model& m) { m.Step(2000); });
    ExpectWriteRefused(NormalReg(42), -10.0f, kCeCalibDirection, CommStatus::IllegalDataValue);
    EXPECT_EQ(WriteFloat(1, NormalReg(42), 500.0f), CommStatus::Ok);
    EXPECT_EQ(Float(1, 40368), 0.0f);
    EXPECT_NEAR(Float(1, NormalReg(48)), 0.1f + 500.0f * 0.002f, 1e-5);
    // The measurement took the instrument's time: the write's answer came late.
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.Writes().back().result; }), 0);

    // Analogue output 1 with range high below range low: refused by the check and at the exit.
    EXPECT_EQ(WriteFloat(1, NormalReg(144), -5.0f), CommStatus::Ok);
    ExpectRefused(1, kCoilCheck, kCeExitAnalogRange, CommStatus::IllegalDataValue);
    ExpectRefused(1, kCoilSave, kCeExitAnalogRange, CommStatus::IllegalDataValue);
    EXPECT_EQ(Reg(1, 40008), kStateRemoteSetup);
    EXPECT_EQ(WriteFloat(1, NormalReg(144), 100.0f), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilCheck), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(Float(1, NormalReg(32)), 1.0f);
}

TEST_F(Kel7SetupTest, TheWeightFollowsTheCalibration) {
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    // Deadweight with a test weight of 500 entered as 400: the scale now reads 4/5.
    EXPECT_EQ(WriteFloat(1, NormalReg(32), 1.0f), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(41), 0.0f), CommStatus::Ok);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(500.0); });
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 500.0); // point 2 not stored: the old line
    EXPECT_EQ(WriteFloat(1, NormalReg(42), 400.0f), CommStatus::Ok);
    With(1, [](sim::Kel7Model& m) { m.SetLoad(250.0); });
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 200.0);
    // Data sheet: 1000 at 2.5 mV/V.
    EXPECT_EQ(WriteFloat(1, NormalReg(32), 0.0f), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(36), 2.5f), CommStatus::Ok);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 200.0); // 0.5 mV/V
    // Discarding brings back the factory calibration.
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 250.0);
}

TEST_F(Kel7SetupTest, SetZeroMeasuresAndMovesTheZeroOffset) {
    With(1, [](sim::Kel7Model& m) { m.SetLoad(7.3); });
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(55), 0.0f), CommStatus::Ok);
    EXPECT_NEAR(Float(1, NormalReg(56)), 7.3f, 1e-4);
    EXPECT_DOUBLE_EQ(Weight(1, 40012), 0.0);
    ExpectWriteRefused(NormalReg(55), -900.0f, kCeZeroSetRange, CommStatus::IllegalDataValue);
}

TEST_F(Kel7SetupTest, ShuntResistorRaisesTheSignalAndShowsError19) {
    ExpectRefused(1, kCoilShuntOn, kCeWrongState, CommStatus::NegativeAcknowledge);
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    const double before = Weight(1, 40027);
    EXPECT_EQ(Coil(1, kCoilShuntOn), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40009), kErrShuntConnected);
    EXPECT_NEAR(Weight(1, 40027) - before, 1.0, 1e-9);
    EXPECT_EQ(Coil(1, kCoilShuntOff), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40009), kErrRemoteSetup);
}

TEST_F(Kel7SetupTest, RestoreTakesBlocksAndTheCheckPutsBadValuesToDefault) {
    ASSERT_EQ(Coil(1, kCoilRemoteRestore), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 40008), kStateRemoteRestore);
    // In restore the values go in unchecked, whole blocks at a time.
    const float block[3] = {1.0f, 2.0f, 300.0f}; // 57 address, 58 COM1 mode, 59 COM1 baud (bad)
    EXPECT_EQ(master_->WriteFloatRegisters(1, NormalReg(57), 3, block), CommStatus::Ok);
    EXPECT_EQ(Float(1, NormalReg(59)), 300.0f);
    ExpectRefused(1, kCoilCheck, kCeSetToDefault, CommStatus::IllegalDataValue);
    EXPECT_EQ(Float(1, NormalReg(59)), 5.0f);
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(Float(1, NormalReg(58)), 2.0f);

    // COM3 and COM4 at one position of the I/O bus: the exit is refused until it is corrected.
    ASSERT_EQ(Coil(1, kCoilRemoteRestore), CommStatus::Ok);
    const float ports[11] = {0, 7, 5, 6, 1, 5, 6, 0, 1, 5, 6}; // 60-70: COM2 I/O bus, COM3, COM4
    EXPECT_EQ(master_->WriteFloatRegisters(1, NormalReg(60), 11, ports), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(71), 0.0f), CommStatus::Ok);
    ExpectRefused(1, kCoilCheck, kCeExitSameIoUnit, CommStatus::IllegalDataValue);
    ExpectRefused(1, kCoilSave, kCeExitSameIoUnit, CommStatus::IllegalDataValue);
    EXPECT_EQ(WriteFloat(1, NormalReg(71), 2.0f), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok);

    // In remote set-up a bad value that got in some other way is named by its register.
    With(1, [](sim::Kel7Model& m) { m.SetNormalValue(60, 42.0f); });
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    ExpectRefused(1, kCoilCheck, NormalReg(60), CommStatus::IllegalDataValue);
    ExpectRefused(1, kCoilSave, NormalReg(60), CommStatus::IllegalDataValue);
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
}

TEST_F(Kel7SetupTest, WildValuesInARestoreNeverUpsetTheInstrument) {
    // A restore writes whatever the file holds. Codes and counts far outside every range (the
    // resolution, calibration type, number of points, overload check, a level source, the
    // no-motion delay and the warm-up time) must leave the instrument answering.
    ASSERT_EQ(Coil(1, kCoilRemoteRestore), CommStatus::Ok);
    for (int i : {15, 18, 22, 25, 26, 32, 40, 79, 156})
        ASSERT_EQ(WriteFloat(1, NormalReg(i), 3.0e38f), CommStatus::Ok) << i;
    uint16_t live[60] = {};
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 60, live), CommStatus::Ok);
    ExpectRefused(1, kCoilCheck, kCeSetToDefault, CommStatus::IllegalDataValue);
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);

    // A resolution that got in some other way: a capacity written afterwards is still checked.
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    With(1, [](sim::Kel7Model& m) { m.SetNormalValue(15, -3.0e38f); });
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 60, live), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, NormalReg(16), 500.0f), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilDiscard), CommStatus::Ok);
}

TEST_F(Kel7SetupTest, ActivitiesAndRecipesArePagedBySelectors) {
    // Selecting is allowed in normal state (a backup does it); writing the window is not.
    EXPECT_EQ(WriteFloat(1, 41410, 2.0f), CommStatus::Ok);
    float activity[25] = {};
    ASSERT_EQ(master_->ReadFloatRegisters(1, 41412, 25, activity), CommStatus::Ok);
    EXPECT_EQ(activity[0], 1.0f); // Weigh in
    EXPECT_EQ(activity[2], 4.0f); // its output
    ExpectWriteRefused(41412 + 2 * 11, 3.0f, kCeSaveNotAllowed, CommStatus::NegativeAcknowledge);
    ExpectWriteRefused(41410, 25.0f, kCeActivityNumber, CommStatus::IllegalDataValue);
    ExpectWriteRefused(41462, 0.0f, kCeRecipeNumber, CommStatus::IllegalDataValue);
    EXPECT_EQ(Float(1, 41410), 2.0f);

    // Batch set-up: coil 17 sets 47820; writes go to the selected activity and recipe.
    EXPECT_EQ(Reg(1, 47820), 0);
    ASSERT_EQ(Coil(1, kCoilBatchEnter), CommStatus::Ok);
    EXPECT_NE(Reg(1, 47820), 0);
    EXPECT_EQ(WriteFloat(1, 41410, 3.0f), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, 41412 + 2 * 11, 4.5f), CommStatus::Ok); // wait time of activity 3
    ExpectWriteRefused(41412, 11.0f, kCeChoice, CommStatus::IllegalDataValue);
    EXPECT_EQ(WriteFloat(1, 41462, 2.0f), CommStatus::Ok);
    EXPECT_EQ(WriteFloat(1, 41526, 77.0f), CommStatus::Ok); // set point of line 16 of recipe 2
    ExpectWriteRefused(41524, 30.0f, kCeActivityNumber, CommStatus::IllegalDataValue);
    ASSERT_EQ(Coil(1, kCoilBatchLeave), CommStatus::Ok);
    EXPECT_EQ(Reg(1, 47820), 0);
    ExpectRefused(1, kCoilBatchLeave, kCeBatchState, CommStatus::NegativeAcknowledge);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.BatchValue(5 + 50 + 11); }), 4.5f);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.RecipeValue(60 + 31); }), 77.0f);

    // One block over general values, selector and window, as a restore writes it.
    ASSERT_EQ(Coil(1, kCoilRemoteRestore), CommStatus::Ok);
    std::vector<float> block(31, 0.0f);
    block[5] = 7.0f;  // selector: activity 7
    block[6] = 5.0f;  // its type: Timer
    block[17] = 9.0f; // its wait time
    block[30] = 1.0f; // its scale factor
    EXPECT_EQ(master_->WriteFloatRegisters(1, 41400, 31, block.data()), CommStatus::Ok);
    EXPECT_EQ(Coil(1, kCoilSave), CommStatus::Ok);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.BatchValue(5 + 150); }), 5.0f);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.BatchValue(5 + 150 + 11); }), 9.0f);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.BatchValue(5); }), 1.0f); // activity 1
}

TEST_F(Kel7SetupTest, TextsAndSpecialDescriptors) {
    // Activity name 1 is text 0 at the first string register.
    uint16_t name[6] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 43100, 6, name), CommStatus::Ok);
    EXPECT_EQ(name[0], 0x436F); // "Co"mponent A
    const uint16_t text[6] = {0x4D69, 0x7820, 0x3120, 0x2020, 0x2020, 0x2020};
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 43100 + 6 * 24, 6, text),
              CommStatus::NegativeAcknowledge); // not in a set-up
    ASSERT_EQ(Coil(1, kCoilBatchEnter), CommStatus::Ok);
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 43100 + 6 * 24, 6, text), CommStatus::Ok);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.Text(24); }), "Mix 1       ");

    // Descriptors overlap, 16 registers each, 2 apart: the start register picks one.
    uint16_t d0[16] = {}, d1[16] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 41338 + 1000, 16, d0), CommStatus::Ok);
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 41338 + 1000 + 2, 16, d1), CommStatus::Ok);
    char chars[33] = {};
    for (int i = 0; i < 16; ++i) {
        chars[2 * i] = static_cast<char>(d0[i] >> 8);
        chars[2 * i + 1] = static_cast<char>(d0[i]);
    }
    EXPECT_STREQ(chars, "Pressure");
    EXPECT_STREQ(chars + 18, "bar");
    EXPECT_EQ(d0[12], 2);
    EXPECT_EQ(d1[0], 0x5465); // "Te"mperature
    EXPECT_EQ(d1[12], 1);
    // Special values are range-checked by their descriptor.
    ASSERT_EQ(Coil(1, kCoilRemoteSetup), CommStatus::Ok);
    ExpectWriteRefused(41338, 401.0f, kCeOverrange, CommStatus::IllegalDataValue);
    EXPECT_EQ(WriteFloat(1, 41338, 3.75f), CommStatus::Ok);
}

} // namespace
} // namespace quarnex::test
