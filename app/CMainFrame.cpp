#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CBusTrafficWnd.h"
#include "app/CCommTesterDlg.h"
#include "app/CQuarnexView.h"
#include "app/CSetupFileDlgs.h"
#include "app/CSplashWnd.h"
#include "app/CUpgradeDlg.h"
#include "app/Pictures.h"
#include "app/check/CCheckDlg.h"
#include "app/setup/CKelSetUpPropSheet.h"
#include "res/AppTextIds.h"
#include "res/OfflineTextIds.h"
#include "res/TrafficTextIds.h"
#include "ui/UiText.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

namespace quarnex {

namespace {

// A command's status-bar prompt and its tooltip, kept in one text split at the line break.
void SetPrompt(QAction* action, int id) {
    const QString text = Ui(id);
    const int split = text.indexOf(QLatin1Char('\n'));
    action->setStatusTip(split < 0 ? text : text.left(split));
    if (split >= 0)
        action->setToolTip(text.mid(split + 1));
}

} // namespace

CMainFrame::CMainFrame(Profile& profile, Prompter* prompter, BusSession::Mode mode)
    : qtPrompter_(this), prompter_(prompter ? *prompter : qtPrompter_), profile_(profile),
      busPrompter_(prompter_), bus_(profile, busPrompter_),
      session_(std::make_unique<BusSession>(bus_, delivery_, prompter_, mode)) {
    busPrompter_.SetTarget(session_->Asker());
}

// The traffic window and the view use the session, the master and the recorder, which go before
// the child windows do.
CMainFrame::~CMainFrame() {
    delete busTrafficWnd_.data();
    delete view_;
    view_ = nullptr;
}

bool CMainFrame::Create() {
    // 7/8 of the screen in each direction, centred.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        const int w = s.width() * 7 / 8, h = s.height() * 7 / 8;
        resize(w, h);
        move(s.x() + (s.width() - w) / 2, s.y() + (s.height() - h) / 2);
    }
    CreateActions();
    CreateMenu();
    if (!CreateToolBar() || !CreateStatusBar())
        return false;

    view_ = new CQuarnexView(*session_, bus_, profile_, prompter_, this);
    setCentralWidget(view_);
    // One set of hooks for all of the panel's windows: backup and restore, and the set-up sheet.
    PanelHooks hooks = SetupFilePanelHooks(bus_, prompter_, [this] { return fileChooser_; });
    hooks.setupSheet = [this](QWidget* parent, int address, InstrumentPanel::SheetMode mode) {
        CKelSetUpPropSheet::Run(parent, bus_, address, mode, prompter_);
    };
    // Edit Batching Set-up and Edit Recipes open the same sheet in its batching and recipe modes.
    hooks.batchingSheet = hooks.setupSheet;
    hooks.check = [this](QWidget* parent, int address) {
        OpenCheckDialog(parent, bus_, address, prompter_);
    };
    view_->SetPanelHooks(hooks);
    connect(actions_[kInstruments], &QAction::triggered, view_, &CQuarnexView::OnInstrumentsToView);
    connect(actions_[kCommParams], &QAction::triggered, view_,
            &CQuarnexView::OnCommunicationParameters);
    connect(actions_[kSelectInstrument], &QAction::triggered, view_,
            &CQuarnexView::OnSelectInstrument);
    connect(view_, &CQuarnexView::StatusNoteChanged, this, [this](const QString& note) {
        messageLine_->setText(note.isEmpty() ? Ui(ids::kReady) : note);
        messageLine_->setToolTip(note);
    });
    // The viewer works on files only; the view goes on polling meanwhile.
    connect(actions_[kSetupFiles], &QAction::triggered, this, [this] {
        CSetupViewerDlg viewer(prompter_, fileChooser_, this);
        viewer.exec();
    });
    // Editing a file needs no instrument: the view goes on polling meanwhile.
    connect(actions_[kEditSetupFile], &QAction::triggered, this,
            [this] { EditSetupFileOffline(this, {}, prompter_, fileChooser_); });
    connect(actions_[kCommTester], &QAction::triggered, this, [this] {
        view_->RunWithPollingStopped([this] { CCommTesterDlg::Run(bus_, prompter_, this); });
    });
    connect(actions_[kUpgrade], &QAction::triggered, this, [this] {
        view_->RunWithPollingStopped([this] { CUpgradeDlg::Run(bus_, prompter_, this); });
    });

    // The port is opened before the window appears; a failure is shown and the program goes on
    // with every instrument absent until the settings dialog opens a port.
    {
        const auto hold = session_->HoldBus();
        bus_.Open();
    }
    CSplashWnd::ShowSplashScreen(this);
    view_->InitialUpdate();
    ShowLink();
    connect(view_, &CQuarnexView::LinkChanged, this, &CMainFrame::ShowLink);
    setWindowIcon(pictures::ProgramIcon());
    return true;
}

void CMainFrame::CreateActions() {
    struct CommandDef {
        int text;
        int prompt; // 0: none
        int icon;   // a pictures::Tool, or -1
    };
    const CommandDef commands[kCommandCount] = {
        {ids::kOfflineEditMenu, ids::kOfflineEditPrompt, -1},
        {ids::kCmdExit, ids::kPromptExit, -1},
        {ids::kCmdToolbar, ids::kPromptToolbar, -1},
        {ids::kCmdStatusBar, ids::kPromptStatusBar, -1},
        {ids::kCmdInstruments, ids::kPromptInstruments, int(pictures::Tool::Instruments)},
        {ids::kTrafficCommand, ids::kTrafficPrompt, -1},
        {ids::kCmdCommParams, ids::kPromptCommParams, int(pictures::Tool::CommParams)},
        {ids::kCmdSelectInstrument, ids::kPromptSelectInstrument,
         int(pictures::Tool::SelectInstrument)},
        {ids::kCmdSetupFiles, ids::kPromptSetupFiles, int(pictures::Tool::SetupFiles)},
        {ids::kCmdCommTester, 0, -1},
        {ids::kCmdUpgrade, 0, -1},
        {ids::kCmdAbout, ids::kPromptAbout, int(pictures::Tool::About)},
    };
    for (int c = 0; c < kCommandCount; ++c) {
        auto* action = new QAction(Ui(commands[c].text), this);
        if (commands[c].prompt)
            SetPrompt(action, commands[c].prompt);
        if (commands[c].icon >= 0)
            action->setIcon(pictures::ToolIcon(static_cast<pictures::Tool>(commands[c].icon)));
        actions_[c] = action;
    }
    connect(actions_[kExit], &QAction::triggered, this, &QWidget::close);
    connect(actions_[kAbout], &QAction::triggered, this, &CMainFrame::OnAppAbout);
    connect(actions_[kBusTraffic], &QAction::triggered, this, [this] { OpenBusTraffic(); });
}

void CMainFrame::CreateMenu() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(Ui(ids::kMenuFile));
    file->addAction(actions_[kEditSetupFile]);
    file->addSeparator();
    file->addAction(actions_[kExit]);
    QMenu* view = bar->addMenu(Ui(ids::kMenuView));
    view->addAction(actions_[kToolbar]);
    view->addAction(actions_[kStatusBar]);
    view->addSeparator();
    view->addAction(actions_[kInstruments]);
    view->addAction(actions_[kBusTraffic]);
    QMenu* options = bar->addMenu(Ui(ids::kMenuOptions));
    options->addAction(actions_[kCommParams]);
    QMenu* instrument = bar->addMenu(Ui(ids::kMenuInstrument));
    instrument->addAction(actions_[kSelectInstrument]);
    instrument->addAction(actions_[kSetupFiles]);
    instrument->addAction(actions_[kCommTester]);
    instrument->addAction(actions_[kUpgrade]);
    QMenu* help = bar->addMenu(Ui(ids::kMenuHelp));
    help->addAction(actions_[kAbout]);
}

CBusTrafficWnd* CMainFrame::OpenBusTraffic(FileChooser* chooser) {
    if (!busTrafficWnd_) {
        busTrafficWnd_ =
            new CBusTrafficWnd(bus_, traffic_, prompter_, chooser, this, session_.get());
        PlaceBeside(busTrafficWnd_);
    }
    busTrafficWnd_->show();
    busTrafficWnd_->raise();
    busTrafficWnd_->activateWindow();
    return busTrafficWnd_;
}

QRect CMainFrame::BesideRect(const QRect& main, const QSize& frame, QSize wanted,
                             const QSize& minimum, const QRect& area) {
    // Right of the main window, else left of it, where the screen has room; else narrowed into
    // the wider side when that leaves the window its minimum width; else at the screen's right
    // edge (a screen too small for both). `frame` is what the window manager adds around.
    wanted = wanted.boundedTo(area.size() - frame).expandedTo(minimum);
    const int right = area.right() + 1 - (main.right() + 1) - frame.width();
    const int left = main.left() - area.left() - frame.width();
    int x = 0;
    if (wanted.width() <= right)
        x = main.right() + 1;
    else if (wanted.width() <= left)
        x = main.left() - frame.width() - wanted.width();
    else if (std::max(right, left) >= std::max(minimum.width(), 1)) {
        wanted.setWidth(std::max(right, left));
        x = right >= left ? main.right() + 1 : area.left();
    } else
        x = std::max(area.left(), area.right() + 1 - frame.width() - wanted.width());
    const int y =
        std::clamp(main.top(), area.top(),
                   std::max(area.top(), area.bottom() + 1 - frame.height() - wanted.height()));
    return {QPoint(x, y), wanted};
}

void CMainFrame::PlaceBeside(QWidget* window) const {
    if (const QScreen* screen = this->screen()) {
        const QRect place =
            BesideRect(frameGeometry(), frameGeometry().size() - geometry().size(), window->size(),
                       window->minimumSizeHint(), screen->availableGeometry());
        window->resize(place.size());
        window->move(place.topLeft());
    }
}

CBusTrafficWnd* CMainFrame::BusTrafficWindow() const {
    return busTrafficWnd_.data();
}

bool CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("toolbar"));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->addAction(actions_[kInstruments]);
    toolBar_->addAction(actions_[kCommParams]);
    toolBar_->addAction(actions_[kSelectInstrument]);
    toolBar_->addAction(actions_[kSetupFiles]);
    toolBar_->addSeparator();
    toolBar_->addAction(actions_[kAbout]);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QAction* toggle = actions_[kToolbar];
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, toolBar_, &QToolBar::setVisible);
    connect(toolBar_, &QToolBar::visibilityChanged, toggle, [this](bool visible) {
        if (!isHidden())
            actions_[kToolbar]->setChecked(visible);
    });
    return true;
}

bool CMainFrame::CreateStatusBar() {
    // One pane, the message line: the idle text, covered by the prompts while a command is
    // pointed at.
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    messageLine_ = new QLabel(Ui(ids::kReady), bar);
    // A long note must not widen the window: it is cut at the edge and shown whole as tooltip.
    messageLine_->setMinimumWidth(1);
    messageLine_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(messageLine_, 1);
    linkLine_ = new QLabel(bar);
    bar->addPermanentWidget(linkLine_);
    QAction* toggle = actions_[kStatusBar];
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QStatusBar::setVisible);
    return true;
}

void CMainFrame::ShowLink() {
    const QString link = QString::fromStdString(bus_.Settings().LinkName());
    // The window system shows the program's name after a title that does not end with it: the
    // link first and the name last, so it stands there once.
    setWindowTitle(link + " - " + Ui(ids::kAppName));
    if (linkLine_)
        linkLine_->setText(link);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A splash still up must not keep the program alive after its window is gone.
    CSplashWnd::HideSplashScreen();
    QMainWindow::closeEvent(event);
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}

} // namespace quarnex
