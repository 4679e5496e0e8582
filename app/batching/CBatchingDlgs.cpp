#include "app/batching/CBatchingDlgs.h"

#include "app/panel/CValueEntryDlg.h"
#include "comm/ModbusMaster.h"
#include "edit/ValueEntry.h"
#include "instrument/InstrumentSetup.h"
#include "res/PanelTextIds.h"
#include "setup/SetupTextIds.h"
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

// Type, name, mode, the coarse/fine block, seven numbers, acknowledgement and the pulse rows.
constexpr int kActivitySlots = 22;
constexpr int kValueChars = 16;
constexpr int kUnitChars = 6;

QPushButton* MakeEditButton(QWidget* parent) {
    auto* button = new QPushButton(Ui(ids::kEditButton), parent);
    button->setAutoDefault(false);
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
    ok_ = MakeOkButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
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

} // namespace quarnex
