#include "cli/CliFleet.h"

#include "cli/CliSignals.h"
#include "cli/CliTerminal.h"
#include "files/SetupListing.h"
#include "fleet/FleetConfig.h"
#include "fleet/FleetHistory.h"
#include "fleet/FleetWorker.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <ostream>

namespace quarnex {

namespace {

constexpr int kExitChanged = 1; // fleet backup: changes were committed

std::string LocalTime(std::time_t t) {
    char text[32];
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

int RunCheck(const std::string& path, Terminal& terminal) {
    const FleetConfig config = ReadFleetFile(path);
    for (const std::string& problem : config.problems)
        terminal.Message(VisibleEscapes(path + ":" + problem));
    if (!config.Usable())
        return kExitFailed;
    for (const FleetLink& link : config.links) {
        std::string where = link.device;
        if (link.kind == LinkKind::Serial)
            where += ", " + std::to_string(link.baud) + " baud, parity " + link.parity;
        terminal.Out() << "link " << VisibleEscapes(link.name) << ": " << where << ", "
                       << (link.search ? std::string("search 1-247")
                                       : std::to_string(link.addresses.size()) + " addresses")
                       << '\n';
    }
    terminal.Out() << path << ": " << config.links.size() << " links, no problems\n";
    return kExitDone;
}

std::string KindText(const InstrumentChange& c) {
    using Kind = InstrumentChange::Kind;
    switch (c.kind) {
    case Kind::Unchanged:
        return "unchanged";
    case Kind::Changed:
        return "changed, " + std::to_string(c.rows.size()) +
               (c.rows.size() == 1 ? " row" : " rows");
    case Kind::New:
        return "new";
    case Kind::Replaced:
        return "replaced (serial number " + c.oldSerial + " before)";
    case Kind::Gone:
        return "gone (no answer; its file removed, kept in the history)";
    case Kind::Unreadable:
        return "FAILED: " + c.problem;
    case Kind::Silent:
        return "no answer";
    case Kind::NotKel7:
        return c.OtherText() + ": no set-up file";
    }
    return {};
}

int RunBackup(const FleetCommand& c, Terminal& terminal) {
    const std::string& path = c.words[2];
    const FleetConfig config = ReadFleetFile(path);
    for (const std::string& problem : config.problems)
        terminal.Message(VisibleEscapes(path + ":" + problem));
    if (!config.Usable())
        return kExitFailed;
    HistoryRepo repo;
    std::string error;
    if (!repo.Open(c.history, true, error) || !repo.LockForWriting(error)) {
        terminal.Message("quarnex-cli: " + error);
        return kExitFailed;
    }
    for (const std::string& note : repo.Notes())
        terminal.Message("quarnex-cli: " + note);
    const int jobs = c.jobs > 0 ? c.jobs : kDefaultFleetJobs;
    terminal.Message("reading " + std::to_string(config.links.size()) + " links (" +
                     std::to_string(std::min<size_t>(jobs, config.links.size())) +
                     " at once) into the history " + c.history);
    const std::vector<LinkReading> readings = ReadFleet(
        config.links, c.retries, [] { return StopRequested(); }, jobs);
    if (StopRequested()) {
        terminal.Message("quarnex-cli: stopped; nothing was stored");
        return kExitFailed;
    }
    FleetRun run = StoreFleet(repo, readings, [] { return std::time(nullptr); });
    std::ostream& out = terminal.Out();
    for (const LinkReading& reading : readings) {
        std::string failed;
        for (const std::string& link : run.failedLinks)
            if (link.rfind(reading.link + ": ", 0) == 0)
                failed = link.substr(reading.link.size() + 2);
        out << "link " << VisibleEscapes(reading.link) << ": "
            << (reading.opened ? std::to_string(reading.instruments.size()) + " addresses, " +
                                     Seconds(reading.seconds)
                               : std::string())
            << (failed.empty() ? ""
                               : (reading.opened ? "; " : "") + std::string("FAILED: ") +
                                     VisibleEscapes(failed))
            << '\n';
        for (const InstrumentChange& change : run.instruments)
            if (change.link == reading.link)
                out << "  " << VisibleEscapes(change.Name()) << ": " << KindText(change) << '\n';
    }
    // The options win over the fleet file's [history] section, each on its own.
    const std::string remote = c.push.empty() ? config.history.push : c.push;
    PushCredentials credentials = c.credentials;
    if (credentials.sshKey.empty())
        credentials.sshKey = config.history.sshKey;
    if (credentials.knownHosts.empty())
        credentials.knownHosts = config.history.knownHosts;
    if (credentials.tokenFile.empty())
        credentials.tokenFile = config.history.tokenFile;
    // Every run compares the remote with the history, so what an earlier run could not push goes
    // now, and a remote that stays behind fails every run until it has caught up.
    if (!remote.empty() && repo.HasCommits()) {
        PushOutcome pushed;
        const int made = run.commit.empty() ? 0 : 1;
        if (!repo.Push(remote, credentials, pushed, error)) {
            const std::string lacks =
                std::to_string(pushed.missing) + (pushed.missing == 1 ? " commit" : " commits");
            run.failure = (run.failure.empty() ? "" : run.failure + "; ") + error +
                          "; the remote lacks " + lacks +
                          (pushed.counted ? "" : " as far as the last contact showed");
        } else if (pushed.pushed > 0) {
            out << "pushed to " << VisibleEscapes(remote) << '\n';
            if (const int earlier = pushed.pushed - made; earlier > 0)
                out << "pushed " << earlier << (earlier == 1 ? " commit" : " commits")
                    << " that an earlier run could not push\n";
        }
    }
    if (!run.failure.empty())
        terminal.Message("quarnex-cli: " + VisibleEscapes(run.failure));
    out << VisibleEscapes(run.Summary(config.links.size())) << '\n';
    out.flush();
    const int code = run.ExitCode();
    return code == 3 ? kExitFailed : code == 1 ? kExitChanged : kExitDone;
}

int RunHistory(const FleetCommand& c, Terminal& terminal) {
    HistoryRepo repo;
    std::string error;
    if (!repo.Open(c.words[1], false, error)) {
        terminal.Message("quarnex-cli: " + error);
        return kExitFailed;
    }
    std::vector<HistoryVersion> versions;
    std::ostream& out = terminal.Out();
    if (c.words.size() == 2) {
        if (!HistoryCommits(repo, versions, error)) {
            terminal.Message("quarnex-cli: " + error);
            return kExitFailed;
        }
        for (const HistoryVersion& v : versions)
            out << LocalTime(v.time) << "  " << v.commit.substr(0, 12) << "  " << v.rows
                << (v.rows == 1 ? " row   " : " rows  ") << VisibleEscapes(v.subject) << '\n';
        std::vector<std::string> keys;
        if (HistoryInstruments(repo, keys, error))
            out << versions.size() << " commits, " << keys.size() << " instruments stored\n";
        return kExitDone;
    }
    std::string link;
    int address = 0;
    ParseInstrumentKey(c.words[2], link, address);
    if (!InstrumentVersions(repo, link, address, versions, error)) {
        terminal.Message("quarnex-cli: " + error);
        return kExitFailed;
    }
    if (versions.empty()) {
        terminal.Message("quarnex-cli: " + c.words[1] + " holds no set-up of " + c.words[2]);
        return kExitFailed;
    }
    for (size_t i = 0; i < versions.size(); ++i) {
        const HistoryVersion& v = versions[i];
        std::string what = v.removed ? "gone"
                           : v.first ? "first version"
                                     : std::to_string(v.rows) + (v.rows == 1 ? " row" : " rows");
        out << "~" << i << "  " << LocalTime(v.time) << "  " << v.commit.substr(0, 12) << "  "
            << what;
        if (!v.path.empty())
            out << "  " << VisibleEscapes(v.path);
        out << '\n';
    }
    return kExitDone;
}

} // namespace

bool IsFleetCommand(const std::string& word) {
    return word == "fleet" || word == "history";
}

std::string CheckFleetCommand(const FleetCommand& c) {
    const std::vector<std::string>& w = c.words;
    if (w[0] == "history") {
        std::string link;
        int address = 0;
        if (w.size() < 2 || w.size() > 3)
            return "usage: history DIR [LINK/ADDRESS]";
        if (w.size() == 3 && !ParseInstrumentKey(w[2], link, address))
            return "bad instrument '" + w[2] + "' (LINK/ADDRESS, such as \"Hall B/3\")";
        if (!c.history.empty() || !c.push.empty())
            return std::string(c.push.empty() ? "--history" : "--push") + " is for fleet backup";
        return {};
    }
    if (w.size() == 3 && w[1] == "check") {
        if (!c.history.empty() || !c.push.empty())
            return std::string(c.push.empty() ? "--history" : "--push") + " is for fleet backup";
        return {};
    }
    if (w.size() == 3 && w[1] == "backup") {
        if (c.history.empty())
            return "fleet backup needs --history DIR (the folder of the plant's history)";
        return {};
    }
    return "usage: fleet check FILE | fleet backup FILE --history DIR [--push REMOTE] [--jobs N]";
}

int RunFleetCommand(const FleetCommand& c, Terminal& terminal) {
    if (c.words[0] == "history")
        return RunHistory(c, terminal);
    if (c.words[1] == "check")
        return RunCheck(c.words[2], terminal);
    return RunBackup(c, terminal);
}

} // namespace quarnex
