#include "edit/ValueEntry.h"

#include "comm/ModbusMaster.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "instrument/ValueHelpers.h"
#include "res/InstrumentTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

namespace quarnex {

namespace {

// The input signal (mV/V) of the live block's extension: high word, low word, decimals.
constexpr int kInputSignalAt = reg::LiveOffset(reg::kInputSignal);
constexpr int kShuntReadCount = 29;
constexpr int kErrorRemoteSetup = 1;
constexpr int kErrorShuntConnected = 19;

} // namespace

// ---- ValueEntry ----

ValueEntry::ValueEntry(ModbusMaster& bus, int address, int reg, std::string caption,
                       Prompter& prompter)
    : busTarget_(std::make_unique<BusValueTarget>(bus, address)), target_(*busTarget_), bus_(&bus),
      address_(address), reg_(reg), caption_(std::move(caption)), prompter_(prompter) {}

ValueEntry::ValueEntry(ValueTarget& target, int reg, std::string caption, Prompter& prompter)
    : target_(target), bus_(nullptr), address_(0), reg_(reg), caption_(std::move(caption)),
      prompter_(prompter) {}

void ValueEntry::SetSelector(int selectorRegister, double selectorValue) {
    selectorRegister_ = selectorRegister;
    selectorValue_ = selectorValue;
}

bool ValueEntry::WriteWithSelector(double value) {
    WaitCursor wait(prompter_);
    // The selector pages the instrument's window; the value would land in the wrong activity or
    // recipe if the selector write failed, so both must succeed.
    if (HasSelector() &&
        !target_.WriteFloat(selectorRegister_, static_cast<float>(selectorValue_), 0, prompter_))
        return false;
    return target_.WriteFloat(reg_, static_cast<float>(value), extraTimeout_, prompter_);
}

// ---- NumericEntry ----

NumericEntry::NumericEntry(ValueTarget& target, int reg, std::string caption,
                           std::string initialText, Prompter& prompter)
    : ValueEntry(target, reg, std::move(caption), prompter), initialText_(std::move(initialText)) {}

EntryResult NumericEntry::Ok(const std::string& text) {
    double value = 0.0;
    if (!ParseEnteredValue(text, prompter_, value))
        return EntryResult::StayOpen;
    if (decimals_ >= 0) {
        const double scaled = value * std::pow(10.0, decimals_);
        if (std::fabs(scaled - std::round(scaled)) > 1e-6 * std::max(1.0, std::fabs(scaled))) {
            prompter_.Error(FormatText(Text(ids::kTooManyDecimals), {std::to_string(decimals_)}));
            return EntryResult::StayOpen;
        }
    }
    if (!WriteWithSelector(value))
        return EntryResult::StayOpen;
    value_ = value;
    return EntryResult::Accepted;
}

// ---- ChoiceEntry ----

ChoiceEntry::ChoiceEntry(ValueTarget& target, int reg, std::string caption, Prompter& prompter)
    : ValueEntry(target, reg, std::move(caption), prompter) {}

ChoiceEntry::ChoiceEntry(ValueTarget& target, int reg, std::string caption, int firstId,
                         int finalId, int currentIndex, Prompter& prompter)
    : ChoiceEntry(target, reg, std::move(caption), prompter) {
    FillFromTexts(firstId, finalId, currentIndex);
}

void ChoiceEntry::FillFromTexts(int firstId, int finalId, int currentIndex) {
    for (int id = firstId; id <= finalId; ++id)
        items_.push_back(Text(id));
    if (currentIndex >= 0 && currentIndex < static_cast<int>(items_.size()))
        preselected_ = currentIndex;
}

EntryResult ChoiceEntry::Ok(int selectedIndex) {
    if (selectedIndex < 0 || selectedIndex >= static_cast<int>(items_.size())) {
        prompter_.Error(Text(ids::kSelectFromList));
        return EntryResult::StayOpen;
    }
    // No writes nothing but still ends the dialog with OK: the caller reads the value again
    // and shows what the instrument holds.
    if (!question_.empty() && !prompter_.AskDestructive(Prompter::Icon::Exclamation, question_))
        return EntryResult::Accepted;
    const double value = ValueOf(selectedIndex);
    if (!WriteWithSelector(value))
        return EntryResult::StayOpen;
    value_ = value;
    return EntryResult::Accepted;
}

// ---- ActivityChoiceEntry ----

ActivityChoiceEntry::ActivityChoiceEntry(ValueTarget& target, int reg, std::string caption,
                                         const std::vector<ActivityEntry>& activities,
                                         int currentActivity, Prompter& prompter)
    : ChoiceEntry(target, reg, std::move(caption), prompter) {
    Fill(activities, currentActivity);
}

void ActivityChoiceEntry::Fill(const std::vector<ActivityEntry>& activities, int currentActivity) {
    items_.push_back(Text(ids::kNoActivity));
    numbers_.push_back(0);
    for (const ActivityEntry& activity : activities) {
        if (activity.type == 0.0)
            continue;
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02d:", activity.number);
        items_.push_back(prefix + TrimRight(activity.name));
        numbers_.push_back(activity.number);
    }
    for (size_t i = 0; i < numbers_.size(); ++i)
        if (numbers_[i] == currentActivity)
            preselected_ = static_cast<int>(i);
}

std::vector<ActivityEntry> ActivityChoiceEntry::ActivitiesOf(const InstrumentSetup& setup) {
    std::vector<ActivityEntry> activities;
    for (int k = 1; k <= 24; ++k)
        activities.push_back({k, setup.ActivityValue(k, 0), setup.Text(k - 1)});
    return activities;
}

// ---- AdjustmentEntry ----

AdjustmentEntry::AdjustmentEntry(ModbusMaster& bus, int address, int reg, int endRegister,
                                 std::string caption, int initialValue, Prompter& prompter)
    : ValueEntry(bus, address, reg, std::move(caption), prompter), endRegister_(endRegister),
      initialValue_(initialValue) {}

bool AdjustmentEntry::Create() {
    WaitCursor wait(prompter_);
    return target_.WriteFloat(reg_, static_cast<float>(initialValue_), 0, prompter_);
}

void AdjustmentEntry::Edited() {
    pending_ = true;
}

bool AdjustmentEntry::ParseInteger(const std::string& text, Prompter& prompter, int& value) {
    size_t first = text.find_first_not_of(' ');
    size_t last = text.find_last_not_of(' ');
    bool ok = first != std::string::npos;
    if (ok) {
        const char* begin = text.data() + first;
        const char* end = text.data() + last + 1;
        if (*begin == '+' && end - begin > 1 && *(begin + 1) != '-')
            ++begin;
        const auto [stop, error] = std::from_chars(begin, end, value);
        ok = error == std::errc() && stop == end;
    }
    if (!ok) {
        prompter.Exclamation(FormatText(Text(ids::kIntegerRangePrompt),
                                        {std::to_string(INT_MIN), std::to_string(INT_MAX)}));
        return false;
    }
    return true;
}

bool AdjustmentEntry::Write(const std::string& text) {
    int value = 0;
    if (!ParseInteger(text, prompter_, value))
        return false;
    WaitCursor wait(prompter_);
    if (!target_.WriteFloat(reg_, static_cast<float>(value), 0, prompter_))
        return false;
    applied_ = true;
    pending_ = false;
    return true;
}

bool AdjustmentEntry::Apply(const std::string& text) {
    return Write(text);
}

EntryResult AdjustmentEntry::Ok(const std::string& text) {
    int value = 0;
    if (!ParseInteger(text, prompter_, value))
        return EntryResult::StayOpen;
    if (pending_ && !Write(text))
        return EntryResult::StayOpen;
    return Finish();
}

EntryResult AdjustmentEntry::Close() {
    return Finish();
}

EntryResult AdjustmentEntry::Finish() {
    // Ends the adjustment in the instrument; a failure is shown, and the dialog closes anyway so
    // the user is not held in a window whose instrument may no longer answer.
    WaitCursor wait(prompter_);
    target_.WriteFloat(endRegister_, 0.0f, 0, prompter_);
    return applied_ ? EntryResult::Accepted : EntryResult::Rejected;
}

// ---- ShuntEntry ----

ShuntEntry::ShuntEntry(ModbusMaster& bus, int address, int reg, std::string caption,
                       std::string initialText, Prompter& prompter)
    : ValueEntry(bus, address, reg, std::move(caption), prompter),
      initialText_(std::move(initialText)) {}

int ShuntEntry::Tick() {
    ready_ = false;
    if (!measuring_) {
        uint16_t error = 0;
        if (bus_->ReadHoldingRegisters(address_, reg::kError, 1, &error, {.owner = &prompter_}) ==
            CommStatus::Ok) {
            if (error == kErrorRemoteSetup)
                ready_ = true;
            // A resistor left connected (by an earlier window) falsifies the signal: take it off.
            if (error == kErrorShuntConnected)
                SendCommand(*bus_, address_, coil::kShuntDisconnect, false, {}, {}, &prompter_);
        }
        return kIdlePeriodMs;
    }
    uint16_t live[kShuntReadCount] = {};
    measuredText_ = placeholder::kSetupValue;
    if (bus_->ReadHoldingRegisters(address_, reg::kLiveBlock, kShuntReadCount, live,
                                   {.owner = &prompter_}) == CommStatus::Ok &&
        DecodeLiveBlock(live).error == kErrorShuntConnected) {
        ready_ = FormatLiveValue(live[kInputSignalAt], live[kInputSignalAt + 1],
                                 live[kInputSignalAt + 2], measuredText_);
    }
    return kMeasuringPeriodMs;
}

bool ShuntEntry::Connect() {
    if (!ready_) {
        prompter_.Error(Text(ids::kWeightSignalNotValid));
        return false;
    }
    if (!SendCommand(*bus_, address_, coil::kShuntConnect, true, {}, {}, &prompter_))
        return false;
    measuring_ = true;
    ready_ = false;
    measuredText_ = placeholder::kSetupValue;
    return true;
}

EntryResult ShuntEntry::WriteTyped(const std::string& text) {
    double value = 0.0;
    if (!ParseEnteredValue(text, prompter_, value))
        return EntryResult::StayOpen;
    if (!WriteWithSelector(value))
        return EntryResult::StayOpen;
    return EntryResult::Accepted;
}

EntryResult ShuntEntry::Ok(const std::string& text) {
    if (!measuring_)
        return WriteTyped(text);
    if (!ready_) {
        prompter_.Error(Text(ids::kWeightSignalNotValid));
        return EntryResult::StayOpen;
    }
    // The value written is the one measured, whatever the edit may hold.
    const EntryResult result = WriteTyped(measuredText_);
    if (result == EntryResult::Accepted) {
        SendCommand(*bus_, address_, coil::kShuntDisconnect, false, {}, {}, &prompter_);
        measuring_ = false;
    }
    return result;
}

EntryResult ShuntEntry::Cancel() {
    if (measuring_) {
        SendCommand(*bus_, address_, coil::kShuntDisconnect, false, {}, {}, &prompter_);
        measuring_ = false;
    }
    return EntryResult::Rejected;
}

// ---- TextEntry ----

TextEntry::TextEntry(ValueTarget& target, int reg, int count, std::string caption,
                     std::string initialText, Prompter& prompter)
    : ValueEntry(target, reg, std::move(caption), prompter), count_(count),
      initialText_(std::move(initialText)) {}

EntryResult TextEntry::Ok(const std::string& text) {
    // The window limits the edit; a longer text would be cut silently by the packing.
    if (static_cast<int>(text.size()) > MaxLength()) {
        prompter_.Error(FormatText(Text(ids::kTextTooLong), {std::to_string(MaxLength())}));
        return EntryResult::StayOpen;
    }
    WaitCursor wait(prompter_);
    if (!target_.WriteText(reg_, count_, text, prompter_))
        return EntryResult::StayOpen;
    return EntryResult::Accepted;
}

// ---- AddressEntry ----

EntryResult AddressEntry::Ok(const std::string& text) {
    int address = 0;
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    bool ok = first != std::string::npos;
    if (ok) {
        const auto [stop, error] =
            std::from_chars(text.data() + first, text.data() + last + 1, address);
        ok = error == std::errc() && stop == text.data() + last + 1;
    }
    if (!ok || address < kFirstAddress || address > kLastAddress) {
        prompter_.Exclamation(
            FormatText(Text(ids::kIntegerRangePrompt),
                       {std::to_string(kFirstAddress), std::to_string(kLastAddress)}));
        return EntryResult::StayOpen;
    }
    InstrumentType type = itype::kUnknown;
    {
        WaitCursor wait(prompter_);
        if (!ReadInstrumentType(bus_, address, &prompter_, type))
            return EntryResult::StayOpen;
    }
    if (type == itype::kUnknown) {
        prompter_.Error(Text(ids::kNotSupportedInstrument));
        return EntryResult::StayOpen;
    }
    address_ = address;
    type_ = type;
    return EntryResult::Accepted;
}

} // namespace quarnex
