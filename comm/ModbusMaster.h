#pragma once

#include "comm/BusLink.h"
#include "comm/CommSettings.h"
#include "comm/CommStatus.h"
#include "comm/LinkFactory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarnex {

class Profile;
class Prompter;
class TrafficObserver;

// How one operation deals with failed attempts. The defaults make one attempt, wait with the
// usual 400 ms receive margin and show nothing.
struct TransactionOptions {
    // How often an attempt ending with status 3, 4 or 5 is repeated (0-255).
    int retries = 0;
    // When not 0, replaces the 400 ms receive margin for this transaction.
    int extraTimeout = 0;
    // Offer Retry/Cancel when the attempts end with status 3, 4 or 5.
    bool showRetryBox = false;
    // Where that box goes; the master's own prompter when null.
    Prompter* owner = nullptr;
    // A search probe at an address that may hold nothing. It waits as long as any request (a
    // gateway's 0x0A or 0x0B ends the wait early); the answers of probes that came too late are
    // kept for the search to ask those addresses again (ModbusMaster::TakeLateAnswerAddresses).
    bool probe = false;
};

// The program's only Modbus RTU master. Every operation takes the slave address first and the
// transaction options last, e.g. ReadHoldingRegisters(address, reg, 17, values, {.retries = 3}).
// Registers are named 40001-49999 and sent as number - 40001; coils are numbered from 1.
// Nothing is thrown; the result is a CommStatus, and a read fills its output only on success.
class ModbusMaster {
public:
    static constexpr int kFirstRegister = 40001;
    static constexpr int kLastRegister = 49999;

    // Loads the settings from the profile (section "Comm Param") and builds the link they name
    // through links (the serial port or the network link; SettingsLinkFactory() when empty).
    // Does not open it.
    ModbusMaster(const Profile& profile, Prompter& prompter, LinkFactory links = {});
    // The same with the settings given (the command line's, a fleet link's): no profile between.
    ModbusMaster(const CommSettings& settings, Prompter& prompter, LinkFactory links = {});

    CommSettings& Settings() { return settings_; }
    const CommSettings& Settings() const { return settings_; }
    // The link in use, as the factory built it from the settings of the last Open.
    BusLink& Link() { return *link_; }
    const BusLink& Link() const { return *link_; }
    Prompter& DefaultPrompter() { return prompter_; }
    // Closes the link in use, has the factory build the one the settings name now and opens it.
    bool Open();

    CommStatus ReadHoldingRegisters(int slave, int reg, int count, uint16_t* values,
                                    const TransactionOptions& options = {});
    CommStatus WriteSingleRegister(int slave, int reg, uint16_t value,
                                   const TransactionOptions& options = {});
    CommStatus WriteMultipleRegisters(int slave, int reg, int count, const uint16_t* values,
                                      const TransactionOptions& options = {});
    CommStatus ReadFloatRegisters(int slave, int reg, int count, float* values,
                                  const TransactionOptions& options = {});
    CommStatus ReadModiconFloatRegisters(int slave, int reg, int count, float* values,
                                         const TransactionOptions& options = {});
    CommStatus WriteFloatRegisters(int slave, int reg, int count, const float* values,
                                   const TransactionOptions& options = {});
    CommStatus WriteModiconFloatRegisters(int slave, int reg, int count, const float* values,
                                          const TransactionOptions& options = {});
    CommStatus WriteSingleCoil(int slave, int coil, bool on,
                               const TransactionOptions& options = {});

    // One request and its answer: appends the CRC to request (address, function and data), sends
    // it, reads the answer, checks it with modbus::CheckAnswer and repeats and offers it as the
    // options say. On success and on an exception answer, answer holds the answer without its
    // CRC; otherwise the bytes that came, as they came. A request too short to carry its
    // function (and, for reads, its count) returns IllegalTransmitData without bus traffic.
    CommStatus Transact(std::vector<uint8_t> request, std::vector<uint8_t>& answer,
                        const TransactionOptions& options = {});

    // The text of a status ("??????" outside 1-15); withHeading puts "COMMUNICATION ERROR" and a
    // line break in front.
    static std::string StatusText(CommStatus status, bool withHeading);
    // The text of the last transaction's status as it came about: a gateway's "no answer from
    // the target" names the gateway and the address, an answer in another framing carries the
    // link's hint; otherwise StatusText.
    std::string LastStatusText(CommStatus status, bool withHeading) const;
    // True when the last transaction's silence was a gateway's exception 0x0A or 0x0B.
    bool LastSilenceFromGateway() const { return gatewaySilence_; }
    // The addresses whose answer (not a gateway's 0x0A or 0x0B) came after the wait for it had
    // ended, since the last call: each is there and answers, and a search asks it again. A
    // transaction that meets its own address's late answer makes one attempt more on its own.
    std::vector<int> TakeLateAnswerAddresses();
    // What happened to the link itself since the last call: its serial device removed, back.
    std::vector<std::string> TakeLinkEvents() { return link_->TakeLinkEvents(); }
    // How many late answers were dropped since the master was made.
    int LateAnswerCount() const { return lateAnswerCount_; }
    // Error box for status 1-6 (onlyHard: only 1, 2 and 6, the others having been offered in
    // the Retry/Cancel box already). Shows nothing otherwise.
    void ReportLinkError(CommStatus status, const std::string& suffix = {}, bool onlyHard = false,
                         Prompter* owner = nullptr);
    // Error box for status 7-15. Shows nothing otherwise.
    void ReportExceptionError(CommStatus status, const std::string& suffix = {},
                              Prompter* owner = nullptr);

    int PollTimeout() const { return link_->PollTimeout(); }
    int DefaultReceiveTimeout() const { return link_->DefaultReceiveTimeout(); }

    // Facts about the last transaction, for callers and tests: the answer bytes without the CRC
    // and the number of attempts made (counted again from 0 after a Retry in the box).
    int LastAnswerLength() const { return lastAnswerLength_; }
    int LastAttempts() const { return lastAttempts_; }

    // Reports every attempt of every transaction to observer from now on (nullptr: to nobody).
    // The link notes byte times only while someone watches.
    void SetTrafficObserver(TrafficObserver* observer);
    TrafficObserver* GetTrafficObserver() const { return trafficObserver_; }

private:
    // Takes the link's late answers: counts them, keeps the addresses that answered, and notes
    // one of the address of this transaction. The notes of the trace row when one is watching.
    void CollectLateAnswers(std::string* note);
    void ReportAttempt(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& answer,
                       int attempt, CommStatus status, const std::string& lateNote = {});
    CommStatus ReadFloats(int slave, int reg, int count, float* values, bool modicon,
                          const TransactionOptions& options);
    CommStatus WriteFloats(int slave, int reg, int count, const float* values, bool modicon,
                           const TransactionOptions& options);

    Prompter& prompter_;
    CommSettings settings_;
    LinkFactory links_;
    std::unique_ptr<BusLink> link_;
    int lastAnswerLength_ = 0;
    int lastAttempts_ = 0;
    int lastSlave_ = 0;
    bool gatewaySilence_ = false;
    std::string lastHint_;
    // The late answer of this transaction's own address (address 0: none came).
    LateAnswer lateOwn_;
    std::vector<int> lateAddresses_;
    int lateAnswerCount_ = 0;
    TrafficObserver* trafficObserver_ = nullptr;
    uint64_t transactionsSeen_ = 0;
};

// Frame building and decoding, exposed for tests and the simulator-free tools.
namespace modbus {
// The request frame of a function 3 read, without the CRC.
std::vector<uint8_t> ReadRequest(int slave, int reg, int registerCount);
// Appends the CRC, low byte first.
void AppendCrc(std::vector<uint8_t>& frame);
bool CrcMatches(const uint8_t* frame, size_t n);
// The length of a good answer to request (without its CRC), CRC included: 5 + 2 x count for a
// read (function 3 or 23), 8 for every other function. An exception answer has 5 bytes.
int ExpectedAnswerLength(const std::vector<uint8_t>& request);
// Checks the bytes received for request (without its CRC), CRC included: NoResponse when none
// came; ReceiveError when too few came, when they come from another slave or function, when a
// read's byte count differs from the registers asked for, or when a write's echo names another
// register, value, coil state or count than the request; ChecksumError when the CRC fails; the
// exception's status for an exception answer; Ok otherwise. Bytes beyond the expected length are
// ignored, as the transaction never reads them.
CommStatus CheckAnswer(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer);
// The exceptions a gateway answers for the instrument behind it: no path to it, or no answer
// from it. Either means the address is silent, never that an instrument is there.
constexpr uint8_t kGatewayPathUnavailable = 0x0A;
constexpr uint8_t kGatewayTargetFailed = 0x0B;
bool IsGatewaySilence(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer,
                      CommStatus status);
// Float to register order: high word first (standard) or low word first (Modicon).
void FloatToBytes(float value, bool modicon, uint8_t out[4]);
float BytesToFloat(const uint8_t in[4], bool modicon);
} // namespace modbus

} // namespace quarnex
