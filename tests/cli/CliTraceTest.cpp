#include "support/BusFixture.h"

#include "cli/Cli.h"

#include <sstream>

namespace quarnex::test {
namespace {

class CliTraceTest : public BusFixture {
protected:
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), {"--device", bus_.DevicePath()});
        return RunCli(args, profile_, out_, err_);
    }
    std::vector<std::string> ErrLines() const {
        std::vector<std::string> lines;
        std::istringstream in(err_.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::ostringstream out_, err_;
};

// A line per attempt on the error stream; the values still go to the output alone.
TEST_F(CliTraceTest, TracePrintsEveryAttempt) {
    AddBank(1);
    ASSERT_EQ(Run({"--trace", "read", "1", "40001", "2"}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "40001: 0\n40002: 0\n");
    std::vector<std::string> lines = ErrLines();
    ASSERT_EQ(lines.size(), 1u) << err_.str();
    EXPECT_NE(lines[0].find(" #1/1 @1 Read registers 40001 x2: OK | response "), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("| > 01 03 00 00 00 02 C4 0B | < 01 03 04 00 00 00 00 FA 33"),
              std::string::npos)
        << lines[0];

    // A silent address: every retry is there with its time-out, then the failure.
    EXPECT_EQ(Run({"--trace", "-r", "2", "-t", "20", "write", "7", "40001", "5"}), 1);
    lines = ErrLines();
    ASSERT_EQ(lines.size(), 4u) << err_.str();
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(lines[static_cast<size_t>(i)].find(" #1/" + std::to_string(i + 1) +
                                                     " @7 Write register 40001 x1: No responce "
                                                     "from slave | response time-out "),
                  std::string::npos)
            << lines[static_cast<size_t>(i)];
    EXPECT_EQ(lines[3], "No responce from slave");

    // Without the option nothing is traced.
    ASSERT_EQ(Run({"read", "1", "40001", "1"}), 0);
    EXPECT_EQ(err_.str(), "");
}

} // namespace
} // namespace quarnex::test
