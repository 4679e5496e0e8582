// Searches behind a model of a real Modbus TCP gateway (the simulator's gateway model: one
// request at a time over its own serial line, exception 0x0B after its target time-out for an
// empty address), for target time-outs of 50, 100, 300 and 1000 ms and lines at 1200, 2400,
// 9600 and 115200 baud, each with instruments at 2, 5 and 7:
//  - found by `quarnex-cli scan 1 8` and by `quarnex-cli -r 0 backup all DIR` (saved, failed
//    or skipped: every address that answered), against the 3 there;
//  - the cost of one attempt at a silent address, against the gateway's own time to answer
//    0x0B (the request's wire time on its line plus its target time-out). Target: <= 1.1.
// Then a gateway that stays silent: the cost of a silent address with the usual 3 attempts,
// against 3 x the response time-out, and the notice the search gives before it starts.
// Usage: quarnex-bench-gateway [TARGET_MS ...]; the whole table takes some 25 minutes (backup
// all asks all 247 addresses). Asserts nothing.

#include "cli/Cli.h"
#include "comm/ModbusMaster.h"
#include "monitor/BusSearch.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "sim/RegisterBank.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quarnex;

namespace {

constexpr int kInstruments[] = {2, 5, 7};

struct Bus {
    sim::SimBus sim;
    int port = 0;
    bool Start(int targetMs, int baud, uint8_t code) {
        std::string error;
        if (!sim.Start(error))
            return false;
        for (int a : kInstruments) {
            auto bank = std::make_shared<sim::RegisterBank>();
            bank->AddBlock(0, 200);
            bank->Set(0, 2003);
            sim.Attach(a, bank);
        }
        port = sim.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
        sim.SetGatewayModel(targetMs, baud);
        sim.SetGatewayException(code);
        if (port == 0)
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return port != 0;
    }
    std::string Address() const { return "mbap://127.0.0.1:" + std::to_string(port); }
};

// Runs quarnex-cli in this process; its standard output.
std::string Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    RunCli(args, Profile(), out, err, false);
    return out.str();
}

int ScanFound(const Bus& bus) {
    const std::string out = Cli({"-d", bus.Address(), "scan", "1", "8"});
    int found = -1, of = 0;
    const size_t at = out.rfind('\n', out.size() - 2);
    std::sscanf(out.c_str() + (at == std::string::npos ? 0 : at + 1), "%d of %d", &found, &of);
    return found;
}

int BackupAllFound(const Bus& bus) {
    char dir[] = "/tmp/quarnex-bench-gatewayXXXXXX";
    if (!::mkdtemp(dir))
        return -1;
    const std::string out = Cli({"-d", bus.Address(), "-r", "0", "backup", "all", dir});
    std::filesystem::remove_all(dir);
    int saved = 0, failed = 0, skipped = 0, silent = 0, of = 0;
    if (std::sscanf(out.c_str(), "saved %d, failed %d, skipped %d, silent %d of %d", &saved,
                    &failed, &skipped, &silent, &of) != 5)
        return -1;
    return saved + failed + skipped;
}

// A profile whose link is the gateway model on loopback at port.
Profile GatewayProfile(int port) {
    Profile profile;
    profile.WriteString("Comm Param", "Link", "mbap");
    profile.WriteString("Comm Param", "Host", "127.0.0.1");
    profile.WriteInt("Comm Param", "TCP Port", port);
    return profile;
}

// The mean time of one probe attempt at silent address 1, in ms.
double SilentAttemptMs(const Bus& bus, int attempts, int retries) {
    Profile profile = GatewayProfile(bus.port);
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open())
        return -1;
    const int64_t t0 = MonotonicNs();
    for (int i = 0; i < attempts; ++i) {
        uint16_t v = 0;
        master.ReadHoldingRegisters(1, 40001, 1, &v, {.retries = retries, .probe = true});
    }
    return static_cast<double>(MonotonicNs() - t0) / 1e6 / attempts;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> targets = {50, 100, 300, 1000};
    if (argc > 1) {
        targets.clear();
        for (int i = 1; i < argc; ++i)
            targets.push_back(std::atoi(argv[i]));
    }
    const int bauds[] = {1200, 2400, 9600, 115200};
    std::printf("gateway  line     there  scan  backup-all  silent attempt  gateway's 0x0B  "
                "ratio (target <= 1.1)\n");
    for (int target : targets) {
        for (int baud : bauds) {
            Bus bus;
            if (!bus.Start(target, baud, 0x0B))
                return 1;
            const int scan = ScanFound(bus);
            const double attempt = SilentAttemptMs(bus, 5, 0);
            // The gateway's own time: the 8-byte request on its line, then its target time-out.
            const double own = target + 8 * 11000.0 / baud;
            const int backup = BackupAllFound(bus);
            std::printf("%4d ms  %6d  %5d  %4d  %10d  %11.1f ms  %11.1f ms  %5.2f\n", target, baud,
                        3, scan, backup, attempt, own, attempt / own);
            std::fflush(stdout);
        }
    }
    // A gateway that never says 0x0B: every attempt waits the response time-out.
    Bus bus;
    if (!bus.Start(0, 9600, 0))
        return 1;
    const double address = SilentAttemptMs(bus, 1, 2);
    std::printf("silent gateway: %.0f ms per silent address with 3 attempts (3 x %d ms response "
                "timeout = %d ms)\n",
                address, CommSettings::kDefaultResponseTimeout,
                3 * CommSettings::kDefaultResponseTimeout);
    Profile profile = GatewayProfile(bus.port);
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    std::printf("scan 1 247, said first: %s\n", SilentGatewayNotice(master, 247 * 3).c_str());
    return 0;
}
