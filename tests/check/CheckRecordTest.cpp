// The check record: what is written is read back as it was and prints the same table; a damaged
// record says what is wrong and where.
#include "check/CheckRecord.h"
#include "check/CheckPlot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace quarnex {
namespace {

CheckRecord SampleRecord() {
    CheckRecord r;
    r.instrument = "KEL 7 Recipe Batcher";
    r.serialNumber = "12-3456";
    r.program = "7310 V1.04";
    r.name = "Silo | 3";
    r.address = 7;
    r.unit = "kg";
    r.capacity = 1000;
    r.division = 0.1;
    r.calibration = {{"Calibration type:", "Deadweight"}, {"Capacity:", "1000.0 kg"}};
    r.plan.loads = {0, 500, 1000};
    r.plan.down = true;
    r.plan.repeatLoad = 500;
    r.plan.repeatCount = 2;
    r.rule.inService = true;
    r.technician = "A. Weigher";
    r.notes = "line one\nback\\slash";
    r.date = "2026-12-07";
    CheckRun found;
    found.readings.resize(r.plan.Steps().size());
    const double readings[] = {0.0, 500.5, 1000.1, 500.7, 0.0, 500.5, 500.1};
    for (size_t i = 0; i < found.readings.size(); ++i)
        found.readings[i] = {CheckReading::State::Taken, readings[i],
                             "2026-12-07 10:00:0" + std::to_string(i), ""};
    found.readings[4] = {CheckReading::State::Skipped, 0, "2026-12-07 10:01:00", "not still"};
    r.runs.push_back(found);
    return r;
}

TEST(CheckRecord, WrittenAndReadBackPrintsTheSame) {
    const CheckRecord record = SampleRecord();
    const std::string text = CheckRecordText(record);
    CheckRecord back;
    std::string error;
    ASSERT_TRUE(ParseCheckRecord(text, back, error)) << error;
    EXPECT_EQ(text, CheckRecordText(back));
    EXPECT_EQ(CheckTable(record, record.runs[0]), CheckTable(back, back.runs[0]));
    EXPECT_EQ("line one\nback\\slash", back.notes);
    EXPECT_EQ(CheckReading::State::Skipped, back.runs[0].readings[4].state);

    // In service, class III, e = 0.1: 500 kg (5000 e) may be off by 2 x 1.5 e = 0.3, so 500.5
    // (twice) and 500.7 fail; the repeats scatter 0.4 against 0.3.
    const CheckResult result = EvaluateRun(back, back.runs[0]);
    EXPECT_EQ(CheckResult::Verdict::Fail, result.verdict);
    EXPECT_EQ(3, result.failed);
    EXPECT_EQ(1, result.missing);
    EXPECT_NEAR(0.2, result.hysteresis, 1e-9);
    EXPECT_NEAR(0.4, result.repeatability, 1e-9);
    EXPECT_FALSE(result.repeatabilityPass);
    const std::string table = CheckTable(back, back.runs[0]);
    EXPECT_NE(std::string::npos, table.find("* 2   up              500.0      500.5"));
    EXPECT_NE(std::string::npos, table.find("skipped"));

    // The plot: up and down apart, and a band with the class's step at 500 e = 50 kg.
    // The repeats are markers of their own, not joined into the up line.
    const auto series = CheckPlotData(back);
    ASSERT_EQ(3u, series.size());
    EXPECT_EQ(3u, series[0].points.size());
    EXPECT_EQ(1u, series[1].points.size()); // 0 kg coming down was skipped
    EXPECT_EQ("As found, repeat", series[2].name);
    EXPECT_FALSE(series[2].Joined());
    EXPECT_EQ(2u, series[2].points.size());
    const auto edge = ToleranceEdge(back);
    EXPECT_DOUBLE_EQ(0.1, edge.front().second);
    EXPECT_DOUBLE_EQ(0.3, edge.back().second);
}

// Every reading within its tolerance, but the repeats of one load scatter wider than the
// permissible error there: the scale is not repeatable, and the check fails on that alone.
TEST(CheckRecord, RepeatabilityAloneFailsTheCheck) {
    CheckRecord record = SampleRecord();
    // 500 kg may be off by 0.3 (see above): 500.25 and 499.75 are both within it, 0.5 apart.
    const double readings[] = {0.0, 500.0, 1000.0, 500.0, 0.0, 500.25, 499.75};
    for (size_t i = 0; i < record.runs[0].readings.size(); ++i)
        record.runs[0].readings[i] = {CheckReading::State::Taken, readings[i], "", ""};
    const CheckResult result = EvaluateRun(record, record.runs[0]);
    EXPECT_EQ(0, result.failed);
    EXPECT_EQ(0, result.missing);
    EXPECT_FALSE(result.repeatabilityPass);
    EXPECT_EQ(CheckResult::Verdict::Fail, result.verdict);
    EXPECT_EQ("FAILED: the repeated readings scatter more than the permissible error.",
              VerdictSentence(result));
    // A reading below its load by more than the tolerance fails, as one above it does.
    record.runs[0].readings[2].indication = 999.5;
    EXPECT_EQ(1, EvaluateRun(record, record.runs[0]).failed);
    record.runs[0].readings[2].indication = 1000.0;
    // The same repeats 0.2 apart pass.
    record.runs[0].readings[6].indication = 500.05;
    EXPECT_EQ(CheckResult::Verdict::Pass, EvaluateRun(record, record.runs[0]).verdict);
}

TEST(CheckRecord, DamagedRecordsSayWhatIsWrong) {
    const std::string good = CheckRecordText(SampleRecord());
    const auto replace = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::pair<std::string, std::string> rows[] = {
        {"", "not a calibration check record"},
        {"garbage", "not a calibration check record"},
        {good.substr(0, good.size() - 4), "cut short"},
        {good + "x=1\n", "after the end"},
        {replace("loads=0,500,1000", "loads=500,0"), "the test loads must increase"},
        {replace("loads=0,500,1000", "loads=0,,5"), "line 12: bad test loads"},
        {replace("address=7", "address=300"), "line 6: bad address"},
        {replace("rule=class III", "rule=class V"), "bad rule"},
        {replace("reading=1|", "reading=9|"), "bad reading"},
        {replace("|500.5|", "|5x|"), "bad reading value"},
        {replace("down=yes", "down=maybe"), "down must be yes or no"},
        {replace("capacity=", "colour="), "unknown entry \"colour\""},
        {replace("run=As found\n", ""), "a reading outside a run"},
    };
    for (const auto& [text, message] : rows) {
        CheckRecord record;
        std::string error;
        EXPECT_FALSE(ParseCheckRecord(text, record, error)) << message;
        EXPECT_NE(std::string::npos, error.find(message)) << error;
    }
    std::string error;
    CheckRecord record;
    EXPECT_FALSE(LoadCheckRecord("/nonexistent/check.txt", record, error));
    EXPECT_NE(std::string::npos, error.find("Cannot read the check record /nonexistent/check.txt"));
}

TEST(CheckRecord, AnEditedRecordIsDetected) {
    CheckRecord sample = SampleRecord();
    // A replaced as-left run stays in the record, superseded, beside the one that replaced it.
    CheckRun left = sample.runs[0];
    left.name = "As left";
    left.superseded = true;
    left.started = "2026-12-07 11:00:00";
    sample.runs.push_back(left);
    left.superseded = false;
    left.readings[1].indication = 500.0;
    sample.runs.push_back(left);
    const std::string text = CheckRecordText(sample);
    const auto read = [](const std::string& t) {
        CheckRecord r;
        std::string error;
        EXPECT_TRUE(ParseCheckRecord(t, r, error)) << error;
        return r;
    };
    const CheckRecord back = read(text);
    EXPECT_FALSE(back.changedAfterWriting);
    EXPECT_EQ(text, CheckRecordText(back));
    ASSERT_EQ(3u, back.runs.size());
    EXPECT_EQ(&back.runs[2], back.Current("As left"));
    EXPECT_TRUE(back.runs[1].superseded);
    EXPECT_EQ("2026-12-07 11:00:00", back.runs[1].started);

    const auto replace = [&](std::string t, const std::string& from, const std::string& to) {
        return t.replace(t.find(from), from.size(), to);
    };
    const std::string withoutChecksum = replace(text, text.substr(text.find("sha256="), 72), "");
    for (const std::string& edited :
         {replace(text, "|500.5|", "|500.1|"), replace(text, "technician=A.", "technician=B."),
          withoutChecksum})
        EXPECT_TRUE(read(edited).changedAfterWriting) << edited;

    // Written before there was a checksum, with the bare serial number: read as it is, and the
    // serial number shown as everywhere else.
    std::string old = replace(withoutChecksum, "version 2", "version 1");
    old = replace(old, "serial=12-3456", "serial=2260137");
    const CheckRecord older = read(old);
    EXPECT_FALSE(older.changedAfterWriting);
    EXPECT_EQ("226-0137", older.serialNumber);
}

TEST(CheckRecord, SavedThroughATemporaryFile) {
    const std::string path = ::testing::TempDir() + "check-record-test.txt";
    std::string error;
    ASSERT_TRUE(SaveCheckRecord(path, SampleRecord(), error)) << error;
    CheckRecord back;
    ASSERT_TRUE(LoadCheckRecord(path, back, error)) << error;
    EXPECT_EQ("A. Weigher", back.technician);
    EXPECT_FALSE(std::ifstream(path + ".part").good());
    std::remove(path.c_str());
    EXPECT_FALSE(SaveCheckRecord("/nonexistent/dir/r.txt", SampleRecord(), error));
}

TEST(CheckPlan, StepsAndProblems) {
    CheckPlan plan;
    plan.loads = {0, 250, 500};
    plan.down = true;
    plan.eccentricLoad = 300;
    plan.eccentricPositions = 4;
    std::vector<std::string> labels;
    for (const CheckStep& s : plan.Steps())
        labels.push_back(StepLabel(s) + " " + FormatCheckWeight(s.load, 1));
    EXPECT_EQ(
        (std::vector<std::string>{"up 0", "up 250", "up 500", "down 250", "down 0", "centre 300",
                                  "corner 1 300", "corner 2 300", "corner 3 300"}),
        labels);
    EXPECT_EQ("Move the load to corner 2", StepInstruction(plan.Steps()[7], 0.1, "kg"));
    const std::pair<std::vector<double>, std::string> bad[] = {
        {{}, "no test loads"}, {{0, 500, 500}, "must increase"}, {{-1, 5}, "negative"}};
    for (const auto& [loads, message] : bad) {
        plan.loads = loads;
        EXPECT_NE(std::string::npos, plan.Problem().find(message)) << message;
    }
}

} // namespace
} // namespace quarnex
