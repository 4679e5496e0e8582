#include "app/setup/CCalibrationPage.h"

#include "app/panel/CValueEntryDlg.h"
#include "app/setup/CCalibrationPlot.h"
#include "edit/ValueEntry.h"
#include "setup/CalibrationPlot.h"
#include "setup/SetupTextIds.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace quarnex {

namespace {

constexpr int kLiveChars = 12;

QLineEdit* LiveField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAlignment(Qt::AlignRight);
    const QFontMetrics metrics(field->font());
    field->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('0')) * kLiveChars);
    return field;
}

} // namespace

CCalibrationPage::CCalibrationPage(ModbusMaster& bus, InstrumentSetup& setup, bool editMode,
                                   Prompter& prompter, QWidget* parent)
    : CKelSetUpPage(bus, setup, CalibrationPage(), editMode, prompter, nullptr, parent),
      live_(bus, setup, editMode, prompter) {
    auto* part = new QWidget(this);
    auto* grid = new QGridLayout(part);
    grid->setContentsMargins(0, 0, 0, 0);
    gross_ = LiveField(part);
    signal_ = LiveField(part);
    info_ = new QLabel(part);
    grid->addWidget(new QLabel(Ui(ids::kCurrentGrossLabel), part), 0, 0);
    grid->addWidget(gross_, 0, 1);
    grid->addWidget(new QLabel(Ui(ids::kInputSignalOpen), part), 1, 0);
    grid->addWidget(signal_, 1, 1);
    grid->addWidget(new QLabel(Ui(ids::kInputSignalClose), part), 1, 2);
    grid->addWidget(info_, 2, 0, 1, 3);
    plot_ = new CCalibrationPlot(part);
    grid->addWidget(plot_, 3, 0, 1, 3);
    grid->setRowStretch(3, 1);
    AddLivePart(part);
    Render();
}

int CCalibrationPage::Opened() {
    return live_.Activate();
}

int CCalibrationPage::Ticked() {
    return live_.Tick();
}

void CCalibrationPage::Render() {
    RenderRows(live_.Rows());
    SetText(gross_, live_.GrossText());
    SetText(signal_, live_.SignalText());
    SetText(info_, live_.InfoText());
    plot_->Show(CalibrationPlot(live_));
}

void CCalibrationPage::EditRow(size_t i) {
    const CalibrationEdit edit = live_.Edit(i);
    if (edit.editor == CalibrationEditor::None)
        return;
    // The measurement reads stay off the bus while a dialog is up: the shunt dialog measures on
    // its own, and a write that waits for the instrument to measure must not meet a poll.
    StopTimer();
    bool accepted = false;
    switch (edit.editor) {
    case CalibrationEditor::Choice:
        if (auto entry = live_.MakeChoiceEntry(i))
            accepted = CChoiceDlg::Run(*entry, window());
        break;
    case CalibrationEditor::Number:
        if (auto entry = live_.MakeNumericEntry(i))
            accepted = CNumberDlg::Run(*entry, window());
        break;
    case CalibrationEditor::Shunt:
        if (auto entry = live_.MakeShuntEntry(i))
            accepted = CShuntDlg::Run(*entry, window());
        break;
    case CalibrationEditor::None:
        break;
    }
    if (accepted)
        live_.AfterEdit();
    Render();
    RearmTimer(CalibrationLive::kEditPeriodMs);
}

} // namespace quarnex
