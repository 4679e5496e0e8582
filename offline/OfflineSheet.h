#pragma once

#include "edit/ValueTarget.h"
#include "files/SetupFileImage.h"
#include "platform/FileChooser.h"
#include "setup/KelSetUpSheet.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace quarnex {

// A set-up file held in memory as a set-up source: every value is there from the start, so reads
// only succeed; the editors' writes change the values in memory, as the instrument would take
// them; nothing goes to a bus.
class FileSetupSource final : public SetupSource {
public:
    FileSetupSource(SetupFileImage& image, Prompter& owner)
        : image_(image), owner_(owner), target_(image.setup) {}

    InstrumentSetup& Setup() override { return image_.setup; }
    Prompter& Owner() override { return owner_; }
    bool CanMeasure() const override { return false; }
    ModbusMaster* Bus() override { return nullptr; }
    ValueTarget& Target() override { return target_; }
    bool Probe() override { return true; }
    bool Read(const SetupRead&, bool) override { return true; }

    // An editor changed a value or a text since the file was loaded.
    bool Changed() const { return target_.Changed(); }

private:
    SetupFileImage& image_;
    Prompter& owner_;
    SetupCopyTarget target_;
};

// The set-up sheet over a set-up file, away from the instrument: every page of Edit set-up with
// its rows, rules and editors; what only the instrument can do (live values, measuring, the
// analogue outputs' adjustment) is held back. OK asks, through the window's save dialog, where
// the edited set-up goes and writes it as a new set-up file: the same identification block, new
// FILE_ID and FILE_OK times, the information lines as edited there.
class OfflineSetupSheet final : public SetupSheet {
public:
    // The window's save dialog: asks for the file and the information text and calls Save()
    // until it succeeds or the user gives up. True when the set-up was saved.
    using SaveDialog = std::function<bool(OfflineSetupSheet& sheet)>;

    OfflineSetupSheet(std::string fileName, Prompter& owner, SaveDialog saveDialog);

    // Loads the file; refuses (message shown) one that does not load, is not a KEL 7 set-up this
    // program edits, or does not hold every value (it could not be saved again).
    bool Create() override;
    // "unit1.kel (Offline)".
    std::string Caption() const override;
    const std::vector<PageId>& Pages() const override { return pages_; }
    bool EditMode() const override { return true; }
    bool CancelShown() const override { return true; }
    bool OkCheck() override;
    // Unsaved changes are given up only when the user says so.
    bool CancelCheck() override;
    FileSetupSource& Source() override { return source_; }

    const std::string& FileName() const { return fileName_; }
    const SetupFileImage& Image() const { return *image_; }
    // The information text the save dialog starts with: the file's lines, CR LF separated.
    std::string InfoText() const;
    // The save chooser: KEL set-up files, starting next to the file being edited.
    FileChooser::Request SaveRequest() const;
    // Writes the edited set-up to target with the information text. Refused with a message: no
    // file, an information text that does not fit the file; the file being edited is replaced
    // only when the user says so. A write failure leaves any previous file as it was. On success
    // says where it went.
    bool Save(const std::string& target, const std::string& infoText);
    // The clock of the FILE_ID and FILE_OK lines; tests fix it.
    void SetClock(std::function<std::time_t()> now) { now_ = std::move(now); }

private:
    std::string fileName_;
    Prompter& owner_;
    SaveDialog saveDialog_;
    std::unique_ptr<SetupFileImage> image_; // about 14 KB: kept off the caller's stack
    FileSetupSource source_;
    std::vector<PageId> pages_;
    std::function<std::time_t()> now_;
};

} // namespace quarnex
