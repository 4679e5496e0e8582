#pragma once

#include "sim/FlashImage.h"
#include "sim/SlaveModel.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quarnex::sim {

// Where the instrument's own time comes from.
//   Manual: time moves only when a test calls Step(ms); every value is exactly what the test set.
//   Bus:    time follows the bus clock handed to Advance (the demo and quarnex-sim).
enum class Kel7Clock { Manual, Bus };

// What kind of KEL 7 to build. The defaults are a KEL 7 Recipe Batcher (set-up version 1310 with
// batching and flow-rate options and five special parameters), already started, in normal state,
// settled at zero load, on a manual clock, with short delays suitable for tests.
struct Kel7Options {
    // Identification.
    uint32_t serialNumber = 123456;
    int programNumber = 7310;
    int programVersion = 104;
    int setupVersion = 1310; // variants: 1300, 1311
    int setupDataVersion = 2;
    int normalCount = 159;      // variant: 160 (more than the program accepts); at most 169
    int specialCount = 5;       // 0: no special parameters; at most 20
    int stringCount = 54;       // variant: 55
    bool batchingOption = true; // option bit 16
    bool flowRateOption = true; // option bit 2
    int flashKb = 256;          // 128, 256, 512 or 1024
    std::string name = "KEL 7";
    int address = 1; // the set-up value "Instrument address:"

    // Behaviour.
    bool startByCommand = false; // "Start mode:" Command: waits for start (state 1) after start-up
    bool startUp = false; // begin in state 0 and go through warming up (9); else begin at 1/2
    Kel7Clock clock = Kel7Clock::Manual;
    bool demoLoad = false;    // a load that keeps filling and emptying while time runs
    double load = 0.0;        // the initial load, in the displayed unit
    int startUpMs = 0;        // time in state 0
    int warmUpMs = 0;         // time in state 9
    int restartMs = 0;        // silence after a restart before state 0
    int measureMs = 200;      // answer delay of a write that makes the instrument measure
                              // (a calibration point, "Set zero:")
    int eraseMs = 0;          // answer delay of a flash erase
    int saveMs = 0;           // answer delay of coil 102 (storing the set-up)
    double shuntSignal = 1.0; // mV/V added to the input signal while the shunt is connected
};

// Errors of the scale behind the instrument (load cell and platform), the faults a check with test
// weights must find. Each is in percent of the capacity ("Capacity:"), noise in display steps.
//   nonlinearity: the load cell's curve leaves the straight line by this much at half capacity
//                 (a parabola through zero and the capacity);
//   hysteresis:   a load reached from above reads this much more than from below, at half
//                 capacity (the same parabola);
//   eccentricity: a load in a corner reads off by this much at full load, in proportion to the
//                 load: corner 1 high by all of it, 2 high by half, 3 low by half, 4 low by all;
//   noise:        the reading scatters by up to this many display steps either way.
struct ScaleErrors {
    double nonlinearity = 0.0;
    double hysteresis = 0.0;
    double eccentricity = 0.0;
    double noise = 0.0;
};

// A simulated KEL 7 weighing and batching transmitter.
//
// The instrument measures a load and shows it as gross and net weight with the decimals of
// "Resolution:", with motion while the load changes, zero indication near zero, tare and net mode,
// and overload/over-range errors beyond capacity. It has the states of a real transmitter
// (start-up, warming up, wait for start, normal, remote set-up and restore, boot), takes the
// command coils with the refusals a real one gives (Modbus exception 03, or 07 for commands it
// cannot do at the moment, with the reason in 40007), keeps a full factory set-up with range
// checks, a set-up snapshot taken on entry to remote set-up/restore (coil 103 brings it back),
// batching activities and recipes behind their selector registers, calibration points that are
// stored only after the instrument has measured them (the write's answer is delayed by measureMs),
// a boot loader with a flash image, and restarts into whatever program the flash holds.
//
// The weight is what the calibration makes of the input signal (2 mV/V at a load of 1000 on an
// empty-scale signal of 0.1 mV/V): the factory calibration (deadweight, 0 at 0.1 mV/V and 1000 at
// 2.1 mV/V) shows the load as it is; a data sheet, shunt or new point calibration changes that.
// The register map, coils, states, command errors and boot-loader keys are in
// sim/Kel7Registers.h; BuildFlashImage (sim/FlashImage.h) makes upgrade images the boot loader
// accepts. A saved set-up with another "Instrument address:" moves the instrument on the bus.
//
// As a Modbus slave: a function other than 3, 5, 6 and 16 gets exception 01; a read or write that
// does not lie inside one of the instrument's register blocks gets exception 02 (unused registers
// inside a block read 0); a coil number without a command gets exception 02; malformed frames and
// other addresses are silence (the bus engine drops them).
//
// How a test drives it (always inside SimBus::WithModel<Kel7Model>(address, [](Kel7Model& m) {...})
// so the bus thread sees a consistent device):
//   weight:   SetLoad(250.0) puts a settled load on the scale; RampLoad(500, 2000) moves it over
//             2 s of instrument time (motion while moving); SetMotion(true) forces motion.
//   time:     Step(ms) advances the instrument's time on a manual clock (start-up, warm-up,
//             restart, ramps, the no-motion delay).
//   state:    SetState(s) puts the instrument into any state code (e.g. 0, 6, 7, 99, 12).
//   errors:   SetError(97) forces register 40009 (0 ends the forcing); SetIoStatus(4) sets 40011.
//   any register: Pin(40014, 9) makes a register read a fixed value (decimals 9 -> EEEEEE);
//             Unpin / UnpinAll.
//   set-up:   SetNormalValue(i, v) etc. change a value directly, without range checks (e.g. a
//             set-up that the instrument's check must refuse); FactoryReset().
//   read back: State(), Error(), CommandError(), Gross(), Net(), NetMode(), NormalValue(i),
//             SpecialValue(j), BatchValue(i), RecipeValue(i), Text(k), Name(), LevelValue(n),
//             UnstoredMask(), InBatchSetup(), ShuntConnected(), Commands() (the coils with the
//             command error each gave, 0 = done), Writes() (the register writes with their
//             results); both logs keep at least the last kLogSize entries.
class Kel7Model : public SlaveModel {
public:
    explicit Kel7Model(const Kel7Options& options = {});

    // SlaveModel.
    void Advance(int64_t nowMs) override;
    SlaveResult ReadHoldingRegisters(uint16_t address, uint16_t count, uint16_t* out) override;
    SlaveResult WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count,
                               bool single) override;
    SlaveResult WriteCoil(uint16_t address, bool on) override;
    // A saved set-up with another "Instrument address:" moves the instrument to that address.
    int TakeAddressChange() override;

    // ---- Time and weight ----
    void Step(int64_t ms);
    int64_t TimeMs() const { return timeMs_; }
    void SetLoad(double load);
    void RampLoad(double target, int64_t durationMs);
    double Load() const { return load_; }
    void SetMotion(bool forced) { forcedMotion_ = forced; }
    // A test weight put on the platform from outside: stops the demo hopper and moves the load
    // to target over settleMs (motion meanwhile, then the no-motion delay).
    void PlaceLoad(double target, int64_t settleMs);
    // Where the load stands: 0 the centre, 1-4 the corners. Moving it shakes the platform.
    void SetPosition(int position, int64_t settleMs);
    int Position() const { return position_; }
    void SetScaleErrors(const ScaleErrors& errors) { scaleErrors_ = errors; }
    const ScaleErrors& GetScaleErrors() const { return scaleErrors_; }
    // What the scale's errors add to the load now, in the displayed unit (noise left out).
    double ScaleError() const;

    // ---- State, errors, live registers ----
    void SetState(int state);
    void SetError(int code) { forcedError_ = code; }
    void SetIoStatus(uint16_t bits) { ioStatus_ = bits; }
    void SetSetpoints(double setpoint1, double setpoint2);
    void Pin(int reg, uint16_t value) { pinned_[reg] = value; }
    void Unpin(int reg) { pinned_.erase(reg); }
    void UnpinAll() { pinned_.clear(); }

    int State() const { return state_; }
    int Error() const;
    int CommandError() const { return commandError_; }
    double Gross() const;
    double Net() const { return Gross() - tare_; }
    double TareValue() const { return tare_; }
    bool NetMode() const { return netMode_; }
    bool Motion() const;
    bool ZeroIndication() const;
    int WeightDecimals() const;
    double InputSignal() const; // mV/V

    // ---- Set-up (direct access bypasses range checks; derived values follow) ----
    float NormalValue(int i) const;
    void SetNormalValue(int i, float value);
    float SpecialValue(int j) const;
    void SetSpecialValue(int j, float value);
    float BatchValue(int i) const; // 0-4 general, 5 + 25 (k-1) + j activity k
    void SetBatchValue(int i, float value);
    float RecipeValue(int i) const; // 60 (r-1) + j
    void SetRecipeValue(int i, float value);
    std::string Text(int k) const;
    void SetText(int k, const std::string& text);
    std::string Name() const;
    void SetName(const std::string& name);
    float LevelValue(int n) const { return levels_[n - 1]; } // n = 1-8
    void SetLevelValue(int n, float value) { levels_[n - 1] = value; }
    uint16_t UnstoredMask() const { return setup_.unstored; }
    void SetUnstoredMask(uint16_t mask) { setup_.unstored = mask; }
    bool InBatchSetup() const { return batchSetup_; }
    bool ShuntConnected() const { return shunt_; }
    int ActivitySelector() const { return activity_; }
    int RecipeSelector() const { return recipe_; }
    // The value a factory set-up (and the default set-up key) gives normal value i.
    float FactoryValue(int i) const;
    // Restores the factory set-up (what the default set-up key does).
    void FactoryReset();

    // ---- Flash and program information ----
    const std::vector<uint8_t>& Flash() const { return flash_; }
    void SetFlash(std::vector<uint8_t> image) { flash_ = std::move(image); }
    const FlashLayout& Layout() const { return layout_; }
    ProgramInfo ApplicationInfo() const;
    ProgramInfo BootInfo() const;
    // Restarts now, as after the restart key: runs the application in flash when its checksum
    // and block are right, else stays in the boot state.
    void Restart();

    // ---- Logs (the most recent kLogSize entries or more, oldest first) ----
    static constexpr size_t kLogSize = 4096;
    struct CommandRecord {
        int coil;
        int result; // 0 done, else the command error
    };
    struct WriteRecord {
        int reg;
        std::vector<uint16_t> values;
        int result; // 0 done, else the command error (or -2 for exception 02)
    };
    const std::vector<CommandRecord>& Commands() const { return commands_; }
    const std::vector<WriteRecord>& Writes() const { return writes_; }
    void ClearLogs();
    const Kel7Options& Options() const { return options_; }

private:
    // The implementation is split by job: the Modbus face and the commands (Kel7Model.cpp), the
    // register map (Kel7RegisterMap.cpp), the live scale and its states (Kel7Scale.cpp), the
    // set-up store and its checks (Kel7Store.cpp), batching and recipes (Kel7Batching.cpp), and
    // the boot loader with its flash (Kel7Boot.cpp).
    struct Setup {
        std::vector<float> normal;
        std::vector<float> special;
        std::vector<float> batch;
        std::vector<float> recipes;
        std::vector<std::string> texts;
        uint16_t unstored = 0;
    };
    struct Descriptor {
        std::string name;
        std::string unit;
        int decimals = 0;
        float min = 0;
        float max = 0;
        float factory = 0;
    };

    // Register map: one area per register block, with what reads it and what writes it.
    using AreaReader = uint16_t (Kel7Model::*)(int reg, int start) const;
    using ValueWriter = int (Kel7Model::*)(int reg, float value, SlaveResult& result);
    struct Area;
    using BlockWriter = int (Kel7Model::*)(const Area& area, int reg, const uint16_t* values,
                                           int count, bool single, SlaveResult& result);
    struct Area {
        int first;
        int last;
        AreaReader read = nullptr;        // none: reads 0
        BlockWriter write = nullptr;      // none: "Illegal register" on a write
        ValueWriter writeValue = nullptr; // for WriteFloats: one two-register value
    };
    void BuildRegisterMap();
    const Area* FindArea(int first, int count) const;
    uint16_t RegisterValue(int reg, int start) const;
    int WriteValues(int reg, const uint16_t* values, int count, bool single, SlaveResult& result);
    int WriteFloats(const Area& area, int reg, const uint16_t* values, int count, bool single,
                    SlaveResult& result);
    uint16_t ReadIdentification(int reg, int start) const;
    uint16_t ReadIdentificationB(int reg, int start) const;

    // Commands and logs.
    int Refuse(int code, uint8_t exception, SlaveResult& result);
    int Command(int coil, SlaveResult& result);
    template <class T> static void Record(std::vector<T>& log, T entry);

    // Live scale and states.
    void UpdateRunState();
    int64_t ScaledWeight(double value, int decimals) const;
    double Division() const; // one division of "Resolution:"
    double CalibratedWeight() const;
    int ComputedError() const;
    double LevelSource(int source) const;
    bool Running() const;
    uint16_t ReadLive(int reg, int start) const;
    uint16_t ReadAdjustEnd(int reg, int start) const;
    uint16_t ReadLevelValue(int reg, int start) const;
    uint16_t ReadLevelLive(int reg, int start) const;
    int WriteAdjustEnd(int reg, float value, SlaveResult& result);
    int WriteLevelValue(int reg, float value, SlaveResult& result);

    // Set-up store and checks.
    int CheckNormalRange(int i, float value) const;
    int CheckSpecialRange(int j, float value) const;
    void Derive();
    int CheckSetup(bool forExit, bool fixToDefault, bool& setToDefault);
    int CrossCheck(bool forExit) const;
    bool SetupWritable() const;
    void EnterRemote(int state);
    void LeaveRemote(bool keep);
    uint16_t ReadNormal(int reg, int start) const;
    uint16_t ReadSpecial(int reg, int start) const;
    uint16_t ReadDescriptor(int reg, int start) const;
    uint16_t ReadText(int reg, int start) const;
    uint16_t ReadName(int reg, int start) const;
    int WriteNormalValue(int reg, float value, SlaveResult& result);
    int WriteNormal(int i, float value, SlaveResult& result);
    int WriteSpecialValue(int reg, float value, SlaveResult& result);
    int WriteTexts(const Area& area, int reg, const uint16_t* values, int count, bool single,
                   SlaveResult& result);

    // Batching and recipes.
    void FactoryBatching();
    bool BatchWritable() const;
    int CheckBatchRange(int entry, float value) const;
    int CheckRecipeRange(int j, float value) const;
    int CheckBatching(bool fixToDefault, bool& setToDefault);
    uint16_t ReadBatching(int reg, int start) const;
    uint16_t ReadBatchSetupFlag(int reg, int start) const;
    int WriteBatchingValue(int reg, float value, SlaveResult& result);

    // Boot loader and flash.
    void BuildFlash();
    uint16_t ReadProgramInfo(int reg, int start) const;
    int BootWrite(const Area& area, int reg, const uint16_t* values, int count, bool single,
                  SlaveResult& result);

    Kel7Options options_;
    FlashLayout layout_;
    std::vector<uint8_t> flash_;
    std::vector<Area> map_;
    std::vector<Descriptor> descriptors_;

    Setup setup_;
    Setup saved_; // the set-up from before remote set-up/restore
    bool haveSaved_ = false;
    int addressChange_ = 0;
    int stateBeforeRemote_ = 2;
    std::string name_;
    float levels_[8] = {};
    float adjustEnd_[2] = {};

    int64_t timeMs_ = 0;
    int64_t lastBusMs_ = -1;
    int state_ = 2;
    int64_t stateUntilMs_ = -1; // end of a timed state (start-up, warm-up, restart)
    bool silent_ = false;       // restarting: no answers
    int forcedError_ = 0;
    uint16_t ioStatus_ = 0;
    int commandError_ = 0;
    std::map<int, uint16_t> pinned_;

    double load_ = 0;
    ScaleErrors scaleErrors_;
    int position_ = 0;
    bool descending_ = false; // the last load placed was lighter than the one before
    double rampFrom_ = 0, rampTo_ = 0;
    int64_t rampStartMs_ = 0, rampEndMs_ = 0;
    int64_t lastMoveMs_ = -1'000'000;
    bool forcedMotion_ = false;
    double zero_ = 0; // zero setting by the zero command
    double tare_ = 0;
    bool netMode_ = false;
    double setpoints_[2] = {0, 0};
    bool shunt_ = false;
    bool batchSetup_ = false;
    int activity_ = 1;
    int recipe_ = 1;

    // Boot loader.
    bool eraseStarted_ = false;
    bool bootErased_ = false;
    ProgramInfo runningApp_; // the program information of the program that runs now

    std::vector<CommandRecord> commands_;
    std::vector<WriteRecord> writes_;
};

// The KEL 7 (or a variant of it) for a test or the demo bus.
std::shared_ptr<Kel7Model> MakeKel7(const Kel7Options& options = {});

} // namespace quarnex::sim
