// Backup and restore against a simulated KEL 7 Recipe Batcher on the real bus stack.
#include "TempFolder.h"
#include "files/Backup.h"
#include "files/Restore.h"
#include "files/SetupFile.h"
#include "instrument/Registers.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"
#include "support/SingleKel7Fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace quarnex::test {
namespace {

std::vector<std::string> FileLines(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back("<no CR LF>" + bytes.substr(at));
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// The lines between a section's marker and its end line.
std::vector<std::string> Section(const std::vector<std::string>& lines, const std::string& name) {
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& l : lines) {
        if (l == "[" + name + "]") {
            in = true;
            continue;
        }
        if (in && l == "[End]")
            return out;
        if (in)
            out.push_back(l);
    }
    return {"<missing " + name + ">"};
}

int Register(const std::string& line) {
    return std::stoi(line.substr(0, line.find('\t')));
}

class BackupRestore : public SingleKel7Fixture {
protected:
    Backup::Result RunBackup(const std::string& path, const std::string& info = "first\r\nsecond") {
        Backup backup(*master_, kAddress, itype::kKel7, prompter_, progress_);
        backup.SetClock([] { return std::time_t(1304425330); });
        return backup.Run(path, info);
    }
    Restore::Result RunRestore(const std::string& path, RestoreSelection selection = {},
                               Restore* keep = nullptr) {
        Restore own(*master_, kAddress, itype::kKel7, prompter_, progress_);
        Restore& restore = keep ? *keep : own;
        std::string info;
        EXPECT_TRUE(restore.LoadFile(path, info)) << prompter_.LastText();
        prompter_.Answer(true); // "You are about to load new set-up data ..."
        return restore.Run(selection);
    }

    TempFolder dir_;
    ScriptedProgress progress_;
};

TEST_F(BackupRestore, BackupWritesEverySectionInOrderWithItsCounts) {
    const std::string path = dir_.File("unit1.kel");
    ASSERT_EQ(RunBackup(path, "Line one\r\n[SET_UP]\r\nthree"), Backup::Result::Succeeded);
    EXPECT_EQ(prompter_.LastText(), "Backup operation successful !");

    const std::vector<std::string> lines = FileLines(path);
    std::vector<std::string> markers;
    for (const std::string& l : lines)
        if (!l.empty() && l[0] == '[' && l != "[End]")
            markers.push_back(l);
    EXPECT_EQ(markers, (std::vector<std::string>{"[FILE_ID]", "[INSTR_ID]", "[USER_INFO]",
                                                 "[SET_UP]", "[BATCH_SET_UP]", "[RECIPE_SET_UP]",
                                                 "[STR_SET_UP]", "[FILE_OK]"}));
    EXPECT_EQ(lines.back(), "[End]");
    EXPECT_EQ(lines[lines.size() - 3], "[FILE_OK]");

    EXPECT_EQ(Section(lines, "INSTR_ID").size(), 15u);
    EXPECT_EQ(Section(lines, "INSTR_ID")[1], "40202\t7310.000000\tProgram number:\t7310 ");
    const auto info = Section(lines, "USER_INFO");
    ASSERT_EQ(info.size(), 8u);
    EXPECT_EQ(info[1], " [SET_UP]"); // typed text never opens a section
    EXPECT_EQ(info[7], "");

    const auto setup = Section(lines, "SET_UP");
    ASSERT_EQ(setup.size(), 159u + 5u);
    for (size_t i = 1; i < 159; ++i)
        EXPECT_EQ(Register(setup[i]), Register(setup[i - 1]) + 2);
    EXPECT_EQ(setup[0].back(), ' '); // field 4 always ends with the space before the unit

    const auto batch = Section(lines, "BATCH_SET_UP");
    ASSERT_EQ(batch.size(), 629u);
    EXPECT_EQ(batch[5].substr(0, 28), "41410\t1.000000\tActivity:\t01 ");
    EXPECT_EQ(batch[6].substr(0, 6), "41412\t");
    EXPECT_NE(batch[6].find("\t01:"), std::string::npos);
    EXPECT_EQ(batch[5 + 26 * 23].substr(0, 16), "41410\t24.000000\t");
    EXPECT_EQ(Register(batch.back()), 41460);

    const auto recipes = Section(lines, "RECIPE_SET_UP");
    ASSERT_EQ(recipes.size(), 1830u);
    EXPECT_EQ(recipes[0], "41462\t1.000000\tRecipe:\t01 ");
    EXPECT_NE(recipes[1].find("\tLine 01, Activity:\t"), std::string::npos);
    EXPECT_NE(recipes[2].find("\tLine 01, Setp:\t"), std::string::npos);
    EXPECT_EQ(Register(recipes[60]), 41582);
    EXPECT_EQ(recipes[61].substr(0, 16), "41462\t2.000000\tR");

    const auto strings = Section(lines, "STR_SET_UP");
    ASSERT_EQ(strings.size(), 54u);
    EXPECT_NE(strings[0].back(), ' ');
    for (const std::string& l : lines)
        ASSERT_LT(l.size() + 2, SetupFile::kMaxLineBytes);

    // Progress went through every step of the read.
    ASSERT_FALSE(progress_.Ranges().empty());
    EXPECT_EQ(progress_.Positions().back(), progress_.Ranges().front().second);
    // Only the selectors were written while reading.
    Kel([](sim::Kel7Model& m) {
        for (const auto& w : m.Writes())
            EXPECT_TRUE(w.reg == reg::kActivitySelector || w.reg == reg::kRecipeSelector) << w.reg;
    });
}

TEST_F(BackupRestore, BackupRefusesAndStopsEarly) {
    EXPECT_EQ(RunBackup(""), Backup::Result::NoFile);
    EXPECT_EQ(prompter_.LastText(), "Backup operation failed !\nNo file selected !");

    Kel([](sim::Kel7Model& m) { m.SetState(4); });
    EXPECT_EQ(RunBackup(dir_.File("a.kel")), Backup::Result::Failed);
    EXPECT_EQ(prompter_.LastText(), "Backup operation failed !\nInstrument in wrong state");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("a.kel")));
    Kel([](sim::Kel7Model& m) { m.SetState(2); });

    Backup jov(*master_, kAddress, itype::kJov7, prompter_, progress_);
    EXPECT_EQ(jov.Run(dir_.File("a.kel"), ""), Backup::Result::NotSupported);
    EXPECT_EQ(prompter_.LastText(), "JOV 7 not implemented yet !!!");
}

// The box wraps its lines; the file keeps eight lines of 145 characters. Long lines are broken
// at a blank so all of the text is stored, and a text that needs more lines is refused.
TEST(BackupInfo, LongLinesAreBrokenNotCutAndTooManyAreRefused) {
    std::string words;
    while (words.size() < 320)
        words += "tare weight check ";
    const std::vector<std::string> lines = BackupInfoLines("first\r\n" + words + "\r\n\r\n");
    ASSERT_EQ(lines.size(), 4u); // the trailing empty lines are no text
    std::string joined;
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), SetupFile::kUserInfoChars);
        joined += (i > 1 ? " " : "") + lines[i];
    }
    EXPECT_EQ(joined, words); // nothing lost: the line ends take the place of blanks
    // A word longer than a line is cut at the limit; "[" in front costs the blank it gets.
    EXPECT_EQ(BackupInfoLines(std::string(300, 'x')),
              (std::vector<std::string>{std::string(145, 'x'), std::string(145, 'x'),
                                        std::string(10, 'x')}));
    EXPECT_EQ(BackupInfoLines("[" + std::string(145, 'x'))[0].size(), 144u);
    EXPECT_EQ(BackupInfoProblem(std::string(8 * 145, 'x')), "");
    EXPECT_NE(BackupInfoProblem(std::string(8 * 145 + 1, 'x')), "");
}

TEST_F(BackupRestore, AValueTheRestoreWouldRefuseFailsTheBackup) {
    const std::string path = dir_.File("bad.kel");
    Kel([](sim::Kel7Model& m) { m.SetSpecialValue(1, std::nanf("")); });
    EXPECT_EQ(RunBackup(path), Backup::Result::FileFailed);
    const auto texts = prompter_.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_NE(texts[texts.size() - 2].find("register"), std::string::npos);
    EXPECT_EQ(texts.back(), "Backup operation failed !");
    // Nothing of it reaches the disk.
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Every entry of a folder: a file's bytes, a link's target, or what else it is.
std::map<std::string, std::string> FolderState(const std::string& folder) {
    std::map<std::string, std::string> state;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (e.is_symlink())
            state[name] = "link to " + std::filesystem::read_symlink(e.path()).string();
        else if (e.is_regular_file())
            state[name] = ReadBytes(e.path().string());
        else
            state[name] = "special";
    }
    return state;
}

// A backup onto names that cannot or must not take it: only the named file and its ".bak" ever
// change, the previous ones survive every failure, and a refused name costs no bus traffic.
TEST_F(BackupRestore, HostileTargetsChangeNothingButTheFileAndItsBak) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string& dir)> prepare; // the target's path
        Backup::Result result;
        std::string message; // the first box, "" when the backup succeeds
        bool busTraffic;
    };
    const auto victim = [](const std::string& dir) { return dir + "/victim.txt"; };
    const Case cases[] = {
        {"directory",
         [](const std::string& dir) {
             std::filesystem::create_directory(dir + "/t.kel");
             return dir + "/t.kel";
         },
         Backup::Result::FileFailed, "/t.kel is a directory, not a set-up file.", false},
        {"FIFO",
         [](const std::string& dir) {
             mkfifo((dir + "/t.kel").c_str(), 0600);
             return dir + "/t.kel";
         },
         Backup::Result::FileFailed, "/t.kel is a named pipe (FIFO), not a set-up file.", false},
        {"character device", [](const std::string&) { return std::string("/dev/null"); },
         Backup::Result::FileFailed, "/dev/null is a device, not a set-up file.", false},
        {"link as the target",
         [&](const std::string& dir) {
             std::filesystem::create_symlink(victim(dir), dir + "/t.kel");
             return dir + "/t.kel";
         },
         Backup::Result::FileFailed, "/t.kel is a symbolic link, not a set-up file.", false},
        {"link planted as .bak",
         [&](const std::string& dir) {
             WriteBytes(dir + "/t.kel", "previous\r\n");
             std::filesystem::create_symlink(victim(dir), dir + "/t.kel.bak");
             return dir + "/t.kel";
         },
         Backup::Result::Succeeded, "", true},
        {"full file system",
         [](const std::string& dir) {
             WriteBytes(dir + "/t.kel", "previous\r\n");
             WriteBytes(dir + "/t.kel.bak", "older\r\n");
             return dir + "/t.kel";
         },
         Backup::Result::FileFailed, "File too large", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const std::string dir = folder.File("");
        WriteBytes(victim(dir), "not yours");
        const std::string target = c.prepare(dir.substr(0, dir.size() - 1));
        const auto before = FolderState(dir);
        prompter_.Clear();
        bus_.ClearRequests();
        rlimit saved{};
        const bool full = std::string(c.what) == "full file system";
        if (full) {
            // Writes beyond 16 KB fail with EFBIG (the signal it would raise is ignored).
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = 16384;
            std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &small);
        }
        EXPECT_EQ(RunBackup(target), c.result);
        if (full) {
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, SIG_DFL);
        }
        EXPECT_EQ(bus_.RequestCount(kAddress) > 0, c.busTraffic);
        if (!c.message.empty()) {
            ASSERT_FALSE(prompter_.Texts().empty());
            EXPECT_NE(prompter_.Texts()[0].find(c.message), std::string::npos)
                << prompter_.Texts()[0];
        }
        auto after = FolderState(dir);
        EXPECT_EQ(after["victim.txt"], "not yours");
        if (c.result == Backup::Result::Succeeded) {
            EXPECT_EQ(after["t.kel.bak"], "previous\r\n");
            EXPECT_NE(after["t.kel"].find("[FILE_OK]"), std::string::npos);
            after.erase("t.kel.bak");
            after["t.kel"] = before.at("t.kel");
            after["t.kel.bak"] = before.at("t.kel.bak");
        }
        EXPECT_EQ(after, before);
    }
}

// A second program writing the same file is refused, before it asks the instrument anything.
TEST_F(BackupRestore, AFileAnotherProgramWritesIsRefused) {
    const std::string path = dir_.File("shared.kel");
    FileLock other;
    FileAccess::PathKind kind{};
    ASSERT_EQ(other.LockForWrite(path, kind, prompter_), FileLock::Result::Locked);
    bus_.ClearRequests();
    EXPECT_EQ(RunBackup(path), Backup::Result::FileFailed);
    EXPECT_EQ(prompter_.Texts()[0], path + " is in use by another program.");
    EXPECT_EQ(bus_.RequestCount(kAddress), 0u);
    other.Release();
    EXPECT_EQ(RunBackup(path), Backup::Result::Succeeded);
}

// The second backup also clears what a backup killed halfway left of the file and its copy,
// and nothing else.
TEST_F(BackupRestore, SecondBackupKeepsTheFirstAsBak) {
    const std::string path = dir_.File("twice.kel");
    ASSERT_EQ(RunBackup(path, "first run"), Backup::Result::Succeeded);
    const std::string first = ReadBytes(path);
    const std::vector<std::string> left = {path + ".a1B2c3.part", path + ".bak.Zz9yX8.part"};
    const std::vector<std::string> kept = {path + ".backup", path + ".a1B2c3", path + ".x.part",
                                           dir_.File("other.kel.a1B2c3.part")};
    for (const std::string& p : left)
        WriteBytes(p, "half");
    for (const std::string& p : kept)
        WriteBytes(p, "mine");
    ASSERT_EQ(RunBackup(path, "second run"), Backup::Result::Succeeded);
    EXPECT_EQ(ReadBytes(path + ".bak"), first);
    EXPECT_NE(ReadBytes(path).find("second run"), std::string::npos);
    for (const std::string& p : left)
        EXPECT_FALSE(std::filesystem::exists(p)) << p;
    for (const std::string& p : kept)
        EXPECT_TRUE(std::filesystem::exists(p)) << p;
}

TEST_F(BackupRestore, RoundTripBringsBackEveryValue) {
    const std::string path = dir_.File("round.kel");
    ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);
    struct Snapshot {
        std::vector<float> normal, special, batch, recipe;
        std::vector<std::string> texts;
        bool operator==(const Snapshot&) const = default;
    };
    auto snapshot = [this] {
        return Kel([](sim::Kel7Model& m) {
            Snapshot s;
            for (int i = 0; i < 159; ++i)
                s.normal.push_back(m.NormalValue(i));
            for (int j = 0; j < 5; ++j)
                s.special.push_back(m.SpecialValue(j));
            for (int i = 0; i < 605; ++i)
                s.batch.push_back(m.BatchValue(i));
            for (int i = 0; i < 1800; ++i)
                s.recipe.push_back(m.RecipeValue(i));
            // The instrument keeps a text padded with spaces to its 12 characters, as the
            // program writes it; the program reads it back without them.
            for (int k = 0; k < 54; ++k) {
                std::string t = m.Text(k);
                t.erase(t.find_last_not_of(' ') + 1);
                s.texts.push_back(t);
            }
            return s;
        });
    };
    const Snapshot before = snapshot();
    Kel([](sim::Kel7Model& m) {
        m.SetBatchValue(5 + 25 * 3 + 2, m.BatchValue(5 + 25 * 3 + 2) + 1);
        m.SetRecipeValue(60 * 29 + 59, 123.5f);
        m.SetRecipeValue(7, 3.0f);
        m.SetText(30, "CHANGED");
        m.SetSpecialValue(0, m.SpecialValue(0) + 1);
    });
    ASSERT_NE(snapshot(), before);

    Restore restore(*master_, kAddress, itype::kKel7, prompter_, progress_);
    ASSERT_EQ(RunRestore(path, {}, &restore), Restore::Result::Succeeded) << prompter_.LastText();
    EXPECT_EQ(prompter_.LastText(), "Restore operation successful !\n\n"
                                    "No. of parameters in file : 2623\n"
                                    "No. of parameters in instr : 2623\n"
                                    "No. of restored parameters: 2623");
    const Snapshot after = snapshot();
    EXPECT_EQ(after.normal, before.normal);
    EXPECT_EQ(after.special, before.special);
    EXPECT_EQ(after.batch, before.batch);
    EXPECT_EQ(after.recipe, before.recipe);
    EXPECT_EQ(after.texts, before.texts);
    const auto coils = Coils();
    ASSERT_GE(coils.size(), 3u);
    EXPECT_EQ((std::vector<int>(coils.end() - 3, coils.end())), (std::vector<int>{101, 105, 102}));
    EXPECT_EQ(progress_.Positions().back(), progress_.Ranges().back().second);
}

TEST_F(BackupRestore, RestoreCountsWhatTheInstrumentHasNot) {
    const std::string path = dir_.File("counts.kel");
    ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);

    // Only the recipes.
    RestoreSelection recipes{false, false, false, true};
    Restore restore(*master_, kAddress, itype::kKel7, prompter_, progress_);
    ASSERT_EQ(RunRestore(path, recipes, &restore), Restore::Result::Succeeded)
        << prompter_.LastText();
    EXPECT_EQ(restore.InstrumentTotal(), 1800);
    EXPECT_EQ(restore.RestoredTotal(), 1800);

    // A SET_UP value for a register beyond the instrument's normal block: counted, not written.
    std::string bytes = ReadBytes(path);
    const size_t end = bytes.find("[End]", bytes.find("[SET_UP]"));
    bytes.insert(end, "48000\t1.000000\tNot here:\t1 \r\n");
    WriteBytes(dir_.File("extra.kel"), bytes);
    ASSERT_EQ(RunRestore(dir_.File("extra.kel"), {true, false, false, false}, &restore),
              Restore::Result::Warnings);
    EXPECT_EQ(prompter_.LastText(), "Restore operation compleated with WARNINGS !\n\n"
                                    "No. of parameters in file :  165\n"
                                    "No. of parameters in instr :  164\n"
                                    "No. of restored parameters:  164");

    // The batching box on a file without batching: nothing written for it.
    bytes = ReadBytes(path);
    const size_t from = bytes.find("[BATCH_SET_UP]");
    bytes.erase(from, bytes.find("[RECIPE_SET_UP]") - from);
    WriteBytes(dir_.File("nobatch.kel"), bytes);
    ASSERT_EQ(RunRestore(dir_.File("nobatch.kel"), {false, false, true, false}, &restore),
              Restore::Result::Warnings);
    EXPECT_EQ(restore.FileCount(), 0);
    EXPECT_EQ(restore.InstrumentTotal(), 605);
    EXPECT_EQ(restore.RestoredTotal(), 0);

    // An odd register makes the whole file invalid before anything is written.
    bytes = ReadBytes(path);
    bytes.insert(bytes.find("[End]", bytes.find("[RECIPE_SET_UP]")), "41463\t1.0\tOdd:\t1 \r\n");
    WriteBytes(dir_.File("odd.kel"), bytes);
    const size_t coilsBefore = Coils().size();
    ASSERT_EQ(RunRestore(dir_.File("odd.kel"), {}, &restore), Restore::Result::Failed);
    EXPECT_EQ(prompter_.LastText(),
              "Restore operation failed !\nSelected file is not a valid set-up file");
    EXPECT_EQ(Coils().size(), coilsBefore);
}

TEST_F(BackupRestore, ValuesSetToDefaultAreNoted) {
    const std::string path = dir_.File("default.kel");
    ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);
    std::string bytes = ReadBytes(path);
    // The first special value far outside its range: the instrument's check puts it back.
    const size_t special = bytes.find('\n', bytes.find("[SET_UP]"));
    const size_t line = [&] {
        size_t at = special + 1;
        for (int i = 0; i < 159; ++i)
            at = bytes.find('\n', at) + 1;
        return at;
    }();
    const size_t tab1 = bytes.find('\t', line);
    const size_t tab2 = bytes.find('\t', tab1 + 1);
    bytes.replace(tab1 + 1, tab2 - tab1 - 1, "99999999.000000");
    WriteBytes(path, bytes);
    Restore restore(*master_, kAddress, itype::kKel7, prompter_, progress_);
    ASSERT_EQ(RunRestore(path, {}, &restore), Restore::Result::Warnings) << prompter_.LastText();
    EXPECT_TRUE(restore.SetToDefault());
    EXPECT_NE(prompter_.LastText().find("\n\nNOTE! Some parameters is set to the default value !"),
              std::string::npos);
    EXPECT_EQ(Coils().back(), 102);
}

TEST_F(BackupRestore, BusFailureWhileWritingRecipesReconstructsThePrevious) {
    const std::string path = dir_.File("fail.kel");
    ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);
    // Once normal, special and batching values are in, the instrument stops answering for
    // every attempt of the next block (a recipe block).
    progress_.OnPos([this](int pos) {
        if (pos >= 164 + 629 && pos < 164 + 629 + 61) {
            sim::FaultSpec fault;
            fault.kind = sim::Fault::Silence;
            fault.count = 4;
            bus_.InjectFault(kAddress, fault);
            progress_.OnPos(nullptr);
        }
    });
    Restore restore(*master_, kAddress, itype::kKel7, prompter_, progress_);
    Kel([](sim::Kel7Model& m) { m.SetRecipeValue(61, 42.0f); });
    ASSERT_EQ(RunRestore(path, {}, &restore), Restore::Result::Failed);
    const auto texts = prompter_.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "Restore operation failed !\n(Previous set-up will be reconstructed)"),
              texts.end());
    EXPECT_EQ(Coils().back(), 103);
    Kel([&](sim::Kel7Model& m) {
        EXPECT_EQ(m.State(), 2);
        EXPECT_EQ(m.RecipeValue(61), 42.0f); // the set-up it had before the restore
    });
}

// A file taken from the instrument at address 1 restored into the one at 3: the question names
// both instruments, and the instrument keeps its address and its port's baud rate unless taking
// the file's is asked for (a new instrument replacing the one at 1).
TEST_F(BackupRestore, AnotherInstrumentsFileKeepsTheAddressUnlessAskedToTakeIt) {
    constexpr int kOther = 3;
    constexpr int kBaud = 59; // "COM1: Baudrate:", the port the master reaches them through
    sim::Kel7Options options;
    options.address = kOther;
    options.serialNumber = 2260411;
    bus_.Attach(kOther, sim::MakeKel7(options));
    Kel([](sim::Kel7Model& m) { m.SetNormalValue(kBaud, 6.0f); }); // 19200
    const std::string path = dir_.File("unit1.kel");
    ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);
    const auto other = [&](int at, int i) {
        return bus_.WithModel<sim::Kel7Model>(at,
                                              [i](sim::Kel7Model& m) { return m.NormalValue(i); });
    };

    for (const bool take : {false, true}) {
        SCOPED_TRACE(take ? "taken" : "kept");
        if (take)
            bus_.Detach(kAddress); // the broken instrument is gone
        prompter_.Clear();
        Restore restore(*master_, kOther, itype::kKel7, prompter_, progress_);
        std::string info;
        ASSERT_TRUE(restore.LoadFile(path, info));
        prompter_.Answer(true);
        RestoreSelection selection;
        selection.takeLinkSettings = take;
        ASSERT_EQ(restore.Run(selection), Restore::Result::Succeeded) << prompter_.LastText();
        const ScriptedPrompter::Box& question = prompter_.Boxes().front();
        EXPECT_TRUE(question.defaultNo);
        EXPECT_NE(question.text.find("serial number 12-3456, address 1\n  instrument:  serial "
                                     "number 226-0411, address 3\n"),
                  std::string::npos)
            << question.text;
        const int at = take ? kAddress : kOther;
        EXPECT_EQ(other(at, 57), static_cast<float>(at));
        EXPECT_EQ(other(at, kBaud), take ? 6.0f : 5.0f);
        EXPECT_NE(prompter_.LastText().find(
                      take ? "Took the file's Instrument address: 1 (was: 3)\n"
                             "Took the file's COM1: Baudrate: 19200 (was: 9600)"
                           : "Kept the instrument's own Instrument address: 3 (file: 1)\n"
                             "Kept the instrument's own COM1: Baudrate: 9600 (file: 19200)"),
                  std::string::npos)
            << prompter_.LastText();
    }
}

// The instrument keeps the settings of every port on which it answers the master ("Modbus" or
// "Modbus auto", COM1 to COM4), whichever of them the master reaches it through; a port in another
// mode (a printer) takes the file's.
TEST_F(BackupRestore, KeptLinkSettingsCoverEveryModbusPort) {
    constexpr float kModbus = 1.0f, kModbusAuto = 2.0f, kPrinter = 4.0f;
    struct Case {
        const char* what;
        int mode; // "COMn: Mode:"; the port's baud rate follows it
        float value;
        bool kept;
    };
    const Case cases[] = {{"COM2 Modbus auto", 61, kModbusAuto, true},
                          {"COM3 Modbus", 64, kModbus, true},
                          {"COM4 Modbus auto", 68, kModbusAuto, true},
                          {"COM3 Printer", 64, kPrinter, false}};
    const std::string path = dir_.File("ports.kel");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int baud = c.mode + 1, format = c.mode + 2;
        Kel([&](sim::Kel7Model& m) {
            m.SetNormalValue(c.mode, c.value);
            m.SetNormalValue(baud, 6.0f); // 19200 in the file
            m.SetNormalValue(format, 1.0f);
        });
        ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);
        Kel([&](sim::Kel7Model& m) {
            m.SetNormalValue(baud, 5.0f); // 9600 since
            m.SetNormalValue(format, 0.0f);
        });
        prompter_.Clear();
        ASSERT_EQ(RunRestore(path), Restore::Result::Succeeded) << prompter_.LastText();
        EXPECT_EQ(Kel([&](sim::Kel7Model& m) { return m.NormalValue(baud); }),
                  c.kept ? 5.0f : 6.0f);
        EXPECT_EQ(Kel([&](sim::Kel7Model& m) { return m.NormalValue(format); }),
                  c.kept ? 0.0f : 1.0f);
        Kel([&](sim::Kel7Model& m) { m.SetNormalValue(c.mode, 0.0f); });
    }
}

// The answers of a mode command lost on every attempt (or the state unreadable as well): the report
// says what the instrument did, and it is never left in remote restore.
TEST_F(BackupRestore, ALostAnswerIsSettledByTheStateBeforeTheReport) {
    const std::string path = dir_.File("lost.kel");
    ASSERT_EQ(RunBackup(path), Backup::Result::Succeeded);
    const float saved = Kel([](sim::Kel7Model& m) { return m.RecipeValue(61); });
    const auto stateRead = [](const std::vector<uint8_t>& r) {
        return r.size() >= 4 && r[1] == 3 && ((r[2] << 8) | r[3]) == reg::kState - 40001;
    };
    const auto silence = [](std::function<bool(const std::vector<uint8_t>&)> when, int count) {
        return sim::FaultSpec{.kind = sim::Fault::Silence, .count = count, .when = std::move(when)};
    };
    struct Case {
        const char* what;
        std::vector<sim::FaultSpec> faults;
        Restore::Result result;
        const char* report; // in the last box
        bool newSetup;
    };
    const Case cases[] = {
        {"enter lost",
         {silence(sim::CoilWrite(101), 4)},
         Restore::Result::Succeeded,
         "Restore operation successful !",
         true},
        {"save lost",
         {silence(sim::CoilWrite(102), 4)},
         Restore::Result::Succeeded,
         "Restore operation successful !",
         true},
        {"check refused, leave lost",
         {{.kind = sim::Fault::Exception, .count = 4, .when = sim::CoilWrite(105)},
          silence(sim::CoilWrite(103), 4)},
         Restore::Result::Failed,
         "(Previous set-up will be reconstructed)",
         false},
        {"enter lost, state unreadable",
         {silence(sim::CoilWrite(101), 4), silence(stateRead, 4)},
         Restore::Result::Failed,
         "(Previous set-up will be reconstructed)",
         false},
        {"save lost, state unreadable",
         {silence(sim::CoilWrite(102), 4), silence(stateRead, 4)},
         Restore::Result::Failed,
         "whether it saved the new set-up is not known",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Kel([](sim::Kel7Model& m) { m.SetRecipeValue(61, 42.0f); });
        prompter_.Clear();
        for (const sim::FaultSpec& f : c.faults)
            bus_.InjectFault(kAddress, f);
        EXPECT_EQ(RunRestore(path), c.result);
        bus_.ClearFaults();
        EXPECT_NE(prompter_.LastText().find(c.report), std::string::npos) << prompter_.LastText();
        Kel([&](sim::Kel7Model& m) {
            EXPECT_EQ(m.State(), 2);
            EXPECT_EQ(m.RecipeValue(61), c.newSetup ? saved : 42.0f);
        });
    }
}

} // namespace
} // namespace quarnex::test
