// Measures how long opening the set-up sheet takes on the paced simulator at 9600 and 115200
// baud: the identification check, entering remote set-up (edit) and reading the whole set-up,
// then activating the first page. Prints requests, wall time and the wire time of those requests
// (request and answer bytes x 11 bits / baud, plus the inter-frame delay before each request);
// asserts nothing.

#include "PacedBus.h"
#include "platform/Clock.h"
#include "setup/KelSetUpPage.h"
#include "setup/KelSetUpSheet.h"
#include "sim/Kel7Model.h"

#include <cstdio>
#include <memory>

using namespace quarnex;

namespace {

bool BenchOpen(int baud, bool edit, int rounds) {
    PacedBus paced;
    if (!paced.Open(baud, 1, sim::MakeKel7({})))
        return false;
    sim::SimBus& bus = paced.bus;
    ModbusMaster& master = *paced.master;
    ScriptedPrompter& prompter = paced.prompter;
    double wallMs = 0.0, wireMs = 0.0;
    size_t requests = 0;
    for (int round = 0; round < rounds; ++round) {
        bus.ClearRequests();
        const int64_t t0 = MonotonicNs();
        KelSetUpSheet sheet(master, 1, edit ? SheetMode::EditSetup : SheetMode::ShowSetup,
                            prompter);
        if (!sheet.Create()) {
            std::fprintf(stderr, "open failed: %s\n", prompter.LastText().c_str());
            return false;
        }
        KelSetUpPage first(sheet.Source(), SetupPage(sheet.Pages().front()), edit);
        first.Activate();
        wallMs += static_cast<double>(MonotonicNs() - t0) / 1e6;
        requests += bus.Requests().size();
        wireMs += paced.WireMs();
        if (edit) { // leave remote set-up without saving, outside the measured time
            prompter.Answer(true);
            sheet.CancelCheck();
        }
    }
    std::printf("%6d baud, %s: %3zu requests, %7.1f ms (wire time of those requests %7.1f ms, "
                "ratio %.2f)\n",
                baud, edit ? "Edit set-up" : "Show set-up", requests / rounds, wallMs / rounds,
                wireMs / rounds, wallMs / wireMs);
    return true;
}

} // namespace

int main() {
    bool ok = true;
    for (int baud : {9600, 115200})
        for (bool edit : {false, true})
            ok = BenchOpen(baud, edit, baud == 9600 ? 3 : 10) && ok;
    return ok ? 0 : 1;
}
