// Measures how long opening the set-up sheet takes on the paced simulator at 9600 and 115200
// baud: the identification check, entering remote set-up (edit) and reading the whole set-up,
// then activating the first page. Prints requests, wall time and the wire time of those requests
// (request and answer bytes x 11 bits / baud, plus the inter-frame delay before each request);
// asserts nothing.

#include "comm/ModbusMaster.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "setup/KelSetUpPage.h"
#include "setup/KelSetUpSheet.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <memory>

using namespace quarnex;

namespace {

bool BenchOpen(int baud, bool edit, int rounds) {
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return false;
    }
    bus.Attach(1, sim::MakeKel7({}));
    bus.SetPacing(0); // at the baud rate the master sets on the line

    Profile profile;
    profile.WriteInt("Comm Param", "Baud", baud);
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open()) {
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        return false;
    }
    double wallMs = 0.0, wireMs = 0.0;
    size_t requests = 0;
    for (int round = 0; round < rounds; ++round) {
        bus.ClearRequests();
        const int64_t t0 = MonotonicNs();
        KelSetUpSheet sheet(master, 1, SheetMode{edit, false, false}, prompter);
        if (!sheet.Create()) {
            std::fprintf(stderr, "open failed: %s\n", prompter.LastText().c_str());
            return false;
        }
        KelSetUpPage first(master, sheet.Setup(), SetupPage(sheet.Pages().front()), edit, prompter);
        first.Activate();
        wallMs += static_cast<double>(MonotonicNs() - t0) / 1e6;
        const auto log = bus.Requests();
        requests += log.size();
        for (const auto& request : log) {
            const int answer = modbus::ExpectedAnswerLength(request);
            wireMs += (static_cast<double>(request.size()) + answer) * 11.0 * 1000.0 / baud +
                      master.Link().InterFrameDelay();
        }
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
