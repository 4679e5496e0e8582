// The viewer's listing and the character-cell print layout.
#include "files/SetupListing.h"
#include "SetupFileSamples.h"
#include "TempFolder.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quarnex::test {
namespace {

std::string Row(const CharacterPrinter& p, int page, int line) {
    return p.Pages().at(page).at(line);
}

TEST(CharacterPrinter, MarginTabsWrapAndPages) {
    CharacterPrinter p("title.kel", 40, 10);
    p.PrintText("ab\tc\r\n");
    EXPECT_EQ(Row(p, 0, 0).substr(16, 9), "ab      c");
    // A line wider than the page goes on in the next line, at the margin.
    p.PrintLine(std::string(30, 'x'), true);
    EXPECT_EQ(Row(p, 0, 1).substr(16), std::string(24, 'x'));
    EXPECT_EQ(Row(p, 0, 2).substr(16, 7), "xxxxxx ");
    for (int i = 0; i < 8; ++i)
        p.PrintLine("line " + std::to_string(i), true);
    ASSERT_EQ(p.Pages().size(), 2u);
    // The header of page 2: two lines down, the centred title and the number before the edge.
    EXPECT_EQ(Row(p, 1, 2).substr(40 / 2 - 9 / 2, 9), "title.kel");
    EXPECT_EQ(Row(p, 1, 2).substr(38, 2), "2 ");
    EXPECT_EQ(Row(p, 1, 5).substr(16, 6), "line 7");
}

TEST(CharacterPrinter, TinyPagesDoNotLoop) {
    CharacterPrinter p("a very long title that does not fit", 1, 1);
    for (int i = 0; i < 50; ++i)
        p.PrintLine("x", true);
    EXPECT_GT(p.Pages().size(), 1u);
}

TEST(PrintLayout, ValuesStartInColumn36) {
    EXPECT_EQ(PrintValueLine("Program number:\t1234 \r\n"),
              std::string("Program number:") + std::string(20, ' ') + "1234 \r\n");
    const std::string longLabel(40, 'L');
    EXPECT_EQ(PrintValueLine(longLabel + "\tv \r\n"), longLabel + "v \r\n");
    EXPECT_EQ(PrintValueLine("no tab\r\n"), "no tab\r\n");
}

TEST(SetupListing, HeadingsStayWhenASectionIsMissing) {
    TempFolder dir;
    std::string bytes = SampleSetupFile();
    const size_t from = bytes.find("[BATCH_SET_UP]");
    bytes.erase(from, bytes.find("[RECIPE_SET_UP]") - from);
    WriteBytes(dir.File("s.kel"), bytes);
    ScriptedPrompter prompter;
    SetupFile file;
    file.SetFileName(dir.File("s.kel"));
    SetupListing listing;
    ASSERT_EQ(ReadSetupListing(file, prompter, listing), SetupFileStatus::kOk);
    EXPECT_EQ(listing.lines.at(0), "INSTRUMENT INFORMATION");
    EXPECT_EQ(listing.lines.at(2), "Program number:\t7310 ");
    const auto at = [&](const std::string& t) {
        return std::find(listing.lines.begin(), listing.lines.end(), t) - listing.lines.begin();
    };
    EXPECT_EQ(listing.lines.at(at("BATCHING SET-UP DATA") + 1), "");
    EXPECT_EQ(listing.lines.at(at("BATCHING SET-UP DATA") + 2), "RECIPE SET-UP DATA");
    EXPECT_FALSE(listing.userInfo.empty());

    // Printing with every group stops after the set-up group.
    CharacterPrinter printer("s.kel", 98, 60);
    ASSERT_EQ(PrintSetupFile(file, prompter, {}, printer), SetupFileStatus::kOk);
    std::string all;
    for (const auto& page : printer.Pages())
        for (const auto& line : page)
            all += line + "\n";
    EXPECT_NE(all.find("SET-UP DATA"), std::string::npos);
    EXPECT_NE(all.find("OPTIONAL INFORMATION"), std::string::npos);
    EXPECT_EQ(all.find("RECIPE SET-UP DATA"), std::string::npos);
    EXPECT_NE(all.find("                Program number:                    7310"),
              std::string::npos);

    // A file that is not valid empties the listing.
    WriteBytes(dir.File("s.kel"), "[FILE_ID]\r\nx\r\n[End]\r\n");
    EXPECT_NE(ReadSetupListing(file, prompter, listing), SetupFileStatus::kOk);
    EXPECT_TRUE(listing.lines.empty());
}

} // namespace
} // namespace quarnex::test
