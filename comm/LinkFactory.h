#pragma once

#include "comm/BusLink.h"
#include "comm/SerialLink.h"

#include <functional>
#include <memory>

namespace quarnex {

class CommSettings;
class Prompter;

// Builds the link the settings name, at every open of the master: the master works on whatever
// it is given and never asks which kind of link carries its frames.
using LinkFactory =
    std::function<std::unique_ptr<BusLink>(const CommSettings& settings, Prompter& prompter)>;

// The serial port (its devices opened through ports, the system's serial ports when empty) or
// the network link, as the settings' link kind says.
LinkFactory SettingsLinkFactory(SerialLink::PortFactory ports = {});

} // namespace quarnex
