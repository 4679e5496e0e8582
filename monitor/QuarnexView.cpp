#include "monitor/QuarnexView.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "platform/Profile.h"
#include "res/LinksTextIds.h"
#include "res/PortsTextIds.h"
#include "res/Strings.h"
#include "session/BusSession.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

namespace quarnex {

namespace {

// The set-up version travels as a float; the program compares its integer part. A value that
// does not fit an int (or is not a number) cannot be a version this program knows.
int TruncatedVersion(float value) {
    if (!std::isfinite(value) || value >= 2147483647.0f || value <= -2147483648.0f)
        return 0;
    return static_cast<int>(value);
}

// The models a panel is asked for: the weighing transmitters. Any other type opens nothing.
bool IsWeighingModel(InstrumentType type) {
    return type == itype::kPir7 || type == itype::kJov7 || type == itype::kKel7 ||
           type == itype::kYax7 || type == itype::kKel7RecipeBatcher;
}

} // namespace

QuarnexView::QuarnexView(BusSession& session, ModbusMaster& bus, Profile& profile,
                         Prompter& prompter)
    : session_(session), owner_(session.OpenOwner()), bus_(bus), profile_(profile),
      prompter_(prompter), seedClock_([] { return static_cast<int64_t>(std::time(nullptr)); }) {}

QuarnexView::~QuarnexView() {
    // A tick still out is dropped, and its result never comes back to a view that is gone.
    session_.CloseOwner(owner_);
}

int QuarnexView::Budget(int baud) {
    if (baud <= 2400)
        return 1;
    if (baud <= 4800)
        return 2;
    if (baud <= 9600)
        return 4;
    if (baud <= 19200)
        return 6;
    return 8;
}

int QuarnexView::ImageForType(InstrumentType type) {
    switch (type) {
    case itype::kUnknown:
        return kImageNone;
    case itype::kPir7:
        return kImagePir;
    case itype::kJov7:
        return kImageJov;
    case itype::kKel7:
    case itype::kKel7RecipeBatcher:
        return kImageKel;
    case itype::kYax7:
        return kImageYax;
    default:
        return kImageOther;
    }
}

std::string QuarnexView::ValueText(const uint16_t* live) {
    const LiveBlock block = DecodeLiveBlock(live);
    if (block.error != 0)
        return kValueError;
    const uint16_t* weight = block.NetMode() ? block.net : block.gross;
    double value = 0.0;
    if (!ScaledWeight(weight[0], weight[1], weight[2], value))
        return kValueError;
    char text[64];
    std::snprintf(text, sizeof text, "%*.*f", kValueWidth, static_cast<int>(weight[2]), value);
    return text;
}

void QuarnexView::InitialUpdate() {
    const AddressFlags watched = LoadWatchedSet(profile_);
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        poll_.table[a] = AddressState{};
        poll_.table[a].selected = watched[a];
    }
    BuildList();
}

AddressFlags QuarnexView::Selection() const {
    AddressFlags flags{};
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        flags[a] = poll_.table[a].selected;
    return flags;
}

void QuarnexView::SetVisibleRange(int top, int perPage) {
    top_ = top < 0 ? 0 : top;
    perPage_ = perPage < 0 ? 0 : perPage;
}

void QuarnexView::BuildList() {
    poll_.items.clear();
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        if (!poll_.table[a].selected)
            continue;
        Item item;
        item.address = a;
        const InstrumentType type = poll_.table[a].lastType;
        item.instrument = "  ";
        if (type != itype::kUnknown)
            item.instrument += InstrumentTypeName(type);
        item.image = ImageForType(type);
        item.revision = ++poll_.revisions;
        poll_.items.push_back(std::move(item));
    }
    poll_.lastPolled = -1;
    // A tick still out polled the old list: its result is thrown away when it comes.
    ++generation_;
    // A new list or new settings: the next silent pass is worth a note of its own.
    poll_.passAsked = poll_.passAnswered = poll_.silenceNoted = false;
    poll_.silenceNote.clear();
}

void QuarnexView::Reset() {
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        AddressState& s = poll_.table[a];
        s.lastType = itype::kUnknown;
        s.absent = true;
        s.skipCounter = kSkipCounterReset;
        s.showValue = false;
    }
    BuildList();
}

void QuarnexView::SettingsChanged() {
    // The port reports its own failures; polling then finds every instrument absent. Opening is
    // the session's work like any poll: a gateway that does not answer the connect keeps only the
    // session waiting.
    session_.Submit(owner_, [](BusSession::Job& job) { job.Master().Open(); });
    Reset();
}

bool QuarnexView::ApplySelection(const AddressFlags& selection) {
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        poll_.table[a].selected = selection[a];
    Reset();
    return SaveWatchedSet(profile_, selection);
}

int QuarnexView::Tick(std::function<void()> polled) {
    if (pollsOut_)
        return kTimerPeriodMs;
    // The tick works on a copy, on the session's thread; what it leaves is taken back here.
    auto work = std::make_shared<Polling>(poll_);
    const int top = top_, perPage = perPage_;
    const auto seed = static_cast<uint32_t>(seedClock_());
    const uint64_t generation = generation_;
    pollsOut_ = true;
    stopTick_ = std::make_shared<std::atomic<bool>>(false);
    const bool queued = session_.Submit(
        owner_,
        [work, top, perPage, seed, stop = stopTick_](BusSession::Job& job) {
            RunTick(*work, job.Master(), top, perPage, seed,
                    [&job, &stop] { return *stop || job.CancelAsked(); });
        },
        [this, work, generation, polled = std::move(polled)] {
            pollsOut_ = false;
            if (generation == generation_)
                poll_ = std::move(*work);
            if (polled)
                polled();
        },
        1);
    if (!queued)
        pollsOut_ = false;
    return kTimerPeriodMs;
}

void QuarnexView::StopPolls() {
    // Not dropped from the queue: the tick still comes back, having polled nothing more, so the
    // window knows when it is over.
    if (pollsOut_ && stopTick_)
        *stopTick_ = true;
}

void QuarnexView::RunTick(Polling& p, ModbusMaster& bus, int top, int perPage, uint32_t seed,
                          const std::function<bool()>& stop) {
    std::minstd_rand random(seed);
    int budget = Budget(bus.Settings().BaudRate());
    const int count = static_cast<int>(p.items.size());
    while (budget > 0 && !stop()) {
        int next = p.lastPolled + 1;
        if (next < top)
            next = top; // rows scrolled out above are not polled
        if (next >= count || next > top + perPage) {
            p.lastPolled = -1; // the pass is over: the next tick starts at the top
            PassEnded(p, bus);
            break;
        }
        p.lastPolled = next;
        AddressState& state = p.table[p.items[static_cast<size_t>(next)].address];
        int retries = 1;
        if (state.absent) {
            // An absent instrument is asked again only every few passes; the random restart of
            // the counter keeps several absent ones from all costing their time-out in one tick.
            if (++state.skipCounter <= 9)
                continue;
            state.skipCounter = static_cast<int>(random() % 7);
            retries = 0;
        }
        budget -= Poll(p, bus, static_cast<size_t>(next), retries);
    }
}

int QuarnexView::Poll(Polling& p, ModbusMaster& bus, size_t row, int retries) {
    Item& item = p.items[row];
    AddressState& state = p.table[item.address];
    uint16_t live[reg::kLiveBlockCount] = {};
    float setupVersion = 0.0f;
    const int timeout = bus.PollTimeout();
    p.passAsked = true;
    const bool ok =
        bus.ReadHoldingRegisters(item.address, reg::kLiveBlock, reg::kLiveBlockCount, live,
                                 {.retries = retries, .extraTimeout = timeout}) == CommStatus::Ok &&
        bus.ReadFloatRegisters(item.address, reg::kSetupVersion, 1, &setupVersion,
                               {.retries = retries, .extraTimeout = timeout}) == CommStatus::Ok;
    int used = 1;
    if (!ok) {
        used = 2; // a failed poll costs its time-out: count it twice
        MarkAbsent(p, item, state);
    } else {
        const InstrumentType type = InstrumentTypeWithVersion(DecodeLiveBlock(live).rawTypeCode,
                                                              TruncatedVersion(setupVersion));
        if (type == itype::kUnknown) {
            MarkAbsent(p, item, state);
        } else {
            state.absent = false;
            p.passAnswered = true;
            p.silenceNoted = false;
            p.silenceNote.clear();
            if (type != state.lastType) {
                state.showValue = true;
                item.instrument = "  " + InstrumentTypeName(type);
                item.image = ImageForType(type);
                // I/O modules have no weight to show.
                if (item.image == kImageOther)
                    state.showValue = false;
                state.lastType = type;
                item.revision = ++p.revisions;
            }
        }
    }
    SetValue(p, item, state.showValue ? ValueText(live) : std::string());
    return used;
}

void QuarnexView::PassEnded(Polling& p, ModbusMaster& bus) {
    // Only a pass that asked someone tells anything: one in which every absent instrument was
    // passed over by its skip counter did not talk to the bus at all.
    // The port's device removed or back: what the note says of the silence is looked at anew.
    if (!bus.TakeLinkEvents().empty()) {
        p.silenceNoted = false;
        p.silenceNote.clear();
    }
    if (p.passAsked && !p.passAnswered && !p.silenceNoted) {
        const CommSettings& settings = bus.Settings();
        // A link that is down says why: the connection refused, the name not resolved, the
        // serial device removed (not the wiring: nothing reached the line).
        const std::string why = bus.LastStatusText(CommStatus::NoResponse, false);
        const bool linkDown = !bus.LastSilenceFromGateway() &&
                              why != ModbusMaster::StatusText(CommStatus::NoResponse, false);
        p.silenceNote =
            linkDown ? why
            : settings.Kind() != LinkKind::Serial
                ? FormatText(Text(ids::kNothingAnswersNetwork), {settings.LinkName()})
                : FormatText(Text(ids::kNothingAnswers),
                             {settings.DevicePath(), std::to_string(settings.BaudRate()),
                              std::string(1, settings.ParityLetter())});
        p.silenceNoted = true;
    }
    p.passAsked = p.passAnswered = false;
}

void QuarnexView::MarkAbsent(Polling& p, Item& item, AddressState& state) {
    if (state.absent)
        return;
    state.absent = true;
    state.lastType = itype::kUnknown;
    state.showValue = false;
    item.image = kImageNone;
    item.instrument.clear();
    item.value.clear();
    item.revision = ++p.revisions;
}

void QuarnexView::SetValue(Polling& p, Item& item, const std::string& text) {
    if (item.value == text)
        return;
    item.value = text;
    item.revision = ++p.revisions;
}

int QuarnexView::DoubleClick(int row) {
    if (row < 0 || row >= static_cast<int>(poll_.items.size()))
        return 0;
    const int address = poll_.items[static_cast<size_t>(row)].address;
    const InstrumentType type = poll_.table[address].lastType;
    // Nothing seen there yet, or an I/O module: there is nothing to open and nothing to say.
    if (!IsWeighingModel(type))
        return 0;
    // The panel's own reads follow on the window thread: the session waits meanwhile.
    StopPolls();
    const auto hold = session_.HoldBus();
    return MayOpenPanel(bus_, address, type, true, &prompter_) ? address : 0;
}

int QuarnexView::InstrumentSelected(int address, InstrumentType type) {
    if (!IsWeighingModel(type))
        return 0;
    StopPolls();
    const auto hold = session_.HoldBus();
    return MayOpenPanel(bus_, address, type, false, &prompter_) ? address : 0;
}

} // namespace quarnex
