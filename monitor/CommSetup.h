#pragma once

#include "comm/CommSettings.h"
#include "platform/PortDiscovery.h"

#include <array>
#include <string>
#include <vector>

namespace quarnex {

class Profile;

// The "Communication set-up" dialog without its window: the values its controls show, taken
// from the settings when it opens, and the check and save of OK. Cancel simply drops the object.
class CommSetup {
public:
    static constexpr int kMinTimeoutMs = CommSettings::kMinAdditionalTimeout;
    static constexpr int kMaxTimeoutMs = CommSettings::kMaxAdditionalTimeout;

    enum class Result { Saved, Invalid, BadDevicePath, SaveFailed, InvalidLink };

    explicit CommSetup(const CommSettings& settings);

    int baudIndex = 5;
    int parityIndex = 0;
    int portIndex = 0;
    std::string timeoutText; // the edit field, as typed
    // The link: 0 serial port, 1 RTU over TCP, 2 Modbus TCP gateway; host, TCP port and response
    // time-out of the network links and the RS-485 mode of the serial port, as typed.
    int linkIndex = 0;
    std::string hostText, tcpPortText, responseTimeoutText;
    bool rs485 = false;
    std::string rs485BeforeText, rs485AfterText;
    // The device behind each COM number; the dialog shows and edits the chosen one.
    std::array<std::string, CommSettings::kPortCount> devicePaths;

    std::string& DevicePathOfChosenPort() { return devicePaths[ChosenPort()]; }

    // One entry of the device list beside the COM numbers.
    struct DeviceChoice {
        std::string path;        // what choosing it puts into the device field
        std::string description; // maker, product and serial number; empty for a built-in port
        bool usable = true;      // false: the note says why
    };

    // The serial devices present, as the dialog offers them (a fake tree in tests).
    void SetDevices(std::vector<SerialDeviceInfo> devices) { devices_ = std::move(devices); }
    const std::vector<SerialDeviceInfo>& Devices() const { return devices_; }
    // The entries offered for the chosen COM number: its current device first when it is not
    // one of the paths below (a pseudo-terminal, an unplugged adapter, a built-in port reached
    // by another name), then every device found under its by-id name where it has one, so that
    // the bus stays on the same adapter when it is plugged into another socket.
    std::vector<DeviceChoice> Choices() const;
    // What the dialog says under the device field about path: the adapter behind it, its stable
    // name when path is not that, why it cannot be used and the latency-timer hint; that it does
    // not exist; that no device was found. Lines separated by line breaks; empty when there is
    // nothing to say.
    std::string DeviceNote(const std::string& path) const;

    // OK: checks the additional receive timeout (an integer 0-1000) and, when it is good, copies
    // every value into settings and writes them to the profile. Invalid leaves settings untouched
    // and fills prompt with "Please enter an integer between 0 and 1000."; BadDevicePath refuses a
    // device path with a line break or another control character (it would break the profile
    // line it is written to) and names the COM number in prompt; SaveFailed means the settings
    // are in force but the profile file could not be written.
    Result Confirm(CommSettings& settings, Profile& profile, std::string& prompt) const;

    // InvalidLink: a network link without a host, or a TCP port, response time-out or RS-485
    // delay out of range; prompt says which and what it takes. Checked after the timeout above.
    // An integer as a dialog field holds it: optional blanks, an optional sign, digits, optional
    // blanks, nothing else, within int range.
    static bool ParseInteger(const std::string& text, int& value);

private:
    size_t ChosenPort() const;

    std::vector<SerialDeviceInfo> devices_;
};

} // namespace quarnex
