#pragma once

#include "monitor/BusSearch.h"
#include "monitor/SettingsSearch.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quarnex {

class ModbusMaster;
class Profile;
class Prompter;

// "Instrument search": asks one address per 20 ms tick. "Stop" (and the end of the bus) closes
// with OK and the result as far as it got; "Cancel" closes without a result. "Find settings"
// (offered on a serial bus) pauses the address search and tries every baud rate and parity
// at the likely addresses, one probe per tick with its progress; "Stop" ends it. What it found is
// offered as the bus's settings: Yes saves them and opens the port again, and the address search
// starts over at them.
class CInstrumentSearchDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInstrumentSearchDlg(ModbusMaster& bus, QWidget* parent = nullptr);

    // Shows the "Find settings" button: the settings found are saved to profile, the question
    // and any failure go through prompter; watched leads the addresses it asks.
    void OfferSettingsSearch(Profile& profile, Prompter& prompter, const AddressFlags& watched);

    const BusSearch& Search() const { return search_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLineEdit* AddressField() const { return address_; }
    QLineEdit* FoundField() const { return found_; }
    QPushButton* FindSettingsButton() const { return findSettings_; }
    QProgressBar* SettingsProgress() const { return progress_; }
    QLabel* SettingsNote() const { return note_; }
    // The settings search running, or null.
    const SettingsSearch* Finder() const { return finder_.get(); }

public slots:
    void accept() override;
    void reject() override;
    // One step of the search (the timer's handler; tests call it directly).
    void OnTimer();
    void OnFindSettings();
    // One probe of the settings search (its timer's handler; tests call it directly).
    void OnSettingsTimer();

private:
    void OnStop();
    void EndSettingsSearch(bool stopped);

    ModbusMaster& bus_;
    BusSearch search_;
    QTimer timer_;
    QTimer settingsTimer_;
    std::unique_ptr<SettingsSearch> finder_;
    Profile* profile_ = nullptr;
    Prompter* prompter_ = nullptr;
    AddressFlags watched_{};
    QPushButton* findSettings_;
    QProgressBar* progress_;
    QLabel* note_;
    QLineEdit* address_;
    QLineEdit* found_;
    QPushButton* stop_;
    QPushButton* cancel_;
};

} // namespace quarnex
