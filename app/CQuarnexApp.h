#pragma once

#include <QStringList>
#include <QTimer>

#include <memory>

namespace quarnex {

class CMainFrame;
class DemoSession;
class Profile;

// The application: reads the command line, picks the profile (the user's, or the demo's own),
// creates the main frame and shows it.
class CQuarnexApp {
public:
    static constexpr int kDemoLogTrimMs = 10000;

    CQuarnexApp();
    ~CQuarnexApp();

    // The start-up. False when the program must end (bad command line, no demo bus, a frame
    // that could not be made); exitCode then says how.
    bool InitInstance(const QStringList& arguments, int& exitCode);

    // The names the system shows: "quarnex" for files and the desktop, "Quarnex" in window and
    // message-box titles. Called once the QApplication exists.
    static void NameApplication();

private:
    std::unique_ptr<DemoSession> demo_;
    std::unique_ptr<QTimer> demoLogTrim_;
    std::unique_ptr<Profile> profile_;
    std::unique_ptr<CMainFrame> frame_;
};

} // namespace quarnex
