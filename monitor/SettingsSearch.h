#pragma once

#include "comm/CommStatus.h"
#include "monitor/WatchedSet.h"

#include <string>
#include <vector>

namespace quarnex {

class ModbusMaster;
class Profile;

// A baud rate and parity of the serial line.
struct LineSetting {
    int baud = 9600;
    char parity = 'N';
    bool operator==(const LineSetting&) const = default;
};

// Finds the line settings of a bus whose baud rate and parity nobody remembers: tries every
// setting the instruments support (each baud rate x parity N, E, O), the most likely first (the
// profile's, then 9600, 19200, 38400 and 115200 without parity, then the rest), and at each
// probes the likely addresses (the watched set and 1-10, or the range the engineer gives). It
// stops after the first setting where an instrument answers correctly, unless asked to go on.
// Bytes that fail the check at some baud rate mean something talks at that rate with another
// parity: that rate's other parities are tried next. One probe per Step, so a window stays
// responsive and Stop is seen between two requests; the settings the bus had are put back at
// the end unless Take is called.
class SettingsSearch {
public:
    struct Found {
        LineSetting setting;
        std::vector<int> addresses;
    };

    // addresses: asked at each setting in this order; retries: the repeats of each probe.
    SettingsSearch(ModbusMaster& bus, std::vector<int> addresses, bool goOn, int retries);
    ~SettingsSearch();
    SettingsSearch(const SettingsSearch&) = delete;
    SettingsSearch& operator=(const SettingsSearch&) = delete;

    // The settings in the order they are tried, the given one first.
    static std::vector<LineSetting> Candidates(const LineSetting& first);
    // The watched addresses, then 1-10 not among them.
    static std::vector<int> LikelyAddresses(const AddressFlags& watched);
    // first-last in order.
    static std::vector<int> Range(int first, int last);

    // Asks the next address (opening the port at the next setting when one is done). False once
    // the search has ended: found (and not going on), every setting tried, stopped, or the port
    // failed (Failed(), the prompter said why).
    bool Step();
    void Stop();
    bool Finished() const { return finished_; }
    bool Failed() const { return failed_; }

    // Progress: probes made and the most the search can make.
    int Done() const { return done_; }
    int Total() const;
    // The setting being tried (valid after the first Step) and its number among all.
    const LineSetting& Current() const { return current_; }
    int SettingNumber() const { return tried_; }
    int SettingCount() const { return static_cast<int>(candidates_.size()) + tried_; }

    const std::vector<Found>& Results() const { return results_; }
    // "3 instruments at 19200 baud, parity E: 1, 2, 17" per setting found, one line each, or
    // that nothing answered at any setting.
    std::string Summary() const;

    // Keeps the settings found (the first, or the given one) on the bus instead of putting the
    // old ones back; the caller saves them to the profile where it keeps settings.
    void Take(const LineSetting& setting);
    // Yes to TakeQuestion(): takes the first setting found (the port opened again at it) and
    // writes it to the profile's communication settings, as "Communication parameters" does.
    // False when the profile could not be written; the settings are in force all the same.
    bool Keep(Profile& profile);

    // "Trying 19200 baud, parity E (setting 3 of 30)".
    std::string ProgressText() const;
    // The longest the whole search can take, every setting tried and nothing answering, in
    // seconds, and the sentence that says so (both as of the start of the search).
    double LongestSeconds() const { return longestSeconds_; }
    std::string LongestText() const;
    // True once the search stopped at the first setting where an instrument answered with
    // settings left untried; and the hint that says so (for the command line, with --go-on).
    bool OthersNotTried() const;
    std::string OthersNotTriedText(bool commandLine) const;
    // The summary and whether to use the first setting found (valid once something was found).
    std::string TakeQuestion() const;

private:
    bool Enter(const LineSetting& setting);
    void PreferBaud(int baud);
    void Finish();

    ModbusMaster& bus_;
    std::vector<int> addresses_;
    bool goOn_;
    int retries_;
    LineSetting before_;
    std::vector<LineSetting> candidates_; // still to try, front first
    LineSetting current_;
    size_t next_ = 0; // the next address index at current_
    bool inSetting_ = false;
    bool heardBytes_ = false;
    std::vector<int> foundHere_;
    std::vector<Found> results_;
    int done_ = 0;
    int tried_ = 0;
    bool finished_ = false;
    bool failed_ = false;
    bool restored_ = false;
    double longestSeconds_ = 0;
};

// The setting's index among CommSettings::kBaudRates and the parity index the settings keep.
void ApplyLineSetting(ModbusMaster& bus, const LineSetting& setting);

} // namespace quarnex
