#pragma once

#include "monitor/panel/SideWindows.h"
#include "ui/PollingDialog.h"

#include <array>

class QGridLayout;
class QLineEdit;
class QPushButton;

namespace quarnex {

class ModbusMaster;
class Prompter;

// What the information and levels windows share: the logic's timer, a grid of fields above a
// Close button, and ">>"s that open their editor through the one edit path while the timer waits.
// The ticks' reads run on the link's bus session; an editor writes on the window thread holding
// the session's bus.
class CSideWindowDlg : public PollingDialog {
    Q_OBJECT
public:
    QPushButton* CloseButton() const { return close_; }

protected:
    CSideWindowDlg(BusSession& session, QWidget* parent)
        : PollingDialog(parent), session_(session) {}
    virtual SideWindow& Logic() = 0;
    // The ">>" beside a value: just wide enough for its caption.
    QPushButton* MakeEditButton();
    // Puts the filled grid above the Close button, and shows the caption and the fields.
    void Finish(QGridLayout* grid);
    // The editor of a ">>"; the next tick reads what it wrote.
    void Edit(const EditRequest& request);

private:
    int PollOpen() override { return Logic().Open(); }
    int PollTick() override { return Logic().Tick(); }
    bool PollTickThen(std::function<void(int next)> ticked) override {
        Logic().TickThen(std::move(ticked));
        return true;
    }

    BusSession& session_;
    QPushButton* close_ = nullptr;
};

// The instrument-information window: name (with its editor), serial number, program, gross
// weight and input signal; 200 ms while the instrument works, 1000 ms otherwise.
class CInstrumentInfoDlg : public CSideWindowDlg {
    Q_OBJECT
public:
    CInstrumentInfoDlg(BusSession& session, ModbusMaster& bus, int address, Prompter& prompter,
                       QWidget* parent = nullptr);
    InstrumentInfoWindow& Logic() override { return logic_; }

    QLineEdit* NameField() const { return name_; }
    QLineEdit* SerialField() const { return serial_; }
    QLineEdit* GrossField() const { return gross_; }
    QLineEdit* SignalField() const { return signal_; }
    QPushButton* EditNameButton() const { return editName_; }

public slots:
    void OnEditName() { Edit(logic_.NameEditRequest()); }

private:
    void Render() override;

    InstrumentInfoWindow logic_;
    QLineEdit* name_;
    QLineEdit* serial_;
    QLineEdit* program_;
    QLineEdit* gross_;
    QLineEdit* signal_;
    QPushButton* editName_;
};

// The levels window: eight levels with their status and the two setpoints; 100 ms after a good
// read, 500 ms after a failed one.
class CLevelsDlg : public CSideWindowDlg {
    Q_OBJECT
public:
    CLevelsDlg(BusSession& session, ModbusMaster& bus, int address, Prompter& prompter,
               QWidget* parent = nullptr);
    LevelsWindow& Logic() override { return logic_; }

    QLineEdit* LevelField(int n) const { return levels_[n - 1]; }
    QLineEdit* StatusField(int n) const { return status_[n - 1]; }
    QPushButton* EditButton(int n) const { return edit_[n - 1]; }

public slots:
    void OnEditLevel(int n) { Edit(logic_.LevelEditRequest(n)); }

private:
    void Render() override;

    LevelsWindow logic_;
    std::array<QLineEdit*, LevelsWindow::kLevels> levels_{};
    std::array<QLineEdit*, LevelsWindow::kLevels> status_{};
    std::array<QPushButton*, LevelsWindow::kLevels> edit_{};
    QLineEdit* setpoint1_;
    QLineEdit* setpoint2_;
};

} // namespace quarnex
