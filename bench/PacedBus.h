#pragma once

// What the timing benchmarks share: one simulated instrument on a bus paced at the baud rate the
// master sets on the line, a master opened on it, and the wire time of the requests the bus
// received (request and answer bytes at 11 bits a character, plus the inter-frame delay before
// each request), which a procedure's measured time is set against.

#include "comm/ModbusMaster.h"
#include "platform/Profile.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <cstdio>
#include <memory>
#include <string>

namespace quarnex {

class PacedBus {
    Profile profile_; // before the master, which is made from it
    int baud_ = 9600;

public:
    // Starts the bus with `model` at `address` and opens the master at `baud`; false (with the
    // reason on standard error) when either fails.
    bool Open(int baud, int address, std::shared_ptr<sim::SlaveModel> model) {
        std::string error;
        if (!bus.Start(error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            return false;
        }
        bus.Attach(address, std::move(model));
        bus.SetPacing(0); // at the baud rate the master sets on the line
        baud_ = baud;
        profile_.WriteInt("Comm Param", "Baud", baud);
        profile_.WriteString("Serial Devices", "COM1", bus.DevicePath());
        master = std::make_unique<ModbusMaster>(profile_, prompter);
        if (!master->Open()) {
            std::fprintf(stderr, "%s\n", prompter.LastText().c_str());
            return false;
        }
        return true;
    }

    // The wire time, in ms, of the requests the bus received since its log was last cleared.
    double WireMs() const {
        double ms = 0.0;
        for (const auto& request : bus.Requests())
            ms += WireMs(request);
        return ms;
    }
    // The wire time of one request (its CRC included or not) and its full answer.
    double WireMs(const std::vector<uint8_t>& request) const {
        const size_t bytes = request.size() + modbus::ExpectedAnswerLength(request);
        return static_cast<double>(bytes) * 11.0 * 1000.0 / baud_ +
               SerialLink::TimingFor(baud_).interFrameDelayMs;
    }

    sim::SimBus bus;
    ScriptedPrompter prompter;
    std::unique_ptr<ModbusMaster> master;
};

} // namespace quarnex
