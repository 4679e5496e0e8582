// libFuzzer target for the fleet file: any bytes are parsed, and what the parser lets through
// must be what the workers and the history rely on. Every problem names its line (within the
// file); every link accepted has a device, a name that is a plain folder name, and addresses in
// 1-247, ascending, each once, no two on one serial device; the [history] section's files are
// absolute paths without control characters. A broken rule stops the run.
#include "FuzzRequire.h"
#include "fleet/FleetConfig.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const quarnex::FleetConfig config = quarnex::ParseFleetFile(text);
    const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const std::string& problem : config.problems) {
        const size_t colon = problem.find(": ");
        Require(colon != std::string::npos && colon > 0);
        Require(problem.find_first_not_of("0123456789") == colon);
        Require(std::stol(problem.substr(0, colon)) <= lines);
    }
    const quarnex::FleetPushSettings& h = config.history;
    for (const std::string* file : {&h.sshKey, &h.knownHosts, &h.tokenFile})
        Require(file->empty() || (*file)[0] == '/');
    for (const std::string* value : {&h.push, &h.sshKey, &h.knownHosts, &h.tokenFile})
        Require(std::none_of(value->begin(), value->end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
    std::set<std::string> devices;
    for (const quarnex::FleetLink& link : config.links) {
        if (link.kind == quarnex::LinkKind::Serial && config.problems.empty())
            Require(devices.insert(link.device).second);
        Require(!link.device.empty() && !link.name.empty() && link.name[0] != '.');
        Require(link.name.find_first_of("/:@\\") == std::string::npos);
        Require(!link.addresses.empty() && link.addresses.front() >= 1 &&
                link.addresses.back() <= 247);
        Require(std::adjacent_find(link.addresses.begin(), link.addresses.end(),
                                   [](int a, int b) { return a >= b; }) == link.addresses.end());
    }
    return 0;
}
