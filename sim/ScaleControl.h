#pragma once

#include "sim/Kel7Model.h"
#include "sim/SimBus.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace quarnex::sim {

// How long a test weight takes to come to rest on the platform after it is put down (the
// instrument's own no-motion delay comes on top).
constexpr int64_t kPlaceSettleMs = 1500;

// "ADDR:nonlinearity=P,hysteresis=P,eccentricity=P,noise=D" (each part optional, at least one);
// false with a reason when the text does not fit.
bool ParseScaleErrors(const std::string& text, int& address, ScaleErrors& errors,
                      std::string& error);

// One line of the control channel, done on the bus: "load ADDR VALUE" puts a load on the scale
// (it settles with motion), "position ADDR N" moves it to the centre (0) or a corner (1-4),
// "errors ADDR nonlinearity=P,..." gives the scale the errors of ParseScaleErrors.
// Blank lines and lines starting with '#' do nothing. False with a reason for anything else,
// or for an address without a KEL 7.
bool ApplyControlLine(SimBus& bus, const std::string& line, std::string& error);

// A named pipe that takes control lines while the bus runs: made at Open, read by a thread of
// its own, removed at Stop. Any number of writers may open it one after the other (echo, a
// script); a bad line is reported through the report function and the rest go on.
class ControlPipe {
public:
    ~ControlPipe() { Stop(); }
    bool Open(const std::string& path, std::string& error);
    void Start(SimBus& bus, std::function<void(const std::string&)> report);
    void Stop();

private:
    std::string path_;
    int fd_ = -1;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace quarnex::sim
