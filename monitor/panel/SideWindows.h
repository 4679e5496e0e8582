#pragma once

#include "edit/EditRequest.h"
#include "instrument/Registers.h"
#include "platform/Prompter.h"
#include "session/BusSession.h"

#include <array>
#include <cstdint>
#include <functional>
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
//
// In the program a side window polls on the link's bus session (UseSession), as the panel does:
// a tick's reads run on the session's thread on a copy of what the window shows, and the window
// thread takes the copy back when it arrives. Without a session Tick() reads directly.
class SideWindow {
public:
    virtual ~SideWindow();
    SideWindow(const SideWindow&) = delete;
    SideWindow& operator=(const SideWindow&) = delete;

    // Polls through session from now on (the window's editors still write on the window thread,
    // holding the session's bus). Call once, before the first tick.
    void UseSession(BusSession& session);
    BusSession* Session() const { return session_; }

    // Returns the period of the first tick.
    int Open() const { return firstPeriodMs_; }
    virtual int Tick() = 0;
    // One tick on the session: returns at once; ticked(period) runs on the window thread once
    // the display shows the reads (before returning with an inline session), never after the
    // window is gone. False with nothing queued while a tick is out.
    virtual bool TickThen(std::function<void(int period)> ticked) = 0;
    bool TickOut() const { return tickOut_; }
    // After an editor closed (whatever its result): the next tick reads what it wrote.
    int PeriodAfterEditor() const { return firstPeriodMs_; }

    int Address() const { return address_; }
    const std::string& Caption() const { return caption_; }
    // Where the editors write: the instrument at the window's address.
    SetupSource& Source();

protected:
    SideWindow(ModbusMaster& bus, int address, Prompter& prompter, int captionId,
               int firstPeriodMs);

    // The tick of a window whose state is a State, read by run on whichever thread has the bus.
    template <class State>
    bool SubmitTick(State& state, int (*run)(State&, ModbusMaster&, int, Prompter&),
                    std::function<void(int period)> ticked) {
        if (!session_) {
            const int period = run(state, bus_, address_, prompter_);
            if (ticked)
                ticked(period);
            return true;
        }
        return SubmitSnapshotTick<State>(
            *session_, owner_, tickOut_, state, firstPeriodMs_,
            [run, address = address_](State& s, ModbusMaster& bus, Prompter& asker) {
                return run(s, bus, address, asker);
            },
            std::move(ticked));
    }

    ModbusMaster& bus_;
    const int address_;
    Prompter& prompter_;

private:
    BusSession* session_ = nullptr;
    uint64_t owner_ = 0;
    bool tickOut_ = false;
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
    bool TickThen(std::function<void(int period)> ticked) override;

    const Display& GetDisplay() const { return state_.display; }
    int ProgramCountdown() const { return state_.programCountdown; }
    // What the name's ">>" opens: the text editor with the name shown now.
    EditRequest NameEditRequest() const;

private:
    struct State {
        Display display;
        int programCountdown = 0;
    };
    static int RunTick(State& s, ModbusMaster& bus, int address, Prompter& prompter);

    State state_;
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
    bool TickThen(std::function<void(int period)> ticked) override;

    const Display& GetDisplay() const { return display_; }

    // The editor of level n (1-8): its caption, register and initial text.
    static std::string LevelCaption(int n);
    static int LevelRegister(int n) { return kLevelValueRegister + 2 * (n - 1); }
    const std::string& LevelText(int n) const { return display_.levels[n - 1]; }
    EditRequest LevelEditRequest(int n) const;

private:
    static int RunTick(Display& d, ModbusMaster& bus, int address, Prompter& prompter);

    Display display_;
};

} // namespace quarnex
