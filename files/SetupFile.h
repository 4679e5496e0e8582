#pragma once

#include "instrument/InstrumentType.h"
#include "platform/FileAccess.h"
#include "platform/Prompter.h"

#include <ctime>
#include <string>
#include <vector>

namespace quarnex {

// The result of every set-up file operation. The numbers are the ones the backup, the restore and
// the viewer have always used; "message shown" means the operation told the user itself.
enum class SetupFileStatus : int {
    kOk = 0,
    kSeekFailed = 1,       // system text shown
    kReadFailed = 2,       // system text shown
    kWriteFailed = 3,      // system text shown
    kOpenFailed = 4,       // system text shown
    kDataError = 5,        // "File data error: <file>" shown
    kEndOfFile = 6,        // end of the file where a line was expected
    kNoFileName = 7,       // "No file selected !" shown
    kNotValid = 9,         // not a valid set-up file
    kSectionNotFound = 10, // the section's marker is not in the file
    kEndLine = 11,         // the end line of the current section was reached
    kSectionNotClosed = 12,
    kNotStorable = 13, // a value or text that the file cannot carry; message shown, nothing written
};

// The sections of a set-up file by their identifier; the numbers are part of the format's
// history, the order the backup writes them in is FileId, InstrId, UserInfo, SetUp, BatchSetUp,
// RecipeSetUp, StrSetUp, FileOk.
enum class SectionId : int {
    kEnd = 0,
    kFileId = 1,
    kUserInfo = 2,
    kInstrId = 3,
    kSetUp = 4,
    kStrSetUp = 5,
    kBatchSetUp = 6,
    kRecipeSetUp = 7,
    kFileOk = 8,
};

// One backup file of an instrument's set-up: 8-bit text in sections, each a marker line
// ("[SET_UP]") up to the end line ("[End]"). Lines are written with CR LF and read with CR, LF or
// CR LF; a line with its line end fits into 400 bytes. A value line is register TAB value ("%f")
// TAB label TAB text SPACE unit; a string line is register TAB text TAB label TAB text. The
// restore reads only the first two fields; the rest is for people and for the viewer.
//
// Every operation works at the current position of the one open file and returns a status; the
// messages go to owner as error boxes without caption.
class SetupFile {
public:
    static constexpr size_t kMaxLineBytes = 400; // one line including its line end
    static constexpr int kUserInfoLines = 8;
    static constexpr size_t kUserInfoChars = 145;
    // Values the restore accepts: magnitude below this.
    static constexpr double kValueLimit = 100000000.0;

    void SetFileName(const std::string& name);
    void ClearFileName();
    bool HasFileName() const { return hasName_; }
    const std::string& FileName() const { return name_; }
    bool IsOpen() const { return reading_ || writing_; }

    // A set-up file is never larger than this (every section full, every line at its limit, is
    // about half of it); a larger file is refused unread.
    static constexpr size_t kMaxFileBytes = size_t{2} << 20;

    // Prepares to write the file, before anything is asked of an instrument: the name must be
    // free or a regular file (anything else is refused with a message naming what it is), and is
    // locked against a second program writing it. The lines are gathered in memory; nothing on
    // the disk changes before Close. 7 without a name, 4 when the target cannot be used.
    SetupFileStatus OpenForWrite(Prompter& owner);
    // Reads the whole file into memory, at most kMaxFileBytes, and closes it again; the reading
    // calls below work on that copy. A directory, FIFO or device is refused at once, with a
    // message naming what it is. 7 without a name, 4 when it cannot be read.
    SetupFileStatus OpenForRead(Prompter& owner, bool readOnly = true);
    // Ends reading, or commits what was written: the previous file (if any) is copied to
    // name + ".bak" through a temporary file renamed over it, then the new content goes to a
    // temporary file in the same folder, is flushed to the disk and renamed over the name. 3 when
    // any of it fails; the previous file and its ".bak" are then as they were.
    SetupFileStatus Close(Prompter& owner);
    // Ends writing without touching the disk: the previous file and ".bak" stay as they were.
    void Discard();

    // Writing. Every writer refuses (13, message shown, nothing written) what would not read
    // back as it was meant.
    SetupFileStatus WriteLine(const std::string& text, bool addLineEnd, Prompter& owner);
    SetupFileStatus WriteSectionMarker(SectionId id, Prompter& owner);
    // A value line; refuses a value the restore would refuse (NaN, infinite, magnitude 1e8 or
    // more), naming the register.
    SetupFileStatus WriteValueLine(int reg, float value, const std::string& label,
                                   const std::string& text, const std::string& unit,
                                   Prompter& owner);
    // A string line; refuses a text with TAB, CR or LF, naming the register.
    SetupFileStatus WriteStringLine(int reg, const std::string& text, const std::string& label,
                                    Prompter& owner);
    // The eight lines of the user's information (fewer are filled with empty lines, more are
    // dropped), each as UserInfoFileLine makes it, with CR LF. No marker, no end line.
    SetupFileStatus WriteUserInfo(const std::vector<std::string>& lines, Prompter& owner);

    // "[" + name + "]"; "" for an identifier outside the table.
    static std::string SectionMarker(SectionId id);
    // The lines without their line end. TAB, CR and LF inside label, text and unit become spaces,
    // and each of them is cut to 120 bytes, so a line always fits (real labels are far shorter).
    static std::string FormatValueLine(int reg, float value, const std::string& label,
                                       const std::string& text, const std::string& unit);
    static std::string FormatStringLine(int reg, const std::string& text, const std::string& label);
    // One line of the user's information as it is stored: line breaks become spaces, a line that
    // begins with "[" gets a space in front (a marker is only recognised in column 1, so typed
    // text can never open or close a section), and the result is cut to 145 characters.
    static std::string UserInfoFileLine(const std::string& line);
    // Splits a text box's content at CR LF, CR or LF.
    static std::vector<std::string> SplitLines(const std::string& text);
    // Local time as "%Y-%m-%d  %H:%M:%S" (the FILE_ID and FILE_OK lines).
    static std::string TimeText(std::time_t when);

    // Reading.
    // The next line with its line end; skipFields times the text up to the first TAB is dropped.
    // 0, 1, 2, 5 (no line end within 400 bytes) or 6.
    SetupFileStatus ReadLine(std::string& line, Prompter& owner, int skipFields = 0);
    // Positions the file after the section's marker line, searching from the start. 0, 1, 2, 5
    // or 10.
    SetupFileStatus FindSection(SectionId id, Prompter& owner);
    // The section's lines joined, each with its line end. 0, 5, 10 or a read failure.
    SetupFileStatus ReadSectionText(std::string& text, SectionId id, Prompter& owner,
                                    int skipFields = 0);
    // 0 when the section exists and the first marker after it is the end line; 10 or 12.
    SetupFileStatus CheckSection(SectionId id, Prompter& owner);
    // The mandatory sections FILE_ID, INSTR_ID, USER_INFO, SET_UP and FILE_OK, each closed by its
    // end line. 0 or 9 (with "Selected file is not a valid set-up file\n(<file>)" when
    // showMessage is set).
    SetupFileStatus Validate(bool showMessage, Prompter& owner);
    // The next line of the current section as a value line. 0, 11 (end line) or 5.
    SetupFileStatus ReadRegisterValue(int& reg, float& value, Prompter& owner);
    // The next line of the current section as a string line: the text between the first and the
    // second TAB, exactly. 0, 11 or 5.
    SetupFileStatus ReadRegisterText(int& reg, std::string& text, Prompter& owner);
    // The next line of the current section as text. 0, 11 or 5 (another marker).
    SetupFileStatus ReadTextLine(std::string& text, Prompter& owner, int skipFields = 0,
                                 bool stripLineEnd = true);

    // The identification block from the INSTR_ID section; 0, or 9 for anything that is not a
    // complete block (with the "not a valid set-up file" message when showMessages is set).
    SetupFileStatus LoadInstrumentInfo(InstrumentInfo& info, bool showMessages, Prompter& owner);

private:
    SetupFileStatus ReadRawLine(std::string& line, Prompter& owner);
    // Splits data_ into lines up to the first that cannot be one; records the section markers.
    void IndexLines();
    // ReadRawLine inside a section: kEndLine for the section's end line.
    SetupFileStatus ReadSectionLine(std::string& line, Prompter& owner);
    SetupFileStatus DataError(Prompter& owner);
    SetupFileStatus Write(const std::string& bytes, Prompter& owner);

    std::string name_;
    bool hasName_ = false;
    // Reading: the file's bytes, where each readable line starts (one more entry for the end of
    // the last), whether a line that cannot be one follows them, the next line to read and the
    // first marker line of each section (-1: none before the end or the bad line).
    bool reading_ = false;
    std::string data_;
    std::vector<size_t> lineStarts_;
    bool badLine_ = false;
    size_t next_ = 0;
    long sectionLine_[9] = {};
    // Writing: the new content and the lock on the name.
    bool writing_ = false;
    std::string out_;
    FileLock lock_;
};

// The set-up file as the identification-block loader reads it (LoadInstrumentInfoFromRecords):
// the same file, its statuses as plain numbers.
class SetupFileRecords : public SetupRecordReader {
public:
    SetupFileRecords(SetupFile& file, Prompter& owner) : file_(file), owner_(owner) {}
    int FindSection(int sectionId, Prompter* owner) override;
    int ReadRegisterValue(int& reg, float& value, Prompter* owner) override;
    std::string FileName() const override { return file_.FileName(); }

private:
    Prompter& Box(Prompter* owner) const { return owner ? *owner : owner_; }

    SetupFile& file_;
    Prompter& owner_;
};

} // namespace quarnex
