#include "fleet/FleetHistory.h"

#include "fleet/HistoryBrowser.h"

#include "cli/Cli.h"
#include "comm/ModbusMaster.h"
#include "instrument/Registers.h"
#include "platform/Profile.h"
#include "sim/FamilyModel.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <git2.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<sim::Kel7Model> Kel7(uint32_t serial) {
    return sim::MakeKel7({.serialNumber = serial});
}

// A plant of two links: a serial line (a pseudo-terminal) with instruments at 1 and 2, and a
// Modbus TCP gateway with one at 5; the history in a folder of its own.
class FleetRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(line_.Start(error)) << error;
        ASSERT_TRUE(gateway_.Start(error)) << error;
        const int port = gateway_.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
        ASSERT_GT(port, 0) << error;
        line_.Attach(1, Kel7(2260137));
        line_.Attach(2, Kel7(2260274));
        gateway_.Attach(5, Kel7(2260685));
        std::string pattern = (fs::temp_directory_path() / "quarnex-fleet-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        history_ = dir_ / "history";
        const std::string text = "[link Hall B]\ndevice=" + line_.DevicePath() +
                                 "\nbaud=115200\naddresses=1-2\n"
                                 "[link Silo]\ndevice=mbap://127.0.0.1:" +
                                 std::to_string(port) + "\naddresses=5\n";
        config_ = ParseFleetFile(text);
        ASSERT_TRUE(config_.Usable());
        std::ofstream(dir_ / "fleet.ini") << text;
    }
    void TearDown() override {
        line_.Stop();
        gateway_.Stop();
        fs::remove_all(dir_);
    }

    FleetRun Run() {
        HistoryRepo repo;
        std::string error;
        EXPECT_TRUE(repo.Open(history_.string(), true, error)) << error;
        return StoreFleet(repo, ReadFleet(config_.links, 0),
                          [] { return std::time_t(1765000000); });
    }

    const InstrumentChange* Find(const FleetRun& run, const std::string& link, int address) {
        for (const InstrumentChange& c : run.instruments)
            if (c.link == link && c.address == address)
                return &c;
        return nullptr;
    }

    // Activity 3's fine value changed as a service engineer does it: in batch set-up on the bus.
    void ChangeFineValue(int address, float value) {
        ScriptedPrompter prompter;
        ModbusMaster master(FleetLinkSettings(config_.links[0]), prompter);
        ASSERT_TRUE(master.Open());
        const float activity = 3;
        ASSERT_EQ(master.WriteSingleCoil(address, coil::kEnterBatchSetup, true), CommStatus::Ok);
        ASSERT_EQ(master.WriteFloatRegisters(address, reg::kActivitySelector, 1, &activity),
                  CommStatus::Ok);
        ASSERT_EQ(master.WriteFloatRegisters(address, reg::kActivityWindow + 12, 1, &value),
                  CommStatus::Ok);
        ASSERT_EQ(master.WriteSingleCoil(address, coil::kLeaveBatchSetup, true), CommStatus::Ok);
    }

    int Cli(std::vector<std::string> args, std::string& out) {
        std::ostringstream o, e;
        const int code = RunCli(args, Profile(), o, e, false);
        out = o.str() + e.str();
        return code;
    }

    sim::SimBus line_, gateway_;
    fs::path dir_, history_;
    FleetConfig config_;
};

TEST_F(FleetRunTest, CommitsOnlyWhatChangedAndSaysWhichRows) {
    const FleetRun first = Run();
    EXPECT_EQ(first.ExitCode(), 1) << first.Summary(2);
    EXPECT_EQ(first.Count(InstrumentChange::Kind::New), 3);
    EXPECT_TRUE(fs::exists(history_ / "Hall B" / "1-226-0137.kel"));
    EXPECT_TRUE(fs::exists(history_ / "Silo" / "5-226-0685.kel"));

    const auto stamp = fs::last_write_time(history_ / "Silo" / "5-226-0685.kel");
    const FleetRun same = Run();
    EXPECT_EQ(same.ExitCode(), 0) << same.Summary(2);
    EXPECT_TRUE(same.commit.empty());
    EXPECT_EQ(same.Count(InstrumentChange::Kind::Unchanged), 3);
    EXPECT_EQ(fs::last_write_time(history_ / "Silo" / "5-226-0685.kel"), stamp);

    ChangeFineValue(2, 25.0f);
    const FleetRun changed = Run();
    ASSERT_EQ(changed.ExitCode(), 1) << changed.Summary(2);
    EXPECT_EQ(changed.paths, (std::vector<std::string>{"Hall B/2-226-0274.kel"}));
    EXPECT_EQ(changed.message, "Hall B / 2 (226-0274): 1 row changed\n\n"
                               "Hall B / 2 (226-0274): 1 row changed\n\n"
                               "Hall B / 2 (226-0274): Activity 03: Fine value: 0.0 kg \u2192 "
                               "25.0 kg\n"
                               "\nRows-changed: 1\n");

    // The history as the command line shows it, and the stored versions compared.
    std::string out;
    EXPECT_EQ(Cli({"history", history_.string(), "Hall B/2"}, out), 0) << out;
    EXPECT_NE(out.find("~0  "), std::string::npos);
    EXPECT_NE(out.find("  " + changed.commit.substr(0, 12) + "  1 row  Hall B/2-226-0274.kel"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("first version"), std::string::npos) << out;
    EXPECT_EQ(Cli({"history", history_.string()}, out), 0) << out;
    EXPECT_NE(out.find("2 commits, 3 instruments stored"), std::string::npos) << out;
    EXPECT_NE(out.find(changed.commit.substr(0, 12) + "  1 row "), std::string::npos) << out;

    const std::string stored = history_.string() + ":Hall B/2";
    EXPECT_EQ(Cli({"diff", stored + "@~1", stored}, out), 1) << out;
    EXPECT_NE(out.find("Fine value"), std::string::npos) << out;
    EXPECT_EQ(Cli({"diff", stored + "@" + first.commit.substr(0, 8), stored + "@~1"}, out), 0)
        << out;
    EXPECT_EQ(Cli({"diff", stored + "@2001-01-01", stored}, out), 3) << out;
    EXPECT_NE(out.find("no version as early as 2001-01-01"), std::string::npos) << out;
    EXPECT_EQ(Cli({"diff", stored + "@~5", stored}, out), 3) << out;
    EXPECT_NE(out.find("there are only 2 versions"), std::string::npos) << out;
}

TEST_F(FleetRunTest, SaysReplacedGoneNewAndUnreadableAndStoresTheRest) {
    ASSERT_EQ(Run().ExitCode(), 1);
    line_.Attach(1, Kel7(2260999)); // another instrument at address 1
    line_.InjectFault(2, {.kind = sim::Fault::Garbage, .count = 1000});
    gateway_.Detach(5);
    gateway_.Attach(6, Kel7(2260822));
    config_.links[1].addresses = {5, 6};
    const FleetRun run = Run();
    EXPECT_EQ(run.ExitCode(), 3) << run.Summary(2);
    EXPECT_FALSE(run.commit.empty());
    EXPECT_EQ(Find(run, "Hall B", 1)->kind, InstrumentChange::Kind::Replaced);
    EXPECT_EQ(Find(run, "Hall B", 2)->kind, InstrumentChange::Kind::Unreadable);
    EXPECT_EQ(Find(run, "Silo", 5)->kind, InstrumentChange::Kind::Gone);
    EXPECT_EQ(Find(run, "Silo", 6)->kind, InstrumentChange::Kind::New);
    EXPECT_FALSE(fs::exists(history_ / "Hall B" / "1-226-0137.kel"));
    EXPECT_TRUE(fs::exists(history_ / "Hall B" / "1-226-0999.kel"));
    EXPECT_TRUE(fs::exists(history_ / "Hall B" / "2-226-0274.kel")); // kept
    EXPECT_FALSE(fs::exists(history_ / "Silo" / "5-226-0685.kel"));
    EXPECT_TRUE(fs::exists(history_ / "Silo" / "6-226-0822.kel"));
    for (const char* said : {"Hall B / 1 (226-0999): replaced: serial number 226-0137 before",
                             "Hall B / 2 (226-0274): unreadable: ", "Silo / 5 (226-0685): gone",
                             "Silo / 6 (226-0822): new"})
        EXPECT_NE(run.message.find(said), std::string::npos) << said << "\n" << run.message;
}

TEST_F(FleetRunTest, AFileStoredButNotCommittedIsCommittedByTheNextRun) {
    ASSERT_EQ(Run().ExitCode(), 1);
    // As a run leaves it that was killed between writing the file and committing it.
    ChangeFineValue(1, 12.5f);
    HistoryRepo repo;
    std::string error;
    ASSERT_TRUE(repo.Open(history_.string(), true, error));
    std::vector<LinkReading> readings = ReadFleet(config_.links, 0);
    ASSERT_FALSE(StoreFleet(repo, readings, [] { return std::time_t(1); }).commit.empty());
    // Undo that commit but keep its file in the work tree: stored, never committed.
    git_libgit2_init();
    git_repository* raw = nullptr;
    git_object* before = nullptr;
    ASSERT_EQ(git_repository_open(&raw, history_.c_str()), 0);
    ASSERT_EQ(git_revparse_single(&before, raw, "HEAD~1"), 0);
    ASSERT_EQ(git_reset(raw, before, GIT_RESET_MIXED, nullptr), 0);
    git_object_free(before);
    git_repository_free(raw);
    git_libgit2_shutdown();
    const FleetRun run = Run();
    EXPECT_EQ(run.ExitCode(), 1) << run.Summary(2);
    EXPECT_EQ(run.carried, (std::vector<std::string>{"Hall B/1-226-0137.kel"}));
    EXPECT_NE(run.message.find("Hall B/1-226-0137.kel: stored by an earlier run"),
              std::string::npos)
        << run.message;
    // No count in its message (nothing compared the file when it was stored): the list compares.
    EXPECT_EQ(run.message.find("Rows-changed"), std::string::npos) << run.message;
    std::string out;
    EXPECT_EQ(Cli({"history", history_.string()}, out), 0) << out;
    EXPECT_NE(out.find(run.commit.substr(0, 12) + "  1 row "), std::string::npos) << out;
    EXPECT_EQ(Cli({"history", history_.string(), "Hall B/1"}, out), 0) << out;
    EXPECT_NE(out.find(run.commit.substr(0, 12) + "  1 row  "), std::string::npos) << out;
    EXPECT_TRUE(Run().commit.empty());
}

TEST_F(FleetRunTest, ALinkThatIsAllSilentFailsAndLosesNothing) {
    ASSERT_EQ(Run().ExitCode(), 1);
    gateway_.Detach(5);
    gateway_.InjectFault(0, {.kind = sim::Fault::Silence, .count = 1000});
    line_.InjectFault(0, {.kind = sim::Fault::Silence, .count = 1000});
    const FleetRun run = Run();
    EXPECT_EQ(run.ExitCode(), 3);
    EXPECT_TRUE(run.commit.empty());
    EXPECT_EQ(run.failedLinks.size(), 2u);
    EXPECT_TRUE(fs::exists(history_ / "Silo" / "5-226-0685.kel"));
}

TEST_F(FleetRunTest, CommandLineBacksUpAndPushesToABareRepository) {
    const fs::path central = dir_ / "central.git";
    git_libgit2_init();
    git_repository* bare = nullptr;
    ASSERT_EQ(git_repository_init(&bare, central.c_str(), 1), 0);
    git_repository_free(bare);
    std::string out;
    const std::vector<std::string> backup = {
        "fleet",  "backup",        (dir_ / "fleet.ini").string(), "--history", history_.string(),
        "--push", central.string()};
    ASSERT_EQ(Cli(backup, out), 1) << out;
    EXPECT_NE(out.find("pushed to"), std::string::npos) << out;
    EXPECT_NE(out.find("fleet backup: 2 links (0 failed), 3 instruments stored: 0 changed, 3 new"),
              std::string::npos)
        << out;
    HistoryRepo local, remote;
    std::string error, localHead, remoteHead;
    ASSERT_TRUE(local.Open(history_.string(), false, error)) << error;
    ASSERT_TRUE(local.Resolve("HEAD", localHead, error));
    ASSERT_EQ(git_repository_open(&bare, central.c_str()), 0);
    git_oid oid;
    ASSERT_EQ(git_reference_name_to_id(&oid, bare, "refs/heads/main"), 0);
    EXPECT_EQ(git_oid_tostr_s(&oid), localHead);
    git_repository_free(bare);
    git_libgit2_shutdown();
    EXPECT_EQ(Cli(backup, out), 0) << out; // nothing changed: no commit, nothing to push
    EXPECT_EQ(Cli({"fleet", "check", (dir_ / "fleet.ini").string()}, out), 0) << out;
    // A second run on the same history while one is writing it is refused, not interleaved.
    HistoryRepo writing;
    ASSERT_TRUE(writing.Open(history_.string(), false, error) && writing.LockForWriting(error));
    EXPECT_EQ(Cli(backup, out), 3) << out;
    EXPECT_NE(out.find("another fleet backup is writing the history"), std::string::npos) << out;
}

TEST_F(FleetRunTest, AnotherModelAtAListedAddressIsListedNotAFailure) {
    line_.Attach(3, sim::MakeFamilyModel(2001)); // a PIR 7
    config_.links[0].addresses = {1, 2, 3};
    const FleetRun first = Run();
    EXPECT_EQ(first.ExitCode(), 1) << first.Summary(2);
    EXPECT_EQ(Find(first, "Hall B", 3)->kind, InstrumentChange::Kind::NotKel7);
    const std::string said = "PIR 7 at 3, not a KEL 7 Recipe Batcher";
    EXPECT_NE(first.Summary(2).find("Hall B: " + said), std::string::npos) << first.Summary(2);
    EXPECT_NE(first.message.find("Hall B / 3: " + said), std::string::npos) << first.message;
    const FleetRun same = Run();
    EXPECT_EQ(same.ExitCode(), 0) << same.Summary(2);
    EXPECT_NE(same.Summary(2).find(said), std::string::npos);
    line_.Detach(3);
    const FleetRun gone = Run();
    EXPECT_EQ(gone.ExitCode(), 1) << gone.Summary(2);
    EXPECT_NE(gone.message.find("Hall B / 3: PIR 7 at 3 gone"), std::string::npos) << gone.message;
    EXPECT_EQ(Run().ExitCode(), 0);
}

// A run killed while git moved the branch left its lock; a person staged a file of their own.
TEST_F(FleetRunTest, AStaleGitLockIsRemovedAndTheUsersStagedFileLeftAlone) {
    ASSERT_EQ(Run().ExitCode(), 1);
    const fs::path lock = history_ / ".git" / "refs" / "heads" / "main.lock";
    std::ofstream(lock) << "0000000000000000000000000000000000000000\n";
    fs::last_write_time(lock, fs::last_write_time(lock) - std::chrono::minutes(5));
    std::ofstream(history_ / "notes.txt") << "calibrated on Monday\n";
    git_libgit2_init();
    git_repository* raw = nullptr;
    git_index* index = nullptr;
    ASSERT_EQ(git_repository_open(&raw, history_.c_str()), 0);
    ASSERT_EQ(git_repository_index(&index, raw), 0);
    ASSERT_EQ(git_index_add_bypath(index, "notes.txt"), 0);
    ASSERT_EQ(git_index_write(index), 0);
    git_index_free(index);

    ChangeFineValue(1, 12.5f);
    std::string out;
    EXPECT_EQ(
        Cli({"fleet", "backup", (dir_ / "fleet.ini").string(), "--history", history_.string()},
            out),
        1)
        << out;
    EXPECT_NE(out.find("removed the stale git lock .git/refs/heads/main.lock"), std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(lock));
    git_object* head = nullptr;
    ASSERT_EQ(git_revparse_single(&head, raw, "HEAD:notes.txt"), GIT_ENOTFOUND);
    // Still staged, and the fleet's own file clean in the index.
    unsigned flags = 0;
    ASSERT_EQ(git_status_file(&flags, raw, "notes.txt"), 0);
    EXPECT_EQ(flags, GIT_STATUS_INDEX_NEW);
    ASSERT_EQ(git_status_file(&flags, raw, "Hall B/1-226-0137.kel"), 0);
    EXPECT_EQ(flags, GIT_STATUS_CURRENT);
    git_repository_free(raw);
    git_libgit2_shutdown();
}

TEST(FleetThreads, NoMoreLinksAtOnceThanTheBound) {
    std::vector<FleetLink> links(12);
    for (size_t i = 0; i < links.size(); ++i)
        links[i].name = "link " + std::to_string(i);
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0, most = 0, started = 0;
    const auto read = [&](const FleetLink& link) {
        std::unique_lock<std::mutex> lock(mutex);
        most = std::max(most, ++running);
        ++started;
        changed.notify_all();
        // Stay until the bound is full (or the queue's tail is reached), so a scheduler that
        // starts more than the bound would be seen doing it.
        changed.wait_for(lock, std::chrono::seconds(30),
                         [&] { return running >= 3 || started == 12; });
        --running;
        LinkReading r;
        r.link = link.name;
        r.opened = true;
        return r;
    };
    const std::vector<LinkReading> readings = RunFleetLinks(links, 3, read);
    EXPECT_EQ(most, 3);
    ASSERT_EQ(readings.size(), links.size());
    for (size_t i = 0; i < links.size(); ++i)
        EXPECT_EQ(readings[i].link, links[i].name);
}

// The service's history belongs to its own user; an administrator in its group reads it.
TEST_F(FleetRunTest, AHistoryOwnedByAnotherUserIsRead) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give the history to another user";
    ASSERT_EQ(Run().ExitCode(), 1);
    for (const auto& entry : fs::recursive_directory_iterator(history_))
        ASSERT_EQ(lchown(entry.path().c_str(), 4242, 4242), 0);
    ASSERT_EQ(lchown(history_.c_str(), 4242, 4242), 0);
    std::string out;
    EXPECT_EQ(Cli({"history", history_.string()}, out), 0) << out;
    EXPECT_NE(out.find("1 commits, 3 instruments stored"), std::string::npos) << out;
    EXPECT_EQ(Cli({"history", history_.string(), "Hall B/2"}, out), 0) << out;
    const std::string stored = history_.string() + ":Hall B/2";
    EXPECT_EQ(Cli({"diff", stored, stored + "@~0"}, out), 0) << out;
}

// The gateway answers 0x0B for the address it can no longer reach: the instrument is gone, as on
// a serial line; its versions stay reachable from the window's logic and every command.
TEST_F(FleetRunTest, AGoneInstrumentBehindAGatewayIsListedAndRestoredFromItsHistory) {
    ASSERT_EQ(Run().ExitCode(), 1);
    gateway_.Detach(5);
    gateway_.SetGatewayException(0x0B);
    config_.links[1].addresses = {5, 6};
    gateway_.Attach(6, Kel7(2260822));
    const FleetRun run = Run();
    ASSERT_EQ(run.ExitCode(), 1) << run.Summary(2);
    EXPECT_EQ(Find(run, "Silo", 5)->kind, InstrumentChange::Kind::Gone);

    HistoryBrowser browser;
    std::string error;
    ASSERT_TRUE(browser.Open(history_.string(), error)) << error;
    const std::vector<std::string>& keys = browser.Instruments();
    const auto silo5 = std::find(keys.begin(), keys.end(), "Silo/5");
    ASSERT_NE(silo5, keys.end());
    const size_t at = static_cast<size_t>(silo5 - keys.begin());
    EXPECT_EQ(browser.InstrumentLabels()[at].rfind("Silo/5 (gone on 20", 0), 0u)
        << browser.InstrumentLabels()[at];
    ASSERT_TRUE(browser.Choose(at, error)) << error;
    ASSERT_EQ(browser.Versions().size(), 2u);
    EXPECT_TRUE(browser.Versions()[0].removed);
    EXPECT_FALSE(browser.CanSave({0}));
    ASSERT_TRUE(browser.CanSave({1}));
    const std::string saved = (dir_ / "restore-me.kel").string();
    ASSERT_TRUE(browser.Save(1, saved, error)) << error;

    // The replacement at 5 gets the gone instrument's set-up back.
    gateway_.SetGatewayException(0);
    gateway_.Attach(5, Kel7(2260999));
    const std::string stored = history_.string() + ":Silo/5";
    std::string out;
    EXPECT_EQ(Cli({"list", stored + "@~1"}, out), 0) << out;
    EXPECT_EQ(Cli({"diff", stored, saved}, out), 0) << out;
    EXPECT_EQ(Cli({"diff", stored + "@~0", saved}, out), 3) << out;
    EXPECT_NE(out.find("its last set-up is ~1"), std::string::npos) << out;
    EXPECT_EQ(Cli({"-d", config_.links[1].device, "restore", "5", stored, "--yes"}, out), 0) << out;
}

} // namespace
} // namespace quarnex
