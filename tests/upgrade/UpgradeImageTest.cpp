#include "upgrade/UpgradeImage.h"

#include "sim/FlashImage.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {
namespace {

const sim::ProgramInfo kApp{2003, 1310, 12, "KEL7-7311", "V1.05", "261201"};
const sim::ProgramInfo kBoot{2003, 0, 0, "KEL7-BOOT", "V2.02", "261130"};

std::vector<uint8_t> Image(int kb, bool app = true, bool boot = true,
                           sim::ProgramInfo appInfo = kApp, sim::ProgramInfo bootInfo = kBoot) {
    return sim::BuildFlashImage(kb, appInfo, bootInfo, app, boot, 6000, 1500, 3);
}

std::string Hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

// Writes both checksums again after a test changed bytes inside an area on purpose.
void Reseal(std::vector<uint8_t>& image, int kb) {
    const sim::FlashLayout l = sim::LayoutForKb(kb);
    if (image[l.bootStart] != 0xFF) {
        const uint16_t b = sim::BootChecksum(image, l);
        image[l.bootEnd - 1] = static_cast<uint8_t>(b >> 8);
        image[l.bootEnd] = static_cast<uint8_t>(b);
    }
    if (image[0] != 0xFF) {
        const uint16_t a = sim::ApplicationChecksum(image, l);
        image[l.size - 2] = static_cast<uint8_t>(a >> 8);
        image[l.size - 1] = static_cast<uint8_t>(a);
    }
}

TEST(UpgradeImage, EachLayoutWithBothAreasGivesTheExactSummary) {
    struct Row {
        int kb;
        uint32_t bootStart, bootEnd;
        int eraseCode;
    };
    for (const Row& row : {Row{128, 0x10000, 0x13FFF, 4}, Row{256, 0x20000, 0x27FFF, 4},
                           Row{512, 0x10000, 0x1FFFF, 1}, Row{1024, 0x20000, 0x3FFFF, 1}}) {
        SCOPED_TRACE(row.kb);
        const auto bytes = Image(row.kb);
        const sim::FlashLayout l = sim::LayoutForKb(row.kb);
        UpgradeImage image;
        ASSERT_TRUE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear));
        const UpgradeImageInfo& info = image.Info();
        EXPECT_TRUE(info.hasApplication);
        EXPECT_TRUE(info.hasBootLoader);
        EXPECT_EQ(info.lastAddress, bytes.size() - 1);
        EXPECT_EQ(info.layout.sizeKb, row.kb);
        EXPECT_EQ(info.layout.bootStart, row.bootStart);
        EXPECT_EQ(info.layout.bootEnd, row.bootEnd);
        EXPECT_EQ(info.layout.bootEraseCode, row.eraseCode);
        EXPECT_EQ(info.type, itype::kKel7);
        EXPECT_EQ(info.application.setupVersion, 1310u);
        EXPECT_EQ(info.application.setupDataVersion, 12u);
        // 6000 code bytes (47 blocks) and the application block; 1500 boot-loader bytes (12
        // blocks) and its block.
        EXPECT_EQ(info.usedBlocks, 47 + 1 + 12 + 1);
        EXPECT_EQ(image.Summary(),
                  "Instrument type: KEL 7 (" + std::to_string(row.kb) +
                      "Kb)\r\nApplication program: KEL7-7311 (V1.05, 261201, Chk=" +
                      Hex4(sim::ApplicationChecksum(bytes, l)) +
                      ", Sv=1310, Sd=12)\r\nBoot loader program: KEL7-BOOT (V2.02, 261130, Chk=" +
                      Hex4(sim::BootChecksum(bytes, l)) + ")");
        EXPECT_EQ(image.Bytes(), bytes);
    }
}

TEST(UpgradeImage, OneAreaAloneIsAccepted) {
    UpgradeImage image;
    ASSERT_TRUE(image.ReadBytes(Image(128, true, false), UpgradeImage::OnFailure::Clear));
    EXPECT_TRUE(image.Info().hasApplication);
    EXPECT_FALSE(image.Info().hasBootLoader);
    EXPECT_FALSE(image.Info().bootLoader.valid);
    EXPECT_EQ(image.Summary().find("Boot loader"), std::string::npos);
    EXPECT_EQ(image.Summary().find("\r\nApplication program: KEL7-7311 (V1.05, 261201, Chk="),
              std::string("Instrument type: KEL 7 (128Kb)").size());

    // A boot loader of a PIR 7 alone: the file's type is the boot loader's.
    sim::ProgramInfo pirBoot = kBoot;
    pirBoot.typeCode = 2001;
    const auto bytes = Image(512, false, true, kApp, pirBoot);
    ASSERT_TRUE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear));
    EXPECT_FALSE(image.Info().hasApplication);
    EXPECT_TRUE(image.Info().hasBootLoader);
    EXPECT_EQ(image.Info().type, itype::kPir7);
    EXPECT_EQ(image.Info().usedBlocks, 13);
    EXPECT_EQ(image.Summary(),
              "Instrument type: PIR 7 (512Kb)\r\nBoot loader program: KEL7-BOOT (V2.02, 261130, "
              "Chk=" +
                  Hex4(sim::BootChecksum(bytes, sim::LayoutForKb(512))) + ")");
}

TEST(UpgradeImage, BrokenChecksumsAndBadBlocksAreRefused) {
    UpgradeImage image;
    auto refused = [&image](const std::vector<uint8_t>& bytes) {
        return !image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear) && !image.Valid();
    };
    const sim::FlashLayout l = sim::LayoutForKb(256);
    auto bytes = Image(256);

    auto b = bytes;
    b[100] ^= 0x01; // application code
    EXPECT_TRUE(refused(b));
    b = bytes;
    b[l.size - 1] ^= 0x80; // application checksum itself
    EXPECT_TRUE(refused(b));
    b = bytes;
    b[l.bootStart + 100] ^= 0x01; // boot-loader code
    EXPECT_TRUE(refused(b));
    b = bytes;
    b[l.bootEnd - 1] ^= 0x01; // boot-loader checksum itself
    EXPECT_TRUE(refused(b));

    // Byte 36 of a block not 0, with the checksum made right around it.
    b = bytes;
    b[l.size - kProgramInfoBytes + 36] = 'X';
    Reseal(b, 256);
    EXPECT_TRUE(refused(b));
    b = bytes;
    b[l.bootEnd + 1 - kProgramInfoBytes + 36] = 1;
    Reseal(b, 256);
    EXPECT_TRUE(refused(b));

    // Type codes that name no instrument of the family.
    for (uint16_t code : {2005, 0, 2000, 2012, 0xFFFF}) {
        sim::ProgramInfo bad = kApp;
        bad.typeCode = code;
        EXPECT_TRUE(refused(Image(128, true, false, bad))) << code;
        EXPECT_TRUE(refused(Image(128, true, true, kApp, bad))) << code;
    }
    // Two areas of different instruments.
    sim::ProgramInfo otherBoot = kBoot;
    otherBoot.typeCode = 2004;
    EXPECT_TRUE(refused(Image(256, true, true, kApp, otherBoot)));
    // No area at all.
    EXPECT_TRUE(refused(std::vector<uint8_t>(0x40000, 0xFF)));
}

TEST(UpgradeImage, TheBootLoaderAreaCountsAsErasedInTheApplicationChecksum) {
    const sim::FlashLayout sl = sim::LayoutForKb(128);
    FlashLayout l;
    ASSERT_TRUE(FlashLayoutForLength(sl.size, l));
    auto bytes = Image(128);
    const uint16_t before = AreaChecksum(bytes, 0, l.size - 1, &l);
    bytes[l.bootStart + 200] ^= 0x5A;
    EXPECT_EQ(AreaChecksum(bytes, 0, l.size - 1, &l), before);
    UpgradeImage image;
    EXPECT_FALSE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear)); // the boot loader's own

    // Without a boot loader (its first byte erased) the rest of its area is not looked at.
    auto appOnly = Image(128, true, false);
    appOnly[l.bootStart + 1] = 0x00;
    appOnly[l.bootEnd] = 0x12;
    EXPECT_TRUE(image.ReadBytes(appOnly, UpgradeImage::OnFailure::Clear));
    EXPECT_FALSE(image.Info().hasBootLoader);
}

TEST(UpgradeImage, LengthsOfNoFlashAreRefused) {
    FlashLayout l;
    for (size_t length : {size_t{0}, size_t{1}, size_t{300000}, size_t{0x20000 + 1},
                          size_t{0x20000 - 1}, size_t{0x30000}, size_t{0x200000}}) {
        EXPECT_FALSE(FlashLayoutForLength(length, l)) << length;
        EXPECT_EQ(l.size, 0u);
        // Everything but the length would look like an application.
        std::vector<uint8_t> bytes(length, 0x00);
        UpgradeImage image;
        EXPECT_FALSE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear)) << length;
    }
    // A right image with one byte more or less.
    auto bytes = Image(128);
    bytes.push_back(0xFF);
    UpgradeImage image;
    EXPECT_FALSE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear));
    bytes.resize(bytes.size() - 2);
    EXPECT_FALSE(image.ReadBytes(bytes, UpgradeImage::OnFailure::Clear));
}

TEST(UpgradeImage, AFailedSelectionClearsAFailedRereadKeeps) {
    UpgradeImage image;
    const auto good = Image(256);
    ASSERT_TRUE(image.ReadBytes(good, UpgradeImage::OnFailure::Clear));
    const std::string summary = image.Summary();

    auto bad = good;
    bad[10] ^= 0xFF;
    EXPECT_FALSE(image.ReadBytes(bad, UpgradeImage::OnFailure::Keep));
    EXPECT_TRUE(image.Valid());
    EXPECT_EQ(image.Summary(), summary);
    EXPECT_EQ(image.Bytes(), good);
    EXPECT_EQ(image.Info().usedBlocks, 61);

    EXPECT_FALSE(image.ReadBytes(bad, UpgradeImage::OnFailure::Clear));
    EXPECT_FALSE(image.Valid());
    EXPECT_EQ(image.Summary(), "");
    EXPECT_EQ(image.Info().usedBlocks, 0);
    EXPECT_FALSE(image.Info().hasApplication);
    EXPECT_FALSE(image.Info().application.valid);
    EXPECT_TRUE(image.Bytes().empty());
}

TEST(UpgradeImage, BlocksParseFromRegistersAndKeepTheirTextsInTheirFields) {
    uint8_t bytes[kProgramInfoBytes];
    sim::WriteInfoBlock(kApp, bytes);
    std::vector<uint16_t> regs(23);
    for (size_t i = 0; i < regs.size(); ++i)
        regs[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    ProgramInfoBlock block;
    ASSERT_TRUE(ParseProgramInfoBlock(regs, block));
    EXPECT_EQ(block.text1, "KEL7-7311");
    EXPECT_EQ(block.text3, "261201");
    EXPECT_FALSE(ParseProgramInfoBlock(std::span(regs).first(22), block));
    regs.push_back(0);
    EXPECT_FALSE(ParseProgramInfoBlock(regs, block));
    EXPECT_FALSE(block.valid);
    EXPECT_EQ(block.typeCode, 0);
    EXPECT_FALSE(ParseProgramInfoBlock(std::span<const uint8_t>(bytes, 45), block));

    // Texts that fill their whole field end at the field: nothing of the next one runs in.
    for (int i = 6; i < 36; ++i)
        bytes[i] = static_cast<uint8_t>('A' + (i < 16 ? 0 : i < 28 ? 1 : 2));
    ASSERT_TRUE(ParseProgramInfoBlock(std::span<const uint8_t>(bytes, kProgramInfoBytes), block));
    EXPECT_EQ(block.text1, std::string(10, 'A'));
    EXPECT_EQ(block.text2, std::string(12, 'B'));
    EXPECT_EQ(block.text3, std::string(8, 'C'));
}

class UpgradeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("quarnex-upgrade-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    std::filesystem::path dir_;
    ScriptedPrompter prompter_;
};

TEST_F(UpgradeFileTest, AFileReadsLikeItsBytesAndSystemFailuresShowTheirReason) {
    const auto bytes = Image(512);
    UpgradeImage fromBytes, fromFile;
    ASSERT_TRUE(fromBytes.ReadBytes(bytes, UpgradeImage::OnFailure::Clear));
    ASSERT_TRUE(
        fromFile.ReadFile(Write("good.hex", bytes), UpgradeImage::OnFailure::Clear, prompter_));
    EXPECT_EQ(fromFile.Summary(), fromBytes.Summary());
    EXPECT_EQ(fromFile.Bytes(), bytes);
    EXPECT_TRUE(prompter_.Boxes().empty());

    // A file of the wrong length: simply no upgrade file, no system message; the re-read keeps.
    EXPECT_FALSE(fromFile.ReadFile(Write("short.hex", std::vector<uint8_t>(300000, 0)),
                                   UpgradeImage::OnFailure::Keep, prompter_));
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_EQ(fromFile.Summary(), fromBytes.Summary());

    // A missing file: the system's reason in an error box, and a selection clears.
    EXPECT_FALSE(fromFile.ReadFile((dir_ / "missing.hex").string(), UpgradeImage::OnFailure::Clear,
                                   prompter_));
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Error);
    EXPECT_EQ(prompter_.LastText(), "No such file or directory");
    EXPECT_FALSE(fromFile.Valid());

    // An empty file and a directory are refused without a crash.
    EXPECT_FALSE(
        fromFile.ReadFile(Write("empty.hex", {}), UpgradeImage::OnFailure::Clear, prompter_));
    EXPECT_FALSE(fromFile.ReadFile(dir_.string(), UpgradeImage::OnFailure::Clear, prompter_));
    EXPECT_FALSE(fromFile.Valid());
    // A FIFO without a writer neither hangs the open nor is read.
    const auto fifo = dir_ / "fifo.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    prompter_.Clear();
    EXPECT_FALSE(fromFile.ReadFile(fifo.string(), UpgradeImage::OnFailure::Clear, prompter_));
    EXPECT_EQ(prompter_.LastText(), "Illegal seek");
}

} // namespace
} // namespace quarnex
