#include "monitor/CommSetup.h"

#include "platform/Profile.h"
#include "support/FakePortTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace quarnex::test {
namespace {

TEST(CommSetup, IntegerFieldParsing) {
    int v = -1;
    EXPECT_TRUE(CommSetup::ParseInteger("0", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(CommSetup::ParseInteger(" 250 ", v));
    EXPECT_EQ(v, 250);
    EXPECT_TRUE(CommSetup::ParseInteger("-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(CommSetup::ParseInteger("+7", v));
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", " ", "abc", "12a", "1 2", "-", "3.5", "99999999999"})
        EXPECT_FALSE(CommSetup::ParseInteger(bad, v)) << bad;
}

class CommSetupConfirm : public ::testing::Test {
protected:
    void SetUp() override {
        profile_.WriteInt("Comm Param", "Baud", 19200);
        profile_.WriteString("Comm Param", "Parity", "E");
        profile_.WriteInt("Comm Param", "Com Port", 3);
        profile_.WriteInt("Comm Param", "Additional rec. timeout", 800); // kept while unconfirmed
        settings_.Load(profile_);
    }
    Profile profile_;
    CommSettings settings_;
};

TEST_F(CommSetupConfirm, OpensWithTheCurrentValues) {
    CommSetup form(settings_);
    EXPECT_EQ(form.baudIndex, 6);
    EXPECT_EQ(form.parityIndex, 1);
    EXPECT_EQ(form.portIndex, 2);
    EXPECT_EQ(form.timeoutText, "800");
    EXPECT_EQ(form.DevicePathOfChosenPort(), "/dev/ttyS2");
}

TEST_F(CommSetupConfirm, OutOfRangeOrNonNumericTimeoutIsRefusedAndChangesNothing) {
    for (const char* text : {"1001", "abc", "-1", ""}) {
        CommSetup form(settings_);
        form.baudIndex = 0;
        form.timeoutText = text;
        std::string prompt;
        EXPECT_EQ(form.Confirm(settings_, profile_, prompt), CommSetup::Result::Invalid) << text;
        EXPECT_EQ(prompt, "Please enter an integer between 0 and 1000.");
        EXPECT_EQ(settings_.BaudRate(), 19200);
        EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 19200);
        EXPECT_EQ(settings_.AdditionalTimeoutMs(), 800);
    }
}

TEST_F(CommSetupConfirm, DevicePathWithALineBreakIsRefusedAndNothingIsWritten) {
    // A path pasted from two lines of a terminal: written as it is, the second line would stand
    // in the profile file as a line of its own.
    for (size_t port : {size_t{2}, size_t{6}}) {
        CommSetup form(settings_);
        form.baudIndex = 0;
        form.timeoutText = "10";
        form.devicePaths[port] = "/dev/serial/by-id/usb-a\n[Comm Param]\nBaud=300";
        std::string prompt;
        EXPECT_EQ(form.Confirm(settings_, profile_, prompt), CommSetup::Result::BadDevicePath);
        EXPECT_EQ(prompt, "The device of COM" + std::to_string(port + 1) +
                              " cannot contain a line break or another control character.");
        EXPECT_EQ(settings_.BaudRate(), 19200);
        EXPECT_EQ(settings_.AdditionalTimeoutMs(), 800);
        EXPECT_EQ(settings_.DevicePath(), "/dev/ttyS2");
        EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 19200);
        EXPECT_FALSE(profile_.HasKey("Serial Devices", "COM" + std::to_string(port + 1)));
    }
    // A line break at either end is only blanks around the path.
    CommSetup form(settings_);
    form.timeoutText = "10";
    form.DevicePathOfChosenPort() = "/dev/ttyUSB1\n";
    std::string prompt;
    EXPECT_EQ(form.Confirm(settings_, profile_, prompt), CommSetup::Result::Saved);
    EXPECT_EQ(settings_.DevicePath(), "/dev/ttyUSB1");
}

TEST_F(CommSetupConfirm, OkTakesAndSavesEveryValue) {
    CommSetup form(settings_);
    form.baudIndex = 9;
    form.parityIndex = 2;
    form.portIndex = 0;
    form.timeoutText = " 1000 ";
    form.DevicePathOfChosenPort() = "/dev/ttyUSB0";
    // A path typed for COM5 before the user went back to COM1 is not lost.
    form.devicePaths[4] = "/dev/serial/by-id/usb-rs485";
    std::string prompt;
    ASSERT_EQ(form.Confirm(settings_, profile_, prompt), CommSetup::Result::Saved);
    EXPECT_EQ(settings_.BaudRate(), 115200);
    EXPECT_EQ(settings_.ParityLetter(), 'O');
    EXPECT_EQ(settings_.PortNumber(), 1);
    EXPECT_EQ(settings_.AdditionalReceiveTimeout(), 1000);
    EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 115200);
    EXPECT_EQ(profile_.GetString("Comm Param", "Parity", ""), "O");
    EXPECT_EQ(profile_.GetInt("Comm Param", "Com Port", 0), 1);
    EXPECT_EQ(profile_.GetInt("Comm Param", "Additional rec. timeout", -1), 1000);
    EXPECT_EQ(profile_.GetString("Serial Devices", "COM1", ""), "/dev/ttyUSB0");
    EXPECT_EQ(profile_.GetString("Serial Devices", "COM5", ""), "/dev/serial/by-id/usb-rs485");
    // Unchanged devices of other ports are not written.
    EXPECT_FALSE(profile_.HasKey("Serial Devices", "COM2"));

    CommSettings reloaded;
    reloaded.Load(profile_);
    EXPECT_EQ(reloaded.DevicePath(), "/dev/ttyUSB0");
}

TEST_F(CommSetupConfirm, EmptyDevicePathFallsBackToTheDefaultDevice) {
    CommSetup form(settings_);
    form.timeoutText = "0";
    form.DevicePathOfChosenPort() = "  ";
    std::string prompt;
    ASSERT_EQ(form.Confirm(settings_, profile_, prompt), CommSetup::Result::Saved);
    EXPECT_EQ(settings_.DevicePath(), "/dev/ttyS2");
}

TEST_F(CommSetupConfirm, UnwritableProfileIsReported) {
    Profile readOnly("/proc/quarnex-no-such-dir/quarnex.ini");
    CommSetup form(settings_);
    form.timeoutText = "10";
    std::string prompt;
    EXPECT_EQ(form.Confirm(settings_, readOnly, prompt), CommSetup::Result::SaveFailed);
    EXPECT_EQ(settings_.AdditionalReceiveTimeout(), 10); // in force for this session
}

class CommSetupDevices : public CommSetupConfirm {
protected:
    void SetUp() override {
        CommSetupConfirm::SetUp();
        tree_.Build();
        struct stat st {};
        ASSERT_EQ(::stat(tree_.Dev("ttyUSB1").c_str(), &st), 0);
        // Owns none of the fake devices and is in none of their groups.
        stranger_ = PortUser{st.st_uid + 1000, st.st_gid + 1000, {}};
    }
    CommSetup Form(const std::string& devicePath) {
        CommSetup form(settings_);
        form.DevicePathOfChosenPort() = devicePath;
        form.SetDevices(DiscoverSerialDevices(tree_.Roots(), stranger_, false));
        return form;
    }
    static std::vector<std::string> Paths(const std::vector<CommSetup::DeviceChoice>& choices) {
        std::vector<std::string> paths;
        for (const auto& c : choices)
            paths.push_back(c.path);
        return paths;
    }
    FakePortTree tree_;
    PortUser stranger_;
};

TEST_F(CommSetupDevices, OffersTheDevicesFoundByTheirStableNamesAndKeepsTheCurrentPath) {
    // A pseudo-terminal (the simulated bus) is no device discovery lists: it stays first.
    CommSetup form = Form("/dev/pts/7");
    const auto choices = form.Choices();
    EXPECT_EQ(Paths(choices), (std::vector<std::string>{
                                  "/dev/pts/7", tree_.Dev(FakePortTree::kFtdiById),
                                  tree_.Dev("ttyUSB1"), tree_.Dev("ttyUSB10"), tree_.Dev("ttyACM0"),
                                  tree_.Dev("ttyS0"), tree_.Dev("ttyS4")}));
    EXPECT_EQ(choices[1].description, "FTDI FT232R USB UART, serial A10K3B2C (0403:6001)");
    EXPECT_TRUE(choices[1].usable);
    EXPECT_FALSE(choices[2].usable); // group only, and this user is not in it
    EXPECT_FALSE(choices[4].usable); // locked by minicom
    EXPECT_EQ(choices[5].description, "");

    // The by-id name chosen: no second entry for it.
    EXPECT_EQ(Paths(Form(tree_.Dev(FakePortTree::kFtdiById)).Choices()).size(), 6u);
    // The adapter by its kernel name: kept as it is, described as the adapter behind it.
    const auto byKernelName = Form(tree_.Dev("ttyUSB0")).Choices();
    ASSERT_EQ(byKernelName.size(), 7u);
    EXPECT_EQ(byKernelName[0].path, tree_.Dev("ttyUSB0"));
    EXPECT_EQ(byKernelName[0].description, choices[1].description);
}

TEST_F(CommSetupDevices, NoteSaysWhatIsBehindAPathAndWhyItCannotBeUsed) {
    CommSetup form = Form("/dev/ttyS2");
    // The kernel name of an adapter: its stable name, and the latency timer the user cannot lower.
    std::string note = form.DeviceNote(" " + tree_.Dev("ttyUSB0") + " ");
    EXPECT_EQ(note.rfind("FTDI FT232R USB UART, serial A10K3B2C (0403:6001)\nAlso known as " +
                             tree_.Dev(FakePortTree::kFtdiById) + ",",
                         0),
              0u)
        << note;
    EXPECT_NE(note.find("Latency timer 16 ms"), std::string::npos) << note;
    EXPECT_EQ(form.DeviceNote(tree_.Dev(FakePortTree::kFtdiById)).find("Also known as"),
              std::string::npos);

    EXPECT_EQ(form.DeviceNote(tree_.Dev("ttyACM0")),
              "Arduino (www.arduino.cc) Uno, serial 8573531 (2341:0043)\nIn use by minicom "
              "(process " +
                  std::to_string(FakePortTree::kMinicomPid) + ").");
    EXPECT_NE(form.DeviceNote(tree_.Dev("ttyUSB1")).find("you are not in group"),
              std::string::npos);
    EXPECT_EQ(form.DeviceNote(tree_.Dev("ttyS4")), ""); // a usable built-in port: nothing to say

    EXPECT_EQ(form.DeviceNote(tree_.Dev("ttyUSB7")),
              tree_.Dev("ttyUSB7") +
                  " does not exist. Choose one of the devices found, or plug the adapter in.");
    EXPECT_EQ(form.DeviceNote(""), "");
    EXPECT_EQ(form.DeviceNote(tree_.Root()), ""); // there, only not a serial device known here

    form.SetDevices({});
    EXPECT_EQ(form.DeviceNote(tree_.Root()),
              "No serial device was found. Plug in the adapter, or type the path of the device.");
    EXPECT_EQ(Paths(form.Choices()), std::vector<std::string>{"/dev/ttyS2"});
}

} // namespace
} // namespace quarnex::test
