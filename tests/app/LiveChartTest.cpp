// The live chart fed by a real logging run against the simulated LM: opened in the middle
// of the run from the Chart button, it shows the numbers the window's lines show, and its
// View Log button opens the log viewer on the run's data log.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "platform/ErrorDisplay.h"
#include "plots/LiveWindow.h"
#include "plots/LogViewerWindow.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <regex>

namespace tessek {
namespace {

template <class W>
W* ShownWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<W*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

TEST(LiveChart, OpenedDuringARunItShowsTheLoggedValues)
{
    test::ErrorRecorder errors;
    test::TempFolder folder;
    sim::SimulatedLm lm;
    sim::LmMemory memory{};
    for (auto [address, value] : std::initializer_list<std::pair<uint8_t, uint8_t>>{
             {0x73, 0x55}, {0x9A, 0x9A}, {0x90, 0x40}, {0x8F, 0x1F}, {0x6A, 0x80}, {0x69, 0x0C}, {0x86, 0x5A}})
        memory[address] = value;
    lm.SetMemory(memory);
    lm.SetQuiet(true);
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n1=8F\n2=69\n3=86\n4=9A\n");
    TfrmMain window(folder.Path());

    // Inside the run: Chart after the third sample line, a look at the chart after the
    // ninth, then Log again to stop.
    LiveWindow* live = nullptr;
    std::string lastLine;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const size_t lines = window.Memo->Lines().size();
        if (!live && lines >= 3 + 3) {
            window.btnChart->click();
            live = ShownWindow<LiveWindow>();
        } else if (live && lines >= 3 + 9) {
            watch.stop();
            live->Redraw();
            lastLine = window.Memo->Lines().back();
            window.btnLog->click();
        }
    });
    watch.start(1);
    window.btnLog->click();
    ASSERT_NE(live, nullptr) << window.MemoText();

    // "  0.123 2000rpm  50.00mph  0.86psi 131.9F (9A) "
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lastLine, m, std::regex(" *([0-9.]+) 2000rpm  50.00mph  0.86psi 131.9F \\(9A\\) ")))
        << lastLine;
    const double time = std::stod(m[1].str());
    const struct {
        const char* name;
        const char* value;
        double number;
    } expected[] = {{"Engine Speed", "2000", 2000},
                    {"Road Speed", "50.00", 50},
                    {"MAP", "0.86", 0.86},
                    {"Coolant Temp", "131.9", 131.9}};
    ASSERT_EQ(live->Strips().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const LiveWindow::Strip& strip = live->Strips()[i];
        EXPECT_EQ(strip.Name->text().toStdString(), expected[i].name);
        EXPECT_EQ(strip.Value->text().toStdString(), expected[i].value);
        const auto data = strip.Graph->data();
        ASSERT_GT(data->size(), 3);  // the samples before the window was opened are there too
        EXPECT_DOUBLE_EQ(data->at(data->size() - 1)->key, time);
        EXPECT_DOUBLE_EQ(data->at(data->size() - 1)->value, expected[i].number);
    }

    // The live window's own View Log button opens the viewer on this run's log.
    live->findChild<QPushButton*>("btnViewLog")->click();
    LogViewerWindow* viewer = ShownWindow<LogViewerWindow>();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(std::regex_search(viewer->windowTitle().toStdString(), std::regex("[0-9_-]+\\.csv")))
        << viewer->windowTitle().toStdString();
    EXPECT_EQ(errors.messages, std::vector<std::string>{});

    // Closing the main window closes the windows beside it.
    window.close();
    EXPECT_FALSE(live->isVisible());
    EXPECT_FALSE(viewer->isVisible());
}

}  // namespace
}  // namespace tessek
