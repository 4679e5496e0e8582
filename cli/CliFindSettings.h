#pragma once

#include "monitor/WatchedSet.h"

#include <vector>

namespace quarnex {

class ModbusMaster;
class Terminal;

// `scan --find-settings [FIRST [LAST]]`: tries every baud rate and parity on the serial port
// until an instrument answers; addresses are FIRST-LAST when given, else the watched set and
// 1-10. With goOn every setting is tried. Prints what it found and how to use it; exit 0 when
// found, kExitBus when nothing answered, kExitStopped on Ctrl+C, kExitArguments on a network
// link (its line settings are the device server's).
int RunFindSettings(ModbusMaster& master, const std::vector<int>& addresses, bool goOn, int retries,
                    Terminal& terminal);

} // namespace quarnex
