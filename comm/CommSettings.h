#pragma once

#include <array>
#include <string>

namespace quarnex {

class Profile;

// How the PC reaches the bus: a serial port, a serial device server that forwards the RTU frames
// on a TCP stream, or a Modbus TCP gateway (MBAP header, no CRC, unit id = address).
enum class LinkKind { Serial, RtuOverTcp, ModbusTcp };

// The kernel's RS-485 mode of the serial port: the driver switches the line driver with RTS,
// waiting the given times before and after sending.
struct Rs485Mode {
    bool on = false;
    int delayBeforeMs = 0;
    int delayAfterMs = 0;
};

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
    // The response time-out of the network links, in milliseconds. A gateway waits for the
    // instrument behind it its own target time-out (commonly 100 ms to 1 s) before it answers
    // 0x0B; the default lies above that, so its answer is heard and names the gateway.
    static constexpr int kDefaultResponseTimeout = 1500;
    static constexpr int kMinResponseTimeout = 10;
    static constexpr int kMaxResponseTimeout = 60000;
    // The RS-485 delays before and after sending the dialog accepts, in milliseconds.
    static constexpr int kMaxRs485Delay = 1000;

    // Reads "Baud", "Parity", "Com Port", "Additional rec. timeout" and the device path of each
    // COM number from section "Serial Devices". Unknown values fall back silently; an additional
    // receive timeout outside 0-1000 loads as 0.
    void Load(const Profile& profile);
    // Also reads the link ("Link": serial, tcp or mbap; "Host", "TCP Port", "Response timeout")
    // and the RS-485 mode ("RS485", "RS485 delay before", "RS485 delay after"); values out of
    // range load as their defaults.
    // Writes the four keys in that order, then the device path of the chosen COM number, then the
    // link and RS-485 keys. False when the profile file could not be written.
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
    // By value, as Load reads them: a rate not in kBaudRates sets 9600, a letter other than E or O
    // sets N.
    void SetBaudRate(int baud);
    void SetParityLetter(char parity);

    // Derived values.
    int BaudRate() const;
    char ParityLetter() const;
    int PortNumber() const;
    int StopBits() const { return 2; }
    int AdditionalReceiveTimeout() const { return additionalReceiveTimeout_; }

    LinkKind Kind() const { return kind_; }
    void SetKind(LinkKind kind) { kind_ = kind; }
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& host) { host_ = host; }
    int TcpPort() const { return tcpPort_; }
    void SetTcpPort(int port) { tcpPort_ = port; }
    int ResponseTimeoutMs() const { return responseTimeout_; }
    void SetResponseTimeoutMs(int ms) { responseTimeout_ = ms; }
    const Rs485Mode& Rs485() const { return rs485_; }
    void SetRs485(const Rs485Mode& mode) { rs485_ = mode; }
    // The link in use, for the status bar and the caption: "COM1 (/dev/ttyUSB0)",
    // "tcp://gateway:4001" or "mbap://10.0.0.5:502".
    std::string LinkName() const;

    // The device behind a COM number (1-9): set in the profile, /dev/ttyS<n-1> by default.
    const std::string& DevicePath(int portNumber) const;
    const std::string& DevicePath() const { return DevicePath(PortNumber()); }
    void SetDevicePath(int portNumber, const std::string& path);
    static std::string DefaultDevicePath(int portNumber);

private:
    LinkKind kind_ = LinkKind::Serial;
    std::string host_;
    int tcpPort_ = 502;
    int responseTimeout_ = kDefaultResponseTimeout;
    Rs485Mode rs485_;
    int baudIndex_ = 5;
    int portIndex_ = 0;
    int parityIndex_ = 0;
    int additionalReceiveTimeout_ = 0;
    std::array<std::string, kPortCount> devicePaths_ = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2",
                                                        "/dev/ttyS3", "/dev/ttyS4", "/dev/ttyS5",
                                                        "/dev/ttyS6", "/dev/ttyS7", "/dev/ttyS8"};
};

// Reads "tcp://HOST:PORT" (RTU over TCP) or "mbap://HOST:PORT" (Modbus TCP); an IPv6 address
// goes in brackets ("mbap://[::1]:502"). False with the reason when text is neither a network
// address of that shape nor anything else (a plain device path gives false and an empty reason).
bool ParseLinkAddress(const std::string& text, LinkKind& kind, std::string& host, int& port,
                      std::string& reason);
// The gateway's HOST:PORT as messages name it; the serial link's name on a serial link.
std::string GatewayName(const CommSettings& settings);
// The address as ParseLinkAddress reads it.
std::string LinkAddress(LinkKind kind, const std::string& host, int port);

} // namespace quarnex
