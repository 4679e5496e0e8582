#include "support/BusFixture.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quarnex::test {
namespace {

// quarnex-sim as a user runs it: a separate process that prints its device path.
class SimProgramTest : public BusFixture {
protected:
    // Starts quarnex-sim with args; returns the first line it prints (the device path).
    std::string Launch(const std::vector<std::string>& args) {
        // The simulated bus runs a thread: after fork() the child may only make async-signal-safe
        // calls (another thread may have held the allocator's lock), so argv is built before.
        std::vector<char*> argv = {const_cast<char*>(QUARNEX_SIM_PATH)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            execv(QUARNEX_SIM_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        errFd_ = err[0];
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(out[0]);
        return line;
    }
    // Waits for the process to end and returns its exit code (-1 if a signal ended it).
    int Wait(std::string* errText = nullptr) {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        std::string text;
        char buffer[256];
        ssize_t n;
        while ((n = read(errFd_, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        close(errFd_);
        if (errText)
            *errText = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        BusFixture::TearDown();
    }

    pid_t pid_ = -1;
    int errFd_ = -1;
};

TEST_F(SimProgramTest, ServesItsInstrumentsAndStopsCleanlyOnSigterm) {
    const std::string link = "/tmp/quarnex-sim-test-" + std::to_string(getpid());
    const std::string path =
        Launch({"--instrument", "4=kel7", "--instrument", "9=pir7", "--static", "--link", link});
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    struct stat st {};
    EXPECT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    profile_.WriteString("Serial Devices", "COM1", link);
    MakeMaster();
    uint16_t type[17] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(4, 40001, 17, type), CommStatus::Ok);
    EXPECT_EQ(type[0], 2003);
    float version = 0;
    ASSERT_EQ(master_->ReadFloatRegisters(4, 40394, 1, &version), CommStatus::Ok);
    EXPECT_EQ(version, 1310.0f);
    ASSERT_EQ(master_->ReadHoldingRegisters(9, 40001, 1, type), CommStatus::Ok);
    EXPECT_EQ(type[0], 2001);
    master_.reset();

    kill(pid_, SIGTERM);
    std::string errText;
    EXPECT_EQ(Wait(&errText), 0);
    EXPECT_NE(errText.find("stopped"), std::string::npos) << errText;
    EXPECT_NE(lstat(link.c_str(), &st), 0); // the link goes with the bus
}

TEST_F(SimProgramTest, LinkNeverReplacesAFileOfTheUser) {
    const std::string path = "/tmp/quarnex-sim-file-" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("keep me\n", f);
    std::fclose(f);

    const std::string device = Launch({"--instrument", "1=kel7", "--link", path});
    EXPECT_EQ(device, "");
    if (!device.empty()) // it started after all: stop it before looking at the file
        kill(pid_, SIGTERM);
    std::string errText;
    EXPECT_EQ(Wait(&errText), 1);
    EXPECT_NE(errText.find("not a symbolic link"), std::string::npos) << errText;
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 8);
    unlink(path.c_str());
}

TEST_F(SimProgramTest, BadArgumentsAreRefusedWithTheReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--instrument", "0=kel7"}, "ADDR 1-247"},
        {{"--instrument", "5=kel9"}, "unknown instrument kind \"kel9\""},
        {{"--instrument", "5=kel7", "-i", "5=pir7"}, "address 5 given twice"},
        {{"--baud", "12345"}, "bad baud rate"},
        {{"--fault", "3:wobble"}, "unknown fault kind"},
        {{"--fault", "3:exception=0"}, "bad exception code"},
        {{"--link"}, "needs a path"},
        {{"--frobnicate"}, "unknown option"},
    };
    for (const auto& [args, reason] : cases) {
        EXPECT_EQ(Launch(args), "");
        std::string errText;
        EXPECT_EQ(Wait(&errText), 2) << args[0];
        EXPECT_NE(errText.find(reason), std::string::npos) << errText;
    }
}

} // namespace
} // namespace quarnex::test
