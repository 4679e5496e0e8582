#pragma once

#include "sim/SlaveModel.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarnex::sim {

// Modbus RTU CRC-16, computed on the simulator's side of the bus (kept apart from the program's).
uint16_t Crc16(const uint8_t* data, size_t n);

// Faults the bus injects into the answer of the next request(s) at an address.
enum class Fault {
    Silence,        // no answer at all
    BadCrc,         // the two CRC bytes swapped
    WrongAddress,   // answered from address + 1, CRC correct
    WrongFunction,  // another function code, CRC correct
    ShortAnswer,    // the last three bytes left off
    ExtraBytes,     // three bytes more after the answer
    LateBytes,      // the first half, a pause of lateMs, then the rest
    Garbage,        // bytes of the right length that are no frame at all
    Exception,      // an exception answer with exceptionCode, whatever the device would say
    WrongByteCount, // a read answer whose byte count field is one register short, CRC correct
    WrongEcho,      // a write answer naming the next register or coil, CRC correct
    // Network links only (on the pseudo-terminal the answer goes out unchanged):
    WrongTransaction, // Modbus TCP: the answer carries another transaction id
    WrongProtocol,    // Modbus TCP: the answer's protocol id is not 0
    Disconnect,       // the connection is closed instead of answering (silence on the pty)
};

// How the simulator is reached over TCP: the RTU frames on the stream (a serial device server)
// or Modbus TCP frames with the MBAP header (a gateway).
enum class NetKind { RtuOverTcp, ModbusTcp };

struct FaultSpec {
    Fault kind = Fault::Silence;
    int count = 1; // how many requests it applies to
    uint8_t exceptionCode = 4;
    int lateMs = 300;
    // When set, the fault waits for a request it accepts (the request as received, CRC included)
    // and applies to those only; requests it passes by are answered normally.
    std::function<bool(const std::vector<uint8_t>& request)> when = nullptr;
};

// The line settings an instrument was given: on the pseudo-terminal it answers only when the
// master's port is set to them (baud 0: whatever the port is set to).
struct LineSettings {
    int baud = 0;
    char parity = 'N';
};

// A fault's condition: a write of the coil (function 5) or of a register block starting at reg
// (function 16).
std::function<bool(const std::vector<uint8_t>&)> CoilWrite(int coil);
std::function<bool(const std::vector<uint8_t>&)> RegistersWrite(int reg);

// A simulated RS-485 bus on a pseudo-terminal: the program opens DevicePath() as its serial port;
// the bus thread reads requests on the other side, frames them by their function's length,
// checks the CRC, hands them to the device at that address and writes the answer back.
// Requests with a bad CRC, to an address without a device or to the broadcast address get no
// answer, as on a real line, and a request sent while the bus is still answering is lost
// (half-duplex). Every well-formed request is logged; the log keeps the last
// kRequestLogSize of them, so a bus that runs for days does not grow without end.
class SimBus {
public:
    SimBus();
    ~SimBus();
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    // Creates the pseudo-terminal (and, when linkPath is given, a symbolic link to it) and starts
    // the bus thread. False with a reason when the system refuses.
    bool Start(std::string& error, const std::string& linkPath = {});
    // After Start: also serves the bus on TCP at host:port (port 0: one the system picks), one
    // client after another, with the same devices and faults, answering without pacing. Returns
    // the port listened on, 0 with a reason when the system refuses.
    int ServeNetwork(NetKind kind, const std::string& host, int port, std::string& error);
    void Stop();
    const std::string& DevicePath() const { return devicePath_; }

    void Attach(int address, std::shared_ptr<SlaveModel> model);
    // Gives the instrument at address line settings of its own. On the pseudo-terminal (where
    // the bus reads the master's port settings) it stays silent to a port at another baud rate,
    // and where the parity alone differs answers bytes that fail the check, as the master's UART
    // would take them in. The network servers answer as before.
    void SetLineSettings(int address, const LineSettings& line);
    // The Modbus TCP server answers a request nothing on the bus answered with this exception
    // (0x0A: no path to the target, 0x0B: the target did not respond), as a gateway does;
    // 0 (the default) leaves it unanswered.
    void SetGatewayException(uint8_t code) { gatewayException_ = code; }
    // Makes the Modbus TCP server a model of a real gateway: it forwards one request at a time to
    // the instruments over a serial line at lineBaud (the request's and the answer's wire time
    // count), and answers an address that stays silent with its exception (0x0B unless
    // SetGatewayException names another) targetTimeoutMs after the request has crossed its
    // line. Requests that come meanwhile wait their turn in the connection. targetTimeoutMs 0
    // turns the model off.
    void SetGatewayModel(int targetTimeoutMs, int lineBaud) {
        gatewayDelayMs_ = targetTimeoutMs;
        gatewayBaud_ = lineBaud > 0 ? lineBaud : 9600;
    }
    void Detach(int address);
    std::shared_ptr<SlaveModel> Model(int address) const;

    // Runs f(model) with the bus lock held, so the bus thread sees a consistent device.
    template <class M, class F> auto WithModel(int address, F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(static_cast<M&>(*models_.at(address)));
    }

    // Paces answers at the wire speed: a request is taken as fully arrived only after its bytes
    // would have crossed the line, and answer bytes leave one character time apart. baud 0 paces
    // at the rate the program configured on its side of the pseudo-terminal; -1 turns pacing off.
    void SetPacing(int baud);

    // Applies a fault to the next injected.count requests at address (0: at any address).
    void InjectFault(int address, const FaultSpec& injected);
    void ClearFaults();
    // Writes bytes towards the program now, unasked (stale bytes, line noise).
    void SendRaw(const std::vector<uint8_t>& bytes);

    // How many requests the log keeps (the most recent ones), unless SetRequestLogLimit says.
    static constexpr size_t kRequestLogSize = 4096;
    void SetRequestLogLimit(size_t limit);

    // The last kRequestLogSize well-formed requests received (CRC included), oldest first, and
    // how many requests one address has received since the start (or ClearRequests).
    std::vector<std::vector<uint8_t>> Requests() const;
    size_t RequestCount(int address) const;
    void ClearRequests();
    // Bytes received that never formed a valid frame.
    size_t DiscardedBytes() const;

    // The bus's framing: hands every complete frame at the front of buffer (CRC checked) to
    // handle and removes it; with lineSilent, what is left is either one frame of a function
    // whose length is not known (when its CRC holds) or dropped. The number of bytes dropped.
    static size_t TakeFrames(std::vector<uint8_t>& buffer, bool lineSilent,
                             const std::function<void(const std::vector<uint8_t>&)>& handle);
    // The answer of the device at the frame's address (CRC included) without faults, pacing or
    // log; false when it stays silent.
    bool AnswerRequest(const std::vector<uint8_t>& frame, std::vector<uint8_t>& answer);

private:
    void Run();
    void HandleFrame(const std::vector<uint8_t>& frame, int64_t firstByteNs);
    // Logs the request, asks the device, applies the fault due and waits out the device's delay
    // and the request's wire time; false when nothing is to be sent. fault is the one applied.
    bool Respond(const std::vector<uint8_t>& frame, int64_t firstByteNs, bool paced,
                 std::vector<uint8_t>& answer, int& lateMs, int& lateSplit, FaultSpec& fault,
                 bool& faulty);
    void ServeClients(NetKind kind, int listenFd);
    void ServeClient(NetKind kind, int fd);
    bool Answer(uint8_t address, const std::vector<uint8_t>& frame, std::vector<uint8_t>& answer,
                int& delayMs);
    void WriteAnswer(const std::vector<uint8_t>& bytes, int lateMs, int lateSplit);
    void DropRequestsWhileAnswering();
    int PacingBaud() const;
    // How the master's port is set now (baud, parity letter).
    LineSettings PortLine() const;

    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<SlaveModel>> models_;
    std::map<int, std::vector<FaultSpec>> faults_;
    std::deque<std::vector<uint8_t>> log_;
    std::map<int, size_t> requestCounts_;
    size_t logLimit_ = kRequestLogSize;
    size_t discarded_ = 0;
    std::atomic<int> pacing_{-1};
    std::map<int, LineSettings> lines_;
    std::atomic<uint8_t> gatewayException_{0};
    std::atomic<int> gatewayDelayMs_{0};
    std::atomic<int> gatewayBaud_{9600};

    int masterFd_ = -1;
    int slaveFd_ = -1; // held open so the line does not hang up when the program closes it
    int wakePipe_[2] = {-1, -1};
    std::string devicePath_;
    std::string linkPath_;
    std::thread thread_;
    std::vector<std::thread> netThreads_;
    std::vector<int> listenFds_;
    std::atomic<bool> running_{false};
};

} // namespace quarnex::sim
