#pragma once

#include "comm/TrafficLog.h"
#include "comm/TrafficRecorder.h"

#include <string>
#include <vector>

namespace quarnex {

class FileChooser;
class Prompter;

// The logic of the "Bus traffic" window: takes the recorder's new records into its table on each
// tick, unless paused (the bus and the other windows go on; the recorder keeps recording, and
// Resume brings in what came meanwhile, as far as the ring still holds it), filters by address,
// and saves what the table holds as CSV or as a text log.
class BusTraffic {
public:
    static constexpr int kRefreshMs = 250;

    // What the window shows after a call: when reset, the table is rebuilt from rows; otherwise
    // rows are appended. Rows beyond the recorder's capacity fall off the top (dropped).
    struct Display {
        bool reset = false;
        std::vector<traffic::TrafficRow> rows;
        size_t dropped = 0;
        std::string summary;
        std::string pauseText;
        std::vector<int> addresses; // every address seen, for the filter's list
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

    // The changes since the last call (the window renders them and takes the next).
    Display TakeDisplay();

    // The records the table holds (the filter applied), oldest first.
    std::vector<TrafficRecord> Shown() const;

    // Ask for a file and write the table to it. False when cancelled or the file failed (the
    // failure shown through owner).
    bool SaveCsv(FileChooser& chooser, Prompter& owner) const;
    bool SaveText(FileChooser& chooser, Prompter& owner) const;

private:
    bool Save(FileChooser& chooser, Prompter& owner, bool csv) const;
    void Take(const std::vector<TrafficRecord>& records);

    TrafficRecorder& recorder_;
    std::vector<TrafficRecord> taken_; // every record taken in, whatever the filter
    uint64_t seen_ = 0;                // the recorder's serial taken up to
    bool paused_ = false;
    int filter_ = 0;
    Display pending_;
};

} // namespace quarnex
