// Driving a run from the live window and marking it (the main window's Mark button, the
// live window's Log and Mark), the panel's accelerators, and windows that fit the screen.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "logfiles/DataLog.h"
#include "platform/IniFile.h"
#include "platform/WindowGeometry.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/EventLoop.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/TempFolder.h"
#include "views/LiveWindow.h"
#include "views/LogViewerWindow.h"
#include "views/WindowPlacement.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <map>

namespace tessek {
namespace {

using ::testing::HasSubstr;

class Drive : public ::testing::Test {
protected:
    std::unique_ptr<TfrmMain> Create(const std::string& more = "")
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n" + more);
        return std::make_unique<TfrmMain>(folder.Path());
    }
    int Count(const std::vector<std::string>& lines, const std::string& prefix)
    {
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
    }

    test::ErrorRecorder errors;
    test::TempFolder folder;
    sim::SimulatedLm lm;
};

// Log from the live window starts the run, Mark there and in the panel mark it, and Log
// there stops it; a second press while the stopped run still ends starts nothing.
TEST_F(Drive, ARunIsStartedMarkedAndStoppedFromTheLiveWindow)
{
    for (auto [address, value] : {std::pair{0x73, 0x55}, {0x9A, 0x9A}, {0x90, 0x40}, {0x8F, 0x1F}, {0x98, 0x80}})
        lm.SetByte(address, value);
    lm.SetQuiet(true);
    auto w = Create("[CurrentSet]\n1=8F\n2=98\n");
    auto* live = w->findChild<LiveWindow*>();
    ASSERT_NE(live, nullptr);
    auto* liveLog = live->findChild<QPushButton*>("btnLog");
    w->btnMark->click();  // no run: nothing
    test::Watch mark([&] { return w->Memo->Lines().size() >= 3 + 3; },
                     [&] {
                         live->findChild<QPushButton*>("btnMark")->click();
                         w->btnMark->click();
                     });
    test::Watch stop([&] { return w->Memo->Lines().size() >= 3 + 8; },
                     [&] {
                         liveLog->click();
                         liveLog->click();  // the run is still ending: ignored
                     });
    liveLog->click();
    const auto lines = w->Memo->Lines();
    EXPECT_EQ(Count(lines, "Logging  Start at"), 1) << w->MemoText();
    EXPECT_EQ(lines.back(), "Done Logging");
    EXPECT_FALSE(w->Busy());
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("MARK"), std::string::npos) << line;

    // Both marks in both data logs (the row's marker cells, the MSL's MARK line).
    std::string path = NewestDataLog(folder.Path()).substr(folder.Path().size());
    const std::string csv = folder.Read(path);
    const std::string msl = folder.Read(path.replace(path.size() - 3, 3, "msl"));
    for (const char* number : {"1", "2"}) {
        EXPECT_THAT(csv, HasSubstr(std::string(",") + number + ",Manual\r\n"));
        EXPECT_THAT(msl, HasSubstr(std::string("\r\nMARK 00") + number + " - Manual\r\n"));
    }
    EXPECT_EQ(errors.messages, std::vector<std::string>{});
}

// Every letter after "&" on the panel is used once (Setup and Save share S, as they always
// did); Mark sits below View Log; Ctrl+S opens Save.
TEST_F(Drive, ThePanelsAcceleratorsCollideNowhereButSetupAndSaveAndSaveHasCtrlS)
{
    auto w = Create();
    std::map<QChar, std::vector<QString>> letters;
    for (QAbstractButton* button : w->Panel1->findChildren<QAbstractButton*>()) {
        const QString text = button->text();
        const qsizetype at = text.indexOf('&');
        if (at >= 0 && at + 1 < text.size())
            letters[text.at(at + 1).toUpper()].push_back(text);
    }
    for (const auto& [letter, captions] : letters) {
        SCOPED_TRACE(QString(letter).toStdString());
        EXPECT_EQ(captions.size(), letter == 'S' ? 2u : 1u);
    }
    EXPECT_EQ(letters['M'], std::vector<QString>{"&Mark"});
    w->show();
    EXPECT_GT(w->btnMark->y(), w->btnViewLog->y());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    test::ModalAnswer<QFileDialog> cancel([](QFileDialog* dialog) { dialog->reject(); });
    QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(cancel.Answered());
}

// On the test screen, every window opens inside the available area; a remembered geometry
// comes back, also when it was left on a screen that is gone.
TEST_F(Drive, WindowsOpenInsideTheScreenAndComeBackWhereTheyWere)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect area = available.marginsRemoved(kFrameAllowance);
    // A size the live window allows: its bottom row of buttons sets its least width.
    QSize size(600, 400);
    {
        auto w = Create();
        w->show();
        w->btnChart->click();
        w->btnViewLog->click();
        auto* live = w->findChild<LiveWindow*>();
        QWidget* viewer = w->findChild<LogViewerWindow*>();
        ASSERT_NE(viewer, nullptr);
        for (QWidget* window : {static_cast<QWidget*>(w.get()), static_cast<QWidget*>(live), viewer}) {
            SCOPED_TRACE(window->windowTitle().toStdString());
            EXPECT_TRUE(area.contains(window->geometry()))
                << window->geometry().width() << "x" << window->geometry().height();
        }
        size = size.expandedTo(live->minimumSizeHint());
        live->setGeometry(area.left() + 20, area.top() + 10, size.width(), size.height());
        w->close();
    }
    IniFile ini(folder.File("Tessek.ini"));
    const auto remembered = ParseGeometry(ini.ReadString("Windows", "Live", ""));
    ASSERT_TRUE(remembered.has_value());
    EXPECT_EQ(*remembered, QRect(QPoint(area.left() + 20, area.top() + 10), size));
    EXPECT_TRUE(ParseGeometry(ini.ReadString("Windows", "Main", "")).has_value());

    // Left on a monitor to the right that is no longer there.
    ini.WriteString("Windows", "Live", QString("5000,100,%1,%2").arg(size.width()).arg(size.height()).toStdString());
    auto w = std::make_unique<TfrmMain>(folder.Path());
    auto* live = w->findChild<LiveWindow*>();
    // As remembered, but never wider or taller than the screen holds (the test's screen is
    // 800 pixels wide, narrower than Tessek Live's row of buttons).
    EXPECT_EQ(live->size(), size.boundedTo(area.size()));
    EXPECT_TRUE(area.contains(live->geometry()));
}

}  // namespace
}  // namespace tessek
