// Where Tessek.ini and the logs live when the executable's folder cannot be written.
#include "platform/ProgramFolder.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessek {
namespace {

TEST(ProgramFolder, AReadOnlyExecutableFolderHandsItsSettingsToThePerUserFolderOnce)
{
    test::TempFolder dir;
    std::filesystem::create_directory(dir.File("bin"));
    dir.Write("bin/Tessek.ini", "[ComPort]\r\nPort=/dev/ttyUSB0\r\n[AutoSave]\r\nSaveNum=42\r\n");
    const std::string exe = dir.File("bin");
    const std::string user = dir.File("home/Tessek");

    EXPECT_EQ(ChooseProgramFolder(exe, true, user), exe + "/");
    EXPECT_FALSE(dir.Exists("home"));

    EXPECT_EQ(ChooseProgramFolder(exe, false, user), user + "/");
    EXPECT_EQ(dir.Read("home/Tessek/Tessek.ini"), dir.Read("bin/Tessek.ini"));

    // From then on the per-user file is the one in use; it is never replaced.
    dir.Write("home/Tessek/Tessek.ini", "[AutoSave]\r\nSaveNum=43\r\n");
    EXPECT_EQ(ChooseProgramFolder(exe, false, user), user + "/");
    EXPECT_EQ(dir.Read("home/Tessek/Tessek.ini"), "[AutoSave]\r\nSaveNum=43\r\n");

    // Without a file in the executable's folder there is nothing to hand over.
    EXPECT_EQ(ChooseProgramFolder(dir.File("empty"), false, dir.File("other")), dir.File("other") + "/");
    EXPECT_FALSE(dir.Exists("other/Tessek.ini"));
}

TEST(ProgramFolder, TheFirstUseOfThePerUserFolderIsTold)
{
    test::TempFolder dir;
    const std::string user = dir.File("home/Tessek");
    bool firstUse = true;
    ChooseProgramFolder(dir.File("bin"), true, user, &firstUse);
    EXPECT_FALSE(firstUse);  // the executable's own folder is nobody's first use
    ChooseProgramFolder(dir.File("bin"), false, user, &firstUse);
    EXPECT_TRUE(firstUse);
    dir.Write("home/Tessek/Tessek.ini", "[AutoSave]\r\nSaveNum=1\r\n");
    ChooseProgramFolder(dir.File("bin"), false, user, &firstUse);
    EXPECT_FALSE(firstUse);

    // A Tessek.ini handed over from the executable's folder is still the user's first start.
    std::filesystem::create_directory(dir.File("seed"));
    dir.Write("seed/Tessek.ini", "[AutoSave]\r\nSaveNum=7\r\n");
    ChooseProgramFolder(dir.File("seed"), false, dir.File("fresh"), &firstUse);
    EXPECT_TRUE(firstUse);
    EXPECT_TRUE(dir.Exists("fresh/Tessek.ini"));
}

TEST(ProgramFolder, SystemFoldersOfProgramsAreNeverTheProgramFolder)
{
    const struct {
        const char* folder;
        bool system;
    } rows[] = {
        {"/usr/bin", true},
        {"/usr/local/bin/", true},
        {"/usr/bin/tessek/", false},
        {"/home/u/opt/tessek/bin/", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        EXPECT_EQ(IsSystemProgramsFolder(row.folder), row.system);
    }
}

}  // namespace
}  // namespace tessek
