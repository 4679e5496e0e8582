// Times a software upgrade of a simulated KEL 7 at 115200 baud on the paced simulator, from the
// Yes to the question to the restart, and sets it against the wire time of the requests it sent:
// request and answer bytes x 11 bits / baud, plus the inter-frame delay before each request. The
// three-second wait for the boot loader is skipped here (the simulated one is ready at once) and
// printed apart. Prints the figures; fails only when the upgrade fails.

#include "PacedBus.h"
#include "platform/Clock.h"
#include "sim/FlashImage.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"
#include "upgrade/SoftwareUpgrade.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace quarnex;

namespace {

constexpr int kBaud = 115200;
constexpr int kAddress = 1;

bool Bench(int kb, uint32_t codeBytes) {
    sim::Kel7Options options;
    options.address = kAddress;
    options.flashKb = kb;
    PacedBus paced;
    if (!paced.Open(kBaud, kAddress, sim::MakeKel7(options)))
        return false;
    sim::SimBus& bus = paced.bus;
    bus.SetRequestLogLimit(1'000'000);

    const auto path = std::filesystem::temp_directory_path() /
                      ("quarnex-upgrade-bench-" + std::to_string(::getpid()) + ".hex");
    const auto image = sim::BuildFlashImage(kb, {2003, 1310, 4, "KEL7-7400", "V2.00", "270101"},
                                            {2003, 0, 0, "KEL7-BOOT", "V2.02", "270101"}, true,
                                            true, codeBytes, 1500, 9);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));

    ScriptedPrompter& prompter = paced.prompter;
    ScriptedPrompter owner;
    SoftwareUpgrade upgrade(*paced.master, prompter);
    int waitedMs = 0;
    upgrade.SetWait([&](int ms, Progress&, int) { waitedMs += ms; });
    bool ok = upgrade.SelectFile(path.string());
    if (!ok) {
        std::filesystem::remove(path);
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        return false;
    }
    const int blocks = upgrade.Image().Info().usedBlocks;

    bus.ClearRequests();
    ScriptedProgress progress;
    const int64_t t0 = MonotonicNs();
    ok = upgrade.StartUpgrade(kAddress, progress, owner, false);
    const double seconds = static_cast<double>(MonotonicNs() - t0) / 1e9;
    std::filesystem::remove(path); // read again by the upgrade
    if (!ok) {
        std::fprintf(stderr, "upgrade failed: %s\n", prompter.LastText().c_str());
        return false;
    }

    const auto requests = bus.Requests();
    const double wireMs = paced.WireMs();
    std::printf("%4d KB flash, %6u bytes of code: %4d blocks, %5zu requests; upgrade %.2f s, "
                "wire time %.2f s, ratio %.2f (+%d ms boot-loader wait in the program)\n",
                kb, codeBytes, blocks, requests.size(), seconds, wireMs / 1000.0,
                seconds * 1000.0 / wireMs, waitedMs);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    long code = 96 * 1024;
    if (argc > 1) {
        char* end = nullptr;
        code = std::strtol(argv[1], &end, 10);
        if (argc > 2 || end == argv[1] || *end != '\0' || code < 128 || code > 200000) {
            std::fprintf(stderr, "usage: quarnex-bench-upgrade [CODE_BYTES]\n"
                                 "  CODE_BYTES  program code in the image, 128-200000 (default "
                                 "98304); the image is for a 256 KB KEL 7\n");
            return 2;
        }
    }
    return Bench(256, static_cast<uint32_t>(code)) ? 0 : 1;
}
