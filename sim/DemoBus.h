#pragma once

#include "sim/SimBus.h"

#include <memory>
#include <string>
#include <vector>

namespace quarnex::sim {

// The default bus of the demo and of quarnex-sim, on a running clock with loads that move:
//   1, 2, 3  KEL 7 Recipe Batcher (2 waits for start: "Start mode:" Command)
//   4        KEL 7 with set-up version 1300 (listed as a plain KEL 7)
//   5        PIR 7
//   6        YAX 7
//   7        FLIN 7 (an I/O module)
// The KEL 7s go through start-up and warm-up as on power-on; with ready they begin where that
// ends (normal, or waiting for start), for a command line that talks to them at once.
void PopulateDemoBus(SimBus& bus, bool ready = false);

// The addresses PopulateDemoBus fills.
std::vector<int> DemoBusAddresses();

// An instrument by its kind name, for quarnex-sim's --instrument option: "kel7" (the recipe
// batcher), "kel7-wait" (waits for start), "kel7-1300", "kel7-1311", "kel7-160" (160 normal
// values), "kel7-nobatch" (no batching or flow-rate option), "kel7-nospecial", "pir7", "jov7",
// "yax7", "flin7", "zeb7", "husk7", "lop7", "vum7", "tig7". live: the instrument's time follows
// the bus clock and its load moves. Null with error set for an unknown name.
std::shared_ptr<SlaveModel> MakeInstrumentByName(const std::string& kind, int address, bool live,
                                                 std::string& error, bool ready = false);

// The kind names MakeInstrumentByName knows, in the order of the usage text.
std::vector<std::string> InstrumentKinds();

} // namespace quarnex::sim
