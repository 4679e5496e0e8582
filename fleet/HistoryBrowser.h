#pragma once

#include "fleet/FleetHistory.h"
#include "fleet/HistoryRepo.h"
#include "offline/SetupCompare.h"

#include <string>
#include <vector>

namespace quarnex {

// The history window's logic: a history folder's instruments, the versions of the one chosen
// (the same list quarnex-cli history prints), any two of them compared, any one written out as a
// set-up file for the normal restore.
class HistoryBrowser {
public:
    bool Open(const std::string& dir, std::string& error);
    const std::string& Dir() const { return repo_.Dir(); }
    // "LINK/ADDRESS" of every instrument the history holds now, then of those gone since.
    const std::vector<std::string>& Instruments() const { return instruments_; }
    // How the list shows it: "Hall B/5", or "Hall B/5 (gone on 2026-12-07)".
    const std::vector<std::string>& InstrumentLabels() const { return labels_; }
    bool Choose(size_t instrument, std::string& error);
    const std::vector<HistoryVersion>& Versions() const { return versions_; }
    // A version's columns: its ~N, date and time, commit, what changed ("first version",
    // "3 rows", "gone").
    std::vector<std::string> Columns(size_t version) const;

    // Compare works on two versions, or on one against the version before it; Save on one that
    // holds a set-up.
    bool CanCompare(const std::vector<size_t>& chosen) const;
    bool CanSave(const std::vector<size_t>& chosen) const;
    // The older one on the left.
    bool Compare(std::vector<size_t> chosen, SetupDiff& diff, std::string& leftName,
                 std::string& rightName, std::string& error) const;
    // The version's file exactly as stored, for the restore to load.
    bool Save(size_t version, const std::string& path, std::string& error) const;
    // "Hall B/2@~1 (226-0274)": the name diff takes for it, with its file name's serial number.
    std::string VersionName(size_t version) const;

private:
    bool Load(size_t version, SetupFileImage& image, std::string& error) const;

    HistoryRepo repo_;
    std::vector<std::string> instruments_;
    std::vector<std::string> labels_;
    std::string chosen_;
    std::vector<HistoryVersion> versions_;
};

} // namespace quarnex
