#pragma once

#include "monitor/WatchedSet.h"

#include <string>

namespace quarnex {

class ModbusMaster;

// Before a search over a network link: "A silent gateway makes this search take up to N
// minutes: ..." for a search of that many requests at most (every attempt of every address), as
// a gateway that never answers 0x0A or 0x0B costs the whole response time-out each. Empty on
// the serial line, whose time-outs are short.
std::string SilentGatewayNotice(const ModbusMaster& bus, int requests);

// The bus search of the "Instrument search" dialog: one address per timer tick, from 1 to 247,
// so that the dialog stays responsive and "Stop" and "Cancel" are seen between two requests.
// An address counts as found when it answers a read of register 40001; any failure (silence,
// checksum, an exception answer) means nothing usable is there and is not reported.
class BusSearch {
public:
    static constexpr int kPeriodMs = 20;

    explicit BusSearch(ModbusMaster& bus) : bus_(bus) {}

    // Asks the next address, and once more an address asked before whose answer came too late
    // (a gateway slower than the response time-out). Returns false once address 247 has been
    // asked: the dialog then closes as if "Stop" had been pressed.
    bool Tick();
    // What the dialog says before the search starts: how long it can take over a network link
    // whose gateway stays silent (empty on the serial line).
    std::string Notice() const;
    // From address 1 again with nothing found (the bus's settings have changed).
    void Restart() {
        next_ = kFirstAddress;
        foundCount_ = 0;
        found_ = {};
    }

    bool Finished() const { return next_ > kLastAddress; }
    // The address asked last (0 before the first tick).
    int LastAsked() const { return next_ - 1; }
    int FoundCount() const { return foundCount_; }
    const AddressFlags& Found() const { return found_; }

private:
    ModbusMaster& bus_;
    int next_ = kFirstAddress;
    int foundCount_ = 0;
    AddressFlags found_{};
};

} // namespace quarnex
