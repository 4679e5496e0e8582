// The window thread's longest stall while the main view polls a watched set with two silent
// addresses: on a pseudo-terminal at 9600 baud, through a Modbus TCP gateway that stays silent,
// and to a host that does not take the connection (a listening socket whose queue is full: the
// connect waits its time-out, as for a host that is switched off). The window thread is played by
// a loop that does what the event loop does: a 10 ms timer (how late it fires is the stall), the
// view's 20 ms tick re-armed once its result is in, and the calls the session posts. Each case
// runs twice: "before" with the session inline (the polls on the window thread, as the program
// did before the sessions) and "after" with the session's own thread.
//
// Then a backup of a KEL 7 at 115200 and 9600 baud, direct and as a session job (the window
// thread waiting for its delivery), in turns, with the median of each and their ratio.
//
// Usage: quarnex-bench-session-stall [SECONDS_PER_CASE]   (default 8)

#include "PacedBus.h"
#include "files/Backup.h"
#include "monitor/QuarnexView.h"
#include "monitor/WatchedSet.h"
#include "platform/Clock.h"
#include "session/BusSession.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quarnex;

namespace {

constexpr int64_t kMs = 1'000'000;

struct Stall {
    double longestMs = 0, p99Ms = 0;
    size_t samples = 0, polls = 0;
};

// The event loop of the window thread for `seconds`, with the view on a session of `mode`.
Stall RunView(ModbusMaster& master, Profile& profile, BusSession::Mode mode, double seconds) {
    ScriptedPrompter prompter;
    QueueDelivery delivery;
    BusSession session(master, delivery, prompter, mode);
    QuarnexView view(session, master, profile, prompter);
    view.InitialUpdate();

    std::vector<int64_t> late;
    const int64_t start = MonotonicNs(), end = start + static_cast<int64_t>(seconds * 1e9);
    int64_t nextTimer = start + 10 * kMs, nextTick = start;
    bool tickDue = true;
    size_t ticks = 0;
    for (int64_t now = start; now < end; now = MonotonicNs()) {
        const int64_t deadline = tickDue ? std::min(nextTimer, nextTick) : nextTimer;
        if (deadline > now)
            delivery.RunUntil([&] { return MonotonicNs() >= deadline; },
                              std::chrono::ceil<std::chrono::milliseconds>(
                                  std::chrono::nanoseconds(deadline - now)));
        now = MonotonicNs();
        if (now >= nextTimer) {
            late.push_back(now - nextTimer);
            nextTimer = now + 10 * kMs;
        }
        if (tickDue && now >= nextTick) {
            tickDue = false;
            ++ticks;
            const int period = view.Tick([&] {
                tickDue = true;
                nextTick = MonotonicNs() + QuarnexView::kTimerPeriodMs * kMs;
            });
            (void)period;
        }
    }
    Stall s;
    s.samples = late.size();
    s.polls = ticks;
    if (!late.empty()) {
        std::sort(late.begin(), late.end());
        s.longestMs = static_cast<double>(late.back()) / 1e6;
        s.p99Ms = static_cast<double>(late[late.size() * 99 / 100]) / 1e6;
    }
    // The session ends with the view; a poll still out is dropped.
    return s;
}

void Report(const char* what, const Stall& before, const Stall& after) {
    std::printf("%-44s before: longest %7.1f ms, p99 %7.1f ms (%zu ticks) | after: longest "
                "%5.1f ms, p99 %5.1f ms (%zu ticks)\n",
                what, before.longestMs, before.p99Ms, before.polls, after.longestMs, after.p99Ms,
                after.polls);
}

// Two KEL 7s at 1 and 2, the watched set 1-4 (3 and 4 silent).
void Populate(sim::SimBus& bus, Profile& profile) {
    for (int a : {1, 2}) {
        sim::Kel7Options options;
        options.address = a;
        bus.Attach(a, sim::MakeKel7(options));
    }
    AddressFlags watched{};
    for (int a = 1; a <= 4; ++a)
        watched[a] = true;
    SaveWatchedSet(profile, watched);
}

// The main view's polls on the window thread, then on the session, over the link the profile
// names; mustOpen: a link that does not open ends the case.
bool BeforeAndAfter(Profile& profile, const char* label, double seconds, bool mustOpen) {
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open() && mustOpen)
        return std::fprintf(stderr, "%s\n", prompter.LastText().c_str()), false;
    const Stall before = RunView(master, profile, BusSession::Mode::Inline, seconds);
    const Stall after = RunView(master, profile, BusSession::Mode::Threaded, seconds);
    Report(label, before, after);
    return true;
}

bool CaseSerial(double seconds) {
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error))
        return std::fprintf(stderr, "simulator: %s\n", error.c_str()), false;
    bus.SetPacing(0);
    Profile profile;
    Populate(bus, profile);
    profile.WriteInt("Comm Param", "Baud", 9600);
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    return BeforeAndAfter(profile, "pty 9600 baud, 2 of 4 watched silent:", seconds, true);
}

bool CaseGateway(double seconds) {
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error))
        return std::fprintf(stderr, "simulator: %s\n", error.c_str()), false;
    const int port = bus.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
    if (port == 0)
        return std::fprintf(stderr, "gateway: %s\n", error.c_str()), false;
    Profile profile;
    Populate(bus, profile);
    profile.WriteString("Comm Param", "Link", "mbap");
    profile.WriteString("Comm Param", "Host", "127.0.0.1");
    profile.WriteInt("Comm Param", "TCP Port", port);
    return BeforeAndAfter(profile, "Modbus TCP gateway silent for 2 of 4:", seconds, true);
}

bool CaseUnreachable(double seconds) {
    // A listening socket that never accepts, its queue filled: further connects get no answer
    // to their SYN and wait out the link's connect time-out.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 0) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::perror("listener"), false;
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), length);
        fillers.push_back(fd);
    }
    Profile profile;
    AddressFlags watched{};
    for (int a = 1; a <= 4; ++a)
        watched[a] = true;
    SaveWatchedSet(profile, watched);
    profile.WriteString("Comm Param", "Link", "mbap");
    profile.WriteString("Comm Param", "Host", "127.0.0.1");
    profile.WriteInt("Comm Param", "TCP Port", ntohs(address.sin_port));
    // The connect fails after its time-out: the polls try again every few seconds.
    BeforeAndAfter(profile, "host that does not take the connection:", seconds, false);
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
    return true;
}

// One backup, direct on this thread or as a session job; its time in s, < 0 when it failed.
double TimedBackup(PacedBus& paced, const std::string& path, bool throughSession) {
    ModbusMaster& master = *paced.master;
    ScriptedProgress progress;
    Backup::Result result = Backup::Result::Failed;
    const int64_t t0 = MonotonicNs();
    if (!throughSession) {
        Backup backup(master, 1, itype::kKel7, paced.prompter, progress);
        result = backup.Run(path, "bench", false);
    } else {
        QueueDelivery delivery;
        BusSession session(master, delivery, paced.prompter);
        bool done = false;
        session.Submit(
            session.OpenOwner(),
            [&](BusSession::Job& job) {
                ProgressRelay relay(job, progress);
                Backup backup(job.Master(), 1, itype::kKel7, job.Asker(), relay);
                result = backup.Run(path, "bench", false);
            },
            [&] { done = true; });
        delivery.RunUntil([&] { return done; }, std::chrono::minutes(10));
    }
    const double s = static_cast<double>(MonotonicNs() - t0) / 1e9;
    return result == Backup::Result::Succeeded ? s : -1.0;
}

bool BackupRatio(int baud, int rounds) {
    PacedBus paced;
    if (!paced.Open(baud, 1, sim::MakeKel7({})))
        return false;
    const auto dir = std::filesystem::temp_directory_path() / "quarnex-bench-session";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "kel7.kel").string();
    std::vector<double> direct, session;
    for (int i = 0; i < rounds; ++i) {
        direct.push_back(TimedBackup(paced, path, false));
        session.push_back(TimedBackup(paced, path, true));
        paced.bus.ClearRequests();
    }
    std::filesystem::remove_all(dir);
    if (std::any_of(direct.begin(), direct.end(), [](double s) { return s < 0; }) ||
        std::any_of(session.begin(), session.end(), [](double s) { return s < 0; })) {
        std::fprintf(stderr, "%d baud: a backup failed: %s\n", baud,
                     paced.prompter.LastText().c_str());
        return false;
    }
    std::sort(direct.begin(), direct.end());
    std::sort(session.begin(), session.end());
    const double d = direct[direct.size() / 2], s = session[session.size() / 2];
    std::printf("backup at %6d baud, median of %d: direct %.3f s, through the session %.3f s, "
                "ratio %.4f\n",
                baud, rounds, d, s, s / d);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 8.0;
    bool ok = CaseSerial(seconds);
    ok = CaseGateway(seconds) && ok;
    ok = CaseUnreachable(seconds) && ok;
    ok = BackupRatio(115200, 5) && ok;
    ok = BackupRatio(9600, 3) && ok;
    return ok ? 0 : 1;
}
