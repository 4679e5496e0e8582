#include "fleet/HistoryRepo.h"

#include "fleet/GitOwned.h"

#include <git2.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {

namespace {

using namespace git;

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
    // A service's history belongs to the service's user; its administrators (root, the quarnex
    // group) read it too. git refuses a repository of another owner because a hook or a filter
    // of it could run as the reader; this program runs neither (libgit2 runs no hooks, and no
    // filter but its built-in ones), so reading one is safe.
    git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
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
    // The lock's time is now: every git lock file older than it was left by a run that ended
    // without removing it (killed while git wrote the index or moved the branch), and it would
    // fail every later run.
    struct stat own {};
    futimens(lock_, nullptr);
    fstat(lock_, &own);
    namespace fs = std::filesystem;
    const fs::path git = fs::path(dir_) / ".git";
    std::error_code ec;
    std::vector<fs::path> stale;
    for (fs::recursive_directory_iterator it(git, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (it.depth() == 0 && p.filename() == "objects") {
            it.disable_recursion_pending(); // no lock files among the objects
            continue;
        }
        struct stat st {};
        if (p.extension() != ".lock" || p.filename() == "quarnex-fleet.lock" ||
            ::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (st.st_mtim.tv_sec < own.st_mtim.tv_sec ||
            (st.st_mtim.tv_sec == own.st_mtim.tv_sec && st.st_mtim.tv_nsec < own.st_mtim.tv_nsec))
            stale.push_back(p);
    }
    for (const fs::path& p : stale) {
        const std::string name = fs::relative(p, dir_, ec).string();
        if (fs::remove(p, ec))
            notes_.push_back("removed the stale git lock " + name +
                             " (left by a run that was stopped while git wrote it)");
        else
            notes_.push_back("cannot remove the stale git lock " + name + ": " + ec.message());
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
    // The commit is the last commit's tree with the fleet's files changed, built in an index of
    // its own: whatever a person staged in the repository's index stays staged, not committed.
    CommitPtr parent;
    git_oid headId;
    if (git_reference_name_to_id(&headId, repo_, "HEAD") == 0) {
        git_commit* rawParent = nullptr;
        if (git_commit_lookup(&rawParent, repo_, &headId) != 0)
            return Failed("cannot read the last commit", error);
        parent.reset(rawParent);
    }
    git_index* rawOwn = nullptr;
    if (git_index_new(&rawOwn) != 0)
        return Failed("cannot make an index", error);
    Index own(rawOwn);
    if (parent) {
        git_tree* rawTree = nullptr;
        if (git_commit_tree(&rawTree, parent.get()) != 0)
            return Failed("cannot read the last commit", error);
        const Tree last(rawTree);
        if (git_index_read_tree(own.get(), last.get()) != 0)
            return Failed("cannot read the last commit", error);
    }
    for (const std::string& path : paths) {
        std::error_code ec;
        const fs::path file = fs::path(dir_) / path;
        if (!fs::exists(file, ec)) {
            git_index_remove(own.get(), path.c_str(), 0);
            continue;
        }
        // The bytes as stored, no filter between: the file is the set-up.
        std::string content;
        {
            std::ifstream in(file, std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            if (!in) {
                error = "cannot read " + path + ": " + std::strerror(errno);
                return false;
            }
            content = s.str();
        }
        git_index_entry entry{};
        entry.mode = GIT_FILEMODE_BLOB;
        entry.path = path.c_str();
        if (git_blob_create_from_buffer(&entry.id, repo_, content.data(), content.size()) != 0 ||
            git_index_add(own.get(), &entry) != 0)
            return Failed("cannot record " + path, error);
    }
    git_oid treeId, commitId;
    if (git_index_write_tree_to(&treeId, own.get(), repo_) != 0)
        return Failed("cannot write the history's tree", error);
    git_tree* rawTree = nullptr;
    if (git_tree_lookup(&rawTree, repo_, &treeId) != 0)
        return Failed("cannot read the new tree", error);
    Tree tree(rawTree);
    const Signature author = Author(repo_);
    if (!author)
        return Failed("cannot make the commit's author", error);
    const git_commit* parents[] = {parent.get()};
    if (git_commit_create(&commitId, repo_, "HEAD", author.get(), author.get(), "UTF-8",
                          message.c_str(), tree.get(), parent ? 1 : 0, parents) != 0)
        return Failed("cannot commit", error);
    id = IdText(commitId);
    // The repository's index follows the commit for the fleet's files only, so that git status
    // shows them clean; the rest of it is the person's and stays as it was.
    git_index* rawIndex = nullptr;
    if (git_repository_index(&rawIndex, repo_) != 0)
        return Failed("committed, but cannot read the history's index", error);
    const Index index(rawIndex);
    git_index_read(index.get(), 0);
    for (const std::string& path : paths) {
        const git_index_entry* entry = git_index_get_bypath(own.get(), path.c_str(), 0);
        if (entry) {
            git_index_entry copy = *entry;
            // Times and size from the file, so that git sees it unmodified without reading it.
            struct stat st {};
            if (::stat((fs::path(dir_) / path).c_str(), &st) == 0) {
                copy.mtime.seconds = static_cast<int32_t>(st.st_mtim.tv_sec);
                copy.mtime.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
                copy.ctime.seconds = static_cast<int32_t>(st.st_ctim.tv_sec);
                copy.ctime.nanoseconds = static_cast<uint32_t>(st.st_ctim.tv_nsec);
                copy.file_size = static_cast<uint32_t>(st.st_size);
                copy.dev = static_cast<uint32_t>(st.st_dev);
                copy.ino = static_cast<uint32_t>(st.st_ino);
                copy.uid = st.st_uid;
                copy.gid = st.st_gid;
            }
            git_index_add(index.get(), &copy);
        } else {
            git_index_remove(index.get(), path.c_str(), 0);
        }
    }
    if (git_index_write(index.get()) != 0)
        return Failed("committed, but cannot write the history's index", error);
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
        const auto endsWith = [&](const std::string& end) {
            return name.size() > end.size() &&
                   name.compare(name.size() - end.size(), end.size(), end) == 0;
        };
        if (name.find('/') != std::string::npos && (endsWith(".kel") || endsWith(".other")))
            paths.push_back(name);
    }
    return true;
}

bool HistoryRepo::Log(const std::function<bool(const std::string&)>& keep,
                      std::vector<HistoryCommit>& commits, std::string& error,
                      const std::string& folder) const {
    commits.clear();
    if (!HasCommits())
        return true;
    git_revwalk* rawWalk = nullptr;
    if (git_revwalk_new(&rawWalk, repo_) != 0)
        return Failed("cannot read the history", error);
    Revwalk walk(rawWalk);
    git_revwalk_sorting(walk.get(), GIT_SORT_TIME);
    git_diff_options options;
    git_diff_options_init(&options, GIT_DIFF_OPTIONS_VERSION);
    std::string prefix = folder + "/";
    char* prefixes[] = {prefix.data()};
    options.pathspec = {prefixes, 1};
    options.flags |= GIT_DIFF_DISABLE_PATHSPEC_MATCH; // the folder's name as it is, no pattern
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
        if (git_diff_tree_to_tree(&rawDiff, repo_, parentTree.get(), tree.get(),
                                  folder.empty() ? nullptr : &options) != 0)
            return Failed("cannot compare commit " + IdText(oid), error);
        const Diff diff(rawDiff);
        HistoryCommit entry;
        for (size_t i = 0; i < git_diff_num_deltas(diff.get()); ++i) {
            const git_diff_delta* d = git_diff_get_delta(diff.get(), i);
            HistoryChange change;
            change.hadOld = d->status != GIT_DELTA_ADDED;
            change.hasNew = d->status != GIT_DELTA_DELETED;
            change.path = change.hasNew ? d->new_file.path : d->old_file.path;
            if (change.hadOld)
                change.oldBlob = IdText(d->old_file.id);
            if (change.hasNew)
                change.newBlob = IdText(d->new_file.id);
            if (!keep || keep(change.path))
                entry.changes.push_back(change);
        }
        if (keep && entry.changes.empty())
            continue;
        entry.id = IdText(oid);
        entry.time = static_cast<std::time_t>(git_commit_time(commit.get()));
        const char* summary = git_commit_summary(commit.get());
        entry.subject = summary ? summary : "";
        const char* message = git_commit_message(commit.get());
        entry.message = message ? message : "";
        commits.push_back(std::move(entry));
    }
    return true;
}

bool HistoryRepo::ReadBlob(const std::string& id, std::string& content, std::string& error) const {
    git_oid oid;
    git_blob* raw = nullptr;
    if (git_oid_fromstr(&oid, id.c_str()) != 0 || git_blob_lookup(&raw, repo_, &oid) != 0)
        return Failed("cannot read the stored file " + id.substr(0, 12), error);
    const Blob blob(raw);
    content.assign(static_cast<const char*>(git_blob_rawcontent(blob.get())),
                   static_cast<size_t>(git_blob_rawsize(blob.get())));
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
