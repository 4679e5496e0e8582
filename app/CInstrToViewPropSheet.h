#pragma once

#include "monitor/WatchedSet.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quarnex {

class CInstrumentSearchDlg;
class ModbusMaster;
class Profile;
class Prompter;

// A page of address check boxes, first ... last (the sheet has three: 1-100, 101-200 and
// 201-247). It shows the sheet's flags when it becomes active and reads its boxes back when it
// is left or the sheet is confirmed.
class CInstrToViewAddressPage : public QWidget {
    Q_OBJECT
public:
    CInstrToViewAddressPage(int first, int last, QWidget* parent = nullptr);
    void Show(const InstrToViewSheet& sheet);
    void ReadBack(InstrToViewSheet& sheet) const;
    QCheckBox* Box(int address) const;

private:
    int first_, last_;
    std::vector<QCheckBox*> boxes_;
};

// "Search for instruments": the search button and the count of the last search.
class CInstrToViewPropPage4 : public QWidget {
    Q_OBJECT
public:
    explicit CInstrToViewPropPage4(QWidget* parent = nullptr);
    void Show(const InstrToViewSheet& sheet);
    QPushButton* SearchButton() const { return search_; }
    QLineEdit* FoundField() const { return found_; }

signals:
    void SearchRequested();

private:
    QPushButton* search_;
    QLineEdit* found_;
};

// "Instruments to view (addresses)": works on a copy of the view's selection; the copy goes
// back only when the sheet is closed with OK.
class CInstrToViewPropSheet : public QDialog {
    Q_OBJECT
public:
    CInstrToViewPropSheet(ModbusMaster& bus, const AddressFlags& selection,
                          QWidget* parent = nullptr);

    // The confirmed selection (valid after OK).
    const AddressFlags& Selection() const { return sheet_.Selection(); }
    QTabWidget* Tabs() const { return tabs_; }
    CInstrToViewAddressPage* AddressPage(int index) const { return pages_[index]; }
    CInstrToViewPropPage4* SearchPage() const { return searchPage_; }

    // Runs the "Instrument search" dialog and takes its result (the "&Search" button).
    void RunSearch();
    // Offers the search dialog's "Find settings", saving what it finds to profile.
    void OfferSettingsSearch(Profile& profile, Prompter& prompter) {
        profile_ = &profile;
        prompter_ = &prompter;
    }
    // For window tests: called with the search dialog before its event loop; returns true when
    // it has closed the dialog itself (the loop is then not entered).
    void SetSearchDialogHook(std::function<bool(CInstrumentSearchDlg&)> hook) {
        searchHook_ = std::move(hook);
    }

public slots:
    void accept() override;

private:
    void PageChanged(int index);

    ModbusMaster& bus_;
    InstrToViewSheet sheet_;
    QTabWidget* tabs_;
    CInstrToViewAddressPage* pages_[3];
    CInstrToViewPropPage4* searchPage_;
    int current_ = 0;
    std::function<bool(CInstrumentSearchDlg&)> searchHook_;
    Profile* profile_ = nullptr;
    Prompter* prompter_ = nullptr;
};

} // namespace quarnex
