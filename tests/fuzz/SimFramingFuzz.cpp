// libFuzzer target for the simulated bus's framing and request decoding: any bytes, in any
// split, with and without a silence after them. Every frame handed on must be whole (its
// function's length, when that is known) and carry a good CRC, every byte must be either taken
// or dropped, and every answer must carry a good CRC. AddressSanitizer catches a read past a
// frame. A broken rule stops the run.
#include "FuzzRequire.h"
#include "sim/Kel7Model.h"
#include "sim/RegisterBank.h"
#include "sim/SimBus.h"

#include <cstdlib>
#include <memory>

namespace {

using namespace quarnex::sim;
using Bytes = std::vector<uint8_t>;

SimBus& Bus() {
    static SimBus* bus = [] {
        auto* b = new SimBus; // never started: only its framing and devices are used
        auto bank = std::make_shared<RegisterBank>();
        bank->AddBlock(0, 200);
        b->Attach(1, bank);
        b->Attach(2, std::make_shared<Kel7Model>());
        return b;
    }();
    return *bus;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte says where the bytes are split into arrivals; the rest are the line.
    const size_t step = 1 + data[0] % 16;
    Bytes buffer;
    size_t handed = 0, dropped = 0;
    auto handle = [&](const Bytes& frame) {
        Require(frame.size() >= 4);
        Require(Crc16(frame.data(), frame.size() - 2) ==
                (frame[frame.size() - 2] | frame[frame.size() - 1] << 8));
        const uint8_t f = frame[1];
        if (f >= 1 && f <= 6)
            Require(frame.size() == 8);
        if (f == 15 || f == 16)
            Require(frame.size() == 9u + frame[6]);
        handed += frame.size();
        Bytes answer;
        if (Bus().AnswerRequest(frame, answer)) {
            Require(answer.size() >= 5 && answer[0] == frame[0]);
            Require(Crc16(answer.data(), answer.size() - 2) ==
                    (answer[answer.size() - 2] | answer[answer.size() - 1] << 8));
        }
    };
    for (size_t at = 1; at < size; at += step) {
        const size_t end = std::min(size, at + step);
        buffer.insert(buffer.end(), data + at, data + end);
        dropped += SimBus::TakeFrames(buffer, false, handle);
    }
    dropped += SimBus::TakeFrames(buffer, true, handle);
    Require(buffer.empty() && handed + dropped == size - 1);
    return 0;
}
