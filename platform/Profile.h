#pragma once

#include <string>
#include <vector>

namespace quarnex {

// The application profile: a plain INI file with sections and keys, written literally (spaces and
// dots in names stay as they are: "Comm Param", "Additional rec. timeout"). Names are matched
// without regard to case, as the classic profile functions do. Every write goes to the file at
// once (or once per Batch); lines the program does not know are kept.
//
// A profile without a path lives in memory only (tests, and the demo's own profile).
class Profile {
public:
    Profile() = default;
    explicit Profile(std::string path);

    // Reads the file again. A missing file is an empty profile.
    void Reload();

    const std::string& Path() const { return path_; }

    // Integer read like the classic profile API: a missing key gives the default; otherwise the
    // leading optional sign and digits are read, and a value without digits reads as 0.
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;
    bool HasKey(const std::string& section, const std::string& key) const;

    // Returns false when the file could not be written (the value is kept in memory), and,
    // writing nothing, for a name or value that cannot stand on one line of the file or would
    // read back as something else (control characters, an empty key, '=' in a key, a key starting
    // with '[', ';' or '#', ']' in a section name, blanks around a name). Values lose their
    // leading and trailing blanks, in memory as in the file, as they would when read back.
    bool WriteInt(const std::string& section, const std::string& key, int value);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Holds the writes made during its lifetime in memory and writes the file once, at Commit()
    // or at the end of its scope: a set of keys saved together costs one rewrite of the file, not
    // one per key. Batches nest; the outermost one writes.
    class Batch {
    public:
        explicit Batch(Profile& profile) : profile_(profile) { ++profile_.batchDepth_; }
        ~Batch() { Commit(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Ends the batch; false when the file could not be written.
        bool Commit();

    private:
        Profile& profile_;
        bool done_ = false;
    };

    // How many times the file was rewritten since the profile was made.
    int FileWrites() const { return fileWrites_; }

    // The keys of a section in file order.
    std::vector<std::string> Keys(const std::string& section) const;

    // The profile of the program: $XDG_CONFIG_HOME/quarnex/quarnex.ini, or ~/.config/... when the
    // variable is unset or empty.
    static std::string DefaultPath();

private:
    struct Line {
        std::string text;    // the whole line as in the file
        std::string section; // for a section header: its name
        std::string key;     // for a key line: its name
        std::string value;
        bool isSection = false;
        bool isKey = false;
    };

    int FindKey(const std::string& section, const std::string& key) const;
    // Writes the file, or only notes that it is due while a batch is open.
    bool Flush();
    bool WriteFile();

    std::string path_;
    std::vector<Line> lines_;
    int batchDepth_ = 0;
    bool flushDue_ = false;
    int fileWrites_ = 0;
};

} // namespace quarnex
