#pragma once

#include "instrument/InstrumentType.h"
#include "platform/FileChooser.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace quarnex {

class InstrumentSetup;
class ModbusMaster;

// The file kinds of the four instrument models that ever had backups: the dialog captions, the
// default extension and the file chooser's type list.
// "KEL 7 backup, address 12"; "?????" for a type without backups.
std::string BackupCaption(InstrumentType type, int address);
// "kel" for a KEL 7, "" for a type without backups.
std::string BackupExtension(InstrumentType type);
// "KEL backup files (*.kel)" and "All Files (*.*)"; nothing for a type without backups.
std::vector<FileFilter> BackupFilters(InstrumentType type);
// The save chooser of the backup, starting at the current file name.
FileChooser::Request BackupFileRequest(InstrumentType type, const std::string& current);
// What the information box holds once a file was chosen: the local time "%Y-%m-%d  %H:%M", the
// type name and the address, on three lines separated by CR LF.
std::string BackupInfoText(InstrumentType type, int address, std::time_t now);

// The information text as the file's USER_INFO lines hold it: each line of the box, a line too
// long for the file broken at its last blank that fits (or at the limit, for a longer word), so
// everything typed is stored. Empty lines at the end are left out.
std::vector<std::string> BackupInfoLines(const std::string& infoText);
// "" when those lines fit the file's eight, else the message that says so.
std::string BackupInfoProblem(const std::string& infoText);

// One backup of one instrument into one file (the "Start backup" button and quarnex-cli backup):
// the state checks, the whole set-up read with recipes (progress per block of requests), the file
// written section by section and closed, and the message of the outcome.
//
// Nothing but the activity and recipe selectors is written to the instrument. The file name is
// checked before any bus traffic. A backup that fails at any point leaves the previous file of
// that name and its ".bak" as they were; one that succeeds keeps the previous file as ".bak".
class Backup {
public:
    enum class Result {
        Succeeded,    // "Backup operation successful !" shown
        Failed,       // its message shown
        NoFile,       // "No file selected !": the caller moves the focus to "Select file"
        FileFailed,   // the file could not be created or written: focus to "Select file"
        NotSupported, // a model without backups, its plain message shown (or none)
    };

    Backup(ModbusMaster& bus, int address, InstrumentType type, Prompter& owner,
           Progress& progress);

    // fileName empty = no file chosen. infoText as the box holds it (its first eight lines
    // are stored). showSuccess off leaves the success box out (the command line says it itself).
    Result Run(const std::string& fileName, const std::string& infoText, bool showSuccess = true);

    // The backup's read of the instrument without the file: the type and state checks and the
    // whole set-up with recipes, exactly the requests Run makes, into setup. Succeeded, Failed
    // (its message shown, headed by failure) or NotSupported (a model without backups, its plain
    // message shown or none).
    Result ReadInstrument(InstrumentSetup& setup, const std::string& failure);

    // The clock of the FILE_ID and FILE_OK lines; tests fix it.
    void SetClock(std::function<std::time_t()> now) { now_ = std::move(now); }

private:
    Result Fail(const std::string& reason);
    Result CheckModel();
    bool ReadSetup(InstrumentSetup& setup);

    ModbusMaster& bus_;
    int address_;
    InstrumentType type_;
    Prompter& owner_;
    Progress& progress_;
    std::function<std::time_t()> now_;
    std::string failure_; // heads every failure message
};

} // namespace quarnex
