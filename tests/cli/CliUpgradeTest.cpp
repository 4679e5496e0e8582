#include "sim/Kel7Fixture.h"

#include "cli/Cli.h"
#include "sim/FlashImage.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quarnex::test {
namespace {

class CliUpgradeTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        path_ = (std::filesystem::temp_directory_path() /
                 ("quarnex-cli-upgrade-" + std::to_string(::getpid()) + ".hex"))
                    .string();
        const sim::ProgramInfo app{2003, 1310, 2, "KEL7-7500", "V3.01", "270101"};
        const sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.01", "250301"};
        const auto bytes = sim::BuildFlashImage(256, app, boot, true, true, 5000, 1000, 9);
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    void TearDown() override {
        std::filesystem::remove(path_);
        Kel7Fixture::TearDown();
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), {"--device", bus_.DevicePath()});
        return RunCli(args, profile_, out_, err_);
    }
    std::string path_;
    std::ostringstream out_, err_;
};

TEST_F(CliUpgradeTest, ImagePrintsTheSummaryOrRefuses) {
    ASSERT_EQ(Run({"image", path_}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "Instrument type: KEL 7 (256Kb)\n"
                          "Application program: KEL7-7500 (V3.01, 270101, Chk=" +
                              out_.str().substr(out_.str().find("Chk=") + 4, 4) +
                              ", Sv=1310, Sd=2)\n"
                              "Boot loader program: KEL7-BOOT (V2.01, 250301, Chk=" +
                              out_.str().substr(out_.str().rfind("Chk=") + 4, 4) + ")\n");
    EXPECT_EQ(Run({"image", "/nonexistent/x.hex"}), 3);
    EXPECT_NE(err_.str().find("Selected file is not a valid software upgrade file"),
              std::string::npos);
    EXPECT_EQ(Run({"image"}), 2);
    EXPECT_NE(CliUsage().find("upgrade ADDR FILE [--yes]"), std::string::npos);
    EXPECT_NE(CliUsage().find("default-setup ADDR"), std::string::npos);
}

TEST_F(CliUpgradeTest, UpgradeAndDefaultSetUpAskUnlessToldYes) {
    AddKel7(3);
    ASSERT_EQ(Run({"upgrade", "3", path_}), 4); // no one to answer: No
    EXPECT_NE(err_.str().find("(answered No)"), std::string::npos);
    EXPECT_EQ(With(3, [](sim::Kel7Model& m) { return m.Options().programNumber; }), 7310);

    ASSERT_EQ(Run({"upgrade", "3", path_, "--yes"}), 0) << err_.str();
    EXPECT_NE(err_.str().find(" 100%\n"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("Software upgrade operation successful !"), std::string::npos);
    // The file's summary once, then the instrument's program read back, each under its heading.
    const std::string out = out_.str();
    EXPECT_EQ(out.find("file " + path_ + ":\nInstrument type: KEL 7"), 0u) << out;
    EXPECT_NE(out.find("\ninstrument at address 3 after the upgrade:\nInstrument type:"),
              std::string::npos)
        << out;
    EXPECT_EQ(With(3, [](sim::Kel7Model& m) { return m.Options().programNumber; }), 7500);

    EXPECT_EQ(Run({"upgrade", "300", path_, "--yes"}), 2);
    ASSERT_EQ(Run({"default-setup", "3", "--yes"}), 0) << err_.str();
    EXPECT_NE(err_.str().find("Default set-up operation successful!"), std::string::npos);
}

} // namespace
} // namespace quarnex::test
