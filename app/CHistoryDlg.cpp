#include "app/CHistoryDlg.h"

#include "app/CCompareDlg.h"
#include "files/Backup.h"
#include "res/FileTextIds.h"
#include "res/FleetTextIds.h"
#include "res/Strings.h"
#include "ui/UiText.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quarnex {

namespace {

QGroupBox* Boxed(QWidget* parent, int title, QWidget* inside) {
    auto* box = new QGroupBox(Ui(title), parent);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(inside);
    return box;
}

} // namespace

CHistoryDlg::CHistoryDlg(Prompter& prompter, FileChooser* chooser, QWidget* parent)
    : QDialog(parent), prompter_(prompter), qtChooser_(this),
      chooser_(chooser ? *chooser : qtChooser_) {
    setWindowTitle(Ui(ids::kHistoryCaption));
    auto* layout = new QVBoxLayout(this);
    folder_ = new QLineEdit(this);
    folder_->setReadOnly(true);
    layout->addWidget(Boxed(this, ids::kHistoryFolder, folder_));

    instruments_ = new QListWidget(this);
    versions_ = new QTreeWidget(this);
    versions_->setRootIsDecorated(false);
    versions_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    versions_->setHeaderLabels({Ui(ids::kHistoryColumnVersion), Ui(ids::kHistoryColumnDate),
                                Ui(ids::kHistoryColumnCommit), Ui(ids::kHistoryColumnChange)});
    versions_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    versions_->setMinimumSize(460, 280);
    auto* lists = new QHBoxLayout;
    lists->addWidget(Boxed(this, ids::kHistoryInstruments, instruments_), 1);
    lists->addWidget(Boxed(this, ids::kHistoryVersions, versions_), 2);
    layout->addLayout(lists, 1);

    compare_ = new QPushButton(Ui(ids::kHistoryCompare), this);
    save_ = new QPushButton(Ui(ids::kHistorySave), this);
    auto* close = new QPushButton(Ui(ids::kCloseButton), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {compare_, save_, close}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    connect(instruments_, &QListWidget::currentRowChanged, this, &CHistoryDlg::OnInstrument);
    connect(versions_, &QTreeWidget::itemSelectionChanged, this, &CHistoryDlg::UpdateButtons);
    // A double click on a version compares it with the one before it.
    connect(versions_, &QTreeWidget::itemActivated, this, [this] {
        if (compare_->isEnabled())
            OnCompare();
    });
    connect(compare_, &QPushButton::clicked, this, &CHistoryDlg::OnCompare);
    connect(save_, &QPushButton::clicked, this, &CHistoryDlg::OnSave);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    UpdateButtons();
}

bool CHistoryDlg::OpenFolder(const std::string& dir) {
    std::string error;
    instruments_->clear();
    versions_->clear();
    if (!browser_.Open(dir, error)) {
        prompter_.Error(FormatText(Text(ids::kHistoryNotOpened), {dir, error}));
        folder_->clear();
        UpdateButtons();
        return false;
    }
    folder_->setText(QString::fromStdString(dir));
    for (const std::string& key : browser_.InstrumentLabels())
        instruments_->addItem(QString::fromStdString(key));
    instruments_->setCurrentRow(0);
    instruments_->setFocus();
    return true;
}

void CHistoryDlg::OnInstrument(int row) {
    versions_->clear();
    std::string error;
    if (row >= 0 && !browser_.Choose(static_cast<size_t>(row), error))
        prompter_.Error(FormatText(Text(ids::kHistoryFailed), {error}));
    for (size_t i = 0; i < browser_.Versions().size(); ++i) {
        QStringList columns;
        for (const std::string& c : browser_.Columns(i))
            columns << QString::fromStdString(c);
        versions_->addTopLevelItem(new QTreeWidgetItem(columns));
    }
    if (versions_->topLevelItemCount() > 0)
        versions_->setCurrentItem(versions_->topLevelItem(0));
    UpdateButtons();
}

std::vector<size_t> CHistoryDlg::Chosen() const {
    std::vector<size_t> chosen;
    for (QTreeWidgetItem* item : versions_->selectedItems())
        chosen.push_back(static_cast<size_t>(versions_->indexOfTopLevelItem(item)));
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

void CHistoryDlg::UpdateButtons() {
    const std::vector<size_t> chosen = Chosen();
    compare_->setEnabled(browser_.CanCompare(chosen));
    save_->setEnabled(browser_.CanSave(chosen));
}

void CHistoryDlg::OnCompare() {
    SetupDiff diff;
    std::string left, right, error;
    if (!browser_.Compare(Chosen(), diff, left, right, error)) {
        if (!error.empty())
            prompter_.Error(FormatText(Text(ids::kHistoryFailed), {error}));
        return;
    }
    CCompareDlg dialog(diff, left, right, prompter_, &chooser_, this, false);
    dialog.exec();
}

void CHistoryDlg::OnSave() {
    const std::vector<size_t> chosen = Chosen();
    if (!browser_.CanSave(chosen))
        return;
    const HistoryVersion& version = browser_.Versions()[chosen[0]];
    std::string name = version.path;
    std::replace(name.begin(), name.end(), '/', '-');
    const FileChooser::Request request{Text(ids::kHistorySaveCaption), BackupFilters(itype::kKel7),
                                       "kel", name};
    const auto path = chooser_.AskSave(request);
    if (!path)
        return;
    std::string error;
    if (browser_.Save(chosen[0], *path, error))
        prompter_.Information(FormatText(Text(ids::kHistorySaved), {*path}));
    else
        prompter_.Error(FormatText(Text(ids::kHistoryFailed), {error}));
}

void OpenHistoryChosen(QWidget* parent, Prompter& prompter, FileChooser* chooser,
                       const FolderAsk& askFolder) {
    const std::optional<std::string> dir =
        askFolder ? askFolder(parent) : [parent]() -> std::optional<std::string> {
        const QString chosen = QFileDialog::getExistingDirectory(parent, Ui(ids::kHistoryFolder),
                                                                 {}, QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen.toStdString();
    }();
    if (!dir)
        return;
    CHistoryDlg dialog(prompter, chooser, parent);
    if (dialog.OpenFolder(*dir))
        dialog.exec();
}

} // namespace quarnex
