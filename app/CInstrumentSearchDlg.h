#pragma once

#include "monitor/BusSearch.h"

#include <QDialog>
#include <QTimer>

class QLineEdit;
class QPushButton;

namespace quarnex {

class ModbusMaster;

// "Instrument search": asks one address per 20 ms tick. "Stop" (and the end of the bus) closes
// with OK and the result as far as it got; "Cancel" closes without a result.
class CInstrumentSearchDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInstrumentSearchDlg(ModbusMaster& bus, QWidget* parent = nullptr);

    const BusSearch& Search() const { return search_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLineEdit* AddressField() const { return address_; }
    QLineEdit* FoundField() const { return found_; }

public slots:
    void accept() override;
    void reject() override;
    // One step of the search (the timer's handler; tests call it directly).
    void OnTimer();

private:
    BusSearch search_;
    QTimer timer_;
    QLineEdit* address_;
    QLineEdit* found_;
    QPushButton* stop_;
    QPushButton* cancel_;
};

} // namespace quarnex
