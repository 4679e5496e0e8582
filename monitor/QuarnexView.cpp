#include "monitor/QuarnexView.h"

#include "comm/ModbusMaster.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "platform/Profile.h"
#include "res/LinksTextIds.h"
#include "res/PortsTextIds.h"
#include "res/Strings.h"

#include <cmath>
#include <cstdio>
#include <ctime>

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

QuarnexView::QuarnexView(ModbusMaster& bus, Profile& profile, Prompter& prompter)
    : bus_(bus), profile_(profile), prompter_(prompter),
      seedClock_([] { return static_cast<int64_t>(std::time(nullptr)); }) {}

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
        table_[a] = AddressState{};
        table_[a].selected = watched[a];
    }
    BuildList();
}

AddressFlags QuarnexView::Selection() const {
    AddressFlags flags{};
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        flags[a] = table_[a].selected;
    return flags;
}

void QuarnexView::SetVisibleRange(int top, int perPage) {
    top_ = top < 0 ? 0 : top;
    perPage_ = perPage < 0 ? 0 : perPage;
}

void QuarnexView::BuildList() {
    items_.clear();
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        if (!table_[a].selected)
            continue;
        Item item;
        item.address = a;
        const InstrumentType type = table_[a].lastType;
        item.instrument = "  ";
        if (type != itype::kUnknown)
            item.instrument += InstrumentTypeName(type);
        item.image = ImageForType(type);
        item.revision = ++revisions_;
        items_.push_back(std::move(item));
    }
    lastPolled_ = -1;
    ++generation_;
    // A new list or new settings: the next silent pass is worth a note of its own.
    passAsked_ = passAnswered_ = silenceNoted_ = false;
    silenceNote_.clear();
}

void QuarnexView::Reset() {
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        AddressState& s = table_[a];
        s.lastType = itype::kUnknown;
        s.absent = true;
        s.skipCounter = kSkipCounterReset;
        s.showValue = false;
    }
    BuildList();
}

void QuarnexView::SettingsChanged() {
    // The port reports its own failures; polling then finds every instrument absent.
    bus_.Open();
    Reset();
}

bool QuarnexView::ApplySelection(const AddressFlags& selection) {
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        table_[a].selected = selection[a];
    Reset();
    return SaveWatchedSet(profile_, selection);
}

int QuarnexView::Tick() {
    random_.seed(static_cast<uint32_t>(seedClock_()));
    int budget = Budget(bus_.Settings().BaudRate());
    const int count = static_cast<int>(items_.size());
    while (budget > 0) {
        int next = lastPolled_ + 1;
        if (next < top_)
            next = top_; // rows scrolled out above are not polled
        if (next >= count || next > top_ + perPage_) {
            lastPolled_ = -1; // the pass is over: the next tick starts at the top
            PassEnded();
            break;
        }
        lastPolled_ = next;
        AddressState& state = table_[items_[static_cast<size_t>(next)].address];
        int retries = 1;
        if (state.absent) {
            // An absent instrument is asked again only every few passes; the random restart of
            // the counter keeps several absent ones from all costing their time-out in one tick.
            if (++state.skipCounter <= 9)
                continue;
            state.skipCounter = static_cast<int>(random_() % 7);
            retries = 0;
        }
        budget -= Poll(static_cast<size_t>(next), retries);
    }
    return kTimerPeriodMs;
}

int QuarnexView::Poll(size_t row, int retries) {
    Item& item = items_[row];
    AddressState& state = table_[item.address];
    uint16_t live[reg::kLiveBlockCount] = {};
    float setupVersion = 0.0f;
    const int timeout = bus_.PollTimeout();
    passAsked_ = true;
    const bool ok =
        bus_.ReadHoldingRegisters(item.address, reg::kLiveBlock, reg::kLiveBlockCount, live,
                                  {.retries = retries, .extraTimeout = timeout}) ==
            CommStatus::Ok &&
        bus_.ReadFloatRegisters(item.address, reg::kSetupVersion, 1, &setupVersion,
                                {.retries = retries, .extraTimeout = timeout}) == CommStatus::Ok;
    int used = 1;
    if (!ok) {
        used = 2; // a failed poll costs its time-out: count it twice
        MarkAbsent(item, state);
    } else {
        const InstrumentType type = InstrumentTypeWithVersion(DecodeLiveBlock(live).rawTypeCode,
                                                              TruncatedVersion(setupVersion));
        if (type == itype::kUnknown) {
            MarkAbsent(item, state);
        } else {
            state.absent = false;
            passAnswered_ = true;
            silenceNoted_ = false;
            silenceNote_.clear();
            if (type != state.lastType) {
                state.showValue = true;
                item.instrument = "  " + InstrumentTypeName(type);
                item.image = ImageForType(type);
                // I/O modules have no weight to show.
                if (item.image == kImageOther)
                    state.showValue = false;
                state.lastType = type;
                item.revision = ++revisions_;
            }
        }
    }
    SetValue(item, state.showValue ? ValueText(live) : std::string());
    return used;
}

void QuarnexView::PassEnded() {
    // Only a pass that asked someone tells anything: one in which every absent instrument was
    // passed over by its skip counter did not talk to the bus at all.
    // The port's device removed or back: what the note says of the silence is looked at anew.
    if (!bus_.TakeLinkEvents().empty()) {
        silenceNoted_ = false;
        silenceNote_.clear();
    }
    if (passAsked_ && !passAnswered_ && !silenceNoted_) {
        const CommSettings& settings = bus_.Settings();
        // A link that is down says why: the connection refused, the name not resolved, the
        // serial device removed (not the wiring: nothing reached the line).
        const std::string why = bus_.LastStatusText(CommStatus::NoResponse, false);
        const bool linkDown = !bus_.LastSilenceFromGateway() &&
                              why != ModbusMaster::StatusText(CommStatus::NoResponse, false);
        silenceNote_ = linkDown ? why
                       : settings.Kind() != LinkKind::Serial
                           ? FormatText(Text(ids::kNothingAnswersNetwork), {settings.LinkName()})
                           : FormatText(Text(ids::kNothingAnswers),
                                        {settings.DevicePath(), std::to_string(settings.BaudRate()),
                                         std::string(1, settings.ParityLetter())});
        silenceNoted_ = true;
    }
    passAsked_ = passAnswered_ = false;
}

void QuarnexView::MarkAbsent(Item& item, AddressState& state) {
    if (state.absent)
        return;
    state.absent = true;
    state.lastType = itype::kUnknown;
    state.showValue = false;
    item.image = kImageNone;
    item.instrument.clear();
    item.value.clear();
    item.revision = ++revisions_;
}

void QuarnexView::SetValue(Item& item, const std::string& text) {
    if (item.value == text)
        return;
    item.value = text;
    item.revision = ++revisions_;
}

int QuarnexView::DoubleClick(int row) {
    if (row < 0 || row >= static_cast<int>(items_.size()))
        return 0;
    const int address = items_[static_cast<size_t>(row)].address;
    const InstrumentType type = table_[address].lastType;
    // Nothing seen there yet, or an I/O module: there is nothing to open and nothing to say.
    if (!IsWeighingModel(type))
        return 0;
    return MayOpenPanel(bus_, address, type, true, &prompter_) ? address : 0;
}

int QuarnexView::InstrumentSelected(int address, InstrumentType type) {
    if (!IsWeighingModel(type))
        return 0;
    return MayOpenPanel(bus_, address, type, false, &prompter_) ? address : 0;
}

} // namespace quarnex
