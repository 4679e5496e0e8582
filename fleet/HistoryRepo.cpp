#include "fleet/HistoryRepo.h"

#include <git2.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace quarnex {

namespace {

// libgit2's objects freed by their own functions when they go out of scope.
template <class T, void (*Free)(T*)> struct Freer {
    void operator()(T* p) const { Free(p); }
};
template <class T, void (*Free)(T*)> using Owned = std::unique_ptr<T, Freer<T, Free>>;
using CommitPtr = Owned<git_commit, git_commit_free>;
using Tree = Owned<git_tree, git_tree_free>;
using Index = Owned<git_index, git_index_free>;
using Signature = Owned<git_signature, git_signature_free>;
using Reference = Owned<git_reference, git_reference_free>;
using Remote = Owned<git_remote, git_remote_free>;
using Revwalk = Owned<git_revwalk, git_revwalk_free>;
using Diff = Owned<git_diff, git_diff_free>;
using Blob = Owned<git_blob, git_blob_free>;
using TreeEntry = Owned<git_tree_entry, git_tree_entry_free>;
using Object = Owned<git_object, git_object_free>;

// libgit2's own reason for the last failure, after what was being done.
bool Failed(const std::string& what, std::string& error) {
    const git_error* e = git_error_last();
    error = what + ": " + (e && e->message ? e->message : "unknown error");
    return false;
}

std::string IdText(const git_oid& oid) {
    char text[GIT_OID_HEXSZ + 1];
    git_oid_tostr(text, sizeof text, &oid);
    return text;
}

bool LookupCommit(git_repository* repo, const std::string& id, CommitPtr& commit,
                  std::string& error) {
    git_object* object = nullptr;
    if (git_revparse_single(&object, repo, id.c_str()) != 0)
        return Failed("no commit " + id + " in the history", error);
    Object owned(object);
    git_object* peeled = nullptr;
    if (git_object_peel(&peeled, object, GIT_OBJECT_COMMIT) != 0)
        return Failed(id + " is no commit", error);
    commit.reset(reinterpret_cast<git_commit*>(peeled));
    return true;
}

// The tree of a commit ("" for HEAD).
bool CommitTree(git_repository* repo, const std::string& id, Tree& tree, std::string& error) {
    CommitPtr commit;
    if (!LookupCommit(repo, id.empty() ? "HEAD" : id, commit, error))
        return false;
    git_tree* raw = nullptr;
    if (git_commit_tree(&raw, commit.get()) != 0)
        return Failed("cannot read commit " + id, error);
    tree.reset(raw);
    return true;
}

// The author of the history's commits: git's own configuration where it has one, else the
// program on this machine.
Signature Author(git_repository* repo) {
    git_signature* sig = nullptr;
    if (git_signature_default(&sig, repo) == 0)
        return Signature(sig);
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    git_signature_now(&sig, "quarnex-fleet", (std::string("quarnex-fleet@") + host).c_str());
    return Signature(sig);
}

} // namespace

HistoryRepo::HistoryRepo() {
    git_libgit2_init();
}

HistoryRepo::~HistoryRepo() {
    if (lock_ >= 0)
        ::close(lock_); // releases the lock
    git_repository_free(repo_);
    git_libgit2_shutdown();
}

bool HistoryRepo::Open(const std::string& dir, bool create, std::string& error) {
    namespace fs = std::filesystem;
    git_repository_free(repo_);
    repo_ = nullptr;
    dir_ = dir;
    std::error_code ec;
    if (fs::exists(fs::path(dir) / ".git", ec)) {
        if (git_repository_open(&repo_, dir.c_str()) != 0)
            return Failed("cannot open the history " + dir, error);
        return true;
    }
    if (!create) {
        error = dir + " is no history (no git repository there)";
        return false;
    }
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec)) {
        error = dir + " holds files but no git repository: a history starts in a new or empty "
                      "folder";
        return false;
    }
    // libgit2's own initialisers: its *_INIT macros leave fields unnamed, which compilers warn of.
    git_repository_init_options options;
    git_repository_init_options_init(&options, GIT_REPOSITORY_INIT_OPTIONS_VERSION);
    options.flags = GIT_REPOSITORY_INIT_MKPATH;
    options.initial_head = "main";
    if (git_repository_init_ext(&repo_, dir.c_str(), &options) != 0)
        return Failed("cannot make the history " + dir, error);
    return true;
}

bool HistoryRepo::LockForWriting(std::string& error) {
    if (lock_ >= 0)
        return true;
    const std::string path = (std::filesystem::path(dir_) / ".git" / "quarnex-fleet.lock").string();
    lock_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (lock_ < 0) {
        error = "cannot lock the history " + dir_ + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
        error = "another fleet backup is writing the history " + dir_ + " now";
        ::close(lock_);
        lock_ = -1;
        return false;
    }
    return true;
}

bool HistoryRepo::HasCommits() const {
    git_oid head;
    return repo_ && git_reference_name_to_id(&head, repo_, "HEAD") == 0;
}

bool HistoryRepo::Commit(const std::vector<std::string>& paths, const std::string& message,
                         std::string& id, std::string& error) {
    namespace fs = std::filesystem;
    git_index* rawIndex = nullptr;
    if (git_repository_index(&rawIndex, repo_) != 0)
        return Failed("cannot read the history's index", error);
    Index index(rawIndex);
    for (const std::string& path : paths) {
        std::error_code ec;
        const bool present = fs::exists(fs::path(dir_) / path, ec);
        const int rc = present ? git_index_add_bypath(index.get(), path.c_str())
                               : git_index_remove_bypath(index.get(), path.c_str());
        if (rc != 0)
            return Failed("cannot record " + path, error);
    }
    git_oid treeId, commitId;
    if (git_index_write(index.get()) != 0 || git_index_write_tree(&treeId, index.get()) != 0)
        return Failed("cannot write the history's index", error);
    git_tree* rawTree = nullptr;
    if (git_tree_lookup(&rawTree, repo_, &treeId) != 0)
        return Failed("cannot read the new tree", error);
    Tree tree(rawTree);
    CommitPtr parent;
    git_oid headId;
    if (git_reference_name_to_id(&headId, repo_, "HEAD") == 0) {
        git_commit* rawParent = nullptr;
        if (git_commit_lookup(&rawParent, repo_, &headId) != 0)
            return Failed("cannot read the last commit", error);
        parent.reset(rawParent);
    }
    const Signature author = Author(repo_);
    if (!author)
        return Failed("cannot make the commit's author", error);
    const git_commit* parents[] = {parent.get()};
    if (git_commit_create(&commitId, repo_, "HEAD", author.get(), author.get(), "UTF-8",
                          message.c_str(), tree.get(), parent ? 1 : 0, parents) != 0)
        return Failed("cannot commit", error);
    id = IdText(commitId);
    return true;
}

bool HistoryRepo::Uncommitted(std::vector<std::string>& paths, std::string& error) const {
    paths.clear();
    git_status_options options;
    git_status_options_init(&options, GIT_STATUS_OPTIONS_VERSION);
    options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
    options.flags = GIT_STATUS_OPT_INCLUDE_UNTRACKED | GIT_STATUS_OPT_RECURSE_UNTRACKED_DIRS;
    git_status_list* raw = nullptr;
    if (git_status_list_new(&raw, repo_, &options) != 0)
        return Failed("cannot read the state of the history's files", error);
    const Owned<git_status_list, git_status_list_free> list(raw);
    for (size_t i = 0; i < git_status_list_entrycount(list.get()); ++i) {
        const git_status_entry* e = git_status_byindex(list.get(), i);
        const git_diff_delta* d = e->index_to_workdir ? e->index_to_workdir : e->head_to_index;
        if (!d)
            continue;
        const char* path = d->new_file.path ? d->new_file.path : d->old_file.path;
        const std::string name = path ? path : "";
        if (name.find('/') != std::string::npos && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".kel") == 0)
            paths.push_back(name);
    }
    return true;
}

bool HistoryRepo::Push(const std::string& remoteName, std::string& error) {
    git_remote* raw = nullptr;
    if (git_remote_lookup(&raw, repo_, remoteName.c_str()) != 0 &&
        git_remote_create_anonymous(&raw, repo_, remoteName.c_str()) != 0)
        return Failed("no remote " + remoteName, error);
    Remote remote(raw);
    git_reference* rawHead = nullptr;
    if (git_repository_head(&rawHead, repo_) != 0)
        return Failed("nothing to push", error);
    Reference head(rawHead);
    // The branch is pushed to the remote's branch of the same name:
    // "refs/heads/main:refs/heads/main".
    const std::string branch = git_reference_name(head.get());
    std::string mapping = branch + ":" + branch;
    char* mappings[] = {mapping.data()};
    const git_strarray refspecs = {mappings, 1};
    git_push_options options;
    git_push_options_init(&options, GIT_PUSH_OPTIONS_VERSION);
    if (git_remote_push(remote.get(), &refspecs, &options) != 0)
        return Failed("push to " + remoteName + " failed", error);
    return true;
}

bool HistoryRepo::Log(const std::function<bool(const std::string&)>& keep,
                      std::vector<HistoryCommit>& commits, std::string& error) const {
    commits.clear();
    if (!HasCommits())
        return true;
    git_revwalk* rawWalk = nullptr;
    if (git_revwalk_new(&rawWalk, repo_) != 0)
        return Failed("cannot read the history", error);
    Revwalk walk(rawWalk);
    git_revwalk_sorting(walk.get(), GIT_SORT_TIME);
    if (git_revwalk_push_head(walk.get()) != 0)
        return Failed("cannot read the history", error);
    git_oid oid;
    while (git_revwalk_next(&oid, walk.get()) == 0) {
        git_commit* rawCommit = nullptr;
        if (git_commit_lookup(&rawCommit, repo_, &oid) != 0)
            return Failed("cannot read commit " + IdText(oid), error);
        const CommitPtr commit(rawCommit);
        git_tree *rawTree = nullptr, *rawParentTree = nullptr;
        if (git_commit_tree(&rawTree, commit.get()) != 0)
            return Failed("cannot read commit " + IdText(oid), error);
        const Tree tree(rawTree);
        Tree parentTree;
        if (git_commit_parentcount(commit.get()) > 0) {
            git_commit* rawParent = nullptr;
            if (git_commit_parent(&rawParent, commit.get(), 0) != 0 ||
                git_commit_tree(&rawParentTree, rawParent) != 0) {
                git_commit_free(rawParent);
                return Failed("cannot read the parent of " + IdText(oid), error);
            }
            git_commit_free(rawParent);
            parentTree.reset(rawParentTree);
        }
        git_diff* rawDiff = nullptr;
        if (git_diff_tree_to_tree(&rawDiff, repo_, parentTree.get(), tree.get(), nullptr) != 0)
            return Failed("cannot compare commit " + IdText(oid), error);
        const Diff diff(rawDiff);
        HistoryCommit entry;
        for (size_t i = 0; i < git_diff_num_deltas(diff.get()); ++i) {
            const git_diff_delta* d = git_diff_get_delta(diff.get(), i);
            HistoryChange change;
            change.hadOld = d->status != GIT_DELTA_ADDED;
            change.hasNew = d->status != GIT_DELTA_DELETED;
            change.path = change.hasNew ? d->new_file.path : d->old_file.path;
            if (!keep || keep(change.path))
                entry.changes.push_back(change);
        }
        if (keep && entry.changes.empty())
            continue;
        entry.id = IdText(oid);
        entry.time = static_cast<std::time_t>(git_commit_time(commit.get()));
        const char* summary = git_commit_summary(commit.get());
        entry.subject = summary ? summary : "";
        commits.push_back(std::move(entry));
    }
    return true;
}

bool HistoryRepo::ReadFile(const std::string& commitId, const std::string& path,
                           std::string& content, std::string& error) const {
    error.clear();
    Tree tree;
    if (!CommitTree(repo_, commitId, tree, error))
        return false;
    git_tree_entry* rawEntry = nullptr;
    if (git_tree_entry_bypath(&rawEntry, tree.get(), path.c_str()) != 0)
        return false;
    const TreeEntry entry(rawEntry);
    git_blob* rawBlob = nullptr;
    if (git_blob_lookup(&rawBlob, repo_, git_tree_entry_id(entry.get())) != 0)
        return Failed("cannot read " + path, error);
    const Blob blob(rawBlob);
    content.assign(static_cast<const char*>(git_blob_rawcontent(blob.get())),
                   static_cast<size_t>(git_blob_rawsize(blob.get())));
    return true;
}

bool HistoryRepo::ListFolder(const std::string& commitId, const std::string& folder,
                             std::vector<std::string>& names, std::string& error) const {
    names.clear();
    Tree tree;
    if (!CommitTree(repo_, commitId, tree, error))
        return false;
    if (!folder.empty()) {
        git_tree_entry* rawEntry = nullptr;
        if (git_tree_entry_bypath(&rawEntry, tree.get(), folder.c_str()) != 0)
            return true;
        const TreeEntry entry(rawEntry);
        if (git_tree_entry_type(entry.get()) != GIT_OBJECT_TREE)
            return true;
        git_tree* sub = nullptr;
        if (git_tree_lookup(&sub, repo_, git_tree_entry_id(entry.get())) != 0)
            return Failed("cannot read " + folder, error);
        tree.reset(sub);
    }
    for (size_t i = 0; i < git_tree_entrycount(tree.get()); ++i)
        names.push_back(git_tree_entry_name(git_tree_entry_byindex(tree.get(), i)));
    return true;
}

bool HistoryRepo::Resolve(const std::string& rev, std::string& id, std::string& error) const {
    CommitPtr commit;
    if (!LookupCommit(repo_, rev, commit, error))
        return false;
    id = IdText(*git_commit_id(commit.get()));
    return true;
}

} // namespace quarnex
