#pragma once

#include "comm/CommStatus.h"
#include "comm/TrafficTotals.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quarnex {

struct LineTimes;

// One attempt of a transaction as it crossed the line: the request sent, the answer bytes as they
// came (CRC included, cut short or garbled as the line delivered them) and its timing. Times are
// from the moment the request's first byte went out; -1 where there is nothing to time.
struct TrafficRecord {
    uint64_t serial = 0;      // numbered by the recorder that keeps it, from 1
    uint64_t transaction = 0; // the master's count of transactions; its attempts share it
    int attempt = 1;          // 1 for the first, 2 and on for the retries
    int64_t startNs = 0;      // monotonic time of the request's first byte
    int64_t wallNs = 0;       // the same moment on the wall clock (ns since 1970)
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer;
    int64_t requestEndNs = -1;    // when the request's last byte had left
    int64_t firstAnswerNs = -1;   // the first answer byte's arrival
    int64_t lastAnswerNs = -1;    // the last answer byte's arrival
    int64_t endNs = -1;           // when the master stopped waiting
    int64_t gapNs = -1;           // the silence on the line before the request (-1: not seen)
    int64_t longestSilenceNs = 0; // the longest silence between two answer bytes
    int64_t characterNs = 0;      // the wire time of one character at the line's settings
    CommStatus status = CommStatus::Ok;
    // What the master knew of the failure beyond its status: why a network link is down
    // ("mbap://HOST:502: Connection refused"), the gateway that heard nothing, why the bytes are
    // no frame of the link. Empty when the status says it all.
    std::string note;
};

// Builds the record of an attempt that has just ended from the link's times (frame: the request
// with its CRC; answer: the bytes received).
TrafficRecord MakeTrafficRecord(const LineTimes& times, const std::vector<uint8_t>& frame,
                                const std::vector<uint8_t>& answer, int attempt, CommStatus status);

// Told of every attempt the master makes, as soon as it ends. Runs on the bus's (the program's
// only) thread inside the transaction, so it must be quick and must not talk to the bus.
class TrafficObserver {
public:
    virtual ~TrafficObserver() = default;
    virtual void OnAttempt(const TrafficRecord& record) = 0;
};

// Keeps the last Capacity() records, oldest first: a monitor left open for days holds the recent
// traffic and no more. A record is kept compactly: its numbers in a slot of a ring that is filled
// once and then overwritten in place, its request and answer bytes one after the other in a byte
// ring shared by all records (no allocation of its own). The totals over the kept records are kept
// as records come and go. Reading a record makes a TrafficRecord of it.
class TrafficRecorder : public TrafficObserver {
public:
    static constexpr size_t kDefaultCapacity = 20000;

    explicit TrafficRecorder(size_t capacity = kDefaultCapacity);

    void OnAttempt(const TrafficRecord& record) override;

    size_t Capacity() const { return capacity_; }
    size_t Size() const { return slots_.size(); }
    // Records taken since the start (Clear does not reset it); the newest has this serial.
    uint64_t Total() const { return total_; }
    // The oldest kept record's serial (Total() + 1 when none is kept).
    uint64_t OldestSerial() const { return total_ - slots_.size() + 1; }
    // The index-th kept record, oldest first (index < Size()).
    TrafficRecord At(size_t index) const;
    // The kept record with that serial, or nothing when it is gone or not yet taken.
    std::optional<TrafficRecord> BySerial(uint64_t serial) const;
    // The address (the request's first byte, 0 for an empty request) of the kept record with that
    // serial, -1 when it is gone or not yet taken. Reads no bytes but that one.
    int AddressOf(uint64_t serial) const;
    // The kept records with a serial above `after`, oldest first.
    std::vector<TrafficRecord> After(uint64_t after) const;
    // Over the kept records.
    const TrafficTotals& Totals() const { return totals_; }
    void Clear();

    // What the kept records hold in memory: the slots and the byte ring.
    size_t MemoryBytes() const;

private:
    // A record without its serial (its place tells it) and with its bytes in the byte ring. The
    // times within the attempt are kept to the microsecond (the table and the files show tens of
    // them) up to 35 minutes; the silences the warnings judge, to the nanosecond.
    struct Slot {
        uint64_t transaction;
        int64_t startNs, wallNs, gapNs;
        int32_t requestEndUs, firstAnswerUs, lastAnswerUs, endUs; // -1: nothing to time
        int32_t longestSilenceNs, characterNs;
        uint32_t bytesAt; // the low bits of the number of the request's first byte in the byte ring
        uint16_t requestSize, noteSize; // a request is at most 256 bytes, a note a line
        uint32_t answerSize;
        uint16_t attempt;
        uint8_t address;
        uint8_t status; // a CommStatus
    };

    const Slot& SlotAt(size_t index) const { return slots_[(start_ + index) % slots_.size()]; }
    TrafficRecord Make(const Slot& slot, uint64_t serial, bool withBytes = true) const;
    uint64_t BytesAt(const Slot& slot) const;
    void PutBytes(const void* data, size_t count);
    void GetBytes(uint64_t at, size_t n, std::vector<uint8_t>& out) const;

    size_t capacity_;
    uint64_t total_ = 0;
    std::vector<Slot> slots_; // grows to capacity_, then is overwritten from start_
    size_t start_ = 0;        // the oldest record's place once the ring is full
    // The byte ring: byte number k (counted over all bytes ever kept) is at bytes_[k % size];
    // the kept ones are those from the oldest record's bytesAt up to bytesEnd_.
    std::unique_ptr<uint8_t[]> bytes_;
    size_t bytesSize_ = 0;
    uint64_t bytesEnd_ = 0;
    TrafficTotals totals_;
};

} // namespace quarnex
