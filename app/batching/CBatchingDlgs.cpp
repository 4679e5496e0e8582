#include "app/batching/CBatchingDlgs.h"

#include "app/edit/RunEditor.h"
#include "app/panel/BusProgressWindow.h"
#include "edit/SetupSource.h"
#include "instrument/InstrumentSetup.h"
#include "res/AppTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"
#include "setup/SetupTextIds.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace quarnex {

namespace {

// Type, name, mode, the coarse/fine block, seven numbers, acknowledgement and the pulse rows.
constexpr int kActivitySlots = 22;
constexpr int kValueChars = 16;
constexpr int kUnitChars = 6;

// A widget that hides keeps its place, so the columns beside it do not move.
void KeepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

// The dialog keeps the size it has with every row shown: rows that hide later (the slots an
// activity type does not use) leave it as it opened instead of shrinking and growing it.
void KeepSizeWithEveryRow(QDialog* dialog) {
    dialog->setMinimumSize(dialog->sizeHint());
}

QPushButton* MakeEditButton(QWidget* parent) {
    auto* button = new QPushButton(Ui(ids::kEditButton), parent);
    // Return on a focused ">>" opens its editor (or the activity or recipe dialog).
    button->setAutoDefault(true);
    KeepPlaceWhenHidden(button);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral(">>")) + 16);
    return button;
}

QPushButton* MakeOkButton(QDialog* dialog) {
    auto* ok = new QPushButton(Ui(ids::kDialogOk), dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

} // namespace

// The one edit path of the batching windows: the request's editor and, after OK, the read of its
// block again (a failed read dashes the display until the next good one).
static void EditThrough(PageModel& model, const EditRequest& request, QWidget* parent) {
    model.EditEnded(request, RunEditor(request, model.Source(), parent));
}

// ----- "Batching activity no" -------------------------------------------------------------------

CActivityDlg::CActivityDlg(SetupSource& source, int activity, bool editMode, QWidget* parent)
    : CModelPolled({source, ShowModeRefresh::ForActivityDialog(activity), editMode}, parent),
      logic_(source.Setup(), activity, editMode) {
    setWindowTitle(QString::fromStdString(logic_.Caption()));
    auto* grid = new QGridLayout;
    for (int i = 0; i < kActivitySlots; ++i) {
        Slot slot{new QLabel(this), ReadOnlyField(this, kValueChars),
                  ReadOnlyField(this, kUnitChars), MakeEditButton(this)};
        grid->addWidget(slot.label, i, 0);
        grid->addWidget(slot.value, i, 1);
        grid->addWidget(slot.unit, i, 2);
        grid->addWidget(slot.edit, i, 3);
        connect(slot.edit, &QPushButton::clicked, this, [this, i] { OnEdit(i); });
        slots_.push_back(slot);
    }
    // The labels take the room the widest of them leaves: the values stay in one column whatever
    // rows an activity type shows.
    grid->setColumnStretch(0, 1);
    ok_ = MakeOkButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
    KeepSizeWithEveryRow(this);
}

void CActivityDlg::Run(SetupSource& source, int activity, bool editMode, QWidget* parent) {
    CActivityDlg dialog(source, activity, editMode, parent);
    dialog.Open();
    dialog.exec();
}

int CActivityDlg::SlotOf(int parameter) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].parameter == parameter)
            return static_cast<int>(i);
    return -1;
}

void CActivityDlg::Render() {
    rows_ = logic_.Rows(model_.Failed());
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot& slot = slots_[i];
        const bool shown = i < rows_.size();
        slot.label->setVisible(shown);
        slot.value->setVisible(shown);
        slot.unit->setVisible(shown);
        slot.edit->setVisible(shown && rows_[i].editButton);
        if (!shown)
            continue;
        SetText(slot.label, rows_[i].label);
        SetText(slot.value, rows_[i].value);
        SetText(slot.unit, rows_[i].unit);
    }
}

void CActivityDlg::OnEdit(int slot) {
    if (!model_.EditMode() || slot < 0 || static_cast<size_t>(slot) >= rows_.size())
        return;
    EditThrough(model_, logic_.EditRequestFor(rows_[static_cast<size_t>(slot)].parameter), this);
    Render(); // a changed type, mode or acknowledge type changes the rows at once
}

// ----- "Recipe no" ------------------------------------------------------------------------------

CRecipeDlg::CRecipeDlg(SetupSource& source, int recipe, bool editMode, QWidget* parent)
    : CModelPolled({source, ShowModeRefresh::ForRecipeDialog(recipe), editMode}, parent),
      logic_(source.Setup(), recipe, editMode) {
    setWindowTitle(QString::fromStdString(logic_.Caption()));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Ui(ids::kRecipeNameLabel), this), 0, 0);
    name_ = ReadOnlyField(this, kValueChars);
    grid->addWidget(name_, 0, 1);
    nameEdit_ = MakeEditButton(this);
    grid->addWidget(nameEdit_, 0, 2);
    connect(nameEdit_, &QPushButton::clicked, this, &CRecipeDlg::OnEditName);
    for (int i = 0; i < RecipeDialog::kLinesPerHalf; ++i) {
        Line line{new QLabel(this),
                  ReadOnlyField(this, kValueChars),
                  MakeEditButton(this),
                  new QLabel(Ui(ids::kSetpointLabel), this),
                  ReadOnlyField(this, 10, true),
                  ReadOnlyField(this, kUnitChars),
                  MakeEditButton(this)};
        const int row = i + 1;
        grid->addWidget(line.label, row, 0);
        grid->addWidget(line.activity, row, 1);
        grid->addWidget(line.activityEdit, row, 2);
        grid->addWidget(line.setpointLabel, row, 3);
        grid->addWidget(line.setpoint, row, 4);
        grid->addWidget(line.unit, row, 5);
        grid->addWidget(line.setpointEdit, row, 6);
        // A line without an activity hides its set-point: the line keeps its place.
        for (QWidget* w : {static_cast<QWidget*>(line.setpointLabel),
                           static_cast<QWidget*>(line.setpoint), static_cast<QWidget*>(line.unit)})
            KeepPlaceWhenHidden(w);
        connect(line.activityEdit, &QPushButton::clicked, this, [this, i] { OnEditActivity(i); });
        connect(line.setpointEdit, &QPushButton::clicked, this, [this, i] { OnEditSetpoint(i); });
        lines_.push_back(line);
    }
    second_ = new QPushButton(Ui(ids::kLines16To30), this);
    first_ = new QPushButton(Ui(ids::kLines1To15), this);
    for (QPushButton* b : {second_, first_})
        b->setAutoDefault(false);
    connect(second_, &QPushButton::clicked, this, [this] {
        logic_.ShowLines16To30();
        Render();
    });
    connect(first_, &QPushButton::clicked, this, [this] {
        logic_.ShowLines1To15();
        Render();
    });
    ok_ = MakeOkButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(second_);
    buttons->addWidget(first_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    KeepSizeWithEveryRow(this);
}

void CRecipeDlg::Run(SetupSource& source, int recipe, bool editMode, QWidget* parent) {
    CRecipeDlg dialog(source, recipe, editMode, parent);
    dialog.Open();
    dialog.exec();
}

void CRecipeDlg::Open() {
    if (!model_.EditMode()) {
        Start();
        return;
    }
    {
        // On a slow line the recipe's requests are counted in a progress window.
        std::optional<BusProgressWindow> progress;
        if (ModbusMaster* bus = model_.Source().Bus())
            progress.emplace(*bus, parentWidget(), Text(ids::kReadingTheSetup));
        model_.Read({SetupBlock::Recipe, logic_.Recipe()});
    }
    Render();
}

void CRecipeDlg::Render() {
    const RecipeDialogDisplay d = logic_.Display(model_.Failed());
    SetText(name_, d.name);
    nameEdit_->setVisible(d.nameButton);
    for (size_t i = 0; i < lines_.size() && i < d.lines.size(); ++i) {
        const Line& line = lines_[i];
        const RecipeLineDisplay& shown = d.lines[i];
        SetText(line.label, shown.label);
        SetText(line.activity, shown.activity);
        line.activityEdit->setVisible(shown.editButtons);
        for (QWidget* w : {static_cast<QWidget*>(line.setpointLabel),
                           static_cast<QWidget*>(line.setpoint), static_cast<QWidget*>(line.unit)})
            w->setVisible(shown.setpoint.shown);
        line.setpointEdit->setVisible(shown.setpoint.shown && shown.editButtons);
        SetText(line.setpoint, shown.setpoint.value);
        SetText(line.unit, shown.setpoint.unit);
    }
    second_->setEnabled(d.lines16To30Enabled);
    first_->setEnabled(d.lines1To15Enabled);
}

void CRecipeDlg::Edit(const EditRequest& request) {
    if (!model_.EditMode())
        return;
    EditThrough(model_, request, this);
    Render();
}

void CRecipeDlg::OnEditName() {
    Edit(logic_.NameEditRequest());
}

void CRecipeDlg::OnEditActivity(int row) {
    Edit(logic_.ActivityEditRequest(logic_.Offset() + row + 1));
}

void CRecipeDlg::OnEditSetpoint(int row) {
    Edit(logic_.SetpointEditRequest(logic_.Offset() + row + 1));
}

// ----- Activities1 and Activities2 ----------------------------------------------------------

CActivitiesPage::CActivitiesPage(SetupSource& source, int page, bool editMode, QWidget* parent)
    : CModelPolled({source, ShowModeRefresh::ForActivitiesPage(page), editMode}, parent),
      page_(page), first_(ActivitiesPageFirst(page)) {
    auto* layout = new QVBoxLayout(this);
    const ActivitiesPageDisplay initial = ActivitiesDisplay(page, source.Setup(), editMode, false);
    if (!initial.general.empty()) {
        auto* grid = new QGridLayout;
        for (size_t i = 0; i < initial.general.size(); ++i) {
            General row{new QLabel(QString::fromStdString(initial.general[i].label), this),
                        ReadOnlyField(this, kValueChars), MakeEditButton(this)};
            const int n = static_cast<int>(i);
            grid->addWidget(row.label, n, 0);
            grid->addWidget(row.value, n, 1);
            grid->addWidget(row.edit, n, 2);
            connect(row.edit, &QPushButton::clicked, this, [this, n] { OnEditGeneral(n); });
            general_.push_back(row);
        }
        layout->addLayout(grid);
    }
    auto* groups = new QGridLayout;
    constexpr int kColumns = 3;
    for (size_t i = 0; i < initial.activities.size(); ++i) {
        const int k = initial.activities[i].activity;
        auto* box = new QGroupBox(QString::fromStdString(initial.activities[i].heading), this);
        auto* row = new QHBoxLayout(box);
        Group group{ReadOnlyField(box, 12), ReadOnlyField(box, 12), MakeEditButton(box)};
        row->addWidget(group.type);
        row->addWidget(group.name);
        row->addWidget(group.edit);
        connect(group.edit, &QPushButton::clicked, this, [this, k] { OnActivity(k); });
        groups_.push_back(group);
        const int n = static_cast<int>(i);
        groups->addWidget(box, n / kColumns, n % kColumns);
    }
    layout->addLayout(groups);
    layout->addStretch();
}

void CActivitiesPage::Render() {
    const ActivitiesPageDisplay d =
        ActivitiesDisplay(page_, model_.Source().Setup(), model_.EditMode(), model_.Failed());
    for (size_t i = 0; i < general_.size() && i < d.general.size(); ++i) {
        SetText(general_[i].value, d.general[i].value);
        general_[i].edit->setVisible(d.general[i].editButton);
    }
    for (size_t i = 0; i < groups_.size() && i < d.activities.size(); ++i) {
        SetText(groups_[i].type, d.activities[i].type);
        SetText(groups_[i].name, d.activities[i].name);
    }
}

void CActivitiesPage::OnEditGeneral(int i) {
    if (!model_.EditMode())
        return;
    EditThrough(model_, GeneralValueEditRequest(i, model_.Source().Setup()), this);
    Render();
}

void CActivitiesPage::OnActivity(int k) {
    if (model_.EditMode()) {
        CActivityDlg::Run(model_.Source(), k, true, this);
        Render();
        return;
    }
    // The page's reads stop while the dialog polls on its own.
    WithTimerStopped([&] {
        CActivityDlg::Run(model_.Source(), k, false, this);
        Render();
        return model_.PeriodMs();
    });
}

// ----- Recipes --------------------------------------------------------------------------------

CRecipesPage::CRecipesPage(SetupSource& source, bool editMode, QWidget* parent)
    : CModelPolled({source, ShowModeRefresh::ForRecipesPage(), editMode}, parent) {
    auto* grid = new QGridLayout(this);
    const std::vector<RecipeRowDisplay> initial = RecipesDisplay(source.Setup(), false);
    constexpr int kPerColumn = 15;
    for (size_t i = 0; i < initial.size(); ++i) {
        Row row{new QLabel(QString::fromStdString(initial[i].label), this), ReadOnlyField(this, 12),
                MakeEditButton(this)};
        const int r = static_cast<int>(i) + 1;
        const int line = static_cast<int>(i) % kPerColumn;
        const int column = 3 * (static_cast<int>(i) / kPerColumn);
        grid->addWidget(row.label, line, column);
        grid->addWidget(row.name, line, column + 1);
        grid->addWidget(row.edit, line, column + 2);
        connect(row.edit, &QPushButton::clicked, this, [this, r] { OnRecipe(r); });
        rows_.push_back(row);
    }
}

void CRecipesPage::Render() {
    const std::vector<RecipeRowDisplay> d =
        RecipesDisplay(model_.Source().Setup(), model_.Failed());
    for (size_t i = 0; i < rows_.size() && i < d.size(); ++i)
        SetText(rows_[i].name, d[i].name);
}

void CRecipesPage::OnRecipe(int r) {
    if (model_.EditMode()) {
        CRecipeDlg::Run(model_.Source(), r, true, this);
        Render();
        return;
    }
    WithTimerStopped([&] {
        CRecipeDlg::Run(model_.Source(), r, false, this);
        Render();
        return model_.PeriodMs();
    });
}

} // namespace quarnex
