// quarnex-cli check driven through its standard input, as a script drives it: each answer line
// is read only after its prompt, and the script puts the prompted load on the simulated scale
// just before answering.
#include "cli/CliCheck.h"
#include "cli/Cli.h"
#include "cli/CliTerminal.h"
#include "sim/Kel7Model.h"
#include "support/BusFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace quarnex::test {
namespace {

// The answers of a technician: the load of a step is put on the scale right after the Enter of
// the step before, and its own Enter comes once the check has seen it settle. A load can be
// "0>500" (taken off, then put back) or "=" (Enter without touching the scale); a letter is typed
// as it is.
class Technician : public CheckLineSource {
public:
    Technician(sim::SimBus& bus, std::vector<std::string> answers)
        : bus_(bus), answers_(std::move(answers)) {}
    Got Next(std::string& line, int) override {
        if (!started_) {
            started_ = true;
            Place();
        }
        if (next_ == answers_.size())
            return Got::End;
        if (!loads_.empty() || ticksSeen_ < 2) {
            const bool moving =
                bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) { return m.Motion(); });
            ticksSeen_ = moving ? 0 : ticksSeen_ + 1;
            if (!moving && ticksSeen_ >= 2 && !loads_.empty()) {
                Put(loads_.front());
                loads_.erase(loads_.begin());
                ticksSeen_ = 0;
            }
            return Got::Nothing;
        }
        const std::string& answer = answers_[next_++];
        line = IsLoad(answer) || answer == "=" ? "" : answer;
        Place();
        return Got::Line;
    }

private:
    static bool IsLoad(const std::string& a) {
        return !a.empty() && std::isdigit(static_cast<unsigned char>(a[0]));
    }
    // The next answer's loads: the first goes on now, the others after it settled.
    void Place() {
        ticksSeen_ = 2;
        if (next_ == answers_.size() || !IsLoad(answers_[next_]))
            return;
        std::stringstream chain(answers_[next_]);
        for (std::string load; std::getline(chain, load, '>');)
            loads_.push_back(std::stod(load));
        Put(loads_.front());
        loads_.erase(loads_.begin());
        ticksSeen_ = 0;
    }
    void Put(double load) {
        bus_.WithModel<sim::Kel7Model>(1, [&](sim::Kel7Model& m) { m.PlaceLoad(load, 300); });
    }
    sim::SimBus& bus_;
    std::vector<std::string> answers_;
    size_t next_ = 0;
    bool started_ = false;
    std::vector<double> loads_;
    int ticksSeen_ = 2;
};

class CliCheckTest : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        sim::Kel7Options options;
        options.clock = sim::Kel7Clock::Bus; // the load settles in real time, as on a scale
        bus_.Attach(1, sim::MakeKel7(options));
        bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) {
            m.SetNormalValue(22, 0.1f); // No-motion delay: 0.1 s
            m.SetScaleErrors({.nonlinearity = 0.05});
        });
        dir_ = ::testing::TempDir() + "cli-check-" + std::to_string(::getpid());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        SetCheckInput(nullptr);
        std::filesystem::remove_all(dir_);
        BusFixture::TearDown();
    }
    // Runs check with a technician's answers.
    int Run(std::vector<std::string> args, std::vector<std::string> answers) {
        Technician technician(bus_, std::move(answers));
        SetCheckInput(&technician);
        args.insert(args.begin(), {"-d", bus_.DevicePath(), "check", "1"});
        out_.str({});
        err_.str({});
        return RunCli(args, profile_, out_, err_, false);
    }
    std::string dir_;
    std::ostringstream out_, err_;
};

TEST_F(CliCheckTest, ThroughStandardInputWithARecordAndAnAsLeftCheck) {
    const std::string record = dir_ + "/check.txt";
    // 0.05 % non-linearity: 500 kg reads 500.5, beyond the 0.15 kg of class III at e = 0.1.
    EXPECT_EQ(kExitOutOfTolerance, Run({"--loads", "0,500,1000", "--down", "--class", "III",
                                        "--record", record, "--technician", "A. Weigher"},
                                       {"0", "500", "1000", "500", "0"}))
        << err_.str();
    EXPECT_NE(
        std::string::npos,
        err_.str().find("Place 500.0 kg on the scale, then press Enter (s skip, b back, q quit)"));
    const std::string out = out_.str();
    EXPECT_NE(std::string::npos,
              out.find("up 500.0: read 500.5, error 0.5 (±0.15) OUT OF TOLERANCE"))
        << out;
    EXPECT_NE(std::string::npos, out.find("FAILED: 2 readings out of tolerance.")) << out;

    // After calibration the same plan again, with the scale put right: the record keeps both.
    bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) { m.SetScaleErrors({}); });
    EXPECT_EQ(kExitDone, Run({"--record", record, "--as-left"}, {"0", "500", "1000", "500", "0"}))
        << err_.str();
    CheckRecord saved;
    std::string error;
    ASSERT_TRUE(LoadCheckRecord(record, saved, error)) << error;
    ASSERT_EQ(2u, saved.runs.size());
    EXPECT_EQ("As left", saved.runs[1].name);
    EXPECT_EQ(CheckResult::Verdict::Pass, EvaluateRun(saved, saved.runs[1]).verdict);
    EXPECT_EQ(CheckResult::Verdict::Fail, EvaluateRun(saved, saved.runs[0]).verdict);
    EXPECT_EQ("A. Weigher", saved.technician);

    // The record is never overwritten by a new as-found check.
    EXPECT_EQ(kExitFailed, Run({"--loads", "0,500", "--record", record}, {}));
    EXPECT_NE(std::string::npos, err_.str().find("exists: give another name"));
}

TEST_F(CliCheckTest, SkipAndQuitLeaveTheCheckIncomplete) {
    EXPECT_EQ(kExitStopped, Run({"--loads", "0,1000", "--tolerance", "1"}, {"0", "s"}));
    EXPECT_NE(std::string::npos, out_.str().find("INCOMPLETE: 1 step not read")) << out_.str();
    EXPECT_EQ(kExitStopped, Run({"--loads", "0,1000", "--tolerance", "1"}, {"q"}));
    EXPECT_NE(std::string::npos, out_.str().find("not read")) << out_.str();
}

TEST_F(CliCheckTest, RepeatsLeftOnTheScaleAreNotReadUntilTakenOffAndPlacedAgain) {
    EXPECT_EQ(kExitDone, Run({"--loads", "0,500", "--repeat", "500:3", "--tolerance", "1"},
                             {"0", "500", "0>500", "=", "=", "0>500", "0>500"}))
        << err_.str();
    const std::string err = err_.str();
    EXPECT_NE(std::string::npos,
              err.find("Take the load off and place it again (repeat 2 of 3), then press Enter"));
    EXPECT_NE(std::string::npos,
              err.find("not read: Take the load off and place it again (repeat 2 of 3)"))
        << err;
    EXPECT_NE(std::string::npos, out_.str().find("repeatability: spread 0.0")) << out_.str();
}

TEST_F(CliCheckTest, AReadingFarFromItsLoadIsAskedAbout) {
    // The full load left on from before: the 0 kg step is not read without a y.
    EXPECT_EQ(kExitDone, Run({"--loads", "0,500", "--tolerance", "1"}, {"1000", "n", "0", "500"}))
        << err_.str();
    EXPECT_NE(std::string::npos,
              err_.str().find("The scale shows 1000.0 kg for the 0.0 kg step. Read it anyway? "
                              "(y/N)"))
        << err_.str();
    EXPECT_NE(std::string::npos, out_.str().find("up 0.0: read 0.0, error 0.0 (±1.0) ok"))
        << out_.str();
}

TEST_F(CliCheckTest, ARecordIsNeverOverwrittenNorAddedToOnceEdited) {
    const std::string record = dir_ + "/check.txt";
    const auto bytes = [&] {
        std::ifstream in(record, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::vector<std::string> asFound = {"--loads", "0,500",    "--tolerance",
                                              "1",       "--record", record};
    ASSERT_EQ(kExitDone, Run(asFound, {"0", "500"})) << err_.str();
    ASSERT_EQ(kExitDone, Run({"--record", record, "--as-left"}, {"0", "500"})) << err_.str();
    // A second as-left run, quit at once: refused, the record as it was.
    const std::string before = bytes();
    EXPECT_EQ(kExitFailed, Run({"--record", record, "--as-left"}, {"q"}));
    EXPECT_NE(std::string::npos, err_.str().find("already holds an as-left check")) << err_.str();
    EXPECT_EQ(before, bytes());
    // Replaced on purpose: the earlier run stays, superseded.
    EXPECT_EQ(kExitStopped, Run({"--record", record, "--as-left", "--replace-as-left"}, {"q"}));
    CheckRecord saved;
    std::string error;
    ASSERT_TRUE(LoadCheckRecord(record, saved, error)) << error;
    ASSERT_EQ(3u, saved.runs.size());
    EXPECT_TRUE(saved.runs[1].superseded);
    EXPECT_EQ(CheckReading::State::Taken, saved.runs[1].readings[1].state);
    EXPECT_EQ(&saved.runs[2], saved.Current("As left"));

    // Edited by hand: read with the warning, and nothing is added to it.
    std::string text = bytes();
    text.replace(text.find("|500.5|"), 7, "|500.0|");
    std::ofstream(record, std::ios::binary | std::ios::trunc) << text;
    ASSERT_TRUE(LoadCheckRecord(record, saved, error)) << error;
    EXPECT_TRUE(saved.changedAfterWriting);
    EXPECT_EQ(kExitFailed, Run({"--record", record, "--as-left", "--replace-as-left"}, {"q"}));
    EXPECT_NE(std::string::npos, err_.str().find("the record was changed after it was written"));
    EXPECT_EQ(text, bytes());
}

TEST_F(CliCheckTest, WhatCannotWorkIsSaidBeforeTheFirstLoad) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--record", "/nonexistent/dir/r.txt"},
         "cannot write /nonexistent/dir/r.txt: No such file or directory"},
        {{"--class", "III", "--e", "0.05"}, "e = 0.05 kg is smaller than the display step 0.1 kg"},
    };
    for (const auto& [extra, message] : rows) {
        std::vector<std::string> args = {"--loads", "0,500"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_NE(kExitDone, Run(args, {"0", "500"}));
        EXPECT_NE(std::string::npos, err_.str().find(message)) << err_.str();
        EXPECT_EQ(std::string::npos, err_.str().find("Place")) << err_.str();
    }
}

// Answers from a function, called at every wait for a line.
class Script : public CheckLineSource {
public:
    explicit Script(std::function<Got(std::string&)> next) : next_(std::move(next)) {}
    Got Next(std::string& line, int) override { return next_(line); }

private:
    std::function<Got(std::string&)> next_;
};

TEST_F(CliCheckTest, ASilentBusIsSaidWhileWaitingAndEndsTheCheck) {
    int state = 0;
    Script script([&](std::string& line) {
        line.clear();
        if (state == 0) { // the 0 kg step
            state = 1;
            return CheckLineSource::Got::Line;
        }
        if (state == 1) {
            sim::FaultSpec silence;
            silence.count = 1000000;
            bus_.InjectFault(1, silence);
            state = 2;
        }
        if (err_.str().find("no answer from the instrument at address 1 for 3 s") ==
            std::string::npos)
            return CheckLineSource::Got::Nothing;
        return CheckLineSource::Got::Line; // Enter on a silent bus
    });
    SetCheckInput(&script);
    EXPECT_EQ(kExitBus, RunCli({"-d", bus_.DevicePath(), "check", "1", "--loads", "0,500"},
                               profile_, out_, err_, false));
    EXPECT_NE(std::string::npos, err_.str().find("the readings taken so far are kept"));
    EXPECT_NE(std::string::npos, out_.str().find("up 0.0: read 0.0")) << out_.str();
}

TEST_F(CliCheckTest, BadArgumentsSayWhat) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, "check needs --loads"},
        {{"--loads", "500,0"}, "the test loads must increase"},
        {{"--loads", "0,x"}, "bad --loads"},
        {{"--loads", "0,500", "--class", "V"}, "bad --class 'V'"},
        {{"--loads", "0,500", "--class", "II", "--tolerance", "1"}, "not both"},
        {{"--loads", "0,500", "--repeat", "500"}, "bad --repeat '500'"},
        {{"--loads", "0,500", "--repeat", "500:1"}, "2 to 20 repetitions"},
        {{"--loads", "0,500", "--eccentric", "500:3"}, "4 or 5 positions"},
        {{"--as-left"}, "--as-left needs --record"},
        {{"--record", "r", "--as-left", "--loads", "0,5"}, "give no loads or rule"},
        {{"--loads"}, "option --loads needs a value"},
    };
    for (const auto& [args, message] : rows) {
        EXPECT_EQ(kExitArguments, Run(args, {})) << message;
        EXPECT_NE(std::string::npos, err_.str().find(message)) << err_.str();
    }
}

} // namespace
} // namespace quarnex::test
