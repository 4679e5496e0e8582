#include "monitor/BusTraffic.h"

#include <gtest/gtest.h>

namespace quarnex::test {
namespace {

void Feed(TrafficRecorder& recorder, uint8_t address, int n = 1) {
    for (int i = 0; i < n; ++i) {
        TrafficRecord r;
        r.request = {address, 3, 0, 0, 0, 1};
        r.lastAnswerNs = 5'000'000;
        recorder.OnAttempt(r);
    }
}

// The table never holds more than the ring; rows that fall off the top are reported as dropped,
// counted only when the filter showed them.
TEST(BusTrafficTest, TableKeepsTheRingsBoundAndTheFilter) {
    TrafficRecorder recorder(4);
    Feed(recorder, 1, 2);
    BusTraffic logic(recorder);
    BusTraffic::Display d = logic.TakeDisplay();
    EXPECT_TRUE(d.reset);
    EXPECT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.pauseText, "Pause");
    EXPECT_EQ(d.addresses, std::vector<int>{1});

    logic.SetAddressFilter(2);
    d = logic.TakeDisplay();
    EXPECT_TRUE(d.reset);
    EXPECT_TRUE(d.rows.empty());
    EXPECT_EQ(d.addresses, (std::vector<int>{1, 2})); // the chosen address stays offered
    Feed(recorder, 2, 3);
    logic.Tick();
    d = logic.TakeDisplay();
    EXPECT_FALSE(d.reset);
    EXPECT_EQ(d.rows.size(), 3u);
    EXPECT_EQ(d.dropped, 0u); // the address-1 rows that fell off were not shown
    EXPECT_EQ(logic.Shown().size(), 3u);
    Feed(recorder, 2, 2);
    logic.Tick();
    d = logic.TakeDisplay();
    EXPECT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.dropped, 1u);
    EXPECT_EQ(logic.Shown().size(), 4u);
    EXPECT_EQ(d.summary, "4 transactions, 4 attempts, 0 failed; address 2: mean 5.00 ms, "
                         "p99 5.00 ms");
}

// Paused, the table takes nothing; resumed, it takes what the ring still holds.
TEST(BusTrafficTest, PauseHoldsTheTableResumeCatchesUp) {
    TrafficRecorder recorder(10);
    BusTraffic logic(recorder);
    logic.TakeDisplay();
    logic.SetPaused(true);
    Feed(recorder, 1, 3);
    EXPECT_EQ(logic.Tick(), BusTraffic::kRefreshMs);
    BusTraffic::Display d = logic.TakeDisplay();
    EXPECT_TRUE(d.rows.empty());
    EXPECT_EQ(d.pauseText, "Resume");
    logic.SetPaused(false);
    d = logic.TakeDisplay();
    EXPECT_EQ(d.rows.size(), 3u);
    logic.Clear();
    d = logic.TakeDisplay();
    EXPECT_TRUE(d.reset);
    EXPECT_TRUE(d.rows.empty());
    EXPECT_EQ(recorder.Size(), 0u);
    Feed(recorder, 1);
    logic.Tick();
    EXPECT_EQ(logic.TakeDisplay().rows.size(), 1u);
}

} // namespace
} // namespace quarnex::test
