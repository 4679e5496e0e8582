#include "monitor/BusSearch.h"

#include "comm/ModbusMaster.h"
#include "instrument/Registers.h"

#include <cstdint>

namespace quarnex {

bool BusSearch::Tick() {
    if (Finished())
        return false;
    const int address = next_++;
    // Address 1 is where a lone instrument out of the box sits: it gets six repeats, so a single
    // garbled answer does not hide it. Every other address is asked once.
    const int retries = address == 1 ? 6 : 0;
    uint16_t type = 0;
    // Over a network link the probe waits the short probe time-out, not the response time-out.
    if (bus_.ReadHoldingRegisters(address, reg::kTypeCode, 1, &type,
                                  {.retries = retries, .probe = true}) == CommStatus::Ok) {
        found_[address] = true;
        ++foundCount_;
    }
    return !Finished();
}

} // namespace quarnex
