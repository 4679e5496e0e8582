#include "support/BusFixture.h"

#include "res/Strings.h"

#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quarnex::test {
namespace {

TEST(CommSettingsTest, EmptyProfileGivesTheDefaults) {
    Profile profile;
    CommSettings s;
    s.Load(profile);
    EXPECT_EQ(s.PortNumber(), 1);
    EXPECT_EQ(s.BaudRate(), 9600);
    EXPECT_EQ(s.ParityLetter(), 'N');
    EXPECT_EQ(s.StopBits(), 2);
    EXPECT_EQ(s.AdditionalReceiveTimeout(), 0);
    EXPECT_EQ(s.DevicePath(), "/dev/ttyS0");
    EXPECT_EQ(s.DevicePath(9), "/dev/ttyS8");
}

TEST(CommSettingsTest, UnknownValuesFallBack) {
    Profile profile;
    profile.WriteInt("Comm Param", "Baud", 14400);
    profile.WriteString("Comm Param", "Parity", "even");
    profile.WriteInt("Comm Param", "Com Port", 12);
    profile.WriteString("Comm Param", "Additional rec. timeout", "2500ms");
    CommSettings s;
    s.Load(profile);
    EXPECT_EQ(s.BaudRate(), 9600);
    EXPECT_EQ(s.ParityLetter(), 'N'); // only an upper-case first letter counts
    EXPECT_EQ(s.PortNumber(), 1);
    // More than the dialog accepts loads as none (leading digits read: 2500).
    EXPECT_EQ(s.AdditionalReceiveTimeout(), 0);

    profile.WriteString("Comm Param", "Parity", "Odd");
    profile.WriteInt("Comm Param", "Com Port", 9);
    profile.WriteInt("Comm Param", "Baud", 115200);
    profile.WriteString("Serial Devices", "COM9", "/dev/ttyUSB0");
    s.Load(profile);
    EXPECT_EQ(s.ParityLetter(), 'O');
    EXPECT_EQ(s.PortNumber(), 9);
    EXPECT_EQ(s.BaudIndex(), 9);
    EXPECT_EQ(s.DevicePath(), "/dev/ttyUSB0");

    // Derived values of members outside their ranges.
    s.SetBaudIndex(12);
    s.SetParityIndex(-1);
    s.SetPortIndex(9);
    EXPECT_EQ(s.BaudRate(), 9600);
    EXPECT_EQ(s.ParityLetter(), 'N');
    EXPECT_EQ(s.PortNumber(), 1);
}

// A negative margin made every read end at once, so an answering instrument looked silent; one
// beyond the dialog's range is just as much a hand edit. Both load as 0, the edges unchanged.
TEST(CommSettingsTest, AdditionalTimeoutLoadsWithinTheDialogRange) {
    Profile profile;
    CommSettings s;
    for (const auto& [stored, loaded] : std::vector<std::pair<std::string, int>>{{"-1", 0},
                                                                                 {"-400", 0},
                                                                                 {"0", 0},
                                                                                 {"1000", 1000},
                                                                                 {"1001", 0},
                                                                                 {"99999999999", 0},
                                                                                 {"250", 250}}) {
        profile.WriteString("Comm Param", "Additional rec. timeout", stored);
        s.Load(profile);
        EXPECT_EQ(s.AdditionalReceiveTimeout(), loaded) << stored;
    }
}

TEST(CommSettingsTest, SaveWritesTheFourKeysInOrder) {
    const std::string dir = ::testing::TempDir() + "/quarnex-settings-" + std::to_string(getpid());
    const std::string path = dir + "/quarnex.ini";
    std::filesystem::remove_all(dir);
    {
        Profile profile(path);
        profile.WriteString("Instr to view", "Instr 1", "1"); // another section survives
        CommSettings s;
        s.SetBaudIndex(6);
        s.SetParityIndex(1);
        s.SetPortIndex(2);
        s.SetAdditionalTimeoutMs(200);
        ASSERT_TRUE(s.Save(profile));
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "[Instr to view]\nInstr 1=1\n\n"
                          "[Comm Param]\nBaud=19200\nParity=E\nCom Port=3\n"
                          "Additional rec. timeout=200\n\n"
                          "[Serial Devices]\nCOM3=/dev/ttyS2\n");
    Profile reread(path);
    CommSettings s;
    s.Load(reread);
    EXPECT_EQ(s.BaudRate(), 19200);
    EXPECT_EQ(s.ParityLetter(), 'E');
    EXPECT_EQ(s.PortNumber(), 3);
    EXPECT_EQ(s.AdditionalReceiveTimeout(), 200);
    std::filesystem::remove_all(dir);
}

class LinkTest : public BusFixture {
protected:
    void UseCom(int port, int baud, char parity, int additional) {
        profile_.WriteInt("Comm Param", "Com Port", port);
        profile_.WriteInt("Comm Param", "Baud", baud);
        profile_.WriteString("Comm Param", "Parity", std::string(1, parity));
        profile_.WriteInt("Comm Param", "Additional rec. timeout", additional);
        profile_.WriteString("Serial Devices", "COM" + std::to_string(port), bus_.DevicePath());
    }
};

TEST_F(LinkTest, OpenSetsNameModeAndTimeouts) {
    MakeMaster(); // nothing in "Comm Param": COM1, 9600 baud, no parity, always 2 stop bits
    EXPECT_EQ(SerialOf(*master_).PortName(), "COM1");
    EXPECT_EQ(SerialOf(*master_).ModeString(), "baud=9600 parity=N data=8 stop=2");

    UseCom(3, 19200, 'N', 0);
    MakeMaster();
    SerialLink& link = SerialOf(*master_);
    EXPECT_EQ(link.PortName(), "COM3");
    EXPECT_EQ(link.ModeString(), "baud=19200 parity=N data=8 stop=2");
    const SerialTimeouts t = link.Timeouts();
    EXPECT_EQ(t.readInterval, 250);
    EXPECT_EQ(t.readTotalMultiplier, 1);
    EXPECT_EQ(t.readTotalConstant, 404);
    EXPECT_EQ(t.writeTotalMultiplier, 1);
    EXPECT_EQ(t.writeTotalConstant, 500);
    EXPECT_EQ(link.InterFrameDelay(), 3);
}

TEST_F(LinkTest, ReceiveMarginsFollowTheBaudRate) {
    UseCom(1, 9600, 'E', 200);
    MakeMaster();
    SerialLink& link = SerialOf(*master_);
    EXPECT_EQ(link.PollTimeout(), 237);
    EXPECT_EQ(link.DefaultReceiveTimeout(), 607);

    UseCom(1, 9600, 'N', 0);
    MakeMaster();
    SerialLink& fresh = SerialOf(*master_);
    EXPECT_TRUE(fresh.SetReceiveMargin(37));
    EXPECT_EQ(fresh.Timeouts().readTotalConstant, 44);
    EXPECT_TRUE(fresh.RestoreReceiveMargin());
    EXPECT_EQ(fresh.Timeouts().readTotalConstant, 407);
    fresh.Close();
    EXPECT_FALSE(fresh.SetReceiveMargin(37));
}

// However large the additional receive timeout the settings hold, the time-outs built on it stay
// the longest wait there is instead of wrapping round to a negative one.
TEST_F(LinkTest, HugeAdditionalTimeoutSaturates) {
    UseCom(1, 9600, 'N', 0);
    MakeMaster();
    master_->Settings().SetAdditionalTimeoutMs(INT_MAX);
    ASSERT_TRUE(master_->Open());
    SerialLink& link = SerialOf(*master_);
    EXPECT_EQ(master_->Settings().AdditionalReceiveTimeout(), INT_MAX);
    EXPECT_EQ(link.PollTimeout(), INT_MAX);
    EXPECT_EQ(link.DefaultReceiveTimeout(), INT_MAX);
    EXPECT_EQ(link.Timeouts().readTotalConstant, INT_MAX);
    EXPECT_TRUE(link.SetReceiveMargin(link.PollTimeout()));
    EXPECT_EQ(link.Timeouts().readTotalConstant, INT_MAX);

    UseCom(1, 9600, 'N', 0);
    MakeMaster();
    EXPECT_TRUE(master_->Link().SetReceiveMargin(INT_MAX));
    EXPECT_EQ(SerialOf(*master_).Timeouts().readTotalConstant, INT_MAX);
}

TEST_F(LinkTest, ParityOnAPseudoTerminalIsNoFailure) {
    AddBank(1);
    for (char parity : {'E', 'O'}) {
        UseCom(1, 38400, parity, 0);
        MakeMaster();
        EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
        uint16_t v = 0;
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &v), CommStatus::Ok);
    }
}

TEST_F(LinkTest, MissingDeviceIsReportedOnceAndLeavesNoPort) {
    profile_.WriteString("Serial Devices", "COM1", "/dev/quarnex-no-such-port");
    MakeMaster(false);
    EXPECT_FALSE(master_->Open());
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.LastText(), "Can not open serial communication port.\n"
                                    "COM1 (/dev/quarnex-no-such-port): No such file or directory");
    EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Error);
    uint16_t v = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &v), CommStatus::NoPort);
    EXPECT_EQ(master_->WriteSingleCoil(1, 7, true), CommStatus::NoPort);
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
}

TEST_F(LinkTest, PortIsExclusive) {
    MakeMaster();
    ScriptedPrompter second;
    ModbusMaster other(profile_, second);
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(second.LastText().rfind("Can not open serial communication port.\n", 0), 0u);
    master_->Link().Close();
    EXPECT_TRUE(other.Open()); // free again once closed
}

// Only a terminal carries the bus: a regular file would be overwritten by the polls, /dev/null
// swallows every request, and a FIFO hands the request back as an echo that passes for a write's
// answer. Each is refused at the open, with the reason, and never written to.
TEST_F(LinkTest, ADeviceThatIsNoTerminalIsRefusedAtOpen) {
    const std::string dir = ::testing::TempDir();
    const std::string file = dir + "/quarnex-not-a-port-" + std::to_string(::getpid());
    const std::string fifo = file + ".fifo";
    const std::string content = "precious data, not a serial line";
    { std::ofstream(file) << content; }
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
             {"/dev/null", "not a serial port (a device that is no terminal)"},
             {file, "not a serial port (a regular file)"},
             {fifo, "not a serial port (a pipe (FIFO))"}}) {
        profile_.WriteString("Serial Devices", "COM1", path);
        MakeMaster(false);
        EXPECT_FALSE(master_->Open()) << path;
        EXPECT_EQ(prompter_.LastText(),
                  "Can not open serial communication port.\nCOM1 (" + path + "): " + reason);
        EXPECT_FALSE(master_->Link().IsOpen());
        uint16_t v = 0;
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &v), CommStatus::NoPort);
        EXPECT_EQ(master_->WriteSingleCoil(1, 7, true), CommStatus::NoPort);
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
    ::unlink(file.c_str());
    ::unlink(fifo.c_str());
}

// The line settings the port had before the open are back after the close.
TEST_F(LinkTest, TheTerminalSettingsFoundAtOpenAreRestoredAtClose) {
    const int fd = ::open(bus_.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(fd, &before), 0);
    UseCom(1, 115200, 'E', 0);
    master_.reset();
    master_ = std::make_unique<ModbusMaster>(profile_, prompter_);
    ASSERT_TRUE(master_->Open()) << prompter_.LastText();
    termios during{};
    ASSERT_EQ(::tcgetattr(fd, &during), 0);
    EXPECT_NE(::cfgetospeed(&during), ::cfgetospeed(&before));
    master_->Link().Close();
    termios after{};
    ASSERT_EQ(::tcgetattr(fd, &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    ::close(fd);
}

// What the port really is after Open, read back from the device: the baud rate, eight data bits,
// two stop bits whatever the parity, and raw bytes (no line editing, echo, signals or
// translation that would eat or change a frame byte).
TEST_F(LinkTest, TheDeviceIsConfiguredAsAsked) {
    PosixSerialPort* port = nullptr;
    for (const auto& [baud, speed] : std::vector<std::pair<int, speed_t>>{
             {9600, B9600}, {19200, B19200}, {115200, B115200}, {300, B300}}) {
        UseCom(1, baud, 'N', 0);
        master_.reset();
        master_ = std::make_unique<ModbusMaster>(profile_, prompter_, SettingsLinkFactory([&port] {
                                                     auto made =
                                                         std::make_unique<PosixSerialPort>();
                                                     port = made.get();
                                                     return made;
                                                 }));
        ASSERT_TRUE(master_->Open()) << prompter_.LastText();
        termios tio{};
        ASSERT_EQ(::tcgetattr(port->Fd(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), speed) << baud;
        EXPECT_EQ(::cfgetispeed(&tio), speed) << baud;
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_TRUE(tio.c_cflag & CSTOPB);
        EXPECT_TRUE(tio.c_cflag & CREAD);
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
        EXPECT_FALSE(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF));
        EXPECT_FALSE(tio.c_oflag & OPOST);
    }
}

// Every row of the timing table, and what the link sets from it at Open.
TEST_F(LinkTest, EveryBaudRateHasItsTimings) {
    struct Row {
        int baud, interFrameDelay, byteTime, receiveBase;
    };
    const Row rows[] = {
        {300, 160, 50, 200}, {600, 80, 25, 100}, {1200, 40, 14, 50}, {2400, 20, 7, 30},
        {4800, 10, 4, 15},   {9600, 5, 2, 7},    {19200, 3, 1, 4},   {38400, 2, 1, 3},
        {57600, 1, 1, 2},    {115200, 1, 1, 2},
    };
    for (const Row& row : rows) {
        const BaudTiming& t = SerialLink::TimingFor(row.baud);
        EXPECT_EQ(t.baud, row.baud);
        EXPECT_EQ(t.interFrameDelayMs, row.interFrameDelay) << row.baud;
        EXPECT_EQ(t.byteTimeMs, row.byteTime) << row.baud;
        EXPECT_EQ(t.receiveBaseMs, row.receiveBase) << row.baud;

        UseCom(1, row.baud, 'N', 100);
        MakeMaster();
        const SerialLink& link = SerialOf(*master_);
        EXPECT_EQ(link.InterFrameDelay(), row.interFrameDelay) << row.baud;
        EXPECT_EQ(link.Timeouts().readTotalMultiplier, row.byteTime) << row.baud;
        EXPECT_EQ(link.Timeouts().writeTotalMultiplier, row.byteTime) << row.baud;
        EXPECT_EQ(link.Timeouts().readTotalConstant, row.receiveBase + 100 + 400) << row.baud;
        EXPECT_EQ(link.PollTimeout(), row.receiveBase + 100 + 30) << row.baud;
    }
}

TEST(BaudTableTest, InterFrameDelayCoversThreeAndAHalfCharacters) {
    for (int baud : CommSettings::kBaudRates) {
        const BaudTiming& t = SerialLink::TimingFor(baud);
        EXPECT_EQ(t.baud, baud);
        EXPECT_GE(t.interFrameDelayMs * baud, 3.5 * 11 * 1000) << baud;
    }
    EXPECT_EQ(SerialLink::TimingFor(14400).baud, 9600);
}

} // namespace
} // namespace quarnex::test
