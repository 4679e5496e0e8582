#pragma once

#include "instrument/InstrumentType.h"
#include "monitor/WatchedSet.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quarnex {

class BusSession;
class ModbusMaster;
class Profile;
class Prompter;

// The main view without its window: the table of the 247 addresses, the list of watched
// instruments with model, address and weight, and the polling tick that keeps the list current.
// The window renders Items() and re-arms a single-shot timer with what Tick() returns once the
// tick's polls have come back. The polls run on the link's bus session: a tick hands the session
// a copy of the polling state, the session's thread polls on it, and the window thread takes the
// copy back when it arrives (unless the list was rebuilt meanwhile), so the window never waits
// for a silent instrument.
class QuarnexView {
public:
    static constexpr int kTimerPeriodMs = 20;
    static constexpr int kSkipCounterReset = 10;
    // Width of a weight in the "Value" column, and the text of an instrument in error.
    static constexpr int kValueWidth = 8;
    static constexpr const char* kValueError = "---------";

    // Images of the list, in image-list order.
    enum Image {
        kImageNone = 0,
        kImagePir = 1,
        kImageKel = 2,
        kImageJov = 3,
        kImageOther = 4,
        kImageYax = 5,
        kImageCount = 6
    };

    // Monitoring state of one address, beside its selected flag.
    struct AddressState {
        bool selected = false;
        bool showValue = false;
        InstrumentType lastType = itype::kUnknown;
        bool absent = false;
        int skipCounter = kSkipCounterReset;
    };

    // One row of the list. revision changes whenever one of the texts or the image changes, so
    // the window rewrites only what changed.
    struct Item {
        int address = 0;
        std::string instrument; // column 0: two spaces and the model name
        int image = kImageNone;
        std::string value; // column 2
        uint64_t revision = 0;
    };

    // bus: the session's master; the view polls through session and touches bus itself only
    // while it holds the session's bus.
    QuarnexView(BusSession& session, ModbusMaster& bus, Profile& profile, Prompter& prompter);
    ~QuarnexView();
    QuarnexView(const QuarnexView&) = delete;
    QuarnexView& operator=(const QuarnexView&) = delete;

    // Loads the watched set and builds the list; every address starts with no type, not absent,
    // no value and skip counter 10.
    void InitialUpdate();

    // One timer tick: has the session poll up to the baud rate's budget of visible watched
    // instruments, continuing where the last tick stopped; polled runs on the window thread once
    // their results are in Items() (at once with an inline session). Returns the period until
    // the next tick, to be armed after polled. Nothing is asked while a tick's polls are still
    // out (polled is then not called).
    int Tick(std::function<void()> polled = {});
    // True from a tick until its polls have come back.
    bool PollsOut() const { return pollsOut_; }
    // Asks a running tick to stop after its current poll and drops a queued one: a window that
    // talks to the bus itself comes next. What was polled is still taken.
    void StopPolls();

    // The rows the list shows: top is the first visible row, perPage how many fit.
    void SetVisibleRange(int top, int perPage);

    // After the "Communication set-up" dialog was confirmed: reopen the port with the new
    // settings (it reports its own failures) and start over with every address.
    void SettingsChanged();
    // After the "Instruments to view" sheet was confirmed: take its selection, start over, save
    // it to the profile. False when the profile could not be written (the selection is used
    // anyway for this session).
    bool ApplySelection(const AddressFlags& selection);
    // Every address absent with skip counter 10, no type, no value; polling restarts at the top.
    void Reset();

    // A double-click on row index: the address when the instrument panel may open for it (the
    // refusals for other models are shown here), 0 otherwise.
    int DoubleClick(int row);
    // The "Select instrument" dialog returned address and type: the address when the panel may
    // open (a KEL 7 has its set-up version read first), 0 otherwise.
    int InstrumentSelected(int address, InstrumentType type);

    const std::vector<Item>& Items() const { return poll_.items; }
    // Counts list rebuilds: when it changes, the window recreates every row.
    uint64_t ListGeneration() const { return generation_; }
    const AddressState& State(int address) const { return poll_.table[address]; }
    AddressFlags Selection() const;
    int LastPolledRow() const { return poll_.lastPolled; }

    // The status bar's note after a whole pass over the visible watched instruments in which
    // none of them answered: the device, its settings and what to check. Set once per silence
    // (not again at every silent pass), cleared by the first answer and by a reset; empty when
    // there is nothing to say.
    const std::string& SilenceNote() const { return poll_.silenceNote; }

    // Polls allowed per tick at a baud rate: slow lines get fewer so the window stays responsive.
    static int Budget(int baud);
    static int ImageForType(InstrumentType type);
    // The "Value" column's text for the live block (registers 40001-40017).
    static std::string ValueText(const uint16_t* live);

    // The clock that seeds the skip counter's random restart, in seconds (tests fix it).
    void SetSeedClock(std::function<int64_t()> clock) { seedClock_ = std::move(clock); }

private:
    // What a tick changes: handed to the session's thread as a copy and taken back.
    struct Polling {
        std::array<AddressState, kLastAddress + 1> table{};
        std::vector<Item> items;
        int lastPolled = -1;
        uint64_t revisions = 0;
        // This pass: some watched instrument was asked, some answered.
        bool passAsked = false;
        bool passAnswered = false;
        // The note was given for the current silence; it is not given again until an answer.
        bool silenceNoted = false;
        std::string silenceNote;
    };
    // The tick itself, on the session's thread: every field it reads is in p or passed in.
    static void RunTick(Polling& p, ModbusMaster& bus, int top, int perPage, uint32_t seed,
                        const std::function<bool()>& stop);
    // Polls one row's address; returns the budget units used (1, or 2 for a failed poll).
    static int Poll(Polling& p, ModbusMaster& bus, size_t row, int retries);
    static void MarkAbsent(Polling& p, Item& item, AddressState& state);
    static void SetValue(Polling& p, Item& item, const std::string& text);
    // The pass over the visible rows has ended.
    static void PassEnded(Polling& p, ModbusMaster& bus);
    void BuildList();

    BusSession& session_;
    uint64_t owner_ = 0;
    ModbusMaster& bus_;
    Profile& profile_;
    Prompter& prompter_;
    Polling poll_;
    bool pollsOut_ = false;
    // Set by StopPolls for the tick that is out; every tick has its own.
    std::shared_ptr<std::atomic<bool>> stopTick_;
    int top_ = 0;
    int perPage_ = kLastAddress;
    uint64_t generation_ = 0;
    std::function<int64_t()> seedClock_;
};

} // namespace quarnex
