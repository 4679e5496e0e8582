#pragma once

#include "app/panel/OpenPanel.h"
#include "monitor/QuarnexView.h"

#include <QIcon>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace quarnex {

class BusSession;
class ModbusMaster;
class Profile;
class Prompter;

// The main window's content: the list of watched instruments at the left edge and the picture
// beside it, kept current by a single-shot 20 ms timer. A tick hands its polls to the bus
// session and the timer is armed again once their result has been rendered, so the window never
// waits for the bus and polls never pile up. The menu commands land here; a dialog that still
// talks to the master itself runs with polling stopped and the session's bus held.
class CQuarnexView : public QWidget {
    Q_OBJECT
public:
    // The layout as drawn for the original system font. The columns keep these proportions but
    // grow with the font in use, so that the longest model name ("KEL 7 Recipe Batcher") and every
    // column heading fit; the list and the picture beside it move along.
    static constexpr int kListWidth = 270;
    static constexpr int kColumnWidths[3] = {145, 47, 62};
    static constexpr int kPictureX = 310, kPictureY = 25, kPictureWidth = 350, kPictureHeight = 250;

    CQuarnexView(BusSession& session, ModbusMaster& bus, Profile& profile, Prompter& prompter,
                 QWidget* parent = nullptr);
    ~CQuarnexView() override;

    // Columns, images, the watched set from the profile, then the polling timer.
    void InitialUpdate();

    // Polling is stopped around every window that talks to the bus: no tick, and the tick's
    // polls still out asked to stop after their current transaction.
    void StopTimer() {
        timer_.stop();
        stopped_ = true;
        logic_.StopPolls();
    }
    void RestartTimer() {
        stopped_ = false;
        if (!logic_.PollsOut())
            timer_.start(QuarnexView::kTimerPeriodMs);
    }
    bool TimerActive() const { return timer_.isActive(); }
    // Runs a window that talks to the bus with polling stopped and the session's bus held, and
    // restarts polling after it. The commands that come later (communication tester, software
    // upgrade) go through here. The window opens once the poll that is out has come back, from
    // the event loop (at once with an inline session).
    void RunWithPollingStopped(const std::function<void()>& window);

    QuarnexView& Logic() { return logic_; }
    QTreeWidget* List() const { return list_; }
    int PictureX() const { return pictureX_; }

    // How the panel and the "Select instrument" dialog are run: the real windows by default;
    // window tests put something that does not block in their place.
    void SetPanelOpener(std::function<void(int address)> opener) {
        panelOpener_ = std::move(opener);
    }
    // The set-up sheet, backup and restore behind the panel's buttons (empty: disabled there).
    void SetPanelHooks(const PanelHooks& hooks) { panelHooks_ = hooks; }
    const PanelHooks& GetPanelHooks() const { return panelHooks_; }
    void SetInstrumentSelector(std::function<bool(int& address, InstrumentType& type)> selector) {
        selector_ = std::move(selector);
    }

signals:
    // The note for the status bar changed (empty: nothing to say, the idle text returns).
    void StatusNoteChanged(const QString& note);
    // The settings dialog was left with OK: the link in use may be another one.
    void LinkChanged();

public slots:
    // One polling tick (the timer's handler; tests call it directly).
    void OnTimer();
    void OnInstrumentsToView();
    void OnCommunicationParameters();
    void OnSelectInstrument();

protected:
    // Enter on the selected row does what a double-click does.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Render();
    void OnDoubleClick(QTreeWidgetItem* item);
    void VisibleRange(int& top, int& perPage) const;
    void SizeColumns();
    // The tick's polls came back: show them, then the next tick unless polling is stopped.
    void Polled(int period);
    // See RunWithPollingStopped.
    void RunHeld(std::function<void()> window);
    // The same without the hold: for what gives its bus work to the session (the panel) and
    // holds the bus itself only around its own window-thread reads.
    void RunStopped(std::function<void()> window);
    static constexpr uint64_t kWindowKey = 1;

    BusSession& session_;
    ModbusMaster& bus_;
    Profile& profile_;
    Prompter& prompter_;
    QuarnexView logic_;
    // The view's own jobs: the windows it opens wait for the bus through them.
    uint64_t owner_;
    QTreeWidget* list_;
    int listWidth_ = kListWidth;
    int pictureX_ = kPictureX;
    QTimer timer_;
    bool stopped_ = false;
    QPixmap picture_;
    std::vector<QIcon> images_;
    std::vector<uint64_t> rendered_;
    std::vector<int> renderedImages_;
    uint64_t renderedGeneration_ = ~uint64_t{0};
    std::string renderedNote_;
    std::function<void(int)> panelOpener_;
    std::function<bool(int&, InstrumentType&)> selector_;
    PanelHooks panelHooks_;
};

} // namespace quarnex
