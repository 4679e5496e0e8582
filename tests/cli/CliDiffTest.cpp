// quarnex-cli diff against simulated KEL 7s: files, instruments, a folder, and the exit codes.
#include "CliFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quarnex::test {
namespace {

class CliDiff : public CliKel7Test {
protected:
    void SetUp() override {
        CliKel7Test::SetUp();
        bus_.Attach(2, sim::MakeKel7({.serialNumber = 654321}));
    }
};

TEST_F(CliDiff, EveryKindOfOperandWithItsExitCode) {
    const std::string one = dir_ + "/one.kel", two = dir_ + "/two.kel";
    ASSERT_EQ(Run({"backup", "1", one}), 0) << err_.str();
    // Two instruments with the same set-up: the serial numbers are named, not differences.
    EXPECT_EQ(Run({"diff", "1", "2"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("Compared: Instrument at address 1 (KEL 7, serial number 12-3456)"),
              std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("No differences."), std::string::npos);
    bus_.WithModel<sim::Kel7Model>(2, [](sim::Kel7Model& m) { m.SetNormalValue(3, 7.0f); });
    ASSERT_EQ(Run({"backup", "2", two}), 0) << err_.str();

    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* output; // on stdout, or on stderr for failures
    };
    const Case cases[] = {
        {{"diff", one, one}, 0, "No differences."},
        {{"diff", one, two}, 1, "  Display contrast:"},
        {{"diff", "1", two}, 1, "1 difference"},
        {{"diff", two, "2"}, 0, "No differences."},
        {{"diff", one, two, "--brief"}, 1, "1 difference"},
        {{"diff", one, dir_ + "/missing.kel"}, 3, "missing.kel: the set-up could not be loaded"},
        {{"diff", "9", one}, 3, "Compare failed !"},
        {{"diff", one}, 2, "usage: diff"},
        {{"diff", "0", one}, 2, "bad address 0"},
        {{"read", "1", "40001", "--brief"}, 2, "--brief does not apply to read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(Run(c.args), c.exit) << err_.str();
        const std::string where = c.exit >= 2 ? err_.str() : out_.str();
        EXPECT_NE(where.find(c.output), std::string::npos) << where;
    }
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(Run({"diff", one, two, "--brief"}), 1);
    EXPECT_EQ(out_.str().find("Display contrast"), std::string::npos);
}

TEST_F(CliDiff, FolderAgainstAReference) {
    const std::string folder = dir_ + "/line";
    std::filesystem::create_directory(folder);
    ASSERT_EQ(Run({"backup", "1", folder + "/a.kel"}), 0) << err_.str();
    ASSERT_EQ(Run({"backup", "2", folder + "/b.kel"}), 0) << err_.str();
    EXPECT_EQ(Run({"diff", "--against", folder + "/a.kel", folder}), 0) << out_.str();
    bus_.WithModel<sim::Kel7Model>(2, [](sim::Kel7Model& m) { m.SetNormalValue(3, 7.0f); });
    ASSERT_EQ(Run({"backup", "2", folder + "/c.kel"}), 0) << err_.str();
    EXPECT_EQ(Run({"diff", "--against", folder + "/a.kel", folder}), 1) << err_.str();
    EXPECT_NE(out_.str().find("Reference: " + folder + "/a.kel"), std::string::npos);
    EXPECT_NE(out_.str().find("c.kel"), std::string::npos);
    EXPECT_NE(out_.str().find("Display contrast:"), std::string::npos) << out_.str();
    std::ofstream(folder + "/d.kel") << "broken";
    EXPECT_EQ(Run({"diff", "--against", folder + "/a.kel", folder, "--brief"}), 3);
    EXPECT_NE(out_.str().find("not a valid set-up file"), std::string::npos) << out_.str();
    EXPECT_EQ(Run({"diff", "--against", folder + "/a.kel", dir_ + "/nowhere"}), 3);
    EXPECT_EQ(Run({"diff", "--against", folder + "/a.kel", "1"}), 2);
}

// Files of two instrument types are not compared, and names that carry escape sequences reach the
// terminal escaped.
TEST_F(CliDiff, OnlyLikeIsComparedAndNamesAreNeverObeyed) {
    const std::string kel = dir_ + "/kel.kel", pir = dir_ + "/pir.kel";
    ASSERT_EQ(Run({"backup", "1", kel}), 0) << err_.str();
    std::stringstream bytes;
    bytes << std::ifstream(kel).rdbuf();
    std::string text = bytes.str();
    const std::string type = "40200\t2003.000000\tInstrument type:\tKEL 7 ";
    ASSERT_NE(text.find(type), std::string::npos);
    text.replace(text.find(type), type.size(), "40200\t2001.000000\tInstrument type:\tPIR 7 ");
    std::ofstream(pir) << text;
    EXPECT_EQ(Run({"diff", kel, pir}), 3);
    EXPECT_NE(err_.str().find("not comparable: KEL 7 and PIR 7"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");

    const std::string folder = dir_ + "/line";
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(kel, folder + "/\x1b]0;owned\x07.kel");
    EXPECT_EQ(Run({"diff", "--against", kel, folder}), 0) << err_.str();
    EXPECT_NE(out_.str().find("\\x1B]0;owned\\x07.kel"), std::string::npos) << out_.str();
    EXPECT_EQ(out_.str().find('\x1b'), std::string::npos);
}

} // namespace
} // namespace quarnex::test
