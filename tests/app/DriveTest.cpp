// Driving a run from the live window and marking it (the main window's Mark button, the
// live window's Log and Mark), the live chart and the viewer of the run, the panel's
// accelerators, and windows that fit the screen.
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

    test::ErrorRecorder errors;
    test::TempFolder folder;
    sim::SimulatedLm lm;
};

// Log from the live window starts the run, Mark there and in the panel mark it, and Log
// there stops it; a second press while the stopped run still ends starts nothing. Opened
// from the Chart button in the middle of the run, the live chart shows the numbers the
// window's lines show; its View Log button and the main window's open one viewer on the
// run's data log, and closing the main window closes both.
TEST_F(Drive, ARunIsStartedMarkedAndStoppedFromTheLiveWindowWhichChartsIt)
{
    for (auto [address, value] :
         {std::pair{0x73, 0x55}, {0x9A, 0x9A}, {0x90, 0x40}, {0x8F, 0x1F}, {0x6A, 0x80}, {0x69, 0x0C}})
        lm.SetByte(address, value);
    lm.SetQuiet(true);
    auto w = Create("[CurrentSet]\n1=8F\n2=69\n");
    auto* live = w->findChild<LiveWindow*>();
    ASSERT_NE(live, nullptr);
    auto* liveLog = live->findChild<QPushButton*>("btnLog");
    std::string lastLine;  // "  0.123 2000rpm  50.00mph "
    w->btnMark->click();   // no run: nothing
    test::Watch mark([&] { return w->Memo->Lines().size() >= 3 + 3; },
                     [&] {
                         live->findChild<QPushButton*>("btnMark")->click();
                         w->btnMark->click();
                         w->btnChart->click();
                     });
    test::Watch stop([&] { return w->Memo->Lines().size() >= 3 + 9; },
                     [&] {
                         live->Redraw();
                         lastLine = w->Memo->Lines().back();
                         liveLog->click();
                         liveLog->click();  // the run is still ending: ignored
                     });
    liveLog->click();
    const auto lines = w->Memo->Lines();
    EXPECT_EQ(std::ranges::count_if(lines, [](const std::string& l) { return l.starts_with("Logging  Start at"); }), 1)
        << w->MemoText();
    EXPECT_EQ(lines.back(), "Done Logging");
    EXPECT_FALSE(w->Busy());
    // Both marks in the data log (the row's marker cells; the files themselves:
    // tests/logging/LogRunTest.cpp).
    const std::string csv = folder.Read(NewestDataLog(folder.Path()).substr(folder.Path().size()));
    for (const char* number : {"1", "2"})
        EXPECT_THAT(csv, HasSubstr(std::string(",") + number + ",Manual\r\n"));

    // The strips themselves: tests/views/LiveWindowTest.cpp.
    ASSERT_TRUE(live->isVisible());
    const LiveWindow::Strip& strip = live->Strips().at(1);
    EXPECT_EQ(strip.Value->text().toStdString(), "50.00");
    EXPECT_THAT(lastLine, HasSubstr(" 50.00mph"));
    EXPECT_DOUBLE_EQ(strip.Graph->data()->at(strip.Graph->data()->size() - 1)->key, std::stod(lastLine));

    live->findChild<QPushButton*>("btnViewLog")->click();
    w->btnViewLog->click();
    const auto viewers = w->findChildren<LogViewerWindow*>();
    ASSERT_EQ(viewers.size(), 1);
    EXPECT_TRUE(viewers[0]->isVisible());
    EXPECT_THAT(viewers[0]->windowTitle().toStdString(), ::testing::ContainsRegex("[0-9_-]+\\.csv"));
    EXPECT_EQ(errors.messages, std::vector<std::string>{});
    w->close();
    EXPECT_FALSE(live->isVisible());
    EXPECT_FALSE(viewers[0]->isVisible());
}

// Every letter after "&" on the panel is used once (Setup and Save share S, as they always
// did); Ctrl+S opens Save.
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
    w->show();
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
