#include "comm/ModbusMaster.h"

#include "comm/Crc.h"
#include "comm/TrafficRecorder.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "res/LinksTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstring>

namespace quarnex {

namespace modbus {

std::vector<uint8_t> ReadRequest(int slave, int reg, int registerCount) {
    const int address = reg - ModbusMaster::kFirstRegister;
    return {static_cast<uint8_t>(slave),
            0x03,
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address),
            static_cast<uint8_t>(registerCount >> 8),
            static_cast<uint8_t>(registerCount)};
}

void AppendCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = Crc16Modbus(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool CrcMatches(const uint8_t* frame, size_t n) {
    if (n < 2)
        return false;
    const uint16_t crc = Crc16Modbus(frame, n - 2);
    return frame[n - 2] == (crc & 0xFF) && frame[n - 1] == (crc >> 8);
}

void FloatToBytes(float value, bool modicon, uint8_t out[4]) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    const uint8_t b[4] = {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                          static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
    if (modicon) {
        out[0] = b[2];
        out[1] = b[3];
        out[2] = b[0];
        out[3] = b[1];
    } else {
        std::memcpy(out, b, 4);
    }
}

float BytesToFloat(const uint8_t in[4], bool modicon) {
    uint32_t bits;
    if (modicon)
        bits = uint32_t{in[2]} << 24 | uint32_t{in[3]} << 16 | uint32_t{in[0]} << 8 | in[1];
    else
        bits = uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

int ExpectedAnswerLength(const std::vector<uint8_t>& request) {
    if (request.size() >= 6 && (request[1] == 3 || request[1] == 23))
        return 5 + 2 * (request[4] << 8 | request[5]);
    return 8;
}

CommStatus CheckAnswer(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer) {
    if (answer.empty())
        return CommStatus::NoResponse;
    const uint8_t function = request.size() > 1 ? request[1] : 0;
    const bool exception = answer.size() >= 2 && answer[1] == (function | 0x80);
    const size_t expected = exception ? 5 : static_cast<size_t>(ExpectedAnswerLength(request));
    if (answer.size() < expected)
        return CommStatus::ReceiveError;
    if (!CrcMatches(answer.data(), expected))
        return CommStatus::ChecksumError;
    if (request.empty() || answer[0] != request[0] || (answer[1] != function && !exception))
        return CommStatus::ReceiveError;
    if (exception)
        return ExceptionStatus(answer[2]);
    switch (function) {
    case 3:
    case 23:
        // A byte count that disagrees with the registers asked for would leave part of the
        // caller's array unfilled, or fill it from beyond the data, while reporting success.
        if (answer[2] != expected - 5)
            return CommStatus::ReceiveError;
        break;
    case 5:
    case 6:
    case 16:
        // The instrument echoes the register (or coil) and the value (or count) it acted on.
        // Another one means the write landed elsewhere, or not at all; it must not pass as done.
        if (request.size() < 6 ||
            !std::equal(request.begin() + 2, request.begin() + 6, answer.begin() + 2))
            return CommStatus::ReceiveError;
        break;
    default:
        break;
    }
    return CommStatus::Ok;
}

bool IsGatewaySilence(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer,
                      CommStatus status) {
    return status == CommStatus::OtherException && answer.size() >= 3 && !request.empty() &&
           (answer[2] == kGatewayPathUnavailable || answer[2] == kGatewayTargetFailed);
}

} // namespace modbus

namespace {

bool RegisterInRange(int reg) {
    return reg >= ModbusMaster::kFirstRegister && reg <= ModbusMaster::kLastRegister;
}

void PushRegisterAddress(std::vector<uint8_t>& frame, int reg) {
    const int address = reg - ModbusMaster::kFirstRegister;
    frame.push_back(static_cast<uint8_t>(address >> 8));
    frame.push_back(static_cast<uint8_t>(address));
}

} // namespace

ModbusMaster::ModbusMaster(const Profile& profile, Prompter& prompter, LinkFactory links)
    : ModbusMaster(
          [&] {
              CommSettings s;
              s.Load(profile);
              return s;
          }(),
          prompter, std::move(links)) {}

ModbusMaster::ModbusMaster(const CommSettings& settings, Prompter& prompter, LinkFactory links)
    : prompter_(prompter), settings_(settings),
      links_(links ? std::move(links) : SettingsLinkFactory()),
      link_(links_(settings_, prompter_)) {}

bool ModbusMaster::Open() {
    link_->Close();
    link_.reset();
    link_ = links_(settings_, prompter_);
    link_->NoteTimes(trafficObserver_ != nullptr);
    return link_->Open();
}

CommStatus ModbusMaster::Transact(std::vector<uint8_t> request, std::vector<uint8_t>& answer,
                                  const TransactionOptions& options) {
    lastAnswerLength_ = 0;
    lastAttempts_ = 0;
    gatewaySilence_ = false;
    lastHint_.clear();
    answer.clear();
    if (!link_->IsOpen())
        return CommStatus::NoPort;
    if (request.size() < 2 || ((request[1] == 3 || request[1] == 23) && request.size() < 6))
        return CommStatus::IllegalTransmitData;

    const uint8_t function = request[1];
    lastSlave_ = request[0];
    const int expected = modbus::ExpectedAnswerLength(request);
    const int remainder = expected - 5;
    std::vector<uint8_t> frame = request;
    modbus::AppendCrc(frame);
    const int frameLength = static_cast<int>(frame.size());

    CommStatus result = CommStatus::Ok;
    int received = 0;
    lateOwn_ = {};
    bool lateRetried = false;
    for (;;) {
        int counter = 0;
        for (;;) {
            answer.assign(static_cast<size_t>(expected), 0);
            link_->PrepareRequest();
            // Late answers waiting before the request belong to earlier transactions: the trace
            // shows them on this row.
            std::string lateNote;
            CollectLateAnswers(trafficObserver_ ? &lateNote : nullptr);
            const int written = link_->Write(frame.data(), frameLength);
            ++counter;
            if (written != frameLength) {
                result = CommStatus::TransmitError;
                received = 0;
                if (trafficObserver_)
                    ReportAttempt(frame, {}, counter, result);
                break;
            }
            if (options.extraTimeout != 0)
                link_->SetReceiveMargin(options.extraTimeout);
            if (options.probe)
                link_->SetProbing(true);
            // An exception answer is 5 bytes long: read those first and the rest only when the
            // slave did not refuse.
            received = std::max(0, link_->Read(answer.data(), 5));
            if (received == 5 && answer[1] != (function | 0x80))
                received += std::max(0, link_->Read(answer.data() + 5, remainder));
            if (options.extraTimeout != 0)
                link_->RestoreReceiveMargin();
            if (options.probe)
                link_->SetProbing(false);
            answer.resize(static_cast<size_t>(received));
            CollectLateAnswers(trafficObserver_ ? &lateNote : nullptr);
            result = modbus::CheckAnswer(request, answer);
            gatewaySilence_ = modbus::IsGatewaySilence(request, answer, result);
            lastHint_.clear();
            if (gatewaySilence_) {
                // The gateway asked the instrument and heard nothing: the address is silent,
                // for the search, the scans and the windows alike.
                result = CommStatus::NoResponse;
            } else if (result != CommStatus::Ok) {
                // Bytes that are not a frame of this link at all are a receive error with the
                // reason, not a checksum failure of an answer that was never there; silence
                // from a link that is down says why it is down.
                lastHint_ = link_->AnswerHint();
                if (!lastHint_.empty() && received > 0)
                    result = CommStatus::ReceiveError;
            }
            // A request the link held back (down, waiting out its pause) never crossed the line:
            // the window polling at 50 a second would otherwise fill the traffic with rows of it.
            // The gateway's own "no answer from the target" for this address came, too late:
            // the address is silent, and the text names the gateway.
            if (result == CommStatus::NoResponse && lateOwn_.address != 0 &&
                lateOwn_.gatewaySilence)
                gatewaySilence_ = true;
            if (trafficObserver_ && !link_->HeldBack())
                ReportAttempt(frame, answer, counter, result, lateNote);
            // Nothing came at all: no late answer is on its way to wait out.
            if (IsRetryable(result) && received > 0)
                link_->DropLateAnswer(options.extraTimeout != 0 ? options.extraTimeout
                                                                : BusLink::kReceiveMarginMs);
            // A held-back request is not tried again at once: the link would hold it back again
            // (or wait once more for the lookup it is still waiting for).
            // This address's answer to an earlier attempt came after its wait had ended: it is
            // there. It is asked once more, with the whole wait, before it is called silent.
            const bool askAgain = result == CommStatus::NoResponse && lateOwn_.address != 0 &&
                                  !lateOwn_.gatewaySilence && !lateRetried;
            if (askAgain && counter > options.retries) {
                lateRetried = true;
                continue;
            }
            if (!IsRetryable(result) || counter > options.retries || link_->HeldBack())
                break;
        }
        lastAttempts_ = counter;
        if (options.showRetryBox && IsRetryable(result)) {
            Prompter& box = options.owner ? *options.owner : prompter_;
            if (box.AskRetryCancel(LastStatusText(result, true)))
                continue;
        }
        break;
    }
    lastAnswerLength_ = std::max(0, received - 2);
    if (result == CommStatus::Ok || IsException(result))
        answer.resize(static_cast<size_t>(lastAnswerLength_));
    return result;
}

void ModbusMaster::CollectLateAnswers(std::string* note) {
    for (const LateAnswer& late : link_->TakeLateAnswers()) {
        ++lateAnswerCount_;
        if (!late.gatewaySilence && std::find(lateAddresses_.begin(), lateAddresses_.end(),
                                              late.address) == lateAddresses_.end())
            lateAddresses_.push_back(late.address);
        if (late.address == lastSlave_ && (lateOwn_.address == 0 || !late.gatewaySilence))
            lateOwn_ = late;
        if (note)
            *note += (note->empty() ? "" : "; ") +
                     FormatText(Text(ids::kLateAnswerDropped),
                                {std::to_string(late.address), std::to_string(late.afterMs)});
    }
}

std::vector<int> ModbusMaster::TakeLateAnswerAddresses() {
    std::vector<int> out;
    out.swap(lateAddresses_);
    return out;
}

void ModbusMaster::SetTrafficObserver(TrafficObserver* observer) {
    trafficObserver_ = observer;
    link_->NoteTimes(observer != nullptr);
}

void ModbusMaster::ReportAttempt(const std::vector<uint8_t>& frame,
                                 const std::vector<uint8_t>& answer, int attempt, CommStatus status,
                                 const std::string& lateNote) {
    if (attempt == 1)
        ++transactionsSeen_;
    TrafficRecord record = MakeTrafficRecord(link_->Times(), frame, answer, attempt, status);
    record.transaction = transactionsSeen_;
    // The row says what the master would say: why the link is down, which gateway heard nothing.
    std::string text = LastStatusText(status, false);
    if (text != StatusText(status, false))
        record.note = std::move(text);
    if (!lateNote.empty())
        record.note += (record.note.empty() ? "" : "; ") + lateNote;
    trafficObserver_->OnAttempt(record);
}

CommStatus ModbusMaster::ReadHoldingRegisters(int slave, int reg, int count, uint16_t* values,
                                              const TransactionOptions& options) {
    if (!RegisterInRange(reg) || count < 1 || count > 100 || !values)
        return CommStatus::IllegalTransmitData;
    std::vector<uint8_t> answer;
    const CommStatus result = Transact(modbus::ReadRequest(slave, reg, count), answer, options);
    if (result != CommStatus::Ok)
        return result;
    // A good answer carries exactly 2 x count data bytes (the answer check sees to the count).
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<uint16_t>(answer[3 + 2 * i] << 8 | answer[4 + 2 * i]);
    return result;
}

CommStatus ModbusMaster::ReadFloats(int slave, int reg, int count, float* values, bool modicon,
                                    const TransactionOptions& options) {
    if (!RegisterInRange(reg) || count < 1 || count > 50 || !values)
        return CommStatus::IllegalTransmitData;
    std::vector<uint8_t> answer;
    const CommStatus result = Transact(modbus::ReadRequest(slave, reg, 2 * count), answer, options);
    if (result != CommStatus::Ok)
        return result;
    for (int i = 0; i < count; ++i)
        values[i] = modbus::BytesToFloat(&answer[3 + 4 * i], modicon);
    return result;
}

CommStatus ModbusMaster::ReadFloatRegisters(int slave, int reg, int count, float* values,
                                            const TransactionOptions& options) {
    return ReadFloats(slave, reg, count, values, false, options);
}

CommStatus ModbusMaster::ReadModiconFloatRegisters(int slave, int reg, int count, float* values,
                                                   const TransactionOptions& options) {
    return ReadFloats(slave, reg, count, values, true, options);
}

CommStatus ModbusMaster::WriteSingleRegister(int slave, int reg, uint16_t value,
                                             const TransactionOptions& options) {
    if (!RegisterInRange(reg))
        return CommStatus::IllegalTransmitData;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave), 0x06}, answer;
    PushRegisterAddress(request, reg);
    request.push_back(static_cast<uint8_t>(value >> 8));
    request.push_back(static_cast<uint8_t>(value));
    return Transact(std::move(request), answer, options);
}

CommStatus ModbusMaster::WriteMultipleRegisters(int slave, int reg, int count,
                                                const uint16_t* values,
                                                const TransactionOptions& options) {
    if (!RegisterInRange(reg) || count < 1 || count > 100 || !values)
        return CommStatus::IllegalTransmitData;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave), 0x10}, answer;
    PushRegisterAddress(request, reg);
    request.push_back(0);
    request.push_back(static_cast<uint8_t>(count));
    request.push_back(static_cast<uint8_t>(2 * count));
    for (int i = 0; i < count; ++i) {
        request.push_back(static_cast<uint8_t>(values[i] >> 8));
        request.push_back(static_cast<uint8_t>(values[i]));
    }
    return Transact(std::move(request), answer, options);
}

CommStatus ModbusMaster::WriteFloats(int slave, int reg, int count, const float* values,
                                     bool modicon, const TransactionOptions& options) {
    if (!RegisterInRange(reg) || count < 1 || count > 50 || !values)
        return CommStatus::IllegalTransmitData;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave), 0x10}, answer;
    PushRegisterAddress(request, reg);
    request.push_back(0);
    request.push_back(static_cast<uint8_t>(2 * count));
    request.push_back(static_cast<uint8_t>(4 * count));
    for (int i = 0; i < count; ++i) {
        uint8_t bytes[4];
        modbus::FloatToBytes(values[i], modicon, bytes);
        request.insert(request.end(), bytes, bytes + 4);
    }
    return Transact(std::move(request), answer, options);
}

CommStatus ModbusMaster::WriteFloatRegisters(int slave, int reg, int count, const float* values,
                                             const TransactionOptions& options) {
    return WriteFloats(slave, reg, count, values, false, options);
}

CommStatus ModbusMaster::WriteModiconFloatRegisters(int slave, int reg, int count,
                                                    const float* values,
                                                    const TransactionOptions& options) {
    return WriteFloats(slave, reg, count, values, true, options);
}

CommStatus ModbusMaster::WriteSingleCoil(int slave, int coil, bool on,
                                         const TransactionOptions& options) {
    if (coil < 1 || coil > 65535)
        return CommStatus::IllegalTransmitData;
    const int address = coil - 1;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave),
                                 0x05,
                                 static_cast<uint8_t>(address >> 8),
                                 static_cast<uint8_t>(address),
                                 static_cast<uint8_t>(on ? 0xFF : 0x00),
                                 0x00},
        answer;
    return Transact(std::move(request), answer, options);
}

std::string ModbusMaster::StatusText(CommStatus status, bool withHeading) {
    int id = ids::kUnknownStatus;
    switch (ToInt(status)) {
    case 1:
        id = ids::kNoValidPort;
        break;
    case 2:
        id = ids::kTransmitError;
        break;
    case 3:
        id = ids::kReceiveError;
        break;
    case 4:
        id = ids::kNoResponse;
        break;
    case 5:
        id = ids::kChecksumError;
        break;
    case 6:
        id = ids::kIllegalTransmitData;
        break;
    case 15:
        id = ids::kIllegalExceptionCode;
        break;
    default:
        if (IsException(status))
            id = ids::kException01 + ToInt(status) - ToInt(CommStatus::IllegalFunction);
    }
    return withHeading ? Text(ids::kCommunicationError) + "\n" + Text(id) : Text(id);
}

std::string ModbusMaster::LastStatusText(CommStatus status, bool withHeading) const {
    std::string text;
    if (status == CommStatus::NoResponse && lateOwn_.address != 0) {
        // The answer came, but after the wait: the message says so, and which wait to lengthen.
        text = gatewaySilence_ ? FormatText(Text(ids::kGatewayNoAnswer),
                                            {GatewayName(settings_), std::to_string(lastSlave_)})
                               : StatusText(status, false);
        text +=
            ": " + FormatText(Text(ids::kAnswerTooLate),
                              {std::to_string(lateOwn_.address), std::to_string(lateOwn_.afterMs),
                               std::to_string(link_->DefaultReceiveTimeout())});
    } else if (status == CommStatus::NoResponse && gatewaySilence_)
        text = FormatText(Text(ids::kGatewayNoAnswer),
                          {GatewayName(settings_), std::to_string(lastSlave_)});
    else if (status == CommStatus::ReceiveError && !lastHint_.empty())
        text = StatusText(status, false) + ": " + lastHint_;
    else if (status == CommStatus::NoResponse && !lastHint_.empty())
        text = lastHint_;
    else
        return StatusText(status, withHeading);
    return withHeading ? Text(ids::kCommunicationError) + "\n" + text : text;
}

void ModbusMaster::ReportLinkError(CommStatus status, const std::string& suffix, bool onlyHard,
                                   Prompter* owner) {
    const bool hard = status == CommStatus::NoPort || status == CommStatus::TransmitError ||
                      status == CommStatus::IllegalTransmitData;
    const bool shown = onlyHard ? hard : hard || IsRetryable(status);
    if (shown)
        (owner ? *owner : prompter_).Error(LastStatusText(status, true) + suffix);
}

void ModbusMaster::ReportExceptionError(CommStatus status, const std::string& suffix,
                                        Prompter* owner) {
    if (IsException(status))
        (owner ? *owner : prompter_).Error(StatusText(status, true) + suffix);
}

} // namespace quarnex
