// The set-up file commands of quarnex-cli against a simulated KEL 7.
#include "cli/Cli.h"
#include "sim/Kel7Model.h"
#include "support/BusFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace quarnex::test {
namespace {

class CliFiles : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        bus_.Attach(1, sim::MakeKel7({}));
        char pattern[] = "/tmp/quarnex-cli-files-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        BusFixture::TearDown();
    }
    int Run(std::vector<std::string> args) {
        out_.str({});
        err_.str({});
        args.insert(args.begin(), {"-d", bus_.DevicePath()});
        return RunCli(args, profile_, out_, err_);
    }
    std::string dir_;
    std::ostringstream out_, err_;
};

TEST_F(CliFiles, BackupRestoreAndListWithTheirExitCodes) {
    const std::string file = dir_ + "/one.kel";
    ASSERT_EQ(Run({"backup", "1", file, "--info", "from the test"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("Backup operation successful !"), std::string::npos);
    EXPECT_NE(err_.str().find("100%"), std::string::npos); // the progress line

    // Without --yes the question is answered No: nothing happens.
    EXPECT_EQ(Run({"restore", "1", file}), 4);
    EXPECT_NE(err_.str().find("(answered No)"), std::string::npos);
    ASSERT_EQ(Run({"restore", "1", file, "--yes", "--sections", "recipes"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("No. of parameters in instr : 1800"), std::string::npos);
    EXPECT_EQ(Run({"restore", "1", file, "--yes", "--sections", "bogus"}), 2);

    ASSERT_EQ(Run({"list", file}), 0);
    EXPECT_NE(out_.str().find("from the test"), std::string::npos);
    EXPECT_NE(out_.str().find("RECIPE SET-UP DATA"), std::string::npos);
    EXPECT_EQ(Run({"list", dir_ + "/missing.kel"}), 3);
    EXPECT_EQ(Run({"backup", "1"}), 2);
    EXPECT_EQ(Run({"backup", "0", file}), 2);
}

TEST_F(CliFiles, BackupAllGoesOnPastAFailedAddress) {
    bus_.Attach(3, sim::MakeKel7({}));
    bus_.WithModel<sim::Kel7Model>(3, [](sim::Kel7Model& m) { m.SetState(4); });
    EXPECT_EQ(Run({"backup", "all", dir_}), 3);
    EXPECT_NE(out_.str().find("saved 1, failed 1"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("FAILED 3: Backup operation failed ! Instrument in wrong state"),
              std::string::npos)
        << out_.str();
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/1_KEL_7.kel"));
}

} // namespace
} // namespace quarnex::test
