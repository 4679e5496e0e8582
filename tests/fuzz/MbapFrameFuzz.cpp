// libFuzzer target for what a Modbus TCP gateway sends back and for the network addresses typed
// or stored in the profile: a header is taken only when its protocol id is 0 and its length fits,
// the RTU form of what it carries always passes its own CRC, an RTU answer is never taken for a
// Modbus TCP one (the hint on an RTU stream), and an address that is accepted is written back
// as one that reads the same. A broken rule stops the run.
#include "FuzzRequire.h"
#include "comm/ModbusMaster.h"
#include "comm/NetworkLink.h"

#include <cstdlib>
#include <string>

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
    // The first 8 bytes as an RTU request (its CRC made right), the rest as what came back.
    if (size >= 8) {
        std::vector<uint8_t> request(data, data + 6);
        modbus::AppendCrc(request);
        const uint8_t* answer = data + 8;
        const int n = static_cast<int>(size - 8);
        const bool hint = mbap::IsAnswerToRtuAsHeader(request.data(), 8, answer, n);
        if (hint)
            Require(n >= mbap::kHeaderLength && (answer[2] | answer[3]) == 0 &&
                    answer[0] == request[0] && answer[1] == request[1] && answer[6] == request[6]);
        // The request's own RTU answer (address, function, byte count of at least 2) never has
        // 0 at its third byte, so a good answer cannot be mistaken for the other framing.
        if (n >= 3 && answer[0] == request[0] && answer[1] == request[1] && request[1] == 3 &&
            answer[2] == 2 * (request[4] << 8 | request[5]) && answer[2] != 0)
            Require(!hint);
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
