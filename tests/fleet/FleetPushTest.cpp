// fleet backup --push against real servers on loopback: a refusing hook, a push that failed
// and is made up later, and each kind of credential (https token, ssh key with known hosts).

#include "GitServers.h"

#include "cli/Cli.h"
#include "comm/ModbusMaster.h"
#include "fleet/FleetConfig.h"
#include "instrument/Registers.h"
#include "platform/Profile.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace quarnex {
namespace {

namespace fs = std::filesystem;

// One serial line with one KEL 7, its fleet file and history in a folder of the test's own.
class FleetPushTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(line_.Start(error)) << error;
        line_.Attach(1, sim::MakeKel7({.serialNumber = 2260137}));
        std::string pattern = (fs::temp_directory_path() / "quarnex-push-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fleet_ = (dir_ / "fleet.ini").string();
        std::ofstream(fleet_) << "[link Hall B]\ndevice=" << line_.DevicePath()
                              << "\nbaud=115200\naddresses=1\n";
    }
    void TearDown() override {
        line_.Stop();
        fs::remove_all(dir_);
    }

    int Backup(std::vector<std::string> extra, std::string& out) {
        std::vector<std::string> args = {"fleet", "backup", fleet_, "--history",
                                         (dir_ / "history").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::ostringstream o, e;
        const int code = RunCli(args, Profile(), o, e, false);
        out = o.str() + e.str();
        return code;
    }

    std::string HistoryTip() const { return test::BranchTip(dir_ / "history" / ".git"); }

    void ChangeFineValue(float value) {
        FleetLink link;
        link.device = line_.DevicePath();
        link.baud = 115200;
        ScriptedPrompter prompter;
        ModbusMaster master(FleetLinkSettings(link), prompter);
        ASSERT_TRUE(master.Open());
        const float activity = 3;
        ASSERT_EQ(master.WriteSingleCoil(1, coil::kEnterBatchSetup, true), CommStatus::Ok);
        ASSERT_EQ(master.WriteFloatRegisters(1, reg::kActivitySelector, 1, &activity),
                  CommStatus::Ok);
        ASSERT_EQ(master.WriteFloatRegisters(1, reg::kActivityWindow + 12, 1, &value),
                  CommStatus::Ok);
        ASSERT_EQ(master.WriteSingleCoil(1, coil::kLeaveBatchSetup, true), CommStatus::Ok);
    }

    sim::SimBus line_;
    fs::path dir_;
    std::string fleet_;
};

#define EXPECT_SAYS(out, text) EXPECT_NE((out).find(text), std::string::npos) << (out)

TEST_F(FleetPushTest, ARefusedPushFailsAndWhatItLacksGoesAtTheNextRun) {
    const fs::path served = dir_ / "served";
    fs::create_directories(served);
    ASSERT_TRUE(test::MakeBareRepository(served / "central.git", "history frozen for the audit"));
    auto daemon = std::make_unique<test::GitDaemon>();
    std::string error, out;
    ASSERT_TRUE(daemon->Start(served, error)) << error;
    const std::vector<std::string> push = {"--push", daemon->Url("central.git")};

    EXPECT_EQ(Backup(push, out), 3);
    EXPECT_SAYS(out, "refused by the server: refs/heads/main: pre-receive hook declined");
    EXPECT_SAYS(out, "history frozen for the audit");
    EXPECT_SAYS(out, "the remote lacks 1 commit");
    EXPECT_EQ(out.find("pushed to"), std::string::npos) << out;
    EXPECT_EQ(test::BranchTip(served / "central.git"), "");

    ChangeFineValue(25.0f);
    EXPECT_EQ(Backup(push, out), 3);
    EXPECT_SAYS(out, "the remote lacks 2 commits");
    // Nothing changed and the remote still refuses: still a failure, never a silent lag.
    EXPECT_EQ(Backup(push, out), 3);
    EXPECT_SAYS(out, "the remote lacks 2 commits");

    ASSERT_TRUE(test::MakeBareRepository(served / "central.git", "")); // the hook is gone
    EXPECT_EQ(Backup(push, out), 0);
    EXPECT_SAYS(out, "pushed 2 commits that an earlier run could not push");
    EXPECT_EQ(test::BranchTip(served / "central.git"), HistoryTip());
    EXPECT_EQ(Backup(push, out), 0);
    EXPECT_EQ(out.find("pushed"), std::string::npos) << out;

    // The daemon gone: the run fails and says what the remote lacked at the last contact.
    ChangeFineValue(30.0f);
    daemon.reset();
    EXPECT_EQ(Backup(push, out), 3);
    EXPECT_SAYS(out, "the remote lacks 1 commit as far as the last contact showed");
}

TEST_F(FleetPushTest, HttpsTokenFromAFile) {
    const fs::path served = dir_ / "served";
    fs::create_directories(served);
    ASSERT_TRUE(test::MakeBareRepository(served / "central.git", ""));
    test::GitHttp http;
    std::string error, out;
    ASSERT_TRUE(http.Start(served, dir_, "fleet", "s3cret-token", error)) << error;
    const fs::path token = dir_ / "token", wrong = dir_ / "wrong-token";
    std::ofstream(token) << "s3cret-token\n";
    std::ofstream(wrong) << "guessed\n";
    fs::permissions(token, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(wrong, fs::perms::owner_read | fs::perms::owner_write);
    const std::string url = http.Url("fleet", "central.git");

    const struct {
        std::vector<std::string> options;
        const char* said;
    } refused[] = {
        {{"--push", url}, "give --token-file FILE"},
        {{"--push", url, "--token-file", wrong.string()}, "the server refused user fleet"},
        {{"--push", http.Url("", "central.git").replace(7, 1, ""), "--token-file", token.string()},
         "name the user in the remote's URL"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(Backup(r.options, out), 3) << r.said;
        EXPECT_SAYS(out, r.said);
    }
    fs::permissions(token, fs::perms::others_read, fs::perm_options::add);
    EXPECT_EQ(Backup({"--push", url, "--token-file", token.string()}, out), 3);
    EXPECT_SAYS(out, "can be read by every user of this machine");
    fs::permissions(token, fs::perms::others_read, fs::perm_options::remove);

    // The token as the fleet file's [history] gives it.
    std::ofstream(fleet_, std::ios::app)
        << "[history]\npush=" << url << "\ntoken-file=" << token.string() << "\n";
    EXPECT_EQ(Backup({}, out), 0);
    EXPECT_SAYS(out, "pushed to " + url);
    EXPECT_EQ(test::BranchTip(served / "central.git"), HistoryTip());
}

TEST_F(FleetPushTest, SshKeyFileAndKnownHost) {
    std::string why;
    if (!test::GitSsh::Available(why))
        GTEST_SKIP() << why;
    ASSERT_TRUE(test::MakeBareRepository(dir_ / "central.git", ""));
    test::GitSsh ssh;
    std::string error, out;
    fs::create_directories(dir_ / "ssh");
    ASSERT_TRUE(ssh.Start(dir_ / "ssh", error)) << error;
    const std::string url = ssh.Url(dir_ / "central.git");
    const fs::path strangers = dir_ / "strangers";
    std::ofstream(strangers) << "[127.0.0.1]:1 ecdsa-sha2-nistp256 "
                                "AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBEmKSENjQEe"
                                "zOmxkZMy7opKgwFB9nkt5YRrYMjNuG5N87uRgg6CLrbo5wAdT/y6v0mKV0U2w0W"
                                "Z2YB/++Tpockg=\n";
    const struct {
        std::vector<std::string> options;
        const char* said;
    } refused[] = {
        {{"--ssh-key", ssh.UserKey().string(), "--known-hosts", strangers.string()},
         "is unknown to"},
        {{"--ssh-key", (dir_ / "no-such-key").string(), "--known-hosts", ssh.KnownHosts().string()},
         "cannot read the ssh key"},
    };
    for (const auto& r : refused) {
        std::vector<std::string> options = {"--push", url};
        options.insert(options.end(), r.options.begin(), r.options.end());
        EXPECT_EQ(Backup(options, out), 3) << r.said;
        EXPECT_SAYS(out, r.said);
        EXPECT_EQ(test::BranchTip(dir_ / "central.git"), "");
    }
    EXPECT_EQ(Backup({"--push", url, "--ssh-key", ssh.UserKey().string(), "--known-hosts",
                      ssh.KnownHosts().string()},
                     out),
              0);
    EXPECT_SAYS(out, "pushed to " + url);
    EXPECT_SAYS(out, "pushed 1 commit that an earlier run could not push");
    EXPECT_EQ(test::BranchTip(dir_ / "central.git"), HistoryTip());

    // Without a key file, the keys of a running ssh-agent.
    const std::string socket = (dir_ / "agent.sock").string();
    test::Child agent;
    ASSERT_TRUE(agent.Start({"ssh-agent", "-D", "-a", socket}, false, error)) << error;
    ASSERT_TRUE(test::WaitForFile(socket));
    ASSERT_EQ(test::Shell("SSH_AUTH_SOCK='" + socket + "' ssh-add -q '" + ssh.UserKey().string() +
                          "' 2>/dev/null"),
              0);
    setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
    ChangeFineValue(25.0f);
    EXPECT_EQ(Backup({"--push", url, "--known-hosts", ssh.KnownHosts().string()}, out), 1);
    unsetenv("SSH_AUTH_SOCK");
    EXPECT_SAYS(out, "pushed to " + url);
    EXPECT_EQ(test::BranchTip(dir_ / "central.git"), HistoryTip());
}

} // namespace
} // namespace quarnex
