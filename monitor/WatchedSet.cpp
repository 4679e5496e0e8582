#include "monitor/WatchedSet.h"

#include "monitor/BusSearch.h"
#include "platform/Profile.h"

#include <string>

namespace quarnex {

AddressFlags LoadWatchedSet(const Profile& profile) {
    AddressFlags watched{};
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        watched[a] = profile.GetInt(kWatchedSection, std::to_string(a), a == 1 ? 1 : 0) == 1;
    return watched;
}

bool SaveWatchedSet(Profile& profile, const AddressFlags& watched) {
    Profile::Batch batch(profile);
    bool ok = true;
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        ok = profile.WriteInt(kWatchedSection, std::to_string(a), watched[a] ? 1 : 0) && ok;
    return batch.Commit() && ok;
}

int CountFlags(const AddressFlags& flags) {
    int n = 0;
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        n += flags[a] ? 1 : 0;
    return n;
}

bool InstrToViewSheet::Selected(int address) const {
    return address >= kFirstAddress && address <= kLastAddress && selection_[address];
}

void InstrToViewSheet::SetSelected(int address, bool selected) {
    if (address >= kFirstAddress && address <= kLastAddress)
        selection_[address] = selected;
}

void InstrToViewSheet::SearchStopped(const BusSearch& search) {
    selection_ = search.Found();
    foundCount_ = search.FoundCount();
}

} // namespace quarnex
