// One contract for every link: the master over the serial port, RTU over TCP and Modbus TCP,
// each against the simulator, gives the same results for the same bus.

#include "comm/NetworkLink.h"
#include "support/BusFixture.h"

#include <string>

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

TEST_P(LinkContractTest, ForeignMbapHeadersAreRefused) {
    if (GetParam() != LinkKind::ModbusTcp)
        GTEST_SKIP() << "only Modbus TCP has a transaction and protocol id";
    Reopen(300);
    uint16_t value = 0;
    for (Fault f : {Fault::WrongTransaction, Fault::WrongProtocol}) {
        bus_.InjectFault(1, {.kind = f});
        EXPECT_EQ(Read(value), CommStatus::NoResponse) << static_cast<int>(f);
        Reopen(10000);
        EXPECT_EQ(Read(value), CommStatus::Ok) << static_cast<int>(f);
        Reopen(300);
    }
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

class Rs485Test : public BusFixture {};

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

TEST(NetworkLinkTest, UnreachableGatewayIsSaidAndEveryRequestIsSilent) {
    Profile profile;
    profile.WriteString("Comm Param", "Link", "mbap");
    profile.WriteString("Comm Param", "Host", "127.0.0.1");
    profile.WriteInt("Comm Param", "TCP Port", 1); // nobody listens there
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    EXPECT_FALSE(master.Open());
    EXPECT_NE(prompter.LastText().find("Can not connect to the bus gateway.\nmbap://127.0.0.1:1"),
              std::string::npos);
    uint16_t value = 0;
    EXPECT_EQ(master.ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::NoResponse);
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
