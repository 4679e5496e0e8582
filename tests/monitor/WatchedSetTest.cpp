#include "support/BusFixture.h"

#include "monitor/BusSearch.h"
#include "monitor/WatchedSet.h"

#include <filesystem>
#include <string>

#include <unistd.h>

namespace quarnex::test {
namespace {

TEST(WatchedSet, FreshProfileWatchesAddressOneOnlyAndOnlyValueOneCounts) {
    Profile profile;
    AddressFlags watched = LoadWatchedSet(profile);
    EXPECT_EQ(CountFlags(watched), 1);
    EXPECT_TRUE(watched[1]);

    profile.WriteInt(kWatchedSection, "1", 0);
    profile.WriteInt(kWatchedSection, "5", 2);
    profile.WriteString(kWatchedSection, "6", "1abc"); // leading digits are read
    profile.WriteInt(kWatchedSection, "247", 1);
    watched = LoadWatchedSet(profile);
    EXPECT_FALSE(watched[1]);
    EXPECT_FALSE(watched[5]);
    EXPECT_TRUE(watched[6]);
    EXPECT_TRUE(watched[247]);
    EXPECT_EQ(CountFlags(watched), 2);
}

TEST(WatchedSet, SaveWritesEveryAddressInOrder) {
    Profile profile;
    AddressFlags watched{};
    watched[3] = watched[17] = true;
    ASSERT_TRUE(SaveWatchedSet(profile, watched));
    const std::vector<std::string> keys = profile.Keys(kWatchedSection);
    ASSERT_EQ(keys.size(), 247u);
    for (int a = 1; a <= 247; ++a) {
        EXPECT_EQ(keys[static_cast<size_t>(a - 1)], std::to_string(a));
        EXPECT_EQ(profile.GetInt(kWatchedSection, std::to_string(a), -1), a == 3 || a == 17);
    }
    EXPECT_EQ(LoadWatchedSet(profile), watched);
}

// A save rewrites the file once, not once per address, and what it wrote reads back from disk.
// A profile it cannot write reports the failure.
TEST(WatchedSet, SaveRewritesTheFileOnce) {
    const std::string dir = testing::TempDir() + "quarnex-watched-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    Profile profile(dir + "/quarnex.ini");
    ASSERT_TRUE(profile.WriteInt("Comm Param", "Baud", 9600));
    ASSERT_EQ(profile.FileWrites(), 1);
    AddressFlags watched{};
    watched[2] = watched[247] = true;
    ASSERT_TRUE(SaveWatchedSet(profile, watched));
    EXPECT_EQ(profile.FileWrites(), 2);
    Profile reread(dir + "/quarnex.ini");
    EXPECT_EQ(LoadWatchedSet(reread), watched);
    EXPECT_EQ(reread.GetInt("Comm Param", "Baud", 0), 9600);
    {
        // Nested batches: only the outermost writes.
        Profile::Batch outer(profile);
        ASSERT_TRUE(SaveWatchedSet(profile, AddressFlags{}));
        EXPECT_EQ(profile.FileWrites(), 2);
    }
    EXPECT_EQ(profile.FileWrites(), 3);
    std::filesystem::remove_all(dir);

    Profile unwritable("/proc/quarnex-no-such-dir/quarnex.ini");
    EXPECT_FALSE(SaveWatchedSet(unwritable, watched));
    EXPECT_EQ(LoadWatchedSet(unwritable), watched); // kept in memory
}

class SearchTest : public BusFixture {
protected:
    // Answers register 40001 with a KEL 7's type code.
    void Instrument(int address) { AddBank(address)->Set(0, 2003); }

    void SetUp() override {
        BusFixture::SetUp();
        // 115200 baud and a short receive margin keep the 245 silent addresses quick; the
        // search asks with the link's own receive time-out.
        profile_.WriteInt("Comm Param", "Baud", 115200);
    }
    void Open() {
        MakeMaster();
        ASSERT_TRUE(master_->Link().SetReceiveMargin(20));
    }
};

TEST_F(SearchTest, FindsExactlyTheAnsweringInstrumentsAndReplacesTheSelection) {
    Instrument(3);
    Instrument(17);
    // An address that answers register 40001 with an exception is not an instrument found.
    auto refusing = std::make_shared<sim::RegisterBank>();
    refusing->AddBlock(100, 10);
    bus_.Attach(30, refusing);
    Open();

    BusSearch search(*master_);
    int ticks = 0;
    while (search.Tick())
        ++ticks;
    EXPECT_EQ(ticks + 1, 247);
    EXPECT_TRUE(search.Finished());
    EXPECT_EQ(search.LastAsked(), 247);
    EXPECT_EQ(search.FoundCount(), 2);
    EXPECT_FALSE(search.Tick()); // nothing more to ask

    // One request per address, address 1 with its six repeats; one register from 40001.
    EXPECT_EQ(bus_.RequestCount(1), 7u);
    EXPECT_EQ(bus_.RequestCount(3), 1u);
    EXPECT_EQ(bus_.RequestCount(30), 1u);
    EXPECT_EQ(bus_.RequestCount(247), 1u);
    const std::vector<uint8_t> expected = {3, 3, 0, 0, 0, 1};
    for (const auto& request : bus_.Requests()) {
        if (request[0] == 3) {
            EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.begin() + 6), expected);
        }
    }
    EXPECT_TRUE(prompter_.Boxes().empty()); // failures are never reported

    AddressFlags before{};
    before[1] = before[3] = before[200] = true;
    InstrToViewSheet sheet(before);
    sheet.SearchStopped(search);
    EXPECT_EQ(sheet.FoundCount(), 2);
    for (int a = 1; a <= 247; ++a)
        EXPECT_EQ(sheet.Selected(a), a == 3 || a == 17) << a;
}

TEST_F(SearchTest, StopKeepsWhatWasFoundSoFarAndCancelKeepsTheSelection) {
    Instrument(17);
    Instrument(150);
    Open();
    BusSearch search(*master_);
    while (search.LastAsked() < 100)
        ASSERT_TRUE(search.Tick());
    EXPECT_EQ(bus_.RequestCount(101), 0u);

    AddressFlags before{};
    before[150] = before[5] = true;
    InstrToViewSheet stopped(before);
    stopped.SearchStopped(search);
    EXPECT_EQ(stopped.FoundCount(), 1);
    EXPECT_TRUE(stopped.Selected(17));
    EXPECT_FALSE(stopped.Selected(150)); // never asked: unticked like every other address
    EXPECT_FALSE(stopped.Selected(5));

    InstrToViewSheet cancelled(before);
    cancelled.SearchStopped(search);
    cancelled.SearchCancelled();
    EXPECT_EQ(cancelled.FoundCount(), 0);
    InstrToViewSheet untouched(before);
    untouched.SearchCancelled();
    EXPECT_EQ(untouched.Selection(), before);
}

TEST_F(SearchTest, WithoutAPortNothingIsFoundAndNothingIsSent) {
    Instrument(1);
    MakeMaster(false);
    BusSearch search(*master_);
    while (search.Tick()) {
    }
    EXPECT_EQ(search.FoundCount(), 0);
    EXPECT_TRUE(bus_.Requests().empty());
    EXPECT_TRUE(prompter_.Boxes().empty());
}

} // namespace
} // namespace quarnex::test
