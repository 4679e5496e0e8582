#include "app/CInstrumentSearchDlg.h"

#include "res/MonitorTextIds.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarnex {

CInstrumentSearchDlg::CInstrumentSearchDlg(ModbusMaster& bus, QWidget* parent)
    : QDialog(parent), search_(bus) {
    setWindowTitle(Ui(ids::kSearchCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Ui(ids::kSearchPleaseWait), this));
    auto* grid = new QGridLayout;
    address_ = new QLineEdit(this);
    found_ = new QLineEdit(QStringLiteral("0"), this);
    for (QLineEdit* field : {address_, found_}) {
        field->setReadOnly(true);
        field->setMaximumWidth(60);
        field->setAlignment(Qt::AlignRight);
        field->setFocusPolicy(Qt::NoFocus);
    }
    grid->addWidget(new QLabel(Ui(ids::kSearchingAddressLabel), this), 0, 0);
    grid->addWidget(address_, 0, 1);
    grid->addWidget(new QLabel(Ui(ids::kFoundNumberLabel), this), 1, 0);
    grid->addWidget(found_, 1, 1);
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    stop_ = new QPushButton(Ui(ids::kStop), this);
    cancel_ = new QPushButton(Ui(ids::kMonitorCancel), this);
    stop_->setDefault(true);
    buttons->addWidget(stop_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(stop_, &QPushButton::clicked, this, &CInstrumentSearchDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CInstrumentSearchDlg::reject);

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CInstrumentSearchDlg::OnTimer);
    timer_.start(BusSearch::kPeriodMs);
}

void CInstrumentSearchDlg::OnTimer() {
    timer_.stop();
    const bool more = search_.Tick();
    address_->setText(QString::number(search_.LastAsked()));
    found_->setText(QString::number(search_.FoundCount()));
    if (more)
        timer_.start(BusSearch::kPeriodMs);
    else
        accept(); // the whole bus has been asked: as if "Stop" had been pressed
}

void CInstrumentSearchDlg::accept() {
    timer_.stop();
    QDialog::accept();
}

void CInstrumentSearchDlg::reject() {
    timer_.stop();
    QDialog::reject();
}

} // namespace quarnex
