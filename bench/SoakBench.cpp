// The long fault soak: mixed transactions (register and float reads, single and multiple
// register writes, float writes, coils) against a register bank on the simulated bus, with faults
// of every kind the bus can inject in a share of them, every accepted value checked against the
// bank. Prints the figures; exits 1 when a wrong value was accepted or the master fell out of
// step after a fault.
//   quarnex-bench-soak [TRANSACTIONS [FAULT_PERCENT [BAUD [SEED]]]]   (100000 10 115200 1)
#include "support/FaultSoak.h"

#include "platform/Profile.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

using namespace quarnex;

int main(int argc, char** argv) {
    auto arg = [&](int i, long fallback) { return argc > i ? std::atol(argv[i]) : fallback; };
    test::SoakOptions options;
    options.transactions = static_cast<int>(arg(1, 100000));
    options.faultPercent = static_cast<int>(arg(2, 10));
    const int baud = static_cast<int>(arg(3, 115200));
    options.seed = static_cast<unsigned>(arg(4, 1));

    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 2;
    }
    auto bank = std::make_shared<sim::RegisterBank>();
    bank->AddBlock(0, 100);
    bus.Attach(1, bank);
    bus.SetPacing(0); // at the baud rate the master sets
    Profile profile;
    profile.WriteInt("Comm Param", "Baud", baud);
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open()) {
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        return 2;
    }
    std::cout << "fault soak at " << baud << " baud, " << options.faultPercent << " % faults, seed "
              << options.seed << '\n';
    const test::SoakFigures f = test::RunFaultSoak(bus, master, options);
    test::PrintSoakFigures(std::cout, f);
    return f.wrongValuesAccepted == 0 && f.outOfStep == 0 ? 0 : 1;
}
