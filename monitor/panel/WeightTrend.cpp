#include "monitor/panel/WeightTrend.h"

#include "instrument/InstrumentType.h"
#include "instrument/ValueFormat.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace quarnex {

WeightSample SampleFromLiveBlock(const uint16_t live[17], int address, int64_t monoMs,
                                 int64_t wallMs) {
    WeightSample s;
    s.monoMs = monoMs;
    s.wallMs = wallMs;
    s.address = address;
    s.read = true;
    const LiveBlock block = DecodeLiveBlock(live);
    s.kel7 = InstrumentTypeFromCode(block.rawTypeCode) == itype::kKel7;
    s.state = block.state;
    s.error = block.error;
    s.statusBits = block.statusBits;
    s.grossValid = ScaledWeight(block.gross[0], block.gross[1], block.gross[2], s.gross);
    s.netValid = ScaledWeight(block.net[0], block.net[1], block.net[2], s.net);
    s.grossDecimals = s.grossValid ? block.gross[2] : 0;
    s.netDecimals = s.netValid ? block.net[2] : 0;
    return s;
}

WeightSample FailedSample(int address, int64_t monoMs, int64_t wallMs) {
    WeightSample s;
    s.monoMs = monoMs;
    s.wallMs = wallMs;
    s.address = address;
    return s;
}

int64_t WallClockMs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// ----- weight file rows ------------------------------------------------------------------------

namespace weightcsv {

namespace {

// A text field: quoted when it holds a comma, a quote or a line break, quotes doubled.
std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

std::string Header() {
    return "time,address,gross,net,state,status,motion";
}

std::string IsoTime(int64_t wallMs) {
    const time_t seconds = static_cast<time_t>(wallMs / 1000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(wallMs % 1000));
    return text;
}

std::string Row(const WeightSample& s) {
    std::string row = IsoTime(s.wallMs) + ',' + std::to_string(s.address) + ',';
    if (!s.read)
        return row + ",,," + Field(Text(ids::kCommunicationError)) + ",";
    if (!s.kel7)
        return row + ",,," + Field(Text(ids::kNotKel7)) + ",";
    const bool weights = s.error == 0;
    row += (weights && s.grossValid ? Number(s.gross, s.grossDecimals) : "") + ',';
    row += (weights && s.netValid ? Number(s.net, s.netDecimals) : "") + ',';
    row += Field(StateText(s.state)) + ',' + Field(InstrumentErrorText(s.error)) + ',';
    row += s.Motion() ? '1' : '0';
    return row;
}

} // namespace weightcsv

// ----- the ring ---------------------------------------------------------------------------------

void SampleRing::Push(const WeightSample& sample) {
    if (samples_.size() == capacity_)
        samples_.pop_front();
    samples_.push_back(sample);
}

std::vector<WeightSample> SampleRing::Window(int64_t endMs, int64_t spanMs) const {
    // The samples come in time order: search the window's ends instead of walking the ring.
    const auto first =
        std::lower_bound(samples_.begin(), samples_.end(), endMs - spanMs,
                         [](const WeightSample& s, int64_t t) { return s.monoMs < t; });
    const auto last =
        std::upper_bound(first, samples_.end(), endMs,
                         [](int64_t t, const WeightSample& s) { return t < s.monoMs; });
    return {first, last};
}

// ----- the trend --------------------------------------------------------------------------------

WeightTrend::WeightTrend(int fastestPeriodMs)
    : ring_(static_cast<size_t>(kLongestSpanMs / std::max(1, fastestPeriodMs)) + 1) {}

void WeightTrend::Add(const WeightSample& sample) {
    // A sample older than the newest (a clock that went back) would break the time order the
    // window's search relies on: it is dropped from the trend (the log still has it).
    if (ring_.Size() > 0 && sample.monoMs < ring_.Samples().back().monoMs)
        return;
    ring_.Push(sample);
}

void WeightTrend::SetSpanMinutes(int minutes) {
    for (int m : kSpansMinutes)
        if (m == minutes)
            spanMinutes_ = minutes;
}

int64_t WeightTrend::DrawPeriodMs() const {
    if (drawPeriodOverride_ >= 0)
        return drawPeriodOverride_;
    return spanMinutes_ <= 1 ? 1000 : spanMinutes_ <= 5 ? 2000 : 5000;
}

void WeightTrend::Pause() {
    if (paused_)
        return;
    paused_ = true;
    pausedAtMs_ = ring_.Size() ? ring_.Samples().back().monoMs : 0;
    pausedAtWallMs_ = ring_.Size() ? ring_.Samples().back().wallMs : 0;
}

void WeightTrend::Resume() {
    paused_ = false;
}

WeightTrend::View WeightTrend::CurrentView() const {
    View v;
    v.spanMs = static_cast<int64_t>(spanMinutes_) * 60 * 1000;
    if (ring_.Size() == 0)
        return v;
    const int64_t endMs = paused_ ? pausedAtMs_ : ring_.Samples().back().monoMs;
    v.endWallMs = paused_ ? pausedAtWallMs_ : ring_.Samples().back().wallMs;
    v.samples = ring_.Window(endMs, v.spanMs);

    bool haveState = false;
    int state = 0;
    bool inMotion = false;
    bool inRun = false;
    for (size_t i = 0; i < v.samples.size(); ++i) {
        const WeightSample& s = v.samples[i];
        // Nothing is known of the time between two samples a gap apart: neither line nor band
        // goes across it.
        if (i > 0 && GapBetween(v.samples[i - 1], s))
            inRun = inMotion = false;
        if (s.HasWeights() && !inRun)
            v.runs.push_back({i, i});
        if (s.HasWeights())
            v.runs.back().last = i;
        inRun = s.HasWeights();
        if (s.HasWeights()) {
            const double lo = std::min(s.gross, s.net), hi = std::max(s.gross, s.net);
            v.low = v.haveWeights ? std::min(v.low, lo) : lo;
            v.high = v.haveWeights ? std::max(v.high, hi) : hi;
            v.haveWeights = true;
        }
        // A failed read is no state change: the instrument's state is unknown, not changed.
        if (s.read && s.kel7 && (!haveState || s.state != state)) {
            if (haveState)
                v.states.push_back({s.monoMs, s.wallMs, StateText(s.state)});
            haveState = true;
            state = s.state;
        }
        if (s.Motion() && !inMotion)
            v.motion.push_back({s.wallMs, s.wallMs});
        if (s.Motion())
            v.motion.back().toWallMs = s.wallMs;
        inMotion = s.Motion();
    }
    return v;
}

std::string WeightTrend::Csv() const {
    std::string text = weightcsv::Header() + '\n';
    for (const WeightSample& s : CurrentView().samples)
        text += weightcsv::Row(s) + '\n';
    return text;
}

} // namespace quarnex
