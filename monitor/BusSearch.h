#pragma once

#include "monitor/WatchedSet.h"

namespace quarnex {

class ModbusMaster;

// The bus search of the "Instrument search" dialog: one address per timer tick, from 1 to 247,
// so that the dialog stays responsive and "Stop" and "Cancel" are seen between two requests.
// An address counts as found when it answers a read of register 40001; any failure (silence,
// checksum, an exception answer) means nothing usable is there and is not reported.
class BusSearch {
public:
    static constexpr int kPeriodMs = 20;

    explicit BusSearch(ModbusMaster& bus) : bus_(bus) {}

    // Asks the next address. Returns false once address 247 has been asked: the dialog then
    // closes as if "Stop" had been pressed.
    bool Tick();
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
