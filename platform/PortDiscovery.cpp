#include "platform/PortDiscovery.h"

#include "res/Strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace quarnex {

namespace fs = std::filesystem;

namespace {

constexpr int kNotInGroupText = 20400;
constexpr int kNoPermissionText = 20401;
constexpr int kInUseByText = 20402;
constexpr int kInUseByPidText = 20403;
constexpr int kInUseText = 20404;
constexpr int kLatencyTimerText = 20405;
constexpr int kSerialNumberText = 20406;

// The first line of a small file (sysfs attributes, /proc/<pid>/comm), without the newline;
// empty when it cannot be read.
std::string ReadLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    if (in)
        std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// A number as sysfs prints it ("4", "0x3F8"); -1 when the file is missing or not a number.
long ReadNumber(const fs::path& path) {
    const std::string text = ReadLine(path);
    if (text.empty())
        return -1;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    return errno != 0 || *end != '\0' ? -1 : v;
}

// The canonical form of a path for comparing; the path itself when it cannot be resolved.
std::string Resolved(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::canonical(path, ec);
    return ec ? path : p.string();
}

// "ttyUSB12" -> kind 0, number 12. Names outside the three families rank last.
struct NameOrder {
    int kind;
    long number;
    std::string name;
    bool operator<(const NameOrder& o) const {
        return std::tie(kind, number, name) < std::tie(o.kind, o.number, o.name);
    }
};

bool SplitName(const std::string& name, const std::string& prefix, long& number) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        digits.size() > 6)
        return false;
    number = std::stol(digits);
    return true;
}

NameOrder OrderOf(const std::string& name) {
    static const char* const kFamilies[] = {"ttyUSB", "ttyACM", "ttyS"};
    for (int k = 0; k < 3; ++k) {
        long n = 0;
        if (SplitName(name, kFamilies[k], n))
            return {k, n, name};
    }
    return {3, 0, name};
}

// The kernel creates ttyS0-ttyS31 whether or not a UART is fitted; an empty slot has no device
// behind it, or reads type 0 (PORT_UNKNOWN), or has neither an I/O port nor a memory address.
bool BuiltInPortIsReal(const fs::path& classDir) {
    std::error_code ec;
    if (!fs::exists(classDir / "device", ec))
        return false;
    if (ReadNumber(classDir / "type") == 0)
        return false;
    const long port = ReadNumber(classDir / "port");
    const long iomem = ReadNumber(classDir / "iomem_base");
    return !(port == 0 && iomem <= 0);
}

// The name of the driver bound to the device behind a tty. Newer kernels put a serial-base
// layer ("port", "ctrl") between the tty and the UART's own driver: look past it.
std::string DriverName(const fs::path& deviceDir) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec)
        return {};
    for (int up = 0; up < 3 && !dir.empty(); ++up, dir = dir.parent_path()) {
        const fs::path driver = fs::read_symlink(dir / "driver", ec);
        if (ec)
            continue;
        const std::string name = driver.filename().string();
        if (name != "port" && name != "ctrl")
            return name;
    }
    return {};
}

// Fills the USB details from the first parent of the tty's device that is a USB device (the one
// with idVendor): the interface's parent for ACM, two levels up for a usb-serial port.
void ReadUsbDevice(const fs::path& deviceDir, SerialDeviceInfo& info) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec)
        return;
    for (int up = 0; up < 4 && !dir.empty(); ++up, dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        info.manufacturer = ReadLine(dir / "manufacturer");
        info.product = ReadLine(dir / "product");
        info.serialNumber = ReadLine(dir / "serial");
        info.vendorId = ReadLine(dir / "idVendor");
        info.productId = ReadLine(dir / "idProduct");
        return;
    }
}

// An FTDI adapter waits up to latency_timer ms for more bytes before it sends a short packet to
// the host, 16 ms by default: each Modbus answer would arrive that much late. The attribute is
// writable by root only on most systems; try, and report what it is afterwards.
void ReadLatencyTimer(const fs::path& deviceDir, bool lower, SerialDeviceInfo& info) {
    const fs::path attribute = deviceDir / "latency_timer";
    long ms = ReadNumber(attribute);
    if (ms < 0)
        return;
    if (ms > 1 && lower) {
        std::ofstream out(attribute);
        if (out) {
            out << "1\n";
            out.close();
        }
        const long now = ReadNumber(attribute);
        if (now >= 0)
            ms = now;
    }
    info.latencyTimerMs = static_cast<int>(ms);
    info.latencyTimerTooHigh = ms > 1;
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group g{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &g, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

// Read and write rights as the kernel checks them: owner bits for the owner, group bits for a
// member of the group, the other bits for everyone else; root may always.
void CheckPermission(const std::string& path, const PortUser& user, SerialDeviceInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || user.uid == 0)
        return;
    const bool member = user.gid == st.st_gid || std::find(user.groups.begin(), user.groups.end(),
                                                           st.st_gid) != user.groups.end();
    const mode_t rw = S_IRUSR | S_IWUSR;
    mode_t granted;
    if (user.uid == st.st_uid)
        granted = st.st_mode & rw;
    else if (member)
        granted = (st.st_mode << 3) & rw;
    else
        granted = (st.st_mode << 6) & rw;
    if (granted == rw)
        return;
    info.group = GroupName(st.st_gid);
    const bool groupMayUse = ((st.st_mode << 3) & rw) == rw;
    info.problem = !member && user.uid != st.st_uid && groupMayUse ? PortProblem::NotInGroup
                                                                   : PortProblem::NoPermission;
}

bool ProcessExists(const PortRoots& roots, int pid) {
    std::error_code ec;
    return fs::exists(fs::path(roots.proc) / std::to_string(pid), ec);
}

std::string ProcessName(const PortRoots& roots, int pid) {
    return ReadLine(fs::path(roots.proc) / std::to_string(pid) / "comm");
}

// The pid in a UUCP lock file: ten ASCII digits (HDB style) or a binary int (old Kermit style).
int LockFilePid(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.empty())
        return 0;
    std::istringstream text(data);
    long pid = 0;
    if (text >> pid && pid > 0 && pid < 1L << 30)
        return static_cast<int>(pid);
    if (data.size() == sizeof(int)) {
        int binary = 0;
        std::memcpy(&binary, data.data(), sizeof binary);
        return binary > 0 ? binary : 0;
    }
    return 0;
}

// A live lock file of another process on the device; a stale one (its process is gone) is
// ignored, as every program that honours these files does.
bool FindLockHolder(const PortRoots& roots, const std::string& name, int& pid) {
    for (const std::string& dir : roots.lockDirs) {
        const int p = LockFilePid(fs::path(dir) / ("LCK.." + name));
        if (p > 0 && p != ::getpid() && ProcessExists(roots, p)) {
            pid = p;
            return true;
        }
    }
    return false;
}

// Every other process's open files that are devices below roots.dev: resolved device path ->
// pid. Processes of other users cannot be looked into without root; they are skipped.
std::map<std::string, int> OpenDeviceHolders(const PortRoots& roots) {
    std::map<std::string, int> holders;
    std::error_code ec;
    const std::string devPrefix = Resolved(roots.dev) + "/";
    const std::string self = std::to_string(::getpid());
    for (fs::directory_iterator it(roots.proc, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pidText = it->path().filename().string();
        if (pidText.empty() || pidText == self ||
            !std::all_of(pidText.begin(), pidText.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
             fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            if (linkError)
                continue;
            const std::string resolved = Resolved(target.string());
            if (resolved.compare(0, devPrefix.size(), devPrefix) == 0)
                holders.emplace(resolved, std::atoi(pidText.c_str()));
        }
    }
    return holders;
}

void AddDevice(const PortRoots& roots, const std::string& name, const PortUser& user,
               bool lowerLatencyTimers, const std::map<std::string, int>& holders,
               std::vector<SerialDeviceInfo>& out) {
    SerialDeviceInfo info;
    info.name = name;
    info.path = (fs::path(roots.dev) / name).string();
    info.preferredPath = info.path;
    const fs::path classDir = fs::path(roots.sys) / "class" / "tty" / name;
    const fs::path deviceDir = classDir / "device";
    info.driver = DriverName(deviceDir);
    ReadUsbDevice(deviceDir, info);
    ReadLatencyTimer(deviceDir, lowerLatencyTimers, info);

    // A device the user may not open at all is reported as such first: that is the fix the user
    // needs before anything else; the holder is still named.
    CheckPermission(info.path, user, info);
    int pid = 0;
    bool inUse = FindLockHolder(roots, name, pid);
    if (const auto held = holders.find(Resolved(info.path)); !inUse && held != holders.end()) {
        inUse = true;
        pid = held->second;
    }
    if (inUse) {
        if (info.problem == PortProblem::None)
            info.problem = PortProblem::InUse;
        info.holderPid = pid;
        info.holderName = ProcessName(roots, pid);
    }
    out.push_back(std::move(info));
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& p : parts) {
        if (p.empty())
            continue;
        if (!text.empty())
            text += separator;
        text += p;
    }
    return text;
}

} // namespace

PortRoots PortRoots::Under(const std::string& prefix) {
    const fs::path p(prefix);
    return {(p / "dev").string(),
            (p / "sys").string(),
            (p / "proc").string(),
            {(p / "run" / "lock").string(), (p / "var" / "lock").string()}};
}

PortUser PortUser::Current() {
    PortUser user;
    user.uid = ::geteuid();
    user.gid = ::getegid();
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
        user.groups.resize(static_cast<size_t>(n));
        const int got = ::getgroups(n, user.groups.data());
        user.groups.resize(static_cast<size_t>(std::max(got, 0)));
    }
    return user;
}

std::vector<SerialDeviceInfo> DiscoverSerialDevices(const PortRoots& roots, const PortUser& user,
                                                    bool lowerLatencyTimers) {
    std::error_code ec;
    const fs::path sysTty = fs::path(roots.sys) / "class" / "tty";
    const std::string devDir = Resolved(roots.dev);

    // Candidates by name; each by-id link adds its target, which may have another name.
    std::map<NameOrder, std::string> names;
    for (fs::directory_iterator it(roots.dev, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const NameOrder order = OrderOf(name);
        if (order.kind > 2 || it->is_directory(ec))
            continue;
        if (order.kind == 2 && !BuiltInPortIsReal(sysTty / name))
            continue;
        names.emplace(order, name);
    }
    std::map<std::string, std::vector<std::string>> byId; // device name -> links
    ec.clear();
    const fs::path byIdDir = fs::path(roots.dev) / "serial" / "by-id";
    for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code resolveError;
        const fs::path target = fs::canonical(it->path(), resolveError);
        if (resolveError || target.parent_path().string() != devDir)
            continue; // a dangling link: its device is gone
        const std::string name = target.filename().string();
        byId[name].push_back(it->path().string());
        names.emplace(OrderOf(name), name);
    }

    const std::map<std::string, int> holders = OpenDeviceHolders(roots);
    std::vector<SerialDeviceInfo> devices;
    for (const auto& [order, name] : names) {
        AddDevice(roots, name, user, lowerLatencyTimers, holders, devices);
        auto links = byId.find(name);
        if (links != byId.end()) {
            std::sort(links->second.begin(), links->second.end());
            devices.back().byIdPaths = links->second;
            devices.back().preferredPath = links->second.front();
        }
    }
    return devices;
}

std::vector<SerialDeviceInfo> DiscoverSerialDevices() {
    return DiscoverSerialDevices(PortRoots{}, PortUser::Current());
}

const SerialDeviceInfo* FindSerialDevice(const std::vector<SerialDeviceInfo>& devices,
                                         const std::string& devicePath) {
    const std::string resolved = Resolved(devicePath);
    for (const SerialDeviceInfo& d : devices) {
        if (d.path == devicePath || Resolved(d.path) == resolved ||
            std::find(d.byIdPaths.begin(), d.byIdPaths.end(), devicePath) != d.byIdPaths.end())
            return &d;
    }
    return nullptr;
}

std::string SerialDeviceDescription(const SerialDeviceInfo& device) {
    std::string text = Joined({device.manufacturer, device.product}, " ");
    if (!device.serialNumber.empty())
        text = Joined({text, FormatText(Text(kSerialNumberText), {device.serialNumber})}, ", ");
    if (!device.vendorId.empty())
        text = Joined({text, "(" + device.vendorId + ":" + device.productId + ")"}, " ");
    return text;
}

std::string SerialDeviceProblemText(const SerialDeviceInfo& device) {
    switch (device.problem) {
    case PortProblem::None:
        return {};
    case PortProblem::NotInGroup:
        return FormatText(Text(kNotInGroupText), {device.group});
    case PortProblem::NoPermission:
        return FormatText(Text(kNoPermissionText), {device.group});
    case PortProblem::InUse:
        if (device.holderPid > 0 && !device.holderName.empty())
            return FormatText(Text(kInUseByText),
                              {device.holderName, std::to_string(device.holderPid)});
        if (device.holderPid > 0)
            return FormatText(Text(kInUseByPidText), {std::to_string(device.holderPid)});
        return Text(kInUseText);
    }
    return {};
}

std::string LatencyTimerHint(const SerialDeviceInfo& device) {
    if (!device.latencyTimerTooHigh)
        return {};
    // The rule names the adapter by its serial number: a rule for every FTDI adapter would change
    // ones that serve other equipment.
    return FormatText(Text(kLatencyTimerText),
                      {std::to_string(device.latencyTimerMs),
                       device.serialNumber.empty() ? "YOUR-SERIAL" : device.serialNumber});
}

} // namespace quarnex
