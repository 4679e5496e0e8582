#include "comm/TrafficTotals.h"

#include "comm/TrafficRecorder.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quarnex {

namespace {
constexpr int kExactBits = 8; // kExactUs = 1 << kExactBits
constexpr int kSubBits = 7;   // kPerDoubling = 1 << kSubBits
static_assert(ResponseHistogram::kExactUs == 1 << kExactBits);
static_assert(ResponseHistogram::kPerDoubling == 1 << kSubBits);
} // namespace

int ResponseHistogram::Bin(int64_t ns) {
    const uint64_t us = static_cast<uint64_t>(std::max<int64_t>(0, ns) / 1000);
    if (us < static_cast<uint64_t>(kExactUs))
        return static_cast<int>(us);
    const int top = static_cast<int>(std::bit_width(us)) - 1; // kExactBits and above
    const int doubling = top - kExactBits;
    if (doubling >= kDoublings)
        return kBins - 1;
    const int sub = static_cast<int>((us >> (top - kSubBits)) & (kPerDoubling - 1));
    return kExactUs + doubling * kPerDoubling + sub;
}

int64_t ResponseHistogram::BinLowNs(int bin) {
    if (bin < kExactUs)
        return int64_t{bin} * 1000;
    const int doubling = (bin - kExactUs) / kPerDoubling;
    const int64_t sub = (bin - kExactUs) % kPerDoubling;
    const int64_t us =
        (int64_t{1} << (kExactBits + doubling)) + (sub << (kExactBits + doubling - kSubBits));
    return us * 1000;
}

void ResponseHistogram::Add(int64_t ns) {
    if (counts_.empty()) {
        counts_.assign(kBins, 0);
        sums_.assign(kBins, 0);
    }
    const int b = Bin(ns);
    ++counts_[b];
    sums_[b] += ns;
    ++count_;
}

void ResponseHistogram::Remove(int64_t ns) {
    const int b = Bin(ns);
    if (counts_.empty() || counts_[b] == 0)
        return; // never added: nothing to take out
    --counts_[b];
    sums_[b] -= ns;
    --count_;
}

int64_t ResponseHistogram::QuantileNs(double fraction) const {
    if (count_ == 0)
        return 0;
    const auto rank = std::clamp<int64_t>(
        static_cast<int64_t>(std::ceil(fraction * static_cast<double>(count_))), 1, count_);
    int64_t seen = 0;
    for (int b = 0; b < kBins; ++b) {
        seen += counts_[b];
        if (seen >= rank)
            return sums_[b] / counts_[b];
    }
    return 0;
}

int TrafficTotals::AddressOf(const TrafficRecord& r) {
    return r.request.empty() ? 0 : r.request[0];
}

void TrafficTotals::Add(const TrafficRecord& r) {
    Count(r, AddressOf(r), +1);
}

void TrafficTotals::Remove(const TrafficRecord& r) {
    Count(r, AddressOf(r), -1);
}

void TrafficTotals::Add(const TrafficRecord& r, int address) {
    Count(r, address, +1);
}

void TrafficTotals::Remove(const TrafficRecord& r, int address) {
    Count(r, address, -1);
}

void TrafficTotals::Count(const TrafficRecord& r, int address, int sign) {
    std::unique_ptr<AddressTotals>& slot = addresses_[static_cast<size_t>(address & 0xFF)];
    if (!slot) {
        if (sign < 0)
            return;
        slot = std::make_unique<AddressTotals>();
    }
    AddressTotals& a = *slot;
    a.attempts += sign;
    if (r.attempt == 1)
        a.transactions += sign;
    if (r.status != CommStatus::Ok) {
        a.failed += sign;
        if ((a.failures[r.status] += sign) <= 0)
            a.failures.erase(r.status);
    }
    // An exception answer is an answer: its time counts; a bad or missing one has none.
    if ((r.status == CommStatus::Ok || IsException(r.status)) && r.lastAnswerNs >= 0) {
        a.answered += sign;
        a.answerNsSum += sign * r.lastAnswerNs;
        if (sign > 0)
            a.times.Add(r.lastAnswerNs);
        else
            a.times.Remove(r.lastAnswerNs);
    }
    if (a.attempts <= 0)
        slot.reset();
}

void TrafficTotals::Clear() {
    for (auto& a : addresses_)
        a.reset();
}

const AddressTotals* TrafficTotals::Address(int address) const {
    return address >= 0 && address < 256 ? addresses_[static_cast<size_t>(address)].get() : nullptr;
}

std::vector<int> TrafficTotals::Addresses() const {
    std::vector<int> out;
    for (int a = 0; a < 256; ++a)
        if (addresses_[static_cast<size_t>(a)])
            out.push_back(a);
    return out;
}

} // namespace quarnex
