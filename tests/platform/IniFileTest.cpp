#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <csignal>
#include <filesystem>

namespace tessek {
namespace {

TEST(IniFile, MissingFileGivesDefaultsAndFirstWriteCreatesIt)
{
    test::TempFolder dir;
    IniFile ini(dir.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadString("CurrentSet", "1", "12"), "12");
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 1), 1);
    EXPECT_FALSE(ini.ValueExists("AutoSave", "SaveNum"));
    ini.WriteInteger("AutoSave", "SaveNum", 3);
    EXPECT_EQ(dir.Read("Tessek.ini"), "[AutoSave]\nSaveNum=3\n");
}

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

TEST(IniFile, MalformedNumbersGiveTheDefault)
{
    test::TempFolder dir;
    dir.Write("a.ini", "[S]\nI=abc\nF=1e400\nB=2\nH=$10\nZ=0\n");
    IniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadInteger("S", "I", 2500), 2500);
    EXPECT_EQ(ini.ReadFloat("S", "F", 0.5), 0.5);
    EXPECT_TRUE(ini.ReadBool("S", "B", false));
    EXPECT_FALSE(ini.ReadBool("S", "Z", true));
    EXPECT_EQ(ini.ReadInteger("S", "H", 0), 16);
}

TEST(IniFile, WriteChangesOnlyItsOwnLineAndKeepsLineEndings)
{
    test::TempFolder dir;
    dir.Write("a.ini", "; comment\r\n[AutoSave]\r\nsavenum=1\r\n\r\n[ComPort]\r\nPort=SIM\r\n");
    IniFile ini(dir.File("a.ini"));
    ini.WriteInteger("AutoSave", "SaveNum", 2);
    ini.WriteString("ComPort", "BaudRate", "Custom");
    ini.WriteBool("CurrentSet", "Performance", true);
    EXPECT_EQ(dir.Read("a.ini"),
              "; comment\r\n[AutoSave]\r\nSaveNum=2\r\n\r\n[ComPort]\r\nPort=SIM\r\nBaudRate=Custom\r\n"
              "\r\n[CurrentSet]\r\nPerformance=1\r\n");
    // A later reader sees every write at once.
    EXPECT_EQ(IniFile(dir.File("a.ini")).ReadInteger("autosave", "savenum", 0), 2);
}

TEST(IniFile, FailedWriteThrowsAndLeavesTheFileAndNoTemporaryBehind)
{
    test::TempFolder dir;
    dir.Write("a.ini", "[S]\nK=1\n");
    IniFile ini(dir.File("a.ini"));
    // A file size limit makes the rewrite fail half-way (EFBIG), even for root.
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(ini.WriteString("S", "K", std::string(100, 'x')), std::runtime_error);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(dir.Read("a.ini"), "[S]\nK=1\n");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST(IniFile, WriteIntoMissingFolderThrows)
{
    test::TempFolder dir;
    IniFile ini(dir.File("no/such/folder/a.ini"));
    EXPECT_THROW(ini.WriteString("S", "K", "1"), std::runtime_error);
}

}  // namespace
}  // namespace tessek
