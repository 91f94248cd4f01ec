// Files written for the user (automatic logs, Save) are replaced whole or not at all.
#include "platform/AtomicFile.h"
#include "platform/MemoLines.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <tuple>

namespace tessek {
namespace {

TEST(SaveToFile, AFailedSaveLeavesTheOldFileWholeAndNothingElse)
{
    test::TempFolder dir;
    dir.Write("TempLog1.txt", "the only complete copy\r\n");
    MemoLines memo;
    for (int i = 0; i < 100; ++i)
        memo.AddLine("  1.234 2000rpm  50.00mph ");
    try {
        const test::FileSizeLimit full(64);
        memo.SaveToFile(dir.File("TempLog1.txt"));
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(dir.File("TempLog1.txt")), std::string::npos) << message;
        EXPECT_NE(message.find(std::strerror(EFBIG)), std::string::npos) << message;
    }
    EXPECT_EQ(dir.Read("TempLog1.txt"), "the only complete copy\r\n");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    memo.SaveToFile(dir.File("TempLog1.txt"));
    EXPECT_EQ(dir.Read("TempLog1.txt"), memo.SaveText());
}

// An automatic file is made new: whatever holds its name, a file, a folder or a link
// (one that points nowhere too), is left as it was and nothing is written through it.
TEST(SaveToNewFile, NeverFollowsALinkNorReplacesWhatHoldsTheName)
{
    test::TempFolder dir;
    MemoLines memo;
    memo.AddLine("Logging  Start at 2026-12-06 14:03:27");
    dir.Write("taken.txt", "an earlier log\r\n");
    std::filesystem::create_directory(dir.File("folder.txt"));
    std::filesystem::create_symlink(dir.File("elsewhere.txt"), dir.File("dangling.txt"));
    std::filesystem::create_symlink(dir.File("taken.txt"), dir.File("linked.txt"));
    const std::tuple<const char*, bool> rows[] = {{"free.txt", true},
                                                  {"taken.txt", false},
                                                  {"folder.txt", false},
                                                  {"dangling.txt", false},
                                                  {"linked.txt", false}};
    for (const auto& [name, written] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(memo.SaveToNewFile(dir.File(name)), written);
    }
    EXPECT_EQ(dir.Read("free.txt"), memo.SaveText());
    EXPECT_EQ(dir.Read("taken.txt"), "an earlier log\r\n");
    EXPECT_FALSE(dir.Exists("elsewhere.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("dangling.txt")));
    // Nothing but the names above: no temporary left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 5u);
    EXPECT_THROW(memo.SaveToNewFile(dir.File("missing/free.txt")), std::runtime_error);
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
