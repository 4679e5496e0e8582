#include "files/Restore.h"

#include "comm/ModbusMaster.h"
#include "files/Backup.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "instrument/SetupParameterTable.h"
#include "instrument/ValueFormat.h"
#include "res/FileTextIds.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <cstdio>

namespace quarnex {

namespace {

constexpr int kFirstFileRegister = 41000;
constexpr int kLastFileRegister = 49998;
constexpr int kLastBatchRegister = 41460;
constexpr int kLastRecipeRegister = 41582;
constexpr int kTextRegisters = 6;
constexpr int kRetries = 3;
constexpr int kCommandErrorSetToDefault = 166;

// The ports' settings: mode, baud rate and data format, three values from each port's mode.
constexpr int kPortModes[] = {param::kCom1Mode, param::kCom1Mode + 3, param::kCom1Mode + 6,
                              param::kCom1Mode + 10};
constexpr int kLastLinkParameter = param::kCom1Mode + 12;
// "COMn: Mode:" choices on which the instrument answers the master.
constexpr int kModeModbus = 1;
constexpr int kModeModbusAuto = 2;

bool InRange(int reg, int first, int count, int step) {
    return count > 0 && reg >= first && reg <= first + step * (count - 1);
}

std::string Counter(const std::string& label, int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%5d", n);
    return label + buffer;
}

int NotTypeText(InstrumentType type) {
    switch (type) {
    case itype::kPir7:
        return ids::kNotPir;
    case itype::kJov7:
        return ids::kNotJov;
    case itype::kKel7:
        return ids::kNotKel7;
    case itype::kYax7:
        return ids::kNotYax;
    default:
        return 0;
    }
}

int NotFileTypeText(InstrumentType type) {
    switch (type) {
    case itype::kPir7:
        return ids::kNotPirFile;
    case itype::kJov7:
        return ids::kNotJovFile;
    case itype::kKel7:
        return ids::kNotKelFile;
    case itype::kYax7:
        return ids::kNotYaxFile;
    default:
        return 0;
    }
}

// A link value as the set-up sheet shows it: the address as a number, a port's choice by its text.
std::string LinkValueText(int index, float value) {
    const SetupParameterRow& row = SetupParameterTable::Row(index);
    const int choice = static_cast<int>(value);
    if (row.kind == kind::kChoice && choice == value && choice >= 0 &&
        choice <= row.finalChoice - row.firstChoice)
        return Text(row.firstChoice + choice);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", static_cast<double>(value));
    return buffer;
}

} // namespace

std::string RestoreCaption(InstrumentType type, int address) {
    int caption = 0;
    switch (type) {
    case itype::kPir7:
        caption = ids::kPirRestoreCaption;
        break;
    case itype::kJov7:
        caption = ids::kJovRestoreCaption;
        break;
    case itype::kKel7:
        caption = ids::kKelRestoreCaption;
        break;
    case itype::kYax7:
        caption = ids::kYaxRestoreCaption;
        break;
    default:
        return Text(ids::kUnknownRestoreCaption);
    }
    return Text(caption) + " " + std::to_string(address);
}

FileChooser::Request RestoreFileRequest(InstrumentType type, const std::string& current) {
    return BackupFileRequest(type, current);
}

Restore::Restore(ModbusMaster& bus, int address, InstrumentType type, Prompter& owner,
                 Progress& progress)
    : bus_(bus), address_(address), type_(type), owner_(owner), progress_(progress) {}

void Restore::SetFileName(const std::string& fileName) {
    if (fileName.empty())
        file_.ClearFileName();
    else
        file_.SetFileName(fileName);
}

bool Restore::LoadFile(const std::string& fileName, std::string& infoText) {
    infoText.clear();
    file_.SetFileName(fileName);
    bool ok = file_.OpenForRead(owner_) == SetupFileStatus::kOk;
    if (ok)
        ok = file_.Validate(true, owner_) == SetupFileStatus::kOk &&
             file_.ReadSectionText(infoText, SectionId::kUserInfo, owner_) == SetupFileStatus::kOk;
    if (file_.IsOpen())
        file_.Close(owner_);
    if (!ok) {
        infoText.clear();
        file_.ClearFileName();
    }
    return ok;
}

int Restore::RestoredTotal() const {
    int total = 0;
    for (int n : restored_)
        total += n;
    return total;
}

bool Restore::KeepValue(SectionId id, int reg) const {
    const InstrumentInfo& i = instrumentInfo_;
    switch (id) {
    case SectionId::kSetUp:
        return InRange(reg, i.firstNormalRegister, i.normalCount, 2) ||
               InRange(reg, i.firstSpecialRegister, i.specialCount, 2);
    case SectionId::kBatchSetUp:
        return reg >= reg::kBatchGeneral && reg <= kLastBatchRegister;
    case SectionId::kRecipeSetUp:
        return reg >= reg::kRecipeSelector && reg <= kLastRecipeRegister;
    default:
        return false;
    }
}

// Reads one value section into the buffer. False on a read failure or an invalid record
// (fileValid then false); a section that is not in the file is no failure.
bool Restore::ReadValues(SectionId id, bool& fileValid) {
    const SetupFileStatus found = file_.FindSection(id, owner_);
    if (found == SetupFileStatus::kSectionNotFound)
        return true;
    if (found != SetupFileStatus::kOk)
        return fileValid = false;
    for (;;) {
        int reg = 0;
        float value = 0.0f;
        const SetupFileStatus s = file_.ReadRegisterValue(reg, value, owner_);
        if (s == SetupFileStatus::kEndLine)
            return true;
        if (s != SetupFileStatus::kOk || static_cast<int>(buffer_.size()) >= kBufferSize ||
            reg % 2 != 0 || reg < kFirstFileRegister || reg > kLastFileRegister)
            return fileValid = false;
        // The activity and recipe numbers are selectors, not values of the set-up.
        const bool selector = (id == SectionId::kBatchSetUp && reg == reg::kActivitySelector) ||
                              (id == SectionId::kRecipeSetUp && reg == reg::kRecipeSelector);
        if (!selector)
            ++fileCount_;
        if (KeepValue(id, reg))
            buffer_.push_back({reg, value});
        if (id == SectionId::kSetUp)
            for (LinkValue& v : link_)
                if (reg == instrumentInfo_.firstNormalRegister + 2 * v.index) {
                    v.file = value;
                    v.inFile = true;
                }
    }
}

bool Restore::ReadStrings(bool& fileValid) {
    const SetupFileStatus found = file_.FindSection(SectionId::kStrSetUp, owner_);
    if (found == SetupFileStatus::kSectionNotFound)
        return true;
    if (found != SetupFileStatus::kOk)
        return fileValid = false;
    const InstrumentInfo& i = instrumentInfo_;
    for (;;) {
        int reg = 0;
        std::string text;
        const SetupFileStatus s = file_.ReadRegisterText(reg, text, owner_);
        if (s == SetupFileStatus::kEndLine)
            return true;
        if (s != SetupFileStatus::kOk || static_cast<int>(strings_.size()) >= kStringBufferSize ||
            reg < kFirstFileRegister || reg > kLastFileRegister)
            return fileValid = false;
        ++fileCount_;
        if (InRange(reg, i.firstStringRegister, i.stringCount, kTextRegisters) &&
            (reg - i.firstStringRegister) % kTextRegisters == 0)
            strings_.push_back({reg, text});
    }
}

bool Restore::ReadSelectedSections(const RestoreSelection& selection) {
    if (file_.OpenForRead(owner_) != SetupFileStatus::kOk) {
        owner_.Error(Text(ids::kRestoreFailed));
        return false;
    }
    bool valid = file_.Validate(false, owner_) == SetupFileStatus::kOk;
    if (valid) {
        SetupFileRecords records(file_, owner_);
        valid = LoadInstrumentInfoFromRecords(records, fileInfo_, false, owner_) == 0;
    }
    if (valid && selection.setup)
        ReadValues(SectionId::kSetUp, valid);
    if (valid && selection.batching)
        ReadValues(SectionId::kBatchSetUp, valid);
    if (valid && selection.recipes)
        ReadValues(SectionId::kRecipeSetUp, valid);
    if (valid && selection.strings)
        ReadStrings(valid);
    file_.Close(owner_);
    if (!valid) {
        owner_.Error(Text(ids::kRestoreFailed) + "\n" + Text(ids::kNotValidSetupFile));
        return false;
    }
    return true;
}

// The instrument's address and, for every port it answers the master on, the port's mode, baud
// rate and data format: what a restore must not change behind the user's back.
bool Restore::ReadLinkValues() {
    link_.clear();
    const InstrumentInfo& i = instrumentInfo_;
    link_.push_back({.index = param::kAddress, .instrument = static_cast<float>(address_)});
    if (i.normalCount <= kLastLinkParameter)
        return true;
    constexpr int kCount = kLastLinkParameter - param::kAddress + 1;
    float values[kCount] = {};
    const CommStatus s = bus_.ReadFloatRegisters(
        address_, i.firstNormalRegister + 2 * param::kAddress, kCount, values,
        {.retries = kRetries, .showRetryBox = true, .owner = &owner_});
    if (s != CommStatus::Ok)
        return false;
    link_[0].instrument = values[0];
    for (int mode : kPortModes) {
        const float m = values[mode - param::kAddress];
        if (m != kModeModbus && m != kModeModbusAuto)
            continue;
        for (int k = mode; k < mode + 3; ++k)
            link_.push_back({.index = k, .instrument = values[k - param::kAddress]});
    }
    return true;
}

// The paragraph the restore question starts with when the file comes from another instrument
// (another serial number, or another address in its set-up); empty when it does not.
std::string Restore::OtherInstrumentText(bool take) const {
    const LinkValue& address = link_.front();
    const bool otherSerial = fileInfo_.serialNumber != instrumentInfo_.serialNumber;
    const bool otherAddress = address.inFile && address.file != address.instrument;
    if (!otherSerial && !otherAddress)
        return {};
    const std::string fileAddress =
        address.inFile ? LinkValueText(param::kAddress, address.file) : std::string("-");
    std::string text =
        Text(ids::kOtherInstrumentFile) + "\n" +
        FormatText(Text(ids::kFileIdentity),
                   {FormatSerialNumber(fileInfo_.serialNumber), fileAddress}) +
        "\n" +
        FormatText(Text(ids::kInstrumentIdentity),
                   {FormatSerialNumber(instrumentInfo_.serialNumber), std::to_string(address_)}) +
        "\n";
    if (take && otherAddress)
        text += FormatText(Text(ids::kTakesLinkSettings), {fileAddress});
    else if (!take)
        text += Text(ids::kKeepsLinkSettings);
    return text + "\n\n";
}

// The file's link values give way to the instrument's own: the records are written all the
// same (the counts stay those of the file), with the values the instrument already has.
void Restore::KeepLinkValues() {
    for (Record& r : buffer_)
        for (const LinkValue& v : link_)
            if (r.reg == instrumentInfo_.firstNormalRegister + 2 * v.index)
                r.value = v.instrument;
}

std::string Restore::LinkReport(bool take) const {
    std::string text;
    for (const LinkValue& v : link_) {
        if (!v.inFile || v.file == v.instrument)
            continue;
        const std::string label = Text(SetupParameterTable::Row(v.index).label);
        const std::string file = LinkValueText(v.index, v.file);
        const std::string own = LinkValueText(v.index, v.instrument);
        text += "\n" + (take ? FormatText(Text(ids::kTookLinkValue), {label, file, own})
                             : FormatText(Text(ids::kKeptLinkValue), {label, own, file}));
    }
    return text.empty() ? text : "\n" + text;
}

void Restore::Step(int values) {
    written_ += values;
    progress_.SetPos(written_);
}

bool Restore::WriteValueRange(int first, int last, int& restored) {
    std::vector<float> block;
    int blockFirst = 0;
    int selectors = 0;
    auto flush = [&]() {
        if (block.empty())
            return true;
        // A stop asked for ends the writing like a failure: the instrument takes back its set-up.
        if (progress_.CancelAsked())
            return false;
        const CommStatus s = bus_.WriteFloatRegisters(
            address_, blockFirst, static_cast<int>(block.size()), block.data(),
            {.retries = kRetries, .showRetryBox = true, .owner = &owner_});
        if (s != CommStatus::Ok) {
            bus_.ReportLinkError(s, {}, false, &owner_);
            bus_.ReportExceptionError(s, {}, &owner_);
            return false;
        }
        restored += static_cast<int>(block.size()) - selectors;
        Step(static_cast<int>(block.size()));
        block.clear();
        selectors = 0;
        return true;
    };
    for (const Record& r : buffer_) {
        if (r.reg < first || r.reg > last)
            continue;
        const bool continues =
            !block.empty() && r.reg == blockFirst + 2 * static_cast<int>(block.size());
        if (!continues && !flush())
            return false;
        if (block.empty())
            blockFirst = r.reg;
        block.push_back(r.value);
        if (r.reg == reg::kActivitySelector || r.reg == reg::kRecipeSelector)
            ++selectors;
        if (static_cast<int>(block.size()) == kBlockValues && !flush())
            return false;
    }
    return flush();
}

bool Restore::WriteStringRange(int first, int last, int& restored) {
    for (const StringRecord& s : strings_) {
        if (s.reg < first || s.reg > last)
            continue;
        if (progress_.CancelAsked() ||
            !WriteTextRegisters(bus_, address_, s.reg, kTextRegisters, s.text, true, &owner_))
            return false;
        ++restored;
        Step(1);
    }
    return true;
}

bool Restore::WriteAll(const RestoreSelection&) {
    const InstrumentInfo& i = instrumentInfo_;
    progress_.SetRange(0, static_cast<int>(buffer_.size() + strings_.size()));
    progress_.SetText(Text(ids::kWritingSetup));
    progress_.SetPos(0);
    if (i.normalCount > 0 &&
        !WriteValueRange(i.firstNormalRegister, i.firstNormalRegister + 2 * (i.normalCount - 1),
                         restored_[0]))
        return false;
    if (i.specialCount > 0 &&
        !WriteValueRange(i.firstSpecialRegister, i.firstSpecialRegister + 2 * (i.specialCount - 1),
                         restored_[1]))
        return false;
    if (i.batchCount > 0 &&
        (!WriteValueRange(reg::kBatchGeneral, kLastBatchRegister, restored_[2]) ||
         !WriteValueRange(reg::kRecipeSelector, kLastRecipeRegister, restored_[3])))
        return false;
    if (i.stringCount > 0 &&
        !WriteStringRange(i.firstStringRegister,
                          i.firstStringRegister + kTextRegisters * (i.stringCount - 1),
                          restored_[4]))
        return false;
    return true;
}

Restore::Result Restore::FailInRemote() {
    // Leaving without saving makes the instrument take back the set-up it had; what it did is
    // read back when the answer does not say, and the user is told what the state shows.
    const ModeOutcome left =
        SendModeCommand(bus_, address_, coil::kLeaveWithoutSaving,
                        {.retries = kRetries, .owner = &owner_}, {}, {}, nullptr);
    const std::string failed = Text(ids::kRestoreFailed) + "\n";
    switch (left) {
    case ModeOutcome::Done:
        owner_.Error(failed + Text(ids::kPreviousReconstructed));
        break;
    case ModeOutcome::NotDone:
        owner_.Error(failed + Text(ids::kStillInRemoteRestore));
        break;
    case ModeOutcome::StateUnknown:
        owner_.Error(failed + Text(ids::kRestoreStateUnknown));
        break;
    }
    return Result::Failed;
}

Restore::Result Restore::Run(const RestoreSelection& selection, bool showReport) {
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    strings_.clear();
    fileCount_ = 0;
    instrumentTotal_ = 0;
    for (int& n : restored_)
        n = 0;
    setToDefault_ = false;
    written_ = 0;
    report_.clear();
    fileInfo_.Clear();
    instrumentInfo_.Clear();
    link_.clear();

    const std::string failed = Text(ids::kRestoreFailed);
    if (!file_.HasFileName()) {
        owner_.Error(failed + "\r\n" + Text(ids::kNoFileSelected));
        return Result::NoFile;
    }
    if (!selection.Any()) {
        owner_.Error(failed + "\r\n" + Text(ids::kNoDataToRestore));
        return Result::Stopped;
    }
    // The instrument and the file are read before the question: only then can it say that the
    // file comes from another instrument, and what becomes of the address. Nothing is written
    // before the answer.
    if (!ReadInstrumentInfo(bus_, address_, &owner_, instrumentInfo_)) {
        owner_.Error(failed + "\r\n" + Text(ids::kCommunicationErrorShort));
        return Result::Failed;
    }
    if (const int text = NotTypeText(type_); text && instrumentInfo_.type != type_) {
        owner_.Error(failed + "\n" + Text(text));
        return Result::Failed;
    }
    if (!ReadLinkValues()) {
        owner_.Error(failed + "\r\n" + Text(ids::kCommunicationErrorShort));
        return Result::Failed;
    }
    if (!ReadSelectedSections(selection))
        return Result::Failed;
    if (const int text = NotFileTypeText(type_); text && fileInfo_.type != type_) {
        owner_.Error(failed + "\n" + Text(text));
        return Result::Failed;
    }
    const bool take = selection.takeLinkSettings;
    if (!owner_.AskDestructive(Prompter::Icon::Exclamation, OtherInstrumentText(take) +
                                                                Text(ids::kRestoreQuestion) + " " +
                                                                std::to_string(address_) + " ?"))
        return Result::Stopped;
    if (!take)
        KeepLinkValues();

    const InstrumentInfo& f = fileInfo_;
    const InstrumentInfo& i = instrumentInfo_;
    int question = 0;
    if (f.setupVersion != i.setupVersion)
        question = ids::kVersionMismatch;
    else if ((f.specialCount > 0) != (i.specialCount > 0) ||
             (f.specialCount > 0 &&
              (f.programNumber != i.programNumber || f.programVersion != i.programVersion)))
        question = ids::kFileMismatch;
    if (question && !owner_.AskDestructive(Prompter::Icon::Exclamation, Text(question)))
        return Result::Stopped;

    if (progress_.CancelAsked())
        return Result::Stopped;
    const TransactionOptions command{.retries = kRetries, .showRetryBox = true, .owner = &owner_};
    int state = -1;
    switch (SendModeCommand(bus_, address_, coil::kEnterRemoteRestore, command, failed + "\n",
                            failed + "\n" + Text(ids::kCommunicationErrorShort), &state)) {
    case ModeOutcome::Done:
        break; // in remote restore, whether the answer came or not
    case ModeOutcome::NotDone:
        return Result::Failed;
    case ModeOutcome::StateUnknown:
        // It may have entered remote restore: leaving it costs nothing when it did not.
        return FailInRemote();
    }

    if (!WriteAll(selection))
        return FailInRemote();

    if (type_ != itype::kPir7) {
        const TransactionOptions options{
            .retries = kRetries, .showRetryBox = true, .owner = &owner_};
        const CommStatus s = bus_.WriteSingleCoil(address_, coil::kCheckSetup, true, options);
        if (s == CommStatus::IllegalDataValue || s == CommStatus::NegativeAcknowledge) {
            uint16_t code = 0;
            if (bus_.ReadHoldingRegisters(address_, reg::kCommandError, 1, &code, options) !=
                CommStatus::Ok)
                return FailInRemote();
            if (code == kCommandErrorSetToDefault)
                setToDefault_ = true;
        } else if (s != CommStatus::Ok) {
            return FailInRemote();
        }
    }
    // A lost answer to the save is answered by the state: out of remote restore means saved.
    const ModeOutcome saved =
        SendModeCommand(bus_, address_, coil::kLeaveAndSave, command, failed + "\n", {}, &state);
    if (saved == ModeOutcome::NotDone)
        return FailInRemote();
    if (saved == ModeOutcome::StateUnknown) {
        owner_.Error(failed + "\n" + Text(ids::kSaveStateUnknown));
        return Result::Failed;
    }

    if (selection.setup)
        instrumentTotal_ += i.normalCount + i.specialCount;
    if (selection.batching)
        instrumentTotal_ += InstrumentSetup::kBatchValues;
    if (selection.recipes)
        instrumentTotal_ += InstrumentSetup::kRecipeValues;
    if (selection.strings)
        instrumentTotal_ += i.stringCount;
    const int restored = RestoredTotal();
    const bool warnings = setToDefault_ || fileCount_ != instrumentTotal_ || fileCount_ != restored;
    report_ = Text(warnings ? ids::kRestoreWarnings : ids::kRestoreSuccessful) + "\n\n" +
              Counter(Text(ids::kParametersInFile), fileCount_) + "\n" +
              Counter(Text(ids::kParametersInInstrument), instrumentTotal_) + "\n" +
              Counter(Text(ids::kRestoredParameters), restored);
    if (warnings && setToDefault_)
        report_ += "\n\n" + Text(ids::kSetToDefaultNote);
    report_ += LinkReport(take);
    if (showReport)
        owner_.Message(warnings ? Prompter::Icon::Exclamation : Prompter::Icon::Information,
                       report_);
    return warnings ? Result::Warnings : Result::Succeeded;
}

} // namespace quarnex
