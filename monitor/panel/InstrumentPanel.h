#pragma once

#include "instrument/SheetMode.h"
#include "monitor/panel/WeightTrend.h"
#include "platform/Prompter.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quarnex {

class BusSession;
class ModbusMaster;

// The instrument panel of one KEL 7 without its window: polls the live block, decides every
// field text and every enable flag, and sends the weighing commands. The window calls Open()
// once, then re-arms a single-shot timer with what Tick() returns and renders Display().
//
// In the program the panel polls on the link's bus session (UseSession): a tick hands the
// session a copy of what the panel shows, the session's thread reads the instrument into it, and
// the window thread takes the copy back when it arrives, so the window never waits for the
// instrument. Without a session (the logic's tests, the bench) Tick() reads directly.
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
    ~InstrumentPanel();
    InstrumentPanel(InstrumentPanel&& other) noexcept;
    InstrumentPanel(const InstrumentPanel&) = delete;
    InstrumentPanel& operator=(const InstrumentPanel&) = delete;
    InstrumentPanel& operator=(InstrumentPanel&&) = delete;

    // Polls through session from now on (bus is the session's master: the panel touches it
    // itself only while the window thread holds the session's bus). Call once, before Open().
    void UseSession(BusSession& session);
    BusSession* Session() const { return session_; }

    void SetFeatures(const Features& features) { features_ = features; }

    // Opening: sets the caption and offers a waiting instrument a start. Returns the period of
    // the first tick.
    int Open();
    // One timer tick. Returns the period until the next one.
    int Tick();
    // One timer tick on the session: returns at once; ticked(period) runs on the window thread
    // once the reads have come back and the display shows them (before returning with an inline
    // session), never after the panel is gone. False with nothing queued while a tick is out.
    bool Tick(std::function<void(int period)> ticked);
    bool TickOut() const { return tickOut_; }

    const Display& GetDisplay() const { return polled_.display; }
    int Address() const { return address_; }
    bool ShowsGross() const { return polled_.showsGross; }
    bool BatchingEnabled() const { return polled_.batchingEnabled; }
    int SlowCountdown() const { return polled_.slowCountdown; }
    // The reading of the last tick, for the trend and the weight log (they read nothing of their
    // own), and how many ticks have read so far.
    const WeightSample& LastSample() const { return polled_.sample; }
    // The unit the instrument shows its weights in ("kg"), for the trend's weight axis: one quiet
    // read of the identification (where the parameters start) and of "Measurement unit:". ""
    // when either read fails or the instrument is no KEL 7; the panel's own poll shows failures.
    std::string ReadWeightUnit();
    // The same read on the session (directly without one): unit(text) runs on the window thread
    // with the answer, never after the panel is gone.
    void ReadWeightUnit(std::function<void(const std::string& unit)> unit);
    long SampleCount() const { return polled_.sampleCount; }

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
    // What a tick reads and decides: copied to the session's thread and back.
    struct Polled {
        Display display;
        bool showsGross = true;
        bool batchingEnabled = false;
        int slowCountdown = 0;
        WeightSample sample;
        long sampleCount = 0;
    };
    // The tick itself, on whichever thread has the bus; returns the next period.
    static int RunTick(Polled& p, ModbusMaster& bus, int address, Prompter& prompter,
                       const Features& features);
    static void SlowUpdate(Polled& p, ModbusMaster& bus, int address, Prompter& prompter,
                           int ioStatus);
    static std::string ReadWeightUnit(ModbusMaster& bus, int address);
    static void SetButtons(Display& d, const Features& features, bool batchingEnabled,
                           bool weightsValid, bool inactive);
    bool Command(int coil);

    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    Features features_;
    Polled polled_;
    BusSession* session_ = nullptr;
    uint64_t owner_ = 0;
    bool tickOut_ = false;
};

} // namespace quarnex
