#pragma once

#include "comm/CommStatus.h"
#include "comm/TrafficTotals.h"

#include <cstddef>
#include <cstdint>
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
};

// Builds the record of an attempt that has just ended from the link's times (frame: the request
// with its CRC; answer: the bytes received).
TrafficRecord MakeTrafficRecord(const LineTimes& times, int64_t characterNs,
                                const std::vector<uint8_t>& frame,
                                const std::vector<uint8_t>& answer, int attempt, CommStatus status);

// Told of every attempt the master makes, as soon as it ends. Runs on the bus's (the program's
// only) thread inside the transaction, so it must be quick and must not talk to the bus.
class TrafficObserver {
public:
    virtual ~TrafficObserver() = default;
    virtual void OnAttempt(const TrafficRecord& record) = 0;
};

// Keeps the last Capacity() records, oldest first: a monitor left open for days holds the recent
// traffic and no more. The records live in a ring that is filled once and then overwritten in
// place, so a record stays where it is until the ring comes round to it, and the totals over the
// kept records are kept as records come and go.
class TrafficRecorder : public TrafficObserver {
public:
    static constexpr size_t kDefaultCapacity = 20000;

    explicit TrafficRecorder(size_t capacity = kDefaultCapacity);

    void OnAttempt(const TrafficRecord& record) override;

    size_t Capacity() const { return capacity_; }
    size_t Size() const { return ring_.size(); }
    // Records taken since the start (Clear does not reset it); the newest has this serial.
    uint64_t Total() const { return total_; }
    // The oldest kept record's serial (Total() + 1 when none is kept).
    uint64_t OldestSerial() const { return total_ - ring_.size() + 1; }
    const TrafficRecord& At(size_t index) const { return ring_[(start_ + index) % ring_.size()]; }
    // The kept record with that serial, or null when it is gone or not yet taken.
    const TrafficRecord* BySerial(uint64_t serial) const;
    // The kept records with a serial above `after`, oldest first (copies).
    std::vector<TrafficRecord> After(uint64_t after) const;
    // Over the kept records.
    const TrafficTotals& Totals() const { return totals_; }
    void Clear();

private:
    size_t capacity_;
    uint64_t total_ = 0;
    std::vector<TrafficRecord> ring_; // grows to capacity_, then is overwritten from start_
    size_t start_ = 0;                // the oldest record's place once the ring is full
    TrafficTotals totals_;
};

} // namespace quarnex
