#pragma once

#include "files/SetupFile.h"
#include "instrument/InstrumentType.h"
#include "platform/FileChooser.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;

// "KEL 7 restore, address 12"; "???????" for a type without backups.
std::string RestoreCaption(InstrumentType type, int address);
// The open chooser of the restore (the backup's type list and extension).
FileChooser::Request RestoreFileRequest(InstrumentType type, const std::string& current);

// Which parts of a set-up file go into the instrument (the four boxes of the restore window).
struct RestoreSelection {
    bool setup = true; // normal and special set-up (SET_UP)
    bool strings = true;
    bool batching = true;
    bool recipes = true;
    // The file's slave address and the mode, baud rate and data format of the ports the master
    // reaches the instrument through. Off, the instrument keeps its own: a file from another
    // instrument would otherwise move it onto that instrument's address. On when a new
    // instrument replaces the one the file was taken from.
    bool takeLinkSettings = false;
    bool Any() const { return setup || strings || batching || recipes; }
};

// Loading a set-up file back into one instrument (the "Start restore" button and quarnex-cli
// restore). Values are matched by register, so a file of another program version restores what
// the connected instrument has; the report says how many values the file held, how many the
// instrument expects and how many were written. Everything is written in remote restore state;
// a failure after entering it always leaves it with coil 103, so the instrument takes back the
// set-up it had.
class Restore {
public:
    static constexpr int kBufferSize = 2700;
    static constexpr int kStringBufferSize = 70;
    static constexpr int kBlockValues = 50;

    enum class Result {
        Succeeded, // "Restore operation successful !"
        Warnings,  // "Restore operation compleated with WARNINGS !"
        Failed,    // its message shown; the instrument is unchanged
        Stopped,   // a question answered No, or nothing to do
        NoFile,    // focus to "Select file"
    };

    Restore(ModbusMaster& bus, int address, InstrumentType type, Prompter& owner,
            Progress& progress);

    // The file chosen in the window: validated (with its message) and its USER_INFO text read.
    // False (and the name forgotten) when it is not a readable set-up file.
    bool LoadFile(const std::string& fileName, std::string& infoText);
    void SetFileName(const std::string& fileName);
    const SetupFile& File() const { return file_; }

    // showReport off leaves the report box out (the command line prints ReportText() itself).
    Result Run(const RestoreSelection& selection, bool showReport = true);

    // The figures of the last run's report.
    int FileCount() const { return fileCount_; }
    int InstrumentTotal() const { return instrumentTotal_; }
    int RestoredTotal() const;
    bool SetToDefault() const { return setToDefault_; }
    // The report's text (without icon), as the last run showed it.
    const std::string& ReportText() const { return report_; }

private:
    struct Record {
        int reg = 0;
        float value = 0.0f;
    };
    struct StringRecord {
        int reg = 0;
        std::string text;
    };

    // One value that decides whether the master still reaches the instrument.
    struct LinkValue {
        int index = 0;           // normal parameter
        float instrument = 0.0f; // what the instrument holds now
        float file = 0.0f;
        bool inFile = false;
    };

    bool ReadSelectedSections(const RestoreSelection& selection);
    bool ReadLinkValues();
    std::string OtherInstrumentText(bool take) const;
    void KeepLinkValues();
    std::string LinkReport(bool take) const;
    bool ReadValues(SectionId id, bool& fileValid);
    bool ReadStrings(bool& fileValid);
    bool KeepValue(SectionId id, int reg) const;
    bool WriteValueRange(int first, int last, int& restored);
    bool WriteStringRange(int first, int last, int& restored);
    bool WriteAll(const RestoreSelection& selection);
    Result FailInRemote();
    void Step(int values);

    ModbusMaster& bus_;
    int address_;
    InstrumentType type_;
    Prompter& owner_;
    Progress& progress_;
    SetupFile file_;
    InstrumentInfo fileInfo_;
    InstrumentInfo instrumentInfo_;
    std::vector<Record> buffer_;
    std::vector<StringRecord> strings_;
    std::vector<LinkValue> link_;
    int fileCount_ = 0;
    int instrumentTotal_ = 0;
    int restored_[5] = {};
    bool setToDefault_ = false;
    int written_ = 0;
    std::string report_;
};

} // namespace quarnex
