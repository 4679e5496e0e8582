#include "fleet/HistoryBrowser.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

namespace quarnex {

bool HistoryBrowser::Open(const std::string& dir, std::string& error) {
    instruments_.clear();
    labels_.clear();
    versions_.clear();
    chosen_.clear();
    std::vector<GoneInstrument> gone;
    if (!repo_.Open(dir, false, error) || !HistoryInstruments(repo_, instruments_, error) ||
        !HistoryGoneInstruments(repo_, gone, error))
        return false;
    labels_ = instruments_;
    // A gone instrument keeps its versions: they are what a replacement is restored from.
    for (const GoneInstrument& g : gone) {
        char day[16];
        std::tm tm{};
        localtime_r(&g.time, &tm);
        std::strftime(day, sizeof day, "%Y-%m-%d", &tm);
        instruments_.push_back(g.key);
        labels_.push_back(g.key + " (gone on " + day + ")");
    }
    if (instruments_.empty()) {
        error = dir + " holds no set-up yet";
        return false;
    }
    return true;
}

bool HistoryBrowser::Choose(size_t instrument, std::string& error) {
    versions_.clear();
    chosen_.clear();
    std::string link;
    int address = 0;
    if (instrument >= instruments_.size() ||
        !ParseInstrumentKey(instruments_[instrument], link, address))
        return false;
    chosen_ = instruments_[instrument];
    return InstrumentVersions(repo_, link, address, versions_, error);
}

std::vector<std::string> HistoryBrowser::Columns(size_t i) const {
    const HistoryVersion& v = versions_.at(i);
    char when[32];
    std::tm tm{};
    localtime_r(&v.time, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tm);
    const std::string what = v.removed ? "gone"
                             : v.first ? "first version"
                             : v.rows < 0
                                 ? "not readable"
                                 : std::to_string(v.rows) + (v.rows == 1 ? " row" : " rows");
    return {"~" + std::to_string(i), when, v.commit.substr(0, 12), what};
}

bool HistoryBrowser::CanCompare(const std::vector<size_t>& chosen) const {
    for (size_t i : chosen)
        if (i >= versions_.size() || versions_[i].removed)
            return false;
    if (chosen.size() == 2)
        return true;
    // One against the version before it, when there is one that holds a set-up.
    return chosen.size() == 1 && chosen[0] + 1 < versions_.size() &&
           !versions_[chosen[0] + 1].removed;
}

bool HistoryBrowser::CanSave(const std::vector<size_t>& chosen) const {
    return chosen.size() == 1 && chosen[0] < versions_.size() && !versions_[chosen[0]].removed;
}

std::string HistoryBrowser::VersionName(size_t i) const {
    const HistoryVersion& v = versions_.at(i);
    std::string name = chosen_ + "@~" + std::to_string(i);
    const size_t dash = v.path.find('-', v.path.rfind('/') + 1);
    if (dash != std::string::npos && v.path.size() > dash + 5)
        name += " (" + v.path.substr(dash + 1, v.path.size() - dash - 5) + ")";
    return name;
}

bool HistoryBrowser::Load(size_t i, SetupFileImage& image, std::string& error) const {
    std::string text;
    if (!repo_.ReadFile(versions_.at(i).commit, versions_[i].path, text, error))
        return false;
    return LoadImageText(text, image, error);
}

bool HistoryBrowser::Compare(std::vector<size_t> chosen, SetupDiff& diff, std::string& leftName,
                             std::string& rightName, std::string& error) const {
    if (!CanCompare(chosen))
        return false;
    if (chosen.size() == 1)
        chosen.push_back(chosen[0] + 1);
    // The older version (the larger ~N) on the left.
    const size_t older = std::max(chosen[0], chosen[1]);
    const size_t newer = std::min(chosen[0], chosen[1]);
    SetupFileImage left, right;
    if (!Load(older, left, error) || !Load(newer, right, error))
        return false;
    diff = CompareSetups(left, right);
    leftName = VersionName(older);
    rightName = VersionName(newer);
    return true;
}

bool HistoryBrowser::Save(size_t i, const std::string& path, std::string& error) const {
    std::string text;
    if (!repo_.ReadFile(versions_.at(i).commit, versions_[i].path, text, error))
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out << text;
    out.close();
    if (!out) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace quarnex
