#include "monitor/panel/InstrumentPanel.h"

#include "comm/ModbusMaster.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "instrument/ValueHelpers.h"
#include "platform/Clock.h"
#include "res/InstrumentTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"

#include <memory>

namespace quarnex {

namespace {

// Polling never shows a box: the read runs with retries but without the Retry/Cancel box.
constexpr int kPollRetries = 2;

} // namespace

InstrumentPanel::InstrumentPanel(ModbusMaster& bus, int address, Prompter& prompter)
    : bus_(bus), address_(address), prompter_(prompter) {
    display_.caption = Caption(address_);
}

std::string InstrumentPanel::Caption(int address) {
    return Text(ids::kPanelCaption) + " " + std::to_string(address);
}

bool InstrumentPanel::InactiveState(int state, int error) {
    return state == state::kStartingUp || state == state::kFatalError || state == state::kBoot ||
           (state == state::kNormal && error >= 96 && error <= 99);
}

int InstrumentPanel::Open() {
    display_.caption = Caption(address_);
    // A waiting instrument is offered a start; whatever the answer, the panel opens and the
    // ticks show the state the instrument is really in.
    int state = 0;
    StartInstrumentIfWaiting(bus_, address_, reg::kState, true, &prompter_, state);
    display_.editBatching = false;
    display_.editRecipes = false;
    return kActivePeriodMs;
}

int InstrumentPanel::Tick() {
    uint16_t live[reg::kLiveBlockCount] = {};
    const CommStatus result =
        bus_.ReadHoldingRegisters(address_, reg::kLiveBlock, reg::kLiveBlockCount, live,
                                  {.retries = kPollRetries, .owner = &prompter_});
    sample_ = result == CommStatus::Ok
                  ? SampleFromLiveBlock(live, address_, MonotonicMs(), WallClockMs())
                  : FailedSample(address_, MonotonicMs(), WallClockMs());
    ++sampleCount_;

    bool inactive = true;
    bool weightsValid = false;
    if (result != CommStatus::Ok) {
        display_.state = placeholder::kState;
        display_.status = Text(ids::kCommunicationError);
        display_.message.clear();
    } else {
        const LiveBlock block = DecodeLiveBlock(live);
        if (InstrumentTypeFromCode(block.rawTypeCode) != itype::kKel7) {
            display_.state = placeholder::kState;
            display_.status = Text(ids::kNotKel7);
            display_.message.clear();
        } else {
            display_.state = StateText(block.state);
            display_.status = InstrumentErrorText(block.error);
            weightsValid = block.error == 0;
            if (weightsValid) {
                display_.grossWeight = FormatWeight(block.gross[0], block.gross[1], block.gross[2]);
                display_.netWeight = FormatWeight(block.net[0], block.net[1], block.net[2]);
                showsGross_ = !block.NetMode();
                display_.displayedWeight = showsGross_ ? display_.grossWeight : display_.netWeight;
                display_.grossNet = Text(showsGross_ ? ids::kGross : ids::kNet);
                // Zero wins over motion: a scale at zero is what the operator needs to see.
                if (block.Zero())
                    display_.motionZero = Text(ids::kZeroIndication);
                else if (block.Motion())
                    display_.motionZero = Text(ids::kMotion);
                else
                    display_.motionZero.clear();
            }
            inactive = InactiveState(block.state, block.error);
            if (!inactive) {
                if (slowCountdown_ == 0)
                    SlowUpdate(block.ioStatus);
                else
                    --slowCountdown_;
            }
        }
    }

    if (!weightsValid) {
        display_.displayedWeight = placeholder::kValue;
        display_.grossWeight = placeholder::kValue;
        display_.netWeight = placeholder::kValue;
        display_.grossNet.clear();
        display_.motionZero.clear();
    }
    if (inactive) {
        display_.name = placeholder::kValue;
        slowCountdown_ = 0;
    }
    SetButtons(weightsValid, inactive);
    display_.active = !inactive;
    display_.focusClose = inactive;
    return inactive ? kInactivePeriodMs : kActivePeriodMs;
}

std::string InstrumentPanel::ReadWeightUnit() {
    InstrumentSetup setup;
    if (!ReadInstrumentInfo(bus_, address_, nullptr, setup.MutableInfo()) ||
        setup.Info().firstNormalRegister <= 0)
        return {};
    float unit = 0.0f;
    if (bus_.ReadFloatRegisters(address_, setup.NormalRegister(param::kMeasurementUnit), 1, &unit,
                                {.retries = kPollRetries}) != CommStatus::Ok)
        return {};
    return DisplayedUnit(unit);
}

void InstrumentPanel::SlowUpdate(int ioStatus) {
    std::string name;
    if (ReadTextRegisters(bus_, address_, reg::kInstrumentName, reg::kInstrumentNameRegisters,
                          false, &prompter_, name))
        display_.name = TrimRight(name);
    else
        display_.name = placeholder::kValue;

    float options = 0.0f;
    const CommStatus result = bus_.ReadFloatRegisters(
        address_, reg::kOptions, 1, &options, {.retries = kPollRetries, .owner = &prompter_});
    batchingEnabled_ =
        result == CommStatus::Ok && (FloatBits(options) & bits::kBatchingOption) != 0;

    display_.message = (ioStatus & bits::kIoBusFaulty) != 0 ? Text(ids::kIoBusFaulty) : "";
    slowCountdown_ = kSlowUpdateEvery - 1;
}

void InstrumentPanel::SetButtons(bool weightsValid, bool inactive) {
    display_.tare = weightsValid;
    display_.grossNetButton = weightsValid;
    display_.zero = weightsValid;

    const bool usable = !inactive;
    display_.editSetup = usable && features_.setupSheet;
    display_.showSetup = usable && features_.setupSheet;
    display_.editBatching = usable && batchingEnabled_ && features_.batchingSheet;
    display_.editRecipes = usable && batchingEnabled_ && features_.batchingSheet;
    display_.info = usable;
    display_.levels = usable;
    display_.start = usable;
    display_.backup = usable && features_.backup;
    display_.restore = usable && features_.restore;
    display_.compare = usable && features_.compare;
}

bool InstrumentPanel::Command(int coil) {
    return SendCommand(bus_, address_, coil, true, {}, {}, &prompter_);
}

bool InstrumentPanel::Tare() {
    return Command(coil::kTare);
}

bool InstrumentPanel::GrossNet() {
    return Command(showsGross_ ? coil::kNet : coil::kGross);
}

bool InstrumentPanel::Zero() {
    return Command(coil::kZero);
}

bool InstrumentPanel::StartInstrument() {
    return Command(coil::kStart);
}

bool InstrumentPanel::StateAcceptsSheet(SheetMode mode, int state) {
    switch (mode) {
    case SheetMode::ShowSetup:
        return state == 1 || state == 2 || state == 3 || state == 4 || state == 6 || state == 9;
    case SheetMode::EditSetup:
        return state == 1 || state == 2 || state == 4 || state == 6 || state == 9;
    case SheetMode::EditBatching:
    case SheetMode::EditRecipes:
        return state == 1 || state == 2 || state == 6 || state == 9;
    }
    return false;
}

int InstrumentPanel::RestartPeriodAfterSheet(SheetMode mode) {
    // After editing the panel refreshes at once: the instrument has just left remote set-up.
    return mode == SheetMode::EditSetup ? 0 : kActivePeriodMs;
}

bool InstrumentPanel::MayOpenSetupSheet(SheetMode mode) {
    if (mode == SheetMode::EditSetup &&
        !prompter_.AskDestructive(Prompter::Icon::Exclamation, Text(ids::kEnterSetupQuestion)))
        return false;
    int state = 0;
    {
        WaitCursor wait(prompter_);
        if (!StartInstrumentIfWaiting(bus_, address_, reg::kState, false, &prompter_, state))
            return false;
    }
    if (StateAcceptsSheet(mode, state))
        return true;
    int refusal = ids::kEnterRemoteWrongState;
    if (mode == SheetMode::EditBatching)
        refusal = ids::kBatchEditWrongState;
    else if (mode == SheetMode::EditRecipes)
        refusal = ids::kRecipeEditWrongState;
    prompter_.Error(Text(refusal));
    return false;
}

bool InstrumentPanel::MayOpenBackupOrRestore() {
    auto setup = std::make_unique<InstrumentSetup>();
    return CheckConnectedInstrument(bus_, *setup, address_, {}, &prompter_);
}

} // namespace quarnex
