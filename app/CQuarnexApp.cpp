#include "app/CQuarnexApp.h"

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/check/CCheckDlg.h"
#include "demo/DemoSession.h"
#include "monitor/WatchedSet.h"
#include "platform/Profile.h"
#include "res/AppTextIds.h"
#include "ui/QtPrompter.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace quarnex {

CQuarnexApp::CQuarnexApp() = default;

// The frame goes first (it closes the port), then the profile and the demo bus it used.
CQuarnexApp::~CQuarnexApp() {
    frame_.reset();
    demoLogTrim_.reset();
    if (demo_)
        demo_->Stop();
}

void CQuarnexApp::NameApplication() {
    QApplication::setApplicationName(QStringLiteral("quarnex"));
    QApplication::setApplicationDisplayName(Ui(ids::kAppName));
}

bool CQuarnexApp::InitInstance(const QStringList& arguments, int& exitCode) {
    exitCode = 0;
    bool demo = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--demo")) {
            demo = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::printf("%s\n", Text(ids::kUsage).c_str());
            return false;
        } else if (a == QLatin1String("--version")) {
            std::printf("quarnex %s\n", CAboutDlg::ProgramVersion().c_str());
            return false;
        } else {
            std::fprintf(stderr, "%s\n%s\n",
                         FormatText(Text(ids::kUnknownOption), {a.toStdString()}).c_str(),
                         Text(ids::kUsage).c_str());
            exitCode = 2;
            return false;
        }
    }
    CSplashWnd::EnableSplashScreen(true);

    Profile* profile = nullptr;
    if (demo) {
        demo_ = std::make_unique<DemoSession>();
        std::string error;
        if (!demo_->Start(error)) {
            QtPrompter prompter;
            prompter.Error(FormatText(Text(ids::kCannotStartDemoBus), {error}));
            exitCode = 1;
            return false;
        }
        profile = &demo_->DemoProfile();
        AddressFlags watched{};
        for (int address : DemoSession::Addresses())
            if (address >= kFirstAddress && address <= kLastAddress)
                watched[address] = true;
        SaveWatchedSet(*profile, watched);
        demoLogTrim_ = std::make_unique<QTimer>();
        QObject::connect(demoLogTrim_.get(), &QTimer::timeout, [this] { demo_->DropRequestLog(); });
        demoLogTrim_->start(kDemoLogTrimMs);
        // The check with test weights puts its loads on the simulated scales.
        CCheckDlg::SetTestWeights([this](const std::string& line, std::string& problem) {
            return demo_->TestWeights(line, problem);
        });
    } else {
        profile_ = std::make_unique<Profile>(Profile::DefaultPath());
        profile = profile_.get();
    }

    frame_ = std::make_unique<CMainFrame>(*profile);
    if (!frame_->Create()) {
        exitCode = 1;
        return false;
    }
    frame_->show();
    if (CSplashWnd* splash = CSplashWnd::Current())
        splash->raise();
    return true;
}

} // namespace quarnex
