#pragma once

#include "platform/Prompter.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarnex {

// A thin layer over one open file: what the set-up files and the upgrade image reader need. Every
// operation that the operating system refuses shows the system's text for the failure
// (strerror(errno)) in an error box at owner and returns false; nothing is thrown. The file is
// closed when the object goes away (quietly: a caller that wants to hear about a failed close
// calls Close itself).
class FileAccess {
public:
    enum class Origin { Start, Current };
    enum class CopyResult { Copied, NoSource, Failed };

    FileAccess() = default;
    ~FileAccess();
    FileAccess(const FileAccess&) = delete;
    FileAccess& operator=(const FileAccess&) = delete;

    // Opens a file that exists: read access, or read and write when readOnly is false.
    bool OpenExisting(const std::string& path, bool readOnly, Prompter& owner);
    // Creates a file for reading and writing; an existing file of that name is truncated.
    bool Create(const std::string& path, Prompter& owner);
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to size bytes from the current position; got is 0 only at the end of the file.
    bool Read(void* buffer, size_t size, size_t& got, Prompter& owner);
    // Moves the position by offset from the start or from the current position.
    bool Seek(int64_t offset, Origin origin, Prompter& owner);
    // Writes all size bytes at the current position.
    bool Write(const void* data, size_t size, Prompter& owner);
    // Closes the file. A file that was written is flushed to the disk first, so that a full disk
    // or a lost network share shows up here and not as a silently short file later.
    bool Close(Prompter& owner);

    // Copies the file from to the file to (replacing it). A missing source is not an error and
    // shows nothing (NoSource); any other failure shows the system's text (Failed).
    static CopyResult CopyFile(const std::string& from, const std::string& to, Prompter& owner);

private:
    bool Fail(Prompter& owner);

    int fd_ = -1;
    bool written_ = false;
};

} // namespace quarnex
