// libFuzzer target for the profile: any file is loaded, saved and loaded again, and must give the
// same entries; then a name and value taken from the input are written, and when the write is
// accepted, a fresh load must read them back as the profile reads them itself. A broken rule
// stops the run.
#include "FuzzRequire.h"
#include "platform/Profile.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace {

using quarnex::Profile;

const std::string& Path() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/quarnex-profile-fuzz-" +
               std::to_string(::getpid()) + ".ini";
    }();
    return path;
}

// Every section name the file could hold: the text between '[' and ']' of each line, trimmed as
// it may be, and the part before the first section.
std::set<std::string> Sections(const std::string& text) {
    std::set<std::string> names{""};
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t open = line.find('['), close = line.rfind(']');
        if (open != std::string::npos && close != std::string::npos && close > open) {
            std::string name = line.substr(open + 1, close - open - 1);
            const size_t b = name.find_first_not_of(" \t\r\n\v\f");
            const size_t e = name.find_last_not_of(" \t\r\n\v\f");
            names.insert(b == std::string::npos ? "" : name.substr(b, e - b + 1));
        }
        start = end + 1;
    }
    return names;
}

void RequireSame(const Profile& a, const Profile& b, const std::set<std::string>& sections) {
    for (const std::string& s : sections) {
        const std::vector<std::string> keys = a.Keys(s);
        Require(keys == b.Keys(s));
        for (const std::string& k : keys)
            Require(a.GetString(s, k, "\x01") == b.GetString(s, k, "\x02"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    { std::ofstream(Path(), std::ios::binary | std::ios::trunc) << text; }
    Profile loaded(Path());
    std::set<std::string> sections = Sections(text);
    // A write saves the whole file; what was there must come back unchanged.
    const bool saved = loaded.WriteString("Fuzz Probe", "Key", "value");
    sections.insert("Fuzz Probe");
    if (saved) {
        Profile again(Path());
        RequireSame(loaded, again, sections);
    }
    // A name and a value from the input: accepted means they read back as written (trimmed).
    const size_t cut = text.find('\0');
    if (cut != std::string::npos) {
        const std::string rest = text.substr(cut + 1);
        const size_t cut2 = rest.find('\0');
        const std::string key = rest.substr(0, cut2);
        const std::string value = cut2 == std::string::npos ? "" : rest.substr(cut2 + 1);
        if (loaded.WriteString("Fuzz Probe", key, value)) {
            Profile again(Path());
            Require(again.GetString("Fuzz Probe", key, "\x01") ==
                    loaded.GetString("Fuzz Probe", key, "\x02"));
            RequireSame(loaded, again, sections);
        }
    }
    ::unlink(Path().c_str());
    return 0;
}
