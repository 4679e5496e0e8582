#pragma once

#include "edit/ValueEntry.h"
#include "ui/PollingWindow.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quarnex {

// The value-entry dialogs. Each renders its toolkit-free entry (edit/ValueEntry.h) and
// forwards the buttons; Run() shows one modally and returns true when it closed with OK, that is
// exactly when the instrument took the value.

// The "Header" template: a caption, "New value:" and an edit, with OK and Cancel.
class CHeaderDlg : public QDialog {
    Q_OBJECT
public:
    QLineEdit* Edit() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

protected:
    CHeaderDlg(const std::string& caption, const QString& initialText, QWidget* parent);
    // The focus back in the edit after a typing error or a refused write.
    void RefocusEdit(bool caretAtEnd = false);
    // Closes the dialog as the entry decided; false when it stays open.
    bool Finish(EntryResult result);
    std::string EditText() const;

    QLabel* label_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// A number, with or without a selector.
class CNumberDlg : public CHeaderDlg {
    Q_OBJECT
public:
    CNumberDlg(NumericEntry& entry, QWidget* parent = nullptr);
    static bool Run(NumericEntry& entry, QWidget* parent);
public slots:
    void accept() override;
    void reject() override;

private:
    NumericEntry& entry_;
};

// A text of a number of registers (the instrument name, activity and recipe names).
class CTextDlg : public CHeaderDlg {
    Q_OBJECT
public:
    CTextDlg(TextEntry& entry, QWidget* parent = nullptr);
    static bool Run(TextEntry& entry, QWidget* parent);
public slots:
    void accept() override;
    void reject() override;

private:
    TextEntry& entry_;
};

// The analogue outputs' adjustment: "Apply now", "OK" and "Close". Every way out (Close, Escape,
// the title bar) ends the adjustment in the instrument.
class CAdjustDlg : public CHeaderDlg {
    Q_OBJECT
public:
    CAdjustDlg(AdjustmentEntry& entry, QWidget* parent = nullptr);
    // Writes the initial value first; when the instrument refuses it the dialog is never shown.
    static bool Run(AdjustmentEntry& entry, QWidget* parent);
    QPushButton* ApplyButton() const { return apply_; }
public slots:
    void accept() override;
    void reject() override;
    void OnApply();

private:
    AdjustmentEntry& entry_;
    QPushButton* apply_;
};

// The shunt calibration value: typed, or measured with the shunt resistor connected.
class CShuntDlg : public CHeaderDlg, public PollingWindow {
    Q_OBJECT
public:
    CShuntDlg(ShuntEntry& entry, QWidget* parent = nullptr);
    static bool Run(ShuntEntry& entry, QWidget* parent);
    QPushButton* ConnectButton() const { return connect_; }
    // Starts the timer at once (Run does this; tests call OnTimer directly instead).
    void StartTimer() { StartPollingNow(); }
public slots:
    void accept() override;
    void reject() override;
    void OnConnect();

private:
    // The measurement has no opening read: the first tick comes at once.
    int PollOpen() override { return 0; }
    int PollTick() override { return entry_.Tick(); }
    void Render() override;

    ShuntEntry& entry_;
    QPushButton* connect_;
};

// The "Choice set-up" template: a drop-down list (choice, choice with selector, activity).
class CChoiceDlg : public QDialog {
    Q_OBJECT
public:
    CChoiceDlg(ChoiceEntry& entry, QWidget* parent = nullptr);
    static bool Run(ChoiceEntry& entry, QWidget* parent);
    QComboBox* List() const { return list_; }
    QPushButton* OkButton() const { return ok_; }
public slots:
    void accept() override;
    void reject() override;

private:
    ChoiceEntry& entry_;
    QComboBox* list_;
    QPushButton* ok_;
};

// "Select instrument": an address 1-247 whose instrument answers with a known model.
class CSelectInstrumentDlg : public QDialog {
    Q_OBJECT
public:
    CSelectInstrumentDlg(AddressEntry& entry, QWidget* parent = nullptr);
    static bool Run(AddressEntry& entry, QWidget* parent);
    QLineEdit* Edit() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }
public slots:
    void accept() override;
    void reject() override;

private:
    AddressEntry& entry_;
    QLineEdit* edit_;
    QPushButton* ok_;
};

} // namespace quarnex
