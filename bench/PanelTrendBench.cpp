// The CPU the instrument panel costs with and without its weight trend: the panel of address 1
// on the demo's simulated bus (its filling hopper), open for a while on the offscreen platform,
// once with the trend closed and once with it open at the 1-minute span. The CPU of the
// program's one thread is counted (the panel's bus transactions, its rendering and the trend's
// drawing), not the simulator's thread, which stands in for the instrument.
// Usage: quarnex-bench-panel-trend [seconds per run, default 60]
// Prints the figures; asserts nothing.

#include "app/panel/CInstrumentPanelDlg.h"
#include "app/panel/CWeightTrendWnd.h"
#include "comm/ModbusMaster.h"
#include "demo/DemoSession.h"
#include "support/ScriptedPrompter.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtCharts/QLineSeries>

#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace quarnex;

namespace {

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

int64_t WallNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

struct Run {
    double cpuShare = 0.0; // CPU seconds per wall second of the program's thread
    long ticks = 0;
    int points = 0;
};

Run Measure(ModbusMaster& master, ScriptedPrompter& prompter, bool trend, int seconds) {
    // The reads stay on the measured thread (an inline session), as the figures always counted.
    QueueDelivery delivery;
    BusSession session(master, delivery, prompter, BusSession::Mode::Inline);
    CInstrumentPanelDlg panel(session, master, 1, prompter);
    panel.show();
    panel.Start();
    if (trend)
        panel.TrendPart()->TrendButton()->click();
    // The first second settles the window (fonts, first layout) and is not counted.
    QTimer::singleShot(1000, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const int64_t cpu0 = ThreadCpuNs(), wall0 = WallNs();
    const long ticks0 = panel.Logic().SampleCount();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    Run run;
    run.cpuShare =
        static_cast<double>(ThreadCpuNs() - cpu0) / static_cast<double>(WallNs() - wall0);
    run.ticks = panel.Logic().SampleCount() - ticks0;
    if (trend)
        run.points = static_cast<int>(panel.TrendPart()->TrendWnd()->GrossSeries()->count());
    panel.done(0);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QApplication app(argc, argv);
    DemoSession demo;
    std::string error;
    if (!demo.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    ScriptedPrompter prompter;
    ModbusMaster master(demo.DemoProfile(), prompter);
    if (!master.Open()) {
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        return 1;
    }
    const Run without = Measure(master, prompter, false, seconds);
    demo.DropRequestLog();
    const Run with = Measure(master, prompter, true, seconds);
    std::printf("panel open %d s, platform %s\n", seconds,
                qPrintable(QApplication::platformName()));
    std::printf("  without trend: %5.2f %% of a core, %ld ticks\n", without.cpuShare * 100.0,
                without.ticks);
    std::printf("  with trend:    %5.2f %% of a core, %ld ticks, %d points drawn\n",
                with.cpuShare * 100.0, with.ticks, with.points);
    std::printf("  the trend adds %.2f %% of a core (%.0f %% of the panel's own)\n",
                (with.cpuShare - without.cpuShare) * 100.0,
                without.cpuShare > 0 ? (with.cpuShare / without.cpuShare - 1.0) * 100.0 : 0.0);
    demo.Stop();
    return 0;
}
