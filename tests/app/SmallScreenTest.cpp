// Every window of the program, filled as a sixteen-channel run or log fills it, can be as
// small as a 1280x720 screen leaves room for (a panel and the window's frame taken off),
// and a dialog opens no larger than that.
#include "app/MainWindow.h"
#include "app/ReportsWindow.h"
#include "dialogs/AlarmDialog.h"
#include "dialogs/CalculatedChannelsDialog.h"
#include "dialogs/DataSetupDialog.h"
#include "dialogs/PortSetupDialog.h"
#include "dialogs/WidebandDialog.h"
#include "logging/ParamCatalogue.h"
#include "platform/IniFile.h"
#include "session/LoggingSession.h"
#include "tests/common/TempFolder.h"
#include "views/DashWindow.h"
#include "views/LiveWindow.h"
#include "views/LogViewerWindow.h"
#include "views/PlaybackWindow.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLayout>
#include <QTableWidget>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tessek {
namespace {

// 1280x720 less a 40 px panel and a 30 px title bar; 1366x768 leaves more.
constexpr int kRoomWidth = 1280;
constexpr int kRoomHeight = 720 - 40 - 30;

std::vector<RunColumn> SixteenColumns()
{
    std::vector<RunColumn> columns;
    for (int c = 1; c <= 16; ++c)
        columns.push_back({"Channel " + std::to_string(c), "psi", 2, c <= 8});
    return columns;
}

std::string SixteenChannelLog()
{
    std::string text = "Time (s)";
    for (int c = 1; c <= 16; ++c)
        text += ",Channel " + std::to_string(c) + " (psi)";
    for (int i = 0; i < 50; ++i) {
        text += "\n" + std::to_string(i * 0.1);
        for (int c = 1; c <= 16; ++c)
            text += "," + std::to_string(c * i);
    }
    return text + "\n";
}

enum class Opens { Placed, AsMade };

// The least size the window's layout lets it have fits; so does the size it opens with,
// unless the window's placement fits that into the screen (views/WindowPlacement.h).
void ExpectFits(QWidget& window, const char* name, Opens opens = Opens::AsMade)
{
    SCOPED_TRACE(name);
    window.ensurePolished();
    if (window.layout())
        window.layout()->activate();
    const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
    EXPECT_LE(least.width(), kRoomWidth);
    EXPECT_LE(least.height(), kRoomHeight);
    if (opens == Opens::AsMade) {
        EXPECT_LE(window.width(), kRoomWidth);
        EXPECT_LE(window.height(), kRoomHeight);
    }
}

TEST(SmallScreen, EveryWindowFitsWithSixteenChannels)
{
    test::TempFolder folder;
    folder.Write("Tessek.ini", "[ComPort]\nPort=\n");
    folder.Write("wide.csv", SixteenChannelLog());
    const std::string ini = folder.File("Tessek.ini");

    TfrmMain main(folder.Path());
    ExpectFits(main, "main window", Opens::Placed);
    ReportsWindow reports;
    ExpectFits(reports, "reports");

    LiveAlarms alarms;
    LiveWindow live(alarms);
    live.RunStarted(SixteenColumns(), std::chrono::system_clock::now());
    ExpectFits(live, "Tessek Live", Opens::Placed);
    ASSERT_NE(live.Dash(), nullptr);
    ExpectFits(*live.Dash(), "dash");

    LogViewerWindow viewer;
    ASSERT_TRUE(viewer.OpenFile(QString::fromStdString(folder.File("wide.csv"))));
    auto* channels = viewer.findChild<QTableWidget*>("channelTable");
    ASSERT_EQ(channels->rowCount(), 16);
    for (int row = 0; row < 16; ++row)  // every strip shown, not just the first twelve
        channels->item(row, 0)->setCheckState(Qt::Checked);
    ExpectFits(viewer, "viewer", Opens::Placed);

    AlarmDialog alarmDialog(ini, SixteenColumns(), UnitSystem::Imperial);
    ExpectFits(alarmDialog, "alarms");
    std::vector<std::string> names;
    for (const RunColumn& c : SixteenColumns())
        names.push_back(c.Name);
    CalculatedChannelsDialog calculated(ini, names);
    ExpectFits(calculated, "calculated channels");
    LoggingSession session(folder.Path());
    WidebandDialog wideband(session);
    ExpectFits(wideband, "wideband");
    TComSetupFrm comSetup;
    ExpectFits(comSetup, "com setup");
    LoggingSettings settings;
    IniFile file(ini);
    Catalogue catalogue;
    TfrmSetup setup(settings, file, catalogue);
    ExpectFits(setup, "data setup");
}

}  // namespace
}  // namespace tessek
