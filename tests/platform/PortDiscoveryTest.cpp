#include "platform/PortDiscovery.h"
#include "platform/SerialPort.h"
#include "support/FakePortTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {
namespace {

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.Build();
        struct stat st {};
        ASSERT_EQ(::stat(tree_.Dev("ttyUSB1").c_str(), &st), 0);
        // Someone who owns none of the fake devices and is in none of their groups.
        stranger_.uid = st.st_uid + 1000;
        stranger_.gid = st.st_gid + 1000;
        member_ = stranger_;
        member_.groups = {st.st_gid};
    }
    const SerialDeviceInfo& Get(const std::vector<SerialDeviceInfo>& devices,
                                const std::string& name) {
        for (const SerialDeviceInfo& d : devices)
            if (d.name == name)
                return d;
        ADD_FAILURE() << name << " not listed";
        static const SerialDeviceInfo none;
        return none;
    }
    test::FakePortTree tree_;
    PortUser stranger_, member_;
};

TEST_F(PortDiscoveryTest, ListsRealDevicesInAFixedOrderWithTheirUsbDetails) {
    const auto devices = DiscoverSerialDevices(tree_.Roots(), member_, false);
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.name);
    // ttyUSB10 after ttyUSB1 by number; ttyS1 (type 0), ttyS2 (no device) and ttyS3 (neither
    // I/O port nor memory address) are empty slots; tty0 is no serial device.
    EXPECT_EQ(names, (std::vector<std::string>{"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyACM0", "ttyS0",
                                               "ttyS4"}));

    const SerialDeviceInfo& ftdi = Get(devices, "ttyUSB0");
    EXPECT_EQ(ftdi.path, tree_.Dev("ttyUSB0"));
    EXPECT_EQ(ftdi.preferredPath, tree_.Dev(test::FakePortTree::kFtdiById));
    EXPECT_EQ(ftdi.byIdPaths.size(), 1u);
    EXPECT_EQ(ftdi.manufacturer, "FTDI");
    EXPECT_EQ(ftdi.product, "FT232R USB UART");
    EXPECT_EQ(ftdi.serialNumber, "A10K3B2C");
    EXPECT_EQ(ftdi.driver, "ftdi_sio");
    EXPECT_EQ(SerialDeviceDescription(ftdi), "FTDI FT232R USB UART, serial A10K3B2C (0403:6001)");

    const SerialDeviceInfo& acm = Get(devices, "ttyACM0");
    EXPECT_EQ(acm.preferredPath, acm.path); // no by-id link
    EXPECT_EQ(acm.driver, "cdc_acm");
    EXPECT_EQ(acm.vendorId, "2341");
    EXPECT_EQ(acm.latencyTimerMs, -1);

    const SerialDeviceInfo& uart = Get(devices, "ttyS0");
    EXPECT_EQ(uart.driver, "serial"); // past the serial-base "port" layer
    EXPECT_EQ(SerialDeviceDescription(uart), "");

    // A by-id link is found by its own path, by the device path, and the path of a pty is not.
    EXPECT_EQ(FindSerialDevice(devices, tree_.Dev(test::FakePortTree::kFtdiById)), &ftdi);
    EXPECT_EQ(FindSerialDevice(devices, tree_.Dev("ttyACM0")), &acm);
    EXPECT_EQ(FindSerialDevice(devices, "/dev/pts/7"), nullptr);
}

TEST_F(PortDiscoveryTest, SaysWhyADeviceCannotBeUsed) {
    auto devices = DiscoverSerialDevices(tree_.Roots(), stranger_, false);
    // Mode 0660: the group may use it, the user is not in the group.
    const SerialDeviceInfo& grouped = Get(devices, "ttyUSB1");
    EXPECT_EQ(grouped.problem, PortProblem::NotInGroup);
    EXPECT_FALSE(grouped.group.empty());
    EXPECT_NE(SerialDeviceProblemText(grouped).find("group " + grouped.group), std::string::npos);
    // Mode 0600: nobody but the owner.
    EXPECT_EQ(Get(devices, "ttyUSB10").problem, PortProblem::NoPermission);
    EXPECT_TRUE(Get(devices, "ttyUSB0").Usable()) << SerialDeviceProblemText(devices[0]);
    EXPECT_EQ(SerialDeviceProblemText(Get(devices, "ttyUSB0")), "");

    // A live lock file names its process; a stale one (process gone) does not count.
    const SerialDeviceInfo& locked = Get(devices, "ttyACM0");
    EXPECT_EQ(locked.problem, PortProblem::InUse);
    EXPECT_EQ(locked.holderPid, test::FakePortTree::kMinicomPid);
    EXPECT_EQ(SerialDeviceProblemText(locked),
              "In use by minicom (process " + std::to_string(locked.holderPid) + ").");
    // A process that has the device open, found through its file descriptors.
    const SerialDeviceInfo& open = Get(devices, "ttyS0");
    EXPECT_EQ(open.problem, PortProblem::InUse);
    EXPECT_EQ(open.holderName, "screen");
    EXPECT_TRUE(Get(devices, "ttyS4").Usable());

    // In the group, the 0660 device is fine; root may open every device, but a lock still holds.
    devices = DiscoverSerialDevices(tree_.Roots(), member_, false);
    EXPECT_TRUE(Get(devices, "ttyUSB1").Usable());
    EXPECT_EQ(Get(devices, "ttyUSB10").problem, PortProblem::NoPermission);
    devices = DiscoverSerialDevices(tree_.Roots(), PortUser{0, 0, {}}, false);
    EXPECT_TRUE(Get(devices, "ttyUSB10").Usable());
    EXPECT_EQ(Get(devices, "ttyACM0").problem, PortProblem::InUse);
}

TEST_F(PortDiscoveryTest, LowersTheFtdiLatencyTimerOrSaysHowTo) {
    // Where the attribute cannot be written, the timer stays at 16 ms and the hint has the rule.
    auto devices = DiscoverSerialDevices(tree_.Roots(), member_, false);
    const SerialDeviceInfo& slow = Get(devices, "ttyUSB0");
    EXPECT_EQ(slow.latencyTimerMs, 16);
    EXPECT_TRUE(slow.latencyTimerTooHigh);
    const std::string hint = LatencyTimerHint(slow);
    EXPECT_NE(hint.find("16 ms"), std::string::npos) << hint;
    // The rule is the packaged example's, for this adapter only, and the trigger replays "add".
    for (const char* part :
         {"/etc/udev/rules.d/60-quarnex-ftdi-latency.rules", "udevadm trigger --action=add",
          "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
          "ATTRS{serial}==\"A10K3B2C\", ATTR{latency_timer}=\"1\""})
        EXPECT_NE(hint.find(part), std::string::npos) << part << '\n' << hint;
    EXPECT_EQ(LatencyTimerHint(Get(devices, "ttyACM0")), "");

    // Where it can, discovery sets it to 1 ms and has nothing to say.
    devices = DiscoverSerialDevices(tree_.Roots(), member_, true);
    EXPECT_EQ(Get(devices, "ttyUSB0").latencyTimerMs, 1);
    EXPECT_FALSE(Get(devices, "ttyUSB0").latencyTimerTooHigh);
    EXPECT_EQ(test::FakePortTree::ReadFile(tree_.LatencyTimerFile()), "1\n");
}

TEST_F(PortDiscoveryTest, ATreeWithoutDevicesIsAnEmptyList) {
    EXPECT_TRUE(
        DiscoverSerialDevices(PortRoots::Under(tree_.Root() + "/nothing"), member_).empty());
}

// A pseudo-terminal does not know the low-latency request; opening one works as before.
TEST(SerialPortLowLatencyTest, OpeningAPseudoTerminalStillWorks) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    PosixSerialPort port;
    std::string error;
    int errorNumber = 0;
    ASSERT_TRUE(port.Open(slave, error, errorNumber)) << error;
    ASSERT_TRUE(port.ApplyMode("baud=19200 parity=N data=8 stop=2"));
    ASSERT_TRUE(port.SetTimeouts({250, 1, 10'000, 1, 500}));
    const uint8_t request[3] = {1, 3, 0};
    EXPECT_EQ(port.Write(request, 3), 3);
    uint8_t got[3] = {};
    size_t n = 0;
    while (n < 3) {
        const ssize_t r = ::read(master, got + n, 3 - n);
        ASSERT_GT(r, 0);
        n += static_cast<size_t>(r);
    }
    EXPECT_EQ(got[0], 1);
    EXPECT_EQ(::write(master, "\x05\x06", 2), 2);
    uint8_t answer[2] = {};
    EXPECT_EQ(port.Read(answer, 2), 2);
    EXPECT_EQ(answer[1], 6);
    port.Close();
    ::close(master);
}

} // namespace
} // namespace quarnex
