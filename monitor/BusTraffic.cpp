#include "monitor/BusTraffic.h"

#include "platform/FileAccess.h"
#include "platform/FileChooser.h"
#include "res/Strings.h"
#include "res/TrafficTextIds.h"

#include <algorithm>

namespace quarnex {

BusTraffic::BusTraffic(TrafficRecorder& recorder) : recorder_(recorder) {
    // The window shows what the recorder already holds when it opens.
    Rebuild();
}

int BusTraffic::Tick() {
    DropOverwritten();
    if (!paused_ && seen_ != recorder_.Total()) {
        TakeNew();
        Summarize();
    }
    return kRefreshMs;
}

void BusTraffic::DropOverwritten() {
    const uint64_t oldest = recorder_.OldestSerial();
    while (!rows_.empty() && rows_.front() < oldest) {
        rows_.pop_front();
        if (!pending_.reset)
            ++pending_.removed;
    }
}

void BusTraffic::TakeNew() {
    for (uint64_t s = std::max(seen_ + 1, recorder_.OldestSerial()); s <= recorder_.Total(); ++s)
        if (Shows(s)) {
            rows_.push_back(s);
            if (!pending_.reset)
                ++pending_.added;
        }
    seen_ = recorder_.Total();
}

bool BusTraffic::Shows(uint64_t serial) const {
    // As traffic::Matches decides, from the address alone.
    const int address = recorder_.AddressOf(serial);
    return address >= 0 && (filter_ == 0 || address == filter_);
}

void BusTraffic::Rebuild() {
    rows_.clear();
    seen_ = 0;
    pending_ = {};
    pending_.reset = true;
    TakeNew();
    Summarize();
}

void BusTraffic::Summarize() {
    std::string summary = traffic::SummaryText(traffic::Summarize(recorder_.Totals(), filter_));
    if (summary != summary_) {
        summary_ = std::move(summary);
        pending_.summary = true;
    }
    std::vector<int> addresses;
    for (int a : recorder_.Totals().Addresses())
        if (a != 0) // 0 stands for every address in the list
            addresses.push_back(a);
    if (filter_ != 0 && !std::binary_search(addresses.begin(), addresses.end(), filter_))
        addresses.insert(std::lower_bound(addresses.begin(), addresses.end(), filter_),
                         filter_); // still offered when its records are gone
    if (addresses != addresses_) {
        addresses_ = std::move(addresses);
        pending_.addresses = true;
    }
}

void BusTraffic::SetPaused(bool paused) {
    if (paused_ == paused)
        return;
    paused_ = paused;
    pending_.pause = true;
    if (!paused_)
        Tick();
}

std::string BusTraffic::PauseText() const {
    return Text(paused_ ? ids::kTrafficResume : ids::kTrafficPause);
}

void BusTraffic::Clear() {
    recorder_.Clear();
    Rebuild();
}

void BusTraffic::SetAddressFilter(int address) {
    filter_ = std::clamp(address, 0, 255);
    // A paused table stays as it stood: the rebuilt one holds what it had taken in.
    const uint64_t upTo = seen_;
    rows_.clear();
    pending_ = {};
    pending_.reset = true;
    for (uint64_t s = recorder_.OldestSerial(); s <= upTo; ++s)
        if (Shows(s))
            rows_.push_back(s);
    if (!paused_)
        TakeNew();
    Summarize();
}

BusTraffic::Changes BusTraffic::TakeChanges() {
    Changes c = pending_;
    pending_ = {};
    return c;
}

std::vector<TrafficRecord> BusTraffic::Shown() const {
    std::vector<TrafficRecord> out;
    out.reserve(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        if (std::optional<TrafficRecord> r = Row(i))
            out.push_back(std::move(*r));
    return out;
}

bool BusTraffic::SaveCsv(FileChooser& chooser, Prompter& owner) const {
    return Save(chooser, owner, true);
}

bool BusTraffic::SaveText(FileChooser& chooser, Prompter& owner) const {
    return Save(chooser, owner, false);
}

bool BusTraffic::Save(FileChooser& chooser, Prompter& owner, bool csv) const {
    FileChooser::Request request;
    request.caption = Text(csv ? ids::kTrafficSaveCsv : ids::kTrafficSaveText);
    request.filters = {
        {Text(csv ? ids::kTrafficCsvFiles : ids::kTrafficTextFiles), {csv ? "*.csv" : "*.txt"}}};
    request.defaultExtension = csv ? "csv" : "txt";
    const std::optional<std::string> path = chooser.AskSave(request);
    if (!path)
        return false;
    const std::vector<TrafficRecord> records = Shown();
    const std::string text = csv ? traffic::CsvText(records) : traffic::LogText(records);
    FileAccess file;
    if (!file.Create(*path, owner))
        return false;
    const bool written = file.Write(text.data(), text.size(), owner);
    return file.Close(owner) && written;
}

} // namespace quarnex
