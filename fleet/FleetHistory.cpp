#include "fleet/FleetHistory.h"

#include "fleet/QuietPrompter.h"
#include "instrument/InstrumentType.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unistd.h>

namespace quarnex {

namespace fs = std::filesystem;

namespace {

using Kind = InstrumentChange::Kind;

constexpr const char* kRowsTrailer = "Rows-changed: ";

bool ReadText(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

// "3-226-0137.kel" -> address 3, serial "226-0137".
bool ParseStoredName(const std::string& name, int& address, std::string& serial) {
    const size_t dash = name.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 3 || name.size() < dash + 5 ||
        name.compare(name.size() - 4, 4, ".kel") != 0 ||
        name.find_first_not_of("0123456789") != dash)
        return false;
    address = std::stoi(name.substr(0, dash));
    serial = name.substr(dash + 1, name.size() - dash - 5);
    return address >= 1 && address <= 247 && !serial.empty();
}

// The stored files of a link's folder in the work tree, by address.
std::map<int, std::vector<std::string>> StoredFiles(const fs::path& folder) {
    std::map<int, std::vector<std::string>> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        int address = 0;
        std::string serial;
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && ParseStoredName(name, address, serial))
            files[address].push_back(name);
    }
    for (auto& [address, names] : files)
        std::sort(names.begin(), names.end());
    return files;
}

std::string SerialOf(const std::string& name) {
    int address = 0;
    std::string serial;
    ParseStoredName(name, address, serial);
    return serial;
}

// The comparison of the stored file with the new set-up; a stored file that does not load any
// more (edited by hand) compares as nothing.
std::vector<DiffLine> ChangedRows(const fs::path& stored, const SetupFileImage& now) {
    SetupFileImage before;
    QuietPrompter quiet;
    if (LoadSetupFileImage(stored.string(), before, quiet) != SetupFileStatus::kOk)
        return {};
    std::vector<DiffLine> rows;
    for (const DiffGroup& group : CompareSetups(before, now).groups)
        rows.insert(rows.end(), group.lines.begin(), group.lines.end());
    return rows;
}

class Store {
public:
    Store(HistoryRepo& repo, const std::function<std::time_t()>& now, FleetRun& run)
        : now_(now), run_(run), root_(repo.Dir()),
          scratch_(fs::path(repo.Dir()) / ".git" / "quarnex-fleet-new.kel") {}

    void Link(const LinkReading& reading) {
        if (!reading.opened) {
            run_.failedLinks.push_back(reading.link + ": " + reading.problem);
            return;
        }
        const bool heard = std::any_of(reading.instruments.begin(), reading.instruments.end(),
                                       [](const InstrumentReading& r) {
                                           return r.outcome != InstrumentReading::Outcome::Silent;
                                       });
        if (!heard)
            run_.failedLinks.push_back(reading.link + ": no instrument answered");
        std::map<int, std::vector<std::string>> stored = StoredFiles(root_ / reading.link);
        std::set<int> asked;
        for (const InstrumentReading& r : reading.instruments) {
            asked.insert(r.address);
            Instrument(reading.link, r, stored[r.address], heard);
        }
        // A search reports only what it found: a stored instrument it did not find is silent.
        for (const auto& [address, names] : stored)
            if (!asked.count(address) && (!names.empty() || HasOther(reading.link, address))) {
                InstrumentReading silent;
                silent.address = address;
                Instrument(reading.link, silent, names, heard);
            }
    }

private:
    static std::string OtherPath(const std::string& link, int address) {
        return link + "/" + std::to_string(address) + ".other";
    }
    bool HasOther(const std::string& link, int address) const {
        std::error_code ec;
        return fs::exists(root_ / OtherPath(link, address), ec);
    }

    // The other model listed at the address: kept while it answers, removed when it is gone.
    void Other(InstrumentChange& c, const InstrumentReading& r) {
        const std::string path = OtherPath(c.link, c.address);
        std::string before;
        const bool had = ReadText(root_ / path, before);
        while (!before.empty() && before.back() == '\n')
            before.pop_back();
        if (r.outcome == InstrumentReading::Outcome::NotKel7) {
            if (had && before == r.problem)
                return;
            std::error_code ec;
            fs::create_directories(root_ / c.link, ec);
            std::ofstream out(root_ / path, std::ios::binary | std::ios::trunc);
            out << r.problem << '\n';
            out.close();
            if (!out) {
                c.kind = Kind::Unreadable;
                c.problem = "cannot store " + path;
                return;
            }
            c.otherNew = true;
            if (had)
                c.otherGone = before;
            run_.paths.push_back(path);
        } else if (had) {
            c.otherGone = before.empty() ? "another instrument" : before;
            Remove(path);
        }
    }

    void Instrument(const std::string& link, const InstrumentReading& r,
                    const std::vector<std::string>& stored, bool linkHeard) {
        InstrumentChange c;
        c.link = link;
        c.address = r.address;
        c.serial = stored.empty() ? std::string() : SerialOf(stored.front());
        switch (r.outcome) {
        case InstrumentReading::Outcome::Read:
            c.serial = r.serial;
            Read(c, *r.image, stored);
            break;
        case InstrumentReading::Outcome::Silent:
            // Nobody on the link answered: a cable or a gateway, not the instruments; kept.
            if (!linkHeard)
                return;
            c.kind = stored.empty() ? Kind::Silent : Kind::Gone;
            for (const std::string& name : stored)
                Remove(link + "/" + name);
            break;
        case InstrumentReading::Outcome::Unreadable:
            c.kind = Kind::Unreadable;
            c.problem = r.problem;
            break;
        case InstrumentReading::Outcome::NotKel7:
            c.kind = Kind::NotKel7;
            c.problem = r.problem;
            break;
        }
        // A silent address while nobody on the link answers returned above: nothing is gone.
        Other(c, r);
        run_.instruments.push_back(std::move(c));
    }

    void Read(InstrumentChange& c, const SetupFileImage& image,
              const std::vector<std::string>& stored) {
        const std::string path = StoredPath(c.link, c.address, c.serial);
        std::error_code ec;
        fs::remove(scratch_, ec);
        fs::remove(scratch_.string() + ".bak", ec);
        QuietPrompter quiet;
        const std::vector<std::string> info = {"Fleet backup of link " + c.link,
                                               "Instrument address: " + std::to_string(c.address)};
        if (WriteSetupFileImage(image, scratch_.string(), info, now_, quiet) !=
            SetupFileStatus::kOk) {
            c.kind = Kind::Unreadable;
            c.problem = "cannot write its set-up file: " + quiet.Take();
            fs::remove(scratch_, ec);
            return;
        }
        const auto sameFile = [&](const std::string& name) { return c.link + "/" + name == path; };
        if (stored.empty()) {
            c.kind = Kind::New;
        } else if (!std::any_of(stored.begin(), stored.end(), sameFile)) {
            c.kind = Kind::Replaced;
            c.oldSerial = SerialOf(stored.front());
            c.rows = ChangedRows(root_ / c.link / stored.front(), image);
        } else {
            std::string before, after;
            ReadText(root_ / path, before);
            ReadText(scratch_, after);
            if (StableContent(before) == StableContent(after)) {
                c.kind = Kind::Unchanged;
                fs::remove(scratch_, ec);
                return;
            }
            c.kind = Kind::Changed;
            c.rows = ChangedRows(root_ / path, image);
        }
        for (const std::string& name : stored)
            if (!sameFile(name))
                Remove(c.link + "/" + name);
        fs::create_directories(root_ / c.link, ec);
        fs::rename(scratch_, root_ / path, ec);
        if (ec) {
            c.kind = Kind::Unreadable;
            c.problem = "cannot store " + path + ": " + ec.message();
            return;
        }
        run_.paths.push_back(path);
    }

    void Remove(const std::string& path) {
        std::error_code ec;
        fs::remove(root_ / path, ec);
        run_.paths.push_back(path);
    }

    const std::function<std::time_t()>& now_;
    FleetRun& run_;
    fs::path root_;
    fs::path scratch_;
};

std::string LocalTime(std::time_t t, const char* format) {
    char text[64];
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

bool InstrumentOf(const std::string& path, std::string& link, int& address) {
    const size_t slash = path.find('/');
    std::string serial;
    if (slash == std::string::npos || !ParseStoredName(path.substr(slash + 1), address, serial))
        return false;
    link = path.substr(0, slash);
    return true;
}

// A stored file's set-up by the id of its content, loaded once however many versions share it;
// null when it does not load (a file edited by hand).
std::shared_ptr<const SetupFileImage> LoadBlob(const HistoryRepo& repo, const std::string& blob) {
    std::string text, error;
    auto image = std::make_shared<SetupFileImage>();
    if (!repo.ReadBlob(blob, text, error) || !LoadImageText(text, *image, error))
        return nullptr;
    return image;
}

// The rows that differ between two set-ups; -1 when one does not load.
int RowsBetween(const SetupFileImage* before, const SetupFileImage* after) {
    return before && after ? CompareSetups(*before, *after).Count() : -1;
}

} // namespace

std::string InstrumentChange::Name() const {
    std::string name = link + " / " + std::to_string(address);
    if (!serial.empty())
        name += " (" + serial + ")";
    return name;
}

std::string InstrumentChange::OtherText() const {
    return problem + " at " + std::to_string(address) + ", not a KEL 7 Recipe Batcher";
}

int FleetRun::Count(InstrumentChange::Kind kind) const {
    return static_cast<int>(
        std::count_if(instruments.begin(), instruments.end(),
                      [kind](const InstrumentChange& c) { return c.kind == kind; }));
}

bool FleetRun::Failed() const {
    return !failedLinks.empty() || !failure.empty() || Count(Kind::Unreadable) > 0;
}

int FleetRun::ExitCode() const {
    if (Failed())
        return 3;
    return commit.empty() ? 0 : 1;
}

std::string FleetRun::Summary(size_t links) const {
    std::ostringstream s;
    const int read =
        Count(Kind::Unchanged) + Count(Kind::Changed) + Count(Kind::New) + Count(Kind::Replaced);
    s << "fleet backup: " << links << " links (" << failedLinks.size() << " failed), " << read
      << " instruments stored: " << Count(Kind::Changed) << " changed, " << Count(Kind::New)
      << " new, " << Count(Kind::Replaced) << " replaced, " << Count(Kind::Unchanged)
      << " unchanged; " << Count(Kind::Gone) << " gone, " << Count(Kind::Unreadable)
      << " unreadable; " << (commit.empty() ? "no commit" : "commit " + commit.substr(0, 12));
    for (const InstrumentChange& c : instruments)
        if (c.kind == Kind::NotKel7)
            s << "; " << c.link << ": " << c.OtherText();
    return s.str();
}

std::string StoredPath(const std::string& link, int address, const std::string& serial) {
    return link + "/" + std::to_string(address) + "-" + serial + ".kel";
}

std::string StableContent(const std::string& fileText) {
    std::string out;
    bool skip = false;
    std::istringstream in(fileText);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            skip = line.rfind("[FILE_ID]", 0) == 0 || line.rfind("[FILE_OK]", 0) == 0;
        } else if (skip) {
            continue;
        }
        out += line;
        out += '\n';
    }
    return out;
}

FleetRun StoreFleet(HistoryRepo& repo, const std::vector<LinkReading>& readings,
                    const std::function<std::time_t()>& now) {
    FleetRun run;
    Store store(repo, now, run);
    for (const LinkReading& reading : readings)
        store.Link(reading);
    // Files an earlier run stored but could not commit (a full disk, a killed run) compare as
    // unchanged now: they are recorded with this commit rather than never.
    std::vector<std::string> pending;
    std::string error;
    if (!repo.Uncommitted(pending, error))
        run.failure = error;
    for (const std::string& path : pending)
        if (std::find(run.paths.begin(), run.paths.end(), path) == run.paths.end()) {
            run.paths.push_back(path);
            run.carried.push_back(path);
        }
    if (run.paths.empty())
        return run;
    run.message = FleetCommitMessage(run);
    if (!repo.Commit(run.paths, run.message, run.commit, error))
        run.failure = error;
    return run;
}

std::string FleetCommitMessage(const FleetRun& run) {
    std::vector<const InstrumentChange*> changed;
    for (const InstrumentChange& c : run.instruments)
        if (c.kind == Kind::Changed || c.kind == Kind::New || c.kind == Kind::Replaced ||
            c.kind == Kind::Gone || c.otherNew || !c.otherGone.empty())
            changed.push_back(&c);
    const auto state = [](const InstrumentChange& c) -> std::string {
        switch (c.kind) {
        case Kind::Changed:
            return c.rows.size() == 1 ? "1 row changed"
                                      : std::to_string(c.rows.size()) + " rows changed";
        case Kind::New:
            return "new";
        case Kind::Replaced:
            return "replaced: serial number " + c.oldSerial + " before";
        case Kind::Gone:
            return "gone: no answer, its last set-up stays in the history";
        case Kind::Unreadable:
            return "unreadable: " + c.problem +
                   (c.serial.empty() ? std::string() : "; its stored set-up kept");
        case Kind::NotKel7:
            return c.OtherText();
        default:
            return c.otherGone.empty() ? std::string()
                                       : c.otherGone + " at " + std::to_string(c.address) + " gone";
        }
    };
    std::string subject;
    if (changed.size() <= 3) {
        for (const InstrumentChange* c : changed) {
            if (!subject.empty())
                subject += "; ";
            const std::string s = state(*c);
            subject += c->Name() + ": " + s.substr(0, s.find(':'));
        }
    } else {
        subject = std::to_string(changed.size()) +
                  " set-ups: " + std::to_string(run.Count(Kind::Changed)) + " changed, " +
                  std::to_string(run.Count(Kind::New)) + " new, " +
                  std::to_string(run.Count(Kind::Replaced)) + " replaced, " +
                  std::to_string(run.Count(Kind::Gone)) + " gone";
    }
    std::string body;
    for (const InstrumentChange& c : run.instruments)
        if ((c.kind != Kind::Unchanged && c.kind != Kind::Silent && c.kind != Kind::NotKel7) ||
            c.otherNew || !c.otherGone.empty()) {
            body += c.Name() + ": " + state(c) + "\n";
            if (!c.otherGone.empty() && c.kind != Kind::Silent && c.kind != Kind::Unchanged &&
                !c.otherNew)
                body +=
                    c.Name() + ": " + c.otherGone + " at " + std::to_string(c.address) + " gone\n";
        }
    for (const std::string& link : run.failedLinks)
        body += "link " + link + "\n";
    std::string rows;
    for (const InstrumentChange* c : changed)
        for (const DiffLine& row : c->rows)
            rows += c->Name() + ": " + row.label + " " + row.left + " \u2192 " + row.right + "\n";
    for (const std::string& path : run.carried)
        body += path + ": stored by an earlier run that could not commit it\n";
    if (subject.empty())
        subject = "Set-ups stored by an earlier run";
    std::string message = subject + "\n\n" + body;
    if (!rows.empty())
        message += "\n" + rows;
    // The count as a trailer, so that the history's list need not compare every stored set-up
    // with the one before (a file an earlier run stored was never compared: no count then).
    if (run.carried.empty()) {
        size_t count = 0;
        for (const InstrumentChange* c : changed)
            count += c->rows.size();
        message += "\n" + std::string(kRowsTrailer) + std::to_string(count) + "\n";
    }
    return message;
}

// ----- Reading the history -----------------------------------------------------------------------

bool ParseInstrumentKey(const std::string& key, std::string& link, int& address) {
    const size_t slash = key.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    const std::string number = key.substr(slash + 1);
    if (number.empty() || number.size() > 3 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    address = std::stoi(number);
    link = key.substr(0, slash);
    return address >= 1 && address <= 247;
}

bool IsInstrumentFile(const std::string& path, const std::string& link, int address) {
    std::string l;
    int a = 0;
    return InstrumentOf(path, l, a) && l == link && a == address;
}

// The row count a fleet commit's message carries, -1 when it has none (another program's commit,
// or one of files an earlier run stored).
int RowsTrailer(const std::string& message) {
    const size_t at = message.rfind(std::string("\n") + kRowsTrailer);
    if (at == std::string::npos)
        return -1;
    const size_t start = at + 1 + std::strlen(kRowsTrailer);
    const size_t end = message.find('\n', start);
    const std::string number = message.substr(start, end == std::string::npos ? end : end - start);
    if (number.empty() || number.size() > 6 ||
        number.find_first_not_of("0123456789") != std::string::npos ||
        (end != std::string::npos && message.find_first_not_of("\n", end) != std::string::npos))
        return -1;
    return std::stoi(number);
}

// An instrument's changed rows as a fleet commit with its count lists them ("Hall B / 2
// (226-0274): Activity 03: Fine value: 0.0 kg \u2192 25.0 kg"); -1 without the count, when the
// list may be incomplete.
int RowsListed(const std::string& message, const std::string& link, int address) {
    if (RowsTrailer(message) < 0)
        return -1;
    // A link name holds no "/": the prefix names one instrument only.
    const std::string prefix = "\n" + link + " / " + std::to_string(address) + " (";
    int rows = 0;
    for (size_t at = message.find(prefix); at != std::string::npos;
         at = message.find(prefix, at + 1)) {
        const size_t end = message.find('\n', at + 1);
        if (message.substr(at, end - at).find(" \u2192 ") != std::string::npos)
            ++rows;
    }
    return rows;
}

bool InstrumentVersions(const HistoryRepo& repo, const std::string& link, int address,
                        std::vector<HistoryVersion>& versions, std::string& error, bool countRows) {
    versions.clear();
    std::vector<HistoryCommit> commits;
    if (!repo.Log([&](const std::string& p) { return IsInstrumentFile(p, link, address); }, commits,
                  error, link))
        return false;
    // Walking from the oldest, each version's set-up is loaded once and compared with the one
    // before, unless the fleet's commit lists its rows.
    std::shared_ptr<const SetupFileImage> before;
    std::string beforeBlob; // not loaded yet while before is empty
    bool stored = false;    // a version before this one holds a set-up
    versions.reserve(commits.size());
    for (auto it = commits.rbegin(); it != commits.rend(); ++it) {
        HistoryVersion v;
        v.commit = it->id;
        v.time = it->time;
        v.subject = it->subject;
        std::string blob;
        for (const HistoryChange& change : it->changes)
            if (change.hasNew) {
                v.path = change.path;
                blob = change.newBlob;
            }
        v.removed = v.path.empty();
        v.first = !stored && !v.removed;
        stored = !v.removed;
        if (countRows && !v.removed) {
            const int listed = v.first ? -1 : RowsListed(it->message, link, address);
            if (v.first || listed >= 0) {
                v.rows = v.first ? 0 : listed;
                before.reset();
            } else {
                if (!before && !beforeBlob.empty())
                    before = LoadBlob(repo, beforeBlob);
                std::shared_ptr<const SetupFileImage> now = LoadBlob(repo, blob);
                v.rows = RowsBetween(before.get(), now.get());
                before = std::move(now);
            }
            beforeBlob = blob;
        }
        versions.push_back(std::move(v));
    }
    std::reverse(versions.begin(), versions.end());
    return true;
}

bool HistoryCommits(const HistoryRepo& repo, std::vector<HistoryVersion>& versions,
                    std::string& error) {
    versions.clear();
    std::vector<HistoryCommit> commits;
    if (!repo.Log(nullptr, commits, error))
        return false;
    // Newest first, the old side of a commit is the new side of the next one: the set-ups loaded
    // as old sides are kept for it, and each stored file is loaded once.
    std::map<std::string, std::shared_ptr<const SetupFileImage>> loaded, next;
    const auto image = [&](const std::string& blob) {
        auto it = loaded.find(blob);
        std::shared_ptr<const SetupFileImage> found =
            it != loaded.end() ? it->second : LoadBlob(repo, blob);
        return found;
    };
    for (const HistoryCommit& commit : commits) {
        HistoryVersion v;
        v.commit = commit.id;
        v.time = commit.time;
        v.subject = commit.subject;
        if (const int rows = RowsTrailer(commit.message); rows >= 0) {
            v.rows = rows;
            loaded.clear();
            versions.push_back(v);
            continue;
        }
        // An instrument's old and new file in this commit (one name when it changed, two when
        // it was replaced) give its rows.
        std::map<std::pair<std::string, int>, std::pair<std::string, std::string>> sides;
        for (const HistoryChange& change : commit.changes) {
            std::string link;
            int address = 0;
            if (!InstrumentOf(change.path, link, address))
                continue;
            auto& [oldBlob, newBlob] = sides[{link, address}];
            if (change.hadOld)
                oldBlob = change.oldBlob;
            if (change.hasNew)
                newBlob = change.newBlob;
        }
        next.clear();
        for (const auto& [key, blobs] : sides) {
            if (blobs.first.empty() || blobs.second.empty())
                continue;
            const auto before = image(blobs.first);
            const auto after = image(blobs.second);
            next[blobs.first] = before;
            v.rows += std::max(0, RowsBetween(before.get(), after.get()));
        }
        loaded.swap(next);
        versions.push_back(v);
    }
    return true;
}

bool HistoryInstruments(const HistoryRepo& repo, std::vector<std::string>& keys,
                        std::string& error) {
    keys.clear();
    if (!repo.HasCommits())
        return true;
    std::vector<std::string> links;
    if (!repo.ListFolder("HEAD", "", links, error))
        return false;
    std::vector<std::pair<std::string, int>> found;
    for (const std::string& link : links) {
        std::vector<std::string> names;
        if (!repo.ListFolder("HEAD", link, names, error))
            return false;
        for (const std::string& name : names) {
            int address = 0;
            std::string serial;
            if (ParseStoredName(name, address, serial))
                found.emplace_back(link, address);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    for (const auto& [link, address] : found)
        keys.push_back(link + "/" + std::to_string(address));
    return true;
}

bool HistoryGoneInstruments(const HistoryRepo& repo, std::vector<GoneInstrument>& gone,
                            std::string& error) {
    gone.clear();
    std::vector<std::string> now;
    std::vector<HistoryCommit> commits;
    if (!HistoryInstruments(repo, now, error) || !repo.Log(
                                                     [](const std::string& p) {
                                                         std::string link;
                                                         int address = 0;
                                                         return InstrumentOf(p, link, address);
                                                     },
                                                     commits, error))
        return false;
    // Newest first: an instrument's first commit met is its last change, its removal when it is
    // gone.
    std::map<std::pair<std::string, int>, std::time_t> last;
    for (const HistoryCommit& commit : commits)
        for (const HistoryChange& change : commit.changes) {
            std::string link;
            int address = 0;
            InstrumentOf(change.path, link, address);
            last.emplace(std::make_pair(link, address), commit.time);
        }
    for (const auto& [key, time] : last) {
        const std::string name = key.first + "/" + std::to_string(key.second);
        if (std::find(now.begin(), now.end(), name) == now.end())
            gone.push_back({name, time});
    }
    return true;
}

namespace {

// A stored version's text in a new temporary file (the set-up file reader takes a path); path is
// set as soon as the file exists, so that the caller removes it whatever happens after.
bool WriteTemporary(const std::string& text, std::string& path, std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarnex-version-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        error = "cannot make a temporary file";
        return false;
    }
    path = pattern;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written)
        error = "cannot write a temporary file";
    return written;
}

} // namespace

bool LoadImageText(const std::string& text, SetupFileImage& image, std::string& error) {
    std::string path;
    QuietPrompter quiet;
    const bool written = WriteTemporary(text, path, error);
    const bool ok = written && LoadSetupFileImage(path, image, quiet) == SetupFileStatus::kOk;
    if (written && !ok)
        error = quiet.Take();
    if (!path.empty())
        std::remove(path.c_str());
    return ok;
}

namespace {

// DIR:LINK/ADDRESS@REV into its parts.
bool SplitStoredVersion(const std::string& operand, std::string& dir, std::string& link,
                        int& address, std::string& rev) {
    std::string head = operand;
    rev.clear();
    const size_t at = operand.rfind('@');
    const size_t colon = operand.substr(0, at).rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    if (at != std::string::npos) {
        rev = operand.substr(at + 1);
        head = operand.substr(0, at);
        if (rev.empty())
            return false;
    }
    dir = head.substr(0, colon);
    return ParseInstrumentKey(head.substr(colon + 1), link, address);
}

// "2026-12-07" (the end of that day) or "2026-12-07 14:30" in local time.
bool ParseDate(const std::string& text, std::time_t& when) {
    std::tm tm{};
    const char* end = strptime(text.c_str(), "%Y-%m-%d", &tm);
    if (!end)
        return false;
    if (*end == '\0') {
        tm.tm_hour = 23, tm.tm_min = 59, tm.tm_sec = 59;
    } else {
        const char* rest = strptime(end, " %H:%M", &tm);
        if (!rest)
            rest = strptime(end, "T%H:%M", &tm);
        if (!rest)
            return false;
        if (*rest == ':')
            rest = strptime(rest, ":%S", &tm);
        if (!rest || *rest != '\0')
            return false;
    }
    tm.tm_isdst = -1;
    when = std::mktime(&tm);
    return when != -1;
}

} // namespace

bool IsStoredVersion(const std::string& operand) {
    std::string dir, link, rev;
    int address = 0;
    std::error_code ec;
    if (fs::exists(operand, ec))
        return false;
    return SplitStoredVersion(operand, dir, link, address, rev) &&
           fs::exists(fs::path(dir) / ".git", ec);
}

bool PickVersion(const HistoryRepo& repo, const std::vector<HistoryVersion>& versions,
                 const std::string& rev, HistoryVersion& picked, std::string& error) {
    if (versions.empty()) {
        error = "the history holds no version of it";
        return false;
    }
    const HistoryVersion* found = nullptr;
    std::time_t when = 0;
    if (rev.empty()) {
        // The latest set-up: of a gone instrument, the one it had when it went.
        for (const HistoryVersion& v : versions)
            if (!v.removed) {
                found = &v;
                break;
            }
        if (!found) {
            error = "the history holds no set-up of it";
            return false;
        }
    } else if (rev[0] == '~') {
        const std::string n = rev.substr(1);
        if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos) {
            error = "bad version " + rev + " (~N: N versions before the latest)";
            return false;
        }
        const size_t back = static_cast<size_t>(std::stoi(n));
        if (back >= versions.size()) {
            error = "there are only " + std::to_string(versions.size()) + " versions (~0 to ~" +
                    std::to_string(versions.size() - 1) + ")";
            return false;
        }
        found = &versions[back];
    } else if (ParseDate(rev, when)) {
        for (const HistoryVersion& v : versions)
            if (v.time <= when) {
                found = &v;
                break;
            }
        if (!found) {
            error = "no version as early as " + rev + " (the first is from " +
                    LocalTime(versions.back().time, "%Y-%m-%d %H:%M") + ")";
            return false;
        }
    } else {
        std::string id;
        if (!repo.Resolve(rev, id, error))
            return false;
        // The version in force at that commit: the newest one that is not younger. Commit times
        // of one history only grow, as one machine makes them.
        for (const HistoryVersion& v : versions)
            if (v.commit == id) {
                found = &v;
                break;
            }
        if (!found) {
            std::vector<HistoryCommit> all;
            if (!repo.Log(nullptr, all, error))
                return false;
            for (const HistoryCommit& c : all)
                if (c.id == id)
                    when = c.time;
            for (const HistoryVersion& v : versions)
                if (v.time <= when) {
                    found = &v;
                    break;
                }
        }
        if (!found) {
            error = "no version at " + rev;
            return false;
        }
    }
    if (found->removed) {
        // Its last set-up is the version after the removal, newest first.
        const size_t at = static_cast<size_t>(found - versions.data());
        error = "the instrument was gone in that version (" + found->commit.substr(0, 12) +
                ", gone on " + LocalTime(found->time, "%Y-%m-%d") + ")" +
                (at + 1 < versions.size() ? "; its last set-up is ~" + std::to_string(at + 1)
                                          : std::string());
        return false;
    }
    picked = *found;
    return true;
}

bool ReadStoredVersion(const std::string& operand, std::string& text, std::string& version,
                       std::string& error) {
    std::string dir, link, rev;
    int address = 0;
    if (!SplitStoredVersion(operand, dir, link, address, rev)) {
        error = operand + " is no stored version (DIR:LINK/ADDRESS@REV)";
        return false;
    }
    HistoryRepo repo;
    std::vector<HistoryVersion> versions;
    HistoryVersion picked;
    if (!repo.Open(dir, false, error) ||
        !InstrumentVersions(repo, link, address, versions, error, false))
        return false;
    if (!PickVersion(repo, versions, rev, picked, error)) {
        error = link + "/" + std::to_string(address) + ": " + error;
        return false;
    }
    version = picked.commit;
    return repo.ReadFile(picked.commit, picked.path, text, error);
}

StoredVersionFile::~StoredVersionFile() {
    if (!path_.empty())
        std::remove(path_.c_str());
}

bool StoredVersionFile::Make(const std::string& operand, std::string& error) {
    std::string text, version;
    if (!ReadStoredVersion(operand, text, version, error))
        return false;
    return WriteTemporary(text, path_, error);
}

} // namespace quarnex
