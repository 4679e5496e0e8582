// quarnex-cli as a process of its own: stopped by a signal halfway through a command, and writing
// under a file size limit.
#include "cli/Cli.h"
#include "sim/Kel7Model.h"
#include "support/BusFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace quarnex::test {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliProcess : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        bus_.Attach(1, sim::MakeKel7({}));
        char pattern[] = "/tmp/quarnex-cli-process-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        BusFixture::TearDown();
    }
    // Starts the program with args (through sh when shell is given: "$0" is the program).
    pid_t Spawn(const std::vector<std::string>& args, const std::string& shell = {}) {
        std::vector<std::string> argv;
        if (!shell.empty())
            argv = {"/bin/sh", "-c", shell};
        argv.push_back(QUARNEX_CLI_BINARY);
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> raw;
            for (std::string& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            setenv("HOME", dir_.c_str(), 1); // a profile of its own
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execv(raw[0], raw.data());
            _exit(127);
        }
        return pid;
    }
    int Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    // Waits (bounded) until ready() holds.
    template <class F> bool Until(F ready) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!ready()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    int State() {
        return bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) { return m.State(); });
    }
    std::string dir_;
};

// What `stty -a` shows of the device, and its exclusive flag.
std::string DeviceSettings(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    int exclusive = -1;
    ioctl(fd, TIOCGEXCL, &exclusive);
    close(fd);
    std::ostringstream s;
    s << t.c_iflag << ' ' << t.c_oflag << ' ' << t.c_cflag << ' ' << t.c_lflag << ' '
      << cfgetispeed(&t) << ' ' << cfgetospeed(&t) << ' ' << exclusive;
    for (cc_t c : t.c_cc)
        s << ' ' << int(c);
    return s.str();
}

// Ctrl+C in a restore leaves the instrument out of remote restore with its set-up, and the
// device as it was found; so does SIGTERM in a long run of reads.
TEST_F(CliProcess, AStopSignalLeavesTheDeviceAndTheInstrumentAsTheyWere) {
    const std::string file = dir_ + "/a.kel";
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"-d", bus_.DevicePath(), "backup", "1", file}, profile_, out, err), 0)
        << err.str();
    master_.reset(); // the port is the child's
    bus_.SetPacing(9600);
    bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) { m.SetRecipeValue(61, 42.0f); });
    const std::string before = DeviceSettings(bus_.DevicePath());

    pid_t pid = Spawn({"-d", bus_.DevicePath(), "-b", "9600", "restore", "1", file, "--yes"});
    ASSERT_TRUE(Until([&] { return State() == 5; }));
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 128 + SIGINT);
    EXPECT_EQ(State(), 2);
    bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) {
        EXPECT_EQ(m.RecipeValue(61), 42.0f); // the set-up it had
    });
    EXPECT_EQ(DeviceSettings(bus_.DevicePath()), before);

    bus_.ClearRequests();
    pid = Spawn({"-d", bus_.DevicePath(), "-b", "9600", "-n", "1000000", "read", "1", "40001"});
    ASSERT_TRUE(Until([&] { return bus_.RequestCount(1) > 3; }));
    kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 128 + SIGTERM);
    EXPECT_EQ(DeviceSettings(bus_.DevicePath()), before);
}

// A backup to a new file killed while it reads the instrument leaves no file under the name (an
// empty one would pass for a backup); the next backup there succeeds.
TEST_F(CliProcess, ABackupKilledBeforeItWroteLeavesNoFile) {
    const std::string file = dir_ + "/new.kel";
    master_.reset();
    bus_.SetPacing(9600);
    const pid_t pid = Spawn({"-d", bus_.DevicePath(), "-b", "9600", "backup", "1", file});
    ASSERT_TRUE(Until([&] { return bus_.RequestCount(1) > 10; }));
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), 1000 + SIGKILL);
    EXPECT_FALSE(std::filesystem::exists(file));
    std::ostringstream out, err;
    bus_.SetPacing(-1);
    EXPECT_EQ(RunCli({"-d", bus_.DevicePath(), "backup", "1", file}, profile_, out, err), 0)
        << err.str();
    EXPECT_GT(std::filesystem::file_size(file), 0u);
}

// A file size limit stops the backup: the previous file and its ".bak" are as they were, and no
// temporary file is left behind.
TEST_F(CliProcess, AFileSizeLimitCostsNeitherThePreviousFileNorItsBak) {
    const std::string file = dir_ + "/b.kel";
    std::ofstream(file) << "previous\r\n";
    std::ofstream(file + ".bak") << "older\r\n";
    master_.reset();
    const pid_t pid =
        Spawn({"-d", bus_.DevicePath(), "backup", "1", file}, "ulimit -f 20 && exec \"$0\" \"$@\"");
    EXPECT_EQ(Wait(pid), 3);
    EXPECT_EQ(ReadAll(file), "previous\r\n");
    EXPECT_EQ(ReadAll(file + ".bak"), "older\r\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_))
        ++entries;
    EXPECT_EQ(entries, 2);
}

// A log into a named pipe that nobody reads waits for its reader without holding the port, and
// Ctrl+C ends the wait.
TEST_F(CliProcess, ALogIntoAnUnreadPipeStopsOnCtrlC) {
    const std::string fifo = dir_ + "/rows", err = dir_ + "/err";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    master_.reset();
    const pid_t pid =
        Spawn({"-d", bus_.DevicePath(), "log", "1", "--csv", fifo}, "exec \"$0\" \"$@\" 2>" + err);
    ASSERT_TRUE(
        Until([&] { return ReadAll(err).find("waiting for a reader") != std::string::npos; }));
    EXPECT_TRUE(bus_.Requests().empty());
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 128 + SIGINT) << ReadAll(err);
}

// Ctrl+C at a prompt of the check ends it at once; the reading taken is in the record.
TEST_F(CliProcess, CtrlCEndsTheCheckAtAPromptKeepingTheReadings) {
    const std::string fifo = dir_ + "/answers", err = dir_ + "/err", record = dir_ + "/r.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    master_.reset();
    const pid_t pid =
        Spawn({"-d", bus_.DevicePath(), "check", "1", "--loads", "0,500", "--record", record},
              "exec \"$0\" \"$@\" 2>" + err + " <" + fifo);
    const int answers = open(fifo.c_str(), O_RDWR); // the technician's side, never closed early
    ASSERT_GE(answers, 0);
    const auto prompted = [&](const std::string& what) {
        return Until([&] { return ReadAll(err).find(what) != std::string::npos; });
    };
    ASSERT_TRUE(prompted("Place 0.0 kg on the scale, then press Enter"));
    ASSERT_EQ(write(answers, "\n", 1), 1);
    ASSERT_TRUE(prompted("Place 500.0 kg on the scale, then press Enter"));
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 128 + SIGINT) << ReadAll(err);
    close(answers);
    const std::string saved = ReadAll(record);
    EXPECT_NE(std::string::npos, saved.find("reading=1|")) << saved;
    EXPECT_EQ(std::string::npos, saved.find("reading=2|")) << saved;
}

} // namespace
} // namespace quarnex::test
