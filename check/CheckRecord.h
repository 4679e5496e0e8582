#pragma once

#include "check/CheckPlan.h"
#include "check/Tolerance.h"

#include <string>
#include <utility>
#include <vector>

namespace quarnex {

// The reading of one step: taken (the still gross weight the instrument showed, and when), or
// skipped, or not reached yet.
struct CheckReading {
    enum class State { Pending, Taken, Skipped };
    State state = State::Pending;
    double indication = 0.0;
    std::string time; // "2026-12-07 23:10:05", local time
    std::string note; // why a step was skipped ("not still after 30 s")
};

// One pass through the plan: "As found" (before a calibration) or "As left" (after it). One
// reading per step of the plan, in the plan's order.
struct CheckRun {
    std::string name = "As found";
    std::vector<CheckReading> readings;
    std::string started; // when the run began, "2026-12-07 23:10:05"; empty in older records
    // Replaced by a later run of the same name (--replace-as-left): kept as evidence, never
    // judged as the instrument's state.
    bool superseded = false;
};

// Everything a check leaves behind: the instrument as it was identified, the plan and the rule,
// the runs with every reading, and who did it. Saved as a small text file and printed as the
// report; a saved record prints the same report again.
struct CheckRecord {
    std::string instrument;   // "KEL 7 Recipe Batcher"
    std::string serialNumber; // "12-3456", as the program prints it everywhere
    std::string program;      // "7310 V1.04"
    std::string name;         // the instrument's name ("Hopper 1")
    int address = 0;
    std::string unit; // the displayed unit
    double capacity = 0.0;
    double division = 0.0; // the display step ("Resolution:")
    // The calibration values read from the instrument: label and value text.
    std::vector<std::pair<std::string, std::string>> calibration;

    CheckPlan plan;
    ToleranceRule rule;
    std::vector<CheckRun> runs; // one or two: as found, as left

    std::string date; // of the first run, "2026-12-07"
    std::string technician;
    std::string notes;     // free text, several lines
    std::string nextCheck; // the next check's date, as the user wrote it; may be empty
    // The test weights (identity, OIML R 111 class, certificate and its date) and the weighing
    // instrument the transmitter belongs to (identity and place), as the user wrote them.
    std::string weights;
    std::string scale;

    // Set by the reader: the record's checksum does not match its content (it was edited by
    // hand, or damaged). Never written: a record written again carries a checksum of its own.
    bool changedAfterWriting = false;

    // The run that stands for the instrument as found, or as left: the last one of that name
    // that is not superseded; null when there is none.
    const CheckRun* Current(const std::string& name) const;
};

// What the reader says of a record whose checksum does not match.
inline constexpr const char* kRecordChangedText = "the record was changed after it was written";

// The judgement of one step.
struct StepResult {
    CheckStep step;
    CheckReading reading;
    double error = 0.0;     // indication - load
    double errorInE = 0.0;  // the error in units of e (of the rule, else the display step)
    double tolerance = 0.0; // the permissible error either way
    bool pass = false;      // taken and within the tolerance
};

// The judgement of one run.
struct CheckResult {
    enum class Verdict { Pass, Fail, Incomplete };
    std::vector<StepResult> steps;
    // Hysteresis: the largest difference between going up and coming down at one load.
    bool haveHysteresis = false;
    double hysteresis = 0.0, hysteresisLoad = 0.0;
    // Repeatability: the spread of the repeated readings, against the permissible error at
    // that load.
    bool haveRepeatability = false;
    double repeatability = 0.0, repeatabilityLimit = 0.0;
    bool repeatabilityPass = true;
    // Eccentricity: the largest difference between a corner and the centre.
    bool haveEccentricity = false;
    double eccentricity = 0.0;
    int failed = 0;  // steps taken and out of tolerance
    int missing = 0; // steps skipped or not reached
    Verdict verdict = Verdict::Incomplete;
    std::string rule; // which rule judged it
};

CheckResult EvaluateRun(const CheckRecord& record, const CheckRun& run);
// The verdict as a sentence: "PASSED: every reading is within tolerance." ...
std::string VerdictSentence(const CheckResult& result);

// The table of a run as the command line prints it: one line a step, out-of-tolerance lines
// marked "*", then hysteresis, repeatability, eccentricity, the rule and the verdict.
std::string CheckTable(const CheckRecord& record, const CheckRun& run);

// The record as text, and back. The text ends with a SHA-256 checksum of everything before it;
// a record whose checksum does not match (or a record of this version without one) is read, with
// changedAfterWriting set. Records of the first version, written before there was a checksum,
// are read as they are. ParseCheckRecord says what is wrong, and on which line, with a record it
// cannot read.
std::string CheckRecordText(const CheckRecord& record);
bool ParseCheckRecord(const std::string& text, CheckRecord& record, std::string& error);
bool SaveCheckRecord(const std::string& path, const CheckRecord& record, std::string& error);
bool LoadCheckRecord(const std::string& path, CheckRecord& record, std::string& error);

// Now, as the readings are stamped ("2026-12-07 23:10:05", local time).
std::string CheckTimeNow();

} // namespace quarnex
