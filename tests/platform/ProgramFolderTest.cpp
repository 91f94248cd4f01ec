// Where Tessek.ini and the logs live when the executable's folder cannot be written.
#include "platform/ProgramFolder.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessek {
namespace {

// The settings handed over once, and whether the folder chosen is the user's first use of it.
TEST(ProgramFolder, AReadOnlyExecutableFolderHandsItsSettingsToThePerUserFolderOnceAndTellsTheFirstUse)
{
    test::TempFolder dir;
    std::filesystem::create_directory(dir.File("bin"));
    dir.Write("bin/Tessek.ini", "[ComPort]\r\nPort=/dev/ttyUSB0\r\n[AutoSave]\r\nSaveNum=42\r\n");
    const std::string exe = dir.File("bin");
    const std::string user = dir.File("home/Tessek");
    bool firstUse = true;

    EXPECT_EQ(ChooseProgramFolder(exe, true, user, &firstUse), exe + "/");
    EXPECT_FALSE(firstUse);  // the executable's own folder is nobody's first use
    EXPECT_FALSE(dir.Exists("home"));

    // A Tessek.ini handed over from the executable's folder is still the user's first start.
    EXPECT_EQ(ChooseProgramFolder(exe, false, user, &firstUse), user + "/");
    EXPECT_TRUE(firstUse);
    EXPECT_EQ(dir.Read("home/Tessek/Tessek.ini"), dir.Read("bin/Tessek.ini"));

    // From then on the per-user file is the one in use; it is never replaced.
    dir.Write("home/Tessek/Tessek.ini", "[AutoSave]\r\nSaveNum=43\r\n");
    EXPECT_EQ(ChooseProgramFolder(exe, false, user, &firstUse), user + "/");
    EXPECT_FALSE(firstUse);
    EXPECT_EQ(dir.Read("home/Tessek/Tessek.ini"), "[AutoSave]\r\nSaveNum=43\r\n");

    // Without a file in the executable's folder there is nothing to hand over.
    EXPECT_EQ(ChooseProgramFolder(dir.File("empty"), false, dir.File("other"), &firstUse), dir.File("other") + "/");
    EXPECT_TRUE(firstUse);
    EXPECT_FALSE(dir.Exists("other/Tessek.ini"));
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
