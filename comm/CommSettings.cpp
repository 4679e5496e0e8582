#include "comm/CommSettings.h"

#include "platform/Profile.h"

#include <algorithm>
#include <cctype>

namespace quarnex {

int CommSettings::BaudRate() const {
    if (baudIndex_ >= 0 && baudIndex_ < 10)
        return kBaudRates[baudIndex_];
    return 9600;
}

char CommSettings::ParityLetter() const {
    switch (parityIndex_) {
    case 1:
        return 'E';
    case 2:
        return 'O';
    default:
        return 'N';
    }
}

int CommSettings::PortNumber() const {
    return portIndex_ >= 0 && portIndex_ < kPortCount ? portIndex_ + 1 : 1;
}

std::string CommSettings::DefaultDevicePath(int portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

const std::string& CommSettings::DevicePath(int portNumber) const {
    if (portNumber < 1 || portNumber > kPortCount)
        portNumber = 1;
    return devicePaths_[static_cast<size_t>(portNumber - 1)];
}

void CommSettings::SetDevicePath(int portNumber, const std::string& path) {
    if (portNumber >= 1 && portNumber <= kPortCount)
        devicePaths_[static_cast<size_t>(portNumber - 1)] =
            path.empty() ? DefaultDevicePath(portNumber) : path;
}

void CommSettings::SetBaudRate(int baud) {
    baudIndex_ = 5;
    for (int i = 0; i < 10; ++i)
        if (kBaudRates[i] == baud)
            baudIndex_ = i;
}

void CommSettings::SetParityLetter(char parity) {
    parityIndex_ = parity == 'E' ? 1 : parity == 'O' ? 2 : 0;
}

void CommSettings::Load(const Profile& profile) {
    SetBaudRate(profile.GetInt(kSection, "Baud", 9600));
    const std::string parity = profile.GetString(kSection, "Parity", "N");
    SetParityLetter(parity.empty() ? 'N' : parity[0]);

    const int port = profile.GetInt(kSection, "Com Port", 1);
    portIndex_ = port >= 2 && port <= 9 ? port - 1 : 0;

    // The margin is added to every receive time-out: a negative one makes each read end before
    // the answer can come, so an instrument that answers looks silent. Take what the dialog
    // accepts and fall back to none otherwise.
    const int extra = profile.GetInt(kSection, "Additional rec. timeout", 0);
    additionalReceiveTimeout_ =
        extra >= kMinAdditionalTimeout && extra <= kMaxAdditionalTimeout ? extra : 0;

    for (int n = 1; n <= kPortCount; ++n)
        SetDevicePath(
            n, profile.GetString(kDeviceSection, "COM" + std::to_string(n), DefaultDevicePath(n)));

    const std::string link = profile.GetString(kSection, "Link", "serial");
    kind_ = link == "tcp"    ? LinkKind::RtuOverTcp
            : link == "mbap" ? LinkKind::ModbusTcp
                             : LinkKind::Serial;
    host_ = profile.GetString(kSection, "Host", "");
    const int tcpPort = profile.GetInt(kSection, "TCP Port", 502);
    tcpPort_ = tcpPort >= 1 && tcpPort <= 65535 ? tcpPort : 502;
    const int response = profile.GetInt(kSection, "Response timeout", kDefaultResponseTimeout);
    responseTimeout_ = response >= kMinResponseTimeout && response <= kMaxResponseTimeout
                           ? response
                           : kDefaultResponseTimeout;
    // A "Probe timeout" of an earlier version is left in the profile and not read: a search
    // probe waits for the gateway as long as any request (its 0x0B ends the wait early), since a
    // shorter wait gave up on instruments that were there.
    // A network link without a host cannot reach anything: fall back to the serial port.
    if (host_.empty())
        kind_ = LinkKind::Serial;
    auto delay = [&](const char* key) {
        const int ms = profile.GetInt(kSection, key, 0);
        return ms >= 0 && ms <= kMaxRs485Delay ? ms : 0;
    };
    rs485_.on = profile.GetInt(kSection, "RS485", 0) == 1;
    rs485_.delayBeforeMs = delay("RS485 delay before");
    rs485_.delayAfterMs = delay("RS485 delay after");
}

std::string CommSettings::LinkName() const {
    if (kind_ != LinkKind::Serial)
        return LinkAddress(kind_, host_, tcpPort_);
    return "COM" + std::to_string(PortNumber()) + " (" + DevicePath() + ")";
}

bool CommSettings::Save(Profile& profile) const {
    bool ok = profile.WriteInt(kSection, "Baud", BaudRate());
    ok = profile.WriteString(kSection, "Parity", std::string(1, ParityLetter())) && ok;
    ok = profile.WriteInt(kSection, "Com Port", PortNumber()) && ok;
    ok = profile.WriteInt(kSection, "Additional rec. timeout", additionalReceiveTimeout_) && ok;
    ok = profile.WriteString(kDeviceSection, "COM" + std::to_string(PortNumber()), DevicePath()) &&
         ok;
    // A profile that never used another link or the RS-485 mode keeps the shape it had: the
    // keys of those are written once they are used (and from then on).
    if (kind_ != LinkKind::Serial || profile.HasKey(kSection, "Link")) {
        const char* link = kind_ == LinkKind::RtuOverTcp  ? "tcp"
                           : kind_ == LinkKind::ModbusTcp ? "mbap"
                                                          : "serial";
        ok = profile.WriteString(kSection, "Link", link) && ok;
        ok = profile.WriteString(kSection, "Host", host_) && ok;
        ok = profile.WriteInt(kSection, "TCP Port", tcpPort_) && ok;
        ok = profile.WriteInt(kSection, "Response timeout", responseTimeout_) && ok;
    }
    if (rs485_.on || profile.HasKey(kSection, "RS485")) {
        ok = profile.WriteInt(kSection, "RS485", rs485_.on ? 1 : 0) && ok;
        ok = profile.WriteInt(kSection, "RS485 delay before", rs485_.delayBeforeMs) && ok;
        ok = profile.WriteInt(kSection, "RS485 delay after", rs485_.delayAfterMs) && ok;
    }
    return ok;
}

std::string GatewayName(const CommSettings& settings) {
    if (settings.Kind() == LinkKind::Serial)
        return settings.LinkName();
    const std::string& host = settings.Host();
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(settings.TcpPort());
}

std::string LinkAddress(LinkKind kind, const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return std::string(kind == LinkKind::ModbusTcp ? "mbap://" : "tcp://") + (v6 ? "[" : "") +
           host + (v6 ? "]" : "") + ":" + std::to_string(port);
}

bool ParseLinkAddress(const std::string& text, LinkKind& kind, std::string& host, int& port,
                      std::string& reason) {
    reason.clear();
    std::string rest;
    if (text.rfind("tcp://", 0) == 0) {
        kind = LinkKind::RtuOverTcp;
        rest = text.substr(6);
    } else if (text.rfind("mbap://", 0) == 0) {
        kind = LinkKind::ModbusTcp;
        rest = text.substr(7);
    } else {
        return false;
    }
    reason = "expected " + text.substr(0, text.find(':')) + "://HOST:PORT with PORT 1-65535";
    size_t colon = rest.rfind(':');
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 != colon)
            return false;
        host = rest.substr(1, close - 1);
    } else {
        if (colon == std::string::npos || rest.find(':') != colon)
            return false;
        host = rest.substr(0, colon);
    }
    const std::string digits = colon == std::string::npos ? "" : rest.substr(colon + 1);
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::any_of(host.begin(), host.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F ||
                   c == '/' || c == '[' || c == ']';
        }))
        return false;
    port = std::stoi(digits);
    if (port < 1 || port > 65535)
        return false;
    reason.clear();
    return true;
}

} // namespace quarnex
