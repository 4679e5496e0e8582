// The toolkit-free faces of the progress window and the file dialogs: the percentage rule, the
// default extension, and the scripted implementations the procedures' tests will use.
#include "platform/FileChooser.h"
#include "platform/Progress.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedProgress.h"

#include <gtest/gtest.h>

namespace quarnex::test {
namespace {

TEST(ProgressPercent, OfTheRange) {
    EXPECT_EQ(ProgressPercentText(550, 0, 1100), "50%");
    EXPECT_EQ(ProgressPercentText(1100, 0, 1100), "100%");
    EXPECT_EQ(ProgressPercentText(0, 0, 1100), "0%");
    // Past the end the percentage wraps round: 130 shows as 30, 200 as 0.
    EXPECT_EQ(ProgressPercentText(1430, 0, 1100), "30%");
    EXPECT_EQ(ProgressPercent(200, 0, 100), 0);
    EXPECT_EQ(ProgressPercent(75, 50, 150), 25);
    // Integer arithmetic: 1/3 is 33, and a large range does not overflow.
    EXPECT_EQ(ProgressPercent(1, 0, 3), 33);
    EXPECT_EQ(ProgressPercent(1000000000, 0, 2000000000), 50);
    EXPECT_EQ(ProgressPercent(0, -2147483647 - 1, 2147483647), 50);
    // An empty range is not a division by zero.
    EXPECT_EQ(ProgressPercentText(7, 10, 10), "0%");
}

TEST(FileChooser, DefaultExtensionOnlyWhenTheNameHasNone) {
    EXPECT_EQ(WithDefaultExtension("/home/u/scale", "ks7"), "/home/u/scale.ks7");
    EXPECT_EQ(WithDefaultExtension("/home/u/scale.txt", "ks7"), "/home/u/scale.txt");
    EXPECT_EQ(WithDefaultExtension("/home/u/scale.", "ks7"), "/home/u/scale.ks7");
    EXPECT_EQ(WithDefaultExtension("/home/u.d/scale", "ks7"), "/home/u.d/scale.ks7");
    EXPECT_EQ(WithDefaultExtension("/home/u/.scale", "ks7"), "/home/u/.scale.ks7");
    EXPECT_EQ(WithDefaultExtension("scale", ""), "scale");
    EXPECT_EQ(WithDefaultExtension("", "ks7"), "");
    EXPECT_EQ(WithDefaultExtension("/home/u/", "ks7"), "/home/u/");
}

TEST(ScriptedProgress, RecordsAndCancelsWhenTold) {
    ScriptedProgress progress;
    Progress& core = progress;
    core.SetRange(0, 1100);
    core.SetText("Programming");
    EXPECT_FALSE(core.CancelAsked());
    progress.CancelAfter(2);
    core.SetPos(10);
    EXPECT_FALSE(core.CancelAsked());
    core.SetPos(20);
    EXPECT_TRUE(core.CancelAsked());
    EXPECT_EQ(progress.Positions(), (std::vector<int>{10, 20}));
    EXPECT_EQ(progress.Texts(), std::vector<std::string>{"Programming"});
    EXPECT_EQ(progress.Ranges(), (std::vector<std::pair<int, int>>{{0, 1100}}));
}

TEST(ScriptedFileChooser, AnswersInOrderAndCancelsWhenUnscripted) {
    ScriptedFileChooser chooser;
    FileChooser& core = chooser;
    chooser.Answer("/tmp/backup");
    chooser.Answer(std::nullopt);
    const FileChooser::Request save{"Save set-up", {{"Set-up files", {"*.ks7"}}}, "ks7", {}};
    EXPECT_EQ(core.AskSave(save), "/tmp/backup.ks7");
    EXPECT_EQ(core.AskOpen({"Open", {}, "", {}}), std::nullopt);
    EXPECT_EQ(core.AskOpen({"Open", {}, "", {}}), std::nullopt);
    ASSERT_EQ(chooser.Requests().size(), 3u);
    EXPECT_TRUE(chooser.Requests()[0].save);
    EXPECT_EQ(chooser.Requests()[0].request.caption, "Save set-up");
    EXPECT_FALSE(chooser.Requests()[1].unscripted);
    EXPECT_TRUE(chooser.Requests()[2].unscripted);
}

} // namespace
} // namespace quarnex::test
