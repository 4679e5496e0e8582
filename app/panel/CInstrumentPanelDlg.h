#pragma once

#include "app/panel/OpenPanel.h"
#include "monitor/panel/InstrumentPanel.h"
#include "session/BusSession.h"
#include "ui/PollingDialog.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quarnex {

class CBitmapButton;
class CPanelTrendPart;
class ModbusMaster;
class Prompter;

// The instrument panel of one KEL 7: renders InstrumentPanel's display on a single-shot timer
// (200 ms active, 1000 ms inactive) and forwards the buttons. Closing it stops the polling.
// The ticks' reads run on the link's bus session; what still talks to the master on the window
// thread (the opening, the buttons and the windows the hooks open) holds the session's bus while
// it does. The side windows poll through the session too, and the trend's unit read is a job.
class CInstrumentPanelDlg : public PollingDialog {
    Q_OBJECT
public:
    CInstrumentPanelDlg(BusSession& session, ModbusMaster& bus, int address, Prompter& prompter,
                        const PanelHooks& hooks = {}, QWidget* parent = nullptr);

    // Start(): the opening steps (caption, start-up offer of a waiting instrument) and the first
    // timer.
    InstrumentPanel& Logic() { return logic_; }

    // The fields and buttons, for tests.
    QLineEdit* NameField() const { return name_; }
    QLineEdit* DisplayedField() const { return displayed_; }
    QLabel* GrossNetLabel() const { return grossNet_; }
    QLabel* MotionZeroLabel() const { return motionZero_; }
    QLineEdit* GrossField() const { return gross_; }
    QLineEdit* StatusField() const { return status_; }
    CBitmapButton* TareButton() const { return tare_; }
    QPushButton* EditSetupButton() const { return editSetup_; }
    QPushButton* ShowSetupButton() const { return showSetup_; }
    QPushButton* EditBatchingButton() const { return editBatching_; }
    QPushButton* EditRecipesButton() const { return editRecipes_; }
    QPushButton* LevelsButton() const { return levels_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* BackupButton() const { return backup_; }
    QPushButton* RestoreButton() const { return restore_; }
    QPushButton* CompareButton() const { return compare_; }
    QPushButton* CloseButton() const { return close_; }
    QPushButton* HelpButton() const { return help_; }
    // The trend and the weight log under the fields.
    CPanelTrendPart* TrendPart() const { return trendPart_; }

    // The side windows the "Levels" and "Instrument Info" buttons open; tests replace them so
    // that no modal window blocks.
    void SetSideWindowOpener(std::function<void(QWidget*, int address, bool levels)> opener) {
        sideOpener_ = std::move(opener);
    }

private:
    int PollOpen() override;
    int PollTick() override { return logic_.Tick(); }
    bool PollTickThen(std::function<void(int next)> ticked) override {
        // A tick still out (it cannot be: the timer re-arms on its result) counts as handed over.
        logic_.Tick(std::move(ticked));
        return true;
    }
    // Runs what talks to the master on the window thread with the session's bus held.
    template <class Run> auto Held(Run run) {
        const auto hold = session_.HoldBus();
        return run();
    }
    void Render() override;
    void RunSheet(InstrumentPanel::SheetMode mode);
    void RunBackupOrRestore(const std::function<void(QWidget*, int)>& open);

    BusSession& session_;
    ModbusMaster& bus_;
    Prompter& prompter_;
    PanelHooks hooks_;
    InstrumentPanel logic_;
    bool wasActive_ = true;
    std::function<void(QWidget*, int, bool)> sideOpener_;
    QPushButton* check_ = nullptr;

    QLineEdit* name_;
    QLineEdit* displayed_;
    QLabel* grossNet_;
    QLabel* motionZero_;
    QLineEdit* gross_;
    QLineEdit* net_;
    QLineEdit* state_;
    QLineEdit* status_;
    QLineEdit* message_;
    CBitmapButton* tare_;
    CBitmapButton* grossNetButton_;
    CBitmapButton* zero_;
    QPushButton* editSetup_;
    QPushButton* showSetup_;
    QPushButton* editBatching_;
    QPushButton* editRecipes_;
    QPushButton* levels_;
    QPushButton* info_;
    QPushButton* start_;
    QPushButton* backup_;
    QPushButton* restore_;
    QPushButton* compare_;
    QPushButton* close_;
    QPushButton* help_;
    CPanelTrendPart* trendPart_ = nullptr;
};

} // namespace quarnex
