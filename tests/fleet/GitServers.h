#pragma once

// Real git servers on loopback for the push tests, each a child process ended with the test:
// git daemon, git http-backend behind a small web server with basic authentication, and sshd
// on a high port with a host key and a user key made for the test.

#include <filesystem>
#include <string>
#include <vector>

namespace quarnex::test {

// A child process, killed and reaped when this goes.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Stop(); }
    // Starts argv; with output, the child's stdout comes through a pipe ReadLine reads.
    bool Start(const std::vector<std::string>& argv, bool output, std::string& error);
    // One line of the child's stdout, waiting at most timeoutMs.
    bool ReadLine(std::string& line, int timeoutMs);
    void Stop();
    bool Running() const { return pid_ > 0; }

private:
    int pid_ = -1;
    int out_ = -1;
};

// A free TCP port on 127.0.0.1 (bound, then let go) for servers that cannot take port 0.
int FreePort();
// Waits until 127.0.0.1:port takes connections (generously bounded).
bool WaitForPort(int port, int timeoutMs = 30000);
// Waits until a file (a socket) is there (generously bounded).
bool WaitForFile(const std::filesystem::path& path, int timeoutMs = 30000);
// Runs a command line through sh; its exit status.
int Shell(const std::string& command);

// A bare repository at path, with a pre-receive hook that refuses every push with message when
// message is not empty.
bool MakeBareRepository(const std::filesystem::path& path, const std::string& refuseMessage);
// The branch's commit in a repository ("" when it has none).
std::string BranchTip(const std::filesystem::path& repository, const std::string& branch = "main");

// git daemon serving base (receive-pack enabled): git://127.0.0.1:PORT/NAME.git
class GitDaemon {
public:
    bool Start(const std::filesystem::path& base, std::string& error);
    std::string Url(const std::string& name) const;

private:
    Child child_;
    int port_ = 0;
};

// git http-backend for root behind a web server that asks user for token with basic
// authentication: http://USER@127.0.0.1:PORT/NAME.git
class GitHttp {
public:
    bool Start(const std::filesystem::path& root, const std::filesystem::path& work,
               const std::string& user, const std::string& token, std::string& error);
    std::string Url(const std::string& user, const std::string& name) const;

private:
    Child child_;
    int port_ = 0;
};

// sshd on a high port for the current user, keys made for the test in work: userKey() logs
// in, knownHosts() holds the server's host key. Available() is false (with why) without sshd.
class GitSsh {
public:
    static bool Available(std::string& why);
    bool Start(const std::filesystem::path& work, std::string& error);
    std::string Url(const std::filesystem::path& repository) const;
    std::filesystem::path UserKey() const { return work_ / "user_key"; }
    std::filesystem::path KnownHosts() const { return work_ / "known_hosts"; }

private:
    Child child_;
    std::filesystem::path work_;
    int port_ = 0;
};

} // namespace quarnex::test
