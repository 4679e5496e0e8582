#include "setup/KelSetUpSheet.h"

#include "comm/ModbusMaster.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "res/SetupTextIds.h"
#include "res/Strings.h"

namespace quarnex {

namespace {

// Register 47820: 0 while the instrument is not in batch set-up.
constexpr int kBatchSetupState = 47820;
// Check and save make the instrument go through its whole set-up before it answers.
constexpr int kCheckAndSaveMarginMs = 700;

} // namespace

KelSetUpSheet::KelSetUpSheet(ModbusMaster& bus, int address, SheetMode mode, Prompter& prompter)
    : bus_(bus), address_(address), mode_(mode), prompter_(prompter),
      setup_(std::make_unique<InstrumentSetup>()), source_(bus, *setup_, prompter) {}

int KelSetUpSheet::ProlongedTimeout() const {
    return bus_.DefaultReceiveTimeout() + kCheckAndSaveMarginMs;
}

bool KelSetUpSheet::LeaveBatchSetup(bool messages) {
    return SendCommand(bus_, address_, coil::kLeaveBatchSetup, messages, {}, {}, &prompter_);
}

bool KelSetUpSheet::Create() {
    pages_.clear();
    if (!CheckConnectedInstrument(bus_, *setup_, address_, {}, &prompter_))
        return false;
    if (!EditsSetup(mode_)) {
        if (!setup_->ReadAll(bus_, {.messages = &prompter_}))
            return false;
    } else if (!BatchOrRecipes()) {
        switch (SendModeCommand(bus_, address_, coil::kEnterRemoteSetup,
                                {.retries = 3, .showRetryBox = true, .owner = &prompter_}, {},
                                {})) {
        case ModeOutcome::Done:
            break;
        case ModeOutcome::NotDone:
            return false;
        case ModeOutcome::StateUnknown:
            prompter_.Error(Text(ids::kSheetStateUnknown));
            return false;
        }
        // A failed read leaves the instrument in remote set-up; the panel lets the user open the
        // sheet again from that state and leave it properly.
        if (!setup_->ReadAll(bus_, {.messages = &prompter_}))
            return false;
    } else {
        uint16_t inBatchSetup = 0;
        const CommStatus result =
            bus_.ReadHoldingRegisters(address_, kBatchSetupState, 1, &inBatchSetup,
                                      {.retries = 2, .showRetryBox = true, .owner = &prompter_});
        if (result != CommStatus::Ok) {
            bus_.ReportLinkError(result, {}, false, &prompter_);
            bus_.ReportExceptionError(result, {}, &prompter_);
            return false;
        }
        if (inBatchSetup == 0 &&
            !SendCommand(bus_, address_, coil::kEnterBatchSetup, true, {}, {}, &prompter_))
            return false;
        if (!setup_->ReadAll(bus_, {.messages = &prompter_}) || !setup_->Info().BatchingEnabled()) {
            LeaveBatchSetup(false);
            return false;
        }
    }
    pages_ = SheetPages(mode_, setup_->Info());
    return true;
}

std::string KelSetUpSheet::Caption() const {
    // In the order of SheetMode.
    static constexpr int kModeTexts[] = {ids::kShowSetupMode, ids::kEditSetupMode,
                                         ids::kEditBatchingMode, ids::kEditRecipesMode};
    return Text(ids::kSheetCaption) + " " + std::to_string(address_) + " (" +
           Text(kModeTexts[static_cast<int>(mode_)]) + ")";
}

bool KelSetUpSheet::OkCheck() {
    if (!EditsSetup(mode_))
        return true;
    if (BatchOrRecipes()) {
        LeaveBatchSetup(true); // shown when it fails; the sheet closes all the same
        return true;
    }
    if (!prompter_.AskYesNo(Prompter::Icon::Question, Text(ids::kSaveAndExitQuestion)))
        return false;
    const CommStatus check = bus_.WriteSingleCoil(address_, coil::kCheckSetup, true,
                                                  {.retries = 1,
                                                   .extraTimeout = ProlongedTimeout(),
                                                   .showRetryBox = true,
                                                   .owner = &prompter_});
    if (check == CommStatus::IllegalDataValue || check == CommStatus::NegativeAcknowledge) {
        // The instrument found something wrong with the set-up; its reason decides whether the
        // user still wants to save it.
        uint16_t code = 0;
        const CommStatus read =
            bus_.ReadHoldingRegisters(address_, reg::kCommandError, 1, &code,
                                      {.retries = 3, .showRetryBox = true, .owner = &prompter_});
        if (read != CommStatus::Ok) {
            bus_.ReportLinkError(read, {}, true, &prompter_);
            bus_.ReportExceptionError(read, {}, &prompter_);
            return false;
        }
        if (!prompter_.AskDestructive(Prompter::Icon::Question, SaveWarningText(code)))
            return false;
    } else if (check != CommStatus::Ok) {
        // The check did not happen: say why instead of leaving OK without an answer (failures
        // the Retry/Cancel box offered have been seen already).
        bus_.ReportLinkError(check, {}, true, &prompter_);
        bus_.ReportExceptionError(check, {}, &prompter_);
        return false;
    }
    // A lost answer is settled by the state: out of remote set-up means saved.
    const ModeOutcome saved = SendModeCommand(bus_, address_, coil::kLeaveAndSave,
                                              {.retries = 1,
                                               .extraTimeout = ProlongedTimeout(),
                                               .showRetryBox = true,
                                               .owner = &prompter_},
                                              {}, {});
    if (saved == ModeOutcome::StateUnknown)
        prompter_.Error(Text(ids::kSheetStateUnknown));
    return saved == ModeOutcome::Done;
}

bool KelSetUpSheet::CancelCheck() {
    if (!EditsSetup(mode_))
        return true;
    if (BatchOrRecipes()) {
        LeaveBatchSetup(true);
        return true;
    }
    if (!prompter_.AskDestructive(Prompter::Icon::Question, Text(ids::kExitWithoutSaveQuestion)))
        return false;
    if (SendModeCommand(bus_, address_, coil::kLeaveWithoutSaving,
                        {.retries = 3, .showRetryBox = true, .owner = &prompter_}, {},
                        {}) == ModeOutcome::StateUnknown)
        prompter_.Error(Text(ids::kSheetStateUnknown));
    return true;
}

} // namespace quarnex
