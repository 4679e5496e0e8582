#pragma once

#include "app/edit/RunEditor.h"
#include "setup/KelSetUpPage.h"
#include "ui/PollingWindow.h"
#include "ui/TabPage.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quarnex {

// One row of a set-up page or dialog: the value's label, its read-only value, its unit and the
// ">>" that edits it. The widgets sit in a grid row, so every row's columns line up.
class CSetupRow {
public:
    static constexpr int kColumns = 4;

    CSetupRow(QWidget* parent, QGridLayout* grid, int gridRow, int firstColumn, bool keepPlace);
    // Shows what the page decided for the row.
    void Render(const RowDisplay& row, bool instrumentText);

    QLabel* Label() const { return label_; }
    QLineEdit* Value() const { return value_; }
    QLabel* Unit() const { return unit_; }
    QPushButton* EditButton() const { return edit_; }

private:
    QLabel* label_;
    QLineEdit* value_;
    QLabel* unit_;
    QPushButton* edit_;
};

// The rows of a page or dialog as one widget: a CSetupRow for every row the page can show (its
// capacity where its rows follow the copy), in framed groups and columns as the descriptor places
// them. Rows the page does not show now are hidden; with keepPlace a hidden row keeps its room, so
// a dialog whose rows come and go keeps its size and its value column.
class CSetupRows : public QWidget {
public:
    CSetupRows(const KelSetUpPage& page, std::function<void(size_t)> onEdit, bool keepPlace,
               QWidget* parent);
    void Render(const KelSetUpPage& page);
    const std::vector<CSetupRow>& Rows() const { return rows_; }

private:
    std::vector<CSetupRow> rows_;
};

// Opens the dialog an activity or recipe row leads to and returns when it has closed.
void OpenRowDialog(const PageRow& row, SetupSource& source, bool editMode, QWidget* parent);

// A tab of the sheet that polls while it is in front: the sheet calls Activate() when the tab
// comes to the front and Deactivate() when it leaves.
class CPollingPage : public QWidget, public PollingWindow, public TabPage {
public:
    explicit CPollingPage(QWidget* parent) : QWidget(parent) {}
    void Activate() override { Start(); }
    void Deactivate() override { StopPolling(); }
};

// What every page of the sheet and both batching dialogs are: a page model, its rows in the one
// row widget, its refresh on the window's one timer (ui/PollingWindow), and the ">>" of a row:
// the row's editor through the one dispatcher and the read after it, or the dialog the row leads
// to. No read of the page reaches the bus while an editor or a dialog is up: the shunt dialog
// measures on its own, a write that waits for the instrument to measure must not meet a poll,
// and a dialog polls with its own phases.
template <class Window> class CPageHost : public Window {
public:
    KelSetUpPage& Logic() { return *logic_; }
    const std::vector<CSetupRow>& Rows() const { return rows_->Rows(); }
    const CSetupRow& Row(size_t i) const { return rows_->Rows().at(i); }
    // The row widgets that show parameter n (as the page's rows number it), or nullptr.
    const CSetupRow* RowOf(int parameter) const {
        const int i = logic_->IndexOf(parameter);
        return i < 0 ? nullptr : &Row(static_cast<size_t>(i));
    }

    // The ">>" of row i: what its button does.
    void EditRow(size_t i) {
        if (i >= logic_->CurrentRows().size())
            return;
        const PageRow row = logic_->CurrentRows()[i];
        const std::optional<EditRequest> request = logic_->Edit(i);
        if (!OpensDialog(row) && !request)
            return;
        const bool polling = this->TimerActive();
        this->WithTimerStopped([&] {
            if (OpensDialog(row)) {
                OpenRowDialog(row, source_, logic_->EditMode(), this);
                logic_->Redisplay();
            } else {
                logic_->EditEnded(i, RunEditor(*request, source_, this->window()));
            }
            Render();
            return polling ? period_ : KelSetUpPage::kNoTimer;
        });
    }

protected:
    CPageHost(SetupSource& source, std::unique_ptr<KelSetUpPage> logic, bool keepPlace,
              QWidget* parent)
        : Window(parent), source_(source), logic_(std::move(logic)),
          rows_(new CSetupRows(
              *logic_, [this](size_t i) { EditRow(i); }, keepPlace, this)) {}

    int PollOpen() override { return period_ = logic_->Activate(); }
    int PollTick() override { return period_ = logic_->Tick(); }
    void Render() override { rows_->Render(*logic_); }

    SetupSource& source_;
    std::unique_ptr<KelSetUpPage> logic_;
    CSetupRows* rows_;
    int period_ = KelSetUpPage::kNoTimer;
};

} // namespace quarnex
