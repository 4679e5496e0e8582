// Measures the bus layer on the paced simulator:
//  - the rate of 17-register reads against the wire limit at 9600 and 115200 baud
//    (request and answer bytes x 11 bits / baud, plus the inter-frame delay before each request);
//  - a 17-register read over each link on loopback (the pseudo-terminal without pacing, RTU over
//    TCP, Modbus TCP), against the wire-free floor: the simulator answering the same request
//    in-process, with no link at all;
//  - how far Delay overshoots its deadline, and what share of the wait it spends on the CPU.
// Prints the figures and the ratios; asserts nothing.

#include "PacedBus.h"
#include "platform/Clock.h"
#include "sim/RegisterBank.h"

#include <string>

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
    const double wireMs =
        (8 + 39) * 11.0 * 1000.0 / baud + SerialLink::TimingFor(baud).interFrameDelayMs;
    const double limit = 1000.0 / wireMs;
    std::printf("%6d baud: %5.1f reads/s, wire limit %5.1f/s, ratio %.2f; median %.2f ms, "
                "p99 %.2f ms; master CPU %.0f%% of wall; %d failures\n",
                baud, rate, limit, rate / limit, times[times.size() / 2],
                times[std::min(times.size() - 1, times.size() * 99 / 100)], 100.0 * cpu / wall,
                failures);
    return failures == 0;
}

double MedianMs(std::vector<double>& times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool BenchLinks(int count) {
    auto bank = std::make_shared<sim::RegisterBank>();
    bank->AddBlock(0, 100);
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return false;
    }
    bus.Attach(1, bank);
    std::vector<double> floor;
    std::vector<uint8_t> request = modbus::ReadRequest(1, 40001, 17), answer;
    modbus::AppendCrc(request);
    for (int i = 0; i < count; ++i) {
        const int64_t s = MonotonicNs();
        bus.AnswerRequest(request, answer);
        floor.push_back(static_cast<double>(MonotonicNs() - s) / 1e6);
    }
    const double floorMs = MedianMs(floor);
    std::printf("17-register read, wire-free floor (in-process answer): median %.3f ms\n", floorMs);
    struct Row {
        const char* name;
        const char* kind;
        sim::NetKind net;
    } rows[] = {{"pty (no pacing)", "serial", sim::NetKind::RtuOverTcp},
                {"RTU over TCP", "tcp", sim::NetKind::RtuOverTcp},
                {"Modbus TCP", "mbap", sim::NetKind::ModbusTcp}};
    bool ok = true;
    for (const Row& row : rows) {
        Profile profile;
        profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
        profile.WriteInt("Comm Param", "Baud", 115200);
        if (std::string(row.kind) != "serial") {
            const int port = bus.ServeNetwork(row.net, "127.0.0.1", 0, error);
            if (port == 0) {
                std::fprintf(stderr, "simulator: %s\n", error.c_str());
                return false;
            }
            profile.WriteString("Comm Param", "Link", row.kind);
            profile.WriteString("Comm Param", "Host", "127.0.0.1");
            profile.WriteInt("Comm Param", "TCP Port", port);
        }
        ScriptedPrompter prompter;
        ModbusMaster master(profile, prompter);
        if (!master.Open())
            return false;
        uint16_t values[17];
        std::vector<double> times;
        int failures = 0;
        for (int i = 0; i < count; ++i) {
            const int64_t s = MonotonicNs();
            if (master.ReadHoldingRegisters(1, 40001, 17, values) != CommStatus::Ok)
                ++failures;
            times.push_back(static_cast<double>(MonotonicNs() - s) / 1e6);
        }
        const double median = MedianMs(times);
        std::printf("  %-16s median %.3f ms (%.1f x the floor), p99 %.3f ms; %d failures\n",
                    row.name, median, median / std::max(floorMs, 1e-6),
                    times[std::min(times.size() - 1, times.size() * 99 / 100)], failures);
        ok = ok && failures == 0;
    }
    return ok;
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
    bool ok = BenchReads(9600, reads / 4) && BenchReads(115200, reads) && BenchLinks(reads);
    for (int ms : {1, 5, 20})
        BenchDelay(ms, ms == 20 ? 50 : 200);
    return ok ? 0 : 1;
}
