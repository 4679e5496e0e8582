#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace quarnex {

// Where the system shows its devices. The real system by default; tests point every root into a
// fake tree in a temporary directory.
struct PortRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
    std::string proc = "/proc";
    // UUCP lock files (LCK..ttyUSB0); on most systems /var/lock is a link to /run/lock.
    std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};

    // All roots below one directory: <prefix>/dev, <prefix>/sys, <prefix>/proc,
    // <prefix>/run/lock and <prefix>/var/lock.
    static PortRoots Under(const std::string& prefix);
};

// The identity whose rights decide whether a device can be opened.
struct PortUser {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups; // supplementary groups
    // The effective identity of this process.
    static PortUser Current();
};

// Why a device present on the system cannot be used by this program now.
enum class PortProblem {
    None,
    NotInGroup,   // the device's group may read and write it, but the user is not a member
    NoPermission, // neither owner nor group rights let the user read and write it
    InUse,        // another process holds a lock file on it or has it open
};

// One serial device present on the system.
struct SerialDeviceInfo {
    std::string name;          // "ttyUSB0"
    std::string path;          // "/dev/ttyUSB0" (below PortRoots::dev)
    std::string preferredPath; // the first /dev/serial/by-id link to it, else path: a USB
                               // adapter keeps its by-id name when it is plugged in elsewhere
    std::vector<std::string> byIdPaths; // every by-id link to it, sorted

    // From the USB device behind it; empty for a built-in port.
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
    std::string vendorId;  // "0403"
    std::string productId; // "6001"
    std::string driver;    // "ftdi_sio", "cdc_acm", "serial8250"; empty when unknown

    // An FTDI adapter collects received bytes for this many ms before it passes them on
    // (-1: the device has no such timer). Above 1 ms every answer arrives that much later.
    int latencyTimerMs = -1;
    // The timer is above 1 ms and could not be set to 1 here (the attribute needs root).
    bool latencyTimerTooHigh = false;

    PortProblem problem = PortProblem::None;
    std::string group;      // name of the device's group (for NotInGroup and NoPermission)
    int holderPid = 0;      // for InUse, when the process is known
    std::string holderName; // its command name, when it can be read

    bool Usable() const { return problem == PortProblem::None; }
};

// The serial devices present: /dev/ttyUSB*, /dev/ttyACM*, the /dev/ttyS* that have a real UART
// behind them (the kernel creates ttyS0-ttyS31 whether or not a chip answers), and the targets of
// /dev/serial/by-id links. Sorted: USB adapters, then ACM devices, then built-in ports, then any
// other by-id target, each by number. Never opens a device (opening one can toggle the lines of
// a bus). With lowerLatencyTimers, an FTDI latency timer above 1 ms is set to 1 where the
// attribute is writable (by root, or where a udev rule made it group-writable).
std::vector<SerialDeviceInfo> DiscoverSerialDevices(const PortRoots& roots, const PortUser& user,
                                                    bool lowerLatencyTimers = true);
// The same on the real system for the current user.
std::vector<SerialDeviceInfo> DiscoverSerialDevices();

// The entry whose path, by-id path or resolved target is devicePath; nullptr when it is not
// among the devices (a pseudo-terminal, a device that is unplugged).
const SerialDeviceInfo* FindSerialDevice(const std::vector<SerialDeviceInfo>& devices,
                                         const std::string& devicePath);

// "FTDI FT232R USB UART, serial A10K3B2C (0403:6001)"; empty for a port without a USB device.
std::string SerialDeviceDescription(const SerialDeviceInfo& device);
// Why the device cannot be used and what to do about it; empty when it is usable.
std::string SerialDeviceProblemText(const SerialDeviceInfo& device);
// What the too high latency timer costs and the udev rule that lowers it at every plug-in; empty
// when the timer is fine or unknown.
std::string LatencyTimerHint(const SerialDeviceInfo& device);

} // namespace quarnex
