#include "cli/Cli.h"

#include "cli/CliCheck.h"
#include "cli/CliDiff.h"
#include "cli/CliFiles.h"
#include "cli/CliFindSettings.h"
#include "cli/CliFleet.h"
#include "cli/CliLog.h"
#include "cli/CliSignals.h"
#include "cli/CliTerminal.h"
#include "comm/ModbusMaster.h"
#include "demo/DemoSession.h"
#include "instrument/Registers.h"
#include "monitor/BusSearch.h"
#include "monitor/SettingsSearch.h"
#include "monitor/panel/WeightLog.h"
#include "platform/Clock.h"
#include "platform/PortDiscovery.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "res/Strings.h"
#include "res/UpgradeTextIds.h"
#include "upgrade/SoftwareUpgrade.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>

namespace quarnex {

namespace {

struct Options {
    std::string device;
    int com = 0;
    int baud = 0;
    char parity = 0;
    int retries = 2;
    int extraTimeout = 0;
    int repeat = 1;
    bool demo = false;
    // The set-up file commands.
    std::string info;
    std::string sections;
    bool sectionsGiven = false; // --sections "" names nothing, it is not "everything"
    bool withAddress = false;   // restore: take the file's address, baud rate and parity
    bool yes = false;           // restore, upgrade, default-setup: answer Yes to the question
    bool trace = false;
    std::vector<std::string> logOptions;   // the log's own: name, value, name, value ...
    std::vector<std::string> checkOptions; // the check's own, the same way (a flag: "")
    bool quiet = false;                    // backup all: the silent addresses are not listed
    bool findSettings = false;             // scan: try every baud rate and parity
    bool goOn = false;                     // scan --find-settings: every setting, not the first
    int rs485 = -1;                        // --rs485 on|off: 1 or 0; -1 as the profile says
    AddressFlags watched{};                // the user's watched set, asked first by --find-settings
    bool help = false;
    // diff: --brief, and --against FILE for a folder against a reference.
    bool brief = false;
    std::string against;
    // fleet backup: --history DIR, --push REMOTE and how the push authenticates, --jobs N.
    std::string history;
    std::string push;
    PushCredentials credentials;
    int jobs = 0; // 0: not given
    // Given on the command line: -r, -t and -n shape the single requests of the register
    // commands, and are refused by the others rather than ignored.
    std::vector<std::string> requestOptions;
    std::vector<std::string> words;
};

// Decimal, or hexadecimal with 0x. A leading zero does not make a number octal: "010" is ten, as
// an engineer copying register values from a data sheet means it.
bool ParseInt(const std::string& s, long min, long max, long& value) {
    if (s.empty())
        return false;
    const size_t sign = s[0] == '-' || s[0] == '+' ? 1 : 0;
    const bool hex =
        s.size() > sign + 2 && s[sign] == '0' && (s[sign + 1] == 'x' || s[sign + 1] == 'X');
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseFloat(const std::string& s, float& value) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 3.4e38)
        return false;
    value = static_cast<float>(v);
    return true;
}

// A device path as it can be meant: blanks at its ends or control characters are refused rather
// than opened as another device than the one named.
bool UsableDevicePath(const std::string& path) {
    if (path.empty() || std::isspace(static_cast<unsigned char>(path.front())) ||
        std::isspace(static_cast<unsigned char>(path.back())))
        return false;
    return std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F;
    });
}

// Fills o from args; on error returns the message.
// "-5", "-.5", "-1e3": a value for a command, not an option.
bool IsNegativeNumber(const std::string& a) {
    const auto digit = [&](size_t i) {
        return i < a.size() && std::isdigit(static_cast<unsigned char>(a[i]));
    };
    return a.size() > 1 && a[0] == '-' && (digit(1) || (a[1] == '.' && digit(2)));
}

std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // "--" ends the options: a file named "-x.kel" or "--yes" is then a word like any other.
        if (a == "--") {
            o.words.insert(o.words.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        auto value = [&](long min, long max, long& v) -> std::string {
            if (i + 1 >= args.size())
                return "option " + a + " needs a value";
            if (!ParseInt(args[++i], min, max, v))
                return "bad value for " + a + ": '" + args[i] + "' (" + std::to_string(min) +
                       " to " + std::to_string(max) + ")";
            return {};
        };
        long v = 0;
        std::string e;
        // After `check` its own options come first: its --repeat is LOAD:N, not a count.
        if (bool flag = false;
            !o.words.empty() && o.words[0] == "check" && IsCheckOption(a, flag)) {
            if (!flag && i + 1 >= args.size())
                return "option " + a + " needs a value";
            o.checkOptions.push_back(a);
            o.checkOptions.push_back(flag ? std::string() : args[++i]);
            continue;
        }
        if (a == "-r" || a == "--retries" || a == "-t" || a == "--timeout" || a == "-n" ||
            a == "--repeat")
            o.requestOptions.push_back(a);
        if (a == "-h" || a == "--help") {
            // After any command too: "backup --help" shows the usage, it is not an option error.
            o.help = true;
            return {};
        } else if (a == "-d" || a == "--device") {
            if (i + 1 >= args.size())
                return "option " + a + " needs a device path";
            o.device = args[++i];
            LinkKind kind;
            std::string host, reason;
            int port = 0;
            if (!ParseLinkAddress(o.device, kind, host, port, reason) && !reason.empty())
                return "bad network address for " + a + " '" + o.device + "': " + reason;
            if (!UsableDevicePath(o.device))
                return "bad device path for " + a +
                       " (empty, blanks around it, or a control character in it)";
        } else if (a == "-c" || a == "--com") {
            if (!(e = value(1, 9, v)).empty())
                return e;
            o.com = static_cast<int>(v);
        } else if (a == "-b" || a == "--baud") {
            if (!(e = value(300, 115200, v)).empty())
                return e;
            if (std::find(std::begin(CommSettings::kBaudRates), std::end(CommSettings::kBaudRates),
                          v) == std::end(CommSettings::kBaudRates))
                return "unsupported baud rate " + args[i] +
                       " (300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)";
            o.baud = static_cast<int>(v);
        } else if (a == "-p" || a == "--parity") {
            if (i + 1 >= args.size())
                return "option " + a + " needs N, E or O";
            const std::string p = args[++i];
            if (p != "N" && p != "E" && p != "O" && p != "n" && p != "e" && p != "o")
                return "bad parity '" + p + "' (N, E or O)";
            o.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
        } else if (a == "-r" || a == "--retries") {
            if (!(e = value(0, 255, v)).empty())
                return e;
            o.retries = static_cast<int>(v);
        } else if (a == "-t" || a == "--timeout") {
            if (!(e = value(0, 100000, v)).empty())
                return e;
            o.extraTimeout = static_cast<int>(v);
        } else if (a == "-n" || a == "--repeat") {
            if (!(e = value(1, 1000000, v)).empty())
                return e;
            o.repeat = static_cast<int>(v);
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--info" || a == "--sections") {
            if (i + 1 >= args.size())
                return "option " + a + " needs a value";
            (a == "--info" ? o.info : o.sections) = args[++i];
            o.sectionsGiven = o.sectionsGiven || a == "--sections";
        } else if (IsLogOption(a)) {
            if (i + 1 >= args.size())
                return "option " + a + " needs a value";
            o.logOptions.push_back(a);
            o.logOptions.push_back(args[++i]);
        } else if (a == "--brief") {
            o.brief = true;
        } else if (a == "--against") {
            if (i + 1 >= args.size())
                return "option " + a + " needs a set-up file";
            o.against = args[++i];
        } else if (a == "--history" || a == "--push" || a == "--ssh-key" || a == "--known-hosts" ||
                   a == "--token-file") {
            if (i + 1 >= args.size())
                return "option " + a + " needs a value";
            (a == "--history"       ? o.history
             : a == "--push"        ? o.push
             : a == "--ssh-key"     ? o.credentials.sshKey
             : a == "--known-hosts" ? o.credentials.knownHosts
                                    : o.credentials.tokenFile) = args[++i];
        } else if (a == "--jobs") {
            long v = 0;
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], 1, 256, v))
                return "option " + a + " needs a number of links at once, 1-256";
            o.jobs = static_cast<int>(v);
            ++i;
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "--with-address") {
            o.withAddress = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--find-settings") {
            o.findSettings = true;
        } else if (a == "--go-on") {
            o.goOn = true;
        } else if (a == "--rs485") {
            if (i + 1 >= args.size() || (args[i + 1] != "on" && args[i + 1] != "off"))
                return "option " + a + " needs on or off";
            o.rs485 = args[++i] == "on" ? 1 : 0;
        } else if (a.size() > 1 && a[0] == '-' && !IsNegativeNumber(a)) {
            return "unknown option " + a;
        } else {
            o.words.push_back(a);
        }
    }
    if (o.words.empty())
        return "no command given";
    if (!o.logOptions.empty() && o.words[0] != "log")
        return "option " + o.logOptions[0] + " is for the log command only";
    return {};
}

// One request of the command, repeated as asked; the values of the last one are printed.
struct Request {
    std::string command;
    int slave = 0, reg = 0, count = 1, coil = 0;
    bool on = false;
    std::vector<uint16_t> words;
    std::vector<float> floats;
};

std::string ParseRequest(const std::vector<std::string>& w, Request& r) {
    r.command = w[0];
    long v = 0;
    auto need = [&](size_t n, const char* form) -> std::string {
        if (w.size() < n)
            return std::string("usage: ") + form;
        return {};
    };
    auto slave = [&]() -> std::string {
        if (!ParseInt(w[1], 1, 247, v))
            return "bad slave address '" + w[1] + "' (1 to 247)";
        r.slave = static_cast<int>(v);
        return {};
    };
    auto reg = [&]() -> std::string {
        if (!ParseInt(w[2], 40001, 49999, v))
            return "bad register '" + w[2] + "' (40001 to 49999)";
        r.reg = static_cast<int>(v);
        return {};
    };
    std::string e;
    if (r.command == "read" || r.command == "readf") {
        const bool f = r.command == "readf";
        if (!(e = need(3, f ? "readf ADDR REG [COUNT]" : "read ADDR REG [COUNT]")).empty() ||
            !(e = slave()).empty() || !(e = reg()).empty())
            return e;
        if (w.size() > 4)
            return "too many arguments for " + r.command;
        if (w.size() == 4) {
            if (!ParseInt(w[3], 1, f ? 50 : 100, v))
                return "bad count '" + w[3] + "' (1 to " + (f ? "50" : "100") + ")";
            r.count = static_cast<int>(v);
        }
    } else if (r.command == "write" || r.command == "writef") {
        const bool f = r.command == "writef";
        if (!(e = need(4, f ? "writef ADDR REG VALUE..." : "write ADDR REG VALUE...")).empty() ||
            !(e = slave()).empty() || !(e = reg()).empty())
            return e;
        for (size_t i = 3; i < w.size(); ++i) {
            if (f) {
                float x;
                if (!ParseFloat(w[i], x))
                    return "bad float value '" + w[i] + "'";
                r.floats.push_back(x);
            } else {
                if (!ParseInt(w[i], -32768, 65535, v))
                    return "bad register value '" + w[i] + "' (-32768 to 65535)";
                r.words.push_back(static_cast<uint16_t>(v));
            }
        }
        r.count = static_cast<int>(f ? r.floats.size() : r.words.size());
        if (r.count > (f ? 50 : 100))
            return "too many values (at most " + std::string(f ? "50" : "100") + ")";
    } else if (r.command == "coil") {
        if (!(e = need(4, "coil ADDR COIL on|off")).empty() || !(e = slave()).empty())
            return e;
        if (!ParseInt(w[2], 1, 65535, v))
            return "bad coil number '" + w[2] + "' (1 to 65535)";
        r.coil = static_cast<int>(v);
        if (w[3] != "on" && w[3] != "off" && w[3] != "1" && w[3] != "0")
            return "coil state must be on or off, not '" + w[3] + "'";
        r.on = w[3] == "on" || w[3] == "1";
        if (w.size() > 4)
            return "too many arguments for coil";
    } else if (r.command == "scan") {
        r.slave = 1;
        r.coil = 247; // last address
        if (w.size() > 1) {
            if (!ParseInt(w[1], 1, 247, v))
                return "bad first address '" + w[1] + "' (1 to 247)";
            r.slave = static_cast<int>(v);
        }
        if (w.size() > 2) {
            if (!ParseInt(w[2], r.slave, 247, v))
                return "bad last address '" + w[2] + "' (" + std::to_string(r.slave) + " to 247)";
            r.coil = static_cast<int>(v);
        }
        if (w.size() > 3)
            return "too many arguments for scan";
    } else {
        return "unknown command '" + r.command + "'";
    }
    return {};
}

} // namespace

std::string CheckCliArguments(const std::vector<std::string>& args, std::string* device) {
    Options o;
    Request r;
    std::string e = ParseOptions(args, o);
    if (o.help) {
        // Help is printed whatever else was given, and no device is opened for it.
        if (device)
            device->clear();
        return {};
    }
    LogCommand log;
    if (e.empty() && o.words[0] == "log")
        e = CheckLogCommand(o.words, o.logOptions, log);
    else if (e.empty())
        e = ParseRequest(o.words, r);
    if (e.empty() && device)
        *device = o.device;
    return e;
}

namespace {

std::string FloatText(float v) {
    std::ostringstream s;
    s << std::setprecision(9) << v;
    return s.str();
}

} // namespace

std::string CliUsage() {
    return "usage: quarnex-cli [options] COMMAND ...\n"
           "commands:\n"
           "  read   ADDR REG [COUNT]    read COUNT (1-100) holding registers from REG\n"
           "  readf  ADDR REG [COUNT]    read COUNT (1-50) floats, high word first\n"
           "  write  ADDR REG VALUE...   write 16-bit registers (function 6 for one, 16 for more)\n"
           "  writef ADDR REG VALUE...   write floats, high word first\n"
           "  coil   ADDR COIL on|off    write one coil (numbered from 1)\n"
           "  scan   [FIRST [LAST]]      list the addresses that answer register 40001\n"
           "  scan --find-settings [FIRST [LAST]] [--go-on]\n"
           "                            try every baud rate and parity on the serial port until\n"
           "                            an instrument answers (addresses: the watched set and\n"
           "                            1-10 unless given); --go-on tries them all; exit 1 when\n"
           "                            nothing answers\n"
           "  ports                     list the serial devices and whether they can be used\n"
           "  image  FILE               check a software upgrade file and print its summary\n"
           "  upgrade ADDR FILE [--yes] load the upgrade file into the instrument at ADDR\n"
           "  default-setup ADDR [--yes]  make the instrument at ADDR store a default set-up\n"
           "  backup ADDR FILE [--info TEXT]     save the set-up of a KEL 7 into a set-up file\n"
           "  backup all DIR [--quiet]  save every KEL 7 Recipe Batcher that answers into DIR;\n"
           "                            lists the silent addresses unless --quiet\n"
           "  restore ADDR FILE [--sections setup,strings,batching,recipes] [--yes]\n"
           "          [--with-address]  load a set-up file into a KEL 7 (asks: No unless --yes);\n"
           "                            the instrument keeps its address, baud rate and parity\n"
           "                            unless --with-address takes the file's\n"
           "  list FILE                 list a set-up file\n"
           "  log ADDR[,ADDR...] [--interval MS] [--duration S] [--csv FILE]\n"
           "                            log the weights as CSV rows until the duration or Ctrl+C\n"
           "  diff FILE|ADDR FILE|ADDR [--brief]\n"
           "                            compare two set-ups (files, or instruments read as a "
           "backup\n"
           "                            reads them; a file named like an address as ./3): only\n"
           "                            what differs; exit 0 equal, 1 different, 3 on any failure\n"
           "  diff --against FILE DIR [--brief]\n"
           "                            every set-up file in DIR against FILE: which rows differ\n"
           "                            (a FILE may be a stored version DIR:LINK/ADDRESS@REV, REV\n"
           "                            a commit, a date 2026-12-07 [14:30] or ~N versions back)\n"
           "  fleet check FILE          check a fleet file: its links and their addresses\n"
           "  fleet backup FILE --history DIR [--push REMOTE] [--jobs N]\n"
           "        [--ssh-key FILE] [--known-hosts FILE] [--token-file FILE]\n"
           "                            read the links (N at once, default 16), keep the set-ups\n"
           "                            in the git repository DIR: one commit per run that\n"
           "                            changed something; push what REMOTE lacks;\n"
           "                            exit 0 no change, 1 changes committed, 3 a failure\n"
           "  history DIR [LINK/ADDRESS]  the versions in a history, newest first\n"
           "  check ADDR --loads L1,L2,... [--down] [--repeat LOAD:N] [--eccentric LOAD:4|5]\n"
           "        [--class I|II|III|IIII [--e E] [--in-service] | --tolerance X[%]]\n"
           "        [--record FILE [--as-left [--replace-as-left]]] [--report FILE.pdf]\n"
           "        [--technician NAME] [--notes TEXT] [--next-check DATE] [--settle S]\n"
           "        [--weights \"ID, class F1, certificate C-123 of 2026-03-01\"]\n"
           "        [--scale \"Silo 3 scale, hall B\"]\n"
           "                            check with test weights: prompts for each load (Enter\n"
           "                            reads the still gross weight, s skips, b back, q quits;\n"
           "                            answers are lines of standard input), prints each\n"
           "                            reading and the table; class III with e = the display\n"
           "                            step unless told; --as-left repeats the record's plan\n"
           "                            after calibration (a second one only with\n"
           "                            --replace-as-left, the first kept as superseded); Ctrl+C\n"
           "                            ends at any prompt, keeping the readings; exit 0 all\n"
           "                            within tolerance, 7 not, 4 quit or a step skipped\n"
           "registers are numbered 40001-49999, addresses 1-247\n"
           "options:\n"
           "  -d, --device PATH   serial device (default: the profile's link), or\n"
           "                      tcp://HOST:PORT (serial device server, RTU over TCP) or\n"
           "                      mbap://HOST:PORT (Modbus TCP gateway, unit id = address)\n"
           "  -c, --com N         COM number 1-9, mapped by the profile's [Serial Devices]\n"
           "  -b, --baud B        300 ... 115200 (default: profile, else 9600)\n"
           "  -p, --parity N|E|O  (default: profile, else N); always 8 data bits, 2 stop bits\n"
           "  -r, --retries N     repeats after a failed attempt, 0-255 (default 2)\n"
           "  -t, --timeout MS    receive margin in place of the usual 400 ms\n"
           "  -n, --repeat N      run the request N times and print a summary\n"
           "                      (-r, -t: read, readf, write, writef, coil, scan; -n: not scan;\n"
           "                      the other commands run the instrument's own procedure)\n"
           "      --demo          use a simulated bus of instruments instead of a device\n"
           "      --trace         print every request and answer with its timing on stderr\n"
           "      --rs485 on|off  the port's RS-485 mode for this run (profile key RS485 in\n"
           "                      [Comm Param], with RS485 delay before/after in ms)\n"
           "  -h, --help          this text, also after a command\n"
           "the report goes to stdout; messages, questions and progress to stderr\n" +
           CliExitCodesHelp();
}

// `ports`: the serial devices present, as the settings dialog offers them. QUARNEX_PORTS_ROOT, when
// set, is a folder holding dev/, sys/, proc/ and run/lock/ to look at instead of the system's own;
// the tests point it at a fake tree.
static int RunPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() > 1) {
        err << "quarnex-cli: ports takes no arguments\n";
        return kExitArguments;
    }
    const char* fakeRoot = std::getenv("QUARNEX_PORTS_ROOT");
    const std::vector<SerialDeviceInfo> devices =
        fakeRoot && *fakeRoot
            ? DiscoverSerialDevices(PortRoots::Under(fakeRoot), PortUser::Current())
            : DiscoverSerialDevices();
    if (devices.empty()) {
        out << "no serial devices found\n";
        return kExitDone;
    }
    for (const SerialDeviceInfo& d : devices) {
        out << d.path << '\n';
        if (d.preferredPath != d.path)
            out << "  by-id:   " << d.preferredPath << '\n';
        if (const std::string description = SerialDeviceDescription(d); !description.empty())
            out << "  device:  " << description << '\n';
        if (!d.driver.empty())
            out << "  driver:  " << d.driver << '\n';
        if (d.latencyTimerMs >= 0)
            out << "  latency: " << d.latencyTimerMs << " ms\n";
        if (std::string hint = LatencyTimerHint(d); !hint.empty()) {
            for (size_t at = hint.find('\n'); at != std::string::npos; at = hint.find('\n', at + 1))
                hint.insert(at + 1, "           ");
            out << "           " << hint << '\n';
        }
        const std::string problem = SerialDeviceProblemText(d);
        out << "  access:  " << (problem.empty() ? "usable" : problem) << '\n';
    }
    return kExitDone;
}

// ---- Software upgrade: image, upgrade, default-setup ------------------------------------------

static bool IsUpgradeCommand(const std::vector<std::string>& words) {
    return !words.empty() &&
           (words[0] == "image" || words[0] == "upgrade" || words[0] == "default-setup");
}

// The dialog's texts use CR LF between lines; a terminal wants LF.
static std::string TerminalLines(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

// Checks the arguments of an upgrade command; "" when they are right.
static std::string CheckUpgradeWords(const std::vector<std::string>& w, int& address) {
    const std::string& c = w[0];
    const size_t want = c == "image" ? 2 : c == "upgrade" ? 3 : 2;
    if (w.size() != want)
        return c == "image"     ? "usage: image FILE"
               : c == "upgrade" ? "usage: upgrade ADDR FILE [--yes]"
                                : "usage: default-setup ADDR [--yes]";
    long v = 0;
    if (c != "image") {
        if (!ParseInt(w[1], 1, 247, v))
            return "bad slave address '" + w[1] + "' (1 to 247)";
        address = static_cast<int>(v);
    }
    return {};
}

// `image FILE`: the summary the upgrade dialog shows, or its refusal. No bus.
static int RunImage(const std::string& path, Terminal& terminal) {
    TerminalPrompter prompter(terminal, false);
    UpgradeImage image;
    if (!image.ReadFile(path, UpgradeImage::OnFailure::Clear, prompter)) {
        terminal.Message(Text(ids::kNotUpgradeFile));
        return kExitFailed;
    }
    terminal.Out() << TerminalLines(image.Summary()) << '\n';
    return kExitDone;
}

// After its upgrade the instrument restarts and is silent for a while: it is asked until it
// answers again, for at most kRestartWaitMs, before its program information is read.
constexpr int64_t kRestartWaitMs = 30000;

static bool WaitForAnswer(ModbusMaster& master, int address, Terminal& terminal) {
    terminal.Message("waiting for the instrument to answer after its restart (at most " +
                     std::to_string(kRestartWaitMs / 1000) + " s)");
    const int64_t end = MonotonicMs() + kRestartWaitMs;
    while (MonotonicMs() < end) {
        const int64_t asked = MonotonicMs();
        uint16_t code = 0;
        const CommStatus s =
            master.ReadHoldingRegisters(address, reg::kTypeCode, 1, &code,
                                        {.retries = 0, .extraTimeout = master.PollTimeout()});
        if (s == CommStatus::Ok)
            return true;
        // A port that fails at once is not asked again in a tight loop.
        if (MonotonicMs() - asked < 100)
            Delay(100);
    }
    terminal.Message("the instrument did not answer within " +
                     std::to_string(kRestartWaitMs / 1000) +
                     " s of its restart: its program information was not read");
    return false;
}

// `upgrade` and `default-setup` on the bus, the dialog's procedure without its window. Without
// --yes the question is put and, no one being there to answer it, answered No.
static int RunUpgradeOnMaster(const Options& o, ModbusMaster& master, Terminal& terminal,
                              const BusOutcome& outcome) {
    int address = 0;
    CheckUpgradeWords(o.words, address);
    TerminalPrompter prompter(terminal, o.yes);
    SoftwareUpgrade upgrade(master, prompter);
    if (o.words[0] == "default-setup")
        return upgrade.MakeDefaultSetup(address, !o.yes) ? kExitDone
                                                         : FailureExit(prompter, outcome);
    if (!upgrade.SelectFile(o.words[2]))
        return kExitFailed;
    // The file's summary and, after the upgrade, the instrument's read back: the same lines when
    // all went well, so each says whose it is.
    terminal.Out() << "file " << o.words[2] << ":\n" << TerminalLines(upgrade.FileText()) << '\n';
    bool ok = false;
    {
        TerminalProgress progress(terminal, "upgrade:");
        ok = upgrade.StartUpgrade(address, progress, prompter, !o.yes);
        if (ok)
            progress.Done();
    }
    if (!ok)
        return FailureExit(prompter, outcome);
    if (WaitForAnswer(master, address, terminal) && upgrade.ReadInstrument(address))
        terminal.Out() << "instrument at address " << address << " after the upgrade:\n"
                       << TerminalLines(upgrade.InstrumentText()) << '\n';
    return kExitDone;
}

// ---- end of the software upgrade's commands ----------------------------------------------------

// The register commands: read, readf, write, writef, coil and scan.
static int RunRegisterCommand(const Options& o, const Request& r, ModbusMaster& master,
                              Terminal& terminal) {
    std::ostream& out = terminal.Out();
    if (r.command == "scan" && o.findSettings) {
        // Without FIRST the likely addresses: the watched set and 1-10.
        const std::vector<int> addresses = o.words.size() > 1
                                               ? SettingsSearch::Range(r.slave, r.coil)
                                               : SettingsSearch::LikelyAddresses(o.watched);
        return RunFindSettings(master, addresses, o.goOn, o.retries, terminal);
    }
    if (r.command == "scan") {
        if (const std::string notice =
                SilentGatewayNotice(master, (r.coil - r.slave + 1) * (o.retries + 1));
            !notice.empty())
            terminal.Message(notice);
        int found = 0;
        const TransactionOptions probe{.retries = o.retries,
                                       .extraTimeout =
                                           o.extraTimeout ? o.extraTimeout : master.PollTimeout(),
                                       .probe = true};
        std::vector<bool> answered(static_cast<size_t>(r.coil + 1), false);
        auto ask = [&](int a) {
            uint16_t code = 0;
            const CommStatus s = master.ReadHoldingRegisters(a, 40001, 1, &code, probe);
            if (s == CommStatus::Ok) {
                out << a << ": " << code << '\n';
                ++found;
            } else if (s != CommStatus::NoResponse) {
                out << a << ": " << master.LastStatusText(s, false) << '\n';
                ++found;
            }
            answered[static_cast<size_t>(a)] = s != CommStatus::NoResponse;
        };
        for (int a = r.slave; a <= r.coil && !StopRequested(); ++a) {
            ask(a);
            // An address whose answer came after its wait (a gateway still busy with earlier
            // ones) is there: asked again before it is counted silent.
            for (const int late : master.TakeLateAnswerAddresses())
                if (late >= r.slave && late <= a && !answered[static_cast<size_t>(late)])
                    ask(late);
        }
        out << found << " of " << (r.coil - r.slave + 1) << " addresses answered\n";
        return kExitDone;
    }

    std::vector<uint16_t> words(static_cast<size_t>(r.count));
    std::vector<float> floats(static_cast<size_t>(r.count));
    const TransactionOptions options{.retries = o.retries, .extraTimeout = o.extraTimeout};
    std::map<CommStatus, int> failures;
    std::vector<double> times;
    CommStatus last = CommStatus::Ok;
    int done = 0;
    for (int i = 0; i < o.repeat && !StopRequested(); ++i, ++done) {
        const int64_t t0 = MonotonicNs();
        CommStatus s;
        if (r.command == "read")
            s = master.ReadHoldingRegisters(r.slave, r.reg, r.count, words.data(), options);
        else if (r.command == "readf")
            s = master.ReadFloatRegisters(r.slave, r.reg, r.count, floats.data(), options);
        else if (r.command == "write" && r.count == 1)
            s = master.WriteSingleRegister(r.slave, r.reg, r.words[0], options);
        else if (r.command == "write")
            s = master.WriteMultipleRegisters(r.slave, r.reg, r.count, r.words.data(), options);
        else if (r.command == "writef")
            s = master.WriteFloatRegisters(r.slave, r.reg, r.count, r.floats.data(), options);
        else
            s = master.WriteSingleCoil(r.slave, r.coil, r.on, options);
        times.push_back(static_cast<double>(MonotonicNs() - t0) / 1e6);
        if (s != CommStatus::Ok)
            ++failures[s];
        last = s;
    }

    if (done == 0)
        return kExitBus; // stopped before the first request
    if (o.repeat > 1) {
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        double sum = 0;
        for (double t : times)
            sum += t;
        const size_t p99 =
            std::min(sorted.size() - 1, static_cast<size_t>(std::ceil(0.99 * sorted.size())) - 1);
        int failed = 0;
        for (const auto& [s, n] : failures)
            failed += n;
        out << "requests: " << done << ", succeeded: " << done - failed << ", failed: " << failed
            << '\n';
        for (const auto& [s, n] : failures)
            out << "  " << n << " x " << ModbusMaster::StatusText(s, false) << '\n';
        out << std::fixed << std::setprecision(2) << "mean " << sum / done << " ms, p99 "
            << sorted[p99] << " ms\n";
        // Refusals only (exception answers): the instrument said no, the bus worked.
        const bool refusedOnly = std::all_of(failures.begin(), failures.end(),
                                             [](const auto& f) { return IsException(f.first); });
        return !failed ? kExitDone : refusedOnly ? kExitFailed : kExitBus;
    }
    if (last != CommStatus::Ok) {
        terminal.Message(master.LastStatusText(last, false));
        // An exception answer is the instrument refusing the request, not a failing bus.
        return IsException(last) ? kExitFailed : kExitBus;
    }
    if (r.command == "read")
        for (int i = 0; i < r.count; ++i)
            out << r.reg + i << ": " << words[static_cast<size_t>(i)] << '\n';
    else if (r.command == "readf")
        for (int i = 0; i < r.count; ++i)
            out << r.reg + 2 * i << ": " << FloatText(floats[static_cast<size_t>(i)]) << '\n';
    else
        out << "OK\n";
    return kExitDone;
}

// Opens the master, on the default simulated bus started in this process with --demo, on the
// selected port otherwise, and runs the command on it; --trace follows every command.
static int RunCliOnMaster(const Options& o, const Request& r, const SetupFileCommand* files,
                          const DiffCommand* diff, const LogCommand* log, WeightLogFile* logFile,
                          CommSettings settings, Terminal& terminal) {
    // diff exits 1 when the set-ups differ, so its failures, the port's included, exit as failed.
    const int portFailure = diff ? kExitFailed : kExitBus;
    sim::SimBus demoBus; // outlives the master; started only with --demo
    if (o.demo) {
        std::string error;
        // Each command starts a bus of its own and talks to it at once: its instruments are
        // ready, not powering up. The profile it writes its port into is read in one place.
        Profile demo;
        if (!StartDemoBus(demoBus, demo, error, true)) {
            terminal.Message("quarnex-cli: " + error);
            return portFailure;
        }
        settings.SetKind(LinkKind::Serial);
        settings.SetPortIndex(demo.GetInt(CommSettings::kSection, "Com Port", 1) - 1);
        settings.SetDevicePath(settings.PortNumber(),
                               demo.GetString(CommSettings::kDeviceSection,
                                              "COM" + std::to_string(settings.PortNumber()), ""));
    }
    TerminalPrompter prompter(terminal, o.yes);
    ModbusMaster master(settings, prompter);
    if (!master.Open())
        return portFailure;
    const BusOutcome outcome(master, terminal, o.trace);
    if (diff)
        return RunDiffCommand(*diff, &master, terminal);
    if (files)
        return RunSetupFileCommand(*files, &master, terminal, &outcome);
    if (IsUpgradeCommand(o.words))
        return RunUpgradeOnMaster(o, master, terminal, outcome);
    if (o.words[0] == "log" && logFile)
        return RunLogCommand(*log, *logFile, master, o.retries, terminal);
    if (o.words[0] == "check") {
        CheckCommand check;
        CheckCheckCommand(o.words, o.checkOptions, check);
        return RunCheckCommand(check, master, terminal, outcome, CheckInput());
    }
    return RunRegisterCommand(o, r, master, terminal);
}

// -r, -t and -n given to a command that does not use them: refused, never ignored.
static std::string CheckRequestOptions(const Options& o) {
    const std::string& c = o.words[0];
    const bool registers =
        c == "read" || c == "readf" || c == "write" || c == "writef" || c == "coil" || c == "scan";
    // backup all probes every address with the usual retries, which -r sets.
    const bool backupAll = c == "backup" && o.words.size() > 1 && o.words[1] == "all";
    for (const std::string& option : o.requestOptions) {
        const bool repeat = option == "-n" || option == "--repeat";
        // The log repeats its reads as its interval says, and backup all probes every address
        // with the usual retries: -r applies to each of them.
        if ((c == "log" || backupAll || c == "fleet") && (option == "-r" || option == "--retries"))
            continue;
        if (!registers || (repeat && c == "scan"))
            return option + " does not apply to " + c +
                   (registers ? "" : " (it runs the instrument's own procedure)");
    }
    if (o.yes && registers)
        return "--yes does not apply to " + c;
    if ((o.findSettings || o.goOn) && c != "scan")
        return std::string(o.findSettings ? "--find-settings" : "--go-on") + " does not apply to " +
               c;
    if (o.goOn && !o.findSettings)
        return "--go-on is for scan --find-settings";
    if ((o.brief || !o.against.empty()) && !IsDiffCommand(c))
        return std::string(o.brief ? "--brief" : "--against") + " does not apply to " + c;
    if ((!o.info.empty() || o.sectionsGiven || o.withAddress) && !IsSetupFileCommand(c))
        return std::string(!o.info.empty()   ? "--info"
                           : o.sectionsGiven ? "--sections"
                                             : "--with-address") +
               " does not apply to " + c;
    if ((!o.history.empty() || !o.push.empty()) && !IsFleetCommand(c))
        return std::string(o.history.empty() ? "--push" : "--history") + " does not apply to " + c;
    if ((!o.credentials.sshKey.empty() || !o.credentials.knownHosts.empty() ||
         !o.credentials.tokenFile.empty() || o.jobs) &&
        !(c == "fleet" && o.words.size() > 1 && o.words[1] == "backup"))
        return std::string(o.jobs ? "--jobs" : "--ssh-key, --known-hosts and --token-file") +
               " are for fleet backup";
    return {};
}

int RunCli(const std::vector<std::string>& args, const Profile& profileIn, std::ostream& out,
           std::ostream& err, bool progressInPlace) {
    Terminal terminal(out, err, progressInPlace);
    Options o;
    Request r;
    std::string e = ParseOptions(args, o);
    if (o.help) {
        out << CliUsage();
        return kExitDone;
    }
    if (e.empty() && o.words[0] == "ports") {
        if (!o.requestOptions.empty() || args[0] != "ports")
            e = "ports takes no options";
        else
            return RunPorts(args, out, err);
    }
    // ---- The plant's history (fleet, history): see cli/CliFleet.cpp; no profile, no port. ----
    if (e.empty() && IsFleetCommand(o.words[0])) {
        const FleetCommand fleet{.words = o.words,
                                 .history = o.history,
                                 .push = o.push,
                                 .credentials = o.credentials,
                                 .retries = o.retries,
                                 .jobs = o.jobs};
        e = CheckFleetCommand(fleet);
        if (e.empty())
            e = CheckRequestOptions(o);
        if (e.empty() && (!o.device.empty() || o.com || o.baud || o.parity || o.demo))
            e = "the fleet file names the links: -d, -c, -b, -p and --demo do not apply";
        if (e.empty())
            return RunFleetCommand(fleet, terminal);
    }
    int upgradeAddress = 0;
    // ---- The set-up file commands (backup, restore, list): see cli/CliFiles.cpp. ----
    const bool fileCommand = e.empty() && IsSetupFileCommand(o.words[0]);
    const SetupFileCommand files{.words = o.words,
                                 .info = o.info,
                                 .sections = o.sections,
                                 .sectionsGiven = o.sectionsGiven,
                                 .withAddress = o.withAddress,
                                 .yes = o.yes,
                                 .retries = o.retries,
                                 .quiet = o.quiet};
    // ---- diff: see cli/CliDiff.cpp. ----
    const bool diffCommand = e.empty() && IsDiffCommand(o.words[0]);
    const DiffCommand diff{o.words, o.against, o.brief};
    if (fileCommand) {
        e = CheckSetupFileCommand(o.words);
        if (e.empty())
            e = CheckSetupFileOptions(files);
    } else if (diffCommand) {
        e = CheckDiffCommand(diff);
    } else if (e.empty() && IsUpgradeCommand(o.words)) {
        e = CheckUpgradeWords(o.words, upgradeAddress);
    } else if (e.empty() && o.words[0] == "log") {
        LogCommand log;
        e = CheckLogCommand(o.words, o.logOptions, log);
    } else if (e.empty() && o.words[0] == "check") {
        CheckCommand check;
        e = CheckCheckCommand(o.words, o.checkOptions, check);
    } else if (e.empty()) {
        e = ParseRequest(o.words, r);
    }
    if (e.empty())
        e = CheckRequestOptions(o);
    if (!e.empty()) {
        terminal.Message("quarnex-cli: " + e);
        terminal.Message("(quarnex-cli --help lists the commands and options)");
        return kExitArguments;
    }
    if (o.words[0] == "image")
        return RunImage(o.words[1], terminal);
    // The user's settings, read from the profile in one place, with the options over them for
    // this run; nothing is saved.
    o.watched = LoadWatchedSet(profileIn);
    CommSettings settings;
    settings.Load(profileIn);
    if (o.baud)
        settings.SetBaudRate(o.baud);
    if (o.parity)
        settings.SetParityLetter(o.parity);
    if (o.com)
        settings.SetPortIndex(o.com - 1);
    if (o.rs485 >= 0) {
        Rs485Mode rs485 = settings.Rs485();
        rs485.on = o.rs485 != 0;
        settings.SetRs485(rs485);
    }
    // The link: the one of the profile, or the one -d names (a network address or a device).
    if (!o.device.empty()) {
        LinkKind kind = LinkKind::Serial;
        std::string host, reason;
        int port = 0;
        if (ParseLinkAddress(o.device, kind, host, port, reason)) {
            settings.SetHost(host);
            settings.SetTcpPort(port);
        }
        settings.SetKind(kind);
        if (kind == LinkKind::Serial) {
            settings.SetPortIndex(0);
            settings.SetDevicePath(1, o.device);
        }
    }
    if (fileCommand && files.words[0] == "list")
        return RunSetupFileCommand(files, nullptr, terminal, nullptr);
    if (diffCommand && !DiffNeedsBus(diff))
        return RunDiffCommand(diff, nullptr, terminal);
    if (fileCommand) {
        if (const std::string problem = PrepareSetupFileCommand(files); !problem.empty()) {
            terminal.Message("quarnex-cli: " + problem);
            return kExitFailed;
        }
    }
    // The log's file is opened before the port (and before a named pipe's reader comes).
    LogCommand log;
    WeightLogFile logFile;
    if (o.words[0] == "log") {
        CheckLogCommand(o.words, o.logOptions, log);
        if (!OpenLogFile(log, logFile, terminal))
            return kExitFailed;
    }
    return RunCliOnMaster(o, r, fileCommand ? &files : nullptr, diffCommand ? &diff : nullptr, &log,
                          &logFile, settings, terminal);
}

} // namespace quarnex
