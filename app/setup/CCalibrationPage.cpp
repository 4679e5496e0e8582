#include "app/setup/CCalibrationPage.h"

#include "app/setup/CCalibrationPlot.h"
#include "res/SetupTextIds.h"
#include "setup/CalibrationPlot.h"
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

CCalibrationPage::CCalibrationPage(SetupSource& source, bool editMode, QWidget* parent)
    : CKelSetUpPage(source, std::make_unique<CalibrationLive>(source, editMode), parent) {
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

void CCalibrationPage::Render() {
    CKelSetUpPage::Render();
    SetText(gross_, Live().GrossText());
    SetText(signal_, Live().SignalText());
    SetText(info_, Live().InfoText());
    plot_->Show(CalibrationPlot(Live()));
}

} // namespace quarnex
