#include "check/CheckProcedure.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/SetupParameterTable.h"
#include "instrument/ValueFormat.h"
#include "platform/Clock.h"

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
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(info.serialNumber));
    record.serialNumber = text;
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
    run_ = record.runs.size();
    for (size_t i = 0; i < record.runs.size(); ++i)
        if (record.runs[i].name == runName)
            run_ = i;
    if (run_ == record.runs.size())
        record.runs.push_back({});
    record.runs[run_] = {runName, std::vector<CheckReading>(steps_.size())};
    if (record.date.empty())
        record.date = CheckTimeNow().substr(0, 10);
    step_ = 0;
    display_ = {};
    display_.steps = static_cast<int>(steps_.size());
    StartStep(false);
    Decide();
}

CheckRun& CheckProcedure::Run() {
    return record_->runs[run_];
}

void CheckProcedure::StartStep(bool moved) {
    stepStartMs_ = clock_();
    awaitMotion_ = moved;
    display_.settleTimedOut = false;
}

int CheckProcedure::Tick() {
    uint16_t live[reg::kLiveBlockCount] = {};
    const CommStatus status =
        bus_.ReadHoldingRegisters(address_, reg::kLiveBlock, reg::kLiveBlockCount, live, {});
    display_.answered = status == CommStatus::Ok;
    display_.canRead = false;
    display_.weight = placeholder::kValue;
    if (!display_.answered) {
        display_.status = "No answer from the instrument: the readings taken so far are kept.";
        Decide();
        return kSilentPeriodMs;
    }
    const LiveBlock block = DecodeLiveBlock(live);
    display_.motion = block.Motion();
    display_.net = block.NetMode();
    double gross = 0.0;
    const bool valid = block.error == 0 &&
                       InstrumentTypeFromCode(block.rawTypeCode) == itype::kKel7 &&
                       ScaledWeight(block.gross[0], block.gross[1], block.gross[2], gross);
    // Only a weighing instrument is read: while it starts up or warms up it shows a weight
    // without its motion, and in set-up or test the weight means nothing.
    if (valid && block.state != state::kNormal) {
        display_.status =
            "The instrument is not weighing (" + StateText(block.state) + "): wait until it is.";
        Decide();
        return kPeriodMs;
    }
    if (!valid) {
        display_.status = block.error != 0 ? InstrumentErrorText(block.error)
                                           : "The instrument shows no valid weight.";
        Decide();
        return kPeriodMs;
    }
    display_.gross = gross;
    const std::string unit = record_ && !record_->unit.empty() ? " " + record_->unit : "";
    display_.weight = FormatWeight(block.gross[0], block.gross[1], block.gross[2]) + unit;
    if (display_.net) {
        // The live weight is still the gross one, but the instrument shows net: a tare was
        // taken. The check reads what the instrument displays, so it waits for gross.
        display_.status = "The instrument shows net weight: switch it to gross to read.";
    } else if (display_.motion) {
        awaitMotion_ = false;
        display_.status = "Waiting for a still weight";
    } else if (awaitMotion_) {
        display_.status = "Waiting for the load to be placed";
    } else {
        display_.canRead = !Finished();
        display_.status = display_.canRead ? "Still: ready to read" : "";
    }
    Decide();
    return kPeriodMs;
}

void CheckProcedure::Decide() {
    display_.step = static_cast<int>(step_) + 1;
    display_.finished = Finished();
    if (display_.finished) {
        display_.instruction = "The check is complete.";
        display_.canRead = false;
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

bool CheckProcedure::Read() {
    if (!record_ || Finished())
        return false;
    // The weight of the moment the user reads, not of the last tick: a load put on since then
    // is moving now.
    Tick();
    if (!display_.canRead)
        return false;
    CheckReading& reading = Run().readings[step_];
    reading.state = CheckReading::State::Taken;
    reading.indication = display_.gross;
    reading.time = CheckTimeNow();
    reading.note.clear();
    ++step_;
    display_.canRead = false;
    StartStep(!Finished() && steps_[step_].load != steps_[step_ - 1].load);
    Decide();
    return true;
}

void CheckProcedure::Skip(const std::string& note) {
    if (!record_ || Finished())
        return;
    CheckReading& reading = Run().readings[step_];
    reading = {CheckReading::State::Skipped, 0.0, CheckTimeNow(), note};
    ++step_;
    display_.canRead = false;
    StartStep(!Finished() && steps_[step_].load != steps_[step_ - 1].load);
    Decide();
}

void CheckProcedure::Back() {
    if (!record_ || step_ == 0)
        return;
    --step_;
    Run().readings[step_] = {};
    display_.canRead = false;
    StartStep(false);
    Decide();
}

} // namespace quarnex
