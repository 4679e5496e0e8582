#pragma once

#include "app/setup/CKelSetUpPage.h"
#include "monitor/panel/InstrumentPanel.h"
#include "setup/KelSetUpSheet.h"

#include <QDialog>

#include <memory>
#include <vector>

class QPushButton;
class QTabWidget;

namespace quarnex {

// The set-up sheet of one KEL 7, or of a set-up file away from the instrument: a tab per page in
// the sheet's order, OK and (in Edit set-up and offline only) Cancel, no close box. Leaving goes
// through the sheet's checks: OK runs the OK check, Cancel, Escape and the window's close request
// run the Cancel check, also where Cancel is hidden; the sheet stays open while a check says so
// (the instrument is still in set-up).
class CKelSetUpPropSheet : public QDialog {
    Q_OBJECT
public:
    CKelSetUpPropSheet(ModbusMaster& bus, int address, SheetMode mode, Prompter& prompter,
                       QWidget* parent = nullptr);
    // Over any set-up behind the sheet's logic (a set-up file edited offline).
    CKelSetUpPropSheet(std::unique_ptr<SetupSheet> logic, QWidget* parent = nullptr);
    ~CKelSetUpPropSheet() override;

    // Checks the instrument, enters its set-up state and reads the set-up; then builds the pages
    // and activates the first. False (already shown) means the sheet must not be shown.
    bool Start();

    // Runs the sheet modally for a mode of the panel (the panel has asked and checked first).
    static void Run(QWidget* parent, ModbusMaster& bus, int address, SheetMode mode,
                    Prompter& prompter);

    SetupSheet& Logic() { return *logic_; }
    QTabWidget* Tabs() const { return tabs_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    // The page of a tab.
    CKelSetUpPage* Page(int tab) const;
    CKelSetUpPage* CurrentPage() const;

public slots:
    void accept() override;
    void reject() override; // Cancel, Escape and the close request

private:
    // The page widget of a tab; every kind is reached through the one page interface.
    template <class T> T* Add(T* page);
    QWidget* MakePage(PageId id);
    void ActivateTab(int tab);
    void DeactivateTab(int tab);
    void OnTabChanged(int tab);
    void StopPages();
    void FitToScreen();
    bool CreateWithProgress();

    std::unique_ptr<SetupSheet> logic_;
    std::vector<TabPage*> pages_; // one per tab, owned by the tab widget
    QTabWidget* tabs_;
    QPushButton* ok_;
    QPushButton* cancel_;
    int activeTab_ = -1;
};

} // namespace quarnex
