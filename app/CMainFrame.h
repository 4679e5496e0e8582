#pragma once

#include "comm/ModbusMaster.h"
#include "comm/TrafficRecorder.h"
#include "session/BusSession.h"
#include "ui/QtDelivery.h"
#include "ui/QtPrompter.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QToolBar;

namespace quarnex {

class CBusTrafficWnd;
class CQuarnexView;
class FileChooser;
class Profile;

// The program's frame: menu, toolbar and status bar around the main view. It owns the link's bus
// master and the bus session that works it; every window that talks to an instrument gets them
// from here.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The commands of the menu, in menu order.
    enum Command {
        kEditSetupFile,
        kExit,
        kToolbar,
        kStatusBar,
        kInstruments,
        kBusTraffic,
        kCommParams,
        kSelectInstrument,
        kSetupFiles,
        kCommTester,
        kUpgrade,
        kAbout,
        kCommandCount
    };

    // prompter: where the boxes go; null for real message boxes over this window. mode: the bus
    // session's; window tests that tick by hand run it inline.
    explicit CMainFrame(Profile& profile, Prompter* prompter = nullptr,
                        BusSession::Mode mode = BusSession::Mode::Threaded);
    ~CMainFrame() override;

    // Sizes and centres the frame, builds toolbar and status bar, opens the serial port (its
    // failures are shown and the start goes on), shows the splash when enabled, then runs the
    // view's initial update. False when a bar could not be made.
    bool Create();

    ModbusMaster& Bus() { return bus_; }
    BusSession& Session() { return *session_; }
    CQuarnexView* View() const { return view_; }
    QAction* Action(Command command) const { return actions_[command]; }
    QToolBar* ToolBar() const { return toolBar_; }
    // Where the set-up file windows ask for files; null (the default) for the system's dialogs.
    void SetFileChooser(FileChooser* chooser) { fileChooser_ = chooser; }

    // View > "Bus traffic" (kBusTraffic): opens the traffic window beside the others (or raises
    // it); it records while open. chooser: where its save dialogs go, null for the system's.
    CBusTrafficWnd* OpenBusTraffic(FileChooser* chooser = nullptr);
    CBusTrafficWnd* BusTrafficWindow() const;
    // Moves a new top-level window next to this one rather than over it.
    void PlaceBeside(QWidget* window) const;
    // Where a window of `wanted` size goes beside `main` (both frame geometries) on `area`.
    static QRect BesideRect(const QRect& main, const QSize& frame, QSize wanted,
                            const QSize& minimum, const QRect& area);

public slots:
    void OnAppAbout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenu();
    bool CreateToolBar();
    bool CreateStatusBar();

    QtPrompter qtPrompter_;
    Prompter& prompter_;
    Profile& profile_;
    QtDelivery delivery_;
    // The master's own messages go through the session's Asker, from whichever thread.
    PromptForwarder busPrompter_;
    ModbusMaster bus_;
    std::unique_ptr<BusSession> session_;
    CQuarnexView* view_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* messageLine_ = nullptr;
    // The link in use, at the right of the status bar (and in the caption).
    QLabel* linkLine_ = nullptr;
    void ShowLink();
    QAction* actions_[kCommandCount] = {};
    TrafficRecorder traffic_;
    QPointer<CBusTrafficWnd> busTrafficWnd_;
    FileChooser* fileChooser_ = nullptr;
};

} // namespace quarnex
