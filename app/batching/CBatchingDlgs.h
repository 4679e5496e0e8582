#pragma once

#include "setup/BatchingPages.h"
#include "setup/ShowModeRefresh.h"
#include "ui/PollingDialog.h"
#include "ui/TabPage.h"

#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quarnex {

class SetupSource;

// A batching page or dialog polled through its page model: the show-mode reads on the window's
// timer; in edit mode it shows the copy at once and reads only after an edit.
template <class Window> class CModelPolled : public Window {
protected:
    CModelPolled(PageModel model, QWidget* parent) : Window(parent), model_(std::move(model)) {}
    // The window comes to the front: edit mode shows the copy, show mode starts polling.
    void Show() {
        if (model_.EditMode())
            this->Render();
        else
            this->Start();
    }
    int PollOpen() override { return model_.Activate(); }
    int PollTick() override {
        model_.Tick();
        return model_.PeriodMs();
    }

    PageModel model_;
};

// A tab of the sheet that polls while it is in front: the sheet calls Activate() when the tab
// comes to the front and Deactivate() when it leaves.
class CPollingPage : public QWidget, public PollingWindow, public TabPage {
public:
    explicit CPollingPage(QWidget* parent) : QWidget(parent) {}
    void Deactivate() override { StopPolling(); }
};

// "Batching activity no": the rows the activity's type uses, rebuilt after every edit and every
// show-mode read. The rows fill consecutive slots; unused slots are hidden.
class CActivityDlg : public CModelPolled<PollingDialog> {
    Q_OBJECT
public:
    CActivityDlg(SetupSource& source, int activity, bool editMode, QWidget* parent = nullptr);
    // Shows the dialog modally; in show mode it polls with its own phases while it is up.
    static void Run(SetupSource& source, int activity, bool editMode, QWidget* parent);
    // Edit mode: renders at once. Show mode: the answer check, then the timer.
    void Open() { Show(); }

    // The slot showing parameter j (or kActivityNameRow); -1 when the row is not shown.
    int SlotOf(int parameter) const;
    QLabel* Label(int slot) const { return slots_[slot].label; }
    QLineEdit* Value(int slot) const { return slots_[slot].value; }
    QLineEdit* Unit(int slot) const { return slots_[slot].unit; }
    QPushButton* EditButton(int slot) const { return slots_[slot].edit; }
    QPushButton* OkButton() const { return ok_; }

public slots:
    void OnEdit(int slot);

private:
    void Render() override;

    struct Slot {
        QLabel* label;
        QLineEdit* value;
        QLineEdit* unit;
        QPushButton* edit;
    };

    ActivityDialog logic_;
    std::vector<ActivityRowDisplay> rows_;
    std::vector<Slot> slots_;
    QPushButton* ok_;
};

// "Recipe no": the name and fifteen lines at a time, with "LINE 16 - 30" / "LINE 1 - 15".
class CRecipeDlg : public CModelPolled<PollingDialog> {
    Q_OBJECT
public:
    CRecipeDlg(SetupSource& source, int recipe, bool editMode, QWidget* parent = nullptr);
    static void Run(SetupSource& source, int recipe, bool editMode, QWidget* parent);
    // Edit mode: reads the recipe (errors shown) and renders. Show mode: the answer check, then
    // the timer.
    void Open();

    QLineEdit* NameField() const { return name_; }
    QPushButton* NameButton() const { return nameEdit_; }
    // Row 0-14 of the current half.
    QLabel* LineLabel(int row) const { return lines_[row].label; }
    QLineEdit* ActivityField(int row) const { return lines_[row].activity; }
    QPushButton* ActivityButton(int row) const { return lines_[row].activityEdit; }
    QLabel* SetpointLabel(int row) const { return lines_[row].setpointLabel; }
    QLineEdit* SetpointField(int row) const { return lines_[row].setpoint; }
    QLineEdit* UnitField(int row) const { return lines_[row].unit; }
    QPushButton* SetpointButton(int row) const { return lines_[row].setpointEdit; }
    QPushButton* Lines16To30Button() const { return second_; }
    QPushButton* Lines1To15Button() const { return first_; }
    QPushButton* OkButton() const { return ok_; }

public slots:
    void OnEditName();
    void OnEditActivity(int row);
    void OnEditSetpoint(int row);

private:
    void Render() override;
    void Edit(const EditRequest& request);

    struct Line {
        QLabel* label;
        QLineEdit* activity;
        QPushButton* activityEdit;
        QLabel* setpointLabel;
        QLineEdit* setpoint;
        QLineEdit* unit;
        QPushButton* setpointEdit;
    };

    RecipeDialog logic_;
    QLineEdit* name_;
    QPushButton* nameEdit_;
    std::vector<Line> lines_;
    QPushButton* second_;
    QPushButton* first_;
    QPushButton* ok_;
};

// The Activities1 and Activities2 pages of the sheet: page 1 with the five general values and
// activities 1-9, page 2 with activities 10-24. The sheet calls Activate() when the page comes to
// the front and Deactivate() when it leaves it (show mode polls only while the page is in front).
class CActivitiesPage : public CModelPolled<CPollingPage> {
    Q_OBJECT
public:
    CActivitiesPage(SetupSource& source, int page, bool editMode, QWidget* parent = nullptr);
    void Activate() override { Show(); }

    QLineEdit* GeneralField(int i) const { return general_[i].value; }
    QPushButton* GeneralButton(int i) const { return general_[i].edit; }
    // k = the activity number (page 1: 1-9, page 2: 10-24).
    QLineEdit* TypeField(int k) const { return groups_[k - first_].type; }
    QLineEdit* NameField(int k) const { return groups_[k - first_].name; }
    QPushButton* ActivityButton(int k) const { return groups_[k - first_].edit; }

public slots:
    void OnEditGeneral(int i);
    void OnActivity(int k);

private:
    void Render() override;

    struct General {
        QLabel* label;
        QLineEdit* value;
        QPushButton* edit;
    };
    struct Group {
        QLineEdit* type;
        QLineEdit* name;
        QPushButton* edit;
    };

    int page_;
    int first_;
    std::vector<General> general_;
    std::vector<Group> groups_;
};

// The Recipes page: the 30 recipe names, each with a ">>" to its recipe dialog.
class CRecipesPage : public CModelPolled<CPollingPage> {
    Q_OBJECT
public:
    CRecipesPage(SetupSource& source, bool editMode, QWidget* parent = nullptr);
    void Activate() override { Show(); }

    QLabel* Label(int r) const { return rows_[r - 1].label; }
    QLineEdit* NameField(int r) const { return rows_[r - 1].name; }
    QPushButton* RecipeButton(int r) const { return rows_[r - 1].edit; }

public slots:
    void OnRecipe(int r);

private:
    void Render() override;

    struct Row {
        QLabel* label;
        QLineEdit* name;
        QPushButton* edit;
    };

    std::vector<Row> rows_;
};

} // namespace quarnex
