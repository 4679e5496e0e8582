#pragma once

#include "platform/Profile.h"
#include "sim/SimBus.h"

#include <string>
#include <vector>

namespace quarnex {

// Starts the default simulated bus on a pseudo-terminal in bus and makes COM1 of profile that
// pseudo-terminal, the selected port. False with the system's reason when the pseudo-terminal
// cannot be made. ready: the instruments skip their start-up and warm-up (the command line, which
// starts a new bus for each command and talks to it at once).
bool StartDemoBus(sim::SimBus& bus, Profile& profile, std::string& error, bool ready = false);

// What `quarnex --demo` runs against: the default simulated bus on a pseudo-terminal, in this
// process (the bus has its own thread, as a separate device would), and a profile of its own
// that lives in memory, so the user's profile is never read or written.
class DemoSession {
public:
    bool Start(std::string& error) { return StartDemoBus(bus_, profile_, error); }
    void Stop() { bus_.Stop(); }

    Profile& DemoProfile() { return profile_; }
    // The addresses the simulated instruments answer at; the demo watches them all.
    static std::vector<int> Addresses();
    // The simulated bus keeps a log of every request for tests; nobody reads it in the demo, so
    // the program drops it now and then instead of letting it grow for as long as the demo runs.
    void DropRequestLog() { bus_.ClearRequests(); }
    // A test weight on a simulated scale: "load ADDR VALUE" or "position ADDR N", as the
    // simulator's control pipe takes them. False with the reason for a line it does not take.
    bool TestWeights(const std::string& line, std::string& error);

private:
    sim::SimBus bus_;
    Profile profile_;
};

} // namespace quarnex
