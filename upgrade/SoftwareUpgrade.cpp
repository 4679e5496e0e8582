#include "upgrade/SoftwareUpgrade.h"

#include "instrument/Commands.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "platform/Clock.h"
#include "res/Strings.h"
#include "res/UpgradeTextIds.h"
#include "upgrade/BootLoaderRegisters.h"

#include <algorithm>
#include <charconv>
#include <tuple>
#include <vector>

namespace quarnex {

namespace {

// After a restart whose answer was lost, the state is asked for this many times more (each with
// the usual receive time-out): the instrument says nothing while its program starts.
constexpr int kRestartStateRetries = 10;

// Sleeps in short slices and lets the progress window repaint between them, so a three-second
// wait does not freeze the program.
void WaitPainted(int ms, Progress& progress, int pos) {
    const int64_t end = MonotonicMs() + ms;
    for (int64_t now = MonotonicMs(); now < end; now = MonotonicMs()) {
        Delay(static_cast<int>(std::min<int64_t>(50, end - now)));
        progress.SetPos(pos);
    }
}

std::string AddressQuestion(int id, int address) {
    return Text(id) + " " + std::to_string(address) + " ?";
}

} // namespace

SoftwareUpgrade::SoftwareUpgrade(ModbusMaster& bus, Prompter& prompter)
    : bus_(bus), prompter_(prompter), wait_(WaitPainted) {}

bool SoftwareUpgrade::ReadAddress(const std::string& text, int& address) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    int value = 0;
    bool ok = first != std::string::npos;
    if (ok) {
        const char* begin = text.data() + first;
        const char* end = text.data() + last + 1;
        const auto [stop, error] = std::from_chars(begin, end, value);
        ok = error == std::errc() && stop == end && value >= kMinAddress && value <= kMaxAddress;
    }
    if (!ok) {
        prompter_.Exclamation(
            FormatText(Text(ids::kIntegerRangePrompt),
                       {std::to_string(kMinAddress), std::to_string(kMaxAddress)}));
        return false;
    }
    address = value;
    return true;
}

FileChooser::Request SoftwareUpgrade::FileRequest() const {
    return {.caption = {},
            .filters = {{Text(ids::kUpgradeFileType), {"*.hex"}}},
            .defaultExtension = "hex",
            .initialPath = path_};
}

bool SoftwareUpgrade::SelectFile(const std::string& path) {
    if (!image_.ReadFile(path, UpgradeImage::OnFailure::Clear, prompter_)) {
        path_.clear();
        prompter_.Error(Text(ids::kNotUpgradeFile));
        return false;
    }
    path_ = path;
    return true;
}

bool SoftwareUpgrade::ReadInstrument(int address, const std::string& prefix) {
    ClearInstrument();
    auto wrongData = [&] {
        prompter_.Error(prefix + Text(ids::kWrongDataReceived));
        instrument_ = InstrumentProgramInfo();
        instrument_.text = Text(ids::kWrongDataReceived);
        return false;
    };
    InstrumentType type = itype::kUnknown;
    if (!ReadInstrumentType(bus_, address, &prompter_, type)) {
        prompter_.Error(prefix + Text(ids::kInstrumentCommunicationError));
        instrument_.text = Text(ids::kCommunicationError);
        return false;
    }
    if (type == itype::kUnknown)
        return wrongData();

    const TransactionOptions options{.retries = 3, .showRetryBox = true, .owner = &prompter_};
    uint16_t kb = 0;
    std::vector<uint16_t> app(bootreg::kInfoRegisters), boot(bootreg::kInfoRegisters);
    for (auto [reg, count, into] :
         {std::tuple{bootreg::kFlashSize, 1, &kb},
          std::tuple{bootreg::kAppInfo, bootreg::kInfoRegisters, app.data()},
          std::tuple{bootreg::kBootInfo, bootreg::kInfoRegisters, boot.data()}}) {
        const CommStatus s = bus_.ReadHoldingRegisters(address, reg, count, into, options);
        if (s != CommStatus::Ok) {
            bus_.ReportLinkError(s, {}, true, &prompter_);
            bus_.ReportExceptionError(s, {}, &prompter_);
            return wrongData();
        }
    }
    if (!ParseInstrumentProgramInfo(kb, app, boot, instrument_))
        return wrongData();
    return true;
}

bool SoftwareUpgrade::Fail(const std::string& reason) {
    prompter_.Error(Text(ids::kUpgradeFailed) + "\n" + reason);
    return false;
}

bool SoftwareUpgrade::StartUpgrade(int address, Progress& progress, Prompter& progressOwner,
                                   bool ask) {
    if (path_.empty() || !image_.Valid())
        return Fail(Text(ids::kNoFileSelected));
    if (ask && !prompter_.AskDestructive(Prompter::Icon::Exclamation,
                                         AddressQuestion(ids::kUpgradeQuestion, address)))
        return false;
    // The file is read again: what is sent is what passed the check now, not what was on disk
    // when it was chosen. A failed reading keeps the earlier result on show.
    if (!image_.ReadFile(path_, UpgradeImage::OnFailure::Keep, prompter_))
        return Fail(Text(ids::kNotUpgradeFile));
    if (!ReadInstrument(address, Text(ids::kUpgradeFailed) + "\n"))
        return false;
    if (!IsCompatible(image_, instrument_))
        return Fail(Text(ids::kNotCompatible));
    const ProcedureEnd end = RunBootLoaderProcedure(address, image_, progress, progressOwner);
    if (ended_)
        ended_();
    ClearInstrument();
    switch (end) {
    case ProcedureEnd::Done:
        break;
    case ProcedureEnd::NotEntered:
        return Fail(Text(ids::kProgramUnchanged));
    case ProcedureEnd::Failed:
        if (!eraseBegun_) {
            // Refused or silent before the first erase: the instrument's program is untouched.
            prompter_.Error(Text(ids::kUpgradeFailed));
            return false;
        }
        return Fail(Text(ids::kProgramMayBeCorrupt));
    case ProcedureEnd::EnterUnknown:
        return Fail(Text(ids::kEnterStateUnknown));
    case ProcedureEnd::RestartUnknown:
        return Fail(Text(ids::kRestartStateUnknown));
    }
    prompter_.Information(Text(ids::kUpgradeSucceeded));
    return true;
}

SoftwareUpgrade::ProcedureEnd SoftwareUpgrade::RunBootLoaderProcedure(int address,
                                                                      const UpgradeImage& image,
                                                                      Progress& progress,
                                                                      Prompter& owner) {
    eraseBegun_ = false;
    const BootLoaderPlan plan = PlanBootLoaderProcedure(image);
    if (plan.steps.empty())
        return ProcedureEnd::NotEntered;
    progress.SetRange(plan.rangeLow, plan.rangeHigh);
    const TransactionOptions flash{.retries = 2, .showRetryBox = true, .owner = &owner};
    const TransactionOptions erase{
        .retries = 2, .extraTimeout = 30000, .showRetryBox = true, .owner = &owner};
    const TransactionOptions enter{.retries = 10, .showRetryBox = true, .owner = &owner};
    auto write = [&](int reg, const std::vector<uint16_t>& words,
                     const TransactionOptions& options) {
        const CommStatus s = bus_.WriteMultipleRegisters(
            address, reg, static_cast<int>(words.size()), words.data(), options);
        if (s != CommStatus::Ok) {
            bus_.ReportLinkError(s, {}, true, &owner);
            bus_.ReportExceptionError(s, {}, &owner);
        }
        return s == CommStatus::Ok;
    };
    int pos = plan.rangeLow;
    using Kind = BootLoaderStep::Kind;
    for (const BootLoaderStep& step : plan.steps) {
        bool ok = true;
        switch (step.kind) {
        case Kind::Message:
            progress.SetText(step.text);
            break;
        case Kind::Position:
            pos = step.value;
            progress.SetPos(pos);
            break;
        case Kind::Enter: {
            const std::vector<uint16_t> words = EnterBootLoaderCommand();
            // A refusal says why in the command-error register (the instrument in set-up, ...).
            const CommStatus s =
                bus_.WriteMultipleRegisters(address, bootreg::kEnter, 4, words.data(), enter);
            if (s == CommStatus::Ok)
                break;
            // Carried out with its answer lost, or answered with an exception all the same: the
            // state says whether the boot loader runs, and then the upgrade goes on.
            const int state = ReadStateQuietly(bus_, address);
            if (state == state::kBoot)
                break;
            if (state < 0)
                return ProcedureEnd::EnterUnknown;
            ReportCommandError(bus_, address, s, true, {}, {}, &owner);
            return ProcedureEnd::NotEntered;
        }
        case Kind::Wait:
            wait_(step.value, progress, pos);
            break;
        case Kind::Erase:
            eraseBegun_ = true;
            ok = write(bootreg::kErase, EraseCommand(step.value), erase);
            break;
        case Kind::Program:
            ok = write(bootreg::kProgram, ProgramCommand(plan.blocks[step.block]), flash);
            break;
        case Kind::Restart: {
            const std::vector<uint16_t> words = RestartCommand();
            const CommStatus s = bus_.WriteMultipleRegisters(
                address, bootreg::kRestart, static_cast<int>(words.size()), words.data(), flash);
            if (s == CommStatus::Ok)
                break;
            // A restart carried out cannot answer its repeats: the state tells whether the new
            // program runs. The instrument may be silent a while as it starts.
            const int state = ReadStateQuietly(bus_, address, kRestartStateRetries);
            if (state < 0)
                return ProcedureEnd::RestartUnknown;
            if (state != state::kBoot)
                break;
            bus_.ReportLinkError(s, {}, true, &owner);
            bus_.ReportExceptionError(s, {}, &owner);
            return ProcedureEnd::Failed;
        }
        }
        if (!ok)
            return ProcedureEnd::Failed;
    }
    return ProcedureEnd::Done;
}

bool SoftwareUpgrade::MakeDefaultSetup(int address, bool ask) {
    if (ask && !prompter_.AskDestructive(Prompter::Icon::Exclamation,
                                         AddressQuestion(ids::kDefaultSetupQuestion, address)))
        return false;
    bool ok = false;
    {
        WaitCursor wait(prompter_);
        InstrumentType type = itype::kUnknown;
        if (ReadInstrumentType(bus_, address, &prompter_, type)) {
            const std::vector<uint16_t> words = DefaultSetupCommand();
            const CommStatus s = bus_.WriteMultipleRegisters(
                address, DefaultSetupRegister(type), 4, words.data(),
                {.retries = 3, .showRetryBox = true, .owner = &prompter_});
            ok = ReportCommandError(bus_, address, s, true, {}, {}, &prompter_);
        }
    }
    prompter_.Information(Text(ok ? ids::kDefaultSetupSucceeded : ids::kDefaultSetupFailed));
    return ok;
}

} // namespace quarnex
