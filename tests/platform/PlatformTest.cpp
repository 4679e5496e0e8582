#include "platform/Clock.h"
#include "platform/Profile.h"
#include "platform/SerialPort.h"
#include "sim/SimBus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quarnex {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "/quarnex-profile-" + std::to_string(getpid());
        std::filesystem::remove_all(dir_);
        path_ = dir_ + "/sub/quarnex.ini";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_, path_;
};

TEST_F(ProfileTest, IntegersReadLikeTheClassicProfile) {
    std::filesystem::create_directories(dir_ + "/sub");
    std::ofstream(path_) << "; comment kept\n[Comm Param]\nBaud = 19200\r\nA=12abc\nB=abc\n"
                            "C=-7\nD=\nE=99999999999\n";
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Comm Param", "Baud", 0), 19200);
    EXPECT_EQ(p.GetInt("comm param", "BAUD", 0), 19200); // names match without case
    EXPECT_EQ(p.GetInt("Comm Param", "A", 5), 12);
    EXPECT_EQ(p.GetInt("Comm Param", "B", 5), 0);
    EXPECT_EQ(p.GetInt("Comm Param", "C", 5), -7);
    EXPECT_EQ(p.GetInt("Comm Param", "D", 5), 0);
    EXPECT_EQ(p.GetInt("Comm Param", "E", 5), 2147483647);
    EXPECT_EQ(p.GetInt("Comm Param", "Missing", 5), 5);
    EXPECT_EQ(p.GetInt("Other", "Baud", 5), 5);
    EXPECT_EQ(p.GetString("Comm Param", "Missing", "N"), "N");
}

TEST_F(ProfileTest, WritesKeepEverythingElseAndLiteralNames) {
    std::filesystem::create_directories(dir_ + "/sub");
    std::ofstream(path_) << "; comment kept\n[Comm Param]\nBaud=9600\n\n[Other]\nx=1\n";
    Profile p(path_);
    ASSERT_TRUE(p.WriteInt("comm param", "baud", 600));
    ASSERT_TRUE(p.WriteInt("Comm Param", "Additional rec. timeout", 20));
    ASSERT_TRUE(p.WriteString("Instr to view", "Instr 17", "1"));
    EXPECT_EQ(ReadFile(path_), "; comment kept\n[Comm Param]\nBaud=600\n"
                               "Additional rec. timeout=20\n\n[Other]\nx=1\n\n"
                               "[Instr to view]\nInstr 17=1\n");
    EXPECT_EQ(p.Keys("Comm Param"), (std::vector<std::string>{"Baud", "Additional rec. timeout"}));
    Profile again(path_);
    EXPECT_EQ(again.GetInt("Comm Param", "Additional rec. timeout", 0), 20);
}

TEST_F(ProfileTest, EntriesThatCannotStandOnOneLineAreRefused) {
    Profile p(path_);
    ASSERT_TRUE(p.WriteString("Serial Devices", "COM1", "/dev/ttyUSB0"));
    EXPECT_FALSE(p.WriteString("Serial Devices", "COM1", "/dev/ttyUSB0\n[Comm Param]\nBaud=300"));
    EXPECT_FALSE(p.WriteString("Serial Devices", "CO=M2", "x"));
    EXPECT_FALSE(p.WriteString("Serial Devices", "", "x"));
    EXPECT_FALSE(p.WriteString("Bad]Section", "k", "x"));
    EXPECT_FALSE(p.WriteString("Serial Devices", "COM3", std::string("a\0b", 3)));
    EXPECT_EQ(ReadFile(path_), "[Serial Devices]\nCOM1=/dev/ttyUSB0\n");
}

// What is written is what a load of the file gives back: a key that would read as a section
// header or a comment, or lose its blanks, is refused; a value is trimmed in memory as in the file.
TEST_F(ProfileTest, EveryWrittenEntryReadsBackTheSame) {
    Profile p(path_);
    EXPECT_FALSE(p.WriteString("S", "[Comm Param]", "x"));
    EXPECT_FALSE(p.WriteString("S", "[k", "v]"));
    EXPECT_FALSE(p.WriteString("S", "; note", "x"));
    EXPECT_FALSE(p.WriteString("S", "#k", "x"));
    EXPECT_FALSE(p.WriteString("S", " k", "x"));
    EXPECT_FALSE(p.WriteString("S", "k ", "x"));
    EXPECT_FALSE(p.WriteString(" S", "k", "x"));
    ASSERT_TRUE(p.WriteString("S", "k[1]", "  two  blanks  "));
    ASSERT_TRUE(p.WriteString("S", "empty", "   "));
    EXPECT_EQ(p.GetString("S", "k[1]", ""), "two  blanks");
    EXPECT_EQ(p.GetString("S", "empty", "d"), "");
    Profile again(path_);
    EXPECT_EQ(again.Keys("S"), p.Keys("S"));
    EXPECT_EQ(again.GetString("S", "k[1]", ""), "two  blanks");
    EXPECT_EQ(again.GetString("S", "empty", "d"), "");
    EXPECT_EQ(ReadFile(path_), "[S]\nk[1]=two  blanks\nempty=\n");
}

TEST_F(ProfileTest, MissingFileIsEmptyAndCreatedOnFirstWrite) {
    Profile p(path_);
    EXPECT_FALSE(p.HasKey("Comm Param", "Baud"));
    ASSERT_TRUE(p.WriteString("Comm Param", "Parity", "E"));
    EXPECT_EQ(ReadFile(path_), "[Comm Param]\nParity=E\n");
}

TEST(ProfilePathTest, FollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/tmp/xdg/quarnex/quarnex.ini");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_NE(Profile::DefaultPath().find("/.config/quarnex/quarnex.ini"), std::string::npos);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(DelayTest, NeverShortAndOutOfRangeReturnsAtOnce) {
    for (int ms : {1, 3, 5}) {
        const int64_t t0 = MonotonicNs();
        Delay(ms);
        EXPECT_GE(MonotonicNs() - t0, int64_t{ms} * 1'000'000);
    }
    // 0, negative and anything above 100000 ms do not wait (a 100 s wait would time out here).
    Delay(0);
    Delay(-5);
    Delay(100001);
    Delay(2'000'000'000);
    EXPECT_TRUE(ClockResolvesMillisecond());
}

TEST(SerialModeTest, ParsesOnlyTheExpectedShape) {
    SerialMode m;
    ASSERT_TRUE(ParseSerialMode("baud=9600 parity=E data=8 stop=2", m));
    EXPECT_EQ(m.baud, 9600);
    EXPECT_EQ(m.parity, 'E');
    EXPECT_EQ(m.stopBits, 2);
    EXPECT_FALSE(ParseSerialMode("baud=9600 parity=X data=8 stop=2", m));
    EXPECT_FALSE(ParseSerialMode("baud=9600 parity=N data=8 stop=3", m));
    EXPECT_FALSE(ParseSerialMode("baud=9600 parity=N data=8 stop=2 junk", m));
    EXPECT_FALSE(ParseSerialMode("", m));
}

// The time-out record on a pseudo-terminal: a silent line ends a read at the total time-out,
// and the interval time-out ends it once bytes stop coming.
TEST(SerialPortTest, ReadHonoursTotalAndIntervalTimeouts) {
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(bus.Start(error)) << error;
    PosixSerialPort port;
    int errorNumber = 0;
    ASSERT_TRUE(port.Open(bus.DevicePath(), error, errorNumber)) << error;
    ASSERT_TRUE(port.ApplyMode("baud=9600 parity=N data=8 stop=2"));
    ASSERT_TRUE(port.SetTimeouts({250, 2, 30, 2, 500}));
    uint8_t buf[8];
    int64_t t0 = MonotonicNs();
    EXPECT_EQ(port.Read(buf, 5), 0);
    EXPECT_GE(MonotonicNs() - t0, 40'000'000); // 5 x 2 + 30 ms
    // Three bytes, then nothing: the read returns them after the interval, before the total.
    ASSERT_TRUE(port.SetTimeouts({50, 2, 10'000, 2, 500}));
    bus.SendRaw({1, 2, 3});
    t0 = MonotonicNs();
    EXPECT_EQ(port.Read(buf, 5), 3);
    const int64_t took = MonotonicNs() - t0;
    EXPECT_GE(took, 50'000'000);
    EXPECT_LT(took, 10'000'000'000);
    EXPECT_EQ(buf[2], 3);
    // Purge drops what has arrived: wait until both bytes are in (a fixed sleep may be too short
    // on a loaded machine, and the test would then pass without purging anything).
    bus.SendRaw({9, 9});
    const int64_t deadline = MonotonicNs() + 10'000'000'000;
    int arrived = 0;
    while ((::ioctl(port.Fd(), FIONREAD, &arrived) != 0 || arrived < 2) && MonotonicNs() < deadline)
        Delay(1);
    ASSERT_EQ(arrived, 2);
    ASSERT_TRUE(port.Purge());
    ASSERT_TRUE(port.SetTimeouts({250, 0, 10, 0, 500}));
    EXPECT_EQ(port.Read(buf, 2), 0);
}

// A pseudo-terminal hands written bytes over at once; this port plays a line that needs its time
// to send them: three bytes stay in the transmitter until drainAtNs.
class SlowLinePort : public PosixSerialPort {
public:
    int64_t drainAtNs = 0;

protected:
    int QueuedOutput() const override { return MonotonicNs() < drainAtNs ? 3 : 0; }
};

// A write is over when the bytes are on the line, within the write time-out; bytes still waiting
// when the time-out runs out do not count as written.
TEST(SerialPortTest, WriteWaitsUntilTheBytesAreSent) {
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(bus.Start(error)) << error;
    SlowLinePort port;
    int errorNumber = 0;
    ASSERT_TRUE(port.Open(bus.DevicePath(), error, errorNumber)) << error;
    ASSERT_TRUE(port.ApplyMode("baud=9600 parity=N data=8 stop=2"));
    ASSERT_TRUE(port.SetTimeouts({250, 2, 400, 2, 500}));
    const uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x11, 0x85, 0xC6};

    int64_t t0 = MonotonicNs();
    port.drainAtNs = t0 + 30'000'000;
    EXPECT_EQ(port.Write(frame, 8), 8);
    EXPECT_GE(MonotonicNs() - t0, 30'000'000);

    ASSERT_TRUE(port.SetTimeouts({250, 2, 400, 1, 20}));
    t0 = MonotonicNs();
    port.drainAtNs = t0 + 60'000'000'000;
    EXPECT_EQ(port.Write(frame, 8), 5);
    EXPECT_GE(MonotonicNs() - t0, 28'000'000); // 8 x 1 + 20 ms
}

} // namespace
} // namespace quarnex
