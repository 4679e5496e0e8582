#pragma once

#include "app/CHistoryDlg.h"
#include "app/panel/OpenPanel.h"
#include "files/Restore.h"
#include "files/SetupFile.h"
#include "instrument/InstrumentType.h"
#include "platform/FileChooser.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "ui/ProgressDialog.h"
#include "ui/QtFileChooser.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QTreeWidget;

namespace quarnex {

class ModbusMaster;

// The progress window of a backup or restore, shown only once the operation reports its first
// step (so a question asked before any bus work does not have a progress window behind it). The
// owner's window is disabled while it is up.
class WindowProgress : public Progress {
public:
    WindowProgress(QWidget* owner, QString caption);
    ~WindowProgress() override;

    void SetRange(int low, int high) override;
    void SetPos(int pos) override;
    void SetText(const std::string& text) override;
    bool CancelAsked() const override { return false; }

    bool Shown() const { return window_ != nullptr; }
    // Takes the window down and gives the owner back.
    void Close();

private:
    ProgressDialog& Window();

    QPointer<QWidget> owner_;
    QString caption_;
    std::unique_ptr<ProgressDialog> window_;
    int low_ = 0, high_ = 100;
    std::string text_;
};

// The "Backup" dialog: the file to write (through the file chooser, "kel" for a KEL 7), the
// information text pre-filled when a file is chosen and editable, and "Start backup", which runs
// Backup with a progress window; a successful backup closes the dialog.
class CBackupDlg : public QDialog {
    Q_OBJECT
public:
    // chooser: null for the system's file dialogs.
    CBackupDlg(ModbusMaster& bus, int address, InstrumentType type, Prompter& prompter,
               FileChooser* chooser = nullptr, QWidget* parent = nullptr);

    void OnSelectFile();
    void OnStartBackup();

    QLineEdit* FileField() const { return fileName_; }
    QPlainTextEdit* InfoEdit() const { return info_; }
    QPushButton* SelectButton() const { return select_; }
    QPushButton* StartButton() const { return start_; }
    // Whether a progress window was shown by the last start.
    bool ProgressShown() const { return progressShown_; }

private:
    ModbusMaster& bus_;
    int address_;
    InstrumentType type_;
    Prompter& prompter_;
    QtFileChooser qtChooser_;
    FileChooser& chooser_;
    bool progressShown_ = false;
    QLineEdit* fileName_;
    QPlainTextEdit* info_;
    QPushButton* select_;
    QPushButton* start_;
};

// The "Restore" dialog: the file to load, its information text, the four section boxes and
// "Start restore", which runs Restore with a progress window; the result box comes from the
// restore, and a restore that finished (also with warnings) closes the dialog.
class CRestoreDlg : public QDialog {
    Q_OBJECT
public:
    CRestoreDlg(ModbusMaster& bus, int address, InstrumentType type, Prompter& prompter,
                FileChooser* chooser = nullptr, QWidget* parent = nullptr);

    void OnSelectFile();
    void OnStartRestore();

    QLineEdit* FileField() const { return fileName_; }
    QPlainTextEdit* InfoEdit() const { return info_; }
    QCheckBox* SetupBox() const { return setup_; }
    QCheckBox* StringBox() const { return strings_; }
    QCheckBox* BatchingBox() const { return batching_; }
    QCheckBox* RecipeBox() const { return recipes_; }
    QCheckBox* TakeLinkBox() const { return takeLink_; }
    QPushButton* SelectButton() const { return select_; }
    QPushButton* StartButton() const { return start_; }
    const Restore& Logic() const { return logic_; }
    bool ProgressShown() const { return progressShown_; }

private:
    void CheckAll();

    Prompter& prompter_;
    WindowProgress progress_;
    Restore logic_;
    QtFileChooser qtChooser_;
    FileChooser& chooser_;
    InstrumentType type_;
    bool progressShown_ = false;
    QLineEdit* fileName_;
    QPlainTextEdit* info_;
    QCheckBox* setup_;
    QCheckBox* strings_;
    QCheckBox* batching_;
    QCheckBox* recipes_;
    QCheckBox* takeLink_;
    QPushButton* select_;
    QPushButton* start_;
};

// The print dialog of a listing (the viewer's and the comparison's): the printer and the copies,
// no selection and no page range, since a listing is printed whole. True when the user chose Print.
bool AskListingPrinter(QPrinter& printer, QWidget* owner);

// The "View set-up file contents" dialog: the listing of a set-up file with its information lines,
// and printing a selection of it on a character grid of 14 columns and 6 lines per inch.
class CSetupViewerDlg : public QDialog {
    Q_OBJECT
public:
    // Sets the printer up for one print: the system's print dialog unless a test gives its own
    // (a PDF file, say). False when the user cancelled.
    using PrinterSetup = std::function<bool(QPrinter& printer, QWidget* owner)>;

    CSetupViewerDlg(Prompter& prompter, FileChooser* chooser = nullptr, QWidget* parent = nullptr);
    ~CSetupViewerDlg() override;

    void SetPrinterSetup(PrinterSetup setup) { printerSetup_ = std::move(setup); }
    void OnSelectFile();
    void OnPrint();

    QLineEdit* FileField() const { return fileName_; }
    QTreeWidget* Listing() const { return listing_; }
    QTreeWidget* InfoList() const { return info_; }
    QGroupBox* PrintGroup() const { return printGroup_; }
    QCheckBox* SetupBox() const { return setup_; }
    QCheckBox* BatchingBox() const { return batching_; }
    QCheckBox* RecipeBox() const { return recipes_; }
    QCheckBox* StringBox() const { return strings_; }
    QPushButton* PrintButton() const { return print_; }
    QPushButton* CompareButton() const { return compare_; }
    QPushButton* EditButton() const { return edit_; }
    // "History...": a plant's set-up history folder in its own window; tests answer the folder.
    QPushButton* HistoryButton() const { return history_; }
    void SetHistoryFolderAsk(FolderAsk ask) { askFolder_ = std::move(ask); }

private:
    void EnablePrinting(bool loaded);

    Prompter& prompter_;
    QtFileChooser qtChooser_;
    FileChooser& chooser_;
    PrinterSetup printerSetup_;
    SetupFile file_;
    std::string path_;
    std::string title_;
    QLineEdit* fileName_;
    QTreeWidget* info_;
    QTreeWidget* listing_;
    QGroupBox* printGroup_;
    QCheckBox* setup_;
    QCheckBox* batching_;
    QCheckBox* recipes_;
    QCheckBox* strings_;
    QPushButton* print_;
    QPushButton* compare_;
    QPushButton* edit_;
    QPushButton* history_;
    FolderAsk askFolder_;
};

class OfflineSetupSheet;

// "Save the edited set-up", the OK of a set-up file's sheet: the file to write (through the file
// chooser, which starts beside the file being edited), the information text as that file held it,
// editable, and "Save"; a successful save closes the dialog and then the sheet.
class CSaveSetupDlg : public QDialog {
    Q_OBJECT
public:
    CSaveSetupDlg(OfflineSetupSheet& sheet, FileChooser& chooser, QWidget* parent = nullptr);

    // True when the set-up was saved.
    static bool Run(OfflineSetupSheet& sheet, FileChooser& chooser, QWidget* parent);

    void OnSelectFile();
    void OnSave();

    QLineEdit* FileField() const { return fileName_; }
    QPlainTextEdit* InfoEdit() const { return info_; }
    QPushButton* SelectButton() const { return select_; }
    QPushButton* SaveButton() const { return save_; }

private:
    OfflineSetupSheet& sheet_;
    FileChooser& chooser_;
    std::string path_;
    QLineEdit* fileName_;
    QPlainTextEdit* info_;
    QPushButton* select_;
    QPushButton* save_;
};

// File > "Edit set-up file…" and the viewer's "Edit offline…": the set-up sheet over a set-up file,
// away from the instrument. fileName empty: the file is asked for first. chooser: null for the
// system's file dialogs.
void EditSetupFileOffline(QWidget* parent, std::string fileName, Prompter& prompter,
                          FileChooser* chooser = nullptr);

class CharacterPrinter;

// Draws the laid-out pages on printer: one character per cell of 1/14 inch by 1/6 inch from the
// top left of the printable area, in "Courier New" (or the fixed-pitch face the system puts in
// its place) sized to the cell, black on no background. False when the printer could not start.
bool DrawCharacterPages(const CharacterPrinter& pages, QPrinter& printer);

// Prints a listing (the viewer's, the comparison's): printerSetup sets the printer up (false: the
// user cancelled, nothing happens), layout lays the pages out on its character grid under title,
// and they are drawn; a layout without pages prints nothing. "Print failed" is shown when the
// printer could not start.
void PrintListing(const QString& docName, const std::string& title,
                  const std::function<bool(QPrinter&, QWidget*)>& printerSetup, QWidget* owner,
                  Prompter& prompter, const std::function<void(CharacterPrinter&)>& layout);

// The columns and lines of a page on printer: 14 per whole printable inch across, 6 down.
void CharacterGrid(QPrinter& printer, int& columns, int& lines);

// The backup and restore behind the instrument panel's buttons (the panel serves the KEL 7).
// chooser: where the file dialogs go; null for the system's.
PanelHooks SetupFilePanelHooks(ModbusMaster& bus, Prompter& prompter,
                               std::function<FileChooser*()> chooser = {});

} // namespace quarnex
