#include "check/CheckProcedure.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/SetupParameterTable.h"
#include "instrument/ValueFormat.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quarnex {

namespace {

// The rows of "Calib param" and "Calibration" that say how the weight is made, by calibration
// type (0 data sheet, 1 deadweight, 2 table, 3 shunt), after the type itself.
std::vector<int> CalibrationRows(int type, int points) {
    std::vector<int> rows = {param::kMeasurementUnit, param::kResolution, 16 /* Capacity: */,
                             param::kCalibrationType};
    if (type == 0) {
        for (int r = 33; r <= 39; ++r)
            rows.push_back(r);
    } else if (type == 1 || type == 2) {
        rows.push_back(40);
        points = points < 2 || points > 6 ? 6 : points;
        for (int k = 0; k < points; ++k)
            rows.push_back(41 + k);
        for (int k = 0; k < points; ++k)
            rows.push_back(47 + k);
    } else if (type == 3) {
        rows.insert(rows.end(), {33, 53, 54});
    }
    rows.push_back(56); // Zero offset:
    return rows;
}

} // namespace

CheckProcedure::CheckProcedure(ModbusMaster& bus, int address, Prompter& prompter, Clock clock)
    : bus_(bus), address_(address), prompter_(prompter), clock_(std::move(clock)) {
    if (!clock_)
        clock_ = [] { return MonotonicMs(); };
}

bool CheckProcedure::Identify(CheckRecord& record) {
    WaitCursor wait(prompter_);
    InstrumentSetup setup;
    if (!ReadInstrumentInfo(bus_, address_, &prompter_, setup.MutableInfo()))
        return false;
    const InstrumentInfo& info = setup.Info();
    if (info.type != itype::kKel7) {
        prompter_.Error("The instrument at address " + std::to_string(address_) +
                        " is not a KEL 7 (" + InstrumentTypeName(info.type) +
                        "): the check needs the weight and the calibration of a KEL 7.");
        return false;
    }
    setup.SetAddress(address_);
    if (!setup.ReadNormal(bus_, {.messages = &prompter_}))
        return false;
    record.instrument = InstrumentTypeName(
        InstrumentTypeWithVersion(static_cast<int>(info.rawTypeCode), info.setupVersion));
    char text[64];
    record.serialNumber = FormatSerialNumber(info.serialNumber);
    std::snprintf(text, sizeof text, "%.0f V%.2f", static_cast<double>(info.programNumber),
                  static_cast<double>(info.programVersion) / 100.0);
    record.program = text;
    std::string name;
    if (ReadTextRegisters(bus_, address_, reg::kInstrumentName, reg::kInstrumentNameRegisters,
                          false, &prompter_, name))
        record.name = name.substr(0, name.find_last_not_of(' ') + 1); // the text is space-filled
    record.address = address_;
    record.unit = setup.DisplayedUnit();
    record.capacity = setup.Value(16);
    static constexpr double kSteps[15] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
                                          0.5,   1,     2,     5,    10,   20,   50};
    const int resolution = static_cast<int>(setup.Value(param::kResolution));
    record.division = kSteps[resolution < 0 ? 0 : resolution > 14 ? 14 : resolution];
    record.calibration.clear();
    for (int row : CalibrationRows(static_cast<int>(setup.Value(param::kCalibrationType)),
                                   static_cast<int>(setup.Value(40)))) {
        std::string unit = setup.UnitText(row);
        record.calibration.push_back(
            {setup.Label(row), setup.ValueText(row) + (unit.empty() ? "" : " " + unit)});
    }
    return true;
}

void CheckProcedure::Begin(CheckRecord& record, const std::string& runName) {
    record_ = &record;
    steps_ = record.plan.Steps();
    CheckRun run;
    run.name = runName;
    run.readings.resize(steps_.size());
    run.started = CheckTimeNow();
    record.runs.push_back(std::move(run));
    run_ = record.runs.size() - 1;
    if (record.date.empty())
        record.date = record.runs[run_].started.substr(0, 10);
    step_ = 0;
    since_ = {};
    farHeld_ = false;
    farQuestion_.clear();
    display_ = {};
    display_.steps = static_cast<int>(steps_.size());
    lastAnswerMs_ = clock_();
    StartStep();
    Decide();
}

CheckRun& CheckProcedure::Run() {
    return record_->runs[run_];
}

void CheckProcedure::StartStep() {
    stepStartMs_ = clock_();
    display_.settleTimedOut = false;
}

CheckProcedure::Sample CheckProcedure::Poll() {
    Sample sample;
    uint16_t live[reg::kLiveBlockCount] = {};
    const CommStatus status =
        bus_.ReadHoldingRegisters(address_, reg::kLiveBlock, reg::kLiveBlockCount, live, {});
    const int64_t now = clock_();
    sample.answered = display_.answered = status == CommStatus::Ok;
    display_.canRead = false;
    display_.weight = placeholder::kValue;
    if (!sample.answered) {
        display_.silentMs = now - lastAnswerMs_;
        display_.status = "No answer from the instrument: the readings taken so far are kept.";
        return sample;
    }
    lastAnswerMs_ = now;
    display_.silentMs = 0;
    const LiveBlock block = DecodeLiveBlock(live);
    display_.motion = block.Motion();
    display_.net = block.NetMode();
    double gross = 0.0;
    const bool valid = block.error == 0 &&
                       InstrumentTypeFromCode(block.rawTypeCode) == itype::kKel7 &&
                       ScaledWeight(block.gross[0], block.gross[1], block.gross[2], gross);
    if (!valid) {
        display_.status = block.error != 0 ? InstrumentErrorText(block.error)
                                           : "The instrument shows no valid weight.";
        return sample;
    }
    // Only a weighing instrument is read: while it starts up or warms up it shows a weight
    // without its motion, and in set-up or test the weight means nothing.
    if (block.state != state::kNormal) {
        display_.status =
            "The instrument is not weighing (" + StateText(block.state) + "): wait until it is.";
        return sample;
    }
    display_.gross = gross;
    const std::string unit = record_ && !record_->unit.empty() ? " " + record_->unit : "";
    display_.weight = FormatWeight(block.gross[0], block.gross[1], block.gross[2]) + unit;
    if (display_.net) {
        // The live weight is still the gross one, but the instrument shows net: a tare was
        // taken. The check reads what the instrument displays, so it waits for gross.
        display_.status = "The instrument shows net weight: switch it to gross to read.";
        return sample;
    }
    sample.weighing = true;
    sample.motion = display_.motion;
    sample.gross = gross;
    return sample;
}

void CheckProcedure::Note(const Sample& sample, Since& since) const {
    if (!sample.weighing)
        return;
    since.motion = since.motion || sample.motion;
    if (!Finished() && std::fabs(sample.gross) <= UnloadedBelow())
        since.unloaded = true;
}

double CheckProcedure::UnloadedBelow() const {
    // Near zero: within the permissible error at zero, or below a tenth of the load.
    const double load = Finished() ? 0.0 : steps_[step_].load;
    return std::max(record_->rule.Tolerance(0.0, record_->division), 0.1 * std::fabs(load));
}

bool CheckProcedure::LastTaken(double& value, double& load) const {
    const CheckRun& run = record_->runs[run_];
    for (size_t i = std::min(step_, run.readings.size()); i-- > 0;)
        if (run.readings[i].state == CheckReading::State::Taken) {
            value = run.readings[i].indication;
            load = steps_[i].load;
            return true;
        }
    return false;
}

std::string CheckProcedure::Refusal(double value) const {
    const CheckStep& step = steps_[step_];
    if (step.kind == CheckStep::Kind::Repeat && step.repeat > 1) {
        if (!since_.unloaded || std::fabs(value) <= UnloadedBelow())
            return "Take the load off and place it again (repeat " + std::to_string(step.repeat) +
                   " of " + std::to_string(step.repeats) + ")";
        return {};
    }
    if (step.kind == CheckStep::Kind::Eccentric && step.position > 0) {
        if (!since_.motion)
            return "Move the load to corner " + std::to_string(step.position);
        return {};
    }
    double last = 0.0, lastLoad = 0.0;
    if (since_.motion || !LastTaken(last, lastLoad))
        return {};
    // Settled before Enter, its motion unseen: a still weight far enough from the last reading
    // is a new load all the same.
    const double e = record_->rule.EffectiveE(record_->division);
    const double needed = step.load != lastLoad ? std::fabs(step.load - lastLoad) / 2.0 : 10.0 * e;
    if (std::fabs(value - last) >= needed * (1 - 1e-9))
        return {};
    return "Waiting for the load to be placed";
}

int CheckProcedure::Tick() {
    const Sample sample = Poll();
    Note(sample, since_);
    if (farHeld_)
        Note(sample, farCarry_);
    if (sample.weighing && !Finished()) {
        if (sample.motion) {
            display_.status = "Waiting for a still weight";
        } else if (const std::string why = Refusal(sample.gross); !why.empty()) {
            display_.status = why;
        } else {
            display_.canRead = true;
            display_.status = "Still: ready to read";
        }
    }
    Decide();
    return sample.answered ? kPeriodMs : kSilentPeriodMs;
}

void CheckProcedure::Decide() {
    display_.step = static_cast<int>(step_) + 1;
    display_.finished = Finished();
    if (display_.finished) {
        display_.instruction = "The check is complete.";
        display_.canRead = false;
        if (display_.answered)
            display_.status.clear();
        return;
    }
    const std::string unit = record_ ? record_->unit : std::string();
    display_.instruction = StepInstruction(steps_[step_], record_ ? record_->division : 1, unit);
    const int64_t waited = clock_() - stepStartMs_;
    display_.settleTimedOut = !display_.canRead && waited >= settleTimeoutMs_;
    if (display_.settleTimedOut && display_.answered && display_.motion)
        display_.status = "The weight is not still after " +
                          std::to_string(settleTimeoutMs_ / 1000) +
                          " s: wait on, or skip the step.";
}

double CheckProcedure::FarLimit(const CheckStep& step, double value) const {
    const CheckPlan& plan = record_->plan;
    std::vector<double> loads = plan.loads;
    if (plan.repeatCount > 0)
        loads.push_back(plan.repeatLoad);
    if (plan.eccentricPositions > 0)
        loads.push_back(plan.eccentricLoad);
    std::sort(loads.begin(), loads.end());
    loads.erase(std::unique(loads.begin(), loads.end()), loads.end());
    if (loads.size() < 2)
        return 0.1 * (record_->capacity > 0.0 ? record_->capacity : std::fabs(step.load));
    // The neighbour on the reading's side, else the one on the other side.
    const auto at = std::lower_bound(loads.begin(), loads.end(), step.load);
    const bool above = value > step.load;
    double neighbour;
    if (above)
        neighbour = at + 1 < loads.end() ? *(at + 1) : *(at - 1);
    else
        neighbour = at > loads.begin() ? *(at - 1) : *(at + 1);
    return std::fabs(neighbour - step.load) / 2.0;
}

CheckProcedure::ReadOutcome CheckProcedure::Read(bool anyway) {
    if (!record_ || Finished())
        return ReadOutcome::NotTaken;
    if (anyway && farHeld_) {
        Take(farValue_, farCarry_);
        return ReadOutcome::Taken;
    }
    farHeld_ = false;
    farQuestion_.clear();
    // The moment the user asked: what the weight is now, and what it was at the last tick.
    const bool before = display_.canRead;
    const double beforeValue = display_.gross;
    Since after; // what the weight did after a reading taken from the last tick
    const Sample sample = Poll();
    Note(sample, since_);
    Note(sample, after);
    double value;
    if (sample.weighing && !sample.motion && Refusal(sample.gross).empty()) {
        value = sample.gross;
        after = {};
    } else if (before) {
        // Moving now: the next load is being placed. The still weight seen just before the
        // user asked is this step's, the motion belongs to the next.
        value = beforeValue;
    } else {
        Tick(); // says why, from a fresh look
        return ReadOutcome::NotTaken;
    }
    const CheckStep& step = steps_[step_];
    if (std::fabs(value - step.load) > FarLimit(step, value) * (1 + 1e-9)) {
        farHeld_ = true;
        farValue_ = value;
        farCarry_ = after;
        const std::string unit = record_->unit.empty() ? "" : " " + record_->unit;
        farQuestion_ = "The scale shows " + FormatCheckWeight(value, record_->division) + unit +
                       " for the " + FormatCheckWeight(step.load, record_->division) + unit +
                       " step. Read it anyway?";
        display_.canRead = false;
        return ReadOutcome::Far;
    }
    Take(value, after);
    return ReadOutcome::Taken;
}

void CheckProcedure::Take(double value, Since carry) {
    CheckReading& reading = Run().readings[step_];
    reading.state = CheckReading::State::Taken;
    reading.indication = value;
    reading.time = CheckTimeNow();
    reading.note.clear();
    ++step_;
    since_ = carry;
    farHeld_ = false;
    farQuestion_.clear();
    display_.canRead = false;
    StartStep();
    Decide();
}

void CheckProcedure::Skip(const std::string& note) {
    if (!record_ || Finished())
        return;
    CheckReading& reading = Run().readings[step_];
    reading = {CheckReading::State::Skipped, 0.0, CheckTimeNow(), note};
    ++step_;
    since_ = {};
    farHeld_ = false;
    farQuestion_.clear();
    display_.canRead = false;
    StartStep();
    Decide();
}

void CheckProcedure::Back() {
    if (!record_ || step_ == 0)
        return;
    --step_;
    Run().readings[step_] = {};
    farHeld_ = false;
    farQuestion_.clear();
    display_.canRead = false;
    StartStep();
    Decide();
}

} // namespace quarnex
