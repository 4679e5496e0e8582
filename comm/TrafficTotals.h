#pragma once

#include "comm/CommStatus.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace quarnex {

struct TrafficRecord;

// Response times in a bounded number of bins: exact to the microsecond up to 0.256 ms, then 128
// bins to each doubling (under 0.8 % wide) up to 16.7 s, where everything longer is counted.
// Each bin keeps its count and the sum of its times, so a time can be taken out again when its
// record leaves the ring, and a bin that holds one time only reports that time exactly.
class ResponseHistogram {
public:
    static constexpr int kExactUs = 256;
    static constexpr int kPerDoubling = 128;
    static constexpr int kDoublings = 16;
    static constexpr int kBins = kExactUs + kPerDoubling * kDoublings;

    static int Bin(int64_t ns);
    // The times a bin holds are from BinLowNs(b) up to (not including) BinLowNs(b + 1).
    static int64_t BinLowNs(int bin);

    void Add(int64_t ns);
    void Remove(int64_t ns);
    int64_t Count() const { return count_; }
    // The time at rank ceil(fraction x count) as its bin sees it (the mean of the times in the
    // bin that holds it); 0 when empty.
    int64_t QuantileNs(double fraction) const;

private:
    std::vector<uint32_t> counts_; // allocated with the first time
    std::vector<int64_t> sums_;
    int64_t count_ = 0;
};

// The counts and response times of one address.
struct AddressTotals {
    int64_t transactions = 0; // first attempts
    int64_t attempts = 0;
    int64_t failed = 0;
    std::map<CommStatus, int64_t> failures; // failed attempts by status, none kept at zero
    int64_t answered = 0;                   // attempts with a response time (answer or exception)
    int64_t answerNsSum = 0;
    ResponseHistogram times;
};

// Totals over a set of records, kept as records come and go: adding or removing one costs the
// same whatever the number kept. The address is the request's first byte (0 for an empty one).
class TrafficTotals {
public:
    static int AddressOf(const TrafficRecord& r);

    void Add(const TrafficRecord& r);
    void Remove(const TrafficRecord& r);
    // The same for a record whose bytes are kept elsewhere: its address is given.
    void Add(const TrafficRecord& r, int address);
    void Remove(const TrafficRecord& r, int address);
    void Clear();

    // Null when no kept record has that address.
    const AddressTotals* Address(int address) const;
    // The addresses of the kept records, ascending.
    std::vector<int> Addresses() const;

private:
    void Count(const TrafficRecord& r, int address, int sign);

    std::array<std::unique_ptr<AddressTotals>, 256> addresses_;
};

} // namespace quarnex
