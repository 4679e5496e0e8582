// Searches over every link, and the search for forgotten line settings:
//  - a scan of the 247 addresses of an empty bus as quarnex-cli scan asks them (3 attempts each,
//    the poll margin, as search probes): over the pseudo-terminal paced at 115200 baud, and over
//    Modbus TCP on loopback, once through a gateway that answers 0x0B for a silent target and
//    once through one that stays silent at 5 addresses (then every attempt waits the response
//    time-out). Target: Modbus TCP with 0x0B <= 1.2 x the pseudo-terminal.
//  - the settings search for one instrument at address 17 set to 19200 baud, parity E, from a
//    profile at 9600 N: over the likely addresses (watched 17, and 1-10) and over 1-20.
//    Target: <= 30 s.
// Usage: quarnex-bench-search; asserts nothing.

#include "comm/ModbusMaster.h"
#include "monitor/SettingsSearch.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "sim/RegisterBank.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <string>

using namespace quarnex;

namespace {

double ScanSeconds(ModbusMaster& master, int last) {
    const int64_t t0 = MonotonicNs();
    for (int a = 1; a <= last; ++a) {
        uint16_t code = 0;
        master.ReadHoldingRegisters(
            a, 40001, 1, &code,
            {.retries = 2, .extraTimeout = master.PollTimeout(), .probe = true});
    }
    return static_cast<double>(MonotonicNs() - t0) / 1e9;
}

double ScanOver(sim::SimBus& bus, const char* link, int port, uint8_t gatewayCode, int last = 247) {
    Profile profile;
    profile.WriteInt("Comm Param", "Baud", 115200);
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    if (port != 0) {
        profile.WriteString("Comm Param", "Link", link);
        profile.WriteString("Comm Param", "Host", "127.0.0.1");
        profile.WriteInt("Comm Param", "TCP Port", port);
    }
    bus.SetGatewayException(gatewayCode);
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open()) {
        std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
        return -1;
    }
    return ScanSeconds(master, last);
}

double FindSeconds(sim::SimBus& bus, const std::vector<int>& addresses, std::string& summary) {
    Profile profile;
    profile.WriteString("Serial Devices", "COM1", bus.DevicePath());
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    if (!master.Open())
        return -1;
    const int64_t t0 = MonotonicNs();
    SettingsSearch search(master, addresses, false, 2);
    while (search.Step()) {
    }
    summary = search.Summary() + " (" + std::to_string(search.SettingNumber()) + " settings)";
    return static_cast<double>(MonotonicNs() - t0) / 1e9;
}

} // namespace

int main() {
    sim::SimBus bus;
    std::string error;
    if (!bus.Start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    bus.SetPacing(0);
    const int mbap = bus.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
    if (mbap == 0) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    const double pty = ScanOver(bus, "serial", 0, 0);
    const double gateway = ScanOver(bus, "mbap", mbap, 0x0B);
    const double silent = ScanOver(bus, "mbap", mbap, 0, 5);
    std::printf("scan of 247 empty addresses, 3 attempts each: pty at 115200 %.2f s; mbap:// with "
                "0x0B %.2f s (ratio %.2f, target <= 1.2); mbap:// silent gateway %.2f s per "
                "address (response time-out %d ms)\n",
                pty, gateway, gateway / pty, silent / 5, CommSettings::kDefaultResponseTimeout);

    auto bank = std::make_shared<sim::RegisterBank>();
    bank->AddBlock(0, 100);
    bank->Set(0, 2003);
    bus.Attach(17, bank);
    bus.SetLineSettings(17, {19200, 'E'});
    std::string summary;
    AddressFlags watched{};
    watched[17] = true;
    const double likely = FindSeconds(bus, SettingsSearch::LikelyAddresses(watched), summary);
    std::printf("settings search, watched 17 and 1-10: %.1f s (target <= 30 s): %s\n", likely,
                summary.c_str());
    const double range = FindSeconds(bus, SettingsSearch::Range(1, 20), summary);
    std::printf("settings search, addresses 1-20: %.1f s (target <= 30 s): %s\n", range,
                summary.c_str());
    return 0;
}
