#pragma once

#include "offline/SetupCompare.h"
#include "platform/FileChooser.h"
#include "platform/Prompter.h"
#include "ui/QtFileChooser.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QPrinter;
class QPushButton;
class QTreeWidget;

namespace quarnex {

class ModbusMaster;

// "Compare set-ups": what differs between two set-ups, group by group in the sheet's order, a
// row's label beside both values. "Save as text…" writes the same text quarnex-cli diff prints;
// "Print" prints it as the set-up file viewer prints a listing.
class CCompareDlg : public QDialog {
    Q_OBJECT
public:
    // Sets the printer up for one print: the system's print dialog unless a test gives its own.
    using PrinterSetup = std::function<bool(QPrinter& printer, QWidget* owner)>;

    // The names are files' paths unless namesArePaths is false (the history's versions, "Hall
    // B/1@~1"), which are kept whole.
    CCompareDlg(const SetupDiff& diff, std::string leftName, std::string rightName,
                Prompter& prompter, FileChooser* chooser = nullptr, QWidget* parent = nullptr,
                bool namesArePaths = true);

    void SetPrinterSetup(PrinterSetup setup) { printerSetup_ = std::move(setup); }
    void OnSave();
    void OnPrint();

    QTreeWidget* Result() const { return result_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* PrintButton() const { return print_; }
    const QString& DocumentName() const { return docName_; }

private:
    Prompter& prompter_;
    QtFileChooser qtChooser_;
    FileChooser& chooser_;
    PrinterSetup printerSetup_;
    std::vector<std::string> text_;
    std::string title_;
    QString docName_; // the printed document's name, a file name for print to PDF
    std::string savedPath_;
    QTreeWidget* result_;
    QPushButton* save_;
    QPushButton* print_;
};

// "Compare…" of the set-up file viewer: asks for the second file and shows what differs from
// the first. Nothing when the user cancels or a file does not load (its message shown).
void CompareFileWithChosen(QWidget* parent, const std::string& first, Prompter& prompter,
                           FileChooser* chooser);

// "Compare…" on the instrument panel: asks for a set-up file, reads the instrument as a backup
// does (with a progress window) and shows what differs.
void CompareInstrumentWithChosen(QWidget* parent, ModbusMaster& bus, int address,
                                 Prompter& prompter, FileChooser* chooser);

} // namespace quarnex
