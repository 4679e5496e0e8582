// Times the reading of a large plant history: 300 commits over 10 instruments of one link, each
// commit changing one row of every instrument (3,000 versions in all, 300 of each). Measured:
// the whole history's list (quarnex-cli history DIR), one instrument's versions (history DIR
// LINK/ADDRESS) and diff DIR:L/1@~200 DIR:L/1, each through the command line as a person runs it,
// against git log -p of the same repository. Target: at most 1 s for each. Exit 1 when one is
// missed. The history is made once in a temporary folder (an instrument read from the simulator,
// its set-up varied by row, stored by the fleet's own StoreFleet); quarnex-bench-history DIR keeps
// it in DIR and reuses it next time.

#include "cli/Cli.h"
#include "comm/ModbusMaster.h"
#include "fleet/FleetConfig.h"
#include "fleet/FleetHistory.h"
#include "offline/SetupCompare.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"
#include "support/ScriptedProgress.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace quarnex;
namespace fs = std::filesystem;

namespace {

constexpr int kCommits = 300;
constexpr int kInstruments = 10;
constexpr double kTargetSeconds = 1.0;

double Time(const std::function<void()>& run) {
    const int64_t start = MonotonicNs();
    run();
    return static_cast<double>(MonotonicNs() - start) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 2;
    }
    bus.Attach(1, sim::MakeKel7({.serialNumber = 2260137}));
    FleetLink link;
    link.device = bus.DevicePath();
    ScriptedPrompter prompter;
    ScriptedProgress progress;
    SetupFileImage image;
    {
        ModbusMaster master(FleetLinkSettings(link), prompter);
        if (!master.Open() || !ReadInstrumentImage(master, 1, prompter, progress, image)) {
            std::fprintf(stderr, "cannot read the simulated instrument\n");
            return 2;
        }
    }
    bus.Stop();

    std::string pattern = (fs::temp_directory_path() / "quarnex-history-bench-XXXXXX").string();
    const bool kept = argc > 1;
    if (!kept && !mkdtemp(pattern.data()))
        return 2;
    const fs::path dir = kept ? fs::path(argv[1]) : fs::path(pattern);
    const std::string history = (dir / "history").string();
    const bool reuse = kept && fs::exists(dir / "history" / ".git");
    HistoryRepo repo;
    if (!repo.Open(history, true, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const double made = reuse ? 0 : Time([&] {
        // As the fleet's runs make it: one run a version, every instrument read with one row
        // changed.
        for (int c = 0; c < kCommits; ++c) {
            LinkReading reading;
            reading.link = "Line";
            reading.opened = true;
            for (int i = 1; i <= kInstruments; ++i) {
                InstrumentReading r;
                r.address = i;
                r.outcome = InstrumentReading::Outcome::Read;
                r.serial = "226-" + std::to_string(1000 + i);
                auto version = std::make_shared<SetupFileImage>(image);
                version->setup.SetBatchValue(5 + 25 * 2 + 6,
                                             0.5 * c + i); // activity 3's fine value
                r.image = std::move(version);
                reading.instruments.push_back(std::move(r));
            }
            const FleetRun run =
                StoreFleet(repo, {reading}, [c] { return std::time_t(1765000000) + 60 * c; });
            if (run.ExitCode() != 1) {
                std::fprintf(stderr, "run %d: %s %s\n", c, run.Summary(1).c_str(),
                             run.failure.c_str());
                std::exit(2);
            }
        }
    });
    std::printf("history of %d commits x %d instruments made in %.1f s\n", kCommits, kInstruments,
                made);

    const auto cli = [](std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = RunCli(args, Profile(), out, err, false);
        if (code != 0 && code != 1) {
            std::fprintf(stderr, "%s%s\n", out.str().c_str(), err.str().c_str());
            std::exit(2);
        }
    };
    const std::string stored = history + ":Line/1";
    struct Measure {
        const char* what;
        double seconds;
        bool target;
    } measures[] = {
        {"history DIR", Time([&] {
             cli({"history", history});
         }),
         true},
        {"history DIR Line/1", Time([&] {
             cli({"history", history, "Line/1"});
         }),
         true},
        {"diff DIR:Line/1@~200 DIR:Line/1", Time([&] {
             cli({"diff", stored + "@~200", stored});
         }),
         true},
        {"git log -p (for comparison)",
         Time([&] { std::system(("git -C '" + history + "' log -p > /dev/null").c_str()); }),
         false},
    };
    bool met = true;
    for (const Measure& m : measures) {
        std::printf("%-34s %6.3f s%s\n", m.what, m.seconds,
                    !m.target                     ? ""
                    : m.seconds <= kTargetSeconds ? "  (target <= 1 s: met)"
                                                  : "  (target <= 1 s: MISSED)");
        met = met && (!m.target || m.seconds <= kTargetSeconds);
    }
    if (!kept)
        fs::remove_all(dir);
    return met ? 0 : 1;
}
