// One contract for every link: the master over the serial port, RTU over TCP and Modbus TCP,
// each against the simulator, gives the same results for the same bus.

#include "comm/NetworkLink.h"
#include "comm/TrafficLog.h"
#include "comm/TrafficRecorder.h"
#include "platform/Clock.h"
#include "support/BusFixture.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quarnex::test {
namespace {

using sim::Fault;
using sim::FaultSpec;

class LinkContractTest : public BusFixture, public ::testing::WithParamInterface<LinkKind> {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        AddBank(1);
        if (GetParam() != LinkKind::Serial) {
            std::string error;
            port_ = bus_.ServeNetwork(GetParam() == LinkKind::ModbusTcp ? sim::NetKind::ModbusTcp
                                                                        : sim::NetKind::RtuOverTcp,
                                      "127.0.0.1", 0, error);
            ASSERT_NE(port_, 0) << error;
            profile_.WriteString("Comm Param", "Link",
                                 GetParam() == LinkKind::ModbusTcp ? "mbap" : "tcp");
            profile_.WriteString("Comm Param", "Host", "127.0.0.1");
            profile_.WriteInt("Comm Param", "TCP Port", port_);
        }
        Reopen(10000); // success paths never wait on a short time-out
    }
    // A short response time-out only where the answer is meant not to come.
    void Reopen(int responseTimeoutMs) {
        profile_.WriteInt("Comm Param", "Response timeout", responseTimeoutMs);
        MakeMaster();
    }
    bool Network() const { return GetParam() != LinkKind::Serial; }
    CommStatus Read(uint16_t& value, int retries = 0) {
        return master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = retries});
    }

    int port_ = 0;
};

TEST_P(LinkContractTest, ReadsWritesAndExceptions) {
    const uint16_t values[3] = {11, 22, 33};
    ASSERT_EQ(master_->WriteMultipleRegisters(1, 40010, 3, values), CommStatus::Ok);
    EXPECT_EQ(master_->WriteSingleRegister(1, 40013, 44), CommStatus::Ok);
    uint16_t got[17] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, got), CommStatus::Ok);
    EXPECT_EQ(got[9], 11);
    EXPECT_EQ(got[12], 44);
    // Outside the bank: the device's exception comes through unchanged.
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40200, 2, got), CommStatus::IllegalDataAddress);
    bus_.InjectFault(1, {.kind = Fault::Exception, .exceptionCode = 6});
    EXPECT_EQ(master_->WriteSingleRegister(1, 40001, 1), CommStatus::SlaveDeviceBusy);
    // Another unit id (address) answering is no answer to this request.
    bus_.InjectFault(1, {.kind = Fault::WrongAddress});
    EXPECT_EQ(Read(got[0]), CommStatus::ReceiveError);
    EXPECT_EQ(Read(got[0]), CommStatus::Ok);
}

// An exception answer is whole at its fifth byte: nothing more is waited for. Were the rest of a
// normal answer awaited, every refusal would cost the whole receive time-out (10 s here).
TEST_P(LinkContractTest, AnExceptionIsTakenWithoutWaitingForMore) {
    uint16_t value = 0;
    for (const uint8_t code : {2, 6}) {
        bus_.InjectFault(1, {.kind = Fault::Exception, .exceptionCode = code});
        const int64_t t0 = MonotonicMs();
        EXPECT_NE(master_->ReadHoldingRegisters(1, 40001, 8, &value, {.extraTimeout = 10000}),
                  CommStatus::Ok);
        EXPECT_LT(MonotonicMs() - t0, 5000) << int{code};
        EXPECT_EQ(master_->LastAttempts(), 1);
    }
    EXPECT_EQ(Read(value), CommStatus::Ok); // the connection (if any) still stands
}

TEST_P(LinkContractTest, SilenceAndRecovery) {
    Reopen(300);
    uint16_t value = 0;
    bus_.InjectFault(1, {.kind = Fault::Silence});
    EXPECT_EQ(Read(value), CommStatus::NoResponse);
    bus_.InjectFault(1, {.kind = Fault::Silence});
    EXPECT_EQ(Read(value, 1), CommStatus::Ok);
    EXPECT_EQ(master_->LastAttempts(), 2);
}

TEST_P(LinkContractTest, DroppedConnectionIsSilenceThenReconnects) {
    if (!Network())
        GTEST_SKIP() << "a serial port has no connection to drop";
    uint16_t value = 0;
    bus_.InjectFault(1, {.kind = Fault::Disconnect});
    EXPECT_EQ(Read(value), CommStatus::NoResponse);
    EXPECT_EQ(Read(value), CommStatus::Ok);
    bus_.InjectFault(1, {.kind = Fault::Disconnect});
    EXPECT_EQ(Read(value, 1), CommStatus::Ok); // the retry connects again
    EXPECT_EQ(master_->LastAttempts(), 2);
}

// A late frame of another transaction is dropped (silence); bytes that are no Modbus TCP frame,
// or half of one, are a receive error that says why, and the next request starts clean.
TEST_P(LinkContractTest, ForeignMbapHeadersAreRefused) {
    if (GetParam() != LinkKind::ModbusTcp)
        GTEST_SKIP() << "only Modbus TCP has a transaction and protocol id";
    struct Case {
        FaultSpec fault;
        CommStatus status;
        const char* hint;
    } cases[] = {
        {{.kind = Fault::WrongTransaction}, CommStatus::NoResponse, ""},
        {{.kind = Fault::WrongProtocol}, CommStatus::ReceiveError, "is this an RTU over TCP"},
        {{.kind = Fault::LateBytes, .lateMs = 600}, CommStatus::ReceiveError, "stopped short"},
    };
    for (const Case& c : cases) {
        Reopen(300);
        uint16_t value = 0;
        bus_.InjectFault(1, c.fault);
        EXPECT_EQ(Read(value), c.status) << static_cast<int>(c.fault.kind);
        EXPECT_NE(master_->LastStatusText(c.status, false).find(c.hint), std::string::npos)
            << master_->LastStatusText(c.status, false);
        Reopen(10000);
        EXPECT_EQ(Read(value), CommStatus::Ok) << static_cast<int>(c.fault.kind);
    }
}

// A gateway's "no path" and "no answer from the target" are the address being silent, on every
// link, and the text names the gateway; every other exception stays what it is.
TEST_P(LinkContractTest, GatewayExceptionsAreSilence) {
    struct Case {
        uint8_t code;
        CommStatus status;
    } cases[] = {{0x0A, CommStatus::NoResponse},
                 {0x0B, CommStatus::NoResponse},
                 {0x04, CommStatus::SlaveDeviceFailure},
                 {0x0C, CommStatus::OtherException}};
    uint16_t value = 0;
    for (const Case& c : cases) {
        bus_.InjectFault(1, {.kind = Fault::Exception, .exceptionCode = c.code});
        EXPECT_EQ(Read(value), c.status) << int{c.code};
        EXPECT_EQ(master_->LastSilenceFromGateway(), c.status == CommStatus::NoResponse);
    }
    bus_.InjectFault(1, {.kind = Fault::Exception, .count = 2, .exceptionCode = 0x0B});
    EXPECT_EQ(Read(value, 1), CommStatus::NoResponse);
    EXPECT_EQ(master_->LastAttempts(), 2); // silence is retried like any silence
    const std::string gateway =
        Network() ? "127.0.0.1:" + std::to_string(port_) : master_->Settings().LinkName();
    EXPECT_EQ(master_->LastStatusText(CommStatus::NoResponse, false),
              "The gateway " + gateway + " got no answer from address 1");
}

// A silent search probe keeps the connection: a device server that takes one connection at a
// time may refuse a new one at every silent address.
TEST_P(LinkContractTest, SilenceKeepsTheConnection) {
    if (!Network())
        GTEST_SKIP() << "a serial port has no connection";
    Reopen(200);
    uint16_t value = 0;
    auto& link = dynamic_cast<NetworkLink&>(master_->Link());
    const int connects = link.ConnectAttempts();
    EXPECT_EQ(master_->ReadHoldingRegisters(9, 40001, 1, &value, {.retries = 2, .probe = true}),
              CommStatus::NoResponse);
    bus_.InjectFault(1, {.kind = Fault::Silence});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 1}), CommStatus::Ok);
    EXPECT_EQ(link.ConnectAttempts(), connects);
}

TEST_P(LinkContractTest, SlowGatewayWithinAndBeyondTheTimeout) {
    if (!Network())
        GTEST_SKIP() << "the serial line's late bytes are tested with the line";
    uint16_t value = 0;
    bus_.InjectFault(1, {.kind = Fault::LateBytes, .lateMs = 100});
    EXPECT_EQ(Read(value), CommStatus::Ok);
    Reopen(100);
    bus_.InjectFault(1, {.kind = Fault::LateBytes, .lateMs = 600});
    EXPECT_NE(Read(value), CommStatus::Ok);
    // The rest of the late answer is never taken for the next one.
    Reopen(10000);
    EXPECT_EQ(Read(value), CommStatus::Ok);
    EXPECT_EQ(value, 0);
}

// The header's length counts the unit id and a PDU of 1 to 253 bytes; anything else, or a
// protocol id other than 0, is no Modbus TCP frame. A header of another transaction is a late
// answer to drop.
TEST(MbapHeaderTest, LengthAndProtocolDecideWhatFollows) {
    using mbap::HeaderCheck;
    struct Case {
        uint8_t bytes[mbap::kHeaderLength];
        HeaderCheck check;
        int pduLength; // only where the header is taken
    } cases[] = {
        {{0x12, 0x34, 0, 0, 0, 6, 1}, HeaderCheck::Ok, 5},
        {{0x12, 0x34, 0, 0, 0, 2, 1}, HeaderCheck::Ok, 1},
        {{0x12, 0x34, 0, 0, 0, 254, 1}, HeaderCheck::Ok, 253},
        {{0x12, 0x34, 0, 0, 0, 1, 1}, HeaderCheck::Broken, 0}, // a unit id and no function
        {{0x12, 0x34, 0, 0, 0, 0, 1}, HeaderCheck::Broken, 0},
        {{0x12, 0x34, 0, 0, 0, 255, 1}, HeaderCheck::Broken, 0}, // one byte beyond the longest PDU
        {{0x12, 0x34, 0, 0, 1, 6, 1}, HeaderCheck::Broken, 0},   // 262: the high byte counts
        {{0x12, 0x34, 0, 1, 0, 6, 1}, HeaderCheck::Broken, 0},   // protocol id 1
        {{0x12, 0x34, 1, 0, 0, 6, 1}, HeaderCheck::Broken, 0},   // protocol id 256
        {{0x12, 0x35, 0, 0, 0, 6, 1}, HeaderCheck::OtherTransaction, 5},
        {{0x13, 0x34, 0, 0, 0, 6, 1}, HeaderCheck::OtherTransaction, 5},
    };
    // An RTU request as a Modbus TCP frame: the length counts the unit id and the PDU, not the CRC.
    const uint8_t rtu[] = {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87};
    EXPECT_EQ(mbap::FromRtu(rtu, 8, 0x0102),
              (std::vector<uint8_t>{0x01, 0x02, 0, 0, 0, 6, 0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}));
    for (const Case& c : cases) {
        int pduLength = -1;
        const HeaderCheck check = mbap::CheckHeader(c.bytes, 0x1234, pduLength);
        const int line = static_cast<int>(&c - cases);
        EXPECT_EQ(check, c.check) << "case " << line;
        if (c.check != HeaderCheck::Broken) {
            EXPECT_EQ(pduLength, c.pduLength) << "case " << line;
        }
    }
}

class Rs485Test : public BusFixture {};
class WrongFramingTest : public BusFixture {};

// RTU over TCP pointed at a Modbus TCP gateway: its answer is said to be Modbus TCP.
TEST_F(WrongFramingTest, RtuOverTcpAtAGatewaySaysSo) {
    AddBank(1);
    std::string error;
    const int port = bus_.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
    ASSERT_NE(port, 0) << error;
    // The RTU request's first bytes read as transaction 0x0103 for unit 0xC4, which the gateway
    // finds silent and says so.
    bus_.SetGatewayException(0x0B);
    profile_.WriteString("Comm Param", "Link", "tcp");
    profile_.WriteString("Comm Param", "Host", "127.0.0.1");
    profile_.WriteInt("Comm Param", "TCP Port", port);
    profile_.WriteInt("Comm Param", "Response timeout", 10000);
    MakeMaster();
    uint16_t values[2] = {};
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values), CommStatus::ReceiveError);
    EXPECT_EQ(master_->LastStatusText(CommStatus::ReceiveError, false),
              "Receive error: the answer is Modbus TCP: is this a Modbus TCP gateway?");
}

// A device server that passes a broken answer on slowly: the retry must not read its tail.
TEST(RtuOverTcpTest, ATrickledBrokenAnswerIsDrainedBeforeTheRetry) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread server([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        uint8_t request[8];
        auto take = [&] {
            for (size_t got = 0; got < sizeof request;) {
                const ssize_t r = ::recv(fd, request + got, sizeof request - got, 0);
                if (r <= 0)
                    return false;
                got += static_cast<size_t>(r);
            }
            return true;
        };
        if (take()) {
            // An exception header with a wrong CRC, then the rest of a longer frame, byte by byte.
            const uint8_t head[] = {0x01, 0x83, 0x02, 0x00, 0x00};
            ::send(fd, head, sizeof head, MSG_NOSIGNAL);
            for (uint8_t b : {0xD3, 0xFB, 0xE9, 0x01, 0x03, 0x02, 0x07}) {
                ::usleep(2000);
                ::send(fd, &b, 1, MSG_NOSIGNAL);
            }
        }
        if (take()) {
            std::vector<uint8_t> answer{0x01, 0x03, 0x02, 0x00, 0x07};
            modbus::AppendCrc(answer);
            ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
        for (uint8_t b; ::recv(fd, &b, 1, 0) > 0;) {
        }
        ::close(fd);
    });
    {
        Profile profile;
        profile.WriteString("Comm Param", "Link", "tcp");
        profile.WriteString("Comm Param", "Host", "127.0.0.1");
        profile.WriteInt("Comm Param", "TCP Port", ntohs(address.sin_port));
        profile.WriteInt("Comm Param", "Response timeout", 10000);
        // The device server's line at 300 baud: a frame ends after 160 ms of quiet, far longer
        // than the test's steps between two bytes.
        profile.WriteInt("Comm Param", "Baud", 300);
        ScriptedPrompter prompter;
        ModbusMaster master(profile, prompter);
        ASSERT_TRUE(master.Open());
        uint16_t value = 0;
        EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 1}), CommStatus::Ok);
        EXPECT_EQ(value, 7);
        EXPECT_EQ(master.LastAttempts(), 2);
    }
    server.join();
    ::close(listener);
}

// A pseudo-terminal has no line driver to switch: the refusal is said, and the port not used.
// (No port here supports the mode; on one that does, Open reads the settings back itself.)
TEST_F(Rs485Test, ADriverWithoutTheModeRefusesItClearly) {
    profile_.WriteInt("Comm Param", "RS485", 1);
    profile_.WriteInt("Comm Param", "RS485 delay before", 2);
    MakeMaster(false);
    EXPECT_FALSE(master_->Open());
    EXPECT_EQ(prompter_.LastText().rfind("The serial port refuses the RS-485 mode.\nCOM1 (" +
                                             bus_.DevicePath() + "): ",
                                         0),
              0u)
        << prompter_.LastText();
}

// A profile whose bus is a network link ("tcp" or "mbap") to host:port.
Profile NetworkProfile(const char* link, const char* host, int port) {
    Profile profile;
    profile.WriteString("Comm Param", "Link", link);
    profile.WriteString("Comm Param", "Host", host);
    profile.WriteInt("Comm Param", "TCP Port", port);
    return profile;
}

TEST(NetworkLinkTest, UnreachableGatewayIsSaidAndEveryRequestIsSilent) {
    Profile profile = NetworkProfile("mbap", "127.0.0.1", 1); // nobody listens there
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    EXPECT_FALSE(master.Open());
    EXPECT_NE(prompter.LastText().find("Can not connect to the bus gateway.\nmbap://127.0.0.1:1"),
              std::string::npos);
    uint16_t value = 0;
    EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::NoResponse);
    // Neither every request nor every retry connects again: the link waits its pause, and the
    // silence says why.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 2}),
                  CommStatus::NoResponse);
    EXPECT_EQ(dynamic_cast<NetworkLink&>(master.Link()).ConnectAttempts(), 1);
    EXPECT_EQ(master.LastStatusText(CommStatus::NoResponse, false),
              "mbap://127.0.0.1:1: Connection refused");
}

// A host name that does not resolve is said, and not looked up again at every request.
TEST(NetworkLinkTest, AnUnresolvableNameIsSaidAndNotAskedAtEveryRequest) {
    Profile profile = NetworkProfile("tcp", "nosuch.invalid", 4001);
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    EXPECT_FALSE(master.Open());
    EXPECT_NE(prompter.LastText().find("cannot resolve nosuch.invalid"), std::string::npos)
        << prompter.LastText();
    uint16_t value = 0;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 2}),
                  CommStatus::NoResponse);
    EXPECT_EQ(dynamic_cast<NetworkLink&>(master.Link()).ConnectAttempts(), 1);
    EXPECT_NE(master.LastStatusText(CommStatus::NoResponse, false)
                  .find("tcp://nosuch.invalid:4001: cannot resolve nosuch.invalid"),
              std::string::npos);
}

// A master whose network link pauses pauseMs after a failed connect and looks names up with
// resolver (the system's when empty).
ModbusMaster NetworkMaster(const Profile& profile, Prompter& prompter, int pauseMs,
                           TcpConnection::Resolver resolver = {}) {
    return ModbusMaster(profile, prompter, [=](const CommSettings& s, Prompter& p) {
        auto link = std::make_unique<NetworkLink>(s, p);
        link->SetReconnectPauseMs(pauseMs);
        link->Connection().SetResolver(resolver);
        return std::unique_ptr<BusLink>(std::move(link));
    });
}

// A refused connection is tried again only once its pause is over; the traffic has one row per
// try, saying why, and none for the requests that came meanwhile.
TEST(NetworkLinkTest, ARefusedConnectionWaitsItsPauseAndEachTryIsOneRow) {
    Profile profile = NetworkProfile("mbap", "127.0.0.1", 1); // nobody listens there
    ScriptedPrompter prompter;
    constexpr int kPauseMs = 200;
    ModbusMaster master = NetworkMaster(profile, prompter, kPauseMs);
    TrafficRecorder recorder;
    master.SetTrafficObserver(&recorder);
    EXPECT_FALSE(master.Open());
    const auto& link = dynamic_cast<const NetworkLink&>(master.Link());
    int requests = 0;
    const int64_t giveUpNs = MonotonicNs() + 20'000'000'000;
    while (link.ConnectAttempts() < 3 && MonotonicNs() < giveUpNs) {
        uint16_t value = 0;
        EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 2}),
                  CommStatus::NoResponse);
        ++requests;
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a fast poll
    }
    ASSERT_EQ(link.ConnectAttempts(), 3);
    EXPECT_GT(requests, 2 * 3); // the pauses went by under polling, without a connect each
    ASSERT_EQ(recorder.Size(), 2u) << requests << " requests";
    for (size_t i = 0; i < recorder.Size(); ++i) {
        const traffic::TrafficRow row = traffic::MakeRow(recorder.At(i));
        EXPECT_EQ(row.status, "mbap://127.0.0.1:1: Connection refused");
        EXPECT_EQ(row.response, ""); // no time-out waited for an answer that could not come
    }
    EXPECT_GE(recorder.At(1).startNs - recorder.At(0).startNs, int64_t{kPauseMs} * 1'000'000);
}

// A resolver that does not answer holds no request longer than the short wait for it, is asked
// once while it works, and its failure is one row naming the host.
TEST(NetworkLinkTest, ASlowNameLookupHoldsNoRequestAndItsFailureIsOneRow) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<int> calls{0};
    };
    auto gate = std::make_shared<Gate>();
    const auto resolver = [gate](const std::string&, const std::string&, const addrinfo&,
                                 addrinfo**) {
        // The first lookup (at the open) fails at once; the next one hangs until let go.
        if (++gate->calls > 1) {
            std::unique_lock<std::mutex> lock(gate->mutex);
            gate->opened.wait(lock, [&] { return gate->open; });
        }
        return EAI_NONAME;
    };
    Profile profile = NetworkProfile("tcp", "slow.invalid", 4001);
    profile.WriteInt("Comm Param", "Response timeout", 30000); // the lookup's bound
    ScriptedPrompter prompter;
    ModbusMaster master = NetworkMaster(profile, prompter, 0, resolver);
    TrafficRecorder recorder;
    master.SetTrafficObserver(&recorder);
    EXPECT_FALSE(master.Open());
    for (int i = 0; i < 5; ++i) {
        const int64_t startNs = MonotonicNs();
        uint16_t value = 0;
        EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 2}),
                  CommStatus::NoResponse);
        // Waiting the lookup out would take 30 s: anything near that is a frozen window.
        EXPECT_LT(MonotonicNs() - startNs, int64_t{10'000'000'000});
    }
    EXPECT_EQ(gate->calls, 2);
    EXPECT_EQ(recorder.Size(), 0u); // nothing crossed the line while the name was looked up
    {
        std::lock_guard<std::mutex> lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    const int64_t giveUpNs = MonotonicNs() + 20'000'000'000;
    while (recorder.Size() == 0 && MonotonicNs() < giveUpNs) {
        uint16_t value = 0;
        master.ReadHoldingRegisters(1, 40001, 1, &value);
    }
    ASSERT_GE(recorder.Size(), 1u);
    EXPECT_EQ(traffic::MakeRow(recorder.At(0))
                  .status.rfind("tcp://slow.invalid:4001: cannot resolve slow.invalid", 0),
              0u)
        << traffic::MakeRow(recorder.At(0)).status;
}

TEST(LinkAddressTest, ParsesNetworkAddressesAndRefusesBrokenOnes) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
    } cases[] = {
        {"tcp://10.0.0.5:4001", true, "10.0.0.5", 4001},
        {"mbap://gateway.local:502", true, "gateway.local", 502},
        {"mbap://[::1]:1502", true, "::1", 1502},
        {"tcp://host", false, "", 0},
        {"tcp://:502", false, "", 0},
        {"tcp://host:0", false, "", 0},
        {"tcp://host:65536", false, "", 0},
        {"mbap://host:50x", false, "", 0},
        {"mbap://a b:502", false, "", 0},
        {"mbap://::1:502", false, "", 0},
    };
    for (const Case& c : cases) {
        LinkKind kind;
        std::string host, reason;
        int port = 0;
        EXPECT_EQ(ParseLinkAddress(c.text, kind, host, port, reason), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host);
            EXPECT_EQ(port, c.port);
            EXPECT_EQ(LinkAddress(kind, host, port), c.text);
        } else {
            EXPECT_FALSE(reason.empty()) << c.text;
        }
    }
    LinkKind kind;
    std::string host, reason;
    int port = 0;
    EXPECT_FALSE(ParseLinkAddress("/dev/ttyUSB0", kind, host, port, reason));
    EXPECT_TRUE(reason.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryLink, LinkContractTest,
                         ::testing::Values(LinkKind::Serial, LinkKind::RtuOverTcp,
                                           LinkKind::ModbusTcp),
                         [](const ::testing::TestParamInfo<LinkKind>& info) {
                             return info.param == LinkKind::Serial       ? "Serial"
                                    : info.param == LinkKind::RtuOverTcp ? "RtuOverTcp"
                                                                         : "ModbusTcp";
                         });

} // namespace
} // namespace quarnex::test
