#include "app/CAboutDlg.h"
#include "app/CQuarnexApp.h"
#include "app/check/CCheckReport.h"
#include "check/CheckRecord.h"
#include "res/AppTextIds.h"
#include "res/Strings.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // These two answer on a terminal without a display (over ssh, in a package check).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quarnex %s\n", quarnex::CAboutDlg::ProgramVersion().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s\n", quarnex::Text(quarnex::ids::kUsage).c_str());
            return 0;
        }
    }
    // quarnex-cli links no Qt (a server takes it without the desktop stack): its `check --report`
    // has this program draw the record's report, on the offscreen platform.
    if (argc == 4 && std::strcmp(argv[1], "--check-report") == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        int one = 1;
        QApplication application(one, argv);
        std::setlocale(LC_NUMERIC, "C");
        quarnex::CheckRecord record;
        std::string error;
        if (!quarnex::LoadCheckRecord(argv[2], record, error) ||
            !quarnex::SaveCheckReportPdf(record, argv[3], error)) {
            std::fprintf(stderr, "quarnex: %s\n", error.c_str());
            return 1;
        }
        // The report is drawn with the warning on it; the reader says it too.
        if (record.changedAfterWriting)
            std::fprintf(stderr, "quarnex: %s: %s\n", argv[2], quarnex::kRecordChangedText);
        return 0;
    }
    // Without a display Qt aborts with advice to reinstall. Only a platform plugin chosen by the
    // user (QT_QPA_PLATFORM or -platform) or a display to open lets the windows start.
    bool platformChosen = false;
    for (int i = 1; i < argc; ++i)
        platformChosen = platformChosen || std::strcmp(argv[i], "-platform") == 0;
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (!platformChosen && !set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "quarnex: no display: set DISPLAY or run under xvfb-run\n");
        return 1;
    }
    QApplication application(argc, argv);
    // QApplication takes the whole locale from the environment. The instrument's numbers are
    // written, shown, typed and stored in set-up files with a decimal point: under a locale with
    // a decimal comma the value texts would read "1,500000", and the number dialogs, pre-filled
    // with them, would refuse their own text.
    std::setlocale(LC_NUMERIC, "C");
    quarnex::CQuarnexApp::NameApplication();
    // A Wayland compositor matches windows to the installed quarnex.desktop entry (its icon and
    // name in the task bar) by this name, not by the executable's.
    QGuiApplication::setDesktopFileName(QStringLiteral("quarnex"));
    quarnex::CQuarnexApp app;
    int exitCode = 0;
    if (!app.InitInstance(QApplication::arguments(), exitCode))
        return exitCode;
    return QApplication::exec();
}
