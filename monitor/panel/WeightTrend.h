#pragma once

#include "instrument/InstrumentTexts.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quarnex {

// One reading of an instrument's live block, as the panel's trend and the weight log keep it.
struct WeightSample {
    int64_t monoMs = 0; // monotonic time of the read: what windows and intervals are measured in
    int64_t wallMs = 0; // wall-clock time (ms since 1970, UTC): what a person reads in a file
    int address = 0;
    bool read = false;  // the block was read; false: a bus failure, nothing else is known
    bool kel7 = false;  // the type register names a KEL 7
    int state = 0;      // 40008
    int error = 0;      // 40009; the weights are valid only while it is 0
    int statusBits = 0; // 40010
    bool grossValid = false;
    bool netValid = false;
    double gross = 0.0;
    double net = 0.0;
    int grossDecimals = 0;
    int netDecimals = 0;

    bool Motion() const { return read && (statusBits & bits::kMotion) != 0; }
    // Weights that can be drawn and written: read, a KEL 7, no error, decimals usable.
    bool HasWeights() const { return read && kel7 && error == 0 && grossValid && netValid; }
};

// A sample from a read of the live block (17 registers from 40001) at the given times.
WeightSample SampleFromLiveBlock(const uint16_t live[17], int address, int64_t monoMs,
                                 int64_t wallMs);
// A sample of a failed read.
WeightSample FailedSample(int address, int64_t monoMs, int64_t wallMs);
// The wall clock in ms since 1970 (UTC).
int64_t WallClockMs();

// The rows of a weight file: one sample a line, comma-separated, texts quoted where they need it.
//   time,address,gross,net,state,status,motion
//   2026-12-07T15:42:57.123Z,1,250.0,250.0,Normal state,No error,0
// time is UTC with milliseconds; gross and net carry the instrument's decimals and are empty when
// the instrument gave no weight; state and status are the instrument's texts ("COMMUNICATION
// ERROR" as status when the read failed); motion is 1 or 0.
namespace weightcsv {
std::string Header();
std::string Row(const WeightSample& sample);
std::string IsoTime(int64_t wallMs);
} // namespace weightcsv

// The last samples of one instrument, oldest first, at most capacity of them: the oldest goes
// when a new one comes. The panel keeps 30 minutes at its fastest rate.
class SampleRing {
public:
    explicit SampleRing(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

    void Push(const WeightSample& sample);
    void Clear() { samples_.clear(); }
    size_t Size() const { return samples_.size(); }
    size_t Capacity() const { return capacity_; }
    const std::deque<WeightSample>& Samples() const { return samples_; }

    // The samples of the spanMs up to endMs (monotonic), oldest first: endMs - spanMs <= t <=
    // endMs.
    std::vector<WeightSample> Window(int64_t endMs, int64_t spanMs) const;

private:
    size_t capacity_;
    std::deque<WeightSample> samples_;
};

// The panel's trend without its window: a ring of the samples the panel polls anyway (no read of
// its own), the time span shown (1, 5 or 30 minutes), and pause: a paused trend keeps recording
// but shows the window as it was when paused, until resumed.
class WeightTrend {
public:
    static constexpr int kSpansMinutes[] = {1, 5, 30};
    static constexpr int64_t kLongestSpanMs = 30 * 60 * 1000;
    // Samples further apart than this have a gap between them: polling paused (a backup, the
    // set-up sheet open). The slowest panel period is 1 s; a late tick is no gap.
    static constexpr int64_t kGapMs = 3000;
    static bool GapBetween(const WeightSample& earlier, const WeightSample& later) {
        return later.monoMs - earlier.monoMs > kGapMs;
    }

    // A state change inside the window: when, and the state's text from then on.
    struct StateMark {
        int64_t monoMs = 0;
        int64_t wallMs = 0;
        std::string text;
    };
    // A stretch of samples with weights, drawn as one line: a gap or a sample without weights
    // (a failed read, an error) ends it. Indexes into View::samples, last included.
    struct Run {
        size_t first = 0;
        size_t last = 0;
    };
    // A stretch of motion inside the window; a gap ends it.
    struct MotionSpan {
        int64_t fromWallMs = 0;
        int64_t toWallMs = 0;
    };
    // What the window draws.
    struct View {
        int64_t endWallMs = 0; // the right edge of the time axis
        int64_t spanMs = 0;
        std::vector<WeightSample> samples; // in the window, oldest first
        std::vector<StateMark> states;
        std::vector<MotionSpan> motion;
        std::vector<Run> runs;
        bool haveWeights = false;     // some sample of the window has weights
        double low = 0.0, high = 0.0; // the range of gross and net in the window
    };

    // fastestPeriodMs: the shortest period the samples come at; the ring keeps 30 minutes of it.
    explicit WeightTrend(int fastestPeriodMs);

    // A new sample from the panel's tick.
    void Add(const WeightSample& sample);

    void SetSpanMinutes(int minutes);
    int SpanMinutes() const { return spanMinutes_; }
    void Pause();
    void Resume();
    bool Paused() const { return paused_; }

    // How often the window draws the trend while it runs: about when the newest point has moved
    // a few pixels at the span shown (1 s at 1 minute, 2 s at 5, 5 s at 30); drawing every
    // sample would cost more than the panel's own polling. Tests set 0: every sample is drawn.
    int64_t DrawPeriodMs() const;
    void SetDrawPeriodOverride(int64_t ms) { drawPeriodOverride_ = ms; }

    const SampleRing& Ring() const { return ring_; }
    // The window to draw now: the span up to the newest sample, or up to the last one before the
    // pause.
    View CurrentView() const;
    // The samples of the current view as a weight file.
    std::string Csv() const;

private:
    SampleRing ring_;
    int spanMinutes_ = 1;
    bool paused_ = false;
    int64_t pausedAtMs_ = 0;
    int64_t pausedAtWallMs_ = 0;
    int64_t drawPeriodOverride_ = -1;
};

} // namespace quarnex
