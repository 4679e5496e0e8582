#pragma once

#include <ostream>

namespace quarnex {

// Result of every bus operation. The numbers are the ones shown to the user and written in logs;
// 7-14 are the exception responses 01-08.
enum class CommStatus : int {
    Ok = 0,
    NoPort,              // no port open; nothing sent
    TransmitError,       // the request could not be written completely
    ReceiveError,        // answer too short, from another slave or function, or not our echo
    NoResponse,          // no byte received at all
    ChecksumError,       // the answer failed the CRC check
    IllegalTransmitData, // register, coil or count out of range; nothing sent
    IllegalFunction,     // exception 01
    IllegalDataAddress,  // exception 02
    IllegalDataValue,    // exception 03
    SlaveDeviceFailure,  // exception 04
    Acknowledge,         // exception 05
    SlaveDeviceBusy,     // exception 06
    NegativeAcknowledge, // exception 07
    MemoryParityError,   // exception 08
    OtherException,      // an exception answer with any other code
};

constexpr int ToInt(CommStatus status) {
    return static_cast<int>(status);
}

// An exception answer from the slave (7-15).
constexpr bool IsException(CommStatus status) {
    return status >= CommStatus::IllegalFunction && status <= CommStatus::OtherException;
}

// What a repeated attempt may cure: a short or foreign answer, silence, a bad checksum (3-5).
constexpr bool IsRetryable(CommStatus status) {
    return status == CommStatus::ReceiveError || status == CommStatus::NoResponse ||
           status == CommStatus::ChecksumError;
}

// The status of an exception answer with the given code.
constexpr CommStatus ExceptionStatus(int code) {
    return code >= 1 && code <= 8
               ? static_cast<CommStatus>(ToInt(CommStatus::IllegalFunction) + code - 1)
               : CommStatus::OtherException;
}

inline std::ostream& operator<<(std::ostream& out, CommStatus status) {
    return out << "status " << ToInt(status);
}

} // namespace quarnex
