#include "monitor/CommSetup.h"

#include "platform/Profile.h"
#include "res/LinksTextIds.h"
#include "res/MonitorTextIds.h"
#include "res/PortsTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>

namespace quarnex {

namespace {

constexpr int kBadDevicePathText = ids::kDevicePathControlCharacter;

std::string Trimmed(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}

} // namespace

CommSetup::CommSetup(const CommSettings& settings)
    : baudIndex(settings.BaudIndex()), parityIndex(settings.ParityIndex()),
      portIndex(settings.PortIndex()), timeoutText(std::to_string(settings.AdditionalTimeoutMs())) {
    for (int n = 1; n <= CommSettings::kPortCount; ++n)
        devicePaths[static_cast<size_t>(n - 1)] = settings.DevicePath(n);
    linkIndex = static_cast<int>(settings.Kind());
    hostText = settings.Host();
    tcpPortText = std::to_string(settings.TcpPort());
    responseTimeoutText = std::to_string(settings.ResponseTimeoutMs());
    rs485 = settings.Rs485().on;
    rs485BeforeText = std::to_string(settings.Rs485().delayBeforeMs);
    rs485AfterText = std::to_string(settings.Rs485().delayAfterMs);
}

size_t CommSetup::ChosenPort() const {
    return portIndex >= 0 && portIndex < CommSettings::kPortCount ? static_cast<size_t>(portIndex)
                                                                  : 0;
}

bool CommSetup::ParseInteger(const std::string& text, int& value) {
    const std::string t = Trimmed(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    if (i == t.size())
        return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(t[i])))
            return false;
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    v = negative ? -v : v;
    if (v > INT_MAX || v < INT_MIN)
        return false;
    value = static_cast<int>(v);
    return true;
}

CommSetup::Result CommSetup::Confirm(CommSettings& settings, Profile& profile,
                                     std::string& prompt) const {
    int timeout = 0;
    if (!ParseInteger(timeoutText, timeout) || timeout < kMinTimeoutMs || timeout > kMaxTimeoutMs) {
        prompt = FormatText(Text(ids::kIntegerRangePrompt),
                            {std::to_string(kMinTimeoutMs), std::to_string(kMaxTimeoutMs)});
        return Result::Invalid;
    }
    for (int n = 1; n <= CommSettings::kPortCount; ++n) {
        for (unsigned char c : Trimmed(devicePaths[static_cast<size_t>(n - 1)])) {
            if (c < 0x20 || c == 0x7f) {
                prompt = FormatText(Text(kBadDevicePathText), {std::to_string(n)});
                return Result::BadDevicePath;
            }
        }
    }
    // The link's values: each within what it can take, whether or not the link is the one chosen
    // (they are kept for the next change of link).
    int tcpPort = 0, response = 0, before = 0, after = 0;
    const auto inRange = [&](const std::string& text, int min, int max, int& value) {
        if (ParseInteger(text, value) && value >= min && value <= max)
            return true;
        prompt =
            FormatText(Text(ids::kIntegerRangePrompt), {std::to_string(min), std::to_string(max)});
        return false;
    };
    const std::string host = Trimmed(hostText);
    const bool network = linkIndex == 1 || linkIndex == 2;
    if (network && (host.empty() || std::any_of(host.begin(), host.end(), [](unsigned char c) {
                        return c <= 0x20 || c == 0x7f || c == '/';
                    }))) {
        prompt = Text(ids::kHostMissing);
        return Result::InvalidLink;
    }
    if (!inRange(tcpPortText, 1, 65535, tcpPort) ||
        !inRange(responseTimeoutText, CommSettings::kMinResponseTimeout,
                 CommSettings::kMaxResponseTimeout, response) ||
        !inRange(rs485BeforeText, 0, CommSettings::kMaxRs485Delay, before) ||
        !inRange(rs485AfterText, 0, CommSettings::kMaxRs485Delay, after))
        return Result::InvalidLink;
    settings.SetKind(network ? static_cast<LinkKind>(linkIndex) : LinkKind::Serial);
    settings.SetHost(host);
    settings.SetTcpPort(tcpPort);
    settings.SetResponseTimeoutMs(response);
    settings.SetRs485({rs485, before, after});
    settings.SetBaudIndex(baudIndex);
    settings.SetParityIndex(parityIndex);
    settings.SetPortIndex(portIndex);
    settings.SetAdditionalTimeoutMs(timeout);
    bool ok = true;
    for (int n = 1; n <= CommSettings::kPortCount; ++n) {
        const std::string path = Trimmed(devicePaths[static_cast<size_t>(n - 1)]);
        const std::string before = settings.DevicePath(n);
        settings.SetDevicePath(n, path); // an empty path falls back to the default device
        // The settings store the chosen port's device; a path edited for another COM number
        // before switching to the one finally chosen is kept too, not dropped.
        if (n != settings.PortNumber() && settings.DevicePath(n) != before)
            ok = profile.WriteString(CommSettings::kDeviceSection, "COM" + std::to_string(n),
                                     settings.DevicePath(n)) &&
                 ok;
    }
    ok = settings.Save(profile) && ok;
    return ok ? Result::Saved : Result::SaveFailed;
}

std::vector<CommSetup::DeviceChoice> CommSetup::Choices() const {
    std::vector<DeviceChoice> choices;
    const std::string current = Trimmed(devicePaths[ChosenPort()]);
    bool listed = current.empty();
    for (const SerialDeviceInfo& d : devices_)
        listed = listed || d.preferredPath == current;
    if (!listed) {
        DeviceChoice choice{current, {}, true};
        if (const SerialDeviceInfo* d = FindSerialDevice(devices_, current)) {
            choice.description = SerialDeviceDescription(*d);
            choice.usable = d->Usable();
        }
        choices.push_back(std::move(choice));
    }
    for (const SerialDeviceInfo& d : devices_)
        choices.push_back({d.preferredPath, SerialDeviceDescription(d), d.Usable()});
    return choices;
}

std::string CommSetup::DeviceNote(const std::string& typed) const {
    const std::string path = Trimmed(typed);
    std::vector<std::string> lines;
    if (const SerialDeviceInfo* d = path.empty() ? nullptr : FindSerialDevice(devices_, path)) {
        lines.push_back(SerialDeviceDescription(*d));
        if (d->preferredPath != path && !d->byIdPaths.empty())
            lines.push_back(FormatText(Text(ids::kStableDeviceName), {d->preferredPath}));
        lines.push_back(SerialDeviceProblemText(*d));
        lines.push_back(LatencyTimerHint(*d));
    } else {
        std::error_code ec;
        if (!path.empty() && !std::filesystem::exists(path, ec))
            lines.push_back(FormatText(Text(ids::kNoSuchDevice), {path}));
        if (devices_.empty())
            lines.push_back(Text(ids::kNoDevicesFound));
    }
    std::string note;
    for (const std::string& line : lines) {
        if (line.empty())
            continue;
        if (!note.empty())
            note += '\n';
        note += line;
    }
    return note;
}

} // namespace quarnex
