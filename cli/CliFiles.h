#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;

// The set-up file commands of quarnex-cli: backup, backup all, restore and list, on the same
// backup and restore as the program's windows.
struct SetupFileCommand {
    std::vector<std::string> words; // the command and its arguments
    std::string info;               // --info: the information text of a backup
    std::string sections;           // --sections: what a restore loads (empty: everything)
    bool yes = false;               // --yes: questions are answered Yes, else No
    int retries = 2;                // --retries: repeats of a failed attempt (backup all's probe)
    bool quiet = false;             // --quiet: backup all leaves the silent addresses out
};

bool IsSetupFileCommand(const std::string& word);
// "" when the arguments fit the command, else what is wrong.
std::string CheckSetupFileCommand(const std::vector<std::string>& words);
// Runs the command (bus may be null for list). Exit codes: 0 done, 1 bus failure, 2 bad
// arguments, 3 failed, 4 stopped by a question answered No, 5 restore with warnings, 6 backup all
// found no instrument to save.
int RunSetupFileCommand(const SetupFileCommand& command, ModbusMaster* bus, std::ostream& out,
                        std::ostream& err);

} // namespace quarnex
