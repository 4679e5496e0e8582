#pragma once

#include "instrument/SheetMode.h"
#include "monitor/panel/WeightTrend.h"
#include "platform/Prompter.h"

#include <string>

namespace quarnex {

class ModbusMaster;

// The instrument panel of one KEL 7 without its window: polls the live block, decides every
// field text and every enable flag, and sends the weighing commands. The window calls Open()
// once, then re-arms a single-shot timer with what Tick() returns and renders Display().
class InstrumentPanel {
public:
    static constexpr int kNoAddress = 999;
    static constexpr int kActivePeriodMs = 200;
    static constexpr int kInactivePeriodMs = 1000;
    // Slow updates (name, software options, I/O warning) come every sixth active tick.
    static constexpr int kSlowUpdateEvery = 6;

    // The ways the set-up sheet is opened from the panel.
    using SheetMode = quarnex::SheetMode;

    // Windows that are reached from the panel but built elsewhere. A button whose window is not
    // available stays disabled whatever the instrument's state.
    struct Features {
        bool setupSheet = false; // Show Set-up and Edit Set-up
        bool backup = false;
        bool restore = false;
        bool batchingSheet = false; // Edit Batching Set-up and Edit Recipes
        bool compare = false;       // the set-up against a set-up file
    };

    // Everything the window shows.
    struct Display {
        std::string caption;
        std::string name;
        std::string displayedWeight;
        std::string grossNet;   // "GROSS" / "NET" / ""
        std::string motionZero; // "ZERO" / "MOTION" / ""
        std::string grossWeight;
        std::string netWeight;
        std::string state;
        std::string status;
        std::string message;

        bool tare = false;
        bool grossNetButton = false;
        bool zero = false;
        bool editSetup = false;
        bool showSetup = false;
        bool editBatching = false;
        bool editRecipes = false;
        bool levels = false;
        bool info = false;
        bool start = false;
        bool backup = false;
        bool restore = false;
        bool compare = false;

        bool active = false;
        // Set by a tick that found the instrument inactive: the focus goes to "Close".
        bool focusClose = false;
    };

    InstrumentPanel(ModbusMaster& bus, int address, Prompter& prompter);

    void SetFeatures(const Features& features) { features_ = features; }

    // Opening: sets the caption and offers a waiting instrument a start. Returns the period of
    // the first tick.
    int Open();
    // One timer tick. Returns the period until the next one.
    int Tick();

    const Display& GetDisplay() const { return display_; }
    int Address() const { return address_; }
    bool ShowsGross() const { return showsGross_; }
    bool BatchingEnabled() const { return batchingEnabled_; }
    int SlowCountdown() const { return slowCountdown_; }
    // The reading of the last tick, for the trend and the weight log (they read nothing of their
    // own), and how many ticks have read so far.
    const WeightSample& LastSample() const { return sample_; }
    // The unit the instrument shows its weights in ("kg"), for the trend's weight axis: one quiet
    // read of the identification (where the parameters start) and of "Measurement unit:". ""
    // when either read fails or the instrument is no KEL 7; the panel's own poll shows failures.
    std::string ReadWeightUnit();
    long SampleCount() const { return sampleCount_; }

    // The buttons. Each returns true when the instrument accepted the command; refusals and bus
    // failures have been shown.
    bool Tare();
    bool GrossNet(); // to net while the panel shows gross, else to gross
    bool Zero();
    bool StartInstrument();

    // The checks before the set-up sheet opens in a mode: the question before editing, the
    // state read and the states each mode accepts. True when the sheet may open now. After the
    // sheet the window restarts polling with RestartPeriodAfterSheet(mode).
    bool MayOpenSetupSheet(SheetMode mode);
    static bool StateAcceptsSheet(SheetMode mode, int state);
    static int RestartPeriodAfterSheet(SheetMode mode);

    // The check before backup and restore: the instrument must be a KEL 7 this program supports.
    bool MayOpenBackupOrRestore();

    // The caption of the panel for an address ("KEL 7, address 5").
    static std::string Caption(int address);
    // An instrument that polls but cannot be worked with: starting up, fatal error, boot, or a
    // normal state with a memory or watchdog error.
    static bool InactiveState(int state, int error);

private:
    bool Command(int coil);
    void SlowUpdate(int ioStatus);
    void SetButtons(bool weightsValid, bool inactive);

    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    Features features_;
    Display display_;
    bool showsGross_ = true;
    bool batchingEnabled_ = false;
    int slowCountdown_ = 0;
    WeightSample sample_;
    long sampleCount_ = 0;
};

} // namespace quarnex
