#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

struct git_repository;

namespace quarnex {

// A file one commit changed: added (no old side), changed, or deleted (no new side).
struct HistoryChange {
    std::string path;
    bool hadOld = false;
    bool hasNew = false;
    std::string oldBlob, newBlob; // the contents' ids, for ReadBlob
};

// One commit of the history, with the files it changed.
struct HistoryCommit {
    std::string id; // 40 hex digits
    std::time_t time = 0;
    std::string subject; // the first line of its message
    std::string message; // the whole message
    std::vector<HistoryChange> changes;
};

// How a push proves who it is and checks whom it talks to (libgit2's credential and host-key
// callbacks). Every field may be empty.
struct PushCredentials {
    std::string sshKey;     // ssh: a private key file; empty: the ssh-agent's keys when one runs
    std::string knownHosts; // ssh: the server's host keys; empty: ~/.ssh/known_hosts
    std::string tokenFile;  // https: a file holding the token; the user is the URL's
};

// What a push did, in commits of the pushed branch.
struct PushOutcome {
    int pushed = 0;  // the remote lacked them and has them now
    int missing = 0; // the push failed: what the remote still lacks (as far as this history knows)
    bool counted = false; // missing was counted against the remote's own branch, not a memory
};

// The plant's history: an ordinary git repository (libgit2) whose work tree holds one set-up
// file per instrument. Commits are made on the current branch ("main" in a repository made
// here); a person reads them with git log -p, a central repository gathers them by push.
class HistoryRepo {
public:
    HistoryRepo();
    ~HistoryRepo();
    HistoryRepo(const HistoryRepo&) = delete;
    HistoryRepo& operator=(const HistoryRepo&) = delete;

    // Opens dir as a history; with create, makes the folder and the repository when they are not
    // there yet. A folder that is not a repository is refused unless it is empty.
    bool Open(const std::string& dir, bool create, std::string& error);
    const std::string& Dir() const { return dir_; }
    bool HasCommits() const;
    // Keeps other writers out until this object goes (or the process ends): two fleet runs on
    // one history would commit each other's files under the wrong message. False with the reason
    // when another one holds it.
    // Under that lock a git lock file (index.lock, refs/heads/main.lock) older than the lock
    // is what a killed run left: it is removed, which Notes() then says.
    bool LockForWriting(std::string& error);
    const std::vector<std::string>& Notes() const { return notes_; }

    // Records the work tree's state of paths (relative to Dir(); a path no longer in the work tree
    // is recorded as deleted) in one commit with message. id receives the new commit.
    bool Commit(const std::vector<std::string>& paths, const std::string& message, std::string& id,
                std::string& error);
    // The set-up files (LINK/*.kel, and the LINK/*.other of other models) of the work tree that
    // differ from the last commit (changed, added or removed): what an earlier run stored but could
    // not commit.
    bool Uncommitted(std::vector<std::string>& paths, std::string& error) const;
    // Brings remote's branch of the current branch's name up to the local one: a remote's name,
    // or a URL or path of a repository. Whatever the remote lacks is pushed, also commits of
    // earlier runs whose push failed; nothing goes when it lacks nothing. Every reference's
    // status the server returns is checked: a refusal (a hook, a protected branch) is a failure
    // with the server's own words.
    bool Push(const std::string& remote, const PushCredentials& credentials, PushOutcome& outcome,
              std::string& error);

    // The commits from the newest back that change a file for which keep(path) holds, with
    // those changes only; keep empty: every commit and every change. With folder, only the
    // files under it are compared (much less work in a history of many links).
    bool Log(const std::function<bool(const std::string&)>& keep,
             std::vector<HistoryCommit>& commits, std::string& error,
             const std::string& folder = {}) const;
    // A file's content by its id (HistoryChange's oldBlob, newBlob).
    bool ReadBlob(const std::string& id, std::string& content, std::string& error) const;
    // A file's content in a commit; false when it has no such file (error then says why, or is
    // empty when the file simply is not there).
    bool ReadFile(const std::string& commit, const std::string& path, std::string& content,
                  std::string& error) const;
    // The file names in folder (relative to Dir()) in a commit.
    bool ListFolder(const std::string& commit, const std::string& folder,
                    std::vector<std::string>& names, std::string& error) const;
    // A commit named by anything git names one with (an id or its start, HEAD~2, a branch).
    bool Resolve(const std::string& rev, std::string& id, std::string& error) const;

private:
    git_repository* repo_ = nullptr;
    std::string dir_;
    int lock_ = -1;
    std::vector<std::string> notes_;
};

} // namespace quarnex
