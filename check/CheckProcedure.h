#pragma once

#include "check/CheckRecord.h"
#include "platform/Prompter.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quarnex {

class ModbusMaster;

// The check with test weights on one instrument, step by step, without a window: the dialog and
// quarnex-cli drive it the same way. Identify() reads who the instrument is and its calibration;
// Begin() starts a run of the plan; then the caller re-arms a timer with what Tick() returns,
// shows Display(), and calls Read(), Skip() or Back() as the user asks.
//
// A reading is taken only from a still weight (no motion) that the instrument shows in gross: a
// tare in between would make a net reading look right whatever the scale does. The weight is
// watched between the readings (the caller keeps ticking, also while it waits for the user), and
// a still weight counts for a step only when the weight did something since the last reading:
// motion was seen, or it differs from the last reading by half the distance of the two nominal
// loads (10 e for equal loads). A repeat needs the load taken off (near zero) and put back; a
// corner of the eccentricity test needs the load moved. So a load placed and left to settle
// before Enter is read, and the load just read is never taken again for the next step.
//
// Read() takes the weight of the moment the user asked: still now, or, when it moves now (the
// next load is already being placed), the last still weight seen just before, never one that
// comes after. A reading far from its step's load is held until the user confirms it. A weight
// that does not come to rest within the settle time-out is said so; the user may wait on or skip
// the step. An instrument that stops answering keeps every reading taken so far in the record.
class CheckProcedure {
public:
    static constexpr int kPeriodMs = 200;
    static constexpr int kSilentPeriodMs = 500;
    static constexpr int kSettleTimeoutMs = 30000;
    // After this long without an answer the bus is said to be silent.
    static constexpr int kSilentReportMs = 3000;

    struct Display {
        int step = 0; // 1 ... steps, the step waiting for its reading; steps + 1 when done
        int steps = 0;
        std::string instruction; // "Place 500.0 kg on the scale"
        std::string weight;      // "500.0 kg", "------" while it cannot be read
        bool answered = false;   // the last tick got the live block
        int64_t silentMs = 0;    // since the last answer (0 while it answers)
        bool motion = false;
        bool net = false;
        bool canRead = false; // a still gross weight that counts for this step: Read takes it
        bool settleTimedOut = false;
        bool finished = false;
        std::string status; // why Read is not possible, or that it is
        double gross = 0.0; // the weight Read would take
    };
    enum class ReadOutcome {
        Taken,    // the reading is in the run, the next step is current
        NotTaken, // no weight that counts now (the display says why)
        Far,      // far from the step's load: FarQuestion() asks; Read(true) takes it
    };
    // Monotonic milliseconds; the procedure's own clock unless a test gives one.
    using Clock = std::function<int64_t()>;

    CheckProcedure(ModbusMaster& bus, int address, Prompter& prompter, Clock clock = {});

    // Reads the identification, the name and the calibration values into the record's instrument
    // fields (instrument, serial number, program, name, address, unit, capacity, display step,
    // calibration). A bus failure, or an instrument other than a KEL 7, is shown; false then.
    bool Identify(CheckRecord& record);
    // Starts a run named runName ("As found", "As left") of the record's plan, added after the
    // runs the record holds (a run is never overwritten here); the record must outlive the run.
    void Begin(CheckRecord& record, const std::string& runName);

    // One timer tick: reads the live block (no retries, no messages) and decides the display.
    // Returns the period until the next tick.
    int Tick();
    // Takes the reading of the current step (see the class comment). anyway: the user confirmed
    // the far reading FarQuestion() asked about; that same weight is taken.
    ReadOutcome Read(bool anyway = false);
    // "The scale shows 1000.2 kg for the 0.0 kg step. Read it anyway?" while a far reading is
    // held; "" otherwise.
    const std::string& FarQuestion() const { return farQuestion_; }
    // Leaves the current step without a reading (note: why) and goes on.
    void Skip(const std::string& note = {});
    // Back to the step before, to read it again; its reading is dropped. After the last step
    // the check goes on again at that step.
    void Back();
    // The user waits on after the settle time-out: the time-out starts again.
    void WaitAgain() { stepStartMs_ = clock_(); }

    const Display& GetDisplay() const { return display_; }
    bool Finished() const { return step_ >= steps_.size(); }
    size_t StepIndex() const { return step_; }
    const std::vector<CheckStep>& Steps() const { return steps_; }
    CheckRun& Run();
    void SetSettleTimeoutMs(int ms) { settleTimeoutMs_ = ms; }

private:
    // What one read of the live block showed.
    struct Sample {
        bool answered = false;
        bool weighing = false; // a valid gross-mode weight of a weighing KEL 7
        bool motion = false;
        double gross = 0.0;
    };
    // What the weight did since the last reading.
    struct Since {
        bool motion = false;
        bool unloaded = false; // near zero, as between two repeats
    };
    void StartStep();
    Sample Poll();
    // The sample's part in what the weight did since the last reading.
    void Note(const Sample& sample, Since& since) const;
    // "" when a still weight of value counts for the current step, else the reason.
    std::string Refusal(double value) const;
    void Decide();
    void Take(double value, Since carry);
    // The reading a step is judged against: the last taken one before the current step.
    bool LastTaken(double& value, double& load) const;
    double UnloadedBelow() const;
    double FarLimit(const CheckStep& step, double value) const;

    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    Clock clock_;
    CheckRecord* record_ = nullptr;
    size_t run_ = 0;
    std::vector<CheckStep> steps_;
    size_t step_ = 0;
    int64_t stepStartMs_ = 0;
    int64_t lastAnswerMs_ = 0;
    int settleTimeoutMs_ = kSettleTimeoutMs;
    Since since_;
    // A far reading waiting for the user's word, and what the weight did after it.
    bool farHeld_ = false;
    double farValue_ = 0.0;
    Since farCarry_;
    std::string farQuestion_;
    Display display_;
};

} // namespace quarnex
