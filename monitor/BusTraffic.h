#pragma once

#include "comm/TrafficLog.h"
#include "comm/TrafficRecorder.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace quarnex {

class FileChooser;
class Prompter;

// The logic of the "Bus traffic" window: its table is a view of the recorder's ring, not a copy.
// Each tick takes in what arrived since the last one (unless paused: the bus and the other
// windows go on, the recorder keeps recording, and Resume brings in what came meanwhile, as far
// as the ring still holds it), drops the rows whose records the ring has overwritten, filters by
// address, and saves what the table holds as CSV or as a text log. Its work is proportional to
// what arrived: the summary comes from the recorder's totals, and nothing is recomputed when
// nothing arrived.
class BusTraffic {
public:
    // Once a second: with the table following the newest rows, each refresh repaints every row
    // in sight, and at four a second that painting alone cost more than the rest of the program.
    static constexpr int kRefreshMs = 1000;

    // What changed in the table since the last TakeChanges, for the window to pass on: when
    // reset, the table is RowCount() rows anew; otherwise `removed` rows went from the top and
    // then `added` rows came at the bottom.
    struct Changes {
        bool reset = false;
        size_t removed = 0;
        size_t added = 0;
        bool summary = false;   // Summary() has a new text
        bool addresses = false; // Addresses() changed
        bool pause = false;     // PauseText() changed
        bool Any() const { return reset || removed || added || summary || addresses || pause; }
    };

    explicit BusTraffic(TrafficRecorder& recorder);

    // Takes what came since the last tick; returns the next period.
    int Tick();
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }
    // Empties the table and the recorder.
    void Clear();
    // 0: every address.
    void SetAddressFilter(int address);
    int AddressFilter() const { return filter_; }

    Changes TakeChanges();

    // The table: its rows, oldest first, each a record the ring holds. Nothing for a row whose
    // record the ring has overwritten since the last tick (the next tick drops the row).
    size_t RowCount() const { return rows_.size(); }
    std::optional<TrafficRecord> Row(size_t row) const {
        return row < rows_.size() ? recorder_.BySerial(rows_[row]) : std::nullopt;
    }
    // The serial of a row's record (0 for no row), without making the record.
    uint64_t RowSerial(size_t row) const { return row < rows_.size() ? rows_[row] : 0; }
    const std::string& Summary() const { return summary_; }
    std::string PauseText() const;
    // Every address the kept records have, for the filter's list (the chosen one always).
    const std::vector<int>& Addresses() const { return addresses_; }

    // Copies of the records the table holds, oldest first (for saving).
    std::vector<TrafficRecord> Shown() const;

    // Ask for a file and write the table to it. False when cancelled or the file failed (the
    // failure shown through owner).
    bool SaveCsv(FileChooser& chooser, Prompter& owner) const;
    bool SaveText(FileChooser& chooser, Prompter& owner) const;

private:
    bool Save(FileChooser& chooser, Prompter& owner, bool csv) const;
    void DropOverwritten();
    void TakeNew();
    void Rebuild();
    void Summarize();
    bool Shows(uint64_t serial) const;

    TrafficRecorder& recorder_;
    std::deque<uint64_t> rows_; // the serials of the records shown
    uint64_t seen_ = 0;         // the recorder's serial taken up to
    bool paused_ = false;
    int filter_ = 0;
    std::string summary_;
    std::vector<int> addresses_;
    Changes pending_;
};

} // namespace quarnex
