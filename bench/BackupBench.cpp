// Times a full backup (set-up, batching, the 30 recipes and the texts) of a simulated KEL 7 at
// 9600 and 115200 baud on the paced simulator, against the wire time of the requests it made:
// each request and its answer at 11 bits a character, plus the inter-frame delay before each
// request. Prints the figures and the ratio, and where the time beyond the wire time went as the
// traffic recorder saw each attempt (it watches throughout; it costs a microsecond or two an
// attempt): the silences beyond the delay, handing the requests over, the first answer byte later
// than the request's and that byte's wire time allow (the simulator's reaction, the pseudo-
// terminal and waking the program), the answers' other bytes, and the rest (checking the answers
// between two requests, the file written and flushed to the disk before the first request and
// after the last). Asserts nothing but that the backups succeed.

#include "PacedBus.h"
#include "comm/TrafficRecorder.h"
#include "files/Backup.h"
#include "platform/Clock.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace quarnex;

namespace {

bool BenchBackup(int baud, const std::string& path) {
    PacedBus paced;
    if (!paced.Open(baud, 1, sim::MakeKel7({})))
        return false;
    paced.bus.SetRequestLogLimit(100000);
    ModbusMaster& master = *paced.master;
    ScriptedPrompter& prompter = paced.prompter;
    ScriptedProgress progress;
    paced.bus.ClearRequests();
    Backup backup(master, 1, itype::kKel7, prompter, progress);
    TrafficRecorder recorder(100000);
    master.SetTrafficObserver(&recorder);
    const int64_t t0 = MonotonicNs();
    const Backup::Result result = backup.Run(path, "bench", false);
    const int64_t t1 = MonotonicNs();
    const double wall = static_cast<double>(t1 - t0) / 1e9;
    master.SetTrafficObserver(nullptr);
    if (result != Backup::Result::Succeeded) {
        std::fprintf(stderr, "%6d baud: backup failed: %s\n", baud, prompter.LastText().c_str());
        return false;
    }

    const auto requests = paced.bus.Requests();
    long bytes = 0;
    for (const auto& request : requests)
        bytes += static_cast<long>(request.size()) + modbus::ExpectedAnswerLength(request);
    const double wire = paced.WireMs() / 1000.0;
    std::printf("%6d baud: full backup %.2f s; %zu requests, %ld bytes on the line, wire time "
                "%.2f s; ratio %.2f; file %ju bytes\n",
                baud, wall, requests.size(), bytes, wire, wall / wire,
                static_cast<uintmax_t>(std::filesystem::file_size(path)));

    // Beyond the wire time, in ms over the whole backup (the simulator sends 11 bits a character).
    const double charNs = 11e9 / baud,
                 delayNs = SerialLink::TimingFor(baud).interFrameDelayMs * 1e6;
    double silence = 0, send = 0, first = 0, rest = 0, answers = 0;
    const std::vector<TrafficRecord> records = recorder.After(0);
    for (size_t i = 0; i < records.size(); ++i) {
        const TrafficRecord& r = records[i];
        if (i > 0 && r.gapNs >= 0)
            silence += static_cast<double>(r.gapNs) - delayNs;
        if (r.requestEndNs < 0 || r.firstAnswerNs < 0)
            continue;
        send += static_cast<double>(r.requestEndNs);
        first += static_cast<double>(r.firstAnswerNs - r.requestEndNs) -
                 static_cast<double>(r.request.size() + 1) * charNs;
        answers += static_cast<double>(r.lastAnswerNs - r.firstAnswerNs) -
                   static_cast<double>(r.answer.size() - 1) * charNs;
    }
    const double beyond = (wall - wire) * 1e9;
    rest = beyond - silence - send - first - answers;
    std::printf("        beyond the wire time %.1f ms (%.3f a request): silences beyond the delay "
                "%.1f, requests handed over %.1f, first answer byte late %.1f, answers' other "
                "bytes %+.1f, the rest %.1f (of which before the first request and after the last "
                "%.1f)\n",
                beyond / 1e6, beyond / 1e6 / static_cast<double>(requests.size()), silence / 1e6,
                send / 1e6, first / 1e6, answers / 1e6, rest / 1e6,
                records.empty()
                    ? 0.0
                    : static_cast<double>(records.front().startNs - t0 + t1 -
                                          records.back().startNs - records.back().endNs) /
                              1e6 -
                          delayNs / 1e6);
    return true;
}

} // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / "quarnex-bench-backup";
    std::filesystem::create_directories(dir);
    bool ok = true;
    for (int baud : {9600, 115200})
        ok = BenchBackup(baud, (dir / ("kel7-" + std::to_string(baud) + ".kel")).string()) && ok;
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
