#include "support/BusFixture.h"
#include "support/FakePortTree.h"

#include "cli/Cli.h"

#include <cstdlib>
#include <sstream>

namespace quarnex::test {
namespace {

class CliTest : public BusFixture {
protected:
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), {"--device", bus_.DevicePath(), "--timeout", "20"});
        return RunCli(args, profile_, out_, err_);
    }
    std::ostringstream out_, err_;
};

TEST_F(CliTest, ReadsAndWritesRegistersAndCoils) {
    auto bank = AddBank(1);
    for (int i = 0; i < 17; ++i)
        bank->Set(static_cast<uint16_t>(i), static_cast<uint16_t>(2003 + i));
    ASSERT_EQ(Run({"read", "1", "40001", "17"}), 0) << err_.str();
    EXPECT_EQ(out_.str().substr(0, 24), "40001: 2003\n40002: 2004\n");
    EXPECT_NE(out_.str().find("40017: 2019\n"), std::string::npos);

    ASSERT_EQ(Run({"writef", "1", "40020", "-12.5", "1e3"}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "OK\n");
    EXPECT_EQ(bank->GetFloat(19), -12.5f);
    ASSERT_EQ(Run({"readf", "1", "40020", "2"}), 0);
    EXPECT_EQ(out_.str(), "40020: -12.5\n40022: 1000\n");
    // A negative number without a leading digit is a value too, not an option.
    bank->AddBlock(299, 2);
    ASSERT_EQ(Run({"writef", "1", "40300", "-.5"}), 0) << err_.str();
    EXPECT_EQ(bank->GetFloat(299), -0.5f);
    ASSERT_EQ(Run({"write", "1", "40030", "-7"}), 0) << err_.str();
    EXPECT_EQ(bank->Get(29), 0xFFF9);

    ASSERT_EQ(Run({"write", "1", "40030", "0x1234"}), 0);
    EXPECT_EQ(bank->Get(29), 0x1234);
    ASSERT_EQ(Run({"write", "1", "40031", "1", "-1"}), 0);
    EXPECT_EQ(bank->Get(31), 0xFFFF);
    EXPECT_EQ(bus_.Requests().back()[1], 0x10); // more than one value goes as function 16

    // A leading zero is still decimal (never octal); 0x is hexadecimal.
    ASSERT_EQ(Run({"write", "1", "040033", "010", "0X10"}), 0) << err_.str();
    EXPECT_EQ(bank->Get(32), 10);
    EXPECT_EQ(bank->Get(33), 16);
    ASSERT_EQ(Run({"read", "01", "40033", "08"}), 0) << err_.str();
    EXPECT_EQ(out_.str().substr(0, 20), "40033: 10\n40034: 16\n");

    ASSERT_EQ(Run({"coil", "1", "7", "on"}), 0);
    EXPECT_TRUE(bank->Coil(6));
}

TEST_F(CliTest, SilentAddressFailsWithTheStatusText) {
    AddBank(1);
    EXPECT_EQ(Run({"--retries", "1", "read", "5", "40001", "17"}), 1);
    EXPECT_EQ(err_.str(), "No responce from slave\n");
    EXPECT_EQ(bus_.RequestCount(5), 2u);
}

TEST_F(CliTest, RepeatPrintsASummary) {
    AddBank(1);
    bus_.InjectFault(1, {sim::Fault::BadCrc, 2});
    EXPECT_EQ(Run({"-r", "0", "-n", "5", "read", "1", "40001"}), 1);
    const std::string text = out_.str();
    EXPECT_NE(text.find("requests: 5, succeeded: 3, failed: 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  2 x Checksum error\n"), std::string::npos) << text;
    EXPECT_NE(text.find("p99"), std::string::npos);
}

TEST_F(CliTest, ScanListsTheAnsweringAddresses) {
    AddBank(3)->Set(0, 2003);
    AddBank(5)->Set(0, 2001);
    ASSERT_EQ(Run({"-r", "0", "scan", "1", "6"}), 0);
    EXPECT_EQ(out_.str(), "3: 2003\n5: 2001\n2 of 6 addresses answered\n");
}

// A gateway that answers 0x0B for every empty address: only the instruments are listed, and a
// request to an empty address names the gateway.
TEST_F(CliTest, ScanThroughAGatewayListsOnlyTheInstruments) {
    AddBank(3)->Set(0, 2003);
    std::string error;
    const int port = bus_.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
    ASSERT_NE(port, 0) << error;
    bus_.SetGatewayException(0x0B);
    const std::string gateway = "127.0.0.1:" + std::to_string(port);
    ASSERT_EQ(RunCli({"-d", "mbap://" + gateway, "scan", "1", "6"}, profile_, out_, err_), 0);
    EXPECT_EQ(out_.str(), "3: 2003\n1 of 6 addresses answered\n");
    EXPECT_EQ(RunCli({"-d", "mbap://" + gateway, "read", "5", "40001"}, profile_, out_, err_), 1);
    EXPECT_NE(err_.str().find("The gateway " + gateway + " got no answer from address 5\n"),
              std::string::npos)
        << err_.str();
}

TEST_F(CliTest, FindSettingsFindsTheInstrumentsLineOrSaysNothingAnswers) {
    AddBank(17)->Set(0, 2003);
    bus_.SetLineSettings(17, {19200, 'E'});
    ASSERT_EQ(Run({"-r", "0", "scan", "--find-settings", "16", "17"}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "1 instrument at 19200 baud, parity E: 17\n"
                          "Other settings were not tried (--go-on tries them all)\n"
                          "to use them: quarnex-cli -b 19200 -p E ... (in the windows: Options, "
                          "Communication parameters)\n");
    EXPECT_EQ(Run({"-r", "0", "scan", "--find-settings", "3", "3"}), 1);
    EXPECT_EQ(out_.str(), "No instrument answered at any baud rate and parity (addresses 3)\n");
    EXPECT_EQ(Run({"--find-settings", "read", "1", "40001"}), 2);
}

// The RS-485 mode is the command line's to set, and its refusal says how to turn it off there.
TEST_F(CliTest, Rs485ModeIsAnOptionAndItsRefusalSaysHowToTurnItOff) {
    AddBank(1);
    EXPECT_EQ(Run({"--rs485", "on", "read", "1", "40001"}), 1);
    EXPECT_NE(err_.str().find("refuses the RS-485 mode"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("quarnex-cli --rs485 off, or RS485=0 in [Comm Param]"),
              std::string::npos)
        << err_.str();
    profile_.WriteInt("Comm Param", "RS485", 1);
    EXPECT_EQ(Run({"--rs485", "off", "read", "1", "40001"}), 0) << err_.str();
    EXPECT_EQ(Run({"--rs485", "maybe", "read", "1", "40001"}), 2);
}

TEST_F(CliTest, BadArgumentsAreRefusedBeforeAnyTraffic) {
    AddBank(1);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"read"},
        {"read", "0", "40001"},
        {"read", "1", "40000"},
        {"read", "1", "40001", "101"},
        {"readf", "1", "40001", "51"},
        {"write", "1", "40001", "70000"},
        {"writef", "1", "40001", "abc"},
        {"coil", "1", "0", "on"},
        {"coil", "1", "7", "maybe"},
        {"--baud", "14400", "read", "1", "40001"},
        {"--parity", "X", "read", "1", "40001"},
        {"--bogus", "read", "1", "40001"},
        {"-.", "read", "1", "40001"},
        {"frobnicate"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(Run(args), 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_NE(err_.str().find("quarnex-cli: "), std::string::npos);
    }
    EXPECT_TRUE(bus_.Requests().empty());
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"--help"}, profile_, out, err), 0);
    EXPECT_NE(out.str().find("usage: quarnex-cli"), std::string::npos);
}

TEST_F(CliTest, MissingDeviceNamesThePath) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"--device", "/dev/quarnex-none", "read", "1", "40001"}, profile_, out, err),
              1);
    EXPECT_EQ(err.str(), "Can not open serial communication port.\n"
                         "COM1 (/dev/quarnex-none): No such file or directory\n");
}

// A -d path the run could not use as given (the profile would trim or refuse it) is an argument
// error: the run never falls back to the profile's own COM1, which here is the live bus.
TEST_F(CliTest, ABadDevicePathNeverFallsBackToAnotherDevice) {
    AddBank(1);
    profile_.WriteString("Serial Devices", "COM1", bus_.DevicePath());
    for (const std::string& path :
         {std::string("/dev/tty\x01S0"), bus_.DevicePath() + "\n", " " + bus_.DevicePath(),
          bus_.DevicePath() + " ", std::string(), std::string("/dev/ttyS0\x7f")}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunCli({"-d", path, "read", "1", "40001"}, profile_, out, err), 2);
        EXPECT_NE(err.str().find("bad device path for -d"), std::string::npos) << err.str();
        EXPECT_FALSE(CheckCliArguments({"--device", path, "read", "1", "40001"}).empty());
    }
    EXPECT_TRUE(bus_.Requests().empty());
    std::string device;
    EXPECT_EQ(CheckCliArguments({"-d", "/dev/ttyUSB0", "coil", "1", "7", "on"}, &device), "");
    EXPECT_EQ(device, "/dev/ttyUSB0");
}

// `ports` against a fake device tree: each device with its details and what keeps it from use.
TEST(CliPortsTest, ListsTheDevicesOfTheTreeItIsPointedAt) {
    FakePortTree tree;
    tree.Build();
    ASSERT_EQ(::setenv("QUARNEX_PORTS_ROOT", tree.Root().c_str(), 1), 0);
    std::ostringstream out, err;
    const Profile profile;
    const int code = RunCli({"ports"}, profile, out, err);
    ::unsetenv("QUARNEX_PORTS_ROOT");
    ASSERT_EQ(code, 0) << err.str();
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, text.find(tree.Dev("ttyUSB1"))),
              tree.Dev("ttyUSB0") + "\n" + "  by-id:   " + tree.Dev(FakePortTree::kFtdiById) +
                  "\n"
                  "  device:  FTDI FT232R USB UART, serial A10K3B2C (0403:6001)\n"
                  "  driver:  ftdi_sio\n"
                  "  latency: 1 ms\n" // lowered on the way: the fake attribute is writable
                  "  access:  usable\n");
    EXPECT_NE(text.find(tree.Dev("ttyACM0") +
                        "\n  device:  Arduino (www.arduino.cc) Uno, serial 8573531 (2341:0043)\n"
                        "  driver:  cdc_acm\n  access:  In use by minicom (process " +
                        std::to_string(FakePortTree::kMinicomPid) + ").\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  access:  In use by screen"), std::string::npos) << text;
    EXPECT_EQ(text.find(tree.Dev("ttyS1")), std::string::npos) << text;

    EXPECT_EQ(RunCli({"ports", "extra"}, profile, out, err), 2);
    EXPECT_NE(CliUsage().find("  ports "), std::string::npos);
}

} // namespace
} // namespace quarnex::test
