#pragma once

#include "comm/ModbusMaster.h"
#include "monitor/panel/WeightTrend.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace quarnex {

// Writes samples as a weight file (the header, then one row a sample) to a stream, and flushes it
// at least every second of sample time, so a log that is cut off (power, a killed program) loses at
// most the last second.
class WeightLogWriter {
public:
    static constexpr int64_t kFlushEveryMs = 1000;

    explicit WeightLogWriter(std::ostream& out);
    // False once the stream has failed; nothing more is written then.
    bool Write(const WeightSample& sample);
    bool Flush();
    long Count() const { return count_; }
    bool Failed() const { return failed_; }

private:
    std::ostream& out_;
    long count_ = 0;
    bool failed_ = false;
    bool flushedOnce_ = false;
    int64_t lastFlushMs_ = 0;
};

// A weight file on disk: what "Log to file…" on the panel and `quarnex-cli log --csv` write.
class WeightLogFile {
public:
    ~WeightLogFile();
    // Creates (or empties) the file and writes the header; on failure error says why. A named
    // pipe nobody reads yet is refused at once (NoReader()) instead of waiting for its reader.
    bool Open(const std::string& path, std::string& error);
    bool NoReader() const { return noReader_; }
    // False when the file cannot be written any more: Error() says why, the file is closed.
    bool Write(const WeightSample& sample);
    // Flushes and closes; false (with Error()) when the last rows could not be written.
    bool Close();
    bool IsOpen() const { return writer_ != nullptr; }
    const std::string& Path() const { return path_; }
    long Count() const { return count_; }
    const std::string& Error() const { return error_; }

private:
    std::string path_;
    std::ofstream file_;
    std::unique_ptr<WeightLogWriter> writer_;
    long count_ = 0;
    std::string error_;
    bool noReader_ = false;
};

struct WeightLogOptions {
    std::vector<int> addresses; // read in this order in every pass
    int intervalMs = 1000;      // from the start of one pass to the start of the next
    int durationS = 0;          // 0: until stopped
    int retries = 2;            // per read
};

// What a log achieved.
struct WeightLogSummary {
    long passes = 0;
    long samples = 0;
    long failures = 0; // reads that failed (each has its row, with "COMMUNICATION ERROR")
    int askedMs = 0;
    // The mean time from one pass's start to the next: (last start - first start) / (passes - 1);
    // 0 with fewer than two passes.
    double achievedMs = 0.0;
    long latePasses = 0; // passes that took longer than the interval
    double longestPassMs = 0.0;
    bool writeFailed = false; // the file could not be written: the log stopped there
};

// The weight log: reads the live block of each address once a pass, a pass every interval, and
// writes a row per sample. A pass that takes longer than the interval is not silently stretched:
// the next pass starts at once, the first such pass is reported while logging, and the summary
// counts them. The passes never start early, so the achieved interval is never below the asked one.
class WeightLogger {
public:
    // Waits between passes are cut into slices of at most this, so a stop is seen promptly.
    static constexpr int kStopCheckMs = 50;

    WeightLogger(ModbusMaster& bus, Prompter& prompter, WeightLogOptions options);

    // Logs until the duration is over or stop() returns true (asked before every pass and during
    // the waits). report gets the texts to show while logging (the interval the bus cannot keep,
    // a file that cannot be written).
    WeightLogSummary Run(const std::function<bool(const WeightSample&)>& write,
                         const std::function<bool()>& stop,
                         const std::function<void(const std::string&)>& report);

    // The closing lines: samples, failures, the interval asked and achieved.
    static std::string SummaryText(const WeightLogSummary& summary, size_t addresses);

private:
    ModbusMaster& bus_;
    Prompter& prompter_;
    WeightLogOptions options_;
};

// "1,3,5" -> {1, 3, 5}; addresses 1-247, no repeats. On failure returns false with the reason.
bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error);

} // namespace quarnex
