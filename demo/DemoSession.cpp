#include "demo/DemoSession.h"

#include "comm/CommSettings.h"
#include "sim/DemoBus.h"

namespace quarnex {

bool StartDemoBus(sim::SimBus& bus, Profile& profile, std::string& error) {
    if (!bus.Start(error))
        return false;
    sim::PopulateDemoBus(bus);
    profile.WriteString(CommSettings::kDeviceSection, "COM1", bus.DevicePath());
    profile.WriteInt(CommSettings::kSection, "Com Port", 1);
    return true;
}

std::vector<int> DemoSession::Addresses() {
    return sim::DemoBusAddresses();
}

} // namespace quarnex
