#pragma once

#include <array>

namespace quarnex {

class Profile;

// Bus addresses an instrument can have.
constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;

// One flag per address, indexed by the address itself (entry 0 is never used).
using AddressFlags = std::array<bool, kLastAddress + 1>;

// The watched set lives in profile section "Instr to view": key "1" ... "247", 1 = watched.
constexpr const char* kWatchedSection = "Instr to view";

// Reads the watched set. A missing key watches address 1 and nothing else, so a fresh
// installation looks at address 1 only; only the value 1 counts as watched (2 does not).
AddressFlags LoadWatchedSet(const Profile& profile);
// Writes all 247 keys in address order, rewriting the profile file once. False when the file
// could not be written.
bool SaveWatchedSet(Profile& profile, const AddressFlags& watched);

int CountFlags(const AddressFlags& flags);

class BusSearch;

// The "Instruments to view" sheet without its windows: a copy of the view's selection that the
// three address pages tick, and the outcome of the search page. The copy goes back to the view
// only when the sheet is confirmed.
class InstrToViewSheet {
public:
    explicit InstrToViewSheet(const AddressFlags& selection) : selection_(selection) {}

    const AddressFlags& Selection() const { return selection_; }
    bool Selected(int address) const;
    void SetSelected(int address, bool selected);

    // The count shown on the search page.
    int FoundCount() const { return foundCount_; }
    // A search closed with "Stop" (or run to its end): the addresses found become the selection,
    // every other address is unticked.
    void SearchStopped(const BusSearch& search);
    // A search closed with "Cancel": the selection stays, the page shows 0.
    void SearchCancelled() { foundCount_ = 0; }

private:
    AddressFlags selection_;
    int foundCount_ = 0;
};

} // namespace quarnex
