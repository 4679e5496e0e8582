#include "upgrade/UpgradeImage.h"
#include "upgrade/UpgradePlan.h"

#include "sim/FlashImage.h"

#include <gtest/gtest.h>

#include <random>

namespace quarnex {
namespace {

// Damaged and random images, from a fixed seed: no crash, and a refused image never leaves a
// result behind when the reading was a selection, nor changes the earlier one when it was a
// re-read.
TEST(UpgradeRobustness, DamagedImagesNeverLeaveAResult) {
    std::mt19937 rng(20240611);
    const sim::ProgramInfo app{2003, 1310, 12, "KEL7-7311", "V1.05", "261201"};
    const sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.02", "261130"};
    const auto good = sim::BuildFlashImage(128, app, boot);
    UpgradeImage reference;
    ASSERT_TRUE(reference.ReadBytes(good, UpgradeImage::OnFailure::Clear));

    auto check = [&](const std::vector<uint8_t>& bytes) {
        UpgradeImage selected;
        ASSERT_TRUE(selected.ReadBytes(good, UpgradeImage::OnFailure::Clear));
        const bool ok = selected.ReadBytes(bytes, UpgradeImage::OnFailure::Clear);
        if (!ok) {
            EXPECT_FALSE(selected.Valid());
            EXPECT_EQ(selected.Summary(), "");
            EXPECT_EQ(selected.Info().usedBlocks, 0);
            EXPECT_TRUE(PlanBootLoaderProcedure(selected).steps.empty());
        } else {
            // Whatever passes is a complete, self-consistent image.
            EXPECT_EQ(selected.Bytes(), bytes);
            EXPECT_FALSE(selected.Summary().empty());
            const BootLoaderPlan plan = PlanBootLoaderProcedure(selected);
            for (const ProgramBlock& b : plan.blocks)
                EXPECT_LE(b.address + 2 * b.words.size(), bytes.size());
        }
        UpgradeImage reread;
        ASSERT_TRUE(reread.ReadBytes(good, UpgradeImage::OnFailure::Clear));
        if (!reread.ReadBytes(bytes, UpgradeImage::OnFailure::Keep)) {
            EXPECT_EQ(reread.Summary(), reference.Summary());
            EXPECT_EQ(reread.Bytes(), good);
        }
    };

    // Cut at random lengths, including around every layout's length.
    for (size_t length : {size_t{0}, size_t{1}, size_t{45}, size_t{46}, size_t{128},
                          size_t{0x1FFFF}, size_t{0x20001}})
        check(std::vector<uint8_t>(good.begin(), good.begin() + std::min(length, good.size())));
    for (int i = 0; i < 20; ++i) {
        const size_t length = std::uniform_int_distribution<size_t>(0, good.size())(rng);
        check(std::vector<uint8_t>(good.begin(), good.begin() + length));
    }
    // Single damaged bytes anywhere: in code, in the blocks, in the checksums.
    for (int i = 0; i < 60; ++i) {
        auto bytes = good;
        const size_t at = std::uniform_int_distribution<size_t>(0, good.size() - 1)(rng);
        bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1 + rng() % 255));
        check(bytes);
    }
    // Damaged blocks only, whose checksums are always wrong except by chance.
    for (size_t blockEnd : {size_t{0x14000}, good.size()}) {
        for (int i = 0; i < 20; ++i) {
            auto bytes = good;
            for (size_t k = blockEnd - 46; k < blockEnd; ++k)
                bytes[k] = static_cast<uint8_t>(rng());
            check(bytes);
        }
    }
    // Random bytes of every flash length, and of random lengths.
    for (size_t length : {size_t{0x20000}, size_t{0x40000}, size_t{0x80000}, size_t{0x100000}}) {
        std::vector<uint8_t> bytes(length);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng());
        check(bytes);
        std::fill(bytes.begin(), bytes.end(), 0x00);
        check(bytes);
    }
    for (int i = 0; i < 10; ++i) {
        std::vector<uint8_t> bytes(std::uniform_int_distribution<size_t>(0, 4096)(rng));
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng());
        check(bytes);
    }
}

// Program information blocks of any bytes parse without reading beyond them and are either valid
// with a known type or wholly cleared.
TEST(UpgradeRobustness, AnyProgramInformationBlockIsSafe) {
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> bytes(kProgramInfoBytes);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
        if (i % 3 == 0) { // make some of them pass the type and byte-36 rules
            bytes[0] = 0x07;
            bytes[1] = static_cast<uint8_t>(0xD1 + rng() % 11);
            bytes[36] = 0;
        }
        ProgramInfoBlock block;
        if (ParseProgramInfoBlock(bytes, block)) {
            EXPECT_NE(block.type, itype::kUnknown);
            EXPECT_LE(block.text1.size(), 10u);
            EXPECT_LE(block.text2.size(), 12u);
            EXPECT_LE(block.text3.size(), 8u);
        } else {
            EXPECT_FALSE(block.valid);
            EXPECT_EQ(block.typeCode, 0);
            EXPECT_TRUE(block.text1.empty());
        }
    }
}

} // namespace
} // namespace quarnex
