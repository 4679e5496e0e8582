#pragma once

#include "app/setup/CKelSetUpPage.h"
#include "monitor/panel/InstrumentPanel.h"
#include "setup/KelSetUpSheet.h"

#include <QDialog>

#include <vector>

class QPushButton;
class QTabWidget;

namespace quarnex {

// The set-up sheet of one KEL 7: a tab per page in the sheet's order, OK and (in Edit set-up
// only) Cancel, no close box. Leaving goes through the sheet's checks: OK runs the OK check,
// Cancel, Escape and the window's close request run the Cancel check, also where Cancel is
// hidden; the sheet stays open while a check says so (the instrument is still in set-up).
class CKelSetUpPropSheet : public QDialog {
    Q_OBJECT
public:
    CKelSetUpPropSheet(ModbusMaster& bus, int address, SheetMode mode, Prompter& prompter,
                       QWidget* parent = nullptr);
    ~CKelSetUpPropSheet() override;

    // Checks the instrument, enters its set-up state and reads the set-up; then builds the pages
    // and activates the first. False (already shown) means the sheet must not be shown.
    bool Start();

    // Runs the sheet modally for a mode of the panel (the panel has asked and checked first).
    static void Run(QWidget* parent, ModbusMaster& bus, int address,
                    InstrumentPanel::SheetMode mode, Prompter& prompter);
    static SheetMode ModeOf(InstrumentPanel::SheetMode mode);

    KelSetUpSheet& Logic() { return logic_; }
    QTabWidget* Tabs() const { return tabs_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    // The page of a tab, or nullptr where the tab is a batching page (Activities, Recipes).
    CKelSetUpPage* Page(int tab) const;
    CKelSetUpPage* CurrentPage() const;

    // Tests answer the value-entry dialogs themselves; the program opens the real ones.
    void SetRowEditor(CKelSetUpPage::RowEditor editor) { editor_ = std::move(editor); }

public slots:
    void accept() override;
    void reject() override; // Cancel, Escape and the close request

private:
    QWidget* MakePage(PageId id);
    void ActivateTab(int tab);
    void DeactivateTab(int tab);
    void OnTabChanged(int tab);
    void StopPages();
    void FitToScreen();
    bool CreateWithProgress();

    ModbusMaster& bus_;
    Prompter& prompter_;
    KelSetUpSheet logic_;
    CKelSetUpPage::RowEditor editor_;
    QTabWidget* tabs_;
    QPushButton* ok_;
    QPushButton* cancel_;
    int activeTab_ = -1;
};

// Opens the value-entry dialog of a row's ">>": the choice list, the number (also for codes and
// special parameters) or the analogue outputs' adjustment. True when it ended with OK.
bool RunRowEditor(const EditRequest& request, ModbusMaster& bus, int address, Prompter& prompter,
                  QWidget* parent);

} // namespace quarnex
