#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarnex {

class BusOutcome;
class ModbusMaster;
class Terminal;

// The set-up file commands of quarnex-cli: backup, backup all, restore and list, on the same
// backup and restore as the program's windows.
struct SetupFileCommand {
    std::vector<std::string> words; // the command and its arguments
    std::string info;               // --info: the information text of a backup
    std::string sections;           // --sections: what a restore loads
    bool sectionsGiven = false;     // without --sections a restore loads everything
    bool withAddress = false;       // --with-address: take the file's address, baud, parity
    bool yes = false;               // --yes: questions are answered Yes, else No
    int retries = 2;                // --retries: repeats of a failed attempt (backup all's probe)
    bool quiet = false;             // --quiet: backup all leaves the silent addresses out
};

bool IsSetupFileCommand(const std::string& word);
// "" when the arguments fit the command, else what is wrong.
std::string CheckSetupFileCommand(const std::vector<std::string>& words);
// "" when the options fit the command (--info fits a file, --sections names sections), else
// what is wrong.
std::string CheckSetupFileOptions(const SetupFileCommand& command);
// What must hold before the bus is touched: backup all makes its folder and checks it can write
// there. "" when ready, else the reason (exit kExitFailed).
std::string PrepareSetupFileCommand(const SetupFileCommand& command);
// Runs the command (bus and outcome may be null for list); the exit codes are CliExit's.
int RunSetupFileCommand(const SetupFileCommand& command, ModbusMaster* bus, Terminal& terminal,
                        const BusOutcome* outcome);

} // namespace quarnex
