#include "offline/OfflineSheet.h"

#include "files/Backup.h"
#include "res/FileTextIds.h"
#include "res/OfflineTextIds.h"
#include "res/SetupTextIds.h"
#include "res/Strings.h"

#include <filesystem>
#include <system_error>

namespace quarnex {

namespace {

// Whether two names lead to the same file (a link, "./", another spelling of the folder).
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

} // namespace

OfflineSetupSheet::OfflineSetupSheet(std::string fileName, Prompter& owner, SaveDialog saveDialog)
    : fileName_(std::move(fileName)), owner_(owner), saveDialog_(std::move(saveDialog)),
      image_(std::make_unique<SetupFileImage>()), source_(*image_, owner),
      now_([] { return std::time(nullptr); }) {}

bool OfflineSetupSheet::Create() {
    pages_.clear();
    if (LoadSetupFileImage(fileName_, *image_, owner_) != SetupFileStatus::kOk)
        return false;
    if (!CheckSetupInfo(image_->setup.Info(), {}, owner_))
        return false;
    if (!image_->Complete()) {
        owner_.Error(Text(ids::kImageIncomplete));
        return false;
    }
    pages_ = SheetPages(SheetMode::EditSetup, image_->setup.Info());
    return true;
}

std::string OfflineSetupSheet::Caption() const {
    const std::string name = std::filesystem::path(fileName_).filename().string();
    return name + " (" + Text(ids::kOfflineMode) + ")";
}

bool OfflineSetupSheet::OkCheck() {
    return saveDialog_ && saveDialog_(*this);
}

bool OfflineSetupSheet::CancelCheck() {
    return !source_.Changed() ||
           owner_.AskDestructive(Prompter::Icon::Question, Text(ids::kExitWithoutSaveQuestion));
}

std::string OfflineSetupSheet::InfoText() const {
    std::vector<std::string> lines = image_->userInfo;
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\r\n") + line;
    return text;
}

FileChooser::Request OfflineSetupSheet::SaveRequest() const {
    FileChooser::Request request = BackupFileRequest(image_->setup.Info().type, {});
    request.caption = Text(ids::kOfflineSaveCaption);
    // A new name next to the file being edited, so OK never offers the source itself.
    std::filesystem::path suggested(fileName_);
    suggested.replace_filename(suggested.stem().string() + "-edited" +
                               suggested.extension().string());
    request.initialPath = suggested.string();
    return request;
}

bool OfflineSetupSheet::Save(const std::string& target, const std::string& infoText) {
    if (target.empty()) {
        owner_.Error(Text(ids::kNoFileSelected));
        return false;
    }
    if (const std::string problem = BackupInfoProblem(infoText); !problem.empty()) {
        owner_.Error(problem);
        return false;
    }
    if (SameFile(target, fileName_) &&
        !owner_.AskDestructive(Prompter::Icon::Question,
                               FormatText(Text(ids::kOfflineReplaceSource), {target})))
        return false;
    if (WriteSetupFileImage(*image_, target, BackupInfoLines(infoText), now_, owner_) !=
        SetupFileStatus::kOk)
        return false;
    owner_.Message(Prompter::Icon::Information, FormatText(Text(ids::kOfflineSaved), {target}));
    return true;
}

} // namespace quarnex
