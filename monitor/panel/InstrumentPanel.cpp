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
#include "session/BusSession.h"

#include <memory>

namespace quarnex {

namespace {

// Polling never shows a box: the read runs with retries but without the Retry/Cancel box.
constexpr int kPollRetries = 2;

} // namespace

InstrumentPanel::InstrumentPanel(ModbusMaster& bus, int address, Prompter& prompter)
    : bus_(bus), address_(address), prompter_(prompter) {
    polled_.display.caption = Caption(address_);
}

InstrumentPanel::InstrumentPanel(InstrumentPanel&& other) noexcept
    : bus_(other.bus_), address_(other.address_), prompter_(other.prompter_),
      features_(other.features_), polled_(std::move(other.polled_)), session_(other.session_),
      owner_(other.owner_), tickOut_(other.tickOut_) {
    other.session_ = nullptr;
}

InstrumentPanel::~InstrumentPanel() {
    // A tick still out is dropped, and its result never reaches a panel that is gone.
    if (session_)
        session_->CloseOwner(owner_);
}

void InstrumentPanel::UseSession(BusSession& session) {
    session_ = &session;
    owner_ = session.OpenOwner();
}

std::string InstrumentPanel::Caption(int address) {
    return Text(ids::kPanelCaption) + " " + std::to_string(address);
}

bool InstrumentPanel::InactiveState(int state, int error) {
    return state == state::kStartingUp || state == state::kFatalError || state == state::kBoot ||
           (state == state::kNormal && error >= 96 && error <= 99);
}

int InstrumentPanel::Open() {
    Display& display = polled_.display;
    display.caption = Caption(address_);
    // A waiting instrument is offered a start; whatever the answer, the panel opens and the
    // ticks show the state the instrument is really in.
    int state = 0;
    StartInstrumentIfWaiting(bus_, address_, reg::kState, true, &prompter_, state);
    display.editBatching = false;
    display.editRecipes = false;
    return kActivePeriodMs;
}

int InstrumentPanel::Tick() {
    return RunTick(polled_, bus_, address_, prompter_, features_);
}

bool InstrumentPanel::Tick(std::function<void(int period)> ticked) {
    if (!session_) {
        const int period = Tick();
        if (ticked)
            ticked(period);
        return true;
    }
    // The tick works on a copy on the session's thread; the window thread takes it back.
    return SubmitSnapshotTick<Polled>(
        *session_, owner_, tickOut_, polled_, kActivePeriodMs,
        [address = address_, features = features_](Polled& p, ModbusMaster& bus, Prompter& asker) {
            return RunTick(p, bus, address, asker, features);
        },
        std::move(ticked));
}

int InstrumentPanel::RunTick(Polled& p, ModbusMaster& bus, int address, Prompter& prompter,
                             const Features& features) {
    Display& display = p.display;
    uint16_t live[reg::kLiveBlockCount] = {};
    const CommStatus result =
        bus.ReadHoldingRegisters(address, reg::kLiveBlock, reg::kLiveBlockCount, live,
                                 {.retries = kPollRetries, .owner = &prompter});
    p.sample = result == CommStatus::Ok
                   ? SampleFromLiveBlock(live, address, MonotonicMs(), WallClockMs())
                   : FailedSample(address, MonotonicMs(), WallClockMs());
    ++p.sampleCount;

    bool inactive = true;
    bool weightsValid = false;
    if (result != CommStatus::Ok) {
        display.state = placeholder::kState;
        display.status = Text(ids::kCommunicationError);
        display.message.clear();
    } else {
        const LiveBlock block = DecodeLiveBlock(live);
        if (InstrumentTypeFromCode(block.rawTypeCode) != itype::kKel7) {
            display.state = placeholder::kState;
            display.status = Text(ids::kNotKel7);
            display.message.clear();
        } else {
            display.state = StateText(block.state);
            display.status = InstrumentErrorText(block.error);
            weightsValid = block.error == 0;
            if (weightsValid) {
                display.grossWeight = FormatWeight(block.gross[0], block.gross[1], block.gross[2]);
                display.netWeight = FormatWeight(block.net[0], block.net[1], block.net[2]);
                p.showsGross = !block.NetMode();
                display.displayedWeight = p.showsGross ? display.grossWeight : display.netWeight;
                display.grossNet = Text(p.showsGross ? ids::kGross : ids::kNet);
                // Zero wins over motion: a scale at zero is what the operator needs to see.
                if (block.Zero())
                    display.motionZero = Text(ids::kZeroIndication);
                else if (block.Motion())
                    display.motionZero = Text(ids::kMotion);
                else
                    display.motionZero.clear();
            }
            inactive = InactiveState(block.state, block.error);
            if (!inactive) {
                if (p.slowCountdown == 0)
                    SlowUpdate(p, bus, address, prompter, block.ioStatus);
                else
                    --p.slowCountdown;
            }
        }
    }

    if (!weightsValid) {
        display.displayedWeight = placeholder::kValue;
        display.grossWeight = placeholder::kValue;
        display.netWeight = placeholder::kValue;
        display.grossNet.clear();
        display.motionZero.clear();
    }
    if (inactive) {
        display.name = placeholder::kValue;
        p.slowCountdown = 0;
    }
    SetButtons(display, features, p.batchingEnabled, weightsValid, inactive);
    display.active = !inactive;
    display.focusClose = inactive;
    return inactive ? kInactivePeriodMs : kActivePeriodMs;
}

std::string InstrumentPanel::ReadWeightUnit() {
    return ReadWeightUnit(bus_, address_);
}

void InstrumentPanel::ReadWeightUnit(std::function<void(const std::string& unit)> unit) {
    if (!session_) {
        unit(ReadWeightUnit());
        return;
    }
    auto text = std::make_shared<std::string>();
    session_->Submit(
        owner_,
        [text, address = address_](BusSession::Job& job) {
            *text = ReadWeightUnit(job.Master(), address);
        },
        [text, unit = std::move(unit)] { unit(*text); });
}

std::string InstrumentPanel::ReadWeightUnit(ModbusMaster& bus, int address) {
    InstrumentSetup setup;
    if (!ReadInstrumentInfo(bus, address, nullptr, setup.MutableInfo()) ||
        setup.Info().firstNormalRegister <= 0)
        return {};
    float unit = 0.0f;
    if (bus.ReadFloatRegisters(address, setup.NormalRegister(param::kMeasurementUnit), 1, &unit,
                               {.retries = kPollRetries}) != CommStatus::Ok)
        return {};
    return DisplayedUnit(unit);
}

void InstrumentPanel::SlowUpdate(Polled& p, ModbusMaster& bus, int address, Prompter& prompter,
                                 int ioStatus) {
    std::string name;
    if (ReadTextRegisters(bus, address, reg::kInstrumentName, reg::kInstrumentNameRegisters, false,
                          &prompter, name))
        p.display.name = TrimRight(name);
    else
        p.display.name = placeholder::kValue;

    float options = 0.0f;
    const CommStatus result = bus.ReadFloatRegisters(address, reg::kOptions, 1, &options,
                                                     {.retries = kPollRetries, .owner = &prompter});
    p.batchingEnabled =
        result == CommStatus::Ok && (FloatBits(options) & bits::kBatchingOption) != 0;

    p.display.message = (ioStatus & bits::kIoBusFaulty) != 0 ? Text(ids::kIoBusFaulty) : "";
    p.slowCountdown = kSlowUpdateEvery - 1;
}

void InstrumentPanel::SetButtons(Display& d, const Features& features, bool batchingEnabled,
                                 bool weightsValid, bool inactive) {
    d.tare = weightsValid;
    d.grossNetButton = weightsValid;
    d.zero = weightsValid;

    const bool usable = !inactive;
    d.editSetup = usable && features.setupSheet;
    d.showSetup = usable && features.setupSheet;
    d.editBatching = usable && batchingEnabled && features.batchingSheet;
    d.editRecipes = usable && batchingEnabled && features.batchingSheet;
    d.info = usable;
    d.levels = usable;
    d.start = usable;
    d.backup = usable && features.backup;
    d.restore = usable && features.restore;
    d.compare = usable && features.compare;
}

bool InstrumentPanel::Command(int coil) {
    return SendCommand(bus_, address_, coil, true, {}, {}, &prompter_);
}

bool InstrumentPanel::Tare() {
    return Command(coil::kTare);
}

bool InstrumentPanel::GrossNet() {
    return Command(polled_.showsGross ? coil::kNet : coil::kGross);
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
