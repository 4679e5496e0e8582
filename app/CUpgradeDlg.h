#pragma once

#include "ui/QtFileChooser.h"
#include "ui/QtPrompter.h"
#include "upgrade/SoftwareUpgrade.h"

#include <QDialog>

#include <memory>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quarnex {

class ProgressDialog;

// The "Instrument software upgrade" dialog: chooses an upgrade file, shows what it and the
// instrument carry, loads the file into the instrument through its boot loader and makes a
// default set-up. The window only forwards the clicks to SoftwareUpgrade and shows its results;
// the caller stops its own polling while the dialog is open.
class CUpgradeDlg : public QDialog {
    Q_OBJECT
public:
    CUpgradeDlg(ModbusMaster& bus, Prompter& prompter, QWidget* parent = nullptr);
    ~CUpgradeDlg() override;

    // Shows the dialog modally.
    static void Run(ModbusMaster& bus, Prompter& prompter, QWidget* parent);

    SoftwareUpgrade& Logic() { return logic_; }
    // Where "&Select file" asks for the file; the system's open dialog unless set.
    void SetFileChooser(FileChooser* chooser) { chooser_ = chooser ? chooser : &qtChooser_; }
    // Where the bus's Retry/Cancel boxes of the running procedure go; message boxes over the
    // progress window unless set.
    void SetProcedurePrompter(Prompter* prompter) {
        procedurePrompter_ = prompter ? prompter : &qtProcedurePrompter_;
    }
    // The progress window while the procedure runs, else null.
    ProgressDialog* ProgressWindow() const { return progress_.get(); }

    QLineEdit* PathEdit() const { return path_; }
    QPlainTextEdit* FileInfo() const { return fileInfo_; }
    QPlainTextEdit* InstrumentInfo() const { return instrumentInfo_; }
    QLineEdit* AddressEdit() const { return address_; }
    QPushButton* SelectButton() const { return select_; }
    QPushButton* GetInfoButton() const { return getInfo_; }
    QPushButton* StartButton() const { return start_; }

private:
    class WindowProgress;

    void Render();
    // The address from its field; a refusal puts the focus back on it.
    bool Address(int& address);
    void AddressEdited();
    void AddressLeft();
    // Runs a click's work with the controls disabled, then shows the results.
    void Busy(const std::function<void()>& work);
    void OnSelectFile();
    void OnGetInfo();
    void OnStartUpgrade();
    void OnDefaultSetup();

    Prompter& prompter_;
    SoftwareUpgrade logic_;
    QtFileChooser qtChooser_;
    FileChooser* chooser_;
    QtPrompter qtProcedurePrompter_;
    Prompter* procedurePrompter_;
    std::unique_ptr<ProgressDialog> progress_;
    bool checking_ = false;    // the address refusal, or a click's work, is showing a box
    QWidget* focus_ = nullptr; // where the focus goes once a click's work is done
    QLineEdit* path_;
    QPlainTextEdit* fileInfo_;
    QPlainTextEdit* instrumentInfo_;
    QLineEdit* address_;
    QPushButton* select_;
    QPushButton* getInfo_;
    QPushButton* start_;
    QPushButton* defaultSetup_;
    QPushButton* close_;
};

} // namespace quarnex
