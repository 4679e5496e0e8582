#include "monitor/BusTraffic.h"

#include "platform/FileAccess.h"
#include "platform/FileChooser.h"
#include "res/Strings.h"
#include "res/TrafficTextIds.h"

#include <algorithm>
#include <set>

namespace quarnex {

BusTraffic::BusTraffic(TrafficRecorder& recorder) : recorder_(recorder) {
    // The window shows what the recorder already holds when it opens.
    pending_.reset = true;
    Take(recorder_.After(0));
}

int BusTraffic::Tick() {
    if (!paused_)
        Take(recorder_.After(seen_));
    return kRefreshMs;
}

void BusTraffic::Take(const std::vector<TrafficRecord>& records) {
    if (!records.empty())
        seen_ = records.back().serial;
    for (const TrafficRecord& r : records) {
        taken_.push_back(r);
        if (traffic::Matches(r, filter_))
            pending_.rows.push_back(traffic::MakeRow(r));
    }
    // The table holds no more than the ring: the oldest rows go first.
    const size_t limit = recorder_.Capacity();
    if (taken_.size() > limit) {
        const size_t excess = taken_.size() - limit;
        for (size_t i = 0; i < excess; ++i)
            if (traffic::Matches(taken_[i], filter_))
                ++pending_.dropped;
        taken_.erase(taken_.begin(), taken_.begin() + static_cast<std::ptrdiff_t>(excess));
    }
    if (pending_.reset) {
        // A rebuilt table starts from the kept records: nothing to drop from it.
        pending_.rows.clear();
        for (const TrafficRecord& r : taken_)
            if (traffic::Matches(r, filter_))
                pending_.rows.push_back(traffic::MakeRow(r));
        pending_.dropped = 0;
    }
}

void BusTraffic::SetPaused(bool paused) {
    paused_ = paused;
    if (!paused_)
        Tick();
}

void BusTraffic::Clear() {
    recorder_.Clear();
    taken_.clear();
    seen_ = recorder_.Total();
    pending_ = {};
    pending_.reset = true;
}

void BusTraffic::SetAddressFilter(int address) {
    filter_ = std::clamp(address, 0, 255);
    pending_.reset = true;
    Take({});
}

BusTraffic::Display BusTraffic::TakeDisplay() {
    Display d = std::move(pending_);
    pending_ = {};
    d.summary = traffic::SummaryText(traffic::Summarize(Shown()));
    d.pauseText = Text(paused_ ? ids::kTrafficResume : ids::kTrafficPause);
    std::set<int> seen;
    for (const TrafficRecord& r : taken_)
        if (!r.request.empty())
            seen.insert(r.request[0]);
    if (filter_ != 0)
        seen.insert(filter_); // still offered when its records are gone
    d.addresses.assign(seen.begin(), seen.end());
    return d;
}

std::vector<TrafficRecord> BusTraffic::Shown() const {
    std::vector<TrafficRecord> out;
    for (const TrafficRecord& r : taken_)
        if (traffic::Matches(r, filter_))
            out.push_back(r);
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
