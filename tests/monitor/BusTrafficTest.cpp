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

std::vector<uint64_t> Serials(const BusTraffic& logic) {
    std::vector<uint64_t> out;
    for (size_t i = 0; i < logic.RowCount(); ++i)
        out.push_back(logic.Row(i)->serial);
    return out;
}

// The table is the ring's newest records; rows whose records the ring overwrote go from the top,
// counted only when the filter showed them.
TEST(BusTrafficTest, TableFollowsTheRingAndTheFilter) {
    TrafficRecorder recorder(4);
    Feed(recorder, 1, 2);
    BusTraffic logic(recorder);
    BusTraffic::Changes c = logic.TakeChanges();
    EXPECT_TRUE(c.reset);
    EXPECT_EQ(Serials(logic), (std::vector<uint64_t>{1, 2}));
    EXPECT_EQ(logic.PauseText(), "Pause");
    EXPECT_EQ(logic.Addresses(), std::vector<int>{1});

    logic.SetAddressFilter(2);
    c = logic.TakeChanges();
    EXPECT_TRUE(c.reset);
    EXPECT_EQ(logic.RowCount(), 0u);
    EXPECT_EQ(logic.Addresses(), (std::vector<int>{1, 2})); // the chosen address stays offered
    Feed(recorder, 2, 3);
    logic.Tick();
    c = logic.TakeChanges();
    EXPECT_FALSE(c.reset);
    EXPECT_EQ(c.added, 3u);
    EXPECT_EQ(c.removed, 0u); // the address-1 record that fell off was not shown
    Feed(recorder, 2, 2);
    logic.Tick();
    c = logic.TakeChanges();
    EXPECT_EQ(c.added, 2u);
    EXPECT_EQ(c.removed, 1u);
    EXPECT_EQ(Serials(logic), (std::vector<uint64_t>{4, 5, 6, 7}));
    EXPECT_EQ(logic.Summary(), "4 transactions, 4 attempts, 0 failed; address 2: mean 5.00 ms, "
                               "p99 5.00 ms");
    // Nothing arrived: nothing to redo.
    logic.Tick();
    EXPECT_FALSE(logic.TakeChanges().Any());

    // More than the ring holds between two ticks: the table is the newest four.
    logic.SetAddressFilter(0);
    logic.TakeChanges();
    Feed(recorder, 3, 9);
    logic.Tick();
    c = logic.TakeChanges();
    EXPECT_EQ(c.removed, 4u);
    EXPECT_EQ(c.added, 4u);
    EXPECT_EQ(Serials(logic), (std::vector<uint64_t>{13, 14, 15, 16}));
    EXPECT_EQ(logic.Shown().back().serial, recorder.Total());
    EXPECT_EQ(logic.Addresses(), std::vector<int>{3});
}

// Paused, the table takes nothing (it loses only what the ring overwrites); resumed, it takes
// what the ring still holds.
TEST(BusTrafficTest, PauseHoldsTheTableResumeCatchesUp) {
    TrafficRecorder recorder(5);
    BusTraffic logic(recorder);
    logic.TakeChanges();
    Feed(recorder, 1, 2);
    logic.Tick();
    logic.SetPaused(true);
    logic.TakeChanges();
    Feed(recorder, 1, 4);
    EXPECT_EQ(logic.Tick(), BusTraffic::kRefreshMs);
    BusTraffic::Changes c = logic.TakeChanges();
    EXPECT_EQ(c.added, 0u);
    EXPECT_EQ(c.removed, 1u);
    EXPECT_FALSE(c.summary);
    EXPECT_EQ(Serials(logic), std::vector<uint64_t>{2});
    EXPECT_EQ(logic.PauseText(), "Resume");
    logic.SetPaused(false);
    c = logic.TakeChanges();
    EXPECT_EQ(c.added, 4u);
    EXPECT_TRUE(c.pause);
    EXPECT_EQ(Serials(logic), (std::vector<uint64_t>{2, 3, 4, 5, 6}));
    logic.Clear();
    c = logic.TakeChanges();
    EXPECT_TRUE(c.reset);
    EXPECT_EQ(logic.RowCount(), 0u);
    EXPECT_EQ(recorder.Size(), 0u);
    EXPECT_EQ(logic.Summary(), "no traffic");
    Feed(recorder, 1);
    logic.Tick();
    EXPECT_EQ(logic.TakeChanges().added, 1u);
}

} // namespace
} // namespace quarnex::test
