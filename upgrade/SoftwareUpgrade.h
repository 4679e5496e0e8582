#pragma once

#include "comm/ModbusMaster.h"
#include "platform/FileChooser.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "upgrade/UpgradePlan.h"

#include <functional>
#include <string>

namespace quarnex {

// The "Instrument software upgrade" dialog without its window, shared by the dialog and
// quarnex-cli: the chosen upgrade file, the instrument's program information, the upgrade through
// the boot loader and the default set-up. Every box goes to the prompter given; the bus's
// Retry/Cancel boxes of the boot-loader procedure go to the owner given to StartUpgrade (the
// progress window).
class SoftwareUpgrade {
public:
    static constexpr int kDefaultAddress = 247;

    static constexpr int kMinAddress = 1;
    static constexpr int kMaxAddress = 247;

    SoftwareUpgrade(ModbusMaster& bus, Prompter& prompter);

    // The "Instrument address" field: blanks around a whole number from 1 to 247. Anything else is
    // refused with the range prompt and false.
    bool ReadAddress(const std::string& text, int& address);
    // What the file dialog of "&Select file" asks for: upgrade files (*.hex), starting at the
    // current path.
    FileChooser::Request FileRequest() const;

    // "&Select file": reads the file. A failure clears the path and the file information and
    // shows "not a valid software upgrade file" (10800).
    bool SelectFile(const std::string& path);
    const std::string& Path() const { return path_; }
    const UpgradeImage& Image() const { return image_; }
    const std::string& FileText() const { return image_.Summary(); }

    // Reads the flash size and both program information blocks of the instrument at address.
    // Error boxes carry prefix ("" for "&Get instr. info"); on failure the instrument text is
    // the failure's text ("COMMUNICATION ERROR" or "Wrong data received from instrument !").
    bool ReadInstrument(int address, const std::string& prefix = {});
    const InstrumentProgramInfo& Instrument() const { return instrument_; }
    const std::string& InstrumentText() const { return instrument_.text; }
    void ClearInstrument() { instrument_ = InstrumentProgramInfo(); }

    // "Start upgrade": with ask, the Yes/No question first. Reads the file again (a failure keeps
    // the earlier result), reads the instrument, checks that they match, runs the boot-loader
    // procedure and shows its outcome. True when the instrument took the new program.
    bool StartUpgrade(int address, Progress& progress, Prompter& progressOwner, bool ask = true);
    // "Make default set-up": with ask, the Yes/No question first; the outcome in a box.
    bool MakeDefaultSetup(int address, bool ask = true);

    // The boot-loader procedure alone for a checked image: enter, erase, program, restart, with
    // the progress positions of the plan. Each bus failure is shown where it happens (owner) and
    // ends it.
    // How the procedure ended; after a lost or refused answer to the enter or the restart
    // command, the state register says what the instrument did.
    enum class ProcedureEnd {
        Done,           // the new program runs (or the restart was answered)
        NotEntered,     // the boot loader was not entered: the program is as it was
        Failed,         // stopped inside the boot loader: the program may be corrupt
        EnterUnknown,   // the enter command failed and the state could not be read
        RestartUnknown, // the restart command failed and the state could not be read
    };
    ProcedureEnd RunBootLoaderProcedure(int address, const UpgradeImage& image, Progress& progress,
                                        Prompter& owner);

    // How the procedure waits for the instrument to enter its boot loader; the default keeps the
    // progress window painted while it sleeps. Tests of a simulated instrument, ready at once,
    // pass a wait that returns at once.
    using WaitFunction = std::function<void(int ms, Progress& progress, int pos)>;
    void SetWait(WaitFunction wait) { wait_ = std::move(wait); }
    // Called by StartUpgrade as soon as the boot-loader procedure ended, before its outcome is
    // shown: the dialog takes its progress window away there, so the outcome box is not hidden
    // behind it and the dialog is usable again.
    void SetProcedureEnded(std::function<void()> ended) { ended_ = std::move(ended); }

private:
    bool Fail(const std::string& reason);

    ModbusMaster& bus_;
    Prompter& prompter_;
    std::string path_;
    UpgradeImage image_;
    InstrumentProgramInfo instrument_;
    WaitFunction wait_;
    std::function<void()> ended_;
    bool eraseBegun_ = false;
};

} // namespace quarnex
