#include "cli/Cli.h"
#include "platform/Profile.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "quarnex-cli " << QUARNEX_VERSION << "\n";
        return 0;
    }
    const quarnex::Profile profile(quarnex::Profile::DefaultPath());
    return quarnex::RunCli(args, profile, std::cout, std::cerr);
}
