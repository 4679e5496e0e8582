#include "support/BusFixture.h"

namespace quarnex::test {
namespace {

class MasterTest : public BusFixture {};

TEST_F(MasterTest, ReadsSeventeenRegisters) {
    auto bank = AddBank(1);
    for (int i = 0; i < 17; ++i)
        bank->Set(static_cast<uint16_t>(i), static_cast<uint16_t>(100 + i));
    MakeMaster();
    uint16_t values[17] = {};
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, values), 0);
    EXPECT_EQ(values[16], 116);
    const auto requests = bus_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x11, 0x85, 0xC6}));
}

} // namespace
} // namespace quarnex::test
