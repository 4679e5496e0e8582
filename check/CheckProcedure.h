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
// tare in between would make a net reading look right whatever the scale does. A weight that
// does not come to rest within the settle time-out is said so; the user may wait on or skip the
// step. After a reading, the next step with another load waits until the weight has moved, so the
// load just read is never taken again for the next one. An instrument that stops answering keeps
// every reading taken so far in the record.
class CheckProcedure {
public:
    static constexpr int kPeriodMs = 200;
    static constexpr int kSilentPeriodMs = 500;
    static constexpr int kSettleTimeoutMs = 30000;

    struct Display {
        int step = 0; // 1 ... steps, the step waiting for its reading; steps + 1 when done
        int steps = 0;
        std::string instruction; // "Place 500.0 kg on the scale"
        std::string weight;      // "500.0 kg", "------" while it cannot be read
        bool answered = false;   // the last tick got the live block
        bool motion = false;
        bool net = false;
        bool canRead = false; // a still gross weight: Read takes it
        bool settleTimedOut = false;
        bool finished = false;
        std::string status; // why Read is not possible, or that it is
        double gross = 0.0; // the weight Read would take
    };
    // Monotonic milliseconds; the procedure's own clock unless a test gives one.
    using Clock = std::function<int64_t()>;

    CheckProcedure(ModbusMaster& bus, int address, Prompter& prompter, Clock clock = {});

    // Reads the identification, the name and the calibration values into the record's instrument
    // fields (instrument, serial number, program, name, address, unit, capacity, display step,
    // calibration). A bus failure, or an instrument other than a KEL 7, is shown; false then.
    bool Identify(CheckRecord& record);
    // Starts a run named runName ("As found", "As left") of the record's plan; the record must
    // outlive the run. A second run replaces one of the same name.
    void Begin(CheckRecord& record, const std::string& runName);

    // One timer tick: reads the live block (no retries, no messages) and decides the display.
    // Returns the period until the next tick.
    int Tick();
    // Reads the live block once more and takes the reading of the current step when the weight
    // is still and gross now; false otherwise (the display says why).
    bool Read();
    // Leaves the current step without a reading (note: why) and goes on.
    void Skip(const std::string& note = {});
    // Back to the step before, to read it again; its reading is dropped.
    void Back();
    // The user waits on after the settle time-out: the time-out starts again.
    void WaitAgain() { stepStartMs_ = clock_(); }

    const Display& GetDisplay() const { return display_; }
    bool Finished() const { return step_ >= steps_.size(); }
    size_t StepIndex() const { return step_; }
    CheckRun& Run();
    void SetSettleTimeoutMs(int ms) { settleTimeoutMs_ = ms; }

private:
    // Starts the current step; moved: the load changed from the step before, so the weight must
    // be seen moving before a still weight counts (a double press never reads the old load).
    void StartStep(bool moved);
    void Decide();

    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    Clock clock_;
    CheckRecord* record_ = nullptr;
    size_t run_ = 0;
    std::vector<CheckStep> steps_;
    size_t step_ = 0;
    int64_t stepStartMs_ = 0;
    bool awaitMotion_ = false;
    int settleTimeoutMs_ = kSettleTimeoutMs;
    Display display_;
};

} // namespace quarnex
