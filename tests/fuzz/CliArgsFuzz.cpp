// libFuzzer target for quarnex-cli's argument parser: the input is split into arguments at NUL
// bytes. Any arguments are either refused with a message or accepted, and a device path that is
// accepted is one the run can use exactly as given. A broken rule stops the run.
#include "cli/Cli.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Require(bool rule) {
    if (!rule)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back().push_back(static_cast<char>(data[i]));
    }
    std::string device = "\x01unset";
    const std::string error = quarnex::CheckCliArguments(args, &device);
    if (!error.empty()) {
        Require(device == "\x01unset");
        return 0;
    }
    bool named = false;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        named = named || args[i] == "-d" || args[i] == "--device";
    Require(named || device.empty());
    for (unsigned char c : device)
        Require(c >= 0x20 && c != 0x7F);
    if (!device.empty())
        Require(!std::isspace(static_cast<unsigned char>(device.front())) &&
                !std::isspace(static_cast<unsigned char>(device.back())));
    return 0;
}
