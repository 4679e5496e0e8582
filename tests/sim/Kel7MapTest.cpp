#include "sim/Kel7Model.h"
#include "sim/Kel7Registers.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quarnex::test {
namespace {

using namespace sim::kel7;

// The register map straight on the model, without the bus: every block of a default KEL 7 with
// its edges, and what a write to each kind of block gets.
class Kel7MapTest : public ::testing::Test {
protected:
    uint8_t Read(int first, int count) {
        std::vector<uint16_t> out(static_cast<size_t>(count));
        return model_
            .ReadHoldingRegisters(static_cast<uint16_t>(first - 40001),
                                  static_cast<uint16_t>(count), out.data())
            .exception;
    }
    // The exception and the command error a write gets.
    std::pair<int, int> Write(int first, std::vector<uint16_t> values, bool single = false) {
        const auto r = model_.WriteRegisters(static_cast<uint16_t>(first - 40001), values.data(),
                                             static_cast<uint16_t>(values.size()), single);
        return {r.exception, r.exception == kExIllegalAddress ? 0 : model_.CommandError()};
    }
    sim::Kel7Model model_;
};

TEST_F(Kel7MapTest, EveryBlockIsReadableToItsEdgesAndNotOneRegisterBeyond) {
    // 159 normal values, 5 special values with their overlapping descriptors, 54 texts.
    const std::vector<std::pair<int, int>> blocks = {
        {40001, 40060}, {40200, 40209}, {40368, 40399}, {41000, 41317}, {41338, 41347},
        {42338, 42361}, {41400, 41583}, {41812, 41815}, {41826, 41841}, {42995, 43020},
        {43100, 43423}, {44039, 44062}, {44696, 44701}, {47820, 47820}, {48000, 48003},
        {48100, 48103}, {48200, 48203}, {48500, 48565},
    };
    for (const auto& [first, last] : blocks) {
        SCOPED_TRACE(first);
        const int count = std::min(last - first + 1, 125);
        EXPECT_EQ(Read(first, count), 0);
        EXPECT_EQ(Read(last - count + 1, count), 0);
        EXPECT_EQ(Read(first - 1, 1), kExIllegalAddress);
        EXPECT_EQ(Read(last + 1, 1), kExIllegalAddress);
        EXPECT_EQ(Read(last, 2), kExIllegalAddress); // runs out of the block
    }
    // Two neighbouring blocks are still two: the normal and the special block touch.
    EXPECT_EQ(Read(41316, 4), kExIllegalAddress);
    EXPECT_EQ(Read(41337, 1), kExIllegalAddress);
}

TEST_F(Kel7MapTest, WritesAreRefusedByTheKindOfBlockTheyHit) {
    model_.SetState(kStateRemoteSetup);
    // Blocks only read: illegal register.
    for (int reg : {kState, kIdFirstA, kIdOptions, kFirstSpecial + kDescriptorOffset, kFlashSize,
                    kLevelsLive})
        EXPECT_EQ(Write(reg, {0, 0}), std::make_pair(int{kExIllegalValue}, int{kCeIllegalRegister}))
            << reg;
    EXPECT_EQ(Write(kBatchSetupFlag, {0}),
              std::make_pair(int{kExIllegalValue}, int{kCeIllegalRegister}));
    // Float blocks: a value's second register, a single register or an odd count is refused.
    for (int reg : {kFirstNormal, kFirstSpecial, kBatchGeneral, kAdjustEnd1, kLevelValues}) {
        SCOPED_TRACE(reg);
        EXPECT_EQ(Write(reg + 1, {0, 0}),
                  std::make_pair(int{kExIllegalValue}, int{kCeIllegalStart}));
        EXPECT_EQ(Write(reg, {0}, true),
                  std::make_pair(int{kExIllegalValue}, int{kCeIllegalCount}));
        EXPECT_EQ(Write(reg, {0, 0, 0}),
                  std::make_pair(int{kExIllegalValue}, int{kCeIllegalCount}));
    }
    // Texts take any part; outside every block is exception 02 and is logged as such.
    EXPECT_EQ(Write(kName + 1, {0x4142}).first, 0);
    EXPECT_EQ(model_.Name().substr(2, 2), "AB");
    EXPECT_EQ(Write(40100, {0}).first, kExIllegalAddress);
    EXPECT_EQ(model_.Writes().back().result, -2);
}

TEST_F(Kel7MapTest, LogsKeepTheLatestEntriesWithoutGrowingForEver) {
    const size_t limit = sim::Kel7Model::kLogSize;
    for (size_t i = 0; i < 2 * limit + 10; ++i) {
        model_.WriteCoil(static_cast<uint16_t>(kCoilGross - 1), true);
        const uint16_t level = static_cast<uint16_t>(i);
        const uint16_t values[2] = {0, level};
        model_.WriteRegisters(static_cast<uint16_t>(kLevelValues - 40001), values, 2, false);
    }
    EXPECT_GE(model_.Commands().size(), limit);
    EXPECT_LE(model_.Commands().size(), 2 * limit);
    EXPECT_GE(model_.Writes().size(), limit);
    EXPECT_LE(model_.Writes().size(), 2 * limit);
    EXPECT_EQ(model_.Commands().back().coil, kCoilGross);
    EXPECT_EQ(model_.Writes().back().values.back(), static_cast<uint16_t>(2 * limit + 9));
    model_.ClearLogs();
    EXPECT_TRUE(model_.Commands().empty());
    EXPECT_TRUE(model_.Writes().empty());
}

} // namespace
} // namespace quarnex::test
