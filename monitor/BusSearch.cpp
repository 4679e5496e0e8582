#include "monitor/BusSearch.h"

#include "comm/ModbusMaster.h"
#include "instrument/Registers.h"
#include "res/LinksTextIds.h"
#include "res/Strings.h"

#include <cstdint>
#include <cstdio>

namespace quarnex {

namespace {
// Address 1 is where a lone instrument out of the box sits: it gets six repeats, so a single
// garbled answer does not hide it. Every other address is asked once.
constexpr int kFirstAddressRetries = 6;
} // namespace

std::string SilentGatewayNotice(const ModbusMaster& bus, int requests) {
    if (bus.Settings().Kind() == LinkKind::Serial)
        return {};
    const int timeoutMs = bus.Settings().ResponseTimeoutMs();
    const double minutes = static_cast<double>(requests) * timeoutMs / 60000.0;
    char text[32];
    std::snprintf(text, sizeof text, minutes < 10 ? "%.1f" : "%.0f", minutes);
    return FormatText(Text(ids::kSilentGatewaySearch),
                      {text, std::to_string(requests), std::to_string(timeoutMs)});
}

std::string BusSearch::Notice() const {
    return SilentGatewayNotice(bus_, kLastAddress - kFirstAddress + 1 + kFirstAddressRetries);
}

bool BusSearch::Tick() {
    if (Finished())
        return false;
    const int address = next_++;
    const int retries = address == 1 ? kFirstAddressRetries : 0;
    uint16_t type = 0;
    if (bus_.ReadHoldingRegisters(address, reg::kTypeCode, 1, &type,
                                  {.retries = retries, .probe = true}) == CommStatus::Ok) {
        found_[address] = true;
        ++foundCount_;
    }
    // An answer that came after its wait (a gateway still busy with earlier addresses) says the
    // address is there: it is asked again before it is left unticked.
    for (const int late : bus_.TakeLateAnswerAddresses()) {
        if (late < kFirstAddress || late > address || found_[late])
            continue;
        if (bus_.ReadHoldingRegisters(late, reg::kTypeCode, 1, &type, {.probe = true}) ==
            CommStatus::Ok) {
            found_[late] = true;
            ++foundCount_;
        }
    }
    return !Finished();
}

} // namespace quarnex
