#pragma once

#include "monitor/CommSetup.h"

#include <QDialog>

#include <functional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace quarnex {

class CommSettings;
class Profile;
class Prompter;

// The "Communication set-up" dialog: baud rate, parity, COM number with its device, additional
// receive timeout; the link (serial port, RTU over TCP, Modbus TCP gateway) with host, TCP port
// and response timeout, and the kernel's RS-485 mode of the serial port. OK checks and saves
// (CommSetup decides); Cancel touches nothing. The device field offers the serial devices present
// and takes a typed path too; the note under it says which adapter the path leads to and why it
// cannot be used.
class CCommSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Lists the serial devices present (tests give a fake tree's).
    using DeviceLister = std::function<std::vector<SerialDeviceInfo>()>;

    // lister: empty for the devices of this system.
    CCommSetupDlg(CommSettings& settings, Profile& profile, Prompter& prompter,
                  QWidget* parent = nullptr, const DeviceLister& lister = {});

    // Shows the dialog modally; true when it was left with OK (the values are then saved).
    static bool Edit(CommSettings& settings, Profile& profile, Prompter& prompter, QWidget* parent);

    QButtonGroup* BaudGroup() const { return baud_; }
    QButtonGroup* ParityGroup() const { return parity_; }
    QButtonGroup* PortGroup() const { return port_; }
    QLineEdit* TimeoutEdit() const { return timeout_; }
    QLineEdit* DeviceEdit() const;
    QComboBox* DeviceChoice() const { return device_; }
    QLabel* DeviceNote() const { return note_; }
    QButtonGroup* LinkGroup() const { return link_; }
    QLineEdit* HostEdit() const { return host_; }
    QLineEdit* TcpPortEdit() const { return tcpPort_; }
    QLineEdit* ResponseTimeoutEdit() const { return response_; }

public slots:
    void accept() override;

private:
    void PortChosen(int index);
    // Fills the device list for the chosen COM number and shows its path.
    void ShowDevices();
    void ShowNote();
    // Enables what the chosen link uses: host, port and response time-out for the network links,
    // COM number, device and RS-485 mode for the serial port.
    void LinkChosen();

    CommSettings& settings_;
    Profile& profile_;
    Prompter& prompter_;
    CommSetup form_;
    QButtonGroup* baud_;
    QButtonGroup* parity_;
    QButtonGroup* port_;
    QLineEdit* timeout_;
    QComboBox* device_;
    QLabel* note_;
    QButtonGroup* link_;
    QLineEdit* host_;
    QLineEdit* tcpPort_;
    QLineEdit* response_;
    QCheckBox* rs485_;
    QLineEdit* rs485Before_;
    QLineEdit* rs485After_;
    QWidget* portBox_ = nullptr;
};

} // namespace quarnex
