#pragma once

#include "instrument/InstrumentType.h"
#include "monitor/WatchedSet.h"

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;
class Profile;
class Prompter;

// The main view without its window: the table of the 247 addresses, the list of watched
// instruments with model, address and weight, and the polling tick that keeps the list current.
// The window renders Items() and re-arms a single-shot timer with what Tick() returns.
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

    QuarnexView(ModbusMaster& bus, Profile& profile, Prompter& prompter);

    // Loads the watched set and builds the list; every address starts with no type, not absent,
    // no value and skip counter 10.
    void InitialUpdate();

    // One timer tick: polls up to the baud rate's budget of visible watched instruments,
    // continuing where the last tick stopped. Returns the period until the next tick.
    int Tick();

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

    const std::vector<Item>& Items() const { return items_; }
    // Counts list rebuilds: when it changes, the window recreates every row.
    uint64_t ListGeneration() const { return generation_; }
    const AddressState& State(int address) const { return table_[address]; }
    AddressFlags Selection() const;
    int LastPolledRow() const { return lastPolled_; }

    // The status bar's note after a whole pass over the visible watched instruments in which
    // none of them answered: the device, its settings and what to check. Set once per silence
    // (not again at every silent pass), cleared by the first answer and by a reset; empty when
    // there is nothing to say.
    const std::string& SilenceNote() const { return silenceNote_; }

    // Polls allowed per tick at a baud rate: slow lines get fewer so the window stays responsive.
    static int Budget(int baud);
    static int ImageForType(InstrumentType type);
    // The "Value" column's text for the live block (registers 40001-40017).
    static std::string ValueText(const uint16_t* live);

    // The clock that seeds the skip counter's random restart, in seconds (tests fix it).
    void SetSeedClock(std::function<int64_t()> clock) { seedClock_ = std::move(clock); }

private:
    void BuildList();
    // Polls one row's address; returns the budget units used (1, or 2 for a failed poll).
    int Poll(size_t row, int retries);
    void MarkAbsent(Item& item, AddressState& state);
    void SetValue(Item& item, const std::string& text);
    // The pass over the visible rows has ended.
    void PassEnded();

    ModbusMaster& bus_;
    Profile& profile_;
    Prompter& prompter_;
    std::array<AddressState, kLastAddress + 1> table_{};
    std::vector<Item> items_;
    int lastPolled_ = -1;
    int top_ = 0;
    int perPage_ = kLastAddress;
    uint64_t generation_ = 0;
    uint64_t revisions_ = 0;
    std::function<int64_t()> seedClock_;
    std::minstd_rand random_;
    // This pass: some watched instrument was asked, some answered.
    bool passAsked_ = false;
    bool passAnswered_ = false;
    // The note was given for the current silence; it is not given again until an answer.
    bool silenceNoted_ = false;
    std::string silenceNote_;
};

} // namespace quarnex
