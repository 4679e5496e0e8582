#include "app/batching/CBatchingDlgs.h"

#include "app/panel/BusProgressWindow.h"
#include "app/panel/CValueEntryDlg.h"
#include "comm/ModbusMaster.h"
#include "edit/ValueEntry.h"
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
    button->setAutoDefault(false);
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

template <class Entry> void Select(Entry& entry, const BatchEditRequest& request) {
    if (request.selectorRegister != 0)
        entry.SetSelector(request.selectorRegister, request.selectorValue);
}

} // namespace

bool RunBatchEdit(const BatchEditRequest& request, ModbusMaster& bus, InstrumentSetup& setup,
                  Prompter& prompter, QWidget* parent, bool& failed) {
    const int address = setup.Address();
    bool written = false;
    switch (request.editor) {
    case BatchEditor::Choice: {
        ChoiceEntry entry(bus, address, request.reg, request.caption, request.firstChoice,
                          request.finalChoice, request.currentIndex, prompter);
        Select(entry, request);
        written = CChoiceDlg::Run(entry, parent);
        break;
    }
    case BatchEditor::ActivityChoice: {
        ActivityChoiceEntry entry(bus, address, request.reg, request.caption,
                                  ActivityChoiceEntry::ActivitiesOf(setup), request.currentIndex,
                                  prompter);
        Select(entry, request);
        written = CChoiceDlg::Run(entry, parent);
        break;
    }
    case BatchEditor::Number: {
        NumericEntry entry(bus, address, request.reg, request.caption, request.currentText,
                           prompter);
        Select(entry, request);
        written = CNumberDlg::Run(entry, parent);
        break;
    }
    case BatchEditor::Text: {
        TextEntry entry(bus, address, request.reg, request.textCount, request.caption,
                        request.currentText, prompter);
        written = CTextDlg::Run(entry, parent);
        break;
    }
    }
    if (written) {
        WaitCursor wait(prompter);
        failed = !RereadAfterEdit(request, bus, setup, prompter);
    }
    return written;
}

// ----- "Batching activity no" -------------------------------------------------------------------

CActivityDlg::CActivityDlg(ModbusMaster& bus, InstrumentSetup& setup, int activity, bool editMode,
                           Prompter& prompter, QWidget* parent)
    : PollingDialog(parent), bus_(bus), setup_(setup), prompter_(prompter), editMode_(editMode),
      logic_(setup, activity, editMode), refresh_(BatchShowRefresh::ForActivityDialog(activity)) {
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

void CActivityDlg::Run(ModbusMaster& bus, InstrumentSetup& setup, int activity, bool editMode,
                       Prompter& prompter, QWidget* parent) {
    CActivityDlg dialog(bus, setup, activity, editMode, prompter, parent);
    dialog.Open();
    dialog.exec();
}

void CActivityDlg::Open() {
    if (editMode_)
        Render();
    else
        Start();
}

int CActivityDlg::PollOpen() {
    failed_ = BatchShowRefresh::Activate(bus_, setup_).failed;
    return refresh_.PeriodMs();
}

int CActivityDlg::PollTick() {
    const BatchShowRefresh::Step step = refresh_.Tick(bus_, setup_);
    if (step.update)
        failed_ = step.failed;
    return refresh_.PeriodMs();
}

int CActivityDlg::SlotOf(int parameter) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].parameter == parameter)
            return static_cast<int>(i);
    return -1;
}

void CActivityDlg::Render() {
    rows_ = logic_.Rows(failed_);
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
    if (!editMode_ || slot < 0 || static_cast<size_t>(slot) >= rows_.size())
        return;
    const BatchEditRequest request = logic_.EditRequest(rows_[static_cast<size_t>(slot)].parameter);
    bool failed = false;
    if (RunBatchEdit(request, bus_, setup_, prompter_, this, failed)) {
        failed_ = failed;
        Render(); // a changed type, mode or acknowledge type changes the rows at once
    }
}

// ----- "Recipe no" ------------------------------------------------------------------------------

CRecipeDlg::CRecipeDlg(ModbusMaster& bus, InstrumentSetup& setup, int recipe, bool editMode,
                       Prompter& prompter, QWidget* parent)
    : PollingDialog(parent), bus_(bus), setup_(setup), prompter_(prompter), editMode_(editMode),
      logic_(setup, recipe, editMode), refresh_(BatchShowRefresh::ForRecipeDialog(recipe)) {
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

void CRecipeDlg::Run(ModbusMaster& bus, InstrumentSetup& setup, int recipe, bool editMode,
                     Prompter& prompter, QWidget* parent) {
    CRecipeDlg dialog(bus, setup, recipe, editMode, prompter, parent);
    dialog.Open();
    dialog.exec();
}

void CRecipeDlg::Open() {
    if (!editMode_) {
        Start();
        return;
    }
    {
        WaitCursor wait(prompter_);
        BusProgressWindow progress(bus_, parentWidget(), Text(ids::kReadingTheSetup));
        failed_ = !setup_.ReadRecipes(bus_, logic_.Recipe(), false, true, &prompter_);
    }
    Render();
}

int CRecipeDlg::PollOpen() {
    failed_ = BatchShowRefresh::Activate(bus_, setup_).failed;
    return refresh_.PeriodMs();
}

int CRecipeDlg::PollTick() {
    const BatchShowRefresh::Step step = refresh_.Tick(bus_, setup_);
    if (step.update)
        failed_ = step.failed;
    return refresh_.PeriodMs();
}

void CRecipeDlg::Render() {
    const RecipeDialogDisplay d = logic_.Display(failed_);
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

void CRecipeDlg::Edit(const BatchEditRequest& request) {
    if (!editMode_)
        return;
    bool failed = false;
    if (RunBatchEdit(request, bus_, setup_, prompter_, this, failed)) {
        failed_ = failed;
        Render();
    }
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

CActivitiesPage::CActivitiesPage(ModbusMaster& bus, InstrumentSetup& setup, int page, bool editMode,
                                 Prompter& prompter, QWidget* parent)
    : QWidget(parent), bus_(bus), setup_(setup), prompter_(prompter), page_(page),
      first_(ActivitiesPageFirst(page)), editMode_(editMode),
      refresh_(BatchShowRefresh::ForActivitiesPage(page)) {
    auto* layout = new QVBoxLayout(this);
    const ActivitiesPageDisplay initial = ActivitiesDisplay(page, setup, editMode, false);
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

void CActivitiesPage::Activate() {
    if (editMode_)
        Render();
    else
        Start();
}

int CActivitiesPage::PollOpen() {
    failed_ = BatchShowRefresh::Activate(bus_, setup_).failed;
    return refresh_.PeriodMs();
}

int CActivitiesPage::PollTick() {
    const BatchShowRefresh::Step step = refresh_.Tick(bus_, setup_);
    if (step.update)
        failed_ = step.failed;
    return refresh_.PeriodMs();
}

void CActivitiesPage::Render() {
    const ActivitiesPageDisplay d = ActivitiesDisplay(page_, setup_, editMode_, failed_);
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
    if (!editMode_)
        return;
    bool failed = false;
    if (RunBatchEdit(GeneralValueEditRequest(i, setup_), bus_, setup_, prompter_, this, failed)) {
        failed_ = failed;
        Render();
    }
}

void CActivitiesPage::OnActivity(int k) {
    if (editMode_) {
        CActivityDlg::Run(bus_, setup_, k, true, prompter_, this);
        Render();
        return;
    }
    // The page's reads stop while the dialog polls on its own.
    WithTimerStopped([&] {
        CActivityDlg::Run(bus_, setup_, k, false, prompter_, this);
        Render();
        return refresh_.PeriodMs();
    });
}

// ----- Recipes --------------------------------------------------------------------------------

CRecipesPage::CRecipesPage(ModbusMaster& bus, InstrumentSetup& setup, bool editMode,
                           Prompter& prompter, QWidget* parent)
    : QWidget(parent), bus_(bus), setup_(setup), prompter_(prompter), editMode_(editMode),
      refresh_(BatchShowRefresh::ForRecipesPage()) {
    auto* grid = new QGridLayout(this);
    const std::vector<RecipeRowDisplay> initial = RecipesDisplay(setup, false);
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

void CRecipesPage::Activate() {
    if (editMode_)
        Render();
    else
        Start();
}

int CRecipesPage::PollOpen() {
    failed_ = BatchShowRefresh::Activate(bus_, setup_).failed;
    return refresh_.PeriodMs();
}

int CRecipesPage::PollTick() {
    const BatchShowRefresh::Step step = refresh_.Tick(bus_, setup_);
    if (step.update)
        failed_ = step.failed;
    return refresh_.PeriodMs();
}

void CRecipesPage::Render() {
    const std::vector<RecipeRowDisplay> d = RecipesDisplay(setup_, failed_);
    for (size_t i = 0; i < rows_.size() && i < d.size(); ++i)
        SetText(rows_[i].name, d[i].name);
}

void CRecipesPage::OnRecipe(int r) {
    if (editMode_) {
        CRecipeDlg::Run(bus_, setup_, r, true, prompter_, this);
        Render();
        return;
    }
    WithTimerStopped([&] {
        CRecipeDlg::Run(bus_, setup_, r, false, prompter_, this);
        Render();
        return refresh_.PeriodMs();
    });
}

} // namespace quarnex
