#include "Kel7Fixture.h"

#include "sim/SimBus.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quarnex::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The simulated instrument as any Modbus RTU master sees it: raw frames on the pty, no program
// code in between.
class SlaveProtocolTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        fd_ = ::open(bus_.DevicePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd_, 0);
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    void TearDown() override {
        if (fd_ >= 0)
            ::close(fd_);
        Kel7Fixture::TearDown();
    }
    // Sends the frame (CRC appended unless withCrc is false) and returns what comes back before
    // the line has been quiet for quietMs.
    Bytes Transact(Bytes frame, bool withCrc = true, int quietMs = 150) {
        if (withCrc) {
            const uint16_t crc = sim::Crc16(frame.data(), frame.size());
            frame.push_back(static_cast<uint8_t>(crc));
            frame.push_back(static_cast<uint8_t>(crc >> 8));
        }
        EXPECT_EQ(::write(fd_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        Bytes answer;
        uint8_t buffer[256];
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, quietMs) > 0) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            answer.insert(answer.end(), buffer, buffer + n);
        }
        return answer;
    }
    static Bytes WithCrc(Bytes frame) {
        const uint16_t crc = sim::Crc16(frame.data(), frame.size());
        frame.push_back(static_cast<uint8_t>(crc));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        return frame;
    }

    int fd_ = -1;
};

TEST_F(SlaveProtocolTest, UnknownFunctionAndUnknownRegistersGetExceptions) {
    // Function 4 (input registers) is not one of the instrument's: exception 01.
    EXPECT_EQ(Transact({1, 0x04, 0x00, 0x00, 0x00, 0x01}), WithCrc({1, 0x84, 0x01}));
    // Register 40101 lies in no block: exception 02; so does a read that runs out of the live
    // block, and a coil without a command.
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x64, 0x00, 0x01}), WithCrc({1, 0x83, 0x02}));
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x28, 0x00, 0x40}), WithCrc({1, 0x83, 0x02}));
    EXPECT_EQ(Transact({1, 0x05, 0x00, 0x31, 0xFF, 0x00}), WithCrc({1, 0x85, 0x02}));
    // Unused registers inside a block read 0.
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x01, 0x00, 0x02}), WithCrc({1, 0x03, 4, 0, 0, 0, 0}));
    // Quantities the protocol does not allow: 0 or more than 125 registers to read, a write whose
    // byte count disagrees with its register count, a coil value other than FF00/0000. Each gets
    // exception 03, and the slave is in step for the next request.
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0x00, 0x00}), WithCrc({1, 0x83, 0x03}));
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0x00, 0x7E}), WithCrc({1, 0x83, 0x03}));
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0xFF, 0xFF}), WithCrc({1, 0x83, 0x03}));
    EXPECT_EQ(Transact({1, 0x10, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x01}),
              WithCrc({1, 0x90, 0x03}));
    EXPECT_EQ(Transact({1, 0x05, 0x00, 0x06, 0x12, 0x34}), WithCrc({1, 0x85, 0x03}));
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0x00, 0x01}), WithCrc({1, 0x03, 2, 0x07, 0xD3}));
    // A coil command switched off is taken and does nothing.
    EXPECT_EQ(Transact({1, 0x05, 0x00, 0x06, 0x00, 0x00}),
              WithCrc({1, 0x05, 0x00, 0x06, 0x00, 0x00}));
}

TEST_F(SlaveProtocolTest, CorruptAndForeignFramesAreSilenceAndTheSlaveStaysInStep) {
    const Bytes read = {1, 0x03, 0x00, 0x00, 0x00, 0x01};
    Bytes corrupt = WithCrc(read);
    corrupt.back() ^= 0x01;
    EXPECT_TRUE(Transact(corrupt, false).empty());
    EXPECT_TRUE(Transact({9, 0x03, 0x00, 0x00, 0x00, 0x01}).empty()); // nobody at 9
    EXPECT_TRUE(Transact({0, 0x05, 0x00, 0x06, 0xFF, 0x00}).empty()); // broadcast: no answer
    // Noise on the line, then a good request: answered.
    EXPECT_TRUE(Transact({0x55, 0xAA, 0x13}, false).empty());
    EXPECT_EQ(Transact(read), WithCrc({1, 0x03, 2, 0x07, 0xD3}));
    // The broadcast tare was not carried out.
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.Commands().size(); }), 0u);
}

TEST_F(SlaveProtocolTest, TruncatedWritesWithAValidCrcAreDroppedNotDecoded) {
    // A function 5 or 16 request cut short whose last two bytes happen to be a valid CRC of the
    // bytes before them. The slave must not decode registers beyond the frame's end.
    Bytes coil4 = WithCrc({1, 0x05});             // 4 bytes: no coil, no value
    Bytes coil6 = WithCrc({1, 0x05, 0x00, 0x06}); // 6 bytes: no value
    // 7 bytes of function 16 whose last CRC byte reads as a byte count that agrees with the
    // register count made of the bytes before it: decoding it would read the values past the end.
    Bytes write7;
    for (int start = 0; start < 0x10000 && write7.empty(); ++start) {
        Bytes f =
            WithCrc({1, 0x10, static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start), 0x00});
        if (f[5] >= 1 && f[5] <= 123 && f[6] == 2 * f[5])
            write7 = f;
    }
    ASSERT_EQ(write7.size(), 7u);
    const size_t discardedBefore = bus_.DiscardedBytes();
    for (const Bytes& truncated : {coil4, coil6, write7})
        EXPECT_TRUE(Transact(truncated, false).empty()) << truncated.size() << " bytes";
    EXPECT_EQ(bus_.DiscardedBytes() - discardedBefore, 4u + 6u + 7u);
    EXPECT_EQ(bus_.RequestCount(1), 0u);
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.Commands().size() + m.Writes().size(); }),
              0u);
    // The slave is in step for the next request.
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0x00, 0x01}), WithCrc({1, 0x03, 2, 0x07, 0xD3}));
}

TEST_F(SlaveProtocolTest, TheRequestLogKeepsTheLatestRequestsAndCountsThemAll) {
    // The log is a ring: a bus that runs for days keeps only the last requests, oldest first,
    // while the count per address goes on.
    EXPECT_EQ(sim::SimBus::kRequestLogSize, 4096u);
    bus_.SetRequestLogLimit(3);
    for (uint8_t reg = 0; reg < 5; ++reg)
        EXPECT_FALSE(Transact({1, 0x03, 0x00, reg, 0x00, 0x01}).empty());
    const auto log = bus_.Requests();
    ASSERT_EQ(log.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(log[i], WithCrc({1, 0x03, 0x00, static_cast<uint8_t>(2 + i), 0x00, 0x01}));
    EXPECT_EQ(bus_.RequestCount(1), 5u);
    bus_.ClearRequests();
    EXPECT_TRUE(bus_.Requests().empty());
    EXPECT_EQ(bus_.RequestCount(1), 0u);
}

TEST_F(SlaveProtocolTest, InjectedFaultsSitOnTopOfTheInstrument) {
    sim::FaultSpec injected;
    injected.kind = sim::Fault::Exception;
    injected.exceptionCode = 6;
    bus_.InjectFault(1, injected);
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0x00, 0x01}), WithCrc({1, 0x83, 0x06}));
    EXPECT_EQ(Transact({1, 0x03, 0x00, 0x00, 0x00, 0x01}), WithCrc({1, 0x03, 2, 0x07, 0xD3}));
}

} // namespace
} // namespace quarnex::test
