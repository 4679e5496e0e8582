// Times a fleet run of 4 links with 4 KEL 7s each against the slowest link run alone: two serial
// lines (simulators on pseudo-terminals, paced at the wire speed of 115200 baud), a serial device
// server (RTU over TCP) and a Modbus TCP gateway. The links are independent buses, one worker
// each, so the whole run should take little more than its slowest link: the target is at most
// 1.15 times. Also counts the requests each instrument got in the run against one backup's read
// of it, which a run without changes must not exceed. Exit 1 when either target is missed.

#include "comm/ModbusMaster.h"
#include "fleet/FleetWorker.h"
#include "offline/SetupCompare.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"
#include "support/ScriptedProgress.h"
#include "support/ScriptedPrompter.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace quarnex;

namespace {

constexpr int kLinks = 4;
constexpr int kInstruments = 4;

double Seconds(int64_t ns) {
    return static_cast<double>(ns) / 1e9;
}

} // namespace

int main() {
    std::vector<std::unique_ptr<sim::SimBus>> buses;
    std::vector<FleetLink> links;
    const char* kinds[kLinks] = {"pty", "pty", "tcp", "mbap"};
    for (int l = 0; l < kLinks; ++l) {
        auto bus = std::make_unique<sim::SimBus>();
        std::string error;
        if (!bus->Start(error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            return 2;
        }
        for (int a = 1; a <= kInstruments; ++a)
            bus->Attach(a, sim::MakeKel7({.serialNumber = static_cast<uint32_t>(1000 * l + a)}));
        FleetLink link;
        link.name = "link " + std::to_string(l + 1) + " (" + kinds[l] + ")";
        for (int a = 1; a <= kInstruments; ++a)
            link.addresses.push_back(a);
        if (l < 2) {
            bus->SetPacing(0); // the wire speed the master set: 115200 baud
            link.device = bus->DevicePath();
            link.baud = 115200;
        } else {
            const bool mbap = l == 3;
            const int port = bus->ServeNetwork(
                mbap ? sim::NetKind::ModbusTcp : sim::NetKind::RtuOverTcp, "127.0.0.1", 0, error);
            if (port == 0) {
                std::fprintf(stderr, "simulator: %s\n", error.c_str());
                return 2;
            }
            link.kind = mbap ? LinkKind::ModbusTcp : LinkKind::RtuOverTcp;
            link.host = "127.0.0.1";
            link.port = port;
            link.device =
                std::string(mbap ? "mbap" : "tcp") + "://127.0.0.1:" + std::to_string(port);
        }
        links.push_back(link);
        buses.push_back(std::move(bus));
    }

    // One backup's read of one instrument: the requests it takes.
    size_t backupRequests = 0;
    {
        ScriptedPrompter prompter;
        ScriptedProgress progress;
        ModbusMaster master(FleetLinkSettings(links[0]), prompter);
        SetupFileImage image;
        buses[0]->ClearRequests();
        if (!master.Open() || !ReadInstrumentImage(master, 1, prompter, progress, image)) {
            std::fprintf(stderr, "backup read failed: %s\n", prompter.LastText().c_str());
            return 2;
        }
        backupRequests = buses[0]->RequestCount(1);
    }

    double slowest = 0;
    for (const FleetLink& link : links) {
        const int64_t t0 = MonotonicNs();
        const LinkReading r = ReadFleetLink(link, 0);
        const double s = Seconds(MonotonicNs() - t0);
        const auto read = std::count_if(r.instruments.begin(), r.instruments.end(), [](auto& i) {
            return i.outcome == InstrumentReading::Outcome::Read;
        });
        std::printf("%-16s alone: %6.2f s, %ld of %d instruments read\n", link.name.c_str(), s,
                    static_cast<long>(read), kInstruments);
        if (read != kInstruments)
            return 2;
        slowest = std::max(slowest, s);
    }

    for (auto& bus : buses)
        bus->ClearRequests();
    const int64_t t0 = MonotonicNs();
    const std::vector<LinkReading> all = ReadFleet(links, 0);
    const double together = Seconds(MonotonicNs() - t0);
    size_t most = 0;
    for (int l = 0; l < kLinks; ++l)
        for (int a = 1; a <= kInstruments; ++a)
            most = std::max(most, buses[static_cast<size_t>(l)]->RequestCount(a));
    const double ratio = together / slowest;
    std::printf("all %d links at once: %.2f s; slowest link alone %.2f s; ratio %.3f (target "
                "at most 1.15)\n",
                kLinks, together, slowest, ratio);
    std::printf("requests per instrument in the run: at most %zu; one backup's read: %zu\n", most,
                backupRequests);
    return ratio <= 1.15 && most <= backupRequests ? 0 : 1;
}
