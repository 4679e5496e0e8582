// Every string ID the code names has a text: the IDs headers (one per string file) are read from
// the sources, so a new name without its text, or a text moved to another ID, is caught here
// rather than by a user looking at an empty label.
#include "res/Strings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(StringIds, EveryNamedIdHasAText) {
    const fs::path root = QUARNEX_SOURCE_DIR;
    std::vector<fs::path> headers{root / "res/Strings.h"};
    // Every IDs header lives in res/ beside the texts; one elsewhere would go unchecked here.
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name[0] == '.' || name.rfind("build", 0) == 0)) {
            it.disable_recursion_pending();
        } else if (name.size() >= 9 && name.compare(name.size() - 9, 9, "TextIds.h") == 0) {
            EXPECT_EQ(it->path().parent_path(), root / "res") << it->path();
            headers.push_back(it->path());
        }
    }
    ASSERT_GE(headers.size(), 15u);
    // A name ending in "Base" is the origin of arithmetic (base + n), not a text of its own.
    const std::regex named(R"(constexpr int (k\w+) = (\d+);)");
    int checked = 0;
    for (const fs::path& header : headers) {
        std::ifstream in(header);
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        for (std::sregex_iterator it(source.begin(), source.end(), named), end; it != end; ++it) {
            const std::string name = (*it)[1];
            if (name.size() > 4 && name.compare(name.size() - 4, 4, "Base") == 0)
                continue;
            ++checked;
            EXPECT_TRUE(quarnex::HasText(std::stoi((*it)[2])))
                << header.filename().string() << ": " << name << " = " << (*it)[2];
        }
    }
    EXPECT_GT(checked, 100);
}

} // namespace
