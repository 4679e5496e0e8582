#include "monitor/SettingsSearch.h"

#include "comm/ModbusMaster.h"
#include "comm/SerialLink.h"
#include "instrument/Registers.h"
#include "res/MonitorTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cmath>

namespace quarnex {

namespace {

// The rates most plants use first; the slow ones last, as they cost the most per probe.
constexpr int kLikelyBauds[] = {9600, 19200, 38400, 115200, 57600, 4800, 2400, 1200, 600, 300};

std::string AddressList(const std::vector<int>& addresses) {
    std::string out;
    for (int a : addresses)
        out += (out.empty() ? "" : ", ") + std::to_string(a);
    return out;
}

// A silent probe at a setting: the silence before the request, the request's 8 bytes, and the
// wait for the 5 bytes of the shortest answer with the poll margin, at every attempt.
double LongestMs(const std::vector<LineSetting>& settings, int additional, int retries,
                 size_t addresses) {
    double ms = 0;
    for (const LineSetting& s : settings) {
        const BaudTiming& t = SerialLink::TimingFor(s.baud);
        const double probe = t.interFrameDelayMs + 8.0 * t.byteTimeMs + t.receiveBaseMs +
                             additional + BusLink::kPollMarginMs + 5.0 * t.byteTimeMs;
        ms += probe * (retries + 1) * static_cast<double>(addresses);
    }
    return ms;
}

} // namespace

void ApplyLineSetting(ModbusMaster& bus, const LineSetting& setting) {
    CommSettings& s = bus.Settings();
    for (int i = 0; i < 10; ++i)
        if (CommSettings::kBaudRates[i] == setting.baud)
            s.SetBaudIndex(i);
    s.SetParityIndex(setting.parity == 'E' ? 1 : setting.parity == 'O' ? 2 : 0);
}

SettingsSearch::SettingsSearch(ModbusMaster& bus, std::vector<int> addresses, bool goOn,
                               int retries)
    : bus_(bus), addresses_(std::move(addresses)), goOn_(goOn),
      retries_(retries), before_{bus.Settings().BaudRate(), bus.Settings().ParityLetter()},
      candidates_(Candidates(before_)), current_(before_) {
    if (addresses_.empty())
        finished_ = true;
    longestSeconds_ = LongestMs(candidates_, bus.Settings().AdditionalReceiveTimeout(), retries_,
                                addresses_.size()) /
                      1000.0;
}

SettingsSearch::~SettingsSearch() {
    Finish();
}

std::vector<LineSetting> SettingsSearch::Candidates(const LineSetting& first) {
    std::vector<LineSetting> out{first};
    auto add = [&](LineSetting s) {
        if (std::find(out.begin(), out.end(), s) == out.end())
            out.push_back(s);
    };
    for (int baud : {9600, 19200, 38400, 115200})
        add({baud, 'N'});
    for (int baud : kLikelyBauds)
        for (char parity : {'N', 'E', 'O'})
            add({baud, parity});
    return out;
}

std::vector<int> SettingsSearch::LikelyAddresses(const AddressFlags& watched) {
    std::vector<int> out;
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        if (watched[static_cast<size_t>(a)])
            out.push_back(a);
    for (int a = 1; a <= 10; ++a)
        if (!watched[static_cast<size_t>(a)])
            out.push_back(a);
    return out;
}

std::vector<int> SettingsSearch::Range(int first, int last) {
    std::vector<int> out;
    for (int a = first; a <= last; ++a)
        out.push_back(a);
    return out;
}

int SettingsSearch::Total() const {
    return SettingCount() * static_cast<int>(addresses_.size());
}

bool SettingsSearch::Enter(const LineSetting& setting) {
    current_ = setting;
    ++tried_;
    next_ = 0;
    heardBytes_ = false;
    foundHere_.clear();
    inSetting_ = true;
    ApplyLineSetting(bus_, setting);
    if (!bus_.Open()) {
        failed_ = true;
        Finish();
        return false;
    }
    return true;
}

void SettingsSearch::PreferBaud(int baud) {
    // Stable: the other parities of this rate move to the front in their order.
    std::stable_partition(candidates_.begin(), candidates_.end(),
                          [baud](const LineSetting& s) { return s.baud == baud; });
}

bool SettingsSearch::Step() {
    if (finished_)
        return false;
    if (!inSetting_) {
        if (candidates_.empty()) {
            Finish();
            return false;
        }
        const LineSetting next = candidates_.front();
        candidates_.erase(candidates_.begin());
        if (!Enter(next))
            return false;
    }
    const int address = addresses_[next_++];
    uint16_t type = 0;
    const CommStatus s = bus_.ReadHoldingRegisters(
        address, reg::kTypeCode, 1, &type,
        {.retries = retries_, .extraTimeout = bus_.PollTimeout(), .probe = true});
    ++done_;
    if (s == CommStatus::Ok)
        foundHere_.push_back(address);
    else if (s == CommStatus::ChecksumError || s == CommStatus::ReceiveError)
        heardBytes_ = true;
    if (next_ < addresses_.size())
        return true;

    inSetting_ = false;
    if (!foundHere_.empty()) {
        results_.push_back({current_, foundHere_});
        if (!goOn_) {
            Finish();
            return false;
        }
    } else if (heardBytes_) {
        PreferBaud(current_.baud);
    }
    if (candidates_.empty()) {
        Finish();
        return false;
    }
    return true;
}

void SettingsSearch::Stop() {
    Finish();
}

void SettingsSearch::Take(const LineSetting& setting) {
    ApplyLineSetting(bus_, setting);
    restored_ = true;
    bus_.Open();
}

bool SettingsSearch::Keep(Profile& profile) {
    Take(results_.front().setting);
    return bus_.Settings().Save(profile);
}

std::string SettingsSearch::ProgressText() const {
    return FormatText(Text(ids::kFindSettingsProgress),
                      {std::to_string(current_.baud), std::string(1, current_.parity),
                       std::to_string(SettingNumber()), std::to_string(SettingCount())});
}

std::string SettingsSearch::LongestText() const {
    const int settings = SettingCount();
    return FormatText(
        Text(ids::kFindSettingsLongest),
        {std::to_string(static_cast<long>(std::ceil(LongestSeconds()))), std::to_string(settings),
         std::to_string(addresses_.size()) + (addresses_.size() == 1 ? " address" : " addresses")});
}

bool SettingsSearch::OthersNotTried() const {
    return finished_ && !failed_ && !goOn_ && !results_.empty() && !candidates_.empty();
}

std::string SettingsSearch::OthersNotTriedText(bool commandLine) const {
    return Text(commandLine ? ids::kOtherSettingsNotTriedCli : ids::kOtherSettingsNotTried);
}

std::string SettingsSearch::TakeQuestion() const {
    const LineSetting& found = results_.front().setting;
    return FormatText(Text(ids::kTakeSettingsQuestion),
                      {Summary(), std::to_string(found.baud), std::string(1, found.parity)});
}

void SettingsSearch::Finish() {
    finished_ = true;
    inSetting_ = false;
    if (restored_)
        return;
    restored_ = true;
    if (current_ == before_ && !failed_)
        return;
    ApplyLineSetting(bus_, before_);
    if (tried_ > 0)
        bus_.Open();
}

std::string SettingsSearch::Summary() const {
    if (results_.empty())
        return "No instrument answered at any baud rate and parity (addresses " +
               AddressList(addresses_) + ")";
    std::string out;
    for (const Found& f : results_) {
        const size_t n = f.addresses.size();
        out += (out.empty() ? "" : "\n") + std::to_string(n) +
               (n == 1 ? " instrument" : " instruments") + " at " + std::to_string(f.setting.baud) +
               " baud, parity " + f.setting.parity + ": " + AddressList(f.addresses);
    }
    return out;
}

} // namespace quarnex
