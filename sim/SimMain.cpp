// quarnex-sim: a bus of simulated instruments on a pseudo-terminal, for the program, quarnex-cli or
// any other Modbus RTU master to open as its serial port.

#include "sim/DemoBus.h"
#include "sim/FlashImage.h"
#include "sim/Kel7Model.h"
#include "sim/ScaleControl.h"
#include "sim/SimBus.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace quarnex::sim;

namespace {

std::string Usage() {
    std::string kinds;
    for (const auto& k : InstrumentKinds())
        kinds += (kinds.empty() ? "" : ", ") + k;
    return "usage: quarnex-sim [options]\n"
           "Runs a bus of simulated instruments on a pseudo-terminal and prints its device path.\n"
           "Without --instrument the default bus is started:\n"
           "  1-3 KEL 7 Recipe Batcher (2 waits for start), 4 KEL 7 of set-up version 1300,\n"
           "  5 PIR 7, 6 YAX 7, 7 FLIN 7.\n"
           "\n"
           "options:\n"
           "  -i, --instrument ADDR=KIND[@BAUD[P]]\n"
           "                              an instrument at address 1-247 (repeatable); KIND is "
           "one\n"
           "                              of: " +
           kinds +
           ";\n"
           "                              @19200E: it answers only a port set to that baud rate\n"
           "                              and parity (N, E or O; default N), garbled where the\n"
           "                              parity alone differs\n"
           "  -l, --link PATH             also make PATH a symbolic link to the device\n"
           "      --tcp [HOST:]PORT       also serve the bus as RTU over TCP (a serial device\n"
           "                              server); HOST defaults to 127.0.0.1, PORT 0 picks one\n"
           "      --mbap [HOST:]PORT      also serve the bus as a Modbus TCP gateway\n"
           "      --gateway-exception C   the gateway answers exception C (10 or 11) for an\n"
           "                              address that stays silent, as real gateways do\n"
           "      --gateway-delay MS      the Modbus TCP server works as a real gateway does: one\n"
           "                              request at a time over its serial line at the rate of\n"
           "                              -b (9600 without), an empty address answered with\n"
           "                              0x0B (or --gateway-exception) MS after the request\n"
           "  -b, --baud B                pace the bytes at B baud (300-115200); 0 paces at the\n"
           "                              rate the master configured; default: no pacing\n"
           "  -f, --fault ADDR:KIND[:N]   answer the next N requests (default 1) at ADDR (0: any)\n"
           "                              with a fault: silence, badcrc, wrongaddress,\n"
           "                              wrongfunction, short, extra, late, garbage,\n"
           "                              bytecount, exception=CODE; over TCP also\n"
           "                              transaction, protocol (Modbus TCP header) and\n"
           "                              disconnect\n"
           "      --static                instruments keep their load and their clock stands\n"
           "      --control PATH          make PATH a named pipe that takes test weights, one a\n"
           "                              line: load ADDR VALUE (in the displayed unit; it\n"
           "                              settles with motion in about 2 s), position ADDR N\n"
           "                              (0 the centre, 1-4 the corners)\n"
           "      --scale-error ADDR:nonlinearity=P,hysteresis=P,eccentricity=P,noise=D\n"
           "                              give the KEL 7 at ADDR scale errors (each optional; P "
           "in\n"
           "                              percent of the capacity, D in display steps):\n"
           "                              non-linearity and hysteresis largest at half capacity,\n"
           "                              eccentricity at full load in corner 1 (repeatable)\n"
           "  -h, --help                  this text\n"
           "      --version               the program's version\n"
           "Stops on SIGINT or SIGTERM.\n"
           "\n"
           "quarnex-sim --make-image FILE [--program N] [--version V] [--type CODE] [--size KB]\n"
           "  writes a software upgrade file for a simulated instrument and exits: program\n"
           "  \"KEL7-N\" (default 7311) of version V (105 is V1.05, the default), type code\n"
           "  2001-2011 (default 2003, KEL 7), flash of 128, 256 (the default), 512 or 1024 KB.\n"
           "  Load it with Instrument > Instrument software upgrade in quarnex --demo.\n";
}

bool ParseInt(const std::string& text, int min, int max, int& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = static_cast<int>(v);
    return true;
}

// "19200E" or "9600" after an instrument's kind: the line settings it answers at.
bool ParseLine(const std::string& text, LineSettings& line) {
    std::string digits = text;
    line.parity = 'N';
    if (!digits.empty() && std::isalpha(static_cast<unsigned char>(digits.back()))) {
        line.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
        digits.pop_back();
    }
    static const int kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    if ((line.parity != 'N' && line.parity != 'E' && line.parity != 'O') ||
        !ParseInt(digits, 300, 115200, line.baud))
        return false;
    for (int r : kRates)
        if (r == line.baud)
            return true;
    return false;
}

bool ParseFault(const std::string& text, int& address, FaultSpec& injected, std::string& error) {
    const auto c1 = text.find(':');
    if (c1 == std::string::npos || !ParseInt(text.substr(0, c1), 0, 247, address)) {
        error = "bad fault \"" + text + "\": expected ADDR:KIND[:N] with ADDR 0-247";
        return false;
    }
    std::string kind = text.substr(c1 + 1);
    injected.count = 1;
    if (const auto c2 = kind.find(':'); c2 != std::string::npos) {
        if (!ParseInt(kind.substr(c2 + 1), 1, 1000000, injected.count)) {
            error = "bad fault count in \"" + text + "\": expected 1 or more";
            return false;
        }
        kind = kind.substr(0, c2);
    }
    static const std::map<std::string, Fault> kKinds = {
        {"silence", Fault::Silence},
        {"badcrc", Fault::BadCrc},
        {"wrongaddress", Fault::WrongAddress},
        {"wrongfunction", Fault::WrongFunction},
        {"short", Fault::ShortAnswer},
        {"extra", Fault::ExtraBytes},
        {"late", Fault::LateBytes},
        {"garbage", Fault::Garbage},
        {"bytecount", Fault::WrongByteCount},
        {"transaction", Fault::WrongTransaction},
        {"protocol", Fault::WrongProtocol},
        {"disconnect", Fault::Disconnect},
    };
    if (kind.rfind("exception=", 0) == 0) {
        int code = 0;
        if (!ParseInt(kind.substr(10), 1, 255, code)) {
            error = "bad exception code in \"" + text + "\": expected 1-255";
            return false;
        }
        injected.kind = Fault::Exception;
        injected.exceptionCode = static_cast<uint8_t>(code);
        return true;
    }
    const auto it = kKinds.find(kind);
    if (it == kKinds.end()) {
        error = "unknown fault kind \"" + kind + "\"";
        return false;
    }
    injected.kind = it->second;
    return true;
}

// --make-image: an upgrade file the simulated instruments accept, with a program of its own.
int MakeImage(const std::vector<std::string>& args) {
    auto fail = [](const std::string& message) {
        std::cerr << "quarnex-sim: " << message << "\n(quarnex-sim --help lists the options)\n";
        return 2;
    };
    if (args.size() < 2 || args[1].empty() || args[1][0] == '-')
        return fail("--make-image needs a file name");
    const std::string path = args[1];
    int program = 7311, version = 105, type = 2003, kb = 256;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        int* into = a == "--program"   ? &program
                    : a == "--version" ? &version
                    : a == "--type"    ? &type
                    : a == "--size"    ? &kb
                                       : nullptr;
        if (!into)
            return fail("unknown option " + a + " for --make-image");
        const int max = into == &program ? 99999 : into == &version ? 9999 : 2011;
        const int min = into == &type ? 2001 : into == &kb ? 128 : 0;
        if (i + 1 >= args.size() || !ParseInt(args[++i], min, into == &kb ? 1024 : max, *into))
            return fail("bad value for " + a);
    }
    if (LayoutForKb(kb).size == 0)
        return fail("--size must be 128, 256, 512 or 1024");
    const Kel7Options defaults;
    ProgramInfo app;
    app.typeCode = static_cast<uint16_t>(type);
    app.setupVersion = static_cast<uint16_t>(defaults.setupVersion);
    app.setupDataVersion = static_cast<uint16_t>(defaults.setupDataVersion);
    app.text1 = "KEL7-" + std::to_string(program);
    char text2[16];
    std::snprintf(text2, sizeof text2, "V%d.%02d", version / 100, version % 100);
    app.text2 = text2;
    app.text3 = "270101";
    ProgramInfo boot{static_cast<uint16_t>(type), 0, 0, "KEL7-BOOT", "V2.01", "250301"};
    const std::vector<uint8_t> image = BuildFlashImage(kb, app, boot, true, true, 6000, 1500,
                                                       static_cast<uint32_t>(program + version));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "quarnex-sim: cannot write " << path << ": " << std::strerror(errno) << '\n';
        return 1;
    }
    std::cout << path << ": " << app.text1 << " " << app.text2 << ", " << kb << " KB\n";
    return 0;
}

// [HOST:]PORT of --tcp and --mbap; loopback unless a host is given.
bool ParseListen(const std::string& text, std::string& host, int& port) {
    const auto colon = text.rfind(':');
    host = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return !host.empty() &&
           ParseInt(colon == std::string::npos ? text : text.substr(colon + 1), 0, 65535, port);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--make-image")
        return MakeImage(args);
    std::map<int, std::string> instruments;
    std::map<int, LineSettings> lines;
    int gatewayException = 0;
    int gatewayDelay = 0;
    std::vector<std::pair<int, FaultSpec>> faults;
    std::string link;
    std::vector<std::pair<NetKind, std::string>> listens;
    int baud = -1;
    bool live = true;
    std::string controlPath;
    std::vector<std::pair<int, ScaleErrors>> scaleErrors;

    auto fail = [](const std::string& message) {
        std::cerr << "quarnex-sim: " << message << "\n(quarnex-sim --help lists the options)\n";
        return 2;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            std::cout << Usage();
            return 0;
        } else if (a == "--version") {
            std::cout << "quarnex-sim " << QUARNEX_VERSION << "\n";
            return 0;
        } else if (a == "-i" || a == "--instrument") {
            if (!value(v))
                return fail(a + " needs ADDR=KIND");
            const auto eq = v.find('=');
            int address = 0;
            if (eq == std::string::npos || !ParseInt(v.substr(0, eq), 1, 247, address))
                return fail("bad instrument \"" + v + "\": expected ADDR=KIND with ADDR 1-247");
            if (instruments.count(address))
                return fail("address " + std::to_string(address) + " given twice");
            std::string kind = v.substr(eq + 1);
            if (const auto at = kind.find('@'); at != std::string::npos) {
                if (!ParseLine(kind.substr(at + 1), lines[address]))
                    return fail("bad line settings in \"" + v +
                                "\": expected KIND@BAUD[N|E|O], e.g. kel7@19200E");
                kind = kind.substr(0, at);
            }
            instruments[address] = kind;
        } else if (a == "--gateway-exception") {
            if (!value(v) || !ParseInt(v, 10, 11, gatewayException))
                return fail(a + " needs 10 (0x0A) or 11 (0x0B)");
        } else if (a == "--gateway-delay") {
            if (!value(v) || !ParseInt(v, 1, 60000, gatewayDelay))
                return fail(a + " needs a time-out of 1-60000 ms");
        } else if (a == "-l" || a == "--link") {
            if (!value(link) || link.empty())
                return fail(a + " needs a path");
        } else if (a == "--tcp" || a == "--mbap") {
            std::string host;
            int port = 0;
            if (!value(v) || !ParseListen(v, host, port))
                return fail(a + " needs [HOST:]PORT with PORT 0-65535");
            listens.push_back({a == "--tcp" ? NetKind::RtuOverTcp : NetKind::ModbusTcp, v});
        } else if (a == "-b" || a == "--baud") {
            if (!value(v))
                return fail(a + " needs a baud rate");
            static const int kRates[] = {0,    300,   600,   1200,  2400,  4800,
                                         9600, 19200, 38400, 57600, 115200};
            int rate = -1;
            bool known = ParseInt(v, 0, 115200, rate);
            if (known) {
                known = false;
                for (int r : kRates)
                    known = known || r == rate;
            }
            if (!known)
                return fail("bad baud rate \"" + v + "\": expected 0 or 300 ... 115200");
            baud = rate;
        } else if (a == "-f" || a == "--fault") {
            if (!value(v))
                return fail(a + " needs ADDR:KIND[:N]");
            int address = 0;
            FaultSpec injected;
            std::string error;
            if (!ParseFault(v, address, injected, error))
                return fail(error);
            faults.push_back({address, injected});
        } else if (a == "--control") {
            if (!value(controlPath) || controlPath.empty())
                return fail(a + " needs a path");
        } else if (a == "--scale-error") {
            int address = 0;
            ScaleErrors errors;
            std::string error;
            if (!value(v))
                return fail(a + " needs ADDR:NAME=VALUE,...");
            if (!ParseScaleErrors(v, address, errors, error))
                return fail(error);
            scaleErrors.push_back({address, errors});
        } else if (a == "--static") {
            live = false;
        } else {
            return fail("unknown option \"" + a + "\"");
        }
    }

    SimBus bus;
    std::vector<int> addresses;
    if (instruments.empty()) {
        if (!live)
            return fail("--static needs --instrument (the default bus is always live)");
        PopulateDemoBus(bus);
        addresses = DemoBusAddresses();
    } else {
        for (const auto& [address, kind] : instruments) {
            std::string error;
            auto model = MakeInstrumentByName(kind, address, live, error);
            if (!model)
                return fail(error);
            bus.Attach(address, model);
            if (const auto line = lines.find(address); line != lines.end())
                bus.SetLineSettings(address, line->second);
            addresses.push_back(address);
        }
    }
    for (const auto& [address, errors] : scaleErrors) {
        if (!std::dynamic_pointer_cast<Kel7Model>(bus.Model(address)))
            return fail("--scale-error: no KEL 7 at address " + std::to_string(address));
        bus.WithModel<Kel7Model>(address, [&](Kel7Model& m) { m.SetScaleErrors(errors); });
    }
    for (const auto& [address, injected] : faults)
        bus.InjectFault(address, injected);
    bus.SetPacing(baud);
    bus.SetGatewayException(static_cast<uint8_t>(gatewayException));
    bus.SetGatewayModel(gatewayDelay, baud);

    // The signals are taken by sigwait below, so none may interrupt the bus thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    if (!bus.Start(error, link)) {
        std::cerr << "quarnex-sim: " << error << "\n";
        return 1;
    }
    ControlPipe control;
    if (!controlPath.empty()) {
        if (!control.Open(controlPath, error)) {
            std::cerr << "quarnex-sim: " << error << "\n";
            bus.Stop();
            return 1;
        }
        control.Start(bus, [](const std::string& problem) {
            std::cerr << "quarnex-sim: control: " << problem << std::endl;
        });
    }
    std::cout << bus.DevicePath() << std::endl;
    for (const auto& [kind, where] : listens) {
        std::string host;
        int port = 0;
        ParseListen(where, host, port);
        port = bus.ServeNetwork(kind, host, port, error);
        if (port == 0) {
            std::cerr << "quarnex-sim: " << error << "\n";
            bus.Stop();
            return 1;
        }
        const bool v6 = host.find(':') != std::string::npos;
        std::cout << (kind == NetKind::RtuOverTcp ? "tcp://" : "mbap://") << (v6 ? "[" : "") << host
                  << (v6 ? "]" : "") << ":" << port << std::endl;
    }
    if (!link.empty())
        std::cerr << "quarnex-sim: " << link << " -> " << bus.DevicePath() << "\n";
    std::cerr << "quarnex-sim: instruments at";
    for (int a : addresses)
        std::cerr << " " << a;
    std::cerr << (baud < 0    ? ", no pacing"
                  : baud == 0 ? ", paced at the master's rate"
                              : ", paced at " + std::to_string(baud) + " baud")
              << "; Ctrl+C stops\n";

    int received = 0;
    sigwait(&signals, &received);
    control.Stop();
    bus.Stop();
    std::cerr << "quarnex-sim: stopped (" << strsignal(received) << ")\n";
    return 0;
}
