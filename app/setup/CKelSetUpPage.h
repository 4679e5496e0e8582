#pragma once

#include "setup/KelSetUpPage.h"
#include "ui/PollingWindow.h"
#include "ui/TabPage.h"

#include <QWidget>

#include <memory>
#include <vector>

class QBoxLayout;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quarnex {

// One row of a set-up page: the parameter's label, its read-only value, its unit and the ">>"
// that edits it. The widgets sit in a grid row of the page, so every row's columns line up.
class CSetupRow {
public:
    CSetupRow(QWidget* parent, QGridLayout* grid, int gridRow);
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

// A page of the set-up sheet, rendered from its descriptor: every page is this one widget with
// other rows. In show mode it refreshes itself on the polling window's timer while it is the
// current tab; in edit mode the ">>" of a row opens the row's value-entry dialog (through the one
// editor dispatcher) and the page re-reads after a confirmed edit.
//
// A page with a live part (the calibration page's measured signal) derives from this class with
// its own page logic, puts its part beside the rows with AddLivePart() and renders it (Render()).
class CKelSetUpPage : public QWidget, public PollingWindow, public TabPage {
    Q_OBJECT
public:
    CKelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode,
                  QWidget* parent = nullptr);

    // The page became the current tab / is left. Only the current tab polls.
    void Activate() override { Start(); }
    void Deactivate() override { StopPolling(); }

    // The ">>" of row i (what its button does): its request, the editor, the re-read. The page's
    // reads stay off the bus while the editor is up.
    void EditRow(size_t i);

    KelSetUpPage& Logic() { return *logic_; }
    const std::vector<CSetupRow>& Rows() const { return rows_; }
    // The row that shows parameter n, or nullptr.
    const CSetupRow* RowOf(int parameter) const;

protected:
    CKelSetUpPage(SetupSource& source, std::unique_ptr<KelSetUpPage> logic, QWidget* parent);
    // Adds a widget in a column right of the rows.
    void AddLivePart(QWidget* part);
    // Shows the page's state in its widgets.
    void Render() override;

private:
    int PollOpen() override { return period_ = logic_->Activate(); }
    int PollTick() override { return period_ = logic_->Tick(); }

    SetupSource& source_;
    std::unique_ptr<KelSetUpPage> logic_;
    int period_ = KelSetUpPage::kNoTimer;
    std::vector<CSetupRow> rows_;
    QWidget* scroll_;
    QBoxLayout* liveColumn_;
};

} // namespace quarnex
