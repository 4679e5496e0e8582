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

SideWindow::~SideWindow() = default;

SetupSource& SideWindow::Source() {
    return *source_;
}

// ---- InstrumentInfoWindow ----

InstrumentInfoWindow::InstrumentInfoWindow(ModbusMaster& bus, int address, Prompter& prompter)
    : SideWindow(bus, address, prompter, ids::kInfoCaption, kActivePeriodMs) {
    display_.name = display_.serialNumber = display_.program = placeholder::kValue;
    display_.grossWeight = display_.inputSignal = placeholder::kValue;
}

EditRequest InstrumentInfoWindow::NameEditRequest() const {
    return {.editor = EditorKind::Text,
            .reg = kNameRegister,
            .caption = Text(ids::kInstrumentNameCaption),
            .currentText = display_.name,
            .textCount = kNameRegisters};
}

int InstrumentInfoWindow::Tick() {
    uint16_t live[kInfoReadCount] = {};
    const CommStatus result =
        bus_.ReadHoldingRegisters(address_, reg::kLiveBlock, kInfoReadCount, live,
                                  {.retries = kPollRetries, .owner = &prompter_});
    bool active = false;
    const LiveBlock block = DecodeLiveBlock(live);
    if (result != CommStatus::Ok || InstrumentTypeFromCode(block.rawTypeCode) != itype::kKel7) {
        display_.grossWeight = display_.inputSignal = placeholder::kValue;
    } else {
        const int state = block.state;
        const int error = block.error;
        if (error != 0) {
            display_.grossWeight = display_.inputSignal = placeholder::kValue;
        } else {
            const uint16_t* gross = block.gross;
            const uint16_t* signal = live + reg::LiveOffset(reg::kInputSignal);
            display_.grossWeight = FormatWeight(gross[0], gross[1], gross[2]);
            display_.inputSignal = FormatWeight(signal[0], signal[1], signal[2]);
        }
        active = !InstrumentPanel::InactiveState(state, error);
        if (active) {
            display_.serialNumber =
                FormatSerialNumber(live[reg::LiveOffset(reg::kSerialNumberHigh)],
                                   live[reg::LiveOffset(reg::kSerialNumberHigh) + 1]);
            if (programCountdown_ == 0) {
                uint16_t info[reg::kProgramInfoCount] = {};
                if (bus_.ReadHoldingRegisters(
                        address_, reg::kProgramInfo, reg::kProgramInfoCount, info,
                        {.retries = kPollRetries, .owner = &prompter_}) == CommStatus::Ok)
                    display_.program =
                        TrimRight(UnpackText(info + (reg::kProgramText - reg::kProgramInfo),
                                             reg::kProgramTextRegisters));
                else
                    display_.program = placeholder::kValue;
                programCountdown_ = kProgramEvery - 1;
            } else {
                --programCountdown_;
            }
            std::string name;
            if (ReadTextRegisters(bus_, address_, kNameRegister, kNameRegisters, false, &prompter_,
                                  name))
                display_.name = TrimRight(name);
            else
                display_.name = placeholder::kValue;
        }
    }
    if (!active) {
        programCountdown_ = 0;
        display_.serialNumber = display_.program = display_.name = placeholder::kValue;
    }
    display_.active = active;
    display_.editName = active;
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
    uint16_t levels[3 * kLevels] = {};
    uint16_t levelStatus = 0;
    uint16_t setpoints[6] = {};
    const TransactionOptions polling{.retries = kPollRetries, .owner = &prompter_};
    // Stops at the first failure: a half-read window would mix values of different moments.
    const bool ok = bus_.ReadHoldingRegisters(address_, reg::kLevelsLive, 3 * kLevels, levels,
                                              polling) == CommStatus::Ok &&
                    bus_.ReadHoldingRegisters(address_, reg::kLevelStatus, 1, &levelStatus,
                                              polling) == CommStatus::Ok &&
                    bus_.ReadHoldingRegisters(address_, reg::kSetpoints, 6, setpoints, polling) ==
                        CommStatus::Ok;
    if (!ok) {
        display_.levels.fill(placeholder::kValue);
        display_.status.fill(placeholder::kValue);
        display_.setpoint1 = display_.setpoint2 = placeholder::kValue;
        display_.editLevels = false;
        return kFailurePeriodMs;
    }
    for (int n = 0; n < kLevels; ++n) {
        const uint16_t* level = levels + 3 * n;
        display_.levels[n] = FormatWeight(level[0], level[1], level[2]);
        display_.status[n] = (levelStatus & (1u << n)) != 0 ? "1" : "0";
    }
    display_.setpoint1 = FormatWeight(setpoints[0], setpoints[1], setpoints[2]);
    display_.setpoint2 = FormatWeight(setpoints[3], setpoints[4], setpoints[5]);
    display_.editLevels = true;
    return kSuccessPeriodMs;
}

} // namespace quarnex
