// The set-up file commands of quarnex-cli against a simulated KEL 7.
#include "CliFixture.h"
#include "sim/DemoBus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace quarnex::test {
namespace {

using CliFiles = CliKel7Test;

TEST_F(CliFiles, BackupRestoreAndListWithTheirExitCodes) {
    const std::string file = dir_ + "/one.kel";
    ASSERT_EQ(Run({"backup", "1", file, "--info", "from the test"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("Backup operation successful !"), std::string::npos);
    EXPECT_NE(err_.str().find("100%"), std::string::npos); // the progress line

    // Without --yes the question is answered No: nothing happens.
    EXPECT_EQ(Run({"restore", "1", file}), 4);
    EXPECT_NE(err_.str().find("(answered No)"), std::string::npos);
    ASSERT_EQ(Run({"restore", "1", file, "--yes", "--sections", "recipes"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("No. of parameters in instr : 1800"), std::string::npos);
    EXPECT_EQ(Run({"restore", "1", file, "--yes", "--sections", "bogus"}), 2);
    EXPECT_EQ(Run({"restore", "1", file, "--yes", "--sections", ""}), 2); // names nothing

    ASSERT_EQ(Run({"list", file}), 0);
    EXPECT_NE(out_.str().find("from the test"), std::string::npos);
    EXPECT_NE(out_.str().find("RECIPE SET-UP DATA"), std::string::npos);
    EXPECT_EQ(Run({"list", dir_ + "/missing.kel"}), 3);
    EXPECT_EQ(Run({"backup", "1"}), 2);
    EXPECT_EQ(Run({"backup", "0", file}), 2);
}

// Four instruments: two answer broken (bad CRC, wrong address), one loses a single answer, one is
// in the wrong state. Only silence through every retry is absence; every other failure is named.
TEST_F(CliFiles, BackupAllNamesEveryInstrumentThatIsNotSaved) {
    for (int a : {2, 3, 4, 5})
        bus_.Attach(a, sim::MakeKel7({}));
    bus_.WithModel<sim::Kel7Model>(5, [](sim::Kel7Model& m) { m.SetState(4); });
    bus_.InjectFault(2, {.kind = sim::Fault::BadCrc, .count = 1000});
    bus_.InjectFault(3, {.kind = sim::Fault::WrongAddress, .count = 1000});
    bus_.InjectFault(4, {.kind = sim::Fault::Silence, .count = 1});
    EXPECT_EQ(Run({"-r", "1", "backup", "all", dir_}), 3);
    const std::string out = out_.str();
    EXPECT_NE(out.find("saved 2, failed 3, skipped 0, silent 242 of 247 addresses\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("FAILED 2: "), std::string::npos) << out;
    EXPECT_NE(out.find("FAILED 3: "), std::string::npos) << out;
    EXPECT_NE(out.find("FAILED 5: Backup operation failed ! Instrument in wrong state"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  silent 6-247\n"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/1_KEL_7.kel"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/4_KEL_7.kel"));
}

// Instruments that answer and are not saved are named with the reason; a KEL 7 whose set-up
// this program cannot back up is a failure, listed and counted as one, as the exit code says.
TEST_F(CliFiles, BackupAllAccountsForEveryAddress) {
    struct Case {
        const char* kind;
        int exit;
        const char* counts;
        const char* line;
    };
    const Case cases[] = {
        {"pir7", 0, "saved 1, failed 0, skipped 1, silent 245 of 247 addresses\n",
         "  skipped 2: PIR 7, not a KEL 7 Recipe Batcher\n"},
        {"kel7-1300", 3, "saved 1, failed 1, skipped 0, silent 245 of 247 addresses\n",
         "  FAILED 2: KEL 7 of set-up version 1300, not compatible\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        std::string error;
        bus_.Attach(2, sim::MakeInstrumentByName(c.kind, 2, false, error, true));
        EXPECT_EQ(Run({"-r", "0", "backup", "all", dir_}), c.exit) << err_.str();
        const std::string out = out_.str();
        EXPECT_NE(out.find(c.counts), std::string::npos) << out;
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        bus_.Detach(2);
    }
}

// Names that cannot be set-up files are refused at once, with what they are, and a refused
// backup or restore target costs no bus traffic.
TEST_F(CliFiles, HostileFilesAreRefusedAtOnce) {
    const std::string fifo = dir_ + "/pipe.kel";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir_ + "/huge.kel";
    std::filesystem::resize_file((std::ofstream(huge), huge), 100u << 20); // sparse, 100 MB
    std::filesystem::create_directory(dir_ + "/folder.kel");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"list", fifo}, fifo + " is a named pipe (FIFO), not a set-up file."},
        {{"list", huge}, huge + " is larger than a set-up file can be."},
        {{"restore", "1", fifo, "--yes"}, fifo + " is a named pipe (FIFO), not a set-up file."},
        {{"restore", "1", huge, "--yes"}, huge + " is larger than a set-up file can be."},
        {{"backup", "1", "/dev/full"}, "/dev/full is a device, not a set-up file."},
        {{"backup", "1", fifo}, fifo + " is a named pipe (FIFO), not a set-up file."},
        {{"backup", "1", dir_ + "/folder.kel"},
         dir_ + "/folder.kel is a directory, not a set-up file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        bus_.ClearRequests();
        EXPECT_EQ(Run(c.args), 3);
        EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
        EXPECT_EQ(bus_.RequestCount(1), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/folder.kel.bak"));
}

// A crafted information line cannot write to the terminal: every control character of the file's
// text is printed as a visible escape.
TEST_F(CliFiles, ListPrintsNoControlCharacter) {
    const std::string file = dir_ + "/crafted.kel";
    ASSERT_EQ(Run({"backup", "1", file, "--info",
                   "\x1b]0;owned\x07\x1b[2J\x9b"
                   "31m"}),
              0)
        << err_.str();
    ASSERT_EQ(Run({"list", file}), 0) << err_.str();
    const std::string out = out_.str();
    for (char c : out) {
        const auto u = static_cast<unsigned char>(c);
        ASSERT_TRUE(c == '\n' || (u >= 0x20 && u != 0x7F && !(u >= 0x80 && u <= 0x9F)))
            << "byte " << int(u);
    }
    EXPECT_NE(out.find("\\x1B]0;owned\\x07\\x1B[2J\\x9B31m"), std::string::npos) << out;
}

} // namespace
} // namespace quarnex::test
