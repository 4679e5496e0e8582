#pragma once

#include "files/SetupFileImage.h"
#include "fleet/FleetWorker.h"
#include "fleet/HistoryRepo.h"
#include "offline/SetupCompare.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace quarnex {

// What a fleet run made of one instrument's place in the history.
struct InstrumentChange {
    enum class Kind {
        Unchanged,  // the stored file holds the same set-up: not rewritten
        Changed,    // rows differ from the stored set-up
        New,        // nothing was stored for the address before
        Replaced,   // another serial number at the address: the old file gone, the new one stored
        Gone,       // silent now while others on its link answer: its file removed
        Unreadable, // it answered but could not be read: the stored file is kept
        Silent,     // a named address where nothing answers and nothing was stored
        NotKel7,    // another instrument (a search found it): no set-up file
    };
    Kind kind = Kind::Unchanged;
    std::string link;
    int address = 0;
    std::string serial;    // now (or, gone, the last one stored)
    std::string oldSerial; // Replaced: the serial number before
    std::vector<DiffLine> rows;
    std::string problem;   // Unreadable: why; NotKel7: the model ("PIR 7")
    bool otherNew = false; // NotKel7: not listed at this address before
    std::string otherGone; // the model listed at this address before, gone now
    // NotKel7: "PIR 7 at 4, not a KEL 7 Recipe Batcher".
    std::string OtherText() const;
    std::string Name() const; // "Hall B / 3 (226-0137)"
};

// One fleet run against the history.
struct FleetRun {
    std::vector<InstrumentChange> instruments;
    std::vector<std::string> failedLinks; // "Hall B: <why>"
    std::vector<std::string> paths;       // the files written or removed, relative to the history
    std::vector<std::string> carried;     // of those, stored by an earlier run that did not commit
    std::string commit;                   // "" when nothing was committed
    std::string message;                  // its message
    std::string failure;                  // the history could not be written, or the push failed

    int Count(InstrumentChange::Kind kind) const;
    bool Failed() const; // a link or an instrument failed, or the history did
    // 0 nothing changed, 1 changes committed, 3 something failed (what could be stored was).
    int ExitCode() const;
    // One line for monitoring: links, instruments by outcome, the commit.
    std::string Summary(size_t links) const;
};

// The stored file of an instrument: LINK/ADDRESS-SERIAL.kel. Another model found at an address
// is kept as LINK/ADDRESS.other holding its name, so that its coming and going are commits too.
std::string StoredPath(const std::string& link, int address, const std::string& serial);
// The file's content without what changes at every backup (the FILE_ID and FILE_OK times).
std::string StableContent(const std::string& fileText);

// Stores the readings in the history's work tree: a file whose set-up did not change is not
// touched; changed, new and replaced instruments are written, gone and replaced ones removed.
// now stamps the files. Then one commit of those files when anything changed, with the
// message FleetCommitMessage makes.
FleetRun StoreFleet(HistoryRepo& repo, const std::vector<LinkReading>& readings,
                    const std::function<std::time_t()>& now);
// The commit message: the changed instruments on the first line (or their count, when more
// than three), each instrument's state and its changed rows as the compare prints them
// ("Hall B / 3 (226-0137): Activity 03: Fine value: 20.0 kg → 25.0 kg") in the body.
std::string FleetCommitMessage(const FleetRun& run);

// ----- Reading the history -----------------------------------------------------------------------

// One version of an instrument, or one commit of the whole history.
struct HistoryVersion {
    std::string commit;
    std::time_t time = 0;
    std::string subject;
    std::string path;   // instrument: its file in that version ("" when the version is its removal)
    int rows = 0;       // rows changed against the version before
    bool first = false; // instrument: its first version
    bool removed = false;
};

// "Hall B/3" into link and address; false when it is not of that shape.
bool ParseInstrumentKey(const std::string& key, std::string& link, int& address);
// Whether path is a stored file of that instrument.
bool IsInstrumentFile(const std::string& path, const std::string& link, int address);

// The versions of one instrument, newest first; without countRows their rows stay 0 (what
// picking a version needs is there, at a fraction of the time).
bool InstrumentVersions(const HistoryRepo& repo, const std::string& link, int address,
                        std::vector<HistoryVersion>& versions, std::string& error,
                        bool countRows = true);
// Every commit, newest first, with the rows it changed over all instruments.
bool HistoryCommits(const HistoryRepo& repo, std::vector<HistoryVersion>& versions,
                    std::string& error);
// The instruments the history holds now, as "LINK/ADDRESS", in order.
bool HistoryInstruments(const HistoryRepo& repo, std::vector<std::string>& keys,
                        std::string& error);

// The instruments the history held once and does not hold now, as "LINK/ADDRESS" in order, each
// with the time of the commit that removed it.
struct GoneInstrument {
    std::string key;
    std::time_t time = 0;
};
bool HistoryGoneInstruments(const HistoryRepo& repo, std::vector<GoneInstrument>& gone,
                            std::string& error);

// A set-up file's text loaded into an image. False with the reason.
bool LoadImageText(const std::string& text, SetupFileImage& image, std::string& error);

// A stored version named as DIR:LINK/ADDRESS@REV (REV: a commit, a date "2026-12-07" or
// "2026-12-07 14:30" for the version in force then, or ~N for N versions before the latest;
// without @REV the latest that holds a set-up, also of an instrument that is gone).
bool IsStoredVersion(const std::string& operand);
// Its text; false with the reason.
bool ReadStoredVersion(const std::string& operand, std::string& text, std::string& version,
                       std::string& error);
// The version written to a temporary file for a command that reads files (list, restore);
// the file goes with this object.
class StoredVersionFile {
public:
    StoredVersionFile() = default;
    StoredVersionFile(const StoredVersionFile&) = delete;
    StoredVersionFile& operator=(const StoredVersionFile&) = delete;
    ~StoredVersionFile();
    bool Make(const std::string& operand, std::string& error);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
// The version picked by REV among an instrument's versions (newest first).
bool PickVersion(const HistoryRepo& repo, const std::vector<HistoryVersion>& versions,
                 const std::string& rev, HistoryVersion& picked, std::string& error);

} // namespace quarnex
