// Linked into quarnex-cli when the program is built with its windows: `check --report` draws the
// PDF with the same report as the program. The command line has no window system, so the
// drawing runs on the offscreen platform.

#include "app/check/CCheckReport.h"
#include "check/CheckReportHook.h"

#include <QApplication>

#include <memory>

namespace quarnex {

namespace {

bool WriteReport(const CheckRecord& record, const std::string& path, std::string& error) {
    std::unique_ptr<QApplication> application;
    if (!QCoreApplication::instance()) {
        static int argc = 3;
        static char name[] = "quarnex-cli", option[] = "-platform", platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    return SaveCheckReportPdf(record, path, error);
}

const bool kInstalled = [] {
    SetCheckReportWriter(WriteReport);
    return true;
}();

} // namespace

} // namespace quarnex
