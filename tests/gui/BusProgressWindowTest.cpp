// The progress window of a long read: up once the read takes long enough, counting the requests,
// its owner disabled meanwhile and given back after; the traffic window still sees every attempt.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"

#include "app/panel/BusProgressWindow.h"

#include <QWidget>

namespace quarnex::test {
namespace {

class CountingObserver : public TrafficObserver {
public:
    void OnAttempt(const TrafficRecord&) override { ++attempts; }
    int attempts = 0;
};

class BusProgressWindowTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
    }
};

TEST_F(BusProgressWindowTest, CountsTheRequestsWithTheOwnerDisabled) {
    AddBank(1);
    MakeMaster();
    CountingObserver traffic;
    master_->SetTrafficObserver(&traffic);
    QWidget owner;
    owner.show();
    {
        BusProgressWindow progress(*master_, &owner, "Reading the set-up of the instrument ...");
        progress.SetShowAfter(0); // the simulated bus answers at once
        uint16_t value = 0;
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::Ok);
        ASSERT_NE(progress.Window(), nullptr);
        EXPECT_TRUE(progress.Window()->isVisible());
        EXPECT_EQ(progress.Window()->MessageShown(),
                  "Reading the set-up of the instrument ...\n3 requests");
        EXPECT_FALSE(owner.isEnabled());
    }
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_EQ(traffic.attempts, 3);
    EXPECT_EQ(master_->GetTrafficObserver(), &traffic);
    master_->SetTrafficObserver(nullptr);
}

} // namespace
} // namespace quarnex::test
