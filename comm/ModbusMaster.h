#pragma once

#include "comm/CommSettings.h"
#include "comm/SerialLink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex {

class Profile;
class Prompter;

// Result of every bus operation.
using CommStatus = int;
namespace status {
constexpr CommStatus kOk = 0;
constexpr CommStatus kNoPort = 1;
constexpr CommStatus kTransmitError = 2;
constexpr CommStatus kReceiveError = 3;
constexpr CommStatus kNoResponse = 4;
constexpr CommStatus kChecksumError = 5;
constexpr CommStatus kIllegalTransmitData = 6;
constexpr CommStatus kException01 = 7; // 7-14: exception responses 01-08
constexpr CommStatus kIllegalFunction = 7;
constexpr CommStatus kIllegalDataAddress = 8;
constexpr CommStatus kIllegalDataValue = 9;
constexpr CommStatus kSlaveDeviceFailure = 10;
constexpr CommStatus kNegativeAcknowledge = 13;
constexpr CommStatus kOtherException = 15;
} // namespace status

// The program's only Modbus RTU master. Every operation takes the slave address first and the
// transaction options last:
//   retries      - how often an attempt ending with status 3, 4 or 5 is repeated (0-255);
//   extraTimeout - when not 0, replaces the 400 ms receive margin for this transaction;
//   showRetryBox - offer Retry/Cancel when the attempts end with status 3, 4 or 5;
//   owner        - where that box goes; the master's own prompter when null.
// Registers are named 40001-49999 and sent as number - 40001; coils are numbered from 1.
// Nothing is thrown; the result is a CommStatus, and a read fills its output only on success.
class ModbusMaster {
public:
    static constexpr int kFirstRegister = 40001;
    static constexpr int kLastRegister = 49999;

    // Loads the settings from the profile (section "Comm Param"). Does not open the port.
    ModbusMaster(const Profile& profile, Prompter& prompter, SerialLink::PortFactory factory = {});

    CommSettings& Settings() { return settings_; }
    const CommSettings& Settings() const { return settings_; }
    SerialLink& Link() { return link_; }
    Prompter& DefaultPrompter() { return prompter_; }
    bool Open() { return link_.Open(); }

    CommStatus ReadHoldingRegisters(int slave, int reg, int count, uint16_t* values,
                                    int retries = 0, int extraTimeout = 0,
                                    bool showRetryBox = false, Prompter* owner = nullptr);
    CommStatus WriteSingleRegister(int slave, int reg, uint16_t value, int retries = 0,
                                   int extraTimeout = 0, bool showRetryBox = false,
                                   Prompter* owner = nullptr);
    CommStatus WriteMultipleRegisters(int slave, int reg, int count, const uint16_t* values,
                                      int retries = 0, int extraTimeout = 0,
                                      bool showRetryBox = false, Prompter* owner = nullptr);
    CommStatus ReadFloatRegisters(int slave, int reg, int count, float* values, int retries = 0,
                                  int extraTimeout = 0, bool showRetryBox = false,
                                  Prompter* owner = nullptr);
    CommStatus ReadModiconFloatRegisters(int slave, int reg, int count, float* values,
                                         int retries = 0, int extraTimeout = 0,
                                         bool showRetryBox = false, Prompter* owner = nullptr);
    CommStatus WriteFloatRegisters(int slave, int reg, int count, const float* values,
                                   int retries = 0, int extraTimeout = 0, bool showRetryBox = false,
                                   Prompter* owner = nullptr);
    CommStatus WriteModiconFloatRegisters(int slave, int reg, int count, const float* values,
                                          int retries = 0, int extraTimeout = 0,
                                          bool showRetryBox = false, Prompter* owner = nullptr);
    CommStatus WriteSingleCoil(int slave, int coil, bool on, int retries = 0, int extraTimeout = 0,
                               bool showRetryBox = false, Prompter* owner = nullptr);

    // The text of a status ("??????" outside 1-15); withHeading puts "COMMUNICATION ERROR" and a
    // line break in front.
    static std::string StatusText(CommStatus status, bool withHeading);
    // Error box for status 1-6 (onlyHard: only 1, 2 and 6, the others having been offered in
    // the Retry/Cancel box already). Shows nothing otherwise.
    void ReportLinkError(CommStatus status, const std::string& suffix = {}, bool onlyHard = false,
                         Prompter* owner = nullptr);
    // Error box for status 7-15. Shows nothing otherwise.
    void ReportExceptionError(CommStatus status, const std::string& suffix = {},
                              Prompter* owner = nullptr);

    int PollTimeout() const { return link_.PollTimeout(); }
    int DefaultReceiveTimeout() const { return link_.DefaultReceiveTimeout(); }

    // Facts about the last transaction, for callers and tests: the answer bytes without the CRC
    // and the number of attempts made (counted again from 0 after a Retry in the box).
    int LastAnswerLength() const { return lastAnswerLength_; }
    int LastAttempts() const { return lastAttempts_; }

private:
    CommStatus Transact(std::vector<uint8_t>& request, std::vector<uint8_t>& answer, int retries,
                        int extraTimeout, bool showRetryBox, Prompter* owner);
    CommStatus ReadFloats(int slave, int reg, int count, float* values, bool modicon, int retries,
                          int extraTimeout, bool showRetryBox, Prompter* owner);
    CommStatus WriteFloats(int slave, int reg, int count, const float* values, bool modicon,
                           int retries, int extraTimeout, bool showRetryBox, Prompter* owner);

    Prompter& prompter_;
    CommSettings settings_;
    SerialLink link_;
    int lastAnswerLength_ = 0;
    int lastAttempts_ = 0;
};

// Frame building and decoding, exposed for tests and the simulator-free tools.
namespace modbus {
// The request frame of a function 3 read, without the CRC.
std::vector<uint8_t> ReadRequest(int slave, int reg, int registerCount);
// Appends the CRC, low byte first.
void AppendCrc(std::vector<uint8_t>& frame);
bool CrcMatches(const uint8_t* frame, size_t n);
// Float to register order: high word first (standard) or low word first (Modicon).
void FloatToBytes(float value, bool modicon, uint8_t out[4]);
float BytesToFloat(const uint8_t in[4], bool modicon);
} // namespace modbus

} // namespace quarnex
