// The "Bus traffic" window's cost with a full recorder: the same program, a Qt event loop polling
// one KEL 7 on the paced simulator at 115200 baud every 20 ms, is run twice, once without the
// window, once with the window open over an empty recorder (what the window itself costs: Qt's
// widgets, fonts and backing store) and once with the window open over a recorder already holding
// 20,000 records (the ring then wraps with every poll). Each run is a child process of its own, so
// its memory is its own. Prints the CPU of the whole process (the simulator's thread included) and
// of the program's thread, and the resident memory at the end, for each run and as ratio and
// difference.
// Usage: quarnex-bench-traffic [seconds per run, default 20]   (offscreen; asserts nothing)

#include "PacedBus.h"

#include "app/CBusTrafficWnd.h"
#include "comm/TrafficRecorder.h"
#include "sim/Kel7Model.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quarnex;

namespace {

constexpr size_t kRecords = 20000;

int64_t Ns(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
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

// One run, without the window when records < 0; prints "cpu_process_s cpu_thread_s rss_kb polls"
// on one line.
int Run(long records, double seconds) {
    const bool window = records >= 0;
    int argc = 1;
    char name[] = "quarnex-bench-traffic";
    char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    PacedBus paced;
    if (!paced.Open(115200, 1, std::make_shared<sim::Kel7Model>(sim::Kel7Options{})))
        return 1;
    ModbusMaster& master = *paced.master;
    TrafficRecorder recorder(kRecords);
    QPointer<CBusTrafficWnd> wnd; // deletes itself when the quitting program closes it
    uint16_t block[17] = {};
    if (window) {
        // A recorder that has been listening for a while: 20,000 attempts over ten addresses,
        // response times spread over a few milliseconds.
        master.SetTrafficObserver(&recorder);
        master.ReadHoldingRegisters(1, 40001, 17, block);
        TrafficRecord r = recorder.At(recorder.Size() - 1);
        if (records == 0)
            recorder.Clear();
        for (long i = 0; i < records; ++i) {
            r.request[0] = static_cast<uint8_t>(1 + i % 10);
            r.lastAnswerNs = 3'000'000 + static_cast<int64_t>(i * 7919 % 4'000'000);
            r.transaction = static_cast<uint64_t>(i);
            recorder.OnAttempt(r);
        }
        wnd = new CBusTrafficWnd(master, recorder, paced.prompter);
        wnd->show();
    }
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        master.ReadHoldingRegisters(1, 40001, 17, block);
        ++polls;
    });
    poll.start(20);
    // Settle first (the window's first layout), then measure.
    QTimer::singleShot(1000, [&] {
        const int64_t process0 = Ns(CLOCK_PROCESS_CPUTIME_ID),
                      thread0 = Ns(CLOCK_THREAD_CPUTIME_ID);
        const int polls0 = polls;
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&, process0, thread0, polls0] {
            std::printf("%.3f %.3f %ld %d\n", (Ns(CLOCK_PROCESS_CPUTIME_ID) - process0) / 1e9,
                        (Ns(CLOCK_THREAD_CPUTIME_ID) - thread0) / 1e9, ResidentKb(),
                        polls - polls0);
            std::fflush(stdout);
            app.quit();
        });
    });
    app.exec();
    delete wnd.data();
    master.SetTrafficObserver(nullptr);
    return 0;
}

struct Figures {
    double process = 0, thread = 0;
    long rssKb = 0;
    int polls = 0;
};

Figures Child(const char* self, long records, const std::string& seconds) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        const std::string count = std::to_string(records);
        execl(self, self, "--run", count.c_str(), seconds.c_str(), nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    char buf[256] = {};
    ssize_t got = 0, n = 0;
    while ((n = read(pipeFds[0], buf + got, sizeof buf - 1 - static_cast<size_t>(got))) > 0)
        got += n;
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Figures f;
    if (std::sscanf(buf, "%lf %lf %ld %d", &f.process, &f.thread, &f.rssKb, &f.polls) != 4) {
        std::fprintf(stderr, "run with %ld records failed\n", records);
        std::exit(1);
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--run")
        return Run(std::atol(argv[2]), std::atof(argv[3]));
    const std::string seconds = argc >= 2 ? argv[1] : "20";
    const Figures without = Child("/proc/self/exe", -1, seconds);
    const Figures empty = Child("/proc/self/exe", 0, seconds);
    const Figures with = Child("/proc/self/exe", static_cast<long>(kRecords), seconds);
    const double s = std::atof(seconds.c_str());
    for (const auto& [label, f] :
         {std::pair{"without the window", without}, std::pair{"with the window, no records", empty},
          std::pair{"with the window, 20,000 records", with}})
        std::printf("%-34s CPU %5.1f%% process, %5.1f%% program thread; %6.1f MB resident; "
                    "%.0f polls/s\n",
                    label, 100 * f.process / s, 100 * f.thread / s, f.rssKb / 1024.0, f.polls / s);
    std::printf("with / without: CPU %.2f x (process), %.2f x (program thread); memory %+.1f MB\n",
                with.process / without.process, with.thread / without.thread,
                (with.rssKb - without.rssKb) / 1024.0);
    std::printf("of which the records: memory %+.1f MB over the window with none\n",
                (with.rssKb - empty.rssKb) / 1024.0);
    return 0;
}
