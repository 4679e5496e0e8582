#include "comm/TrafficRecorder.h"

#include "comm/BusLink.h"
#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>

namespace quarnex {

TrafficRecord MakeTrafficRecord(const LineTimes& times, const std::vector<uint8_t>& frame,
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
    r.characterNs = times.characterNs;
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
    Slot* slot = nullptr;
    if (slots_.size() < capacity_) {
        if (slots_.empty())
            slots_.reserve(capacity_); // once, and no more than the ring holds
        slot = &slots_.emplace_back();
    } else {
        // The oldest record's place takes the new one; its bytes are free from now on.
        slot = &slots_[start_];
        totals_.Remove(Make(*slot, OldestSerial(), false), slot->address);
        start_ = (start_ + 1) % capacity_;
    }
    ++total_;
    const auto us = [](int64_t ns) {
        return ns < 0 ? -1 : static_cast<int32_t>(std::min<int64_t>(ns / 1000, INT32_MAX));
    };
    const auto ns32 = [](int64_t ns) {
        return static_cast<int32_t>(std::clamp<int64_t>(ns, 0, INT32_MAX));
    };
    slot->transaction = record.transaction;
    slot->startNs = record.startNs;
    slot->wallNs = record.wallNs;
    slot->gapNs = record.gapNs;
    slot->requestEndUs = us(record.requestEndNs);
    slot->firstAnswerUs = us(record.firstAnswerNs);
    slot->lastAnswerUs = us(record.lastAnswerNs);
    slot->endUs = us(record.endNs);
    slot->longestSilenceNs = ns32(record.longestSilenceNs);
    slot->characterNs = ns32(record.characterNs);
    slot->attempt = static_cast<uint16_t>(std::clamp(record.attempt, 0, 0xFFFF));
    slot->address = record.request.empty() ? 0 : record.request[0];
    slot->status = static_cast<uint8_t>(ToInt(record.status));
    slot->requestSize = static_cast<uint16_t>(std::min<size_t>(record.request.size(), 0xFFFF));
    slot->noteSize = static_cast<uint16_t>(std::min<size_t>(record.note.size(), 0xFFFF));
    slot->answerSize = static_cast<uint32_t>(record.answer.size());
    slot->bytesAt = static_cast<uint32_t>(bytesEnd_);
    PutBytes(record.request.data(), slot->requestSize);
    PutBytes(record.answer.data(), slot->answerSize);
    PutBytes(record.note.data(), slot->noteSize);
    // Counted as kept, so that it leaves the totals as it came in.
    totals_.Add(Make(*slot, total_, false), slot->address);
}

uint64_t TrafficRecorder::BytesAt(const Slot& slot) const {
    // The kept bytes span far less than 4 GB, so the low bits place them.
    return bytesEnd_ - static_cast<uint32_t>(static_cast<uint32_t>(bytesEnd_) - slot.bytesAt);
}

void TrafficRecorder::PutBytes(const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    const uint64_t kept = BytesAt(SlotAt(0)); // the new record's own when it is the only one
    const size_t needed = static_cast<size_t>(bytesEnd_ - kept) + count;
    if (needed > bytesSize_) {
        // Grown by a quarter (the records' sizes vary little), the kept bytes moved to where
        // their numbers put them in the larger ring.
        const size_t size = std::max<size_t>({needed, bytesSize_ + bytesSize_ / 4, 4096});
        std::unique_ptr<uint8_t[]> grown(new uint8_t[size]);
        for (uint64_t k = kept; k < bytesEnd_;) {
            const size_t from = static_cast<size_t>(k % bytesSize_),
                         to = static_cast<size_t>(k % size);
            const size_t n = std::min<size_t>(
                {static_cast<size_t>(bytesEnd_ - k), bytesSize_ - from, size - to});
            std::memcpy(&grown[to], &bytes_[from], n);
            k += n;
        }
        bytes_ = std::move(grown);
        bytesSize_ = size;
    }
    for (size_t done = 0; done < count;) {
        const size_t at = static_cast<size_t>(bytesEnd_ % bytesSize_);
        const size_t n = std::min(count - done, bytesSize_ - at);
        std::memcpy(&bytes_[at], bytes + done, n);
        done += n;
        bytesEnd_ += n;
    }
}

void TrafficRecorder::GetBytes(uint64_t at, size_t n, std::vector<uint8_t>& out) const {
    out.resize(n);
    for (size_t done = 0; done < n;) {
        const size_t from = static_cast<size_t>((at + done) % bytesSize_);
        const size_t part = std::min(n - done, bytesSize_ - from);
        std::memcpy(out.data() + done, &bytes_[from], part);
        done += part;
    }
}

TrafficRecord TrafficRecorder::Make(const Slot& slot, uint64_t serial, bool withBytes) const {
    TrafficRecord r;
    r.serial = serial;
    r.transaction = slot.transaction;
    r.attempt = slot.attempt;
    r.startNs = slot.startNs;
    r.wallNs = slot.wallNs;
    r.gapNs = slot.gapNs;
    const auto ns = [](int32_t us) { return us < 0 ? -1 : int64_t{us} * 1000; };
    r.requestEndNs = ns(slot.requestEndUs);
    r.firstAnswerNs = ns(slot.firstAnswerUs);
    r.lastAnswerNs = ns(slot.lastAnswerUs);
    r.endNs = ns(slot.endUs);
    r.longestSilenceNs = slot.longestSilenceNs;
    r.characterNs = slot.characterNs;
    r.status = static_cast<CommStatus>(slot.status);
    if (withBytes) {
        GetBytes(BytesAt(slot), slot.requestSize, r.request);
        GetBytes(BytesAt(slot) + slot.requestSize, slot.answerSize, r.answer);
        std::vector<uint8_t> note;
        GetBytes(BytesAt(slot) + slot.requestSize + slot.answerSize, slot.noteSize, note);
        r.note.assign(note.begin(), note.end());
    }
    return r;
}

TrafficRecord TrafficRecorder::At(size_t index) const {
    return Make(SlotAt(index), OldestSerial() + index);
}

std::optional<TrafficRecord> TrafficRecorder::BySerial(uint64_t serial) const {
    if (serial < OldestSerial() || serial > total_)
        return std::nullopt;
    return At(static_cast<size_t>(serial - OldestSerial()));
}

int TrafficRecorder::AddressOf(uint64_t serial) const {
    if (serial < OldestSerial() || serial > total_)
        return -1;
    return SlotAt(static_cast<size_t>(serial - OldestSerial())).address;
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
    slots_.clear();
    start_ = 0;
    totals_.Clear();
}

size_t TrafficRecorder::MemoryBytes() const {
    return slots_.capacity() * sizeof(Slot) + bytesSize_;
}

} // namespace quarnex
