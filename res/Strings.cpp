#include "res/Strings.h"

#include <algorithm>
#include <unordered_map>

namespace quarnex {

namespace {

struct Entry {
    int id;
    const char* text;
};

const Entry kEntries[] = {
#include "res/strings_app.inc"
#include "res/strings_comm.inc"
#include "res/strings_files.inc"
#include "res/strings_fleet.inc"
#include "res/strings_instrument.inc"
#include "res/strings_links.inc"
#include "res/strings_monitor.inc"
#include "res/strings_offline.inc"
#include "res/strings_panel.inc"
#include "res/strings_ports.inc"
#include "res/strings_setup.inc"
#include "res/strings_tester.inc"
#include "res/strings_traffic.inc"
#include "res/strings_trend.inc"
#include "res/strings_upgrade.inc"
    {0, ""}};

const std::unordered_map<int, std::string>& Table() {
    static const std::unordered_map<int, std::string> table = [] {
        std::unordered_map<int, std::string> t;
        for (const Entry& e : kEntries)
            if (e.id != 0)
                t.emplace(e.id, e.text);
        return t;
    }();
    return table;
}

} // namespace

const std::string& Text(int id) {
    static const std::string empty;
    const auto& table = Table();
    const auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

bool HasText(int id) {
    return Table().count(id) != 0;
}

std::string FormatText(const std::string& pattern, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::vector<int> DuplicateTextIds() {
    std::vector<int> seen, dups;
    for (const Entry& e : kEntries)
        if (e.id != 0)
            seen.push_back(e.id);
    std::sort(seen.begin(), seen.end());
    for (size_t i = 1; i < seen.size(); ++i)
        if (seen[i] == seen[i - 1] && (dups.empty() || dups.back() != seen[i]))
            dups.push_back(seen[i]);
    return dups;
}

} // namespace quarnex
