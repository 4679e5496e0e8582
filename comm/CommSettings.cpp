#include "comm/CommSettings.h"

#include "platform/Profile.h"

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

void CommSettings::Load(const Profile& profile) {
    const int baud = profile.GetInt(kSection, "Baud", 9600);
    baudIndex_ = 5;
    for (int i = 0; i < 10; ++i)
        if (kBaudRates[i] == baud)
            baudIndex_ = i;

    const std::string parity = profile.GetString(kSection, "Parity", "N");
    parityIndex_ = parity.empty() ? 0 : parity[0] == 'E' ? 1 : parity[0] == 'O' ? 2 : 0;

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
}

bool CommSettings::Save(Profile& profile) const {
    bool ok = profile.WriteInt(kSection, "Baud", BaudRate());
    ok = profile.WriteString(kSection, "Parity", std::string(1, ParityLetter())) && ok;
    ok = profile.WriteInt(kSection, "Com Port", PortNumber()) && ok;
    ok = profile.WriteInt(kSection, "Additional rec. timeout", additionalReceiveTimeout_) && ok;
    ok = profile.WriteString(kDeviceSection, "COM" + std::to_string(PortNumber()), DevicePath()) &&
         ok;
    return ok;
}

} // namespace quarnex
