#pragma once

#include "monitor/CommSetup.h"

#include <QDialog>

class QButtonGroup;
class QLineEdit;

namespace quarnex {

class CommSettings;
class Profile;
class Prompter;

// The "Communication set-up" dialog: baud rate, parity, COM number with its device, additional
// receive timeout. OK checks and saves (CommSetup decides); Cancel touches nothing.
class CCommSetupDlg : public QDialog {
    Q_OBJECT
public:
    CCommSetupDlg(CommSettings& settings, Profile& profile, Prompter& prompter,
                  QWidget* parent = nullptr);

    // Shows the dialog modally; true when it was left with OK (the values are then saved).
    static bool Edit(CommSettings& settings, Profile& profile, Prompter& prompter, QWidget* parent);

    QButtonGroup* BaudGroup() const { return baud_; }
    QButtonGroup* ParityGroup() const { return parity_; }
    QButtonGroup* PortGroup() const { return port_; }
    QLineEdit* TimeoutEdit() const { return timeout_; }
    QLineEdit* DeviceEdit() const { return device_; }

public slots:
    void accept() override;

private:
    void PortChosen(int index);

    CommSettings& settings_;
    Profile& profile_;
    Prompter& prompter_;
    CommSetup form_;
    QButtonGroup* baud_;
    QButtonGroup* parity_;
    QButtonGroup* port_;
    QLineEdit* timeout_;
    QLineEdit* device_;
};

} // namespace quarnex
