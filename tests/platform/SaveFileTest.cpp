// Files written for the user (automatic logs, Save) are replaced whole or not at all.
#include "platform/AtomicFile.h"
#include "platform/MemoLines.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/common/MemoryHeadroom.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>

namespace tessek {
namespace {

// The failure's message (the file's name and the system's reason) is the main window's
// test of a full disk.
TEST(SaveToFile, AFailedSaveLeavesTheOldFileWholeAndNothingElse)
{
    test::TempFolder dir;
    dir.Write("TempLog1.txt", "the only complete copy\r\n");
    MemoLines memo;
    for (int i = 0; i < 100; ++i)
        memo.AddLine("  1.234 2000rpm  50.00mph ");
    {
        const test::FileSizeLimit full(64);
        EXPECT_THROW(memo.SaveToFile(dir.File("TempLog1.txt")), std::runtime_error);
    }
    EXPECT_EQ(dir.Read("TempLog1.txt"), "the only complete copy\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    memo.SaveToFile(dir.File("TempLog1.txt"));
    EXPECT_EQ(dir.Read("TempLog1.txt"), memo.SaveText());
}

// An automatic file is made new: a folder or a link to a file that holds its name is left
// as it was and nothing is written through it. (A free name, a taken one and a link that
// points nowhere: the logging run's test of automatic logs.)
TEST(SaveToNewFile, NeverFollowsALinkNorReplacesWhatHoldsTheName)
{
    test::TempFolder dir;
    MemoLines memo;
    memo.AddLine("Logging  Start at 2026-12-06 14:03:27");
    dir.Write("taken.txt", "an earlier log\r\n");
    std::filesystem::create_directory(dir.File("folder.txt"));
    std::filesystem::create_symlink(dir.File("taken.txt"), dir.File("linked.txt"));
    EXPECT_FALSE(memo.SaveToNewFile(dir.File("folder.txt")));
    EXPECT_FALSE(memo.SaveToNewFile(dir.File("linked.txt")));
    EXPECT_EQ(dir.Read("taken.txt"), "an earlier log\r\n");
    // Nothing but the names above: no temporary left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
    EXPECT_THROW(memo.SaveToNewFile(dir.File("missing/free.txt")), std::runtime_error);
}

// Replacing a file keeps its mode, with a new file (a new inode) in its place; a file the
// program creates gets the mode the umask leaves of 0666, as the data logs do.
TEST(SaveToFile, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask)
{
    test::TempFolder dir;
    MemoLines memo;
    memo.AddLine("Logging  Start at 2026-12-06 14:03:27");
    using Writer = std::function<void(const std::string& path)>;
    // Save replaces or creates a file as the settings (their copy into the user's folder too)
    // and every other atomic write do.
    const Writer save = [&](const std::string& path) { memo.SaveToFile(path); };
    const auto stat = [](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return std::pair(st.st_mode & 07777, st.st_ino);
    };
    const std::string file = dir.File("Tessek.ini");
    for (const mode_t mode : {0600, 0664}) {
        SCOPED_TRACE(::testing::Message() << "mode " << std::oct << mode);
        dir.Write("Tessek.ini", "[S]\nK=0\n");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        const auto before = stat(file);
        save(file);
        const auto after = stat(file);
        EXPECT_EQ(after.first, mode);
        EXPECT_NE(after.second, before.second);
    }

    const std::vector<std::tuple<const char*, Writer>> creating = {
        {"Save", save},
        {"automatic log", [&](const std::string& path) { EXPECT_TRUE(memo.SaveToNewFile(path)); }},
    };
    const mode_t umaskBefore = ::umask(0);
    for (const mode_t mask : {022, 077, 002}) {
        ::umask(mask);
        for (const auto& [name, write] : creating) {
            SCOPED_TRACE(::testing::Message() << name << ", umask " << std::oct << mask);
            std::filesystem::remove(file);
            write(file);
            EXPECT_EQ(stat(file).first, 0666 & ~mask);
        }
    }
    ::umask(umaskBefore);
}

// A run's text is saved a piece at a time, never as one copy of it: a child process that
// holds 48 MB of text and may take only 16 MB more saves it whole.
TEST(SaveToFile, ALongTextIsSavedWithoutASecondCopyOfIt)
{
    test::TempFolder dir;
    constexpr int kLines = 600000;
    const std::string line(78, 'x');
    std::optional<MemoLines> memo;  // filled in the child only
    const int code = test::InChildWithHeadroom(
        size_t{16} << 20,
        [&] {
            memo.emplace();
            for (int i = 0; i < kLines; ++i)
                memo->AddLine(line);
        },
        [&] {
            memo->SaveToFile(dir.File("Saved.txt"));
            return memo->SaveToNewFile(dir.File("TempLog1.txt")) ? 0 : 2;
        });
    ASSERT_EQ(code, 0) << "1: out of memory, negative: killed by that signal";
    for (const char* name : {"Saved.txt", "TempLog1.txt"}) {
        EXPECT_EQ(std::filesystem::file_size(dir.File(name)), kLines * (line.size() + 2)) << name;
        EXPECT_EQ(dir.Read(name).substr(0, 2 * (line.size() + 2)), line + "\r\n" + line + "\r\n") << name;
    }
}

// A write killed before its rename leaves "<name>.XXXXXX" behind; only those go.
TEST(SaveToFile, StaleTemporariesOfTheFileAreRemoved)
{
    test::TempFolder dir;
    std::filesystem::create_directory(dir.File("real"));
    std::filesystem::create_symlink("real/Tessek.ini", dir.File("Tessek.ini"));
    const char* stale[] = {"real/Tessek.ini.a1B2c3", "real/Tessek.ini.XXXXXX"};
    const char* kept[] = {"real/Tessek.ini",        "real/Tessek.ini.abc",   "real/Tessek.ini.abcdefg",
                          "real/Tessek.ini.ab-def", "real/Other.ini.abcdef", "Tessek.ini.abcdef"};
    for (const char* name : stale)
        dir.Write(name, "[S]\n");
    for (const char* name : kept)
        dir.Write(name, "[S]\n");
    std::filesystem::create_directory(dir.File("real/Tessek.ini.folder"));
    EXPECT_EQ(RemoveStaleTemporaries(dir.File("Tessek.ini")), 2);
    for (const char* name : stale)
        EXPECT_FALSE(dir.Exists(name)) << name;
    for (const char* name : kept)
        EXPECT_TRUE(dir.Exists(name)) << name;
    EXPECT_TRUE(dir.Exists("real/Tessek.ini.folder"));
}

}  // namespace
}  // namespace tessek
