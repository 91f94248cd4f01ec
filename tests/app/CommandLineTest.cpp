// The program's command line, run as a child process: a copy of the program in a private
// program folder whose Tessek.ini names a pseudo-terminal of the test, so that a command
// line that wrongly starts the window touches nothing else.
#include "platform/BuildInfo.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <string>

namespace tessek {
namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CommandLineTest : public ::testing::Test {
protected:
    CommandLineTest()
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + pty.SlavePath() + "\n");
        const QString program = QCoreApplication::applicationDirPath() + "/tessek";
        EXPECT_TRUE(QFile::copy(program, QString::fromStdString(folder.File("tessek")))) << program.toStdString();
    }

    // `display`: false runs it with no window system at all.
    Outcome Start(const QStringList& arguments, bool display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (display)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            env.remove("QT_QPA_PLATFORM");
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(folder.File("tessek")), arguments);
        Outcome run;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "still running: the window was started";
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    test::TempFolder folder;
    test::PtyPeer pty;
};

TEST_F(CommandLineTest, VersionAndHelpNeedNoDisplay)
{
    const Outcome version = Start({"--version"}, false);
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out, std::string("Tessek ") + kVersion + "\n");

    const Outcome help = Start({"--help"}, false);
    EXPECT_EQ(help.exitCode, 0) << help.err;
    for (const char* part : {"Usage:", "--version", "--help", "--view <FILE>", "engine control module"}) {
        SCOPED_TRACE(part);
        EXPECT_NE(help.out.find(part), std::string::npos) << help.out;
    }
}

TEST_F(CommandLineTest, ToolkitOptionsAreTakenOutUnknownOptionsRefused)
{
    const Outcome version = Start({"-platform", "offscreen", "--version"}, true);
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out, std::string("Tessek ") + kVersion + "\n");

    const Outcome unknown = Start({"--no-such-option"}, true);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no-such-option"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace tessek
