#include "monitor/panel/WeightLog.h"

#include "instrument/Registers.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {

// ----- WeightLogWriter --------------------------------------------------------------------------

WeightLogWriter::WeightLogWriter(std::ostream& out) : out_(out) {
    out_ << weightcsv::Header() << '\n';
    failed_ = !out_;
}

bool WeightLogWriter::Write(const WeightSample& sample) {
    if (failed_)
        return false;
    out_ << weightcsv::Row(sample) << '\n';
    ++count_;
    if (!flushedOnce_ || sample.monoMs - lastFlushMs_ >= kFlushEveryMs) {
        flushedOnce_ = true;
        lastFlushMs_ = sample.monoMs;
        out_.flush();
    }
    failed_ = !out_;
    return !failed_;
}

bool WeightLogWriter::Flush() {
    if (!failed_)
        out_.flush();
    failed_ = failed_ || !out_;
    return !failed_;
}

// ----- WeightLogFile ----------------------------------------------------------------------------

WeightLogFile::~WeightLogFile() {
    Close();
}

bool WeightLogFile::Open(const std::string& path, std::string& error) {
    Close();
    error_.clear();
    count_ = 0;
    path_ = path;
    noReader_ = false;
    // Opening a named pipe for writing waits in the kernel until someone reads it, deaf to
    // Ctrl+C. Asked without waiting first; the descriptor held meanwhile keeps the pipe's reader
    // count settled while the stream opens it.
    int probe = -1;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        probe = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) {
            noReader_ = errno == ENXIO;
            error = path + ": " +
                    (noReader_ ? std::string("a named pipe (FIFO) that nobody reads")
                               : std::string(std::strerror(errno)));
            return false;
        }
    }
    errno = 0;
    file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (probe >= 0)
        ::close(probe);
    if (!file_) {
        error = path + ": " + (errno ? std::strerror(errno) : "cannot be created");
        return false;
    }
    writer_ = std::make_unique<WeightLogWriter>(file_);
    if (writer_->Failed()) {
        error = path + ": " + (errno ? std::strerror(errno) : "cannot be written");
        writer_.reset();
        file_.close();
        return false;
    }
    return true;
}

bool WeightLogFile::Write(const WeightSample& sample) {
    if (!writer_)
        return false;
    errno = 0;
    if (writer_->Write(sample)) {
        count_ = writer_->Count();
        return true;
    }
    error_ = path_ + ": " + (errno ? std::strerror(errno) : "cannot be written");
    writer_.reset();
    file_.close();
    return false;
}

bool WeightLogFile::Close() {
    if (!writer_)
        return error_.empty();
    errno = 0;
    const bool flushed = writer_->Flush();
    writer_.reset();
    file_.close();
    if (!flushed || file_.fail()) {
        error_ = path_ + ": " + (errno ? std::strerror(errno) : "cannot be written");
        return false;
    }
    return true;
}

// ----- WeightLogger -----------------------------------------------------------------------------

WeightLogger::WeightLogger(ModbusMaster& bus, Prompter& prompter, WeightLogOptions options)
    : bus_(bus), prompter_(prompter), options_(std::move(options)) {}

WeightLogSummary WeightLogger::Run(const std::function<bool(const WeightSample&)>& write,
                                   const std::function<bool()>& stop,
                                   const std::function<void(const std::string&)>& report) {
    WeightLogSummary summary;
    summary.askedMs = options_.intervalMs;
    const int64_t intervalNs = static_cast<int64_t>(options_.intervalMs) * 1000000;
    const int64_t startNs = MonotonicNs();
    const int64_t endNs = options_.durationS > 0
                              ? startNs + static_cast<int64_t>(options_.durationS) * 1000000000
                              : INT64_MAX;
    int64_t firstPassNs = 0;
    int64_t lastPassNs = 0;
    int64_t deadlineNs = startNs;
    bool lateReported = false;

    while (!stop()) {
        // Wait for the pass's start in slices, so that a stop is seen during a long interval.
        for (int64_t now = MonotonicNs(); now < deadlineNs; now = MonotonicNs()) {
            DelayUntilNs(std::min(deadlineNs, now + int64_t{kStopCheckMs} * 1000000));
            if (stop())
                break;
        }
        const int64_t passNs = MonotonicNs();
        if (passNs >= endNs || stop())
            break;
        if (summary.passes == 0) {
            // The schedule counts from the first pass as it started, not from the call: a first
            // pass that the system starts late would otherwise let the following ones make up
            // for it, and the mean from pass to pass would come out below the interval asked.
            firstPassNs = passNs;
            deadlineNs = passNs;
        }
        lastPassNs = passNs;
        ++summary.passes;

        for (int address : options_.addresses) {
            // A sample is stamped with the start of its read: the first address of a pass with
            // the pass's own start.
            const int64_t monoMs =
                (address == options_.addresses.front() ? passNs : MonotonicNs()) / 1000000;
            const int64_t wallMs = WallClockMs();
            uint16_t live[reg::kLiveBlockCount] = {};
            const CommStatus result =
                bus_.ReadHoldingRegisters(address, reg::kLiveBlock, reg::kLiveBlockCount, live,
                                          {.retries = options_.retries, .owner = &prompter_});
            const WeightSample sample = result == CommStatus::Ok
                                            ? SampleFromLiveBlock(live, address, monoMs, wallMs)
                                            : FailedSample(address, monoMs, wallMs);
            ++summary.samples;
            if (!sample.read)
                ++summary.failures;
            // The port's device pulled out and plugged in again: said as it happens; the rows
            // meanwhile are failed samples, and the log goes on by itself once it is back.
            for (const std::string& event : bus_.TakeLinkEvents())
                report(event);
            if (!write(sample)) {
                summary.writeFailed = true;
                break;
            }
        }
        if (summary.writeFailed)
            break;

        const int64_t passEndNs = MonotonicNs();
        const double passMs = static_cast<double>(passEndNs - passNs) / 1e6;
        summary.longestPassMs = std::max(summary.longestPassMs, passMs);
        deadlineNs += intervalNs;
        if (passEndNs > deadlineNs) {
            // The bus cannot keep the interval: the next pass starts now, late, and is counted;
            // the schedule is not made up later by passes that come too fast.
            ++summary.latePasses;
            if (!lateReported) {
                lateReported = true;
                char text[200];
                std::snprintf(text, sizeof text,
                              "the bus cannot keep an interval of %d ms: a pass of %zu "
                              "address(es) took %.1f ms; the passes follow each other as fast as "
                              "the bus allows",
                              options_.intervalMs, options_.addresses.size(), passMs);
                report(text);
            }
            deadlineNs = passEndNs;
        }
    }
    if (summary.passes > 1)
        summary.achievedMs =
            static_cast<double>(lastPassNs - firstPassNs) / 1e6 / (summary.passes - 1);
    return summary;
}

std::string WeightLogger::SummaryText(const WeightLogSummary& s, size_t addresses) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "samples: %ld (%ld passes over %zu address(es)), failures: %ld\n"
                  "interval: asked %d ms, achieved %.1f ms (mean)\n",
                  s.samples, s.passes, addresses, s.failures, s.askedMs, s.achievedMs);
    std::string out = text;
    if (s.latePasses > 0) {
        std::snprintf(text, sizeof text,
                      "the bus could not keep %d ms: %ld of %ld passes were late, the longest took "
                      "%.1f ms\n",
                      s.askedMs, s.latePasses, s.passes, s.longestPassMs);
        out += text;
    }
    if (s.writeFailed)
        out += "the log stopped: the file could not be written\n";
    return out;
}

bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error) {
    addresses.clear();
    size_t at = 0;
    while (true) {
        const size_t comma = text.find(',', at);
        const std::string item = text.substr(at, comma == std::string::npos ? comma : comma - at);
        char* end = nullptr;
        errno = 0;
        const long v = item.empty() ? 0 : std::strtol(item.c_str(), &end, 10);
        if (item.empty() || errno != 0 || *end != '\0' || v < 1 || v > 247 ||
            !std::isdigit(static_cast<unsigned char>(item[0]))) {
            error = "bad address '" + item + "' in '" + text + "' (1 to 247, separated by commas)";
            return false;
        }
        if (std::find(addresses.begin(), addresses.end(), v) != addresses.end()) {
            error = "address " + item + " is given twice";
            return false;
        }
        addresses.push_back(static_cast<int>(v));
        if (comma == std::string::npos)
            return true;
        at = comma + 1;
    }
}

} // namespace quarnex
