#include "platform/FileAccess.h"
#include "support/ScriptedPrompter.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnex {
namespace {

TEST(FileAccess, WritesSeeksFromStartAndRelativeAndReadsBack) {
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    ScriptedPrompter prompter;
    FileAccess file;
    ASSERT_TRUE(file.Create(folder.File("a.bin"), prompter));
    ASSERT_TRUE(file.Write("0123456789", 10, prompter));
    ASSERT_TRUE(file.Seek(2, FileAccess::Origin::Start, prompter));
    char buffer[16] = {};
    size_t got = 0;
    ASSERT_TRUE(file.Read(buffer, 3, got, prompter));
    EXPECT_EQ(std::string(buffer, got), "234");
    ASSERT_TRUE(file.Seek(-2, FileAccess::Origin::Current, prompter));
    ASSERT_TRUE(file.Read(buffer, sizeof buffer, got, prompter));
    EXPECT_EQ(std::string(buffer, got), "3456789"); // short read at the end of the file
    ASSERT_TRUE(file.Read(buffer, sizeof buffer, got, prompter));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(file.Close(prompter));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(prompter.Boxes().empty());

    // Creating again truncates.
    ASSERT_TRUE(file.Create(folder.File("a.bin"), prompter));
    EXPECT_TRUE(file.Close(prompter));
    EXPECT_EQ(ReadBytes(folder.File("a.bin")), "");
}

TEST(FileAccess, SystemFailuresShowTheSystemText) {
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    ScriptedPrompter prompter;
    FileAccess file;
    EXPECT_FALSE(file.OpenExisting(folder.File("missing.kel"), true, prompter));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(prompter.Texts(), std::vector<std::string>{std::strerror(ENOENT)});
    EXPECT_EQ(prompter.Boxes()[0].icon, Prompter::Icon::Error);
    EXPECT_TRUE(prompter.Boxes()[0].caption.empty());

    prompter.Clear();
    EXPECT_FALSE(file.Create(folder.File("no/such/folder.kel"), prompter));
    EXPECT_EQ(prompter.Texts(), std::vector<std::string>{std::strerror(ENOENT)});

    // Writing to a file opened read-only, and seeking before the start.
    WriteBytes(folder.File("r.kel"), "abc");
    prompter.Clear();
    ASSERT_TRUE(file.OpenExisting(folder.File("r.kel"), true, prompter));
    EXPECT_FALSE(file.Write("x", 1, prompter));
    EXPECT_FALSE(file.Seek(-10, FileAccess::Origin::Current, prompter));
    EXPECT_EQ(prompter.Texts(),
              (std::vector<std::string>{std::strerror(EBADF), std::strerror(EINVAL)}));
    EXPECT_TRUE(file.Close(prompter));

    // Nothing open.
    size_t got = 1;
    char c;
    EXPECT_FALSE(file.Read(&c, 1, got, prompter));
    EXPECT_EQ(got, 0u);
}

TEST(FileAccess, FullDiskShowsTheSystemText) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    ScriptedPrompter prompter;
    FileAccess file;
    ASSERT_TRUE(file.OpenExisting("/dev/full", false, prompter));
    EXPECT_FALSE(file.Write("x", 1, prompter));
    EXPECT_EQ(prompter.LastText(), std::strerror(ENOSPC));
    file.Close(prompter);
}

TEST(FileAccess, CopyReplacesTheTargetAndAMissingSourceIsQuiet) {
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    ScriptedPrompter prompter;
    EXPECT_EQ(FileAccess::CopyFile(folder.File("none"), folder.File("none.bak"), prompter),
              FileAccess::CopyResult::NoSource);
    EXPECT_FALSE(std::filesystem::exists(folder.File("none.bak")));
    EXPECT_TRUE(prompter.Boxes().empty());

    std::string big(100000, 'x');
    big[77777] = '\n';
    WriteBytes(folder.File("src"), big);
    WriteBytes(folder.File("dst"), "older and different");
    EXPECT_EQ(FileAccess::CopyFile(folder.File("src"), folder.File("dst"), prompter),
              FileAccess::CopyResult::Copied);
    EXPECT_EQ(ReadBytes(folder.File("dst")), big);

    // A source that exists but cannot be read is a failure, with the system's text.
    if (geteuid() != 0) {
        chmod(folder.File("src").c_str(), 0);
        EXPECT_EQ(FileAccess::CopyFile(folder.File("src"), folder.File("dst"), prompter),
                  FileAccess::CopyResult::Failed);
        EXPECT_EQ(prompter.LastText(), std::strerror(EACCES));
    }
}

} // namespace
} // namespace quarnex
