// Searches and reads through a model of a real Modbus TCP gateway: one request at a time over its
// own serial line, and exception 0x0B after its own target time-out for an empty address.

#include "comm/NetworkLink.h"
#include "platform/Clock.h"
#include "support/BusFixture.h"

#include <algorithm>

namespace quarnex::test {
namespace {

class GatewayTest : public BusFixture {
protected:
    void Serve(int targetTimeoutMs, int lineBaud) {
        std::string error;
        const int port = bus_.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
        ASSERT_NE(port, 0) << error;
        bus_.SetGatewayModel(targetTimeoutMs, lineBaud);
        profile_.WriteString("Comm Param", "Link", "mbap");
        profile_.WriteString("Comm Param", "Host", "127.0.0.1");
        profile_.WriteInt("Comm Param", "TCP Port", port);
    }
    void Open(int responseTimeoutMs) {
        profile_.WriteInt("Comm Param", "Response timeout", responseTimeoutMs);
        MakeMaster();
    }
    CommStatus Probe(int address, int retries = 0) {
        uint16_t value = 0;
        return master_->ReadHoldingRegisters(address, 40001, 1, &value,
                                             {.retries = retries, .probe = true});
    }
};

// The old 100 ms probe gave up before such gateways answered: a probe waits for the gateway, and
// the gateway's 0x0B ends the wait long before the response time-out.
TEST_F(GatewayTest, ProbesFindEveryInstrumentBehindASlowGateway) {
    struct Case {
        int targetTimeoutMs, baud;
    } cases[] = {{300, 9600}, {100, 2400}, {50, 1200}};
    AddBank(1);
    AddBank(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.targetTimeoutMs) + " ms, " + std::to_string(c.baud));
        bus_.Stop();
        std::string error;
        ASSERT_TRUE(bus_.Start(error)) << error;
        Serve(c.targetTimeoutMs, c.baud);
        Open(20000);
        EXPECT_EQ(Probe(1), CommStatus::Ok);
        const int64_t t0 = MonotonicMs();
        EXPECT_EQ(Probe(2), CommStatus::NoResponse);
        EXPECT_LT(MonotonicMs() - t0, 10000); // ended by the 0x0B, not the 20 s
        EXPECT_TRUE(master_->LastSilenceFromGateway());
        EXPECT_EQ(Probe(3), CommStatus::Ok);
    }
}

// The gateway's 0x0B after the response time-out: the address is silent, and the text names
// the gateway and says the answer came too late.
TEST_F(GatewayTest, AGatewaySlowerThanTheResponseTimeoutIsNamed) {
    Serve(600, 9600);
    Open(300);
    EXPECT_EQ(Probe(2, 2), CommStatus::NoResponse); // the 0x0B of the first comes in the third
    const std::string text = master_->LastStatusText(CommStatus::NoResponse, false);
    EXPECT_NE(text.find("got no answer from address 2"), std::string::npos) << text;
    EXPECT_NE(text.find("later than the response timeout of 300 ms"), std::string::npos) << text;
    EXPECT_GE(master_->LateAnswerCount(), 1);
}

// Silent addresses back up a gateway slower than the wait; the answer of an instrument asked
// behind them comes late. It is counted, its address kept for the search to ask again, and asked
// again it answers.
TEST_F(GatewayTest, ALateAnswerIsKeptAndTheAddressAnswersWhenAskedAgain) {
    AddBank(3);
    Serve(600, 9600);
    Open(300);
    EXPECT_EQ(Probe(2), CommStatus::NoResponse);
    EXPECT_EQ(Probe(4), CommStatus::NoResponse);
    EXPECT_EQ(Probe(3), CommStatus::NoResponse); // the gateway is still busy with 2 and 4
    std::vector<int> late;
    for (int i = 0; i < 4 && std::find(late.begin(), late.end(), 3) == late.end(); ++i) {
        Probe(5);
        late = master_->TakeLateAnswerAddresses();
    }
    EXPECT_NE(std::find(late.begin(), late.end(), 3), late.end());
    Open(20000);
    EXPECT_EQ(Probe(3), CommStatus::Ok);
}

} // namespace
} // namespace quarnex::test
