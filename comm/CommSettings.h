#pragma once

#include <array>
#include <string>

namespace quarnex {

class Profile;

// The parameters of the one serial port that carries the bus. Loaded once from the profile when
// the bus master is built, changed only by a confirmed "Communication set-up" dialog.
// Character format is fixed: 8 data bits and 2 stop bits, whatever the parity.
class CommSettings {
public:
    static constexpr const char* kSection = "Comm Param";
    static constexpr const char* kDeviceSection = "Serial Devices";
    static constexpr int kBaudRates[10] = {300,  600,   1200,  2400,  4800,
                                           9600, 19200, 38400, 57600, 115200};
    static constexpr int kPortCount = 9;
    // The additional receive timeout the dialog accepts, in milliseconds.
    static constexpr int kMinAdditionalTimeout = 0;
    static constexpr int kMaxAdditionalTimeout = 1000;

    // Reads "Baud", "Parity", "Com Port", "Additional rec. timeout" and the device path of each
    // COM number from section "Serial Devices". Unknown values fall back silently; an additional
    // receive timeout outside 0-1000 loads as 0.
    void Load(const Profile& profile);
    // Writes the four keys in that order, then the device path of the chosen COM number.
    // False when the profile file could not be written.
    bool Save(Profile& profile) const;

    // The stored members, as the dialog edits them.
    int BaudIndex() const { return baudIndex_; }
    int PortIndex() const { return portIndex_; }
    int ParityIndex() const { return parityIndex_; }
    int AdditionalTimeoutMs() const { return additionalReceiveTimeout_; }
    void SetBaudIndex(int index) { baudIndex_ = index; }
    void SetPortIndex(int index) { portIndex_ = index; }
    void SetParityIndex(int index) { parityIndex_ = index; }
    void SetAdditionalTimeoutMs(int ms) { additionalReceiveTimeout_ = ms; }

    // Derived values.
    int BaudRate() const;
    char ParityLetter() const;
    int PortNumber() const;
    int StopBits() const { return 2; }
    int AdditionalReceiveTimeout() const { return additionalReceiveTimeout_; }

    // The device behind a COM number (1-9): set in the profile, /dev/ttyS<n-1> by default.
    const std::string& DevicePath(int portNumber) const;
    const std::string& DevicePath() const { return DevicePath(PortNumber()); }
    void SetDevicePath(int portNumber, const std::string& path);
    static std::string DefaultDevicePath(int portNumber);

private:
    int baudIndex_ = 5;
    int portIndex_ = 0;
    int parityIndex_ = 0;
    int additionalReceiveTimeout_ = 0;
    std::array<std::string, kPortCount> devicePaths_ = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2",
                                                        "/dev/ttyS3", "/dev/ttyS4", "/dev/ttyS5",
                                                        "/dev/ttyS6", "/dev/ttyS7", "/dev/ttyS8"};
};

} // namespace quarnex
