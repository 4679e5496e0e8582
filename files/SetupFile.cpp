#include "files/SetupFile.h"

#include "res/FileTextIds.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>

namespace quarnex {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr size_t kDisplayFieldBytes = 120;
const char* const kWhiteSpace = " \t\r\n\v\f";

bool BeginsWith(const std::string& s, const std::string& prefix) {
    return !prefix.empty() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(kWhiteSpace);
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(kWhiteSpace);
    return s.substr(b, e - b + 1);
}

// "%f" in the C locale whatever locale the program runs in: the file is read on other machines.
std::string FixedSix(double value) {
    char buffer[400];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("0.000000");
}

// A display field that cannot break its line: no TAB or line end in it, and bounded.
std::string DisplayField(const std::string& s) {
    std::string out = s.substr(0, kDisplayFieldBytes);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return out;
}

// A whole token as a decimal integer: optional sign, digits, nothing else, within int.
bool ParseInteger(const std::string& token, int& out) {
    const char* first = token.data();
    const char* last = first + token.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last || (*first == '-' && first + 1 == last))
        return false;
    const auto r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last;
}

// A whole token as a decimal floating-point number: [sign] digits [. digits] [e [sign] digits]
// with at least one digit in the mantissa. No hexadecimal, no "inf" or "nan".
bool ParseDecimal(const std::string& token, double& out) {
    size_t i = 0;
    const size_t n = token.size();
    const auto digits = [&] {
        const size_t start = i;
        while (i < n && token[i] >= '0' && token[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < n && (token[i] == '+' || token[i] == '-'))
        ++i;
    size_t mantissa = digits();
    if (i < n && token[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < n && (token[i] == '+' || token[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    if (i != n)
        return false;
    const char* first = token.data();
    if (*first == '+')
        ++first;
    const auto r = std::from_chars(first, token.data() + n, out, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == token.data() + n && std::isfinite(out);
}

std::string DropFields(std::string line, int skipFields) {
    for (int i = 0; i < skipFields; ++i) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            break;
        line.erase(0, tab + 1);
    }
    return line;
}

} // namespace

void SetupFile::SetFileName(const std::string& name) {
    name_ = name;
    hasName_ = true;
}

void SetupFile::ClearFileName() {
    name_.clear();
    hasName_ = false;
}

namespace {

// The message for a name that is not a regular file, or too large, or locked.
void Refuse(const std::string& name, FileAccess::PathKind kind, Prompter& owner) {
    owner.Error(FormatText(Text(ids::kNotARegularFile), {name, FileAccess::PathKindText(kind)}));
}

} // namespace

SetupFileStatus SetupFile::OpenForWrite(Prompter& owner) {
    if (!hasName_) {
        owner.Error(Text(ids::kNoFileSelected));
        return SetupFileStatus::kNoFileName;
    }
    Close(owner);
    Discard();
    FileAccess::PathKind kind = FileAccess::PathKind::Unknown;
    const std::string copy = name_ + "." + "bak";
    // The copy is renamed over ".bak": a link there is replaced, anything else but a file is in
    // the way.
    const FileAccess::PathKind copyKind = FileAccess::Inspect(copy);
    if (copyKind != FileAccess::PathKind::Absent && copyKind != FileAccess::PathKind::Regular &&
        copyKind != FileAccess::PathKind::SymbolicLink) {
        Refuse(copy, copyKind, owner);
        owner.Error(FormatText(Text(ids::kBackupCopyFailed), {copy}));
        return SetupFileStatus::kOpenFailed;
    }
    int64_t size = 0;
    if (FileAccess::Inspect(name_, &size) == FileAccess::PathKind::Regular &&
        static_cast<uint64_t>(size) > kMaxFileBytes) {
        owner.Error(FormatText(Text(ids::kFileTooLarge), {name_}));
        return SetupFileStatus::kOpenFailed;
    }
    switch (lock_.LockForWrite(name_, kind, owner)) {
    case FileLock::Result::Locked:
        // With the lock held no other backup writes this file: temporary files of it are what
        // a killed one left behind.
        FileAccess::RemoveLeftTemporaries(name_);
        FileAccess::RemoveLeftTemporaries(copy);
        break;
    case FileLock::Result::NotRegular:
        Refuse(name_, kind, owner);
        return SetupFileStatus::kOpenFailed;
    case FileLock::Result::InUse:
        owner.Error(FormatText(Text(ids::kFileInUse), {name_}));
        return SetupFileStatus::kOpenFailed;
    case FileLock::Result::Failed:
        return SetupFileStatus::kOpenFailed;
    }
    writing_ = true;
    out_.clear();
    return SetupFileStatus::kOk;
}

void SetupFile::Discard() {
    writing_ = false;
    out_.clear();
    out_.shrink_to_fit();
    lock_.Release();
}

SetupFileStatus SetupFile::OpenForRead(Prompter& owner, bool) {
    if (!hasName_) {
        owner.Error(Text(ids::kNoFileSelected));
        return SetupFileStatus::kNoFileName;
    }
    Close(owner);
    FileAccess::PathKind kind = FileAccess::PathKind::Unknown;
    switch (FileAccess::ReadWhole(name_, kMaxFileBytes, data_, kind, owner)) {
    case FileAccess::WholeResult::Ok:
        break;
    case FileAccess::WholeResult::NotRegular:
        Refuse(name_, kind, owner);
        return SetupFileStatus::kOpenFailed;
    case FileAccess::WholeResult::TooLarge:
        owner.Error(FormatText(Text(ids::kFileTooLarge), {name_}));
        return SetupFileStatus::kOpenFailed;
    case FileAccess::WholeResult::InUse:
        owner.Error(FormatText(Text(ids::kFileInUse), {name_}));
        return SetupFileStatus::kOpenFailed;
    case FileAccess::WholeResult::Failed:
        return SetupFileStatus::kOpenFailed;
    }
    IndexLines();
    reading_ = true;
    return SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::Close(Prompter& owner) {
    if (reading_) {
        reading_ = false;
        data_.clear();
        data_.shrink_to_fit();
        lineStarts_.clear();
        return SetupFileStatus::kOk;
    }
    if (!writing_)
        return SetupFileStatus::kOk;
    const std::string copy = name_ + "." + "bak";
    // The new file is complete on the disk before anything is replaced.
    std::string temp;
    bool ok = FileAccess::WriteTemporary(name_, out_, lock_.Mode(), temp, owner);
    // The previous file is the one good backup the user may have: when it cannot be kept, it
    // is not replaced either.
    if (ok && lock_.Existed()) {
        std::string previous;
        if (!lock_.ReadLocked(kMaxFileBytes, previous, owner) ||
            !FileAccess::ReplaceFile(copy, previous, lock_.Mode(), owner, false)) {
            owner.Error(FormatText(Text(ids::kBackupCopyFailed), {copy}));
            ok = false;
        }
    }
    // A new file appears only now, whole; one that another program put there meanwhile stays.
    ok = FileAccess::FinishTemporary(temp, name_, ok, owner, true, lock_.Existed()) && ok;
    writing_ = false;
    out_.clear();
    out_.shrink_to_fit();
    lock_.Release();
    return ok ? SetupFileStatus::kOk : SetupFileStatus::kWriteFailed;
}

// ---- writing ----

SetupFileStatus SetupFile::Write(const std::string& bytes, Prompter& owner) {
    if (bytes.size() > kMaxLineBytes) {
        owner.Error(Text(ids::kLineTooLong));
        return SetupFileStatus::kNotStorable;
    }
    if (!writing_) {
        owner.Error(std::strerror(EBADF));
        return SetupFileStatus::kWriteFailed;
    }
    if (out_.size() + bytes.size() > kMaxFileBytes) {
        owner.Error(FormatText(Text(ids::kFileTooLarge), {name_}));
        return SetupFileStatus::kWriteFailed;
    }
    out_ += bytes;
    return SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::WriteLine(const std::string& text, bool addLineEnd, Prompter& owner) {
    return Write(addLineEnd ? text + kLineEnd : text, owner);
}

SetupFileStatus SetupFile::WriteSectionMarker(SectionId id, Prompter& owner) {
    return WriteLine(SectionMarker(id), true, owner);
}

SetupFileStatus SetupFile::WriteValueLine(int reg, float value, const std::string& label,
                                          const std::string& text, const std::string& unit,
                                          Prompter& owner) {
    if (!std::isfinite(value) || std::fabs(static_cast<double>(value)) >= kValueLimit) {
        const std::string shown = std::isnan(value) ? "NaN" : FixedSix(value);
        owner.Error(
            FormatText(Text(ids::kValueNotStorable),
                       {std::to_string(reg), std::isinf(value) ? std::string("infinite") : shown}));
        return SetupFileStatus::kNotStorable;
    }
    return WriteLine(FormatValueLine(reg, value, label, text, unit), true, owner);
}

SetupFileStatus SetupFile::WriteStringLine(int reg, const std::string& text,
                                           const std::string& label, Prompter& owner) {
    if (text.find_first_of("\t\r\n") != std::string::npos) {
        owner.Error(FormatText(Text(ids::kTextNotStorable), {std::to_string(reg)}));
        return SetupFileStatus::kNotStorable;
    }
    return WriteLine(FormatStringLine(reg, text, label), true, owner);
}

SetupFileStatus SetupFile::WriteUserInfo(const std::vector<std::string>& lines, Prompter& owner) {
    for (int i = 0; i < kUserInfoLines; ++i) {
        const std::string line =
            i < static_cast<int>(lines.size()) ? UserInfoFileLine(lines[i]) : std::string();
        const SetupFileStatus status = WriteLine(line, true, owner);
        if (status != SetupFileStatus::kOk)
            return status;
    }
    return SetupFileStatus::kOk;
}

std::string SetupFile::SectionMarker(SectionId id) {
    // The section names in the order of their identifiers.
    static constexpr const char* kNames[] = {"End",          "FILE_ID",       "USER_INFO",
                                             "INSTR_ID",     "SET_UP",        "STR_SET_UP",
                                             "BATCH_SET_UP", "RECIPE_SET_UP", "FILE_OK"};
    static_assert(std::size(kNames) == static_cast<size_t>(SectionId::kFileOk) + 1);
    const auto index = static_cast<size_t>(id); // a negative number wraps far out of the table
    if (index >= std::size(kNames))
        return {};
    return std::string("[") + kNames[index] + "]";
}

std::string SetupFile::FormatValueLine(int reg, float value, const std::string& label,
                                       const std::string& text, const std::string& unit) {
    return std::to_string(reg) + "\t" + FixedSix(static_cast<double>(value)) + "\t" +
           DisplayField(label) + "\t" + DisplayField(text) + " " + DisplayField(unit);
}

std::string SetupFile::FormatStringLine(int reg, const std::string& text,
                                        const std::string& label) {
    const std::string shown = DisplayField(text);
    return std::to_string(reg) + "\t" + shown + "\t" + DisplayField(label) + "\t" + shown;
}

std::string SetupFile::UserInfoFileLine(const std::string& line) {
    std::string out = line;
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    if (!out.empty() && out[0] == '[')
        out.insert(0, " ");
    if (out.size() > kUserInfoChars)
        out.resize(kUserInfoChars);
    return out;
}

std::vector<std::string> SetupFile::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

std::string SetupFile::TimeText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d  %H:%M:%S", &local);
    return std::string(buffer, n);
}

// ---- reading ----

SetupFileStatus SetupFile::DataError(Prompter& owner) {
    owner.Error(Text(ids::kFileDataError) + ": " + name_);
    return SetupFileStatus::kDataError;
}

void SetupFile::IndexLines() {
    lineStarts_.clear();
    badLine_ = false;
    next_ = 0;
    const size_t size = data_.size();
    size_t at = 0;
    lineStarts_.push_back(0);
    while (at < size) {
        // One byte more than a line may take: a CR in the last place followed by LF is a CR LF
        // line end that does not fit, not a CR line end followed by an empty line.
        const size_t got = std::min(size - at, kMaxLineBytes + 1);
        const size_t scan = std::min(got, kMaxLineBytes);
        const char* p = data_.data() + at;
        size_t end = 0;
        while (end < scan && p[end] != '\r' && p[end] != '\n')
            ++end;
        if (end == scan ||
            (p[end] == '\r' && end + 1 < got && p[end + 1] == '\n' && end + 1 >= kMaxLineBytes)) {
            // Nothing after this can be read: the rest of the file is not looked at.
            badLine_ = true;
            break;
        }
        if (p[end] == '\r' && end + 1 < got && p[end + 1] == '\n')
            ++end;
        at += end + 1;
        lineStarts_.push_back(at);
    }
    for (long& line : sectionLine_)
        line = -1;
    const size_t lines = lineStarts_.size() - 1;
    for (size_t i = 0; i < lines; ++i) {
        if (data_[lineStarts_[i]] != '[')
            continue;
        const std::string_view line(data_.data() + lineStarts_[i],
                                    lineStarts_[i + 1] - lineStarts_[i]);
        for (int id = 0; id < static_cast<int>(std::size(sectionLine_)); ++id) {
            const std::string marker = SectionMarker(static_cast<SectionId>(id));
            if (sectionLine_[id] < 0 && !marker.empty() && line.substr(0, marker.size()) == marker)
                sectionLine_[id] = static_cast<long>(i);
        }
    }
}

SetupFileStatus SetupFile::ReadRawLine(std::string& line, Prompter& owner) {
    line.clear();
    if (!reading_) {
        owner.Error(std::strerror(EBADF));
        return SetupFileStatus::kReadFailed;
    }
    if (next_ + 1 < lineStarts_.size()) {
        line.assign(data_, lineStarts_[next_], lineStarts_[next_ + 1] - lineStarts_[next_]);
        ++next_;
        return SetupFileStatus::kOk;
    }
    return badLine_ ? DataError(owner) : SetupFileStatus::kEndOfFile;
}

SetupFileStatus SetupFile::ReadLine(std::string& line, Prompter& owner, int skipFields) {
    const SetupFileStatus status = ReadRawLine(line, owner);
    if (status == SetupFileStatus::kOk)
        line = DropFields(std::move(line), skipFields);
    return status;
}

SetupFileStatus SetupFile::FindSection(SectionId id, Prompter& owner) {
    const int index = static_cast<int>(id);
    if (SectionMarker(id).empty() || index < 0 ||
        index >= static_cast<int>(std::size(sectionLine_)))
        return SetupFileStatus::kSectionNotFound;
    if (!reading_) {
        owner.Error(std::strerror(EBADF));
        return SetupFileStatus::kSeekFailed;
    }
    if (sectionLine_[index] >= 0) {
        next_ = static_cast<size_t>(sectionLine_[index]) + 1;
        return SetupFileStatus::kOk;
    }
    // Searched from the top, the search ends at the line that cannot be read.
    next_ = lineStarts_.size() - 1;
    return badLine_ ? DataError(owner) : SetupFileStatus::kSectionNotFound;
}

SetupFileStatus SetupFile::ReadSectionText(std::string& text, SectionId id, Prompter& owner,
                                           int skipFields) {
    text.clear();
    SetupFileStatus status = FindSection(id, owner);
    if (status != SetupFileStatus::kOk)
        return status;
    std::string line;
    for (;;) {
        status = ReadRawLine(line, owner);
        if (status != SetupFileStatus::kOk)
            return status;
        // Markers count only in column 1 of the line as it stands in the file.
        if (!line.empty() && line[0] == '[')
            break;
        text += DropFields(std::move(line), skipFields);
    }
    return BeginsWith(line, SectionMarker(SectionId::kEnd)) ? SetupFileStatus::kOk
                                                            : DataError(owner);
}

SetupFileStatus SetupFile::CheckSection(SectionId id, Prompter& owner) {
    SetupFileStatus status = FindSection(id, owner);
    if (status != SetupFileStatus::kOk)
        return status;
    std::string line;
    for (;;) {
        status = ReadRawLine(line, owner);
        if (status == SetupFileStatus::kEndOfFile)
            return SetupFileStatus::kSectionNotClosed;
        if (status != SetupFileStatus::kOk)
            return status;
        if (!line.empty() && line[0] == '[')
            return BeginsWith(line, SectionMarker(SectionId::kEnd))
                       ? SetupFileStatus::kOk
                       : SetupFileStatus::kSectionNotClosed;
    }
}

SetupFileStatus SetupFile::Validate(bool showMessage, Prompter& owner) {
    for (SectionId id : {SectionId::kFileId, SectionId::kInstrId, SectionId::kUserInfo,
                         SectionId::kSetUp, SectionId::kFileOk}) {
        if (CheckSection(id, owner) != SetupFileStatus::kOk) {
            if (showMessage)
                owner.Error(Text(ids::kNotValidSetupFile) + "\n(" + name_ + ")");
            return SetupFileStatus::kNotValid;
        }
    }
    return SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::ReadSectionLine(std::string& line, Prompter& owner) {
    const SetupFileStatus status = ReadRawLine(line, owner);
    if (status != SetupFileStatus::kOk)
        return status;
    return BeginsWith(line, SectionMarker(SectionId::kEnd)) ? SetupFileStatus::kEndLine
                                                            : SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::ReadRegisterValue(int& reg, float& value, Prompter& owner) {
    std::string line;
    const SetupFileStatus status = ReadSectionLine(line, owner);
    if (status != SetupFileStatus::kOk)
        return status;
    const size_t firstEnd = line.find_first_of(" \t\r\n");
    if (firstEnd == std::string::npos)
        return DataError(owner);
    const size_t secondStart = line.find_first_not_of(kWhiteSpace, firstEnd);
    if (secondStart == std::string::npos)
        return DataError(owner);
    const size_t secondEnd = line.find_first_of(" \t\r\n", secondStart);
    if (secondEnd == std::string::npos)
        return DataError(owner);
    int r = 0;
    double v = 0.0;
    if (!ParseInteger(Trim(line.substr(0, firstEnd)), r) ||
        !ParseDecimal(Trim(line.substr(secondStart, secondEnd - secondStart)), v) ||
        !(std::fabs(v) < kValueLimit))
        return DataError(owner);
    reg = r;
    value = static_cast<float>(v);
    return SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::ReadRegisterText(int& reg, std::string& text, Prompter& owner) {
    std::string line;
    const SetupFileStatus status = ReadSectionLine(line, owner);
    if (status != SetupFileStatus::kOk)
        return status;
    const size_t firstTab = line.find('\t');
    if (firstTab == std::string::npos)
        return DataError(owner);
    const size_t secondTab = line.find('\t', firstTab + 1);
    int r = 0;
    if (secondTab == std::string::npos || !ParseInteger(Trim(line.substr(0, firstTab)), r))
        return DataError(owner);
    reg = r;
    text = line.substr(firstTab + 1, secondTab - firstTab - 1);
    return SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::ReadTextLine(std::string& text, Prompter& owner, int skipFields,
                                        bool stripLineEnd) {
    std::string line;
    const SetupFileStatus status = ReadSectionLine(line, owner);
    if (status != SetupFileStatus::kOk)
        return status;
    if (!line.empty() && line[0] == '[') // a marker where the section's end line belongs
        return DataError(owner);
    text = DropFields(std::move(line), skipFields);
    if (stripLineEnd) {
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, kLineEnd) == 0)
            text.resize(text.size() - 2);
        else if (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
    }
    return SetupFileStatus::kOk;
}

SetupFileStatus SetupFile::LoadInstrumentInfo(InstrumentInfo& info, bool showMessages,
                                              Prompter& owner) {
    SetupFileRecords records(*this, owner);
    return LoadInstrumentInfoFromRecords(records, info, showMessages, owner) == 0
               ? SetupFileStatus::kOk
               : SetupFileStatus::kNotValid;
}

int SetupFileRecords::FindSection(int sectionId, Prompter* owner) {
    if (sectionId < static_cast<int>(SectionId::kEnd) ||
        sectionId > static_cast<int>(SectionId::kFileOk))
        return static_cast<int>(SetupFileStatus::kSectionNotFound);
    return static_cast<int>(file_.FindSection(static_cast<SectionId>(sectionId), Box(owner)));
}

int SetupFileRecords::ReadRegisterValue(int& reg, float& value, Prompter* owner) {
    return static_cast<int>(file_.ReadRegisterValue(reg, value, Box(owner)));
}

} // namespace quarnex
