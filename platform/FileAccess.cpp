#include "platform/FileAccess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quarnex {

namespace {
// A temporary file's name: the file's own, the six letters mkostemps fills in, this suffix.
constexpr const char* kTemporarySuffix = ".part";
constexpr size_t kTemporaryLetters = 6;

// The folder a path names its file in.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

namespace {

void ShowSystemError(int error, Prompter& owner) {
    owner.Error(std::strerror(error));
}

// close() that is not retried after EINTR: on Linux the descriptor is gone either way.
int CloseDescriptor(int fd) {
    return ::close(fd);
}

FileAccess::PathKind KindOf(mode_t mode) {
    using Kind = FileAccess::PathKind;
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISFIFO(mode))
        return Kind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Kind::Device;
    if (S_ISLNK(mode))
        return Kind::SymbolicLink;
    return Kind::Special;
}

} // namespace

FileAccess::~FileAccess() {
    if (fd_ >= 0)
        CloseDescriptor(fd_);
}

bool FileAccess::Fail(Prompter& owner) {
    ShowSystemError(errno, owner);
    return false;
}

bool FileAccess::OpenExisting(const std::string& path, bool readOnly, Prompter& owner) {
    if (fd_ >= 0)
        Close(owner);
    int fd;
    do
        fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(owner);
    fd_ = fd;
    written_ = false;
    return true;
}

bool FileAccess::Create(const std::string& path, Prompter& owner) {
    if (fd_ >= 0)
        Close(owner);
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(owner);
    fd_ = fd;
    written_ = false;
    return true;
}

bool FileAccess::Read(void* buffer, size_t size, size_t& got, Prompter& owner) {
    got = 0;
    if (fd_ < 0) {
        errno = EBADF;
        return Fail(owner);
    }
    char* out = static_cast<char*>(buffer);
    while (got < size) {
        const ssize_t n = ::read(fd_, out + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(owner);
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool FileAccess::Seek(int64_t offset, Origin origin, Prompter& owner) {
    if (fd_ < 0) {
        errno = EBADF;
        return Fail(owner);
    }
    if (::lseek(fd_, static_cast<off_t>(offset), origin == Origin::Start ? SEEK_SET : SEEK_CUR) < 0)
        return Fail(owner);
    return true;
}

bool FileAccess::Write(const void* data, size_t size, Prompter& owner) {
    if (fd_ < 0) {
        errno = EBADF;
        return Fail(owner);
    }
    const char* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, in + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(owner);
        }
        done += static_cast<size_t>(n);
        written_ = true;
    }
    return true;
}

bool FileAccess::Close(Prompter& owner) {
    if (fd_ < 0)
        return true;
    const int fd = fd_;
    fd_ = -1;
    int error = 0;
    // A file system that cannot sync (a pipe, some special files) has nothing to lose here.
    if (written_ && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    if (CloseDescriptor(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    written_ = false;
    if (error != 0) {
        ShowSystemError(error, owner);
        return false;
    }
    return true;
}

FileAccess::CopyResult FileAccess::CopyFile(const std::string& from, const std::string& to,
                                            Prompter& owner, size_t maxBytes) {
    if (Inspect(from) == PathKind::Absent)
        return CopyResult::NoSource;
    std::string data;
    PathKind kind = PathKind::Unknown;
    switch (ReadWhole(from, maxBytes, data, kind, owner)) {
    case WholeResult::Ok:
        break;
    case WholeResult::Failed:
        return CopyResult::Failed;
    case WholeResult::NotRegular:
        owner.Error(from + ": " + PathKindText(kind));
        return CopyResult::Failed;
    case WholeResult::TooLarge:
        ShowSystemError(EFBIG, owner);
        return CopyResult::Failed;
    case WholeResult::InUse:
        ShowSystemError(EWOULDBLOCK, owner);
        return CopyResult::Failed;
    }
    struct stat st {};
    const unsigned mode = ::stat(from.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    return ReplaceFile(to, data, mode, owner) ? CopyResult::Copied : CopyResult::Failed;
}

FileAccess::PathKind FileAccess::Inspect(const std::string& path, int64_t* size, int* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (error)
            *error = errno;
        return errno == ENOENT ? PathKind::Absent : PathKind::Unknown;
    }
    if (size)
        *size = static_cast<int64_t>(st.st_size);
    return KindOf(st.st_mode);
}

std::string FileAccess::PathKindText(PathKind kind) {
    switch (kind) {
    case PathKind::Absent:
        return "no file";
    case PathKind::Regular:
        return "a regular file";
    case PathKind::Directory:
        return "a directory";
    case PathKind::Fifo:
        return "a named pipe (FIFO)";
    case PathKind::Device:
        return "a device";
    case PathKind::SymbolicLink:
        return "a symbolic link";
    case PathKind::Special:
        return "a special file";
    case PathKind::Unknown:
        break;
    }
    return "a file of unknown kind";
}

FileAccess::WholeResult FileAccess::ReadWhole(const std::string& path, size_t maxBytes,
                                              std::string& out, PathKind& kind, Prompter& owner) {
    out.clear();
    // Not blocking: opening a FIFO without a writer would wait for ever.
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        kind = errno == ENOENT ? PathKind::Absent : PathKind::Unknown;
        ShowSystemError(errno, owner);
        return WholeResult::Failed;
    }
    const auto done = [fd](WholeResult r) {
        CloseDescriptor(fd);
        return r;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        kind = PathKind::Unknown;
        ShowSystemError(errno, owner);
        return done(WholeResult::Failed);
    }
    kind = KindOf(st.st_mode);
    if (kind != PathKind::Regular)
        return done(WholeResult::NotRegular);
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxBytes)
        return done(WholeResult::TooLarge);
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return done(WholeResult::InUse);
        // A file system without locks still reads.
    }
    // One byte more than the size: a file that grew since is seen as too large, not cut off.
    out.resize(static_cast<size_t>(st.st_size) + 1);
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            out.clear();
            ShowSystemError(e, owner);
            return done(WholeResult::Failed);
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
        if (got > maxBytes) {
            out.clear();
            return done(WholeResult::TooLarge);
        }
        if (got == out.size() && got <= maxBytes)
            out.resize(std::min(maxBytes + 1, out.size() + 65536));
    }
    out.resize(got);
    return done(WholeResult::Ok);
}

bool FileAccess::ReplaceFile(const std::string& path, const std::string& data, unsigned mode,
                             Prompter& owner, bool flushFolder) {
    std::string temp;
    return WriteTemporary(path, data, mode, temp, owner) &&
           FinishTemporary(temp, path, true, owner, flushFolder);
}

bool FileAccess::WriteTemporary(const std::string& path, const std::string& data, unsigned mode,
                                std::string& temp, Prompter& owner) {
    temp = path + ".XXXXXX" + kTemporarySuffix;
    const int fd =
        ::mkostemps(temp.data(), static_cast<int>(std::strlen(kTemporarySuffix)), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        temp.clear();
        ShowSystemError(error, owner);
        return false;
    }
    int error = 0;
    size_t done = 0;
    while (done < data.size() && error == 0) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        else
            done += static_cast<size_t>(n);
    }
    if (error == 0 && ::fchmod(fd, static_cast<mode_t>(mode & 07777)) != 0)
        error = errno;
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    if (CloseDescriptor(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        temp.clear();
        ShowSystemError(error, owner);
        return false;
    }
    return true;
}

void FileAccess::RemoveLeftTemporaries(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = FolderOf(path);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
    const size_t suffix = std::strlen(kTemporarySuffix);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + kTemporaryLetters + suffix ||
            name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix, suffix, kTemporarySuffix) != 0 ||
            !std::all_of(name.begin() + static_cast<long>(prefix.size()),
                         name.end() - static_cast<long>(suffix),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        struct stat st {};
        const std::string full = folder + "/" + name;
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(full.c_str());
    }
    ::closedir(dir);
}

bool FileAccess::FinishTemporary(const std::string& temp, const std::string& path, bool commit,
                                 Prompter& owner, bool flushFolder, bool replace) {
    if (temp.empty())
        return !commit;
    if (!commit) {
        ::unlink(temp.c_str());
        return true;
    }
    if ((replace ? ::rename(temp.c_str(), path.c_str())
                 : ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE)) !=
        0) {
        const int error = errno;
        ::unlink(temp.c_str());
        ShowSystemError(error, owner);
        return false;
    }
    if (!flushFolder)
        return true;
    // The rename itself reaches the disk with the folder.
    const std::string folder = FolderOf(path);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        CloseDescriptor(dir);
    }
    return true;
}

namespace {

// The permission bits a file created now gets: 0666 less the umask, read without changing it
// (umask() would, for a moment, for every thread of the program).
unsigned CreationMode() {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (status) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return 0666 & ~mask;
}

// The lock of a file still to be created: an abstract socket address (nothing on the disk, gone
// with the program that bound it) named after the file's full path. -1 with errno set; EEXIST
// when another program holds it.
int LockNewFile(const std::string& path) {
    const size_t slash = path.rfind('/');
    char* folder = ::realpath(FolderOf(path).c_str(), nullptr);
    if (!folder)
        return -1;
    std::string full =
        std::string(folder) + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
    std::free(folder);
    uint64_t hash = 14695981039346656037ull; // FNV-1a: the address has room for 107 bytes
    for (unsigned char c : full)
        hash = (hash ^ c) * 1099511628211ull;
    char name[64];
    const int n = std::snprintf(name, sizeof name, "quarnex-new-file-%016llx-%zu",
                                static_cast<unsigned long long>(hash), full.size());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name, static_cast<size_t>(n)); // sun_path[0] = 0: abstract
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno == EADDRINUSE ? EEXIST : errno;
        CloseDescriptor(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

FileLock::Result FileLock::LockForWrite(const std::string& path, FileAccess::PathKind& kind,
                                        Prompter& owner) {
    Release();
    using Kind = FileAccess::PathKind;
    int error = 0;
    kind = FileAccess::Inspect(path, nullptr, &error);
    if (kind == Kind::Unknown) {
        ShowSystemError(error, owner);
        return Result::Failed;
    }
    if (kind == Kind::Absent) {
        // The folder must take the file, or the failure would come only when it is written.
        if (::access(FolderOf(path).c_str(), W_OK | X_OK) != 0) {
            ShowSystemError(errno, owner);
            return Result::Failed;
        }
        const int fd = LockNewFile(path);
        if (fd < 0) {
            if (errno == EEXIST)
                return Result::InUse;
            ShowSystemError(errno, owner);
            return Result::Failed;
        }
        fd_ = fd;
        existed_ = false;
        mode_ = CreationMode();
        return Result::Locked;
    }
    if (kind != Kind::Regular)
        return Result::NotRegular;
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ELOOP) {
            kind = Kind::SymbolicLink;
            return Result::NotRegular;
        }
        ShowSystemError(errno, owner);
        return Result::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || KindOf(st.st_mode) != Kind::Regular) {
        kind = KindOf(st.st_mode);
        CloseDescriptor(fd);
        return Result::NotRegular;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        CloseDescriptor(fd);
        return Result::InUse;
    }
    fd_ = fd;
    existed_ = true;
    mode_ = st.st_mode & 07777;
    return Result::Locked;
}

bool FileLock::ReadLocked(size_t maxBytes, std::string& out, Prompter& owner) const {
    out.clear();
    if (fd_ < 0 || !existed_) {
        ShowSystemError(EBADF, owner);
        return false;
    }
    out.resize(maxBytes + 1);
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            out.clear();
            ShowSystemError(error, owner);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    if (got > maxBytes) {
        out.clear();
        ShowSystemError(EFBIG, owner);
        return false;
    }
    out.resize(got);
    return true;
}

void FileLock::Release() {
    if (fd_ < 0)
        return;
    CloseDescriptor(fd_);
    fd_ = -1;
}

} // namespace quarnex
