// Every command's exit code for each way it can end, as --help lists them.
#include "sim/Kel7Fixture.h"

#include "cli/Cli.h"
#include "cli/CliTerminal.h"
#include "sim/FlashImage.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quarnex::test {
namespace {

class CliExitCodes : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        char pattern[] = "/tmp/quarnex-cli-exit-XXXXXX";
        dir_ = mkdtemp(pattern);
        WriteImage(dir_ + "/ok.hex", 256);
        WriteImage(dir_ + "/other.hex", 512); // for a flash the instrument does not have
        std::ofstream(dir_ + "/plain") << "not a folder\n";
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        Kel7Fixture::TearDown();
    }
    void WriteImage(const std::string& path, int kb) {
        const sim::ProgramInfo app{2003, 1310, 2, "KEL7-7500", "V3.01", "270101"};
        const sim::ProgramInfo boot{2003, 0, 0, "KEL7-BOOT", "V2.01", "250301"};
        const auto bytes = sim::BuildFlashImage(kb, app, boot, true, true, 5000, 1000, 9);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), {"--device", bus_.DevicePath()});
        return RunCli(args, profile_, out_, err_);
    }
    std::string dir_;
    std::ostringstream out_, err_;
};

TEST_F(CliExitCodes, EachCommandEndsWithTheCodeOfWhatHappened) {
    AddKel7(1);
    const std::string kel = dir_ + "/one.kel";
    const std::string hex = dir_ + "/ok.hex";
    // Address 9 is silent: a bus failure. Rows run in order (the backup makes the file restored).
    struct Row {
        std::vector<std::string> args;
        int code;
        std::string message; // a part of stderr, "" for none wanted
    };
    const Row rows[] = {
        {{"backup", "1", kel}, kExitDone, ""},
        {{"backup", "9", kel}, kExitBus, "COMMUNICATION ERROR"},
        {{"backup", "1", dir_ + "/none/x.kel"}, kExitFailed, "Backup operation failed !"},
        {{"backup", "1", kel, "--info", std::string(9 * 145, 'x')}, kExitArguments, "8 lines"},
        {{"backup", "1", kel, "-r", "3"}, kExitArguments, "-r does not apply to backup"},
        {{"backup", "all", dir_ + "/plain"}, kExitFailed, "cannot make the folder"},
        {{"restore", "1", kel, "--yes"}, kExitDone, ""},
        {{"restore", "1", kel}, kExitStopped, "(answered No)"},
        {{"restore", "9", kel, "--yes"}, kExitBus, ""},
        {{"restore", "1", dir_ + "/none.kel", "--yes"}, kExitFailed, ""},
        {{"restore", "1", kel, "--sections", "bogus"}, kExitArguments, "bad --sections"},
        {{"restore", "1", kel, "--sections", ""}, kExitArguments, "bad --sections ''"},
        {{"restore", "1", "--", kel, "--yes"}, kExitArguments, "usage: restore"},
        {{"list", "--", kel}, kExitDone, ""},
        {{"list", kel}, kExitDone, ""},
        {{"list", dir_ + "/none.kel"}, kExitFailed, ""},
        {{"list", kel, "-t", "20"}, kExitArguments, "-t does not apply to list"},
        {{"image", hex}, kExitDone, ""},
        {{"image", dir_ + "/none.hex"}, kExitFailed, "not a valid software upgrade file"},
        {{"read", "1", "40001"}, kExitDone, ""},
        {{"read", "9", "40001", "-r", "0", "-t", "20"}, kExitBus, "No responce"},
        {{"read", "1", "30001"}, kExitArguments, "bad register"},
        {{"coil", "1", "999", "on"}, kExitFailed, "exception responce 02"},
        {{"coil", "1", "999", "on", "-n", "2"}, kExitFailed, ""},
        {{"default-setup", "1"}, kExitStopped, "(answered No)"},
        {{"default-setup", "9", "--yes"}, kExitBus, ""},
        {{"default-setup", "1", "--yes"}, kExitDone, ""},
        {{"upgrade", "1", hex}, kExitStopped, "(answered No)"},
        {{"upgrade", "9", hex, "--yes"}, kExitBus, ""},
        {{"upgrade", "1", dir_ + "/none.hex", "--yes"}, kExitFailed, ""},
        {{"upgrade", "1", dir_ + "/other.hex", "--yes"}, kExitFailed, "NOT compatible"},
        {{"upgrade", "300", hex}, kExitArguments, "bad slave address"},
        {{"backup", "--help"}, kExitDone, ""},
        {{"upgrade", "1", hex, "--yes"}, kExitDone, "successful"},
    };
    for (const Row& row : rows) {
        std::string line;
        for (const std::string& a : row.args)
            line += a.substr(0, 20) + ' ';
        bus_.ClearRequests();
        EXPECT_EQ(Run(row.args), row.code) << line << '\n' << err_.str();
        EXPECT_NE(err_.str().find(row.message), std::string::npos) << line << '\n' << err_.str();
        // Bad arguments and a folder that cannot be used stop before the bus.
        if (row.code == kExitArguments || row.args[1] == "all") {
            EXPECT_TRUE(bus_.Requests().empty()) << line;
        }
        // Nothing is glued to the progress line: every message starts a line of its own.
        const std::string err = err_.str();
        for (size_t at = err.find('%'); at != std::string::npos; at = err.find('%', at + 1))
            EXPECT_TRUE(at + 1 == err.size() || err[at + 1] == '\n' || err[at + 1] == '\r')
                << line << '\n'
                << err;
    }
    // The upgrade waited for the restarted instrument and read its new program.
    EXPECT_NE(out_.str().find("KEL7-7500"), std::string::npos) << out_.str();
}

// Each command starts a simulated bus of its own: its instruments answer at once.
TEST_F(CliExitCodes, DemoBackupThenRestoreToTheWaitingInstrument) {
    const std::string kel = dir_ + "/demo.kel";
    ASSERT_EQ(Run({"--demo", "-b", "115200", "backup", "1", kel}), kExitDone) << err_.str();
    // Standard error as a log file takes each progress line once, as it ends.
    out_.str("");
    err_.str("");
    ASSERT_EQ(RunCli({"--demo", "-b", "115200", "restore", "2", kel, "--yes"}, profile_, out_, err_,
                     false),
              kExitDone)
        << err_.str();
    EXPECT_EQ(err_.str().find('\r'), std::string::npos);
    EXPECT_NE(err_.str().find("... 100%\n"), std::string::npos) << err_.str();
    // The report once, on stdout.
    const std::string out = out_.str();
    EXPECT_EQ(out.find("Restore operation successful !"),
              out.rfind("Restore operation successful !"));
    EXPECT_EQ(err_.str().find("Restore operation successful !"), std::string::npos);
}

} // namespace
} // namespace quarnex::test
