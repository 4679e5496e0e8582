#include "support/BusFixture.h"

namespace quarnex::test {

void BusFixture::SetUp() {
    std::string error;
    ASSERT_TRUE(bus_.Start(error)) << error;
    profile_.WriteString("Serial Devices", "COM1", bus_.DevicePath());
}

void BusFixture::TearDown() {
    inlineSession_.reset();
    master_.reset();
    bus_.Stop();
}

BusSession& BusFixture::InlineSession() {
    if (!inlineSession_)
        inlineSession_ = std::make_unique<BusSession>(*master_, inlineDelivery_, prompter_,
                                                      BusSession::Mode::Inline);
    return *inlineSession_;
}

void BusFixture::MakeMaster(bool open) {
    inlineSession_.reset();
    master_.reset();
    master_ = std::make_unique<ModbusMaster>(profile_, prompter_);
    if (open) {
        ASSERT_TRUE(master_->Open()) << prompter_.LastText();
    }
}

std::shared_ptr<sim::RegisterBank> BusFixture::AddBank(int address) {
    auto bank = std::make_shared<sim::RegisterBank>();
    bank->AddBlock(0, 100);
    bus_.Attach(address, bank);
    return bank;
}

} // namespace quarnex::test
