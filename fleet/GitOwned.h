#pragma once

// libgit2's objects freed by their own functions when they go out of scope, and its last error
// as a message. Only for the history's own sources.

#include <git2.h>

#include <memory>
#include <string>

namespace quarnex::git {

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
inline bool Failed(const std::string& what, std::string& error) {
    const git_error* e = git_error_last();
    error = what + ": " + (e && e->message ? e->message : "unknown error");
    return false;
}

inline std::string IdText(const git_oid& oid) {
    char text[GIT_OID_HEXSZ + 1];
    git_oid_tostr(text, sizeof text, &oid);
    return text;
}

} // namespace quarnex::git
