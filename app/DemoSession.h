#pragma once

#include "platform/Profile.h"
#include "sim/SimBus.h"

#include <string>

namespace quarnex {

// What `quarnex --demo` runs against: the default simulated bus on a pseudo-terminal, in this
// process (the bus has its own thread, as a separate device would), and a profile of its own
// that lives in memory, so the user's profile is never read or written. COM1 of that profile is
// the pseudo-terminal, and every simulated address is watched.
class DemoSession {
public:
    // False with the system's reason when the pseudo-terminal cannot be made.
    bool Start(std::string& error);
    void Stop() { bus_.Stop(); }

    Profile& DemoProfile() { return profile_; }
    sim::SimBus& Bus() { return bus_; }

private:
    sim::SimBus bus_;
    Profile profile_;
};

} // namespace quarnex
