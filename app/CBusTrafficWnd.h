#pragma once

#include "monitor/BusTraffic.h"
#include "ui/TickTimer.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace quarnex {

class BusSession;
class FileChooser;
class ModbusMaster;
class Prompter;

class TrafficObserver;
class TrafficRelay;
class TrafficTableModel;

// The "Bus traffic" window: a modeless window beside the others that shows every attempt on the
// bus as BusTraffic decides it. It watches the master while it is open and does not talk to the
// bus itself, so the polling of the other windows goes on. Escape closes it.
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

    // chooser: where the save dialogs go; null for the system's file dialogs. session: the one
    // working bus on its own thread, whose attempts then come to the recorder as posted calls
    // (the recorder is read and written on the window thread only); null when the window thread
    // itself drives bus.
    CBusTrafficWnd(ModbusMaster& bus, TrafficRecorder& recorder, Prompter& prompter,
                   FileChooser* chooser = nullptr, QWidget* parent = nullptr,
                   BusSession* session = nullptr);
    ~CBusTrafficWnd() override;

    BusTraffic& Logic() { return logic_; }
    QTableView* Table() const { return table_; }
    QPushButton* PauseButton() const { return pause_; }
    QComboBox* AddressBox() const { return filter_; }
    QLabel* SummaryLabel() const { return summary_; }
    TickTimer& Timer() { return timer_; }

public slots:
    // One refresh (the timer's handler; tests call it directly).
    void OnTimer();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Render();
    void WidenForWarnings(size_t firstRow);

    // Sets the master's observer, holding the session's bus.
    void Observe(TrafficObserver* observer);

    ModbusMaster& bus_;
    TrafficRecorder& recorder_;
    BusSession* session_;
    std::unique_ptr<TrafficRelay> relay_;
    Prompter& prompter_;
    std::unique_ptr<FileChooser> ownChooser_;
    FileChooser& chooser_;
    BusTraffic logic_;
    TickTimer timer_;
    TrafficTableModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton* pause_ = nullptr;
    QComboBox* filter_ = nullptr;
    QLabel* summary_ = nullptr;
    bool shown_ = false;
    bool follow_ = true; // the view stays on the newest rows
};

// The table of the traffic window: a view of BusTraffic's rows, which are the recorder's records
// in place. A row's texts are made when the view asks for them, that is for the rows in sight.
class TrafficTableModel : public QAbstractTableModel {
public:
    explicit TrafficTableModel(BusTraffic& logic, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Passes the logic's changes on to the view.
    void Apply(const BusTraffic::Changes& changes);

private:
    const traffic::TrafficRow& RowTexts(int row) const;

    BusTraffic& logic_;
    int rows_ = 0;
    // The texts of the row asked for last: the view asks for a row's cells one after another.
    mutable uint64_t cachedSerial_ = 0; // serials start at 1
    mutable traffic::TrafficRow cached_;
};

} // namespace quarnex
