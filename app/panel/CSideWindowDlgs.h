#pragma once

#include "edit/ValueEntry.h"
#include "monitor/panel/SideWindows.h"
#include "ui/PollingDialog.h"

#include <QDialog>

#include <array>
#include <functional>

class QLineEdit;
class QPushButton;

namespace quarnex {

class ModbusMaster;
class Prompter;

// The instrument-information window: name (with its editor), serial number, program, gross
// weight and input signal; 200 ms while the instrument works, 1000 ms otherwise.
class CInstrumentInfoDlg : public PollingDialog {
    Q_OBJECT
public:
    CInstrumentInfoDlg(ModbusMaster& bus, int address, Prompter& prompter,
                       QWidget* parent = nullptr);
    InstrumentInfoWindow& Logic() { return logic_; }

    QLineEdit* NameField() const { return name_; }
    QLineEdit* SerialField() const { return serial_; }
    QLineEdit* ProgramField() const { return program_; }
    QLineEdit* GrossField() const { return gross_; }
    QLineEdit* SignalField() const { return signal_; }
    QPushButton* EditNameButton() const { return editName_; }
    QPushButton* CloseButton() const { return close_; }

    // Runs the name editor; tests replace it so that no modal window blocks. Returns true when
    // the name was written.
    void SetNameEditor(std::function<bool(TextEntry&)> editor) { nameEditor_ = std::move(editor); }

public slots:
    void OnEditName();

private:
    int PollOpen() override { return logic_.Open(); }
    int PollTick() override { return logic_.Tick(); }
    void Render() override;

    ModbusMaster& bus_;
    Prompter& prompter_;
    InstrumentInfoWindow logic_;
    std::function<bool(TextEntry&)> nameEditor_;
    QLineEdit* name_;
    QLineEdit* serial_;
    QLineEdit* program_;
    QLineEdit* gross_;
    QLineEdit* signal_;
    QPushButton* editName_;
    QPushButton* close_;
};

// The levels window: eight levels with their status and the two setpoints; 100 ms after a good
// read, 500 ms after a failed one.
class CLevelsDlg : public PollingDialog {
    Q_OBJECT
public:
    CLevelsDlg(ModbusMaster& bus, int address, Prompter& prompter, QWidget* parent = nullptr);
    LevelsWindow& Logic() { return logic_; }

    QLineEdit* LevelField(int n) const { return levels_[n - 1]; }
    QLineEdit* StatusField(int n) const { return status_[n - 1]; }
    QLineEdit* Setpoint1Field() const { return setpoint1_; }
    QLineEdit* Setpoint2Field() const { return setpoint2_; }
    QPushButton* EditButton(int n) const { return edit_[n - 1]; }
    QPushButton* CloseButton() const { return close_; }

    // Runs a level's number editor; tests replace it so that no modal window blocks.
    void SetLevelEditor(std::function<bool(NumericEntry&)> editor) {
        levelEditor_ = std::move(editor);
    }

public slots:
    void OnEditLevel(int n);

private:
    int PollOpen() override { return logic_.Open(); }
    int PollTick() override { return logic_.Tick(); }
    void Render() override;

    ModbusMaster& bus_;
    Prompter& prompter_;
    LevelsWindow logic_;
    std::function<bool(NumericEntry&)> levelEditor_;
    std::array<QLineEdit*, LevelsWindow::kLevels> levels_{};
    std::array<QLineEdit*, LevelsWindow::kLevels> status_{};
    std::array<QPushButton*, LevelsWindow::kLevels> edit_{};
    QLineEdit* setpoint1_;
    QLineEdit* setpoint2_;
    QPushButton* close_;
};

} // namespace quarnex
