#include "cli/Cli.h"
#include "cli/CliSignals.h"
#include "platform/Profile.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "quarnex-cli " << QUARNEX_VERSION << "\n";
        return 0;
    }
    const quarnex::Profile profile(quarnex::Profile::DefaultPath());
    quarnex::InstallStopSignals();
    const int code =
        quarnex::RunCli(args, profile, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
    // The port is closed by now; a stopped run ends as the signal would have ended it.
    if (const int signal = quarnex::StopSignal(); signal != 0) {
        std::cerr << "quarnex-cli: stopped by signal " << signal << '\n';
        return 128 + signal;
    }
    return code;
}
