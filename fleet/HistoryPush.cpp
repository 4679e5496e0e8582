// The push of the history to a central repository: authentication (an ssh key file, the
// ssh-agent, an https token), the ssh server's host key checked against a known_hosts file, the
// server's answer for every reference, and what the remote still lacks.

#include "fleet/GitOwned.h"
#include "fleet/HistoryRepo.h"

#include <libssh2.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {

using namespace git;

namespace {

// What one push learnt along the way; the callbacks' payload.
struct PushSession {
    explicit PushSession(const PushCredentials& c) : credentials(c) {}
    const PushCredentials& credentials;
    std::string host; // ssh: the server as the URL names it, and its port
    int port = 22;
    int keyTries = 0, agentTries = 0, tokenTries = 0;
    std::string problem;                  // why a callback gave up (it says more than libgit2)
    std::vector<std::string> remoteLines; // what the server said ("remote: ...")
    std::vector<std::string> refused;     // "refs/heads/main: pre-receive hook declined"
};

// Text from the server without control characters (a hostile server must not drive the terminal).
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text)
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return out;
}

std::string CurrentUser() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return pw->pw_name;
    return "root";
}

// ssh://[USER@]HOST[:PORT]/PATH or the short USER@HOST:PATH: the host and port; false for
// other URLs (https, git, a path).
bool SshAddress(const std::string& url, std::string& host, int& port) {
    port = 22;
    std::string rest;
    if (url.rfind("ssh://", 0) == 0 || url.rfind("git+ssh://", 0) == 0) {
        rest = url.substr(url.find("://") + 3);
        rest = rest.substr(0, rest.find('/'));
        rest = rest.substr(rest.find('@') + 1);
        if (!rest.empty() && rest[0] == '[') { // [::1]:2222
            const size_t close = rest.find(']');
            host = rest.substr(1, close - 1);
            rest = close == std::string::npos ? "" : rest.substr(close + 1);
            if (rest.size() > 1 && rest[0] == ':')
                port = std::atoi(rest.c_str() + 1);
            return true;
        }
        const size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string::npos)
            port = std::atoi(rest.c_str() + colon + 1);
        return true;
    }
    if (url.find("://") != std::string::npos || url.empty() || url[0] == '/')
        return false;
    const size_t colon = url.find(':');
    const size_t slash = url.find('/');
    if (colon == std::string::npos || (slash != std::string::npos && slash < colon))
        return false;
    host = url.substr(0, colon);
    host = host.substr(host.find('@') + 1);
    return true;
}

std::string Base64(const unsigned char* data, size_t size) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < size; i += 3) {
        unsigned v = data[i] << 16;
        if (i + 1 < size)
            v |= data[i + 1] << 8;
        if (i + 2 < size)
            v |= data[i + 2];
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        if (i + 1 < size)
            out += digits[(v >> 6) & 63];
        if (i + 2 < size)
            out += digits[v & 63];
    }
    return out; // ssh prints its SHA256 fingerprints without padding
}

int KnownHostKeyType(git_cert_ssh_raw_type_t type) {
    switch (type) {
    case GIT_CERT_SSH_RAW_TYPE_RSA:
        return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case GIT_CERT_SSH_RAW_TYPE_DSS:
        return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    case GIT_CERT_SSH_RAW_TYPE_KEY_ECDSA_256:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case GIT_CERT_SSH_RAW_TYPE_KEY_ECDSA_384:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case GIT_CERT_SSH_RAW_TYPE_KEY_ECDSA_521:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    case GIT_CERT_SSH_RAW_TYPE_KEY_ED25519:
        return LIBSSH2_KNOWNHOST_KEY_ED25519;
    default:
        return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
}

// The ssh server's host key must be in the known_hosts file: an unknown or changed key is
// refused, never taken on trust (a push would hand the plant's history, and with an agent a key,
// to whoever answers). TLS certificates are left to libgit2 and the system's authorities.
int CheckHostKey(git_cert* cert, int /*valid*/, const char* host, void* payload) {
    auto& s = *static_cast<PushSession*>(payload);
    if (cert->cert_type != GIT_CERT_HOSTKEY_LIBSSH2)
        return GIT_PASSTHROUGH;
    const auto* key = reinterpret_cast<const git_cert_hostkey*>(cert);
    std::string file = s.credentials.knownHosts;
    if (file.empty()) {
        const char* home = std::getenv("HOME");
        file = std::string(home && *home ? home : "/root") + "/.ssh/known_hosts";
    }
    const std::string name = s.host.empty() ? std::string(host ? host : "?") : s.host;
    const std::string where = s.port == 22 ? name : "[" + name + "]:" + std::to_string(s.port);
    const std::string fingerprint =
        key->type & GIT_CERT_SSH_SHA256 ? "SHA256:" + Base64(key->hash_sha256, 32) : "";
    if (!(key->type & GIT_CERT_SSH_RAW)) {
        s.problem = "the ssh server " + where + " sent no host key to check";
        return GIT_ECERTIFICATE;
    }
    if (::access(file.c_str(), R_OK) != 0) {
        s.problem = "cannot check the host key of " + where + " (" + fingerprint +
                    "): cannot read the known hosts " + file + ": " + std::strerror(errno) +
                    " (give --known-hosts FILE)";
        return GIT_ECERTIFICATE;
    }
    LIBSSH2_SESSION* session = libssh2_session_init();
    LIBSSH2_KNOWNHOSTS* hosts = session ? libssh2_knownhost_init(session) : nullptr;
    int check = LIBSSH2_KNOWNHOST_CHECK_FAILURE;
    const bool read = hosts && libssh2_knownhost_readfile(hosts, file.c_str(),
                                                          LIBSSH2_KNOWNHOST_FILE_OPENSSH) >= 0;
    if (read)
        check =
            libssh2_knownhost_checkp(hosts, name.c_str(), s.port, key->hostkey, key->hostkey_len,
                                     LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW |
                                         KnownHostKeyType(key->raw_type),
                                     nullptr);
    if (hosts)
        libssh2_knownhost_free(hosts);
    if (session)
        libssh2_session_free(session);
    switch (check) {
    case LIBSSH2_KNOWNHOST_CHECK_MATCH:
        return 0;
    case LIBSSH2_KNOWNHOST_CHECK_MISMATCH:
        s.problem = "the host key of " + where + " (" + fingerprint + ") is not the one " + file +
                    " holds for it: refused (a server that was replaced, or someone in between)";
        break;
    case LIBSSH2_KNOWNHOST_CHECK_NOTFOUND:
        s.problem = "the host key of " + where + " (" + fingerprint + ") is unknown to " + file +
                    ": refused. Compare it with the server's own (ssh-keygen -lf on its host "
                    "key) and add it to that file";
        break;
    default:
        s.problem = read ? "cannot check the host key of " + where + " against " + file
                         : "cannot read the known hosts " + file + " (not in OpenSSH's format)";
    }
    return GIT_ECERTIFICATE;
}

bool ReadToken(const std::string& file, std::string& token, std::string& problem) {
    struct stat st {};
    std::ifstream in(file);
    if (!in || ::stat(file.c_str(), &st) != 0) {
        problem = "cannot read the token file " + file + ": " + std::strerror(errno);
        return false;
    }
    std::getline(in, token);
    while (!token.empty() && (token.back() == '\r' || token.back() == ' '))
        token.pop_back();
    if (token.empty()) {
        problem = "the token file " + file + " holds no token on its first line";
        return false;
    }
    return true;
}

// A secret every user of the machine can read is no secret: refused as ssh refuses it.
bool PrivateEnough(const std::string& file, const char* what, std::string& problem) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || ::access(file.c_str(), R_OK) != 0) {
        problem = std::string("cannot read the ") + what + " " + file + ": " + std::strerror(errno);
        return false;
    }
    if (st.st_mode & S_IROTH) {
        problem = std::string("the ") + what + " " + file +
                  " can be read by every user of this machine: refused (chmod o-r it)";
        return false;
    }
    return true;
}

// libgit2 asks again after each refused credential: every kind is offered once.
int Credentials(git_credential** out, const char* /*url*/, const char* urlUser,
                unsigned int allowed, void* payload) {
    auto& s = *static_cast<PushSession*>(payload);
    const PushCredentials& c = s.credentials;
    std::string user = urlUser && *urlUser ? urlUser : "";
    if (allowed & GIT_CREDENTIAL_SSH_KEY) {
        if (user.empty())
            user = CurrentUser();
        if (!c.sshKey.empty()) {
            if (s.keyTries++ > 0) {
                s.problem = "the ssh server refused the key " + c.sshKey + " for user " + user;
                return GIT_EAUTH;
            }
            if (!PrivateEnough(c.sshKey, "ssh key", s.problem))
                return GIT_EAUTH;
            return git_credential_ssh_key_new(out, user.c_str(), nullptr, c.sshKey.c_str(), "");
        }
        const char* agent = std::getenv("SSH_AUTH_SOCK");
        if (agent && *agent && s.agentTries++ == 0)
            return git_credential_ssh_key_from_agent(out, user.c_str());
        s.problem = agent && *agent
                        ? "the ssh server refused every key of the ssh-agent for user " + user
                        : "the ssh server asks for a key: give --ssh-key FILE (or "
                          "ssh-key= in [history]), or run an ssh-agent";
        return GIT_EAUTH;
    }
    if (allowed & GIT_CREDENTIAL_USERNAME)
        return git_credential_username_new(out, (user.empty() ? CurrentUser() : user).c_str());
    if (allowed & GIT_CREDENTIAL_USERPASS_PLAINTEXT) {
        if (c.tokenFile.empty()) {
            s.problem = "the server asks for a user and a token: give --token-file FILE (or "
                        "token-file= in [history])";
            return GIT_EAUTH;
        }
        if (user.empty()) {
            s.problem = "name the user in the remote's URL (https://USER@HOST/...): the token file "
                        "holds the token only";
            return GIT_EAUTH;
        }
        if (s.tokenTries++ > 0) {
            s.problem = "the server refused user " + user + " with the token of " + c.tokenFile;
            return GIT_EAUTH;
        }
        std::string token;
        if (!PrivateEnough(c.tokenFile, "token file", s.problem) ||
            !ReadToken(c.tokenFile, token, s.problem))
            return GIT_EAUTH;
        return git_credential_userpass_plaintext_new(out, user.c_str(), token.c_str());
    }
    s.problem = "the server asks for a kind of authentication this program does not offer";
    return GIT_EAUTH;
}

int ServerText(const char* text, int length, void* payload) {
    auto& s = *static_cast<PushSession*>(payload);
    std::string all(text, static_cast<size_t>(std::max(0, length)));
    size_t start = 0;
    while (start < all.size()) {
        const size_t end = all.find_first_of("\r\n", start);
        const std::string line = all.substr(start, end - start);
        start = end == std::string::npos ? all.size() : end + 1;
        // Progress counters say nothing about why a push failed.
        if (line.empty() || line.find("Resolving deltas") == 0 || line.find("Counting") == 0 ||
            line.find("Compressing") == 0 || line.find("Writing") == 0 || line.find("Total") == 0)
            continue;
        if (s.remoteLines.size() < 20)
            s.remoteLines.push_back(Printable(line));
    }
    return 0;
}

int ReferenceStatus(const char* reference, const char* status, void* payload) {
    auto& s = *static_cast<PushSession*>(payload);
    if (status) // null: the server took it
        s.refused.push_back(Printable(std::string(reference) + ": " + status));
    return 0;
}

// A reference that remembers where the remote's branch was at the last contact, so that a run
// that cannot reach the remote still says how much it lacks. One per remote URL.
std::string KnownTipName(const std::string& url) {
    git_oid oid;
    git_odb_hash(&oid, url.data(), url.size(), GIT_OBJECT_BLOB);
    return "refs/quarnex/pushed/" + IdText(oid);
}

// Commits reachable from tip but not from base (null: all of them).
int CountAhead(git_repository* repo, const git_oid& tip, const git_oid* base) {
    git_revwalk* raw = nullptr;
    if (git_revwalk_new(&raw, repo) != 0)
        return 0;
    const Revwalk walk(raw);
    git_revwalk_push(walk.get(), &tip);
    if (base)
        git_revwalk_hide(walk.get(), base);
    int count = 0;
    git_oid oid;
    while (git_revwalk_next(&oid, walk.get()) == 0)
        ++count;
    return count;
}

} // namespace

bool HistoryRepo::Push(const std::string& remoteName, const PushCredentials& credentials,
                       PushOutcome& outcome, std::string& error) {
    outcome = {};
    git_remote* raw = nullptr;
    if (git_remote_lookup(&raw, repo_, remoteName.c_str()) != 0 &&
        git_remote_create_anonymous(&raw, repo_, remoteName.c_str()) != 0)
        return Failed("no remote " + remoteName, error);
    const Remote remote(raw);
    git_reference* rawHead = nullptr;
    if (git_repository_head(&rawHead, repo_) != 0)
        return Failed("nothing to push", error);
    const Reference head(rawHead);
    const std::string branch = git_reference_name(head.get());
    const git_oid local = *git_reference_target(head.get());
    const std::string url = git_remote_url(remote.get()) ? git_remote_url(remote.get()) : "";
    const std::string known = KnownTipName(url);

    PushSession s(credentials);
    SshAddress(url, s.host, s.port);
    git_remote_callbacks callbacks;
    git_remote_init_callbacks(&callbacks, GIT_REMOTE_CALLBACKS_VERSION);
    callbacks.credentials = Credentials;
    callbacks.certificate_check = CheckHostKey;
    callbacks.sideband_progress = ServerText;
    callbacks.push_update_reference = ReferenceStatus;
    callbacks.payload = &s;

    // Until the remote says where its branch is: what it lacked at the last contact.
    git_oid remembered;
    const bool haveRemembered = git_reference_name_to_id(&remembered, repo_, known.c_str()) == 0;
    outcome.missing = CountAhead(repo_, local, haveRemembered ? &remembered : nullptr);
    const std::string what = "push to " + remoteName;
    const auto fail = [&](const std::string& how) {
        std::string said;
        for (const std::string& line : s.remoteLines)
            said += (said.empty() ? " (the server: " : "; ") + line;
        if (!said.empty())
            said += ")";
        if (!s.problem.empty())
            error = what + " failed: " + s.problem + said;
        else if (!s.refused.empty())
            error = what + " refused by the server: " + s.refused.front() + said;
        else
            Failed(what + " " + how, error), error += said;
        git_remote_disconnect(remote.get());
        return false;
    };
    if (git_remote_connect(remote.get(), GIT_DIRECTION_PUSH, &callbacks, nullptr, nullptr) != 0)
        return fail("failed");
    const git_remote_head** heads = nullptr;
    size_t count = 0;
    if (git_remote_ls(&heads, &count, remote.get()) != 0)
        return fail("failed");
    const git_remote_head* there = nullptr;
    for (size_t i = 0; i < count; ++i)
        if (branch == heads[i]->name)
            there = heads[i];
    if (there) {
        git_commit* found = nullptr;
        if (git_commit_lookup(&found, repo_, &there->oid) == 0) {
            git_commit_free(found);
            outcome.missing = CountAhead(repo_, local, &there->oid);
            outcome.counted = true;
            git_reference* rawKnown = nullptr;
            if (git_reference_create(&rawKnown, repo_, known.c_str(), &there->oid, 1,
                                     "quarnex: the remote's branch") == 0)
                git_reference_free(rawKnown);
        } else {
            s.problem = "the remote's " + branch + " holds commits this history does not have (" +
                        IdText(there->oid).substr(0, 12) +
                        "): another history was pushed there; not overwritten";
            return fail("failed");
        }
    } else {
        outcome.missing = CountAhead(repo_, local, nullptr);
        outcome.counted = true;
    }
    if (outcome.missing == 0) {
        git_remote_disconnect(remote.get());
        return true;
    }
    // The branch goes to the remote's branch of the same name: "refs/heads/main:refs/heads/main".
    std::string mapping = branch + ":" + branch;
    char* mappings[] = {mapping.data()};
    const git_strarray refspecs = {mappings, 1};
    git_push_options options;
    git_push_options_init(&options, GIT_PUSH_OPTIONS_VERSION);
    options.callbacks = callbacks;
    if (git_remote_upload(remote.get(), &refspecs, &options) != 0 || !s.refused.empty())
        return fail("failed");
    git_remote_disconnect(remote.get());
    outcome.pushed = outcome.missing;
    outcome.missing = 0;
    git_reference* rawKnown = nullptr;
    if (git_reference_create(&rawKnown, repo_, known.c_str(), &local, 1, "quarnex: pushed") == 0)
        git_reference_free(rawKnown);
    return true;
}

} // namespace quarnex
