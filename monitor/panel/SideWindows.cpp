#include "monitor/panel/SideWindows.h"

#include "comm/ModbusMaster.h"
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
constexpr int kSerialHigh = 40004;
constexpr int kInputSignal = 40027; // mV/V: high word, low word, decimals
constexpr int At(int reg) {
    return reg - reg::kLiveBlock;
}

// The program information block; the program's 8-character text lies at 43001-43004.
constexpr int kProgramInfo = 42998;
constexpr int kProgramInfoCount = 23;
constexpr int kProgramText = 43001;
constexpr int kProgramTextRegisters = 4;

// The levels window's three reads.
constexpr int kLevelsLive = 44039; // 8 x (high word, low word, decimals)
constexpr int kLevelStatus = 40045;
constexpr int kSetpoints = 40031; // 2 x (high word, low word, decimals)

} // namespace

// ---- InstrumentInfoWindow ----

InstrumentInfoWindow::InstrumentInfoWindow(ModbusMaster& bus, int address, Prompter& prompter)
    : bus_(bus), address_(address), prompter_(prompter) {
    display_.caption = Caption(address_);
    display_.name = display_.serialNumber = display_.program = placeholder::kValue;
    display_.grossWeight = display_.inputSignal = placeholder::kValue;
}

std::string InstrumentInfoWindow::Caption(int address) {
    return Text(ids::kInfoCaption) + " " + std::to_string(address);
}

int InstrumentInfoWindow::Open() {
    display_.caption = Caption(address_);
    return kActivePeriodMs;
}

int InstrumentInfoWindow::Tick() {
    uint16_t live[kInfoReadCount] = {};
    const CommStatus result = bus_.ReadHoldingRegisters(address_, reg::kLiveBlock, kInfoReadCount,
                                                        live, kPollRetries, 0, false, &prompter_);
    bool active = false;
    if (result != status::kOk || InstrumentTypeFromCode(live[At(reg::kTypeCode)]) != itype::kKel7) {
        display_.grossWeight = display_.inputSignal = placeholder::kValue;
    } else {
        const int state = live[At(reg::kState)];
        const int error = live[At(reg::kError)];
        if (error != 0) {
            display_.grossWeight = display_.inputSignal = placeholder::kValue;
        } else {
            const uint16_t* gross = live + At(reg::kGrossWeight);
            const uint16_t* signal = live + At(kInputSignal);
            display_.grossWeight = FormatWeight(gross[0], gross[1], gross[2]);
            display_.inputSignal = FormatWeight(signal[0], signal[1], signal[2]);
        }
        active = !InstrumentPanel::InactiveState(state, error);
        if (active) {
            display_.serialNumber =
                FormatSerialNumber(live[At(kSerialHigh)], live[At(kSerialHigh) + 1]);
            if (programCountdown_ == 0) {
                uint16_t info[kProgramInfoCount] = {};
                if (bus_.ReadHoldingRegisters(address_, kProgramInfo, kProgramInfoCount, info,
                                              kPollRetries, 0, false, &prompter_) == status::kOk)
                    display_.program = TrimRight(
                        UnpackText(info + (kProgramText - kProgramInfo), kProgramTextRegisters));
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
    : bus_(bus), address_(address), prompter_(prompter) {
    display_.caption = Caption(address_);
    display_.levels.fill(placeholder::kValue);
    display_.status.fill(placeholder::kValue);
    display_.setpoint1 = display_.setpoint2 = placeholder::kValue;
}

std::string LevelsWindow::Caption(int address) {
    return Text(ids::kLevelsCaption) + " " + std::to_string(address);
}

std::string LevelsWindow::LevelCaption(int n) {
    return Text(ids::kLevelCaptionBase + n);
}

int LevelsWindow::Open() {
    display_.caption = Caption(address_);
    return kSuccessPeriodMs;
}

int LevelsWindow::Tick() {
    uint16_t levels[3 * kLevels] = {};
    uint16_t levelStatus = 0;
    uint16_t setpoints[6] = {};
    // Stops at the first failure: a half-read window would mix values of different moments.
    const bool ok = bus_.ReadHoldingRegisters(address_, kLevelsLive, 3 * kLevels, levels,
                                              kPollRetries, 0, false, &prompter_) == status::kOk &&
                    bus_.ReadHoldingRegisters(address_, kLevelStatus, 1, &levelStatus, kPollRetries,
                                              0, false, &prompter_) == status::kOk &&
                    bus_.ReadHoldingRegisters(address_, kSetpoints, 6, setpoints, kPollRetries, 0,
                                              false, &prompter_) == status::kOk;
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
