// Measures the bus layer on the paced simulator:
//  - the rate of 17-register reads against the wire limit at 9600 and 115200 baud
//    (request and answer bytes x 11 bits / baud, plus the inter-frame delay before each request);
//  - how far Delay overshoots its deadline, and what share of the wait it spends on the CPU.
// Prints the figures and the ratios; asserts nothing.

#include "PacedBus.h"
#include "platform/Clock.h"
#include "sim/RegisterBank.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

using namespace quarnex;

namespace {

int64_t CpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

bool BenchReads(int baud, int count) {
    auto bank = std::make_shared<sim::RegisterBank>();
    bank->AddBlock(0, 100);
    PacedBus paced;
    if (!paced.Open(baud, 1, bank))
        return false;
    ModbusMaster& master = *paced.master;
    uint16_t values[17];
    int failures = 0;
    std::vector<double> times;
    const int64_t cpu0 = CpuNs(), t0 = MonotonicNs();
    for (int i = 0; i < count; ++i) {
        const int64_t s = MonotonicNs();
        if (master.ReadHoldingRegisters(1, 40001, 17, values) != CommStatus::Ok)
            ++failures;
        times.push_back(static_cast<double>(MonotonicNs() - s) / 1e6);
    }
    const double wall = static_cast<double>(MonotonicNs() - t0) / 1e9;
    const double cpu = static_cast<double>(CpuNs() - cpu0) / 1e9;
    std::sort(times.begin(), times.end());
    const double rate = count / wall;
    const double wireMs = (8 + 39) * 11.0 * 1000.0 / baud + master.Link().InterFrameDelay();
    const double limit = 1000.0 / wireMs;
    std::printf("%6d baud: %5.1f reads/s, wire limit %5.1f/s, ratio %.2f; median %.2f ms, "
                "p99 %.2f ms; master CPU %.0f%% of wall; %d failures\n",
                baud, rate, limit, rate / limit, times[times.size() / 2],
                times[std::min(times.size() - 1, times.size() * 99 / 100)], 100.0 * cpu / wall,
                failures);
    return failures == 0;
}

void BenchDelay(int ms, int count) {
    std::vector<double> over;
    const int64_t cpu0 = CpuNs(), t0 = MonotonicNs();
    for (int i = 0; i < count; ++i) {
        const int64_t s = MonotonicNs();
        Delay(ms);
        over.push_back(static_cast<double>(MonotonicNs() - s - int64_t{ms} * 1'000'000) / 1e3);
    }
    const double wall = static_cast<double>(MonotonicNs() - t0);
    const double cpu = static_cast<double>(CpuNs() - cpu0);
    std::sort(over.begin(), over.end());
    std::printf("Delay(%d): overshoot min %.1f us, median %.1f us, max %.1f us; "
                "CPU %.0f%% of the wait\n",
                ms, over.front(), over[over.size() / 2], over.back(), 100.0 * cpu / wall);
}

} // namespace

int main(int argc, char** argv) {
    int reads = 200;
    if (argc > 1) {
        char* end = nullptr;
        const long n = std::strtol(argv[1], &end, 10);
        if (argc > 2 || end == argv[1] || *end != '\0' || n < 10 || n > 100000) {
            std::fprintf(stderr, "usage: quarnex-bench-link [READS]\n"
                                 "  READS  17-register reads at 115200 baud, 10-100000 (default "
                                 "200); a quarter of them at 9600\n");
            return 2;
        }
        reads = static_cast<int>(n);
    }
    bool ok = BenchReads(9600, reads / 4) && BenchReads(115200, reads);
    for (int ms : {1, 5, 20})
        BenchDelay(ms, ms == 20 ? 50 : 200);
    return ok ? 0 : 1;
}
