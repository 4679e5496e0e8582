// The serial port's device goes away under the open port and comes back at the same path (a USB
// adapter pulled out and plugged in again, here a pseudo-terminal closed and made again behind
// one symbolic link): the window's logic and the weight log say so, and go on by themselves.

#include "support/BusFixture.h"

#include "monitor/QuarnexView.h"
#include "monitor/panel/WeightLog.h"
#include "platform/Clock.h"
#include "session/BusSession.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <utility>

namespace quarnex::test {
namespace {

class DeviceRemovedTest : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        char dir[] = "/tmp/quarnex-replugXXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        link_ = dir_ + "/ttyUSB0";
        Plug();
        profile_.WriteString("Serial Devices", "COM1", link_);
        AddressFlags watched{};
        watched[1] = true;
        SaveWatchedSet(profile_, watched);
    }
    void TearDown() override {
        device_.reset();
        BusFixture::TearDown();
        std::filesystem::remove_all(dir_);
    }
    // A new pseudo-terminal behind the link, with a KEL 7 at address 1.
    void Plug() {
        device_ = std::make_unique<sim::SimBus>();
        std::string error;
        ASSERT_TRUE(device_->Start(error, link_)) << error;
        auto bank = std::make_shared<sim::RegisterBank>();
        bank->AddBlock(0, 100);
        bank->AddBlock(393, 2);
        bank->Set(0, 2003);
        bank->SetFloat(393, 1310.0f);
        device_->Attach(1, bank);
    }
    void Unplug() { device_.reset(); }
    std::string Removed() const { return "COM1 (" + link_ + ") was removed"; }

    std::string dir_, link_;
    std::unique_ptr<sim::SimBus> device_;
};

TEST_F(DeviceRemovedTest, TheMainViewSaysSoAndReopensTheDevice) {
    MakeMaster();
    // Inline: every tick's polls are done when Tick returns.
    QueueDelivery delivery;
    BusSession session(*master_, delivery, prompter_, BusSession::Mode::Inline);
    QuarnexView view(session, *master_, profile_, prompter_);
    view.InitialUpdate();
    // Ticks as the window's timer does, until the condition holds (at most 20 s).
    auto tickUntil = [&](auto done) {
        for (const int64_t end = MonotonicMs() + 20000; !done() && MonotonicMs() < end;)
            Delay(view.Tick());
        return done();
    };
    ASSERT_TRUE(tickUntil([&] { return !view.State(1).absent; }));
    Unplug();
    ASSERT_TRUE(tickUntil([&] { return !view.SilenceNote().empty(); }));
    EXPECT_EQ(view.SilenceNote(), Removed()); // not the wiring
    Plug();
    ASSERT_TRUE(tickUntil([&] { return !view.State(1).absent; }));
    EXPECT_EQ(view.SilenceNote(), "");
}

TEST_F(DeviceRemovedTest, TheWeightLogSaysSoAndGoesOn) {
    MakeMaster();
    ScriptedPrompter quiet;
    WeightLogger logger(*master_, quiet, {.addresses = {1}, .intervalMs = 100, .retries = 0});
    std::vector<std::string> reported;
    int readBefore = 0, failed = 0, readAfter = 0;
    bool unplugged = false;
    const int64_t end = MonotonicMs() + 30000;
    logger.Run(
        [&](const WeightSample& sample) {
            if (!sample.read)
                ++failed;
            else if (reported.empty())
                ++readBefore;
            else
                ++readAfter;
            if (readBefore == 2 && !std::exchange(unplugged, true))
                Unplug();
            if (!device_ && !reported.empty())
                Plug();
            return true;
        },
        [&] { return readAfter >= 2 || MonotonicMs() > end; },
        [&](const std::string& text) { reported.push_back(text); });
    EXPECT_GE(failed, 1);
    EXPECT_EQ(readAfter, 2);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0], Removed());
    EXPECT_EQ(reported[1], "COM1 (" + link_ + ") is back");
}

} // namespace
} // namespace quarnex::test
