// The main view's polling with ten KEL 7 on the paced simulator, at 9600 and 115200 baud:
//  - polls per second (one poll = the 17-register live block and the set-up version) against
//    the wire limit of those frames (request and answer bytes x 11 bits / baud, plus the
//    inter-frame delay before each request), and against what the tick design allows (the
//    budget's polls, then 20 ms before the next tick);
//  - the CPU the polling thread uses meanwhile (the simulator's thread is not counted);
//  - the resident memory after polling for a while (a minute by default).
// Usage: quarnex-bench-view [seconds per rate, default 10] [memory seconds, default 60]
// Prints the figures; asserts nothing.

#include "comm/ModbusMaster.h"
#include "monitor/QuarnexView.h"
#include "monitor/panel/InstrumentPanel.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "session/BusSession.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

using namespace quarnex;

namespace {

constexpr int kInstruments = 10;

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

struct Result {
    double pollsPerSecond = 0;
    double cpuShare = 0;
    int failures = 0;
};

// Polls for the given time the way the window does: a tick, then the period it returns.
Result Run(int baud, double seconds, bool report) {
    Result result;
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    AddressFlags watched{};
    for (int a = 1; a <= kInstruments; ++a) {
        sim::Kel7Options options;
        options.clock = sim::Kel7Clock::Bus;
        options.demoLoad = true;
        options.address = a;
        bus.Attach(a, std::make_shared<sim::Kel7Model>(options));
        watched[a] = true;
    }
    bus.SetPacing(0); // answer at the baud rate the program sets on the line

    Profile profile;
    profile.WriteInt("Comm Param", "Baud", baud);
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    SaveWatchedSet(profile, watched);
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open()) {
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        std::exit(1);
    }
    // Inline: the polls' throughput on one thread, as before the sessions (the stall bench
    // measures the threaded session).
    QueueDelivery delivery;
    BusSession session(master, delivery, prompter, BusSession::Mode::Inline);
    QuarnexView view(session, master, profile, prompter);
    view.InitialUpdate();

    const int64_t t0 = MonotonicNs(), cpu0 = ThreadCpuNs();
    const int64_t end = t0 + static_cast<int64_t>(seconds * 1e9);
    size_t requests = 0;
    for (int64_t tick = 1; MonotonicNs() < end; ++tick) {
        Delay(view.Tick());
        // The simulator logs every request for tests; counted and dropped here so that the
        // memory figure is the program's, not the log's.
        if (tick % 256 == 0) {
            for (int a = 1; a <= kInstruments; ++a)
                requests += bus.RequestCount(a);
            bus.ClearRequests();
        }
    }
    const double wall = static_cast<double>(MonotonicNs() - t0) / 1e9;
    const double cpu = static_cast<double>(ThreadCpuNs() - cpu0) / 1e9;

    for (int a = 1; a <= kInstruments; ++a)
        requests += bus.RequestCount(a);
    for (int a = 1; a <= kInstruments; ++a)
        result.failures += view.State(a).absent ? 1 : 0;
    result.pollsPerSecond = static_cast<double>(requests) / 2.0 / wall;
    result.cpuShare = cpu / wall;

    if (report) {
        // One poll on the wire: 8 + 39 bytes for the live block, 8 + 9 for the version.
        const double bitsMs = 11.0 * 1000.0 / baud;
        const double pollMs =
            (8 + 39 + 8 + 9) * bitsMs + 2 * SerialLink::TimingFor(baud).interFrameDelayMs;
        const int budget = QuarnexView::Budget(baud);
        const double designLimit =
            budget * 1000.0 / (budget * pollMs + QuarnexView::kTimerPeriodMs);
        std::printf("%6d baud, %d KEL 7: %6.1f polls/s; wire limit %6.1f/s (ratio %.2f); "
                    "tick design limit %6.1f/s (ratio %.2f); polling thread CPU %4.1f%%; "
                    "%d absent at the end\n",
                    baud, kInstruments, result.pollsPerSecond, 1000.0 / pollMs,
                    result.pollsPerSecond * pollMs / 1000.0, designLimit,
                    result.pollsPerSecond / designLimit, 100.0 * result.cpuShare, result.failures);
    }
    bus.Stop();
    return result;
}

// The instrument panel's polling of one KEL 7: its ticks per second against what its period and
// the wire time of each tick's requests allow (period + wire time per tick).
void RunPanel(int baud, double seconds) {
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    sim::Kel7Options options;
    options.clock = sim::Kel7Clock::Bus;
    options.demoLoad = true;
    bus.Attach(1, std::make_shared<sim::Kel7Model>(options));
    bus.SetPacing(0);
    bus.SetRequestLogLimit(1000000);
    Profile profile;
    profile.WriteInt("Comm Param", "Baud", baud);
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open()) {
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        std::exit(1);
    }
    InstrumentPanel panel(master, 1, prompter);
    int period = panel.Open();
    bus.ClearRequests();
    const int64_t t0 = MonotonicNs(), end = t0 + static_cast<int64_t>(seconds * 1e9);
    int ticks = 0, periodSum = 0;
    while (MonotonicNs() < end) {
        Delay(period);
        periodSum += period;
        period = panel.Tick();
        ++ticks;
    }
    const double wall = static_cast<double>(MonotonicNs() - t0) / 1e9;
    double wireMs = 0;
    for (const auto& request : bus.Requests())
        wireMs += static_cast<double>(request.size() + modbus::ExpectedAnswerLength(request)) *
                      11.0 * 1000.0 / baud +
                  SerialLink::TimingFor(baud).interFrameDelayMs;
    const double limit = ticks * 1000.0 / (periodSum + wireMs);
    std::printf("%6d baud, panel: %5.2f ticks/s; period + wire limit %5.2f/s (ratio %.2f); "
                "%.1f ms on the wire per tick\n",
                baud, ticks / wall, limit, ticks / wall / limit, wireMs / std::max(1, ticks));
    bus.Stop();
}

} // namespace

// A duration argument in seconds, or a message and false.
bool SecondsArgument(const char* text, double& seconds) {
    char* end = nullptr;
    seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds > 0.0 && seconds <= 3600.0)) {
        std::fprintf(stderr,
                     "usage: quarnex-bench-view [SECONDS [MEMORY_SECONDS]]\n"
                     "  SECONDS         how long each baud rate is polled (default 10)\n"
                     "  MEMORY_SECONDS  how long the memory run polls (default 60)\n"
                     "bad duration '%s': a number of seconds above 0, at most 3600\n",
                     text);
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    double seconds = 10.0, memorySeconds = 60.0;
    if ((argc > 1 && !SecondsArgument(argv[1], seconds)) ||
        (argc > 2 && !SecondsArgument(argv[2], memorySeconds)) || argc > 3)
        return 2;
    for (int baud : {9600, 115200})
        Run(baud, seconds, true);
    for (int baud : {9600, 115200})
        RunPanel(baud, seconds);
    const long before = ResidentKb();
    Run(115200, memorySeconds, false);
    std::printf("resident memory: %ld kB before, %ld kB after %.0f s of polling at 115200 baud\n",
                before, ResidentKb(), memorySeconds);
    return 0;
}
