#include "app/CCommSetupDlg.h"

#include "comm/CommSettings.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "res/AppTextIds.h"
#include "res/LinksTextIds.h"
#include "res/MonitorTextIds.h"
#include "res/PortsTextIds.h"
#include "res/Strings.h"
#include "ui/UiText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quarnex {

namespace {

QButtonGroup* RadioGroup(QGroupBox* box, const QStringList& labels, int columns, int checked) {
    auto* group = new QButtonGroup(box);
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < labels.size(); ++i) {
        auto* radio = new QRadioButton(labels[i], box);
        group->addButton(radio, i);
        grid->addWidget(radio, i / columns, i % columns);
    }
    if (QAbstractButton* b = group->button(checked))
        b->setChecked(true);
    return group;
}

} // namespace

CCommSetupDlg::CCommSetupDlg(CommSettings& settings, Profile& profile, Prompter& prompter,
                             QWidget* parent, const DeviceLister& lister)
    : QDialog(parent), settings_(settings), profile_(profile), prompter_(prompter),
      form_(settings) {
    form_.SetDevices(lister ? lister() : DiscoverSerialDevices());
    setWindowTitle(Ui(ids::kCommSetupCaption));
    auto* layout = new QVBoxLayout(this);

    QStringList bauds;
    for (int b : CommSettings::kBaudRates)
        bauds << QString::number(b);
    auto* baudBox = new QGroupBox(Ui(ids::kBaudRateLabel), this);
    baud_ = RadioGroup(baudBox, bauds, 5, form_.baudIndex);
    layout->addWidget(baudBox);

    auto* parityBox = new QGroupBox(Ui(ids::kParityLabel), this);
    parity_ =
        RadioGroup(parityBox, {Ui(ids::kParityNone), Ui(ids::kParityEven), Ui(ids::kParityOdd)}, 3,
                   form_.parityIndex);
    layout->addWidget(parityBox);

    // The character format is fixed; these lines only state it, as the port is opened.
    auto* format = new QHBoxLayout;
    auto* stopLabel = new QLabel(Ui(ids::kStopBitsLabel), this);
    auto* stopValue = new QLabel(QString::number(settings.StopBits()), this);
    stopLabel->setBuddy(stopValue);
    format->addWidget(stopLabel);
    format->addWidget(stopValue);
    format->addSpacing(24);
    format->addWidget(new QLabel(Ui(ids::kDataBitsLabel), this));
    format->addWidget(new QLabel(Ui(ids::kDataBitsValue), this));
    format->addStretch();
    layout->addLayout(format);

    auto* portRow = new QHBoxLayout;
    QStringList ports;
    for (int n = 1; n <= CommSettings::kPortCount; ++n)
        ports << QString::fromStdString(FormatText(Text(ids::kComPortName), {std::to_string(n)}));
    auto* portBox = new QGroupBox(Ui(ids::kComPortLabel), this);
    portBox_ = portBox;
    port_ = RadioGroup(portBox, ports, 5, form_.portIndex);
    portRow->addWidget(portBox);
    auto* deviceColumn = new QVBoxLayout;
    auto* deviceLabel = new QLabel(Ui(ids::kDeviceLabel), this);
    device_ = new QComboBox(this);
    device_->setEditable(true);
    device_->setInsertPolicy(QComboBox::NoInsert);
    // Room for a by-id name; a longer one scrolls in the field, the open list shows it whole.
    device_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    device_->setMinimumContentsLength(40);
    deviceLabel->setBuddy(device_);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse); // the udev rule is copied from it
    note_->setMaximumWidth(420);
    deviceColumn->addWidget(deviceLabel);
    deviceColumn->addWidget(device_);
    deviceColumn->addWidget(note_);
    deviceColumn->addStretch();
    portRow->addLayout(deviceColumn);
    layout->addLayout(portRow);
    ShowDevices();
    connect(device_, &QComboBox::currentTextChanged, this, &CCommSetupDlg::ShowNote);
    connect(port_, &QButtonGroup::idClicked, this, &CCommSetupDlg::PortChosen);

    auto* timeoutRow = new QHBoxLayout;
    auto* timeoutLabel = new QLabel(Ui(ids::kAdditionalTimeoutLabel), this);
    timeout_ = new QLineEdit(QString::fromStdString(form_.timeoutText), this);
    timeout_->setMaximumWidth(70);
    timeoutLabel->setBuddy(timeout_);
    timeoutRow->addWidget(timeoutLabel);
    timeoutRow->addWidget(timeout_);
    timeoutRow->addWidget(new QLabel(Ui(ids::kMilliseconds), this));
    timeoutRow->addStretch();
    layout->addLayout(timeoutRow);
    layout->addWidget(new QLabel(Ui(ids::kAdditionalTimeoutNote), this));

    auto* linkBox = new QGroupBox(Ui(ids::kLinkLabel), this);
    auto* linkLayout = new QVBoxLayout(linkBox);
    auto* kinds = new QGroupBox(linkBox);
    kinds->setFlat(true);
    link_ =
        RadioGroup(kinds, {Ui(ids::kLinkSerial), Ui(ids::kLinkRtuOverTcp), Ui(ids::kLinkModbusTcp)},
                   3, form_.linkIndex);
    linkLayout->addWidget(kinds);
    auto* net = new QHBoxLayout;
    auto field = [&](int label, const std::string& text, int width) {
        auto* l = new QLabel(Ui(label), linkBox);
        auto* edit = new QLineEdit(QString::fromStdString(text), linkBox);
        if (width > 0)
            edit->setMaximumWidth(width);
        l->setBuddy(edit);
        net->addWidget(l);
        net->addWidget(edit);
        return edit;
    };
    host_ = field(ids::kHostLabel, form_.hostText, 0);
    tcpPort_ = field(ids::kTcpPortLabel, form_.tcpPortText, 70);
    response_ = field(ids::kResponseTimeoutLabel, form_.responseTimeoutText, 70);
    linkLayout->addLayout(net);
    auto* rsRow = new QHBoxLayout;
    rs485_ = new QCheckBox(Ui(ids::kRs485Label), linkBox);
    rs485_->setChecked(form_.rs485);
    rsRow->addWidget(rs485_);
    auto rsField = [&](int label, const std::string& text) {
        auto* l = new QLabel(Ui(label), linkBox);
        auto* edit = new QLineEdit(QString::fromStdString(text), linkBox);
        edit->setMaximumWidth(60);
        l->setBuddy(edit);
        rsRow->addWidget(l);
        rsRow->addWidget(edit);
        return edit;
    };
    rs485Before_ = rsField(ids::kRs485BeforeLabel, form_.rs485BeforeText);
    rs485After_ = rsField(ids::kRs485AfterLabel, form_.rs485AfterText);
    rsRow->addStretch();
    linkLayout->addLayout(rsRow);
    auto* hint = new QLabel(Ui(ids::kRs485Hint), linkBox);
    hint->setWordWrap(true);
    linkLayout->addWidget(hint);
    layout->addWidget(linkBox);
    connect(link_, &QButtonGroup::idClicked, this, &CCommSetupDlg::LinkChosen);
    connect(rs485_, &QCheckBox::toggled, this, &CCommSetupDlg::LinkChosen);
    LinkChosen();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Ui(ids::kAppOk), QDialogButtonBox::AcceptRole);
    buttons->addButton(Ui(ids::kAppCancel), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCommSetupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCommSetupDlg::reject);
    layout->addWidget(buttons);
    // The dialog opens on the chosen baud rate, where the arrow keys change it (on an unchecked
    // button they would only move the focus). Tab already enters each group at its checked button.
    if (QAbstractButton* chosen = baud_->checkedButton())
        chosen->setFocus(Qt::OtherFocusReason);
}

void CCommSetupDlg::LinkChosen() {
    const bool serial = link_->checkedId() <= 0;
    for (QWidget* w : {static_cast<QWidget*>(host_), static_cast<QWidget*>(tcpPort_),
                       static_cast<QWidget*>(response_)})
        w->setEnabled(!serial);
    portBox_->setEnabled(serial);
    device_->setEnabled(serial);
    rs485_->setEnabled(serial);
    rs485Before_->setEnabled(serial && rs485_->isChecked());
    rs485After_->setEnabled(serial && rs485_->isChecked());
}

QLineEdit* CCommSetupDlg::DeviceEdit() const {
    return device_->lineEdit();
}

void CCommSetupDlg::PortChosen(int index) {
    // The path typed for the COM number left is kept; the new one shows its own.
    form_.DevicePathOfChosenPort() = device_->currentText().toStdString();
    form_.portIndex = index;
    ShowDevices();
}

void CCommSetupDlg::ShowDevices() {
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    device_->blockSignals(true);
    device_->clear();
    for (const CommSetup::DeviceChoice& choice : form_.Choices()) {
        const QString path = QString::fromStdString(choice.path);
        if (choice.usable)
            device_->addItem(path);
        else
            device_->addItem(warning, path);
        const int row = device_->count() - 1;
        device_->setItemData(row, QString::fromStdString(choice.description), Qt::ToolTipRole);
    }
    device_->setCurrentText(QString::fromStdString(form_.DevicePathOfChosenPort()));
    device_->blockSignals(false);
    ShowNote();
}

void CCommSetupDlg::ShowNote() {
    note_->setText(QString::fromStdString(form_.DeviceNote(device_->currentText().toStdString())));
}

void CCommSetupDlg::accept() {
    form_.baudIndex = baud_->checkedId();
    form_.parityIndex = parity_->checkedId();
    form_.portIndex = port_->checkedId();
    form_.timeoutText = timeout_->text().toStdString();
    form_.DevicePathOfChosenPort() = device_->currentText().toStdString();
    form_.linkIndex = link_->checkedId();
    form_.hostText = host_->text().toStdString();
    form_.tcpPortText = tcpPort_->text().toStdString();
    form_.responseTimeoutText = response_->text().toStdString();
    form_.rs485 = rs485_->isChecked();
    form_.rs485BeforeText = rs485Before_->text().toStdString();
    form_.rs485AfterText = rs485After_->text().toStdString();
    std::string prompt;
    switch (form_.Confirm(settings_, profile_, prompt)) {
    case CommSetup::Result::Invalid:
        prompter_.Exclamation(prompt);
        timeout_->setFocus();
        timeout_->selectAll();
        return;
    case CommSetup::Result::InvalidLink:
        prompter_.Exclamation(prompt);
        (link_->checkedId() > 0 ? host_ : rs485Before_)->setFocus();
        return;
    case CommSetup::Result::BadDevicePath:
        prompter_.Exclamation(prompt);
        device_->setFocus();
        return;
    case CommSetup::Result::SaveFailed:
        prompter_.Error(FormatText(Text(ids::kProfileNotWritten), {profile_.Path()}));
        break;
    case CommSetup::Result::Saved:
        break;
    }
    QDialog::accept();
}

bool CCommSetupDlg::Edit(CommSettings& settings, Profile& profile, Prompter& prompter,
                         QWidget* parent) {
    CCommSetupDlg dialog(settings, profile, prompter, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace quarnex
