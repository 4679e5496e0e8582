#include "fleet/FleetConfig.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace quarnex {

namespace {

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// A whole number of digits only, within min ... max.
bool ParseNumber(const std::string& s, int min, int max, int& value) {
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(s);
    return value >= min && value <= max;
}

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool WellFormedUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t n = lead < 0x80                    ? 1
                   : lead >= 0xC2 && lead <= 0xDF ? 2
                   : lead >= 0xE0 && lead <= 0xEF ? 3
                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                  : 0;
        if (n == 0 || i + n > text.size())
            return false;
        uint32_t cp = n == 1 ? lead : lead & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

// The link's name becomes a folder of the history and part of a stored version's name
// (DIR:LINK/ADDRESS@REV): no path separators, none of ":" and "@", no hidden folder.
std::string NameProblem(const std::string& name) {
    if (name.empty())
        return "a link needs a name: [link NAME]";
    if (name.size() > 64)
        return "the link name is longer than 64 characters";
    if (name[0] == '.')
        return "a link name must not start with \".\"";
    if (!WellFormedUtf8(name))
        return "the link name is not valid UTF-8 (save the file as UTF-8)";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return "a link name must not contain control characters";
        if (c == '/' || c == '\\' || c == ':' || c == '@')
            return std::string("a link name must not contain \"") + c + "\"";
    }
    return {};
}

// "1-8,12" into ascending addresses; "" or the problem.
std::string ParseAddresses(const std::string& text, std::vector<int>& out) {
    std::set<int> seen;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        item = Trim(item);
        const size_t dash = item.find('-');
        int first = 0, last = 0;
        if (dash == std::string::npos) {
            if (!ParseNumber(item, 1, 247, first))
                return "bad address \"" + item + "\" (1-247, a range such as 1-8, or search)";
            last = first;
        } else if (!ParseNumber(Trim(item.substr(0, dash)), 1, 247, first) ||
                   !ParseNumber(Trim(item.substr(dash + 1)), 1, 247, last) || last < first) {
            return "bad address range \"" + item + "\" (FIRST-LAST within 1-247)";
        }
        for (int a = first; a <= last; ++a)
            if (!seen.insert(a).second)
                return "address " + std::to_string(a) + " is named twice";
    }
    if (seen.empty())
        return "addresses= names no address (a list such as 1-8,12, or search)";
    out.assign(seen.begin(), seen.end());
    return {};
}

class Parser {
public:
    FleetConfig Run(const std::string& text) {
        std::istringstream in(text);
        std::string raw;
        while (std::getline(in, raw)) {
            ++line_;
            const std::string l = Trim(raw);
            if (l.empty() || l[0] == ';' || l[0] == '#')
                continue;
            if (l[0] == '[')
                Section(l);
            else
                Key(l);
        }
        EndSection();
        SharedDevices();
        if (config_.links.empty() && config_.problems.empty())
            Problem(0, "no link: the file needs at least one [link NAME] section");
        return std::move(config_);
    }

private:
    void Problem(int line, const std::string& text) {
        config_.problems.push_back(std::to_string(line) + ": " + text);
    }

    void Section(const std::string& l) {
        EndSection();
        skipping_ = true; // the keys of a refused section are not reported one by one
        if (l.back() != ']') {
            Problem(line_, "a section header ends with \"]\"");
            return;
        }
        const std::string inner = Trim(l.substr(1, l.size() - 2));
        if (inner == "history") {
            if (historyLine_ > 0) {
                Problem(line_, "[history] is given twice (first on line " +
                                   std::to_string(historyLine_) + ")");
                return;
            }
            historyLine_ = line_;
            inHistory_ = true;
            skipping_ = false;
            return;
        }
        if (inner.rfind("link", 0) != 0 ||
            (inner.size() > 4 && inner[4] != ' ' && inner[4] != '\t')) {
            Problem(line_,
                    "unknown section [" + inner + "] (the sections are [link NAME] and [history])");
            return;
        }
        FleetLink link;
        link.name = Trim(inner.substr(4));
        link.line = line_;
        if (const std::string p = NameProblem(link.name); !p.empty()) {
            Problem(line_, p);
            return;
        }
        for (const FleetLink& other : config_.links)
            if (other.name == link.name) {
                Problem(line_, "link \"" + link.name + "\" is named twice (first on line " +
                                   std::to_string(other.line) + ")");
                return;
            }
        current_ = link;
        open_ = true;
        skipping_ = false;
        keys_.clear();
    }

    void Key(const std::string& l) {
        const size_t eq = l.find('=');
        if (eq == std::string::npos) {
            Problem(line_, "\"" + l + "\" is no KEY=VALUE line");
            return;
        }
        const std::string key = Trim(l.substr(0, eq));
        const std::string value = Trim(l.substr(eq + 1));
        if (inHistory_)
            return HistoryKey(key, value);
        if (!open_) {
            // Inside a section that was refused its own problem was said already.
            if (!skipping_)
                Problem(line_, key + "= outside a [link NAME] section");
            return;
        }
        if (!keys_.insert(key).second) {
            Problem(line_, key + "= is given twice in [link " + current_.name + "]");
            return;
        }
        keyLines_[key] = line_;
        if (key == "device") {
            std::string reason;
            if (ParseLinkAddress(value, current_.kind, current_.host, current_.port, reason)) {
                current_.device = value;
            } else if (!reason.empty()) {
                Problem(line_, "bad network address \"" + value + "\": " + reason);
            } else if (value.empty() || value[0] != '/') {
                Problem(line_, "device= needs a device path (/dev/...), tcp://HOST:PORT or "
                               "mbap://HOST:PORT");
            } else if (std::any_of(value.begin(), value.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
                Problem(line_, "the device path contains a control character");
            } else {
                current_.kind = LinkKind::Serial;
                current_.device = value;
            }
        } else if (key == "baud") {
            int baud = 0;
            if (!ParseNumber(value, 300, 115200, baud) ||
                std::find(std::begin(CommSettings::kBaudRates), std::end(CommSettings::kBaudRates),
                          baud) == std::end(CommSettings::kBaudRates))
                Problem(line_, "unsupported baud rate \"" + value +
                                   "\" (300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, "
                                   "115200)");
            else
                current_.baud = baud;
        } else if (key == "parity") {
            if (value.size() != 1 || std::string("NEOneo").find(value[0]) == std::string::npos)
                Problem(line_, "bad parity \"" + value + "\" (N, E or O)");
            else
                current_.parity =
                    static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
        } else if (key == "addresses") {
            if (value == "search") {
                current_.search = true;
                for (int a = 1; a <= 247; ++a)
                    current_.addresses.push_back(a);
            } else if (const std::string p = ParseAddresses(value, current_.addresses);
                       !p.empty()) {
                Problem(line_, p);
            }
        } else {
            Problem(line_, "unknown key " + key + "= (device, baud, parity, addresses)");
        }
    }

    // A serial port is opened exclusively: a second link on it would fail every run with
    // "Device or resource busy". The same device under two names (a /dev/serial/by-id/ link and
    // the ttyUSB it points to) is the same port.
    void SharedDevices() {
        std::map<std::string, const FleetLink*> seen;
        for (const FleetLink& link : config_.links) {
            if (link.kind != LinkKind::Serial)
                continue;
            std::error_code ec;
            std::string device = std::filesystem::weakly_canonical(link.device, ec).string();
            if (ec || device.empty())
                device = link.device;
            const auto [it, first] = seen.emplace(device, &link);
            if (!first)
                Problem(link.line, "link \"" + link.name + "\" uses the serial device of link \"" +
                                       it->second->name + "\" (line " +
                                       std::to_string(it->second->line) + "): " + device +
                                       "; one link per serial line, with all its addresses");
        }
    }

    void HistoryKey(const std::string& key, const std::string& value) {
        FleetPushSettings& h = config_.history;
        std::string* field = key == "push"          ? &h.push
                             : key == "ssh-key"     ? &h.sshKey
                             : key == "known-hosts" ? &h.knownHosts
                             : key == "token-file"  ? &h.tokenFile
                                                    : nullptr;
        if (!field)
            return Problem(line_, "unknown key " + key +
                                      "= in [history] (push, ssh-key, known-hosts, token-file)");
        if (!historyKeys_.insert(key).second)
            return Problem(line_, key + "= is given twice in [history]");
        if (value.empty() || std::any_of(value.begin(), value.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20;
            }))
            return Problem(line_, key + "= needs a value without control characters");
        if (key != "push" && value[0] != '/')
            return Problem(line_, key + "= needs an absolute path (the service does not run in "
                                        "this folder)");
        *field = value;
    }

    void EndSection() {
        inHistory_ = false;
        if (!open_)
            return;
        open_ = false;
        const std::string where = " in [link " + current_.name + "]";
        bool ok = true;
        if (!keys_.count("device"))
            Problem(current_.line, "device= is missing" + where), ok = false;
        if (!keys_.count("addresses"))
            Problem(current_.line, "addresses= is missing" + where), ok = false;
        if (current_.kind != LinkKind::Serial)
            for (const char* serialOnly : {"baud", "parity"})
                if (keys_.count(serialOnly))
                    Problem(keyLines_[serialOnly], std::string(serialOnly) +
                                                       "= is for serial lines; " + current_.device +
                                                       " is a network link"),
                        ok = false;
        if (ok && !current_.device.empty() && !current_.addresses.empty())
            config_.links.push_back(current_);
    }

    FleetConfig config_;
    FleetLink current_;
    std::set<std::string> keys_;
    std::map<std::string, int> keyLines_;
    std::set<std::string> historyKeys_;
    bool open_ = false;
    bool inHistory_ = false;
    int historyLine_ = 0;
    bool skipping_ = false;
    int line_ = 0;
};

} // namespace

FleetConfig ParseFleetFile(const std::string& text) {
    return Parser().Run(text);
}

FleetConfig ReadFleetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        FleetConfig config;
        config.problems.push_back("0: cannot read the file: " + std::string(std::strerror(errno)));
        return config;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseFleetFile(text.str());
}

CommSettings FleetLinkSettings(const FleetLink& link) {
    CommSettings settings;
    settings.SetKind(link.kind);
    if (link.kind == LinkKind::Serial) {
        settings.SetDevicePath(1, link.device);
        settings.SetPortIndex(0);
        settings.SetBaudRate(link.baud);
        settings.SetParityLetter(link.parity);
    } else {
        settings.SetHost(link.host);
        settings.SetTcpPort(link.port);
    }
    return settings;
}

} // namespace quarnex
