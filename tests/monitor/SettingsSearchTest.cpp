// Finding a bus whose settings nobody remembers, against a simulated instrument that answers
// only at its own baud rate and parity (the simulator reads the master's port settings).

#include "monitor/SettingsSearch.h"

#include "comm/ModbusMaster.h"
#include "support/BusFixture.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace quarnex::test {
namespace {

class SettingsSearchTest : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        AddBank(17)->Set(0, 2003);
        bus_.SetLineSettings(17, {19200, 'E'});
        MakeMaster();
    }
    LineSetting Now() const {
        return {master_->Settings().BaudRate(), master_->Settings().ParityLetter()};
    }
};

TEST_F(SettingsSearchTest, FindsTheInstrumentsSettingsAndPutsTheOldOnesBack) {
    SettingsSearch search(*master_, {3, 17}, false, 0);
    while (search.Step()) {
    }
    ASSERT_EQ(search.Results().size(), 1u) << search.Summary();
    EXPECT_EQ(search.Results()[0].setting, (LineSetting{19200, 'E'}));
    EXPECT_EQ(search.Summary(), "1 instrument at 19200 baud, parity E: 17");
    // 9600 N, then 19200 N, where the garbled answer sends it to 19200's other parities.
    EXPECT_EQ(search.SettingNumber(), 3);
    // It stopped at the first setting that answered, and says so.
    EXPECT_TRUE(search.OthersNotTried());
    EXPECT_EQ(search.OthersNotTriedText(true),
              "Other settings were not tried (--go-on tries them all)");
    EXPECT_EQ(Now(), (LineSetting{9600, 'N'}));
    // Taken as "Communication parameters" keeps them: in the profile, and the port at them.
    ASSERT_TRUE(search.Keep(profile_));
    EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 19200);
    EXPECT_EQ(profile_.GetString("Comm Param", "Parity", ""), "E");
    uint16_t type = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(17, 40001, 1, &type), CommStatus::Ok);
}

// Bytes that come at a baud rate, short of a whole answer as well as garbled, tell that rate is
// the bus's: its other parities are tried next.
TEST_F(SettingsSearchTest, AShortAnswerAlsoSendsItToThatBaudRatesOtherParities) {
    bus_.InjectFault(17, {.kind = sim::Fault::ShortAnswer, .count = 1});
    SettingsSearch search(*master_, {3, 17}, false, 0);
    while (search.Step()) {
    }
    ASSERT_EQ(search.Results().size(), 1u) << search.Summary();
    EXPECT_EQ(search.Results()[0].setting, (LineSetting{19200, 'E'}));
    EXPECT_EQ(search.SettingNumber(), 3);
}

// A port that would not open at the old settings is opened at them again when the search ends:
// the bus is left as it was found, not closed. (Here the device appears once the failure is said.)
TEST_F(SettingsSearchTest, APortThatFailedIsOpenedAgainAtTheOldSettings) {
    const std::string link =
        ::testing::TempDir() + "quarnex-search-port-" + std::to_string(getpid());
    std::remove(link.c_str());
    struct Appearing : ScriptedPrompter {
        std::function<void()> onMessage;
        void Message(Icon icon, const std::string& text, const std::string& caption) override {
            ScriptedPrompter::Message(icon, text, caption);
            if (onMessage)
                onMessage();
        }
    } prompter;
    prompter.onMessage = [&] {
        if (access(link.c_str(), F_OK) != 0) {
            EXPECT_EQ(symlink(bus_.DevicePath().c_str(), link.c_str()), 0);
        }
    };
    master_.reset(); // the port is this test's master's
    CommSettings settings;
    settings.Load(profile_);
    settings.SetDevicePath(settings.PortNumber(), link);
    ModbusMaster master(settings, prompter);
    SettingsSearch search(master, {17}, false, 0);
    EXPECT_FALSE(search.Step());
    EXPECT_TRUE(search.Failed());
    EXPECT_TRUE(master.Link().IsOpen()) << prompter.LastText();
    std::remove(link.c_str());
}

TEST_F(SettingsSearchTest, NothingToFindEndsAndSaysSo) {
    SettingsSearch search(*master_, {3}, false, 0);
    // Said before it starts: the slow rates' time-outs make up most of it.
    EXPECT_EQ(search.LongestText(),
              "The whole search can take up to " +
                  std::to_string(static_cast<int>(std::ceil(search.LongestSeconds()))) +
                  " s (30 settings of baud rate and parity, 1 address at "
                  "each).");
    EXPECT_GT(search.LongestSeconds(), 3 * 0.44); // at least 300 baud's receive base, 3 parities
    int steps = 0;
    while (search.Step())
        ++steps;
    EXPECT_TRUE(search.Results().empty());
    EXPECT_EQ(search.SettingNumber(), 30);
    EXPECT_EQ(steps + 1, search.Total());
    EXPECT_EQ(search.Summary(), "No instrument answered at any baud rate and parity (addresses 3)");
    EXPECT_FALSE(search.OthersNotTried());
    EXPECT_EQ(Now(), (LineSetting{9600, 'N'}));
    EXPECT_TRUE(master_->Link().IsOpen());
}

TEST(SettingsSearchOrderTest, MostLikelyFirstEveryOneOnce) {
    const std::vector<LineSetting> order = SettingsSearch::Candidates({4800, 'O'});
    ASSERT_EQ(order.size(), 30u);
    const std::vector<LineSetting> head(order.begin(), order.begin() + 5);
    EXPECT_EQ(head, (std::vector<LineSetting>{
                        {4800, 'O'}, {9600, 'N'}, {19200, 'N'}, {38400, 'N'}, {115200, 'N'}}));
    AddressFlags watched{};
    watched[17] = watched[3] = true;
    EXPECT_EQ(SettingsSearch::LikelyAddresses(watched),
              (std::vector<int>{3, 17, 1, 2, 4, 5, 6, 7, 8, 9, 10}));
}

} // namespace
} // namespace quarnex::test
