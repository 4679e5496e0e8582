// The check against the simulated KEL 7 with scale errors put in: what the check finds must be
// what was put in, within a display step; and the ways a check goes wrong in the field.
#include "check/CheckProcedure.h"
#include "instrument/Registers.h"
#include "sim/Kel7Model.h"
#include "support/SingleKel7Fixture.h"

#include <gtest/gtest.h>

namespace quarnex::test {
namespace {

class CheckProcedureTest : public SingleKel7Fixture {
protected:
    void SetUp() override {
        SingleKel7Fixture::SetUp();
        check_ = std::make_unique<CheckProcedure>(*master_, kAddress, prompter_,
                                                  [this] { return nowMs_; });
        ASSERT_TRUE(check_->Identify(record_));
    }
    void Begin(const CheckPlan& plan) {
        record_.plan = plan;
        check_->Begin(record_, "As found");
    }
    // Puts the step's load (at its position) on the scale as an engineer does, lets it settle
    // and reads it. A repeat takes the load off first.
    void PlaceAndRead() {
        const CheckStep step = record_.plan.Steps()[check_->StepIndex()];
        if (step.kind == CheckStep::Kind::Repeat && step.repeat > 1)
            Settle(0.0);
        Kel([&](sim::Kel7Model& m) {
            if (m.Position() != step.position)
                m.SetPosition(step.position, 500);
            m.PlaceLoad(step.load, 1000);
        });
        check_->Tick();
        EXPECT_FALSE(check_->GetDisplay().canRead); // still moving
        Kel([](sim::Kel7Model& m) { m.Step(2000); });
        check_->Tick();
        ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read())
            << check_->GetDisplay().status;
    }
    // The load placed and settled, with the check watching.
    void Settle(double load) {
        Kel([&](sim::Kel7Model& m) { m.PlaceLoad(load, 1000); });
        check_->Tick();
        Kel([](sim::Kel7Model& m) { m.Step(2000); });
        check_->Tick();
    }
    // The load placed and settled while nobody looked: no motion seen.
    void PutUnseen(double load) {
        Kel([&](sim::Kel7Model& m) { m.SetLoad(load); });
        check_->Tick();
    }
    double Reading(size_t step) { return check_->Run().readings[step].indication; }
    const StepResult& At(const CheckResult& result, double load, CheckStep::Kind kind) {
        for (const StepResult& s : result.steps)
            if (s.step.load == load && s.step.kind == kind)
                return s;
        throw std::runtime_error("no such step");
    }

    int64_t nowMs_ = 0;
    CheckRecord record_;
    std::unique_ptr<CheckProcedure> check_;
};

TEST_F(CheckProcedureTest, IdentifiesTheInstrumentAndItsCalibration) {
    EXPECT_EQ("KEL 7 Recipe Batcher", record_.instrument);
    EXPECT_EQ("12-3456", record_.serialNumber);
    EXPECT_EQ("kg", record_.unit);
    EXPECT_DOUBLE_EQ(1000.0, record_.capacity);
    EXPECT_DOUBLE_EQ(0.1, record_.division);
    ASSERT_GE(record_.calibration.size(), 4u);
    EXPECT_EQ("Resolution:", record_.calibration[1].first);
}

TEST_F(CheckProcedureTest, FindsTheScaleErrorsPutIn) {
    // 0.05 % non-linearity and 0.02 % hysteresis of 1000 kg: 0.5 kg and 0.2 kg at 500 kg;
    // 0.1 % eccentricity: corner 1 reads 0.5 kg high at 500 kg.
    Kel([](sim::Kel7Model& m) {
        m.SetScaleErrors({.nonlinearity = 0.05, .hysteresis = 0.02, .eccentricity = 0.1});
    });
    CheckPlan plan;
    plan.loads = {0, 250, 500, 750, 1000};
    plan.down = true;
    plan.repeatLoad = 500;
    plan.repeatCount = 3;
    plan.eccentricLoad = 500;
    plan.eccentricPositions = 5;
    Begin(plan);
    while (!check_->Finished())
        PlaceAndRead();
    const CheckResult result = EvaluateRun(record_, check_->Run());
    constexpr double d = 0.1;
    EXPECT_NEAR(0.5, At(result, 500, CheckStep::Kind::Up).error, d);
    EXPECT_NEAR(0.375, At(result, 250, CheckStep::Kind::Up).error, d);
    EXPECT_NEAR(0.0, At(result, 1000, CheckStep::Kind::Up).error, d);
    EXPECT_NEAR(0.7, At(result, 500, CheckStep::Kind::Down).error, d);
    EXPECT_NEAR(0.2, result.hysteresis, d);
    EXPECT_DOUBLE_EQ(500, result.hysteresisLoad);
    EXPECT_NEAR(0.0, result.repeatability, d);
    EXPECT_NEAR(0.5, result.eccentricity, d);
    // Class III, e = 0.1: 1.5 e = 0.15 kg above 200 kg: the non-linearity fails the check.
    EXPECT_EQ(CheckResult::Verdict::Fail, result.verdict);
    EXPECT_FALSE(At(result, 500, CheckStep::Kind::Up).pass);
    EXPECT_TRUE(At(result, 1000, CheckStep::Kind::Up).pass);
}

TEST_F(CheckProcedureTest, ALoadThatNeverSettlesCanBeSkipped) {
    CheckPlan plan;
    plan.loads = {0, 500};
    Begin(plan);
    PlaceAndRead();
    Kel([](sim::Kel7Model& m) {
        m.PlaceLoad(500, 1000);
        m.SetMotion(true); // a platform touching its frame
    });
    check_->Tick();
    EXPECT_FALSE(check_->GetDisplay().settleTimedOut);
    nowMs_ += CheckProcedure::kSettleTimeoutMs;
    Kel([](sim::Kel7Model& m) { m.Step(5000); });
    check_->Tick();
    const auto& d = check_->GetDisplay();
    EXPECT_TRUE(d.settleTimedOut);
    EXPECT_FALSE(d.canRead);
    EXPECT_EQ("The weight is not still after 30 s: wait on, or skip the step.", d.status);
    EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read());
    check_->Skip("not still");
    EXPECT_TRUE(check_->Finished());
    const CheckResult result = EvaluateRun(record_, check_->Run());
    EXPECT_EQ(CheckResult::Verdict::Incomplete, result.verdict);
    EXPECT_EQ(1, result.missing);
}

TEST_F(CheckProcedureTest, ATareStopsTheReadingUntilGrossAgain) {
    CheckPlan plan;
    plan.loads = {0, 500};
    Begin(plan);
    PlaceAndRead();
    Kel([](sim::Kel7Model& m) { m.PlaceLoad(500, 1000); });
    check_->Tick();
    Kel([](sim::Kel7Model& m) { m.Step(2000); });
    ASSERT_EQ(CommStatus::Ok, master_->WriteSingleCoil(kAddress, coil::kTare, true));
    check_->Tick();
    EXPECT_TRUE(check_->GetDisplay().net);
    EXPECT_FALSE(check_->GetDisplay().canRead);
    EXPECT_EQ("The instrument shows net weight: switch it to gross to read.",
              check_->GetDisplay().status);
    ASSERT_EQ(CommStatus::Ok, master_->WriteSingleCoil(kAddress, coil::kGross, true));
    check_->Tick();
    ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
    EXPECT_DOUBLE_EQ(500.0, check_->Run().readings[1].indication); // the gross weight
}

TEST_F(CheckProcedureTest, ASilentInstrumentKeepsTheReadingsTaken) {
    CheckPlan plan;
    plan.loads = {0, 500, 1000};
    Begin(plan);
    PlaceAndRead();
    PlaceAndRead();
    sim::FaultSpec silence;
    silence.count = 1000000;
    bus_.InjectFault(kAddress, silence);
    EXPECT_EQ(CheckProcedure::kSilentPeriodMs, check_->Tick());
    EXPECT_FALSE(check_->GetDisplay().answered);
    EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read());
    EXPECT_EQ(2, std::count_if(
                     check_->Run().readings.begin(), check_->Run().readings.end(),
                     [](const CheckReading& r) { return r.state == CheckReading::State::Taken; }));
    CheckRecord back;
    std::string error;
    ASSERT_TRUE(ParseCheckRecord(CheckRecordText(record_), back, error)) << error;
    EXPECT_DOUBLE_EQ(500.0, back.runs[0].readings[1].indication);
}

TEST_F(CheckProcedureTest, BackReadsAStepAgainAndTheOldLoadIsNeverTakenTwice) {
    CheckPlan plan;
    plan.loads = {0, 500};
    Begin(plan);
    PlaceAndRead();
    check_->Tick(); // still at 0 kg: the 500 kg step waits for the load to move
    EXPECT_FALSE(check_->GetDisplay().canRead);
    EXPECT_EQ("Waiting for the load to be placed", check_->GetDisplay().status);
    check_->Back();
    check_->Tick();
    EXPECT_TRUE(check_->GetDisplay().canRead);
    EXPECT_EQ(CheckReading::State::Pending, check_->Run().readings[0].state);
}

TEST_F(CheckProcedureTest, AReadingIsTheWeightOfTheMomentOfEnter) {
    CheckPlan plan;
    plan.loads = {0, 250, 500};
    Begin(plan);
    PlaceAndRead();
    // Placed and settled before Enter, its motion unseen: half the way to the next load or more
    // is a new load.
    PutUnseen(250.0);
    EXPECT_TRUE(check_->GetDisplay().canRead) << check_->GetDisplay().status;
    // The next load is being placed as Enter comes: the still weight seen just before is read,
    // and the motion counts for the next step.
    Kel([](sim::Kel7Model& m) { m.PlaceLoad(500.0, 1000); });
    ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
    EXPECT_DOUBLE_EQ(250.0, Reading(1));
    Kel([](sim::Kel7Model& m) { m.Step(2000); });
    check_->Tick();
    EXPECT_TRUE(check_->GetDisplay().canRead) << check_->GetDisplay().status;
    EXPECT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
    EXPECT_DOUBLE_EQ(500.0, Reading(2));
}

TEST_F(CheckProcedureTest, AStillWeightNearTheLastReadingIsNotTheNextLoad) {
    CheckPlan plan;
    plan.loads = {0, 250, 500};
    Begin(plan);
    PlaceAndRead();
    PutUnseen(124.0); // less than half the way from 0 to 250, and no motion seen
    EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read());
    EXPECT_EQ("Waiting for the load to be placed", check_->GetDisplay().status);
    EXPECT_EQ(1u, check_->StepIndex());
    // Moving at Enter with no still weight before it: nothing is read until it settles.
    Kel([](sim::Kel7Model& m) { m.PlaceLoad(250.0, 1000); });
    EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read());
    EXPECT_EQ("Waiting for a still weight", check_->GetDisplay().status);
}

TEST_F(CheckProcedureTest, RepeatsNeedTheLoadTakenOffAndCornersTheLoadMoved) {
    CheckPlan plan;
    plan.loads = {0, 500};
    plan.repeatLoad = 500;
    plan.repeatCount = 2;
    plan.eccentricLoad = 500;
    plan.eccentricPositions = 4;
    Begin(plan);
    PlaceAndRead();
    PlaceAndRead();
    // Repeat 1 follows the 500 kg step: the load must at least have moved.
    Settle(500.0);
    ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
    for (int enter = 0; enter < 3; ++enter) { // Enter after Enter, the scale untouched
        check_->Tick();
        EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read());
        EXPECT_EQ("Take the load off and place it again (repeat 2 of 2)",
                  check_->GetDisplay().status);
    }
    Settle(0.0);
    EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read()); // off, not back yet
    Settle(500.0);
    ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
    EXPECT_EQ("Place 500.0 kg in the centre of the platform", check_->GetDisplay().instruction);
    Settle(500.0); // the centre
    ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
    EXPECT_EQ("Move the load to corner 1", check_->GetDisplay().instruction);
    check_->Tick();
    EXPECT_EQ(CheckProcedure::ReadOutcome::NotTaken, check_->Read());
    EXPECT_EQ("Move the load to corner 1", check_->GetDisplay().status);
    Kel([](sim::Kel7Model& m) { m.SetPosition(1, 500); });
    check_->Tick();
    Kel([](sim::Kel7Model& m) { m.Step(2000); });
    check_->Tick();
    EXPECT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
}

TEST_F(CheckProcedureTest, AReadingFarFromItsLoadIsTakenOnlyWhenConfirmed) {
    CheckPlan plan;
    plan.loads = {0, 500, 1000};
    Begin(plan);
    // A restart with the full load still on the scale: 1000 kg for the 0 kg step.
    PutUnseen(1000.0);
    ASSERT_EQ(CheckProcedure::ReadOutcome::Far, check_->Read());
    EXPECT_EQ("The scale shows 1000.0 kg for the 0.0 kg step. Read it anyway?",
              check_->FarQuestion());
    EXPECT_EQ(0u, check_->StepIndex());
    // Asked again without an answer, it is asked again; confirmed, that weight is taken.
    ASSERT_EQ(CheckProcedure::ReadOutcome::Far, check_->Read());
    ASSERT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read(true));
    EXPECT_DOUBLE_EQ(1000.0, Reading(0));
    // Within half the way to the neighbouring load: no question.
    Settle(749.0);
    EXPECT_EQ(CheckProcedure::ReadOutcome::Taken, check_->Read());
}

TEST_F(CheckProcedureTest, OnlyAKel7IsChecked) {
    bus_.Detach(kAddress);
    auto bank = AddBank(kAddress); // a PIR 7
    bank->Set(0, 2001);
    bank->AddBlock(199, 10);
    bank->AddBlock(369, 30);
    bank->SetFloat(199, 2001.0f);
    CheckRecord record;
    EXPECT_FALSE(check_->Identify(record));
    EXPECT_NE(std::string::npos, prompter_.LastText().find("is not a KEL 7"))
        << prompter_.LastText();
}

} // namespace
} // namespace quarnex::test
