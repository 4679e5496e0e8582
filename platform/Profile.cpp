#include "platform/Profile.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace quarnex {

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

} // namespace

Profile::Profile(std::string path) : path_(std::move(path)) {
    Reload();
}

void Profile::Reload() {
    lines_.clear();
    if (path_.empty())
        return;
    std::ifstream in(path_);
    std::string text, section;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        Line line;
        line.text = text;
        const std::string t = Trim(text);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            line.isSection = true;
            line.section = section = Trim(t.substr(1, t.size() - 2));
        } else if (!t.empty() && t[0] != ';' && t[0] != '#') {
            const size_t eq = t.find('=');
            if (eq != std::string::npos) {
                line.isKey = true;
                line.section = section;
                line.key = Trim(t.substr(0, eq));
                line.value = Trim(t.substr(eq + 1));
            }
        }
        lines_.push_back(std::move(line));
    }
}

int Profile::FindKey(const std::string& section, const std::string& key) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].isKey && SameName(lines_[i].section, section) && SameName(lines_[i].key, key))
            return static_cast<int>(i);
    return -1;
}

bool Profile::HasKey(const std::string& section, const std::string& key) const {
    return FindKey(section, key) >= 0;
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
    const int i = FindKey(section, key);
    return i < 0 ? defaultValue : lines_[i].value;
}

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    const int i = FindKey(section, key);
    if (i < 0)
        return defaultValue;
    const std::string& v = lines_[i].value;
    size_t p = 0;
    bool negative = false;
    if (p < v.size() && (v[p] == '-' || v[p] == '+'))
        negative = v[p++] == '-';
    long long n = 0;
    for (; p < v.size() && std::isdigit(static_cast<unsigned char>(v[p])); ++p) {
        n = n * 10 + (v[p] - '0');
        if (n > 2147483648LL)
            n = 2147483648LL; // saturate instead of overflowing on absurd values
    }
    if (negative)
        n = -n;
    if (n > 2147483647LL)
        n = 2147483647LL;
    return static_cast<int>(n);
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool Profile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
    // One entry is one line: a line break in a name or value would split it into entries (or
    // sections) that were never written, and ']' or '=' in a name could not be read back.
    auto lineSafe = [](const std::string& s) {
        for (unsigned char c : s)
            if (c < 0x20 || c == 0x7F)
                return false;
        return true;
    };
    // The reader trims names and values and takes a line starting with '[' for a section, with
    // ';' or '#' for a comment: a name that would read back as something else is refused, and a
    // value is trimmed here as it will be when read back.
    const bool keyReadsBack = !key.empty() && Trim(key) == key &&
                              key.find('=') == std::string::npos && key[0] != '[' &&
                              key[0] != ';' && key[0] != '#';
    if (!lineSafe(section) || !lineSafe(key) || !lineSafe(value) || !keyReadsBack ||
        Trim(section) != section || section.find(']') != std::string::npos)
        return false;
    const std::string trimmed = Trim(value);
    Line line;
    line.isKey = true;
    line.section = section;
    line.key = key;
    line.value = trimmed;
    line.text = key + "=" + trimmed;
    const int existing = FindKey(section, key);
    if (existing >= 0) {
        line.key = lines_[existing].key;
        line.section = lines_[existing].section;
        line.text = line.key + "=" + trimmed;
        lines_[existing] = line;
        return Flush();
    }
    // Insert after the last line of the section, or start a new section at the end.
    int header = -1;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].isSection && SameName(lines_[i].section, section))
            header = static_cast<int>(i);
    if (header < 0) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty())
            lines_.push_back(Line{});
        Line head;
        head.isSection = true;
        head.section = section;
        head.text = "[" + section + "]";
        lines_.push_back(head);
        lines_.push_back(line);
        return Flush();
    }
    size_t insertAt = header + 1;
    for (size_t i = header + 1; i < lines_.size() && !lines_[i].isSection; ++i)
        if (!Trim(lines_[i].text).empty())
            insertAt = i + 1;
    lines_.insert(lines_.begin() + static_cast<long>(insertAt), line);
    return Flush();
}

std::vector<std::string> Profile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const Line& line : lines_)
        if (line.isKey && SameName(line.section, section))
            keys.push_back(line.key);
    return keys;
}

bool Profile::Batch::Commit() {
    if (done_)
        return true;
    done_ = true;
    if (--profile_.batchDepth_ > 0 || !profile_.flushDue_)
        return true;
    return profile_.WriteFile();
}

bool Profile::Flush() {
    if (batchDepth_ > 0) {
        flushDue_ = true;
        return true;
    }
    return WriteFile();
}

bool Profile::WriteFile() {
    flushDue_ = false;
    if (path_.empty())
        return true;
    ++fileWrites_;
    std::error_code ec;
    const std::filesystem::path p(path_);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path(), ec);
    // Write a new file and rename it over the old one, so a crash never leaves half a profile.
    const std::string tmp = path_ + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out)
            return false;
        for (const Line& line : lines_)
            out << line.text << '\n';
        out.flush();
        if (!out)
            return false;
    }
    std::filesystem::rename(tmp, p, ec);
    return !ec;
}

std::string Profile::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.config";
    }
    return base + "/quarnex/quarnex.ini";
}

} // namespace quarnex
