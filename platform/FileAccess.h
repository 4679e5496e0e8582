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

    // Copies the regular file from, of at most maxBytes, to the file to. The copy is written to
    // a temporary file in to's folder and renamed over to once complete, so a failed copy leaves
    // the previous to as it was, and a link planted at to is replaced rather than followed. A
    // missing source is not an error and shows nothing (NoSource); any other failure shows the
    // system's text, or for a source that is no regular file or too large, says so (Failed).
    static constexpr size_t kDefaultCopyLimit = size_t{64} << 20;
    static CopyResult CopyFile(const std::string& from, const std::string& to, Prompter& owner,
                               size_t maxBytes = kDefaultCopyLimit);

    // What a path names itself (a symbolic link is not followed).
    enum class PathKind {
        Absent,
        Regular,
        Directory,
        Fifo,
        Device,
        SymbolicLink,
        Special, // a socket or anything else that is no regular file
        Unknown, // the system would not say (errno kept in error)
    };
    static PathKind Inspect(const std::string& path, int64_t* size = nullptr, int* error = nullptr);
    // "a directory", "a named pipe", ...: what the kind is, for a message.
    static std::string PathKindText(PathKind kind);

    // Reads the whole regular file path, of at most maxBytes, into out, in as few calls as the
    // system allows. A FIFO, device or directory is refused at once (NotRegular, kind set, nothing
    // shown), so is a file larger than maxBytes (TooLarge) or one that another program holds
    // locked for writing (InUse); a system failure shows its text (Failed).
    enum class WholeResult { Ok, Failed, NotRegular, TooLarge, InUse };
    static WholeResult ReadWhole(const std::string& path, size_t maxBytes, std::string& out,
                                 PathKind& kind, Prompter& owner);

    // Replaces the file path by data: written to a temporary file in the same folder, flushed to
    // the disk, given mode and renamed over path, then the folder flushed. A failure shows the
    // system's text, removes the temporary file and leaves path as it was.
    // flushFolder off leaves the folder's flush to a later rename in the same folder.
    static bool ReplaceFile(const std::string& path, const std::string& data, unsigned mode,
                            Prompter& owner, bool flushFolder = true);
    // The two halves of ReplaceFile: the flushed temporary file (its name in temp), and the
    // rename over path (or, with commit off, its removal). A failure shows the system's text.
    static bool WriteTemporary(const std::string& path, const std::string& data, unsigned mode,
                               std::string& temp, Prompter& owner);
    // replace off: a file that appeared at path meanwhile is not overwritten (EEXIST).
    static bool FinishTemporary(const std::string& temp, const std::string& path, bool commit,
                                Prompter& owner, bool flushFolder = true, bool replace = true);
    // The temporary files of path are "path.XXXXXX.part" (six letters or digits). A writer
    // killed halfway leaves its own behind; this removes those that are regular files of this
    // user. Call it only while holding path's write lock: no other writer is at work then.
    static void RemoveLeftTemporaries(const std::string& path);

private:
    bool Fail(Prompter& owner);

    int fd_ = -1;
    bool written_ = false;
};

// An advisory lock ("no sharing") on one file while a program is about to replace it: a second
// program that asks for the same file is told that it is in use. The lock is held on the file
// that is there now. A missing file is not created to carry it (a program killed before it wrote
// would leave an empty file under the name): the lock is then an abstract socket named after the
// file's full path, which vanishes with the program, and the file appears only when it is whole.
class FileLock {
public:
    enum class Result { Locked, InUse, NotRegular, Failed };

    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks path for writing. NotRegular (kind set) for anything but a regular file or no file,
    // a symbolic link included; InUse when another program holds it; Failed with the system's
    // text shown.
    Result LockForWrite(const std::string& path, FileAccess::PathKind& kind, Prompter& owner);
    bool Held() const { return fd_ >= 0; }
    // True when the file existed before LockForWrite; false for a file still to be created.
    bool Existed() const { return existed_; }
    // The permission bits the file had, or 0666 less the umask for one to be created.
    unsigned Mode() const { return mode_; }
    // The locked file's content (it existed before), at most maxBytes; false with the system's
    // text, or EFBIG's, shown.
    bool ReadLocked(size_t maxBytes, std::string& out, Prompter& owner) const;
    // Drops the lock.
    void Release();

private:
    int fd_ = -1; // the file, or the socket that stands for a file still to be created
    bool existed_ = false;
    unsigned mode_ = 0644;
};

} // namespace quarnex
