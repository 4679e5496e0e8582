#pragma once

#include "tester/CommTester.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quarnex {

class ModbusMaster;
class Prompter;

// The "Communication tester" dialog: reads and writes any register and sets or clears any coil by
// hand. The window only copies its fields into CommTester, forwards the clicks and shows what
// the tester decided; the caller stops its own polling while the dialog is open.
class CCommTesterDlg : public QDialog {
    Q_OBJECT
public:
    CCommTesterDlg(ModbusMaster& bus, Prompter& prompter, QWidget* parent = nullptr);

    // Shows the dialog modally.
    static void Run(ModbusMaster& bus, Prompter& prompter, QWidget* parent);

    CommTester& Logic() { return logic_; }
    QButtonGroup* TypeGroup() const { return type_; }
    QLineEdit* AddressEdit() const { return address_; }
    QLineEdit* CoilEdit() const { return coil_; }
    QLineEdit* SendStartEdit() const { return sendStart_; }
    QLineEdit* GetStartEdit() const { return getStart_; }
    QLineEdit* SendEdit(int row) const { return send_[row]; }
    QLineEdit* GetEdit(int row) const { return get_[row]; }
    QLabel* SendLabel(int row) const { return sendLabel_[row]; }
    QLabel* GetLabel(int row) const { return getLabel_[row]; }
    QPushButton* SendButton() const { return sendButton_; }
    QPushButton* GetButton() const { return getButton_; }

private:
    // The fields into the tester, and the tester's state back into the window.
    void Pull();
    void Render();
    // Puts the focus on the field the tester refused, if any.
    void FocusRefused();
    void TypeChosen(int type);
    void AddressLeft();
    void Button(void (CCommTesterDlg::*action)());
    void DoGet() { logic_.GetData(); }
    void DoSend() { logic_.SendData(); }
    void DoSetCoil() { logic_.SetCoil(true); }
    void DoClearCoil() { logic_.SetCoil(false); }

    CommTester logic_;
    bool checking_ = false; // a field check is showing its box
    QButtonGroup* type_;
    QLineEdit* address_;
    QLineEdit* coil_;
    QLineEdit* sendStart_;
    QLineEdit* getStart_;
    std::array<QLineEdit*, CommTester::kRows> send_{};
    std::array<QLineEdit*, CommTester::kRows> get_{};
    std::array<QLabel*, CommTester::kRows> sendLabel_{};
    std::array<QLabel*, CommTester::kRows> getLabel_{};
    QPushButton* sendButton_;
    QPushButton* getButton_;
    QPushButton* setCoil_;
    QPushButton* clearCoil_;
};

} // namespace quarnex
