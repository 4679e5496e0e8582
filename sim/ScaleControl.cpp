// The simulator's scale from outside: test weights put on and moved around while the bus runs,
// and the scale errors a check must find.

#include "sim/ScaleControl.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex::sim {

namespace {

bool ParseNumber(const std::string& text, double min, double max, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseAddress(const std::string& text, int& address) {
    double v = 0;
    if (!ParseNumber(text, 1, 247, v) || v != std::floor(v))
        return false;
    address = static_cast<int>(v);
    return true;
}

} // namespace

bool ParseScaleErrors(const std::string& text, int& address, ScaleErrors& errors,
                      std::string& error) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || !ParseAddress(text.substr(0, colon), address)) {
        error = "bad scale error \"" + text + "\": expected ADDR:NAME=VALUE,... with ADDR 1-247";
        return false;
    }
    errors = {};
    std::stringstream parts(text.substr(colon + 1));
    std::string part;
    int count = 0;
    while (std::getline(parts, part, ',')) {
        const auto eq = part.find('=');
        const std::string name = part.substr(0, eq);
        double* into = name == "nonlinearity"   ? &errors.nonlinearity
                       : name == "hysteresis"   ? &errors.hysteresis
                       : name == "eccentricity" ? &errors.eccentricity
                       : name == "noise"        ? &errors.noise
                                                : nullptr;
        if (!into || eq == std::string::npos) {
            error = "bad scale error \"" + part +
                    "\": expected nonlinearity=P, hysteresis=P, eccentricity=P or noise=D";
            return false;
        }
        // Percent of the capacity; the noise in display steps. A negative percentage turns the
        // curve the other way.
        const bool noise = into == &errors.noise;
        if (!ParseNumber(part.substr(eq + 1), noise ? 0.0 : -100.0, 100.0, *into)) {
            error = "bad value in \"" + part + "\": expected " +
                    (noise ? "0 to 100 display steps" : "-100 to 100 (percent of the capacity)");
            return false;
        }
        ++count;
    }
    if (count == 0) {
        error = "bad scale error \"" + text + "\": no error named after the address";
        return false;
    }
    return true;
}

bool ApplyControlLine(SimBus& bus, const std::string& line, std::string& error) {
    std::istringstream in(line);
    std::string verb, addressText, valueText, extra;
    in >> verb >> addressText >> valueText;
    if (verb.empty() || verb[0] == '#')
        return true;
    if (verb == "errors") {
        // "errors ADDR nonlinearity=P,...": the scale errors of --scale-error, while it runs.
        int address = 0;
        ScaleErrors errors;
        if (!ParseScaleErrors(addressText + ":" + valueText, address, errors, error) ||
            (in >> extra))
            return false;
        if (!std::dynamic_pointer_cast<Kel7Model>(bus.Model(address))) {
            error = "no KEL 7 at address " + std::to_string(address);
            return false;
        }
        bus.WithModel<Kel7Model>(address, [&](Kel7Model& m) { m.SetScaleErrors(errors); });
        return true;
    }
    if (verb != "load" && verb != "position") {
        error = "unknown control \"" + verb +
                "\" (load ADDR VALUE, position ADDR N, errors ADDR NAME=VALUE,...)";
        return false;
    }
    int address = 0;
    double value = 0;
    const bool load = verb == "load";
    if (!ParseAddress(addressText, address) || (in >> extra) ||
        !ParseNumber(valueText, load ? -1e6 : 0, load ? 1e6 : 4, value) ||
        (!load && value != std::floor(value))) {
        error = "bad control line \"" + line + "\": expected " +
                (load ? "load ADDR VALUE" : "position ADDR N with N 0 (centre) to 4 (corner 4)");
        return false;
    }
    if (!std::dynamic_pointer_cast<Kel7Model>(bus.Model(address))) {
        error = "no KEL 7 at address " + std::to_string(address);
        return false;
    }
    bus.WithModel<Kel7Model>(address, [&](Kel7Model& m) {
        if (load)
            m.PlaceLoad(value, kPlaceSettleMs);
        else
            m.SetPosition(static_cast<int>(value), kPlaceSettleMs);
    });
    return true;
}

bool ControlPipe::Open(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode)) {
        error = "cannot make the control pipe " + path + ": something else is there";
        return false;
    }
    if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) {
        error = "cannot make the control pipe " + path + ": " + std::strerror(errno);
        return false;
    }
    // Read and write: the pipe never reports an end when a writer closes it, and the open does
    // not wait for the first writer.
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open the control pipe " + path + ": " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    path_ = path;
    return true;
}

void ControlPipe::Start(SimBus& bus, std::function<void(const std::string&)> report) {
    running_ = true;
    thread_ = std::thread([this, &bus, report = std::move(report)] {
        std::string pending;
        while (running_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            pending.append(buffer, static_cast<size_t>(n));
            for (auto end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n')) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                std::string error;
                if (!ApplyControlLine(bus, line, error))
                    report(error);
            }
            if (pending.size() > 4096) { // no line end in sight: not a control line
                report("control line too long, dropped");
                pending.clear();
            }
        }
    });
}

void ControlPipe::Stop() {
    running_ = false;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

} // namespace quarnex::sim
