// libFuzzer target for what a Modbus TCP gateway sends back and for the network addresses typed
// or stored in the profile: a header is taken only when its protocol id is 0 and its length fits,
// the RTU form of what it carries always passes its own CRC, and an address that is accepted
// is written back as one that reads the same. A broken rule stops the run.
#include "comm/ModbusMaster.h"
#include "comm/NetworkLink.h"

#include <cstdlib>
#include <string>

namespace {

void Require(bool rule) {
    if (!rule)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarnex;
    if (size >= mbap::kHeaderLength) {
        int pduLength = 0;
        const uint16_t transaction = static_cast<uint16_t>(data[0] << 8 | data[1]);
        const mbap::HeaderCheck check = mbap::CheckHeader(data, transaction, pduLength);
        const bool framed =
            (data[2] | data[3]) == 0 && pduLength >= 1 && pduLength <= mbap::kMaxPdu;
        Require((check == mbap::HeaderCheck::Ok) == framed);
        if (framed && size >= mbap::kHeaderLength + static_cast<size_t>(pduLength)) {
            const std::vector<uint8_t> rtu =
                mbap::ToRtu(data[6], data + mbap::kHeaderLength, pduLength);
            Require(modbus::CrcMatches(rtu.data(), rtu.size()));
            const std::vector<uint8_t> back =
                mbap::FromRtu(rtu.data(), static_cast<int>(rtu.size()), transaction);
            Require(back.size() < 4 || std::equal(back.begin(), back.end(), data));
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    LinkKind kind;
    std::string host, reason;
    int port = 0;
    if (ParseLinkAddress(text, kind, host, port, reason)) {
        LinkKind again;
        std::string host2;
        int port2 = 0;
        Require(ParseLinkAddress(LinkAddress(kind, host, port), again, host2, port2, reason) &&
                again == kind && host2 == host && port2 == port);
    }
    return 0;
}
