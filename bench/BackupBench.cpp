// Times a full backup (set-up, batching, the 30 recipes and the texts) of a simulated KEL 7 at
// 9600 and 115200 baud on the paced simulator, against the wire time of the requests it made:
// each request and its answer at 11 bits a character, plus the inter-frame delay before each
// request. Prints the figures and the ratio; asserts nothing but that the backups succeed.

#include "PacedBus.h"
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
    const int64_t t0 = MonotonicNs();
    const Backup::Result result = backup.Run(path, "bench", false);
    const double wall = static_cast<double>(MonotonicNs() - t0) / 1e9;
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
