#include "GitServers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quarnex::test {

namespace fs = std::filesystem;

bool Child::Start(const std::vector<std::string>& argv, bool output, std::string& error) {
    int pipeFds[2] = {-1, -1};
    if (output && pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    pid_ = fork();
    if (pid_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (pid_ == 0) {
        setpgid(0, 0);
        if (output)
            dup2(pipeFds[1], 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (output) {
        close(pipeFds[1]);
        out_ = pipeFds[0];
    }
    return true;
}

bool Child::ReadLine(std::string& line, int timeoutMs) {
    line.clear();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char c = 0;
        if (read(out_, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

void Child::Stop() {
    if (pid_ > 0) {
        kill(-pid_, SIGTERM); // its own process group: the server and what it started
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        kill(-pid_, SIGKILL);
    }
    pid_ = -1;
    if (out_ >= 0)
        close(out_);
    out_ = -1;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool WaitForPort(int port, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // polling a condition
    }
    return false;
}

bool WaitForFile(const fs::path& path, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::error_code ec;
    while (!fs::exists(path, ec)) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // polling a condition
    }
    return true;
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

bool MakeBareRepository(const fs::path& path, const std::string& refuseMessage) {
    std::error_code ec;
    if (!fs::exists(path / "HEAD", ec) &&
        Shell("git init -q --bare -b main " + Quote(path.string())) != 0)
        return false;
    const fs::path hook = path / "hooks" / "pre-receive";
    if (refuseMessage.empty()) {
        fs::remove(hook, ec);
        return true;
    }
    std::ofstream(hook) << "#!/bin/sh\necho " << Quote(refuseMessage) << " >&2\nexit 1\n";
    fs::permissions(hook, fs::perms::owner_all);
    return true;
}

std::string BranchTip(const fs::path& repository, const std::string& branch) {
    const fs::path out = repository / "tip-of-test";
    Shell("git --git-dir=" + Quote(repository.string()) + " rev-parse -q --verify refs/heads/" +
          branch + " > " + Quote(out.string()) + " 2>/dev/null");
    std::string tip = ReadAll(out);
    std::error_code ec;
    fs::remove(out, ec);
    while (!tip.empty() && tip.back() == '\n')
        tip.pop_back();
    return tip;
}

bool GitDaemon::Start(const fs::path& base, std::string& error) {
    // git daemon cannot take port 0: a free one, tried again should another program take it first.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreePort();
        if (!child_.Start({"git", "daemon", "--reuseaddr", "--export-all", "--enable=receive-pack",
                           "--listen=127.0.0.1", "--port=" + std::to_string(port_),
                           "--base-path=" + base.string(), base.string()},
                          false, error))
            return false;
        if (WaitForPort(port_))
            return true;
        child_.Stop();
    }
    error = "git daemon did not start";
    return false;
}

std::string GitDaemon::Url(const std::string& name) const {
    return "git://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

// The web server: basic authentication in front of git http-backend as a CGI program.
static const char* kHttpServer = R"PY(
import base64, http.server, os, subprocess, sys
root, user, token = sys.argv[1], sys.argv[2], sys.argv[3]
expected = 'Basic ' + base64.b64encode((user + ':' + token).encode()).decode()

class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass
    def body(self):
        if self.headers.get('Transfer-Encoding', '').lower() == 'chunked':
            data = b''
            while True:
                size = int(self.rfile.readline().split(b';')[0], 16)
                if size == 0:
                    self.rfile.readline()
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get('Content-Length') or 0)
        return self.rfile.read(length) if length else b''
    def serve(self):
        data = self.body()
        if self.headers.get('Authorization') != expected:
            self.send_response(401)
            self.send_header('WWW-Authenticate', 'Basic realm="history"')
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        path, _, query = self.path.partition('?')
        env = dict(os.environ, GIT_PROJECT_ROOT=root, GIT_HTTP_EXPORT_ALL='1', PATH_INFO=path,
                   QUERY_STRING=query, REQUEST_METHOD=self.command, REMOTE_USER=user,
                   REMOTE_ADDR='127.0.0.1', CONTENT_LENGTH=str(len(data)),
                   CONTENT_TYPE=self.headers.get('Content-Type', ''),
                   HTTP_CONTENT_ENCODING=self.headers.get('Content-Encoding', ''),
                   GATEWAY_INTERFACE='CGI/1.1', SERVER_PROTOCOL='HTTP/1.1')
        out = subprocess.run(['git', 'http-backend'], input=data, env=env,
                             stdout=subprocess.PIPE).stdout
        head, _, rest = out.partition(b'\r\n\r\n')
        status, headers = 200, []
        for line in head.split(b'\r\n'):
            key, _, value = line.partition(b':')
            if key.lower() == b'status':
                status = int(value.split()[0])
            elif key:
                headers.append((key.decode(), value.strip().decode()))
        self.send_response(status)
        for key, value in headers:
            self.send_header(key, value)
        self.send_header('Content-Length', str(len(rest)))
        self.end_headers()
        self.wfile.write(rest)
    do_GET = do_POST = serve

server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)PY";

bool GitHttp::Start(const fs::path& root, const fs::path& work, const std::string& user,
                    const std::string& token, std::string& error) {
    const fs::path script = work / "git-http.py";
    std::ofstream(script) << kHttpServer;
    // Debian's Python: the one on the PATH may be another.
    if (!child_.Start({"/usr/bin/python3", script.string(), root.string(), user, token}, true,
                      error))
        return false;
    std::string line;
    if (!child_.ReadLine(line, 30000) || (port_ = std::atoi(line.c_str())) <= 0) {
        error = "the web server did not start";
        return false;
    }
    return WaitForPort(port_);
}

std::string GitHttp::Url(const std::string& user, const std::string& name) const {
    return "http://" + user + "@127.0.0.1:" + std::to_string(port_) + "/" + name;
}

bool GitSsh::Available(std::string& why) {
    if (access("/usr/sbin/sshd", X_OK) != 0) {
        why = "sshd is not installed (openssh-server; scripts/setup-packages.sh installs it)";
        return false;
    }
    if (access("/run/sshd", F_OK) != 0 && mkdir("/run/sshd", 0755) != 0) {
        why = "sshd needs /run/sshd, which cannot be made here";
        return false;
    }
    return true;
}

bool GitSsh::Start(const fs::path& work, std::string& error) {
    work_ = work;
    const std::string w = Quote(work.string());
    if (Shell("ssh-keygen -q -t ecdsa -m PEM -N '' -f " + w +
              "/host_key && ssh-keygen -q -t "
              "ecdsa -m PEM -N '' -f " +
              w + "/user_key && cp " + w + "/user_key.pub " + w + "/authorized_keys") != 0) {
        error = "ssh-keygen failed";
        return false;
    }
    fs::permissions(work / "user_key", fs::perms::owner_read | fs::perms::owner_write);
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreePort();
        std::ofstream(work / "sshd_config")
            << "Port " << port_ << "\nListenAddress 127.0.0.1\nHostKey "
            << (work / "host_key").string() << "\nAuthorizedKeysFile "
            << (work / "authorized_keys").string()
            << "\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
               "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
               "PermitRootLogin prohibit-password\nPidFile none\n";
        std::ofstream(work / "known_hosts")
            << "[127.0.0.1]:" << port_ << " " << ReadAll(work / "host_key.pub");
        if (!child_.Start({"/usr/sbin/sshd", "-D", "-e", "-f", (work / "sshd_config").string()},
                          false, error))
            return false;
        if (WaitForPort(port_))
            return true;
        child_.Stop();
    }
    error = "sshd did not start";
    return false;
}

std::string GitSsh::Url(const fs::path& repository) const {
    const passwd* pw = getpwuid(geteuid());
    return "ssh://" + std::string(pw ? pw->pw_name : "root") +
           "@127.0.0.1:" + std::to_string(port_) + repository.string();
}

} // namespace quarnex::test
