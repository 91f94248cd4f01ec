// The main window's files: an unreadable settings file, temporaries of killed writes,
// and a log that could not be saved. Nothing the user had is lost or overwritten.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(MainWindowFiles, AnUnreadableSettingsFileIsReportedOnceAndLeftAsItIs)
{
    test::TempFolder folder;
    std::filesystem::create_directory(folder.File("Tessek.ini"));
    test::ErrorRecorder errors;
    {
        TfrmMain w(folder.Path());
        ASSERT_EQ(errors.messages.size(), 1u);
        EXPECT_TRUE(Contains(errors.messages[0], folder.File("Tessek.ini"))) << errors.messages[0];
        EXPECT_TRUE(Contains(errors.messages[0], std::strerror(EISDIR))) << errors.messages[0];
        // The start-up goes on with the default settings; the port it was meant to open
        // is unknown, so none is opened.
        EXPECT_EQ(w.Memo->Lines(), (Lines{folder.Path(), "Not Connected to LM"}));
        EXPECT_FALSE(w.ComPort.Connected());
        EXPECT_EQ(w.LogSettings.SaveNum, 1);
        EXPECT_EQ(w.LogSettings.CarWeight, 2500);
    }
    // SaveNum cannot be stored at the close: said, naming the file; nothing replaced it.
    ASSERT_EQ(errors.messages.size(), 2u);
    EXPECT_TRUE(Contains(errors.messages[1], folder.File("Tessek.ini"))) << errors.messages[1];
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("Tessek.ini")));
}

TEST(MainWindowFiles, StartUpRemovesTemporariesOfKilledSettingsWrites)
{
    test::TempFolder folder;
    sim::SimulatedLm lm;
    const std::string ini = "[ComPort]\nPort=" + lm.SlavePath() + "\n";
    folder.Write("Tessek.ini", ini);
    folder.Write("Tessek.ini.Ab12Cd", "[ComPort]\n");
    folder.Write("Tessek.ini.zzzzzz", "");
    folder.Write("Notes.txt.abcdef", "kept");
    TfrmMain w(folder.Path());
    EXPECT_FALSE(folder.Exists("Tessek.ini.Ab12Cd"));
    EXPECT_FALSE(folder.Exists("Tessek.ini.zzzzzz"));
    EXPECT_EQ(folder.Read("Notes.txt.abcdef"), "kept");
    EXPECT_EQ(folder.Read("Tessek.ini"), ini);
}

// A log that the full disk kept out of TempLog stays in the text area: the commands that
// would clear it ask first, and only a confirmed discard lets them go on.
TEST(MainWindowFiles, ALogThatCouldNotBeSavedIsKeptUntilDiscarded)
{
    test::TempFolder folder;
    sim::SimulatedLm lm;
    lm.SetQuiet(true);
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n1=8F\n");
    test::ErrorRecorder errors;
    // The waits that only run out (the run's extra handshake byte, the requests after the
    // stop) end after 100 ms of silence instead of their real 500 ms.
    const auto time = std::make_shared<test::ScriptedTime>(100);
    TfrmMain w(
        folder.Path(), [t = time.get()] { return t->Now(); }, time);
    // Presses Log (to stop a run) once `requests` more requests have reached the LM.
    QTimer stopper;
    uint32_t stopAt = 0;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (w.Busy() && lm.RequestCount() >= stopAt) {
            stopper.stop();
            w.btnLog->click();
        }
    });
    const auto stopAfter = [&](uint32_t requests) {
        stopAt = lm.RequestCount() + requests;
        stopper.start(1);
    };

    stopAfter(3 + 2);  // the header and one sample: more than the file may hold
    {
        const test::FileSizeLimit full(100);
        w.btnLog->click();
    }
    ASSERT_EQ(errors.messages.size(), 1u) << w.MemoText();
    EXPECT_TRUE(Contains(errors.messages[0], folder.File("TempLog1.txt"))) << errors.messages[0];
    EXPECT_TRUE(Contains(errors.messages[0], std::strerror(EFBIG))) << errors.messages[0];
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
    EXPECT_EQ(IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 0);
    const Lines kept = w.Memo->Lines();
    ASSERT_EQ(kept.back(), "Done Logging");

    for (QPushButton* button : {w.btnLog, w.btnCodes, w.btnGetAdaptives}) {
        SCOPED_TRACE(button->objectName().toStdString());
        const uint32_t requests = lm.RequestCount();
        test::ModalAnswer<QMessageBox> keep([](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); }, 3000);
        stopAfter(50);  // ends a run that should not have started
        button->click();
        EXPECT_TRUE(keep.Answered());
        EXPECT_EQ(w.Memo->Lines(), kept);
        EXPECT_EQ(lm.RequestCount(), requests);
    }

    test::ModalAnswer<QMessageBox> discard([](QMessageBox* box) { box->button(QMessageBox::Discard)->click(); }, 3000);
    stopAfter(3 + 2);
    w.btnLog->click();
    EXPECT_TRUE(discard.Answered());
    EXPECT_EQ(w.Memo->Lines().front().rfind("Logging  Start at ", 0), 0u);
    EXPECT_EQ(folder.Read("TempLog1.txt"), w.MemoText());
    EXPECT_EQ(errors.messages.size(), 1u);
}

}  // namespace
}  // namespace tessek
