#include "monitor/panel/SideWindows.h"

#include "comm/ModbusMaster.h"
#include "edit/SetupSource.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "instrument/ValueHelpers.h"
#include "monitor/panel/InstrumentPanel.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"

namespace quarnex {

namespace {

constexpr int kPollRetries = 2;

// The information window reads the live block with its extension up to the input signal.
constexpr int kInfoReadCount = 30;

} // namespace

// ---- SideWindow ----

SideWindow::SideWindow(ModbusMaster& bus, int address, Prompter& prompter, int captionId,
                       int firstPeriodMs)
    : bus_(bus), address_(address), prompter_(prompter),
      caption_(Text(captionId) + " " + std::to_string(address)), firstPeriodMs_(firstPeriodMs),
      setup_(std::make_unique<InstrumentSetup>()) {
    setup_->SetAddress(address);
    source_ = std::make_unique<BusSetupSource>(bus, *setup_, prompter);
}

SideWindow::~SideWindow() {
    // A tick still out is dropped, and its result never reaches a window that is gone.
    if (session_)
        session_->CloseOwner(owner_);
}

void SideWindow::UseSession(BusSession& session) {
    session_ = &session;
    owner_ = session.OpenOwner();
}

SetupSource& SideWindow::Source() {
    return *source_;
}

// ---- InstrumentInfoWindow ----

InstrumentInfoWindow::InstrumentInfoWindow(ModbusMaster& bus, int address, Prompter& prompter)
    : SideWindow(bus, address, prompter, ids::kInfoCaption, kActivePeriodMs) {
    Display& d = state_.display;
    d.name = d.serialNumber = d.program = placeholder::kValue;
    d.grossWeight = d.inputSignal = placeholder::kValue;
}

EditRequest InstrumentInfoWindow::NameEditRequest() const {
    return {.editor = EditorKind::Text,
            .reg = kNameRegister,
            .caption = Text(ids::kInstrumentNameCaption),
            .currentText = state_.display.name,
            .textCount = kNameRegisters};
}

int InstrumentInfoWindow::Tick() {
    return RunTick(state_, bus_, address_, prompter_);
}

bool InstrumentInfoWindow::TickThen(std::function<void(int period)> ticked) {
    return SubmitTick(state_, &RunTick, std::move(ticked));
}

int InstrumentInfoWindow::RunTick(State& s, ModbusMaster& bus, int address, Prompter& prompter) {
    Display& d = s.display;
    uint16_t live[kInfoReadCount] = {};
    const CommStatus result =
        bus.ReadHoldingRegisters(address, reg::kLiveBlock, kInfoReadCount, live,
                                 {.retries = kPollRetries, .owner = &prompter});
    bool active = false;
    const LiveBlock block = DecodeLiveBlock(live);
    if (result != CommStatus::Ok || InstrumentTypeFromCode(block.rawTypeCode) != itype::kKel7) {
        d.grossWeight = d.inputSignal = placeholder::kValue;
    } else {
        const int state = block.state;
        const int error = block.error;
        if (error != 0) {
            d.grossWeight = d.inputSignal = placeholder::kValue;
        } else {
            const uint16_t* gross = block.gross;
            const uint16_t* signal = live + reg::LiveOffset(reg::kInputSignal);
            d.grossWeight = FormatWeight(gross[0], gross[1], gross[2]);
            d.inputSignal = FormatWeight(signal[0], signal[1], signal[2]);
        }
        active = !InstrumentPanel::InactiveState(state, error);
        if (active) {
            d.serialNumber = FormatSerialNumber(live[reg::LiveOffset(reg::kSerialNumberHigh)],
                                                live[reg::LiveOffset(reg::kSerialNumberHigh) + 1]);
            if (s.programCountdown == 0) {
                uint16_t info[reg::kProgramInfoCount] = {};
                if (bus.ReadHoldingRegisters(address, reg::kProgramInfo, reg::kProgramInfoCount,
                                             info, {.retries = kPollRetries, .owner = &prompter}) ==
                    CommStatus::Ok)
                    d.program = TrimRight(UnpackText(info + (reg::kProgramText - reg::kProgramInfo),
                                                     reg::kProgramTextRegisters));
                else
                    d.program = placeholder::kValue;
                s.programCountdown = kProgramEvery - 1;
            } else {
                --s.programCountdown;
            }
            std::string name;
            if (ReadTextRegisters(bus, address, kNameRegister, kNameRegisters, false, &prompter,
                                  name))
                d.name = TrimRight(name);
            else
                d.name = placeholder::kValue;
        }
    }
    if (!active) {
        s.programCountdown = 0;
        d.serialNumber = d.program = d.name = placeholder::kValue;
    }
    d.active = active;
    d.editName = active;
    return active ? kActivePeriodMs : kInactivePeriodMs;
}

// ---- LevelsWindow ----

LevelsWindow::LevelsWindow(ModbusMaster& bus, int address, Prompter& prompter)
    : SideWindow(bus, address, prompter, ids::kLevelsCaption, kSuccessPeriodMs) {
    display_.levels.fill(placeholder::kValue);
    display_.status.fill(placeholder::kValue);
    display_.setpoint1 = display_.setpoint2 = placeholder::kValue;
}

std::string LevelsWindow::LevelCaption(int n) {
    return Text(ids::kLevelCaptionBase + n);
}

EditRequest LevelsWindow::LevelEditRequest(int n) const {
    return {.editor = EditorKind::Number,
            .reg = LevelRegister(n),
            .caption = LevelCaption(n),
            .currentText = LevelText(n)};
}

int LevelsWindow::Tick() {
    return RunTick(display_, bus_, address_, prompter_);
}

bool LevelsWindow::TickThen(std::function<void(int period)> ticked) {
    return SubmitTick(display_, &RunTick, std::move(ticked));
}

int LevelsWindow::RunTick(Display& d, ModbusMaster& bus, int address, Prompter& prompter) {
    uint16_t levels[3 * kLevels] = {};
    uint16_t levelStatus = 0;
    uint16_t setpoints[6] = {};
    const TransactionOptions polling{.retries = kPollRetries, .owner = &prompter};
    // Stops at the first failure: a half-read window would mix values of different moments.
    const bool ok =
        bus.ReadHoldingRegisters(address, reg::kLevelsLive, 3 * kLevels, levels, polling) ==
            CommStatus::Ok &&
        bus.ReadHoldingRegisters(address, reg::kLevelStatus, 1, &levelStatus, polling) ==
            CommStatus::Ok &&
        bus.ReadHoldingRegisters(address, reg::kSetpoints, 6, setpoints, polling) == CommStatus::Ok;
    if (!ok) {
        d.levels.fill(placeholder::kValue);
        d.status.fill(placeholder::kValue);
        d.setpoint1 = d.setpoint2 = placeholder::kValue;
        d.editLevels = false;
        return kFailurePeriodMs;
    }
    for (int n = 0; n < kLevels; ++n) {
        const uint16_t* level = levels + 3 * n;
        d.levels[n] = FormatWeight(level[0], level[1], level[2]);
        d.status[n] = (levelStatus & (1u << n)) != 0 ? "1" : "0";
    }
    d.setpoint1 = FormatWeight(setpoints[0], setpoints[1], setpoints[2]);
    d.setpoint2 = FormatWeight(setpoints[3], setpoints[4], setpoints[5]);
    d.editLevels = true;
    return kSuccessPeriodMs;
}

} // namespace quarnex
