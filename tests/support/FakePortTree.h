#pragma once

#include "platform/PortDiscovery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace quarnex::test {

// A /dev, /sys, /proc and lock directory in a temporary folder, laid out as the kernel and udev
// lay them out, links relative where theirs are:
//   ttyUSB0   FTDI FT232R adapter (ftdi_sio, latency timer 16 ms) with a by-id link, mode 0666,
//             and a stale lock file of a process that is gone
//   ttyUSB1   a CH340 adapter (ch341-uart) of mode 0660: usable only by members of its group
//   ttyUSB10  mode 0600: only its owner
//   ttyACM0   an Arduino (cdc_acm), locked by minicom through /run/lock/LCK..ttyACM0
//   ttyS0     a 16550A at 0x3F8 behind the serial-base layer, held open by screen
//   ttyS1     an empty slot of type 0; ttyS2 without a device; ttyS3 without port or memory
//   ttyS4     a memory-mapped UART (port 0, memory address set)
//   tty0      a console, which is no serial device; a by-id link whose device is gone
class FakePortTree {
public:
    static constexpr const char* kFtdiById =
        "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3B2C-if00-port0";
    // Beyond the largest pid Linux hands out, so never this test's own.
    static constexpr int kMinicomPid = 4999999;
    static constexpr int kScreenPid = 4999998;
    static constexpr int kGonePid = 4999997;

    FakePortTree() {
        root_ = ::testing::TempDir() + "/quarnex-ports-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter_++);
        std::filesystem::remove_all(root_);
    }
    ~FakePortTree() { std::filesystem::remove_all(root_); }
    FakePortTree(const FakePortTree&) = delete;
    FakePortTree& operator=(const FakePortTree&) = delete;

    const std::string& Root() const { return root_; }
    PortRoots Roots() const { return PortRoots::Under(root_); }
    std::string Dev(const std::string& name) const { return root_ + "/dev/" + name; }
    std::string LatencyTimerFile() const {
        return root_ + "/" + kUsb1 + "/1-1/1-1:1.0/ttyUSB0/latency_timer";
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void Build() {
        namespace fs = std::filesystem;
        // USB devices and the drivers their interfaces are bound to.
        for (const char* d : {"ftdi_sio", "ch341-uart"})
            fs::create_directories(root_ + "/sys/bus/usb-serial/drivers/" + d);
        fs::create_directories(root_ + "/sys/bus/usb/drivers/cdc_acm");
        fs::create_directories(root_ + "/sys/bus/pnp/drivers/serial");
        fs::create_directories(root_ + "/sys/bus/serial-base/drivers/port");
        fs::create_directories(root_ + "/sys/bus/platform/drivers/dw-apb-uart");

        UsbDevice(kUsb1 + std::string("/1-1"), "0403", "6001", "FTDI", "FT232R USB UART",
                  "A10K3B2C");
        UsbSerialPort(kUsb1 + std::string("/1-1"), "ttyUSB0", "ftdi_sio");
        Write(kUsb1 + std::string("/1-1/1-1:1.0/ttyUSB0/latency_timer"), "16\n");
        UsbDevice(kUsb1 + std::string("/1-3"), "1a86", "7523", "", "USB Serial", "");
        UsbSerialPort(kUsb1 + std::string("/1-3"), "ttyUSB1", "ch341-uart");
        UsbDevice(kUsb1 + std::string("/1-4"), "1a86", "7523", "", "USB Serial", "");
        UsbSerialPort(kUsb1 + std::string("/1-4"), "ttyUSB10", "ch341-uart");

        const std::string acm = kUsb1 + std::string("/1-2");
        UsbDevice(acm, "2341", "0043", "Arduino (www.arduino.cc)", "Uno", "8573531");
        const std::string acmIf = acm + "/1-2:1.0";
        Link(acmIf + "/driver", Up(acmIf) + "sys/bus/usb/drivers/cdc_acm");
        ClassEntry(acmIf + "/tty/ttyACM0", "ttyACM0", "../../../1-2:1.0");

        // A 16550A behind the serial-base port and ctrl devices, the UART's driver above them.
        const std::string pnp = "sys/devices/pnp0/00:00";
        Link(pnp + "/driver", Up(pnp) + "sys/bus/pnp/drivers/serial");
        const std::string port = pnp + "/00:00:0/00:00:0.0";
        Link(port + "/driver", Up(port) + "sys/bus/serial-base/drivers/port");
        ClassEntry(port + "/tty/ttyS0", "ttyS0", "../../../00:00:0.0");
        Write(port + "/tty/ttyS0/type", "4\n");
        Write(port + "/tty/ttyS0/port", "0x3F8\n");

        const std::string slots = "sys/devices/platform/serial8250";
        ClassEntry(slots + "/tty/ttyS1", "ttyS1", "../../../serial8250");
        Write(slots + "/tty/ttyS1/type", "0\n");
        Write(slots + "/tty/ttyS1/port", "0x0\n");
        ClassEntry("sys/devices/virtual/tty/ttyS2", "ttyS2", "");
        ClassEntry(slots + "/tty/ttyS3", "ttyS3", "../../../serial8250");
        Write(slots + "/tty/ttyS3/type", "4\n");
        Write(slots + "/tty/ttyS3/port", "0x0\n");
        Write(slots + "/tty/ttyS3/iomem_base", "0x0\n");
        const std::string mmio = "sys/devices/platform/fe215040.serial";
        Link(mmio + "/driver", Up(mmio) + "sys/bus/platform/drivers/dw-apb-uart");
        ClassEntry(mmio + "/tty/ttyS4", "ttyS4", "../../../fe215040.serial");
        Write(mmio + "/tty/ttyS4/type", "4\n");
        Write(mmio + "/tty/ttyS4/port", "0x0\n");
        Write(mmio + "/tty/ttyS4/iomem_base", "0xFE215040\n");
        ClassEntry("sys/devices/virtual/tty/tty0", "tty0", "");

        for (const char* name :
             {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS4", "tty0"})
            Device(name, 0666);
        Device("ttyUSB1", 0660);
        Device("ttyUSB10", 0600);
        Link(std::string("dev/") + kFtdiById, "../../ttyUSB0");
        Link("dev/serial/by-id/usb-Prolific_PL2303-if00-port0", "../../ttyUSB7");

        Process(kMinicomPid, "minicom");
        Write("run/lock/LCK..ttyACM0", "   " + std::to_string(kMinicomPid) + "\n");
        Write("var/lock/LCK..ttyUSB0", "   " + std::to_string(kGonePid) + "\n");
        Process(kScreenPid, "screen");
        Link("proc/" + std::to_string(kScreenPid) + "/fd/4", Dev("ttyS0"));
        Link("proc/" + std::to_string(kScreenPid) + "/fd/1", "/dev/null");
    }

private:
    static constexpr const char* kUsb1 = "sys/devices/pci0000:00/0000:00:14.0/usb1";
    static inline int counter_ = 0;

    // "../" once for every folder of rel, so that a link in rel leads back to the root.
    static std::string Up(const std::string& rel) {
        std::string up = "../";
        for (char c : rel)
            if (c == '/')
                up += "../";
        return up;
    }
    void Write(const std::string& rel, const std::string& text) {
        const std::filesystem::path p = root_ + "/" + rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    void Link(const std::string& rel, const std::string& target) {
        const std::filesystem::path p = root_ + "/" + rel;
        std::filesystem::create_directories(p.parent_path());
        std::filesystem::create_symlink(target, p);
    }
    void UsbDevice(const std::string& dir, const char* vid, const char* pid, const char* maker,
                   const char* product, const char* serial) {
        Write(dir + "/idVendor", std::string(vid) + "\n");
        Write(dir + "/idProduct", std::string(pid) + "\n");
        if (*maker)
            Write(dir + "/manufacturer", std::string(maker) + "\n");
        Write(dir + "/product", std::string(product) + "\n");
        if (*serial)
            Write(dir + "/serial", std::string(serial) + "\n");
    }
    // A usb-serial port device below the device's first interface, as ftdi_sio and ch341 make.
    void UsbSerialPort(const std::string& usb, const std::string& name, const std::string& driver) {
        const std::string portDir = usb + "/" + Leaf(usb) + ":1.0/" + name;
        Link(portDir + "/driver", Up(portDir) + "sys/bus/usb-serial/drivers/" + driver);
        ClassEntry(portDir + "/tty/" + name, name, "../../../" + name);
    }
    static std::string Leaf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
    // The tty's own folder (with its device link) and its /sys/class/tty entry.
    void ClassEntry(const std::string& dir, const std::string& name, const std::string& device) {
        std::filesystem::create_directories(root_ + "/" + dir);
        if (!device.empty())
            Link(dir + "/device", device);
        Link("sys/class/tty/" + name, "../../" + dir.substr(4)); // dir starts with "sys/"
    }
    void Device(const std::string& name, std::filesystem::perms mode) {
        Write("dev/" + name, "");
        std::filesystem::permissions(Dev(name), mode);
    }
    void Device(const std::string& name, int mode) {
        Device(name, static_cast<std::filesystem::perms>(mode));
    }
    void Process(int pid, const std::string& comm) {
        Write("proc/" + std::to_string(pid) + "/comm", comm + "\n");
    }

    std::string root_;
};

} // namespace quarnex::test
