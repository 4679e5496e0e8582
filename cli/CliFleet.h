#pragma once

#include "fleet/HistoryRepo.h"

#include <string>
#include <vector>

namespace quarnex {

class Terminal;

// The plant's history from the command line:
//   fleet check FILE                                 the fleet file, every problem with its line
//   fleet backup FILE --history DIR [--push REMOTE]  the links (16 at once), the set-ups into DIR
//   history DIR [LINK/ADDRESS]                       the versions, newest first
// fleet backup exits 0 when nothing changed, 1 when changes were committed, 3 when a link or an
// instrument failed (what could be read is stored all the same).
struct FleetCommand {
    std::vector<std::string> words;
    std::string history;         // --history DIR
    std::string push;            // --push REMOTE
    PushCredentials credentials; // --ssh-key, --known-hosts, --token-file
    int retries = 2;             // -r: the extra questions of a search to a silent address
    int jobs = 0;                // --jobs N: links read at once (0: the default)
};

bool IsFleetCommand(const std::string& word);
// "" when the arguments fit, else what is wrong.
std::string CheckFleetCommand(const FleetCommand& command);
int RunFleetCommand(const FleetCommand& command, Terminal& terminal);

} // namespace quarnex
