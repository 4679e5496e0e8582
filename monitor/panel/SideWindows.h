#pragma once

#include "edit/EditRequest.h"
#include "instrument/Registers.h"
#include "platform/Prompter.h"

#include <array>
#include <memory>
#include <string>

namespace quarnex {

class BusSetupSource;
class InstrumentSetup;
class ModbusMaster;
class SetupSource;

// What the information and levels windows share without their windows: one KEL 7 at one
// address, polled on the window's timer, a caption with the address, and ">>"s whose requests
// go through the one edit path to the instrument.
class SideWindow {
public:
    virtual ~SideWindow();

    // Returns the period of the first tick.
    int Open() const { return firstPeriodMs_; }
    virtual int Tick() = 0;
    // After an editor closed (whatever its result): the next tick reads what it wrote.
    int PeriodAfterEditor() const { return firstPeriodMs_; }

    int Address() const { return address_; }
    const std::string& Caption() const { return caption_; }
    // Where the editors write: the instrument at the window's address.
    SetupSource& Source();

protected:
    SideWindow(ModbusMaster& bus, int address, Prompter& prompter, int captionId,
               int firstPeriodMs);

    ModbusMaster& bus_;
    const int address_;
    Prompter& prompter_;

private:
    std::string caption_;
    int firstPeriodMs_;
    std::unique_ptr<InstrumentSetup> setup_; // holds only the address the editors write to
    std::unique_ptr<BusSetupSource> source_;
};

// The instrument-information window without its window: name, serial number, program text,
// gross weight and input signal of one KEL 7, and the name editor's request.
class InstrumentInfoWindow final : public SideWindow {
public:
    static constexpr int kActivePeriodMs = 200;
    static constexpr int kInactivePeriodMs = 1000;
    // The program text changes only with a new program: it is read every eleventh active tick.
    static constexpr int kProgramEvery = 11;
    static constexpr int kNameRegister = reg::kInstrumentName;
    static constexpr int kNameRegisters = reg::kInstrumentNameRegisters;

    struct Display {
        std::string name;
        std::string serialNumber;
        std::string program;
        std::string grossWeight;
        std::string inputSignal;
        bool editName = false;
        bool active = false;
    };

    InstrumentInfoWindow(ModbusMaster& bus, int address, Prompter& prompter);

    int Tick() override;

    const Display& GetDisplay() const { return display_; }
    int ProgramCountdown() const { return programCountdown_; }
    // What the name's ">>" opens: the text editor with the name shown now.
    EditRequest NameEditRequest() const;

private:
    Display display_;
    int programCountdown_ = 0;
};

// The levels window without its window: the eight level values with their status bits and the
// two setpoints of one KEL 7.
class LevelsWindow final : public SideWindow {
public:
    static constexpr int kLevels = 8;
    static constexpr int kSuccessPeriodMs = 100;
    static constexpr int kFailurePeriodMs = 500;
    // The level values as set-up parameters, two registers each.
    static constexpr int kLevelValueRegister = reg::kLevelValues;

    struct Display {
        std::array<std::string, kLevels> levels;
        std::array<std::string, kLevels> status;
        std::string setpoint1;
        std::string setpoint2;
        bool editLevels = false;
    };

    LevelsWindow(ModbusMaster& bus, int address, Prompter& prompter);

    int Tick() override;

    const Display& GetDisplay() const { return display_; }

    // The editor of level n (1-8): its caption, register and initial text.
    static std::string LevelCaption(int n);
    static int LevelRegister(int n) { return kLevelValueRegister + 2 * (n - 1); }
    const std::string& LevelText(int n) const { return display_.levels[n - 1]; }
    EditRequest LevelEditRequest(int n) const;

private:
    Display display_;
};

} // namespace quarnex
