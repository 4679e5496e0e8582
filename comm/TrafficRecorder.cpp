#include "comm/TrafficRecorder.h"

#include "comm/BusLink.h"
#include "platform/Clock.h"

#include <algorithm>
#include <chrono>

namespace quarnex {

TrafficRecord MakeTrafficRecord(const LineTimes& times, int64_t characterNs,
                                const std::vector<uint8_t>& frame,
                                const std::vector<uint8_t>& answer, int attempt,
                                CommStatus status) {
    TrafficRecord r;
    const int64_t nowNs = MonotonicNs();
    const int64_t wallNowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
    // A request that never left (no port) has no start of its own: it is timed from now.
    r.startNs = times.requestStartNs > 0 ? times.requestStartNs : nowNs;
    r.wallNs = wallNowNs - (nowNs - r.startNs);
    r.attempt = attempt;
    r.request = frame;
    r.answer = answer;
    r.status = status;
    r.characterNs = characterNs;
    r.endNs = nowNs - r.startNs;
    if (times.requestEndNs >= r.startNs)
        r.requestEndNs = times.requestEndNs - r.startNs;
    r.gapNs = times.gapNs;
    if (times.answer.bytes > 0 && times.answer.firstNs >= r.startNs) {
        r.firstAnswerNs = times.answer.firstNs - r.startNs;
        r.lastAnswerNs = times.answer.lastNs - r.startNs;
        r.longestSilenceNs = std::max<int64_t>(0, times.answer.longestSilenceNs);
    }
    return r;
}

TrafficRecorder::TrafficRecorder(size_t capacity) : capacity_(std::max<size_t>(1, capacity)) {}

void TrafficRecorder::OnAttempt(const TrafficRecord& record) {
    TrafficRecord* slot = nullptr;
    if (ring_.size() < capacity_) {
        if (ring_.empty())
            ring_.reserve(capacity_); // once, and no more than the ring holds
        slot = &ring_.emplace_back(record);
    } else {
        // The oldest record's place takes the new one; its byte buffers are reused.
        slot = &ring_[start_];
        totals_.Remove(*slot);
        *slot = record;
        start_ = (start_ + 1) % capacity_;
    }
    slot->serial = ++total_;
    totals_.Add(*slot);
}

const TrafficRecord* TrafficRecorder::BySerial(uint64_t serial) const {
    if (serial < OldestSerial() || serial > total_)
        return nullptr;
    return &At(static_cast<size_t>(serial - OldestSerial()));
}

std::vector<TrafficRecord> TrafficRecorder::After(uint64_t after) const {
    // Serials are consecutive, so the first one wanted is found by arithmetic.
    std::vector<TrafficRecord> out;
    for (uint64_t s = std::max(after + 1, OldestSerial()); s <= total_; ++s)
        out.push_back(*BySerial(s));
    return out;
}

void TrafficRecorder::Clear() {
    // Serials go on counting, so a reader that has seen up to one of them misses nothing later.
    ring_.clear();
    start_ = 0;
    totals_.Clear();
}

} // namespace quarnex
