#include "demo/DemoSession.h"

#include "comm/CommSettings.h"
#include "sim/DemoBus.h"
#include "sim/ScaleControl.h"

namespace quarnex {

bool StartDemoBus(sim::SimBus& bus, Profile& profile, std::string& error, bool ready) {
    if (!bus.Start(error))
        return false;
    sim::PopulateDemoBus(bus, ready);
    // Bytes cross the simulated line at the baud rate the program sets, as on a real bus, so the
    // response times the traffic monitor shows are those of the wire.
    bus.SetPacing(0);
    profile.WriteString(CommSettings::kDeviceSection, "COM1", bus.DevicePath());
    profile.WriteInt(CommSettings::kSection, "Com Port", 1);
    return true;
}

std::vector<int> DemoSession::Addresses() {
    return sim::DemoBusAddresses();
}

} // namespace quarnex

namespace quarnex {

bool DemoSession::TestWeights(const std::string& line, std::string& error) {
    return sim::ApplyControlLine(bus_, line, error);
}

} // namespace quarnex
