// The layering of the libraries, read from the sources: every `#include "…"` names a header by
// its folder, and a folder may only use the folders below it. Link lines alone do not stop a core
// file from including a header of a layer above it (every library exports the source root), so
// this test does.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The folders of the product and what each may include besides itself. Folders that do not
// exist yet are listed so their first file starts out in the right place.
const std::map<std::string, std::set<std::string>>& AllowedEdges() {
    static const std::set<std::string> below_instrument{"comm", "platform", "res"};
    static const std::set<std::string> below_edit{"instrument", "comm", "platform", "res"};
    // The window logic gives its bus work to the link's session.
    static const std::set<std::string> below_tasks{"session", "edit",     "instrument",
                                                   "comm",    "platform", "res"};
    static const std::map<std::string, std::set<std::string>> edges{
        {"res", {}},
        {"platform", {"res"}},
        {"comm", {"platform", "res"}},
        // A bus session per link: a thread that owns the link's master and runs the windows' jobs.
        {"session", {"comm", "platform", "res"}},
        {"instrument", below_instrument},
        {"edit", below_edit},
        // The panel reaches the set-up sheet through an interface it owns, not by its headers.
        {"monitor", below_tasks},
        {"setup", below_tasks},
        {"files", below_tasks},
        {"upgrade", below_tasks},
        {"tester", below_tasks},
        // The check with test weights reads the live block and the calibration on its own.
        {"check", below_tasks},
        // Set-ups away from the instrument: a file's set-up shown, compared and edited on the
        // sheet's page model.
        {"offline", {"setup", "files", "session", "edit", "instrument", "comm", "platform", "res"}},
        // The plant's history: fleet runs over every link, their set-ups kept in git.
        {"fleet",
         {"offline", "setup", "files", "session", "edit", "instrument", "comm", "platform", "res"}},
        {"ui", {"platform", "res"}},
        // The windows reach the simulator only through demo/.
        {"app",
         {"ui", "demo", "monitor", "fleet", "check", "offline", "setup", "files", "upgrade",
          "tester", "session", "edit", "instrument", "comm", "platform", "res"}},
        {"demo", {"sim", "comm", "platform", "res"}},
        // The simulator is a separate device: it speaks only bytes.
        {"sim", {}},
        {"cli",
         {"demo", "monitor", "fleet", "check", "offline", "setup", "files", "upgrade", "tester",
          "session", "edit", "instrument", "comm", "platform", "res"}},
    };
    return edges;
}

// Folders whose files may include anything.
bool Unrestricted(const std::string& layer) {
    return layer == "tests" || layer == "bench";
}

// Folders whose files may include Qt headers.
bool MaySeeQt(const std::string& layer) {
    return layer == "ui" || layer == "app" || Unrestricted(layer);
}

struct Violation {
    std::string where; // file:line
    std::string edge;  // layer -> included layer, and the include
};

// The include of one line: ("quoted", path) or ("angle", path); empty when the line includes
// nothing.
std::pair<std::string, std::string> IncludeOf(const std::string& line) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#')
        return {};
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0)
        return {};
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos)
        return {};
    const char open = line[i];
    const char close = open == '"' ? '"' : open == '<' ? '>' : '\0';
    if (close == '\0')
        return {};
    const size_t end = line.find(close, i + 1);
    if (end == std::string::npos)
        return {};
    return {open == '"' ? "quoted" : "angle", line.substr(i + 1, end - i - 1)};
}

// Checks one file of the given layer; relative is its path from the root, for the report.
void CheckFile(const fs::path& file, const std::string& relative, const std::string& layer,
               std::vector<Violation>& out) {
    std::ifstream in(file);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const auto [kind, path] = IncludeOf(line);
        if (kind.empty())
            continue;
        const std::string where = relative + ":" + std::to_string(number);
        if (kind == "angle") {
            if (!path.empty() && path[0] == 'Q' && !MaySeeQt(layer))
                out.push_back({where, layer + " -> Qt (<" + path + ">)"});
            // Qt Charts draws the trends and plots of the windows; the plots' data lives below.
            else if (path.rfind("QtCharts/", 0) == 0 && layer != "app" && !Unrestricted(layer))
                out.push_back({where, layer + " -> Qt Charts (<" + path + ">)"});
            continue;
        }
        const size_t slash = path.find('/');
        if (slash == std::string::npos || Unrestricted(layer))
            continue; // a header beside the file, or a folder that may use anything
        const std::string target = path.substr(0, slash);
        if (target == layer)
            continue;
        const auto& allowed = AllowedEdges().at(layer);
        if (!allowed.count(target))
            out.push_back({where, layer + " -> " + target + " (\"" + path + "\")"});
    }
}

// Every violation under root, in path order. Files outside the known folders are skipped;
// scanned counts the files read.
std::vector<Violation> Scan(const fs::path& root, int& scanned) {
    std::vector<std::pair<std::string, fs::path>> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name.rfind("build", 0) == 0 || name[0] == '.')) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string ext = it->path().extension().string();
        if (it->is_regular_file() && (ext == ".h" || ext == ".cpp" || ext == ".inc"))
            files.push_back({fs::relative(it->path(), root).generic_string(), it->path()});
    }
    std::sort(files.begin(), files.end());
    std::vector<Violation> violations;
    scanned = 0;
    for (const auto& [relative, path] : files) {
        const std::string layer = relative.substr(0, relative.find('/'));
        if (!Unrestricted(layer) && !AllowedEdges().count(layer))
            continue;
        ++scanned;
        CheckFile(path, relative, layer, violations);
    }
    return violations;
}

std::string Report(const std::vector<Violation>& violations) {
    std::ostringstream text;
    for (const auto& v : violations)
        text << v.where << ": " << v.edge << '\n';
    return text.str();
}

TEST(Layering, EveryIncludeOfTheTreeFollowsTheTable) {
    int scanned = 0;
    const auto violations = Scan(QUARNEX_SOURCE_DIR, scanned);
    EXPECT_GT(scanned, 100) << "the sources were not found under " << QUARNEX_SOURCE_DIR;
    EXPECT_TRUE(violations.empty()) << "includes across the layering:\n" << Report(violations);
}

// The scanner itself, on a small tree of its own: a core file that includes a window header, a
// Qt header or the simulator is caught with its line; the allowed edges are not.
TEST(Layering, WrongEdgesAreReportedWithFileAndLine) {
    const fs::path root =
        fs::temp_directory_path() / ("quarnex-layering-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const auto write = [&](const std::string& relative, const std::string& text) {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << text;
    };
    write("comm/A.cpp", "#include \"comm/A.h\"\n#include \"platform/P.h\"\n#include <vector>\n");
    write("instrument/B.cpp", "#include \"B.h\"\n\n  #  include \"app/CMainFrame.h\"\n");
    write("monitor/panel/C.h", "#include \"edit/E.h\"\n#include \"setup/S.h\"\n");
    write("edit/D.cpp", "#include <QString>\n");
    write("app/E.cpp", "#include <QWidget>\n#include \"sim/SimBus.h\"\n#include \"demo/D.h\"\n");
    write("demo/F.cpp", "#include \"sim/SimBus.h\"\n#include \"monitor/W.h\"\n");
    write("sim/G.cpp", "#include \"comm/Crc.h\"\n");
    write("cli/H.cpp", "#include \"demo/D.h\"\n#include \"ui/U.h\"\n");
    write("ui/U.cpp", "#include <QWidget>\n#include <QtCharts/QChart>\n");
    write("tests/T.cpp", "#include \"sim/SimBus.h\"\n#include <QTest>\n#include \"app/X.h\"\n");
    int scanned = 0;
    const auto violations = Scan(root, scanned);
    fs::remove_all(root);
    EXPECT_EQ(10, scanned);
    EXPECT_EQ("app/E.cpp:2: app -> sim (\"sim/SimBus.h\")\n"
              "cli/H.cpp:2: cli -> ui (\"ui/U.h\")\n"
              "demo/F.cpp:2: demo -> monitor (\"monitor/W.h\")\n"
              "edit/D.cpp:1: edit -> Qt (<QString>)\n"
              "instrument/B.cpp:3: instrument -> app (\"app/CMainFrame.h\")\n"
              "monitor/panel/C.h:2: monitor -> setup (\"setup/S.h\")\n"
              "sim/G.cpp:1: sim -> comm (\"comm/Crc.h\")\n"
              "ui/U.cpp:2: ui -> Qt Charts (<QtCharts/QChart>)\n",
              Report(violations));
}

} // namespace
