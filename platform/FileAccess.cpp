#include "platform/FileAccess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quarnex {

namespace {

void ShowSystemError(int error, Prompter& owner) {
    owner.Error(std::strerror(error));
}

// close() that is not retried after EINTR: on Linux the descriptor is gone either way.
int CloseDescriptor(int fd) {
    return ::close(fd);
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
                                            Prompter& owner) {
    int in;
    do
        in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    while (in < 0 && errno == EINTR);
    if (in < 0) {
        if (errno == ENOENT)
            return CopyResult::NoSource;
        ShowSystemError(errno, owner);
        return CopyResult::Failed;
    }
    FileAccess out;
    if (!out.Create(to, owner)) {
        CloseDescriptor(in);
        return CopyResult::Failed;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            CloseDescriptor(in);
            ShowSystemError(error, owner);
            return CopyResult::Failed;
        }
        if (n == 0)
            break;
        if (!out.Write(buffer, static_cast<size_t>(n), owner)) {
            CloseDescriptor(in);
            return CopyResult::Failed;
        }
    }
    CloseDescriptor(in);
    return out.Close(owner) ? CopyResult::Copied : CopyResult::Failed;
}

} // namespace quarnex
