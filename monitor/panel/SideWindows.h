#pragma once

#include "instrument/Registers.h"
#include "platform/Prompter.h"

#include <array>
#include <string>

namespace quarnex {

class ModbusMaster;

// The instrument-information window without its window: name, serial number, program text,
// gross weight and input signal of one KEL 7, and the name editor's parameters.
class InstrumentInfoWindow {
public:
    static constexpr int kActivePeriodMs = 200;
    static constexpr int kInactivePeriodMs = 1000;
    // The program text changes only with a new program: it is read every eleventh active tick.
    static constexpr int kProgramEvery = 11;
    static constexpr int kNameRegister = reg::kInstrumentName;
    static constexpr int kNameRegisters = reg::kInstrumentNameRegisters;

    struct Display {
        std::string caption;
        std::string name;
        std::string serialNumber;
        std::string program;
        std::string grossWeight;
        std::string inputSignal;
        bool editName = false;
        bool active = false;
    };

    InstrumentInfoWindow(ModbusMaster& bus, int address, Prompter& prompter);

    // Returns the period of the first tick.
    int Open();
    int Tick();
    // After the name editor closed (whatever its result).
    int PeriodAfterEditor() const { return kActivePeriodMs; }

    const Display& GetDisplay() const { return display_; }
    int ProgramCountdown() const { return programCountdown_; }
    int Address() const { return address_; }

    static std::string Caption(int address);

private:
    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    Display display_;
    int programCountdown_ = 0;
};

// The levels window without its window: the eight level values with their status bits and the
// two setpoints of one KEL 7.
class LevelsWindow {
public:
    static constexpr int kLevels = 8;
    static constexpr int kSuccessPeriodMs = 100;
    static constexpr int kFailurePeriodMs = 500;
    // The level values as set-up parameters, two registers each.
    static constexpr int kLevelValueRegister = reg::kLevelValues;

    struct Display {
        std::string caption;
        std::array<std::string, kLevels> levels;
        std::array<std::string, kLevels> status;
        std::string setpoint1;
        std::string setpoint2;
        bool editLevels = false;
    };

    LevelsWindow(ModbusMaster& bus, int address, Prompter& prompter);

    int Open();
    int Tick();
    int PeriodAfterEditor() const { return kSuccessPeriodMs; }

    const Display& GetDisplay() const { return display_; }
    int Address() const { return address_; }

    // The editor of level n (1-8): its caption, register and initial text.
    static std::string LevelCaption(int n);
    static int LevelRegister(int n) { return kLevelValueRegister + 2 * (n - 1); }
    const std::string& LevelText(int n) const { return display_.levels[n - 1]; }

    static std::string Caption(int address);

private:
    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    Display display_;
};

} // namespace quarnex
