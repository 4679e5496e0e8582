#include "comm/ModbusMaster.h"

#include "comm/Crc.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
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

} // namespace modbus

namespace {

constexpr int kExceptionInternal = 16;

bool RegisterInRange(int reg) {
    return reg >= ModbusMaster::kFirstRegister && reg <= ModbusMaster::kLastRegister;
}

void PushRegisterAddress(std::vector<uint8_t>& frame, int reg) {
    const int address = reg - ModbusMaster::kFirstRegister;
    frame.push_back(static_cast<uint8_t>(address >> 8));
    frame.push_back(static_cast<uint8_t>(address));
}

} // namespace

ModbusMaster::ModbusMaster(const Profile& profile, Prompter& prompter,
                           SerialLink::PortFactory factory)
    : prompter_(prompter), settings_([&] {
          CommSettings s;
          s.Load(profile);
          return s;
      }()),
      link_(settings_, prompter, std::move(factory)) {}

CommStatus ModbusMaster::Transact(std::vector<uint8_t>& request, std::vector<uint8_t>& answer,
                                  int retries, int extraTimeout, bool showRetryBox,
                                  Prompter* owner) {
    lastAnswerLength_ = 0;
    lastAttempts_ = 0;
    if (!link_.IsOpen())
        return status::kNoPort;

    const uint8_t function = request[1];
    const int requestLength = static_cast<int>(request.size());
    int remainder = 3;
    if (function == 3 || function == 23)
        remainder = 2 * (request[4] << 8 | request[5]);
    modbus::AppendCrc(request);
    const int frameLength = requestLength + 2;

    answer.assign(static_cast<size_t>(5 + remainder), 0);
    CommStatus result = status::kOk;
    int received = 0;
    for (;;) {
        int counter = 0;
        for (;;) {
            result = status::kOk;
            link_.Delay(link_.InterFrameDelay());
            link_.Purge();
            const int written = link_.Write(request.data(), frameLength);
            if (written != frameLength) {
                ++counter;
                result = status::kTransmitError;
                break;
            }
            if (extraTimeout != 0)
                link_.SetReceiveMargin(extraTimeout);
            received = std::max(0, link_.Read(answer.data(), 5));
            if (received < 5) {
                result = status::kReceiveError;
            } else if (answer[1] == (function | 0x80)) {
                result = kExceptionInternal;
            } else {
                const int more = std::max(0, link_.Read(answer.data() + 5, remainder));
                received += more;
                if (more < remainder)
                    result = status::kReceiveError;
            }
            if (extraTimeout != 0)
                link_.RestoreReceiveMargin();

            if (received == 0) {
                result = status::kNoResponse;
            } else if (result == status::kOk || result == kExceptionInternal) {
                if (!modbus::CrcMatches(answer.data(), static_cast<size_t>(received)))
                    result = status::kChecksumError;
                else if (answer[0] != request[0] ||
                         (answer[1] != function && answer[1] != (function | 0x80)))
                    result = status::kReceiveError;
                // A read answer whose byte count field disagrees with the registers asked for
                // would leave part of the caller's array unfilled (or fill it from beyond the
                // data) while reporting success. It is a receive error like a short answer, so
                // it is repeated and offered in the Retry/Cancel box as one.
                else if (result == status::kOk && (function == 3 || function == 23) &&
                         answer[2] != remainder)
                    result = status::kReceiveError;
            }
            ++counter;
            lastAttempts_ = counter;
            if (result != status::kReceiveError && result != status::kNoResponse &&
                result != status::kChecksumError)
                break;
            if (counter > retries)
                break;
        }
        lastAttempts_ = counter;
        if (showRetryBox && (result == status::kReceiveError || result == status::kNoResponse ||
                             result == status::kChecksumError)) {
            Prompter& box = owner ? *owner : prompter_;
            if (box.AskRetryCancel(StatusText(result, true)))
                continue;
        }
        break;
    }
    if (result == kExceptionInternal) {
        const int code = answer[2];
        result = code >= 1 && code <= 8 ? status::kException01 + code - 1 : status::kOtherException;
    }
    lastAnswerLength_ = std::max(0, received - 2);
    answer.resize(static_cast<size_t>(std::max(0, received)));
    return result;
}

CommStatus ModbusMaster::ReadHoldingRegisters(int slave, int reg, int count, uint16_t* values,
                                              int retries, int extraTimeout, bool showRetryBox,
                                              Prompter* owner) {
    if (!RegisterInRange(reg) || count < 1 || count > 100 || !values)
        return status::kIllegalTransmitData;
    std::vector<uint8_t> request = modbus::ReadRequest(slave, reg, count), answer;
    CommStatus result = Transact(request, answer, retries, extraTimeout, showRetryBox, owner);
    if (result != status::kOk)
        return result;
    // A good answer carries exactly 2 x count data bytes (the transaction checks the byte count).
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<uint16_t>(answer[3 + 2 * i] << 8 | answer[4 + 2 * i]);
    return result;
}

CommStatus ModbusMaster::ReadFloats(int slave, int reg, int count, float* values, bool modicon,
                                    int retries, int extraTimeout, bool showRetryBox,
                                    Prompter* owner) {
    if (!RegisterInRange(reg) || count < 1 || count > 50 || !values)
        return status::kIllegalTransmitData;
    std::vector<uint8_t> request = modbus::ReadRequest(slave, reg, 2 * count), answer;
    CommStatus result = Transact(request, answer, retries, extraTimeout, showRetryBox, owner);
    if (result != status::kOk)
        return result;
    for (int i = 0; i < count; ++i)
        values[i] = modbus::BytesToFloat(&answer[3 + 4 * i], modicon);
    return result;
}

CommStatus ModbusMaster::ReadFloatRegisters(int slave, int reg, int count, float* values,
                                            int retries, int extraTimeout, bool showRetryBox,
                                            Prompter* owner) {
    return ReadFloats(slave, reg, count, values, false, retries, extraTimeout, showRetryBox, owner);
}

CommStatus ModbusMaster::ReadModiconFloatRegisters(int slave, int reg, int count, float* values,
                                                   int retries, int extraTimeout, bool showRetryBox,
                                                   Prompter* owner) {
    return ReadFloats(slave, reg, count, values, true, retries, extraTimeout, showRetryBox, owner);
}

CommStatus ModbusMaster::WriteSingleRegister(int slave, int reg, uint16_t value, int retries,
                                             int extraTimeout, bool showRetryBox, Prompter* owner) {
    if (!RegisterInRange(reg))
        return status::kIllegalTransmitData;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave), 0x06}, answer;
    PushRegisterAddress(request, reg);
    request.push_back(static_cast<uint8_t>(value >> 8));
    request.push_back(static_cast<uint8_t>(value));
    return Transact(request, answer, retries, extraTimeout, showRetryBox, owner);
}

CommStatus ModbusMaster::WriteMultipleRegisters(int slave, int reg, int count,
                                                const uint16_t* values, int retries,
                                                int extraTimeout, bool showRetryBox,
                                                Prompter* owner) {
    if (!RegisterInRange(reg) || count < 1 || count > 100 || !values)
        return status::kIllegalTransmitData;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave), 0x10}, answer;
    PushRegisterAddress(request, reg);
    request.push_back(0);
    request.push_back(static_cast<uint8_t>(count));
    request.push_back(static_cast<uint8_t>(2 * count));
    for (int i = 0; i < count; ++i) {
        request.push_back(static_cast<uint8_t>(values[i] >> 8));
        request.push_back(static_cast<uint8_t>(values[i]));
    }
    return Transact(request, answer, retries, extraTimeout, showRetryBox, owner);
}

CommStatus ModbusMaster::WriteFloats(int slave, int reg, int count, const float* values,
                                     bool modicon, int retries, int extraTimeout, bool showRetryBox,
                                     Prompter* owner) {
    if (!RegisterInRange(reg) || count < 1 || count > 50 || !values)
        return status::kIllegalTransmitData;
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
    return Transact(request, answer, retries, extraTimeout, showRetryBox, owner);
}

CommStatus ModbusMaster::WriteFloatRegisters(int slave, int reg, int count, const float* values,
                                             int retries, int extraTimeout, bool showRetryBox,
                                             Prompter* owner) {
    return WriteFloats(slave, reg, count, values, false, retries, extraTimeout, showRetryBox,
                       owner);
}

CommStatus ModbusMaster::WriteModiconFloatRegisters(int slave, int reg, int count,
                                                    const float* values, int retries,
                                                    int extraTimeout, bool showRetryBox,
                                                    Prompter* owner) {
    return WriteFloats(slave, reg, count, values, true, retries, extraTimeout, showRetryBox, owner);
}

CommStatus ModbusMaster::WriteSingleCoil(int slave, int coil, bool on, int retries,
                                         int extraTimeout, bool showRetryBox, Prompter* owner) {
    if (coil < 1 || coil > 65535)
        return status::kIllegalTransmitData;
    const int address = coil - 1;
    std::vector<uint8_t> request{static_cast<uint8_t>(slave),
                                 0x05,
                                 static_cast<uint8_t>(address >> 8),
                                 static_cast<uint8_t>(address),
                                 static_cast<uint8_t>(on ? 0xFF : 0x00),
                                 0x00},
        answer;
    return Transact(request, answer, retries, extraTimeout, showRetryBox, owner);
}

std::string ModbusMaster::StatusText(CommStatus status, bool withHeading) {
    int id = ids::kUnknownStatus;
    switch (status) {
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
        if (status >= 7 && status <= 14)
            id = ids::kException01 + status - 7;
    }
    return withHeading ? Text(ids::kCommunicationError) + "\n" + Text(id) : Text(id);
}

void ModbusMaster::ReportLinkError(CommStatus status, const std::string& suffix, bool onlyHard,
                                   Prompter* owner) {
    const bool shown =
        onlyHard ? (status == 1 || status == 2 || status == 6) : (status >= 1 && status <= 6);
    if (shown)
        (owner ? *owner : prompter_).Error(StatusText(status, true) + suffix);
}

void ModbusMaster::ReportExceptionError(CommStatus status, const std::string& suffix,
                                        Prompter* owner) {
    if (status >= 7 && status <= 15)
        (owner ? *owner : prompter_).Error(StatusText(status, true) + suffix);
}

} // namespace quarnex
