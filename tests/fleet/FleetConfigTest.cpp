#include "fleet/FleetConfig.h"

#include "files/SetupListing.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

TEST(FleetConfig, ReadsSerialAndNetworkLinks) {
    const FleetConfig config = ParseFleetFile("; the plant\n"
                                              "[link Hall B]\r\n"
                                              "device = /dev/ttyUSB0\n"
                                              "baud=19200\n"
                                              "parity=e\n"
                                              "addresses=12, 1-3\n"
                                              "\n"
                                              "# the silo gateway\n"
                                              "[link Silo]\n"
                                              "device=mbap://10.0.4.17:502\n"
                                              "addresses=search\n");
    ASSERT_TRUE(config.Usable()) << config.problems.front();
    ASSERT_EQ(config.links.size(), 2u);
    const FleetLink& hall = config.links[0];
    EXPECT_EQ(hall.name, "Hall B");
    EXPECT_EQ(hall.kind, LinkKind::Serial);
    EXPECT_EQ(hall.baud, 19200);
    EXPECT_EQ(hall.parity, 'E');
    EXPECT_EQ(hall.addresses, (std::vector<int>{1, 2, 3, 12}));
    const FleetLink& silo = config.links[1];
    EXPECT_EQ(silo.kind, LinkKind::ModbusTcp);
    EXPECT_EQ(silo.host, "10.0.4.17");
    EXPECT_EQ(silo.port, 502);
    EXPECT_TRUE(silo.search);
    EXPECT_EQ(silo.addresses.size(), 247u);

    // What each link's master works with.
    const CommSettings serial = FleetLinkSettings(hall);
    EXPECT_EQ(serial.Kind(), LinkKind::Serial);
    EXPECT_EQ(serial.DevicePath(), "/dev/ttyUSB0");
    EXPECT_EQ(serial.BaudRate(), 19200);
    EXPECT_EQ(serial.ParityLetter(), 'E');
    const CommSettings network = FleetLinkSettings(silo);
    EXPECT_EQ(network.LinkName(), "mbap://10.0.4.17:502");
}

// Every malformed line is named by its number, and the rest of the file is still checked.
TEST(FleetConfig, NamesEveryMalformedLine) {
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"device=/dev/ttyS0\n", "1: device= outside a [link NAME] section"},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=0-3\n", "3: bad address range \"0-3\""},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=0\n", "3: bad address \"0\""},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=8-2\n", "3: bad address range \"8-2\""},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=1,2,1-3\n", "3: address 1 is named twice"},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=x\n", "3: bad address \"x\""},
        {"[link A]\ndevice=ttyS0\naddresses=1\n", "2: device= needs a device path"},
        {"[link A]\ndevice=mbap://host\naddresses=1\n", "2: bad network address"},
        {"[link A]\ndevice=/dev/ttyS0\nbaud=1000\naddresses=1\n", "3: unsupported baud rate"},
        {"[link A]\ndevice=/dev/ttyS0\nparity=X\naddresses=1\n", "3: bad parity \"X\""},
        {"[link A]\ndevice=tcp://h:4001\nbaud=9600\naddresses=1\n", "3: baud= is for serial"},
        {"[link A]\ndevice=/dev/ttyS0\ndevice=/dev/ttyS1\naddresses=1\n",
         "3: device= is given twice"},
        {"[link A]\ndevice=/dev/ttyS0\nspeed=9600\naddresses=1\n", "3: unknown key speed="},
        {"[link A]\naddresses=1\n", "1: device= is missing in [link A]"},
        {"[link A]\ndevice=/dev/ttyS0\n", "1: addresses= is missing in [link A]"},
        {"[link A/B]\n", "1: a link name must not contain \"/\""},
        {"[link A@B]\n", "1: a link name must not contain \"@\""},
        {"[link ..x]\n", "1: a link name must not start with \".\""},
        {"[link]\n", "1: a link needs a name"},
        {"[bus A]\n", "1: unknown section [bus A]"},
        {"[link A\n", "1: a section header ends with \"]\""},
        {"[link A]\ndevice /dev/ttyS0\n", "2: \"device /dev/ttyS0\" is no KEY=VALUE line"},
        {"[link A]\ndevice=/dev/a\naddresses=1\n[link A]\ndevice=/dev/b\naddresses=2\n",
         "4: link \"A\" is named twice (first on line 1)"},
        {"; nothing\n", "0: no link"},
        {"[link A\xC3\x28]\n", "1: the link name is not valid UTF-8"},
        {"[link A\xE0\x80\xAF]\n", "1: the link name is not valid UTF-8"}, // overlong "/"
        {"[link A]\ndevice=/dev/ttyS0\naddresses=1\n[link B]\ndevice=/dev/../dev/ttyS0\n"
         "addresses=2\n",
         "4: link \"B\" uses the serial device of link \"A\" (line 1): /dev/ttyS0"},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=1\n[history]\nssh-key=key\n",
         "5: ssh-key= needs an absolute path"},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=1\n[history]\nremote=x\n",
         "5: unknown key remote= in [history]"},
        {"[link A]\ndevice=/dev/ttyS0\naddresses=1\n[history]\n[history]\n",
         "5: [history] is given twice"},
    };
    for (const auto& c : cases) {
        const FleetConfig config = ParseFleetFile(c.text);
        EXPECT_FALSE(config.Usable()) << c.text;
        ASSERT_FALSE(config.problems.empty()) << c.text;
        EXPECT_EQ(config.problems.front().rfind(c.problem, 0), 0u)
            << c.text << "gave: " << config.problems.front();
    }
}

TEST(FleetConfig, ReadsWhereTheHistoryIsPushedAndHow) {
    const FleetConfig config = ParseFleetFile("[history]\npush=ssh://h@central/srv/a.git\n"
                                              "ssh-key=/etc/quarnex/key\n"
                                              "known-hosts=/etc/quarnex/known_hosts\n"
                                              "[link \xE2\x80\xAE"
                                              "A]\ndevice=/dev/ttyS0\n"
                                              "addresses=1\n");
    ASSERT_TRUE(config.Usable()) << config.problems.front();
    EXPECT_EQ(config.history.push, "ssh://h@central/srv/a.git");
    EXPECT_EQ(config.history.sshKey, "/etc/quarnex/key");
    EXPECT_EQ(config.history.knownHosts, "/etc/quarnex/known_hosts");
    // A bidirectional control in a name is kept, and shown as its code.
    EXPECT_EQ(VisibleEscapes(config.links[0].name), "\\u202EA");
}

TEST(FleetConfig, ReportsEveryProblemNotOnlyTheFirst) {
    const FleetConfig config = ParseFleetFile("[link A]\ndevice=x\naddresses=1\n"
                                              "[link B]\ndevice=/dev/b\nparity=Q\n");
    ASSERT_EQ(config.problems.size(), 3u);
    EXPECT_EQ(config.problems[0].rfind("2:", 0), 0u);
    EXPECT_EQ(config.problems[1].rfind("6:", 0), 0u);
    EXPECT_EQ(config.problems[2].rfind("4: addresses= is missing", 0), 0u);
}

} // namespace
} // namespace quarnex
