#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarnex {

class Profile;

// quarnex-cli: reads and writes an instrument's registers and coils from a terminal on the same
// bus master as the program. args excludes the program name. Returns the exit code, one of
// CliExit (cli/CliTerminal.h); the report goes to out, messages and progress to err.
// profile supplies "Comm Param" and the COM device paths; options override them. Nothing is
// written to the profile. progressInPlace: err is a terminal, where the progress line is rewritten
// in place; elsewhere (a log file, a pipe) each progress line is written once, as it ends.
int RunCli(const std::vector<std::string>& args, const Profile& profile, std::ostream& out,
           std::ostream& err, bool progressInPlace = true);

std::string CliUsage();

// Checks the arguments as RunCli reads them, without touching a device: the message RunCli would
// print for bad arguments, or empty when they would run. device receives the path of -d, if any.
std::string CheckCliArguments(const std::vector<std::string>& args, std::string* device = nullptr);

} // namespace quarnex
