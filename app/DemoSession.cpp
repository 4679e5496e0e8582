#include "app/DemoSession.h"

#include "comm/CommSettings.h"
#include "monitor/WatchedSet.h"
#include "sim/DemoBus.h"

namespace quarnex {

bool DemoSession::Start(std::string& error) {
    if (!bus_.Start(error))
        return false;
    sim::PopulateDemoBus(bus_);
    profile_.WriteString(CommSettings::kDeviceSection, "COM1", bus_.DevicePath());
    profile_.WriteInt(CommSettings::kSection, "Com Port", 1);
    AddressFlags watched{};
    for (int address : sim::DemoBusAddresses())
        if (address >= kFirstAddress && address <= kLastAddress)
            watched[address] = true;
    SaveWatchedSet(profile_, watched);
    return true;
}

} // namespace quarnex
