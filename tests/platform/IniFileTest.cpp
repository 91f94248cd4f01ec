#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

namespace tessek {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// (A missing file read as defaults and made by the first write: the log viewer's units
// test. A value that is no number reads as the default: the number texts' tests and the
// settings that read them.)
TEST(IniFile, MatchesSectionsAndKeysWithoutCaseAndTrimsValues)
{
    test::TempFolder dir;
    dir.Write("a.ini", "[currentset]\r\n  MAPFUNCTION =  0.1  \r\n1=\r\n[Other]\r\n1=99\r\n");
    IniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadFloat("CurrentSet", "MapFunction", 0.172266), 0.1);
    EXPECT_EQ(ini.ReadString("CurrentSet", "1", "12"), "");
    EXPECT_TRUE(ini.ValueExists("CURRENTSET", "1"));
    EXPECT_EQ(ini.ReadString("other", "1", ""), "99");
}

// Two programs on one file (two IniFile objects, each on a thread of its own) writing keys
// at the same time: none of them is lost to the other's write of an older copy.
TEST(IniFile, TwoWritersAtOnceLoseNoChange)
{
    test::TempFolder dir;
    constexpr int kKeys = 40;
    const auto key = [](int k) { return std::string("K").append(std::to_string(k)); };
    const auto writeKeys = [&](const std::string& section) {
        IniFile ini(dir.File("Tessek.ini"));
        for (int k = 0; k < kKeys; ++k)
            ini.WriteInteger(section, key(k), k);
    };
    std::thread window(writeKeys, "Window"), logger(writeKeys, "Logger");
    window.join();
    logger.join();
    const IniFile ini(dir.File("Tessek.ini"));
    int kept = 0;
    for (const char* section : {"Window", "Logger"})
        for (int k = 0; k < kKeys; ++k)
            kept += ini.ReadInteger(section, key(k), -1) == k;
    EXPECT_EQ(kept, 2 * kKeys);
}

// A write changes its key's line, or adds one after the section's last entry, or a new
// section; of several sections of one name only the first counts. Whatever it does not
// change stays byte for byte: comments, blank lines, each line's own ending, a last line
// without a line break, a byte order mark in front of the first section (which a later
// reader sees through too).
TEST(IniFile, WriteKeepsEveryOtherLineByteForByte)
{
    const struct {
        const char* name;
        std::string before;
        std::string after;  // after writing K=9 into section S
    } rows[] = {
        {"mixed endings", "[S]\r\nA=1\nK=0\r\n[T]\nB=2\r\n", "[S]\r\nA=1\nK=9\r\n[T]\nB=2\r\n"},
        {"a key in another letter case takes the writer's", "; note\r\n[s]\r\nk=0\r\n\r\n[T]\r\n",
         "; note\r\n[s]\r\nK=9\r\n\r\n[T]\r\n"},
        {"a new key goes before the blank line after the section", "[S]\nA=1\n\n[T]\n", "[S]\nA=1\nK=9\n\n[T]\n"},
        {"only the first section of a name counts", "[S]\nA=1\n[T]\n[s]\nK=0\n", "[S]\nA=1\nK=9\n[T]\n[s]\nK=0\n"},
        {"new key takes the ending of the line above", "[S]\nA=1\r\n[T]\n", "[S]\nA=1\r\nK=9\r\n[T]\n"},
        {"no final line break", "[S]\nA=1\n[T]\nB=2", "[S]\nA=1\nK=9\n[T]\nB=2"},
        {"new section after an unfinished last line", "[T]\r\nB=2", "[T]\r\nB=2\r\n\r\n[S]\r\nK=9\r\n"},
        {"byte order mark", "\xEF\xBB\xBF[S]\r\nK=0\r\n", "\xEF\xBB\xBF[S]\r\nK=9\r\n"},
        {"lone carriage returns stay inside their line", "[S]\nA=x\ry\nK=0\n", "[S]\nA=x\ry\nK=9\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempFolder dir;
        dir.Write("a.ini", row.before);
        IniFile ini(dir.File("a.ini"));
        ini.WriteString("S", "K", "9");
        EXPECT_EQ(dir.Read("a.ini"), row.after);
        EXPECT_EQ(IniFile(dir.File("a.ini")).ReadInteger("S", "K", 1), 9) << "read back from the file";
    }
}

TEST(IniFile, ASymbolicLinkIsWrittenThroughToItsTarget)
{
    test::TempFolder dir;
    std::filesystem::create_directory(dir.File("real"));
    dir.Write("real/Tessek.ini", "[S]\nK=0\n");
    std::filesystem::create_symlink("real/Tessek.ini", dir.File("Tessek.ini"));
    IniFile ini(dir.File("Tessek.ini"));
    ini.WriteString("S", "K", "1");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("Tessek.ini")));
    EXPECT_EQ(dir.Read("real/Tessek.ini"), "[S]\nK=1\n");
    // No temporary left beside the target.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("real")), {}), 1);
}

// A file that exists but cannot be read (here a link to itself) is never taken for an
// empty one: reads and writes fail with the file's name and the system's reason, and the
// file stays as it is. (A folder in its place: the main window's tests.)
TEST(IniFile, AnUnreadableFileIsNeitherReadAsEmptyNorWrittenOver)
{
    test::TempFolder dir;
    std::filesystem::create_symlink("Tessek.ini", dir.File("Tessek.ini"));
    IniFile ini(dir.File("Tessek.ini"));
    const auto namesTheFileAndWhy = AllOf(HasSubstr(dir.File("Tessek.ini")), HasSubstr(std::strerror(ELOOP)));
    EXPECT_THAT([&] { ini.ReadInteger("AutoSave", "SaveNum", 1); },
                ThrowsMessage<std::runtime_error>(namesTheFileAndWhy));
    EXPECT_THAT([&] { ini.WriteInteger("AutoSave", "SaveNum", 1); },
                ThrowsMessage<std::runtime_error>(namesTheFileAndWhy));
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("Tessek.ini")), "Tessek.ini");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace tessek
