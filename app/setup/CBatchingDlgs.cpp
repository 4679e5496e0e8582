#include "app/setup/CBatchingDlgs.h"

#include "app/panel/BusProgressWindow.h"
#include "edit/SetupSource.h"
#include "res/AppTextIds.h"
#include "res/PanelTextIds.h"
#include "res/SetupTextIds.h"
#include "res/Strings.h"
#include "setup/BatchingPages.h"
#include "ui/UiText.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace quarnex {

void OpenRowDialog(const PageRow& row, SetupSource& source, bool editMode, QWidget* parent) {
    if (row.kind == RowKind::Activity)
        CActivityDlg::Run(source, row.item, editMode, parent);
    else if (row.kind == RowKind::Recipe)
        CRecipeDlg::Run(source, row.item, editMode, parent);
}

// ----- The dialog of a page ---------------------------------------------------------------------

CSetupPageDlg::CSetupPageDlg(SetupSource& source, PageDescriptor page, bool editMode,
                             const std::string& caption, QWidget* parent)
    : CPageHost(source, std::make_unique<KelSetUpPage>(source, std::move(page), editMode), true,
                parent) {
    setWindowTitle(QString::fromStdString(caption));
    ok_ = new QPushButton(Ui(ids::kDialogOk), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    buttons_ = new QHBoxLayout;
    buttons_->addStretch();
    buttons_->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rows_);
    layout->addStretch();
    layout->addLayout(buttons_);
}

void CSetupPageDlg::AddButton(QPushButton* button) {
    button->setAutoDefault(false);
    buttons_->insertWidget(buttons_->count() - 2, button);
}

void CSetupPageDlg::Open() {
    // On a slow line the recipe's requests are counted in a progress window.
    std::optional<BusProgressWindow> progress;
    if (logic_->OpensWithRead())
        if (ModbusMaster* bus = source_.Bus())
            progress.emplace(*bus, parentWidget(), Text(ids::kReadingTheSetup));
    Start();
}

// ----- "Batching activity no" -------------------------------------------------------------------

CActivityDlg::CActivityDlg(SetupSource& source, int activity, bool editMode, QWidget* parent)
    : CSetupPageDlg(source, ActivityDialogPage(activity), editMode, ActivityDialogCaption(activity),
                    parent) {}

void CActivityDlg::Run(SetupSource& source, int activity, bool editMode, QWidget* parent) {
    CActivityDlg dialog(source, activity, editMode, parent);
    dialog.Open();
    dialog.exec();
}

// ----- "Recipe no" ------------------------------------------------------------------------------

CRecipeDlg::CRecipeDlg(SetupSource& source, int recipe, bool editMode, QWidget* parent)
    : CSetupPageDlg(source, RecipeDialogPage(recipe, 1), editMode, RecipeDialogCaption(recipe),
                    parent),
      recipe_(recipe) {
    second_ = new QPushButton(Ui(ids::kLines16To30), this);
    first_ = new QPushButton(Ui(ids::kLines1To15), this);
    AddButton(second_);
    AddButton(first_);
    connect(second_, &QPushButton::clicked, this, [this] { ShowLinesFrom(kRecipeLinesShown + 1); });
    connect(first_, &QPushButton::clicked, this, [this] { ShowLinesFrom(1); });
    Render();
}

void CRecipeDlg::Run(SetupSource& source, int recipe, bool editMode, QWidget* parent) {
    CRecipeDlg dialog(source, recipe, editMode, parent);
    dialog.Open();
    dialog.exec();
}

void CRecipeDlg::ShowLinesFrom(int line) {
    firstLine_ = line;
    logic_->ShowRows(RecipeDialogPage(recipe_, line));
    Render();
}

void CRecipeDlg::Render() {
    CSetupPageDlg::Render();
    second_->setEnabled(firstLine_ == 1);
    first_->setEnabled(firstLine_ != 1);
}

} // namespace quarnex
