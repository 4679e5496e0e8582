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
#include <functional>
#include <istream>
#include <sstream>
#include <streambuf>

namespace quarnex::test {
namespace {

// Input whose next line is made when it is asked for, so the test acts between the prompts.
class ScriptInput : public std::streambuf {
public:
    explicit ScriptInput(std::function<bool(std::string&)> next) : next_(std::move(next)) {}

protected:
    int_type underflow() override {
        if (!next_(line_))
            return traits_type::eof();
        line_ += '\n';
        setg(line_.data(), line_.data(), line_.data() + line_.size());
        return traits_type::to_int_type(line_[0]);
    }

private:
    std::function<bool(std::string&)> next_;
    std::string line_;
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
    // Runs check with answers: each answer is a load to put on the scale and Enter, or a
    // letter typed as it is.
    int Run(std::vector<std::string> args, std::vector<std::string> answers) {
        size_t next = 0;
        ScriptInput script([&](std::string& line) {
            if (next == answers.size())
                return false;
            line = answers[next++];
            if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
                const double load = std::stod(line);
                bus_.WithModel<sim::Kel7Model>(1,
                                               [&](sim::Kel7Model& m) { m.PlaceLoad(load, 300); });
                line.clear();
            }
            return true;
        });
        std::istream input(&script);
        SetCheckInput(&input);
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
