#include "comm/LinkFactory.h"

#include "comm/CommSettings.h"
#include "comm/NetworkLink.h"

namespace quarnex {

LinkFactory SettingsLinkFactory(SerialLink::PortFactory ports) {
    return [ports = std::move(ports)](const CommSettings& settings,
                                      Prompter& prompter) -> std::unique_ptr<BusLink> {
        if (settings.Kind() == LinkKind::Serial)
            return std::make_unique<SerialLink>(settings, prompter, ports);
        return std::make_unique<NetworkLink>(settings, prompter);
    };
}

} // namespace quarnex
