// The ways to the log viewer: the View Log button (the latest run's log) and the viewer on
// its own, as `tessek --view FILE` starts it.
#include "app/MainWindow.h"
#include "app/StandaloneViewer.h"
#include "logging/DataLog.h"
#include "plots/LogViewerWindow.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <thread>

namespace tessek {
namespace {

const char* const kLog = "Time (s),Engine Speed (rpm)\r\n0.000,850\r\n0.500,900\r\n1.000,950\r\n";

// The viewer windows that are shown now.
std::vector<LogViewerWindow*> ShownViewers()
{
    std::vector<LogViewerWindow*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* viewer = qobject_cast<LogViewerWindow*>(widget); viewer && viewer->isVisible())
            shown.push_back(viewer);
    return shown;
}

std::string StatusOf(const QWidget& viewer)
{
    const auto* status = viewer.findChild<QLabel*>("status");
    return status ? status->text().toStdString() : std::string();
}

TEST(NewestDataLog, IsTheCsvWrittenLast)
{
    test::TempFolder folder;
    EXPECT_EQ(NewestDataLog(folder.Path()), "");  // no logs folder yet
    std::filesystem::create_directory(folder.File("logs"));
    folder.Write("logs/2026-12-06_14-03-27.csv", kLog);
    folder.Write("logs/2026-12-06_14-03-27.msl", kLog);
    folder.Write("logs/notes.txt", "");
    namespace fs = std::filesystem;
    const auto earlier = fs::last_write_time(folder.File("logs/2026-12-06_14-03-27.csv"));
    folder.Write("logs/2026-12-06_14-03-27_2.csv", kLog);
    fs::last_write_time(folder.File("logs/2026-12-06_14-03-27_2.csv"), earlier + std::chrono::seconds(1));
    EXPECT_EQ(NewestDataLog(folder.Path()), folder.File("logs/2026-12-06_14-03-27_2.csv"));
    // Older runs are found by time, not by name.
    folder.Write("logs/2026-12-05_09-00-00.csv", kLog);
    fs::last_write_time(folder.File("logs/2026-12-05_09-00-00.csv"), earlier - std::chrono::hours(24));
    EXPECT_EQ(NewestDataLog(folder.Path()), folder.File("logs/2026-12-06_14-03-27_2.csv"));
}

TEST(LogViewerStart, ViewLogOpensTheLatestRunAndRaisesTheSameWindowAgain)
{
    test::TempFolder folder;
    test::PtyPeer peer;
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + peer.SlavePath() + "\n");
    {
        TfrmMain window(folder.Path());
        window.btnViewLog->click();
        ASSERT_EQ(ShownViewers().size(), 1u);  // without a log the viewer still opens, empty
        std::filesystem::create_directory(folder.File("logs"));
        folder.Write("logs/2026-12-06_14-03-27.csv", kLog);
        window.btnViewLog->click();
        const auto shown = ShownViewers();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_NE(StatusOf(*shown[0]).find("3 rows read"), std::string::npos) << StatusOf(*shown[0]);
        EXPECT_EQ(shown[0]->parentWidget(), &window);
    }
    EXPECT_TRUE(ShownViewers().empty()) << "the viewer goes with the main window";
}

TEST(LogViewerStart, TheViewerOnItsOwnNeedsNoPortAndReportsABadFile)
{
    test::TempFolder folder;
    folder.Write("run.csv", kLog);
    auto viewer = OpenStandaloneViewer(QString::fromStdString(folder.File("run.csv")));
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_NE(StatusOf(*viewer).find("3 rows read"), std::string::npos) << StatusOf(*viewer);
    EXPECT_NE(viewer->windowTitle().toStdString().find("run.csv"), std::string::npos);

    auto missing = OpenStandaloneViewer(QString::fromStdString(folder.File("missing.csv")));
    EXPECT_TRUE(missing->isVisible());
    EXPECT_NE(StatusOf(*missing).find("missing.csv"), std::string::npos) << StatusOf(*missing);
}

}  // namespace
}  // namespace tessek
