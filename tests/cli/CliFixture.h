#pragma once

#include "cli/Cli.h"
#include "sim/Kel7Model.h"
#include "support/BusFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace quarnex::test {

// quarnex-cli against a simulated KEL 7 at address 1, with a folder of its own for files. Run
// gives the device and keeps what the run printed in out_ and err_.
class CliKel7Test : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        bus_.Attach(1, sim::MakeKel7({}));
        char pattern[] = "/tmp/quarnex-cli-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        BusFixture::TearDown();
    }
    int Run(std::vector<std::string> args) {
        out_.str({});
        err_.str({});
        args.insert(args.begin(), {"-d", bus_.DevicePath()});
        return RunCli(args, profile_, out_, err_);
    }
    std::string dir_;
    std::ostringstream out_, err_;
};

} // namespace quarnex::test
