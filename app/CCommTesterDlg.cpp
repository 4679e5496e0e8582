#include "app/CCommTesterDlg.h"

#include "platform/Prompter.h"
#include "res/TesterTextIds.h"
#include "ui/UiText.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quarnex {

namespace {

QLineEdit* Field(QWidget* parent, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setMinimumWidth(width);
    return edit;
}

// A label with its field in a grid row.
void AddRow(QGridLayout* grid, int row, QLabel* label, QLineEdit* edit) {
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

CCommTesterDlg::CCommTesterDlg(ModbusMaster& bus, Prompter& prompter, QWidget* parent)
    : QDialog(parent), logic_(bus, prompter) {
    setWindowTitle(Ui(ids::kTesterTitle));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* typeBox = new QGroupBox(Ui(ids::kTesterDataType), this);
    auto* typeColumn = new QVBoxLayout(typeBox);
    type_ = new QButtonGroup(this);
    for (int t = 0; t < CommTester::kDataTypeCount; ++t) {
        auto* radio = new QRadioButton(Ui(ids::kTesterDataTypeFirst + t), typeBox);
        type_->addButton(radio, t);
        typeColumn->addWidget(radio);
    }
    top->addWidget(typeBox);

    auto* slaveGrid = new QGridLayout;
    address_ = Field(this, 60);
    coil_ = Field(this, 60);
    AddRow(slaveGrid, 0, new QLabel(Ui(ids::kTesterAddress), this), address_);
    AddRow(slaveGrid, 1, new QLabel(Ui(ids::kTesterCoil), this), coil_);
    setCoil_ = new QPushButton(Ui(ids::kTesterSetCoil), this);
    clearCoil_ = new QPushButton(Ui(ids::kTesterClearCoil), this);
    slaveGrid->addWidget(setCoil_, 2, 0);
    slaveGrid->addWidget(clearCoil_, 2, 1);
    slaveGrid->setRowStretch(3, 1);
    top->addLayout(slaveGrid);
    layout->addLayout(top);

    // The send and the get side: a start register, three value rows and the button.
    auto side =
        [this](int title, QLineEdit*& start, std::array<QLineEdit*, CommTester::kRows>& edits,
               std::array<QLabel*, CommTester::kRows>& labels, bool readOnly, int buttonText) {
            auto* box = new QGroupBox(Ui(title), this);
            auto* grid = new QGridLayout(box);
            start = Field(box, 80);
            AddRow(grid, 0, new QLabel(Ui(ids::kTesterStartRegister), box), start);
            for (int row = 0; row < CommTester::kRows; ++row) {
                labels[row] = new QLabel(box);
                edits[row] = Field(box, 150);
                edits[row]->setReadOnly(readOnly);
                AddRow(grid, row + 1, labels[row], edits[row]);
            }
            auto* button = new QPushButton(Ui(buttonText), box);
            grid->addWidget(button, CommTester::kRows + 1, 1);
            return std::make_pair(box, button);
        };
    auto* sides = new QHBoxLayout;
    auto [sendBox, sendButton] =
        side(ids::kTesterSendGroup, sendStart_, send_, sendLabel_, false, ids::kTesterSendButton);
    auto [getBox, getButton] =
        side(ids::kTesterGetGroup, getStart_, get_, getLabel_, true, ids::kTesterGetButton);
    sendButton_ = sendButton;
    getButton_ = getButton;
    sides->addWidget(sendBox);
    sides->addWidget(getBox);
    layout->addLayout(sides);

    auto* closeRow = new QHBoxLayout;
    auto* close = new QPushButton(Ui(ids::kTesterClose), this);
    closeRow->addStretch();
    closeRow->addWidget(close);
    layout->addLayout(closeRow);

    // Return in a field must never command an instrument (with coil 7, "Set coil" is a tare): no
    // button here is a default, so Return presses none of them; a click or Space does.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);

    connect(type_, &QButtonGroup::idClicked, this, &CCommTesterDlg::TypeChosen);
    connect(address_, &QLineEdit::editingFinished, this, &CCommTesterDlg::AddressLeft);
    connect(getButton_, &QPushButton::clicked, this, [this] { Button(&CCommTesterDlg::DoGet); });
    connect(sendButton_, &QPushButton::clicked, this, [this] { Button(&CCommTesterDlg::DoSend); });
    connect(setCoil_, &QPushButton::clicked, this, [this] { Button(&CCommTesterDlg::DoSetCoil); });
    connect(clearCoil_, &QPushButton::clicked, this,
            [this] { Button(&CCommTesterDlg::DoClearCoil); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Render();
}

void CCommTesterDlg::Run(ModbusMaster& bus, Prompter& prompter, QWidget* parent) {
    CCommTesterDlg dialog(bus, prompter, parent);
    dialog.exec();
}

void CCommTesterDlg::Pull() {
    CommTester::Fields& f = logic_.fields;
    f.address = address_->text().toStdString();
    f.coil = coil_->text().toStdString();
    f.sendStart = sendStart_->text().toStdString();
    f.getStart = getStart_->text().toStdString();
    for (int row = 0; row < CommTester::kRows; ++row)
        f.send[row] = send_[row]->text().toStdString();
}

void CCommTesterDlg::Render() {
    const CommTester::Fields& f = logic_.fields;
    if (QAbstractButton* b = type_->button(logic_.Type()))
        b->setChecked(true);
    address_->setText(Q(f.address));
    coil_->setText(Q(f.coil));
    sendStart_->setText(Q(f.sendStart));
    getStart_->setText(Q(f.getStart));
    for (int row = 0; row < CommTester::kRows; ++row) {
        send_[row]->setText(Q(f.send[row]));
        get_[row]->setText(Q(f.get[row]));
        sendLabel_[row]->setText(Q(logic_.SendLabel(row)));
        getLabel_[row]->setText(Q(logic_.GetLabel(row)));
        send_[row]->setVisible(logic_.SendRowVisible(row));
        get_[row]->setVisible(logic_.GetRowVisible(row));
    }
}

void CCommTesterDlg::FocusRefused() {
    QLineEdit* edit = nullptr;
    switch (logic_.RefusedField()) {
    case CommTester::Field::None:
        return;
    case CommTester::Field::Address:
        edit = address_;
        break;
    case CommTester::Field::Coil:
        edit = coil_;
        break;
    case CommTester::Field::SendStart:
        edit = sendStart_;
        break;
    case CommTester::Field::GetStart:
        edit = getStart_;
        break;
    case CommTester::Field::Send1:
        edit = send_[0];
        break;
    case CommTester::Field::Send2:
        edit = send_[1];
        break;
    case CommTester::Field::Send3:
        edit = send_[2];
        break;
    }
    edit->setFocus();
    edit->selectAll();
}

void CCommTesterDlg::TypeChosen(int type) {
    Pull();
    logic_.SelectDataType(type);
    // A refused field keeps the old type: the radio buttons go back to it.
    Render();
    FocusRefused();
}

void CCommTesterDlg::AddressLeft() {
    // The box of a refused field takes the focus away again; that must not check a second time.
    if (checking_)
        return;
    checking_ = true;
    Pull();
    if (!logic_.ReadFields())
        FocusRefused();
    checking_ = false;
}

void CCommTesterDlg::Button(void (CCommTesterDlg::*action)()) {
    Pull();
    (this->*action)();
    Render();
    FocusRefused();
}

} // namespace quarnex
