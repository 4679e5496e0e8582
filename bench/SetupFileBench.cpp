// Times the set-up file's reading and writing on a full backup of a simulated KEL 7 (set-up,
// batching, the 30 recipes and the texts): `quarnex-cli list FILE` run in this process, and the
// file written again line by line through SetupFile and committed. Prints the median and the
// slowest of the runs; asserts nothing but that every step succeeds.

#include "PacedBus.h"
#include "cli/Cli.h"
#include "files/Backup.h"
#include "files/SetupFile.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace quarnex;

namespace {

constexpr int kRuns = 50;

struct Figures {
    double median = 0, slowest = 0;
};

template <class F> bool Time(F run, Figures& figures) {
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        const int64_t t0 = MonotonicNs();
        if (!run())
            return false;
        ms.push_back(static_cast<double>(MonotonicNs() - t0) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    figures = {ms[ms.size() / 2], ms.back()};
    return true;
}

} // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "quarnex-bench-setupfile";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "full.kel").string();
    {
        PacedBus paced;
        if (!paced.Open(115200, 1, sim::MakeKel7({})))
            return 1;
        ScriptedProgress progress;
        Backup backup(*paced.master, 1, itype::kKel7, paced.prompter, progress);
        if (backup.Run(path, "bench", false) != Backup::Result::Succeeded) {
            std::fprintf(stderr, "backup failed: %s\n", paced.prompter.LastText().c_str());
            return 1;
        }
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.size() - 1)); // without its CR
    const auto size = static_cast<uintmax_t>(std::filesystem::file_size(path));

    const Profile profile;
    Figures list;
    const bool listed = Time(
        [&] {
            std::ostringstream out, err;
            return RunCli({"list", path}, profile, out, err) == 0;
        },
        list);
    const std::string copy = (dir / "copy.kel").string();
    Figures write;
    const bool written = Time(
        [&] {
            ScriptedPrompter prompter;
            SetupFile file;
            file.SetFileName(copy);
            if (file.OpenForWrite(prompter) != SetupFileStatus::kOk)
                return false;
            for (const std::string& line : lines)
                if (file.WriteLine(line, true, prompter) != SetupFileStatus::kOk)
                    return false;
            return file.Close(prompter) == SetupFileStatus::kOk;
        },
        write);
    std::filesystem::remove_all(dir);
    if (!listed || !written) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    std::printf("full backup: %ju bytes, %zu lines; %d runs each\n", size, lines.size(), kRuns);
    std::printf("list:  median %.2f ms, slowest %.2f ms\n", list.median, list.slowest);
    std::printf("write: median %.2f ms, slowest %.2f ms (with the .bak copy and the flush)\n",
                write.median, write.slowest);
    return 0;
}
