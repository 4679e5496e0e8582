#include "app/panel/CInstrumentPanelDlg.h"

#include "app/edit/CValueEntryDlg.h"
#include "app/panel/CBitmapButton.h"
#include "app/panel/CSideWindowDlgs.h"
#include "app/panel/CWeightTrendWnd.h"
#include "res/OfflineTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quarnex {

CInstrumentPanelDlg::CInstrumentPanelDlg(BusSession& session, ModbusMaster& bus, int address,
                                         Prompter& prompter, const PanelHooks& hooks,
                                         QWidget* parent)
    : PollingDialog(parent), session_(session), bus_(bus), prompter_(prompter), hooks_(hooks),
      logic_(bus, address, prompter) {
    logic_.UseSession(session_);
    InstrumentPanel::Features features;
    features.setupSheet = static_cast<bool>(hooks_.setupSheet);
    features.backup = static_cast<bool>(hooks_.backup);
    features.restore = static_cast<bool>(hooks_.restore);
    features.compare = static_cast<bool>(hooks_.compare);
    features.batchingSheet = static_cast<bool>(hooks_.batchingSheet);
    logic_.SetFeatures(features);
    sideOpener_ = [this](QWidget* parentWindow, int at, bool levels) {
        if (levels)
            OpenLevels(parentWindow, session_, bus_, at, prompter_);
        else
            OpenInstrumentInfo(parentWindow, session_, bus_, at, prompter_);
    };

    setWindowTitle(QString::fromStdString(logic_.GetDisplay().caption));

    // Fields.
    name_ = ReadOnlyField(this, 12);
    displayed_ = ReadOnlyField(this, 10);
    QFont big = displayed_->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    displayed_->setFont(big);
    displayed_->setAlignment(Qt::AlignRight);
    displayed_->setMinimumWidth(QFontMetrics(big).horizontalAdvance(QLatin1Char('0')) * 11);
    grossNet_ = new QLabel(this);
    motionZero_ = new QLabel(this);
    // The indications are empty until the first tick and whenever the weights are not valid:
    // their column keeps the room of the widest one so the window does not change its width.
    int indicationWidth = 0;
    for (int id : {ids::kGross, ids::kNet, ids::kZeroIndication, ids::kMotion}) {
        grossNet_->setText(Ui(id));
        indicationWidth = std::max(indicationWidth, grossNet_->sizeHint().width());
    }
    grossNet_->clear();
    grossNet_->setMinimumWidth(indicationWidth);
    motionZero_->setMinimumWidth(indicationWidth);
    gross_ = ReadOnlyField(this, 10);
    net_ = ReadOnlyField(this, 10);
    gross_->setAlignment(Qt::AlignRight);
    net_->setAlignment(Qt::AlignRight);
    state_ = ReadOnlyField(this, 24);
    status_ = ReadOnlyField(this, 36);
    message_ = ReadOnlyField(this, 26);

    auto* fields = new QGridLayout;
    int row = 0;
    auto addRow = [&](int labelId, QWidget* field, QWidget* beside = nullptr) {
        fields->addWidget(new QLabel(Ui(labelId), this), row, 0);
        fields->addWidget(field, row, 1);
        if (beside)
            fields->addWidget(beside, row, 2);
        ++row;
    };
    addRow(ids::kPanelNameLabel, name_);
    auto* indications = new QVBoxLayout;
    indications->addWidget(grossNet_);
    indications->addWidget(motionZero_);
    fields->addWidget(new QLabel(Ui(ids::kPanelDisplayedLabel), this), row, 0);
    fields->addWidget(displayed_, row, 1);
    fields->addLayout(indications, row, 2);
    ++row;
    addRow(ids::kPanelGrossLabel, gross_);
    addRow(ids::kPanelNetLabel, net_);
    addRow(ids::kPanelStateLabel, state_);
    addRow(ids::kPanelStatusLabel, status_);
    addRow(ids::kPanelMessageLabel, message_);

    // The weighing keys.
    auto key = [this](int captionId) {
        auto* button = new CBitmapButton(this);
        button->LoadPictures(Ui(captionId));
        button->setToolTip(Ui(captionId));
        return button;
    };
    tare_ = key(ids::kTareButton);
    grossNetButton_ = key(ids::kGrossNetButton);
    zero_ = key(ids::kZeroButton);
    auto* keys = new QHBoxLayout;
    keys->addWidget(tare_);
    keys->addWidget(grossNetButton_);
    keys->addWidget(zero_);
    keys->addStretch();

    // The other buttons.
    auto button = [this](int captionId) {
        auto* b = new QPushButton(Ui(captionId), this);
        b->setAutoDefault(false);
        return b;
    };
    editSetup_ = button(ids::kEditSetupButton);
    showSetup_ = button(ids::kShowSetupButton);
    editBatching_ = button(ids::kEditBatchingButton);
    editRecipes_ = button(ids::kEditRecipesButton);
    levels_ = button(ids::kLevelsButton);
    info_ = button(ids::kInfoButton);
    start_ = button(ids::kStartButton);
    backup_ = button(ids::kBackupButton);
    restore_ = button(ids::kRestoreButton);
    compare_ = button(ids::kCompareButton);
    check_ = new QPushButton("Check with test weights…", this);
    check_->setAutoDefault(false);
    close_ = button(ids::kCloseButton);
    help_ = button(ids::kHelpButton);
    help_->hide();
    const QString notAvailable = Ui(ids::kNotAvailable);
    for (auto [b, available] :
         {std::pair{editSetup_, features.setupSheet}, std::pair{showSetup_, features.setupSheet},
          std::pair{editBatching_, features.batchingSheet},
          std::pair{editRecipes_, features.batchingSheet}, std::pair{backup_, features.backup},
          std::pair{restore_, features.restore}, std::pair{compare_, features.compare}})
        if (!available)
            b->setToolTip(notAvailable);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {editSetup_, showSetup_, editBatching_, editRecipes_, levels_, info_,
                           start_, backup_, restore_, compare_, check_})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(help_);
    buttons->addWidget(close_);

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addSpacing(8);
    left->addLayout(keys);
    left->addStretch();
    trendPart_ = new CPanelTrendPart(InstrumentPanel::kActivePeriodMs, prompter_, this);
    trendPart_->SetUnitReader(
        [this](std::function<void(const std::string&)> unit) { logic_.ReadWeightUnit(unit); });
    left->addWidget(trendPart_, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    // The commands still go on the window thread: each waits for a tick that is on the bus.
    connect(tare_, &QAbstractButton::clicked, this, [this] { Held([this] { logic_.Tare(); }); });
    connect(grossNetButton_, &QAbstractButton::clicked, this,
            [this] { Held([this] { logic_.GrossNet(); }); });
    connect(zero_, &QAbstractButton::clicked, this, [this] { Held([this] { logic_.Zero(); }); });
    connect(start_, &QPushButton::clicked, this,
            [this] { Held([this] { logic_.StartInstrument(); }); });
    connect(editSetup_, &QPushButton::clicked, this,
            [this] { RunSheet(InstrumentPanel::SheetMode::EditSetup); });
    connect(showSetup_, &QPushButton::clicked, this,
            [this] { RunSheet(InstrumentPanel::SheetMode::ShowSetup); });
    connect(editBatching_, &QPushButton::clicked, this,
            [this] { RunSheet(InstrumentPanel::SheetMode::EditBatching); });
    connect(editRecipes_, &QPushButton::clicked, this,
            [this] { RunSheet(InstrumentPanel::SheetMode::EditRecipes); });
    connect(backup_, &QPushButton::clicked, this, [this] { RunBackupOrRestore(hooks_.backup); });
    connect(restore_, &QPushButton::clicked, this, [this] { RunBackupOrRestore(hooks_.restore); });
    connect(compare_, &QPushButton::clicked, this, [this] { RunBackupOrRestore(hooks_.compare); });
    connect(check_, &QPushButton::clicked, this, [this] { RunBackupOrRestore(hooks_.check); });
    // The side windows poll on their own; the panel keeps polling meanwhile and the ticks take
    // turns on the session.
    connect(levels_, &QPushButton::clicked, this,
            [this] { sideOpener_(this, logic_.Address(), true); });
    connect(info_, &QPushButton::clicked, this,
            [this] { sideOpener_(this, logic_.Address(), false); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    Render();
}

int CInstrumentPanelDlg::PollOpen() {
    return Held([this] { return logic_.Open(); });
}

void CInstrumentPanelDlg::Render() {
    const InstrumentPanel::Display& d = logic_.GetDisplay();
    setWindowTitle(QString::fromStdString(d.caption));
    SetText(name_, d.name);
    SetText(displayed_, d.displayedWeight);
    SetText(grossNet_, d.grossNet);
    SetText(motionZero_, d.motionZero);
    SetText(gross_, d.grossWeight);
    SetText(net_, d.netWeight);
    SetText(state_, d.state);
    SetText(status_, d.status);
    SetText(message_, d.message);
    if (trendPart_)
        trendPart_->AddSample(logic_.LastSample(), logic_.SampleCount());

    tare_->setEnabled(d.tare);
    grossNetButton_->setEnabled(d.grossNetButton);
    zero_->setEnabled(d.zero);
    editSetup_->setEnabled(d.editSetup);
    showSetup_->setEnabled(d.showSetup);
    editBatching_->setEnabled(d.editBatching);
    editRecipes_->setEnabled(d.editRecipes);
    levels_->setEnabled(d.levels);
    info_->setEnabled(d.info);
    start_->setEnabled(d.start);
    backup_->setEnabled(d.backup);
    restore_->setEnabled(d.restore);
    compare_->setEnabled(d.compare);
    // The check needs a valid weight, as the weighing keys do.
    check_->setEnabled(hooks_.check && d.tare);

    // An instrument that has just gone inactive takes the focus to "Close"; while it stays
    // inactive the user may still move it to an enabled key.
    QWidget* focus = focusWidget();
    if (d.focusClose && (wasActive_ || (focus && !focus->isEnabled())))
        close_->setFocus();
    wasActive_ = d.active;
}

void CInstrumentPanelDlg::RunSheet(InstrumentPanel::SheetMode mode) {
    const bool batching = mode == InstrumentPanel::SheetMode::EditBatching ||
                          mode == InstrumentPanel::SheetMode::EditRecipes;
    const PanelHooks::SheetOpener& open = batching ? hooks_.batchingSheet : hooks_.setupSheet;
    if (!open)
        return;
    // Polling stops before the question and the state read: the question's box runs an event
    // loop of its own, and a tick inside it would poll between the user's answer and the state
    // the sheet is opened on.
    WithTimerStopped([&] {
        const auto hold = session_.HoldBus();
        if (!logic_.MayOpenSetupSheet(mode))
            return InstrumentPanel::kActivePeriodMs;
        open(this, logic_.Address(), mode);
        return InstrumentPanel::RestartPeriodAfterSheet(mode);
    });
}

void CInstrumentPanelDlg::RunBackupOrRestore(const std::function<void(QWidget*, int)>& open) {
    if (!open)
        return;
    WithTimerStopped([&] {
        const auto hold = session_.HoldBus();
        if (logic_.MayOpenBackupOrRestore())
            open(this, logic_.Address());
        return InstrumentPanel::kActivePeriodMs;
    });
}

// ---- Entry points ----

void OpenInstrumentPanel(QWidget* parent, BusSession& session, ModbusMaster& bus, int address,
                         Prompter& prompter, const PanelHooks& hooks) {
    CInstrumentPanelDlg panel(session, bus, address, prompter, hooks, parent);
    panel.Start();
    panel.exec();
}

bool SelectInstrument(QWidget* parent, ModbusMaster& bus, Prompter& prompter, int& address,
                      InstrumentType& type) {
    AddressEntry entry(bus, prompter);
    if (!CSelectInstrumentDlg::Run(entry, parent))
        return false;
    address = entry.Address();
    type = entry.Type();
    return true;
}

} // namespace quarnex
