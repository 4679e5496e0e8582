#pragma once

#include "files/SetupFileImage.h"
#include "fleet/FleetConfig.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quarnex {

// What one address of a link gave.
struct InstrumentReading {
    enum class Outcome {
        Read,       // a KEL 7 Recipe Batcher, its whole set-up read as a backup reads it
        Silent,     // no answer at all
        Unreadable, // an answer, but the set-up could not be read (a broken line, a refusal)
        NotKel7,    // another instrument: it has no set-up file
    };
    int address = 0;
    Outcome outcome = Outcome::Silent;
    std::string serial;                    // Read: the serial number as the instrument shows it
    std::shared_ptr<SetupFileImage> image; // Read: the set-up
    std::string problem;                   // Unreadable, NotKel7: why, on one line
};

// One link's run: opened or not, and every address asked.
struct LinkReading {
    std::string link;
    bool opened = false;
    std::string problem; // not opened: why
    std::vector<InstrumentReading> instruments;
    double seconds = 0; // how long the link took
};

// Visits one link with a master and a link of its own: opens it, asks each address in turn and
// reads every KEL 7 Recipe Batcher with the backup's own read (nothing but the activity and recipe
// selectors is written). With addresses=search every address is first asked for its type, as a
// bus search does (once, and retries more times while silent); named addresses are read at once, so
// a run costs one backup's reading per instrument. stop, when it says so, ends the run at the next
// instrument. Safe to run on a thread of its own: it shares nothing with other links.
LinkReading ReadFleetLink(const FleetLink& link, int retries,
                          const std::function<bool()>& stop = nullptr);

// Links read at once unless told otherwise.
constexpr int kDefaultFleetJobs = 16;

// The links on worker threads of their own (the links are independent buses), at most jobs at
// once, the rest queued; the readings in the order of the links. A thread that cannot be started
// (a process limit) is that link's failure, not the run's end.
std::vector<LinkReading> ReadFleet(const std::vector<FleetLink>& links, int retries,
                                   const std::function<bool()>& stop = nullptr,
                                   int jobs = kDefaultFleetJobs);
// The scheduling of ReadFleet with read in place of the reading of one link.
std::vector<LinkReading> RunFleetLinks(const std::vector<FleetLink>& links, int jobs,
                                       const std::function<LinkReading(const FleetLink&)>& read);

} // namespace quarnex
