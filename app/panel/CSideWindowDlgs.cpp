#include "app/panel/CSideWindowDlgs.h"

#include "app/edit/RunEditor.h"
#include "app/panel/OpenPanel.h"
#include "res/PanelTextIds.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarnex {

namespace {

template <class Dialog>
void RunSideWindow(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                   Prompter& prompter) {
    Dialog dialog(session, bus, address, prompter, parent);
    dialog.Start();
    dialog.exec();
}

} // namespace

// ---- CSideWindowDlg ----

QPushButton* CSideWindowDlg::MakeEditButton() {
    auto* button = new QPushButton(Ui(ids::kEditButton), this);
    button->setAutoDefault(false);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);
    return button;
}

void CSideWindowDlg::Finish(QGridLayout* grid) {
    // Made last, so Tab reaches it after the window's ">>".
    close_ = new QPushButton(Ui(ids::kCloseButton), this);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setWindowTitle(QString::fromStdString(Logic().Caption()));
    Render();
}

void CSideWindowDlg::Edit(const EditRequest& request) {
    WithTimerStopped([&] {
        const auto hold = session_.HoldBus();
        RunEditor(request, Logic().Source(), this);
        return Logic().PeriodAfterEditor();
    });
}

// ---- CInstrumentInfoDlg ----

CInstrumentInfoDlg::CInstrumentInfoDlg(BusSession& session, ModbusMaster& bus, int address,
                                       Prompter& prompter, QWidget* parent)
    : CSideWindowDlg(session, parent), logic_(bus, address, prompter) {
    logic_.UseSession(session);
    name_ = ReadOnlyField(this, 12);
    serial_ = ReadOnlyField(this, 12);
    program_ = ReadOnlyField(this, 8);
    gross_ = ReadOnlyField(this, 10, true);
    signal_ = ReadOnlyField(this, 10, true);
    editName_ = MakeEditButton();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Ui(ids::kPanelNameLabel), this), 0, 0);
    grid->addWidget(name_, 0, 1);
    grid->addWidget(editName_, 0, 2);
    grid->addWidget(new QLabel(Ui(ids::kSerialLabel), this), 1, 0);
    grid->addWidget(serial_, 1, 1);
    grid->addWidget(new QLabel(Ui(ids::kProgramLabel), this), 2, 0);
    grid->addWidget(program_, 2, 1);
    grid->addWidget(new QLabel(Ui(ids::kPanelGrossLabel), this), 3, 0);
    grid->addWidget(gross_, 3, 1);
    grid->addWidget(new QLabel(Ui(ids::kInputSignalLabel), this), 4, 0);
    grid->addWidget(signal_, 4, 1);
    grid->addWidget(new QLabel(Ui(ids::kMillivoltPerVolt), this), 4, 2);
    connect(editName_, &QPushButton::clicked, this, &CInstrumentInfoDlg::OnEditName);
    Finish(grid);
}

void CInstrumentInfoDlg::Render() {
    const InstrumentInfoWindow::Display& d = logic_.GetDisplay();
    SetText(name_, d.name);
    SetText(serial_, d.serialNumber);
    SetText(program_, d.program);
    SetText(gross_, d.grossWeight);
    SetText(signal_, d.inputSignal);
    editName_->setEnabled(d.editName);
}

// ---- CLevelsDlg ----

CLevelsDlg::CLevelsDlg(BusSession& session, ModbusMaster& bus, int address, Prompter& prompter,
                       QWidget* parent)
    : CSideWindowDlg(session, parent), logic_(bus, address, prompter) {
    logic_.UseSession(session);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Ui(ids::kLevelStatusLabel), this), 0, 2);
    for (int n = 1; n <= LevelsWindow::kLevels; ++n) {
        levels_[n - 1] = ReadOnlyField(this, 10, true);
        // Wide enough for the placeholder "------" a failed read shows.
        status_[n - 1] = ReadOnlyField(this, 6);
        status_[n - 1]->setMaximumWidth(status_[n - 1]->minimumWidth());
        status_[n - 1]->setAlignment(Qt::AlignCenter);
        edit_[n - 1] = MakeEditButton();
        grid->addWidget(new QLabel(Ui(ids::kLevelLabelFirst + n - 1), this), n, 0);
        grid->addWidget(levels_[n - 1], n, 1);
        grid->addWidget(status_[n - 1], n, 2);
        grid->addWidget(edit_[n - 1], n, 3);
        connect(edit_[n - 1], &QPushButton::clicked, this, [this, n] { OnEditLevel(n); });
    }
    setpoint1_ = ReadOnlyField(this, 10, true);
    setpoint2_ = ReadOnlyField(this, 10, true);
    grid->addWidget(new QLabel(Ui(ids::kSetpoint1Label), this), 9, 0);
    grid->addWidget(setpoint1_, 9, 1);
    grid->addWidget(new QLabel(Ui(ids::kSetpoint2Label), this), 10, 0);
    grid->addWidget(setpoint2_, 10, 1);
    Finish(grid);
}

void CLevelsDlg::Render() {
    const LevelsWindow::Display& d = logic_.GetDisplay();
    for (int n = 1; n <= LevelsWindow::kLevels; ++n) {
        SetText(levels_[n - 1], d.levels[n - 1]);
        SetText(status_[n - 1], d.status[n - 1]);
        edit_[n - 1]->setEnabled(d.editLevels);
    }
    SetText(setpoint1_, d.setpoint1);
    SetText(setpoint2_, d.setpoint2);
}

// ---- Entry points ----

void OpenInstrumentInfo(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                        Prompter& prompter) {
    RunSideWindow<CInstrumentInfoDlg>(parent, session, bus, address, prompter);
}

void OpenLevels(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                Prompter& prompter) {
    RunSideWindow<CLevelsDlg>(parent, session, bus, address, prompter);
}

} // namespace quarnex
