#pragma once

#include "comm/CommSettings.h"

#include <string>
#include <vector>

namespace quarnex {

// One bus of a plant as the fleet file names it: a serial line, a serial device server
// (tcp://HOST:PORT) or a Modbus TCP gateway (mbap://HOST:PORT), and the instruments on it.
struct FleetLink {
    std::string name;   // [link NAME]: also the history's folder of this bus
    std::string device; // as written: a device path or a network address
    LinkKind kind = LinkKind::Serial;
    std::string host; // network links
    int port = 0;
    int baud = 9600; // serial lines
    char parity = 'N';
    bool search = false;        // addresses=search: the whole bus, 1-247
    std::vector<int> addresses; // ascending, each once
    int line = 0;               // the line of its section header
};

// Where the history goes and how it gets there: the fleet file's [history] section. The command
// line's options of the same names win over it.
struct FleetPushSettings {
    std::string push;       // push=        a remote's name, a URL or a path
    std::string sshKey;     // ssh-key=     a private key file
    std::string knownHosts; // known-hosts= the ssh server's host keys
    std::string tokenFile;  // token-file=  https: a file holding the token
};

// The fleet file, in the profile's INI style:
//
//   ; Hall B: the batching line
//   [link Hall B]
//   device=/dev/serial/by-id/usb-FTDI_USB-RS485-if00-port0
//   baud=19200
//   parity=E
//   addresses=1-8,12
//
//   [link Silo]
//   device=mbap://10.0.4.17:502
//   addresses=search
//
//   [history]
//   push=ssh://history@central.example/srv/plant-a.git
//   ssh-key=/etc/quarnex/push-key
//   known-hosts=/etc/quarnex/known_hosts
//
// Lines starting with ";" or "#" are comments. Every problem is one message "LINE: what is wrong"
// (line 0 for the file as a whole); the file is usable when there are none.
struct FleetConfig {
    std::vector<FleetLink> links;
    FleetPushSettings history;
    std::vector<std::string> problems;
    bool Usable() const { return problems.empty() && !links.empty(); }
};

FleetConfig ParseFleetFile(const std::string& text);
// Reads and parses the file; a file that cannot be read gives one problem with the system's reason.
FleetConfig ReadFleetFile(const std::string& path);

// The settings the master of one link works with: its device (as COM1) at its baud rate and
// parity, or its network address.
CommSettings FleetLinkSettings(const FleetLink& link);

} // namespace quarnex
