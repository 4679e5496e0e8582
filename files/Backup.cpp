#include "files/Backup.h"

#include "files/SetupFile.h"
#include "files/SetupFileWriter.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/Registers.h"
#include "res/FileTextIds.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <memory>

namespace quarnex {

namespace {

struct FileKind {
    InstrumentType type;
    int caption;
    const char* extension;
    int filter;
};

constexpr FileKind kKinds[] = {
    {itype::kPir7, ids::kPirBackupCaption, "pir", ids::kPirFilter},
    {itype::kJov7, ids::kJovBackupCaption, "jov", ids::kJovFilter},
    {itype::kKel7, ids::kKelBackupCaption, "kel", ids::kKelFilter},
    {itype::kYax7, ids::kYaxBackupCaption, "yax", ids::kYaxFilter},
};

const FileKind* Kind(InstrumentType type) {
    for (const FileKind& k : kKinds)
        if (k.type == type)
            return &k;
    return nullptr;
}

std::string LocalTime(std::time_t when, const char* format) {
    std::tm local{};
    localtime_r(&when, &local);
    char buffer[64];
    if (std::strftime(buffer, sizeof buffer, format, &local) == 0)
        return {};
    return buffer;
}

// The steps of the progress bar: normal values, batching with the texts, special values with
// their descriptors, then one per recipe.
constexpr int kReadSteps = 3 + InstrumentSetup::kRecipes;

} // namespace

std::string BackupCaption(InstrumentType type, int address) {
    const FileKind* k = Kind(type);
    if (!k)
        return Text(ids::kUnknownBackupCaption);
    return Text(k->caption) + " " + std::to_string(address);
}

std::string BackupExtension(InstrumentType type) {
    const FileKind* k = Kind(type);
    return k ? k->extension : "";
}

std::vector<FileFilter> BackupFilters(InstrumentType type) {
    const FileKind* k = Kind(type);
    if (!k)
        return {};
    return {{Text(k->filter), {std::string("*.") + k->extension}},
            {Text(ids::kAllFilesFilter), {"*.*"}}};
}

FileChooser::Request BackupFileRequest(InstrumentType type, const std::string& current) {
    return {{}, BackupFilters(type), BackupExtension(type), current};
}

std::string BackupInfoText(InstrumentType type, int address, std::time_t now) {
    return LocalTime(now, "%Y-%m-%d  %H:%M") + "\r\n" + Text(ids::kInfoInstrumentType) + " " +
           InstrumentTypeName(type) + "\r\n" + Text(ids::kInfoInstrumentAddress) + " " +
           std::to_string(address);
}

std::vector<std::string> BackupInfoLines(const std::string& infoText) {
    std::vector<std::string> lines;
    for (std::string rest : SetupFile::SplitLines(infoText)) {
        // A line that begins with "[" is stored with a blank in front: it has one character less.
        auto width = [&] {
            return SetupFile::kUserInfoChars - (!rest.empty() && rest[0] == '[' ? 1 : 0);
        };
        while (rest.size() > width()) {
            size_t cut = rest.rfind(' ', width());
            const bool atBlank = cut != std::string::npos && cut > 0;
            if (!atBlank)
                cut = width();
            lines.push_back(rest.substr(0, cut));
            rest.erase(0, atBlank ? cut + 1 : cut);
        }
        lines.push_back(rest);
    }
    while (!lines.empty() && lines.back().find_first_not_of(' ') == std::string::npos)
        lines.pop_back();
    return lines;
}

std::string BackupInfoProblem(const std::string& infoText) {
    const size_t needed = BackupInfoLines(infoText).size();
    if (needed <= static_cast<size_t>(SetupFile::kUserInfoLines))
        return {};
    return FormatText(Text(ids::kInfoTooLong),
                      {std::to_string(SetupFile::kUserInfoLines),
                       std::to_string(SetupFile::kUserInfoChars), std::to_string(needed)});
}

Backup::Backup(ModbusMaster& bus, int address, InstrumentType type, Prompter& owner,
               Progress& progress)
    : bus_(bus), address_(address), type_(type), owner_(owner), progress_(progress),
      now_([] { return std::time(nullptr); }) {}

Backup::Result Backup::Fail(const std::string& reason) {
    owner_.Error(failure_ + "\n" + reason);
    return Result::Failed;
}

Backup::Result Backup::CheckModel() {
    if (type_ == itype::kPir7 || type_ == itype::kJov7 || type_ == itype::kYax7) {
        const int text = type_ == itype::kPir7   ? ids::kPirNotSupported
                         : type_ == itype::kJov7 ? ids::kJovNotImplemented
                                                 : ids::kYaxNotSupported;
        owner_.Message(Prompter::Icon::None, Text(text));
        return Result::NotSupported;
    }
    return type_ == itype::kKel7 ? Result::Succeeded : Result::NotSupported;
}

Backup::Result Backup::ReadInstrument(InstrumentSetup& setup, const std::string& failure) {
    failure_ = failure;
    if (const Result model = CheckModel(); model != Result::Succeeded)
        return model;
    const std::string commError = Text(ids::kCommunicationErrorShort);
    InstrumentType connected = itype::kUnknown;
    if (!ReadInstrumentType(bus_, address_, &owner_, connected))
        return Fail(commError);
    if (connected != itype::kKel7)
        return Fail(Text(ids::kNotKel7));

    int state = 0;
    if (!StartInstrumentIfWaiting(bus_, address_, reg::kState, false, &owner_, state))
        return Fail(commError);
    if (state != state::kWaitForStart && state != state::kNormal && state != state::kError)
        return Fail(Text(ids::kBackupWrongState));

    if (!CheckConnectedInstrument(bus_, setup, address_, failure_ + "\n", &owner_))
        return Result::Failed;
    if (!ReadSetup(setup))
        return Fail(progress_.CancelAsked() ? Text(ids::kBackupStopped) : commError);
    return Result::Succeeded;
}

bool Backup::ReadSetup(InstrumentSetup& setup) {
    // The same requests in the same order as a whole read with recipes, in steps the progress
    // bar can follow.
    progress_.SetRange(0, kReadSteps);
    progress_.SetText(Text(ids::kReadingSetup));
    int step = 0;
    progress_.SetPos(step);
    if (!setup.ReadNormal(bus_, {.messages = &owner_}))
        return false;
    progress_.SetPos(++step);
    if (progress_.CancelAsked() ||
        !setup.ReadBatch(bus_, 0, {.withTexts = true, .messages = &owner_}))
        return false;
    progress_.SetPos(++step);
    if (progress_.CancelAsked() ||
        !setup.ReadSpecial(bus_, {.withDescriptors = true, .messages = &owner_}))
        return false;
    progress_.SetPos(++step);
    for (int r = 1; r <= InstrumentSetup::kRecipes; ++r) {
        if (progress_.CancelAsked() || !setup.ReadRecipes(bus_, r, {.messages = &owner_}))
            return false;
        progress_.SetPos(++step);
    }
    return true;
}

Backup::Result Backup::Run(const std::string& fileName, const std::string& infoText,
                           bool showSuccess) {
    failure_ = Text(ids::kBackupFailed);
    if (const Result model = CheckModel(); model != Result::Succeeded)
        return model;

    const std::time_t started = now_();
    if (fileName.empty()) {
        owner_.Error(failure_ + "\n" + Text(ids::kNoFileSelected));
        return Result::NoFile;
    }
    // Refused before the bus is touched: text that would not fit is never dropped silently.
    if (const std::string problem = BackupInfoProblem(infoText); !problem.empty())
        return Fail(problem);

    // The target is checked and locked before the instrument is asked anything: a name that
    // cannot take the file costs no bus time, and nothing on the disk changes before the whole
    // set-up was read and written.
    SetupFile file;
    file.SetFileName(fileName);
    if (file.OpenForWrite(owner_) != SetupFileStatus::kOk) {
        owner_.Error(Text(ids::kBackupFailed));
        return Result::FileFailed;
    }

    auto setup = std::make_unique<InstrumentSetup>();
    if (const Result read = ReadInstrument(*setup, failure_); read != Result::Succeeded)
        return read;

    const SetupFileStatus written =
        WriteSetupSections(file, *setup, BackupInfoLines(infoText), started, now_, owner_);
    if (written != SetupFileStatus::kOk) {
        file.Discard();
        owner_.Error(Text(ids::kBackupFailed));
        return Result::FileFailed;
    }
    // The file reaches the disk and replaces the previous one only now, complete.
    if (file.Close(owner_) != SetupFileStatus::kOk) {
        owner_.Error(Text(ids::kBackupFailed));
        return Result::FileFailed;
    }
    if (showSuccess)
        owner_.Information(Text(ids::kBackupSuccessful));
    return Result::Succeeded;
}

} // namespace quarnex
