#include "app/CInstrumentSearchDlg.h"

#include "comm/ModbusMaster.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "res/MonitorTextIds.h"
#include "res/Strings.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarnex {

CInstrumentSearchDlg::CInstrumentSearchDlg(ModbusMaster& bus, QWidget* parent)
    : QDialog(parent), bus_(bus), search_(bus) {
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
    progress_ = new QProgressBar(this);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    progress_->hide();
    // Over a network link: how long a gateway that stays silent can make the search take.
    note_->setText(QString::fromStdString(search_.Notice()));
    note_->setVisible(!note_->text().isEmpty());
    layout->addWidget(progress_);
    layout->addWidget(note_);
    auto* buttons = new QHBoxLayout;
    findSettings_ = new QPushButton(Ui(ids::kFindSettings), this);
    findSettings_->hide();
    buttons->addWidget(findSettings_);
    buttons->addStretch();
    stop_ = new QPushButton(Ui(ids::kStop), this);
    cancel_ = new QPushButton(Ui(ids::kMonitorCancel), this);
    stop_->setDefault(true);
    buttons->addWidget(stop_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(stop_, &QPushButton::clicked, this, &CInstrumentSearchDlg::OnStop);
    connect(findSettings_, &QPushButton::clicked, this, &CInstrumentSearchDlg::OnFindSettings);
    connect(cancel_, &QPushButton::clicked, this, &CInstrumentSearchDlg::reject);

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CInstrumentSearchDlg::OnTimer);
    timer_.start(BusSearch::kPeriodMs);
    settingsTimer_.setSingleShot(true);
    connect(&settingsTimer_, &QTimer::timeout, this, &CInstrumentSearchDlg::OnSettingsTimer);
}

void CInstrumentSearchDlg::OfferSettingsSearch(Profile& profile, Prompter& prompter,
                                               const AddressFlags& watched) {
    profile_ = &profile;
    prompter_ = &prompter;
    watched_ = watched;
    findSettings_->show();
    // A network link's line settings live in its device server or gateway, not in this port.
    const bool serial = bus_.Settings().Kind() == LinkKind::Serial;
    findSettings_->setEnabled(serial);
    if (!serial)
        findSettings_->setToolTip(Ui(ids::kFindSettingsSerialOnly));
}

void CInstrumentSearchDlg::OnFindSettings() {
    if (finder_ || !profile_)
        return;
    timer_.stop(); // the address search waits: both would talk on the one bus
    finder_ =
        std::make_unique<SettingsSearch>(bus_, SettingsSearch::LikelyAddresses(watched_), false, 0);
    findSettings_->setEnabled(false);
    progress_->setRange(0, std::max(1, finder_->Total()));
    progress_->setValue(0);
    progress_->show();
    note_->show();
    note_->clear();
    settingsTimer_.start(0);
}

void CInstrumentSearchDlg::OnSettingsTimer() {
    settingsTimer_.stop();
    if (!finder_)
        return;
    const bool more = finder_->Step();
    progress_->setRange(0, std::max(1, finder_->Total()));
    progress_->setValue(std::min(finder_->Done(), progress_->maximum()));
    note_->setText(QString::fromStdString(finder_->ProgressText() + "\n" + finder_->LongestText()));
    if (more)
        settingsTimer_.start(0);
    else
        EndSettingsSearch(false);
}

void CInstrumentSearchDlg::EndSettingsSearch(bool stopped) {
    settingsTimer_.stop();
    finder_->Stop();
    // A port that could not be opened at some setting has been said by the master's prompter.
    const bool found = !finder_->Failed() && !finder_->Results().empty();
    note_->setText(QString::fromStdString(
        stopped && !found ? Text(ids::kFindSettingsStopped)
                          : finder_->Summary() + (finder_->OthersNotTried()
                                                      ? "\n" + finder_->OthersNotTriedText(false)
                                                      : std::string())));
    if (found && prompter_->AskYesNo(Prompter::Icon::Question, finder_->TakeQuestion())) {
        if (!finder_->Keep(*profile_))
            prompter_->Error(FormatText(Text(ids::kProfileNotWritten), {profile_->Path()}));
        search_.Restart(); // the addresses asked so far were asked at the old settings
        address_->clear();
        found_->setText(QStringLiteral("0"));
    }
    finder_.reset(); // not taken: the old settings are back
    findSettings_->setEnabled(true);
    // The address search goes on; the bar is the finder's, at 0 until it is asked again.
    progress_->setValue(0);
    if (!search_.Finished())
        timer_.start(BusSearch::kPeriodMs);
}

void CInstrumentSearchDlg::OnStop() {
    if (finder_)
        EndSettingsSearch(true);
    else
        accept();
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
    settingsTimer_.stop();
    finder_.reset(); // the old settings are put back
    QDialog::reject();
}

} // namespace quarnex
