#pragma once

#include "monitor/BusTraffic.h"
#include "ui/TickTimer.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quarnex {

class FileChooser;
class ModbusMaster;
class Prompter;

// The "Bus traffic" window: a modeless window beside the others that shows every attempt on the
// bus as BusTraffic decides it. It watches the master while it is open and does not talk to the
// bus itself, so the polling of the other windows goes on.
class CBusTrafficWnd : public QWidget {
    Q_OBJECT
public:
    enum Column {
        kTime,
        kAttempt,
        kAddress,
        kFunction,
        kRegister,
        kCount,
        kStatus,
        kResponse,
        kGap,
        kRequest,
        kAnswer,
        kWarning,
        kColumnCount
    };

    // chooser: where the save dialogs go; null for the system's file dialogs.
    CBusTrafficWnd(ModbusMaster& bus, TrafficRecorder& recorder, Prompter& prompter,
                   FileChooser* chooser = nullptr, QWidget* parent = nullptr);
    ~CBusTrafficWnd() override;

    BusTraffic& Logic() { return logic_; }
    QTableWidget* Table() const { return table_; }
    QPushButton* PauseButton() const { return pause_; }
    QComboBox* AddressBox() const { return filter_; }
    QLabel* SummaryLabel() const { return summary_; }
    TickTimer& Timer() { return timer_; }

public slots:
    // One refresh (the timer's handler; tests call it directly).
    void OnTimer();

private:
    void Render();
    void SetRow(int row, const traffic::TrafficRow& r);

    ModbusMaster& bus_;
    TrafficRecorder& recorder_;
    Prompter& prompter_;
    std::unique_ptr<FileChooser> ownChooser_;
    FileChooser& chooser_;
    BusTraffic logic_;
    TickTimer timer_;
    QTableWidget* table_ = nullptr;
    QPushButton* pause_ = nullptr;
    QComboBox* filter_ = nullptr;
    QLabel* summary_ = nullptr;
    std::vector<int> addresses_;
};

} // namespace quarnex
