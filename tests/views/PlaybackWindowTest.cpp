// The viewer's Play button on the offscreen platform: Tessek Live of its own, plainly a
// playback, with the log's channels and a calculated one, whose Next marker button stops at
// the alarm a limit raises, marked on the chart; nothing is written.
#include "platform/ProgramFolder.h"
#include "views/LogViewerWindow.h"
#include "views/PlaybackWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/common/GeneratedLog.h"
#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

TEST(PlaybackWindowTest, TheViewersPlayButtonPlaysTheLogThroughALiveWindowThatSaysSo)
{
    test::TempFolder dir;
    const std::string programFolder = ProgramFolder();
    SetProgramFolder(dir.Path());
    const std::string settings =
        "[Alarms]\nMAP=\nEngine Speed=above 1900\n[Calculated]\nDouble rpm=[Engine Speed] * 2\n";
    dir.Write("Tessek.ini", settings);
    dir.Write("run.csv", test::GeneratedLog());
    {
        LogViewerWindow viewer;
        viewer.show();
        auto* play = viewer.findChild<QPushButton*>("btnPlay");
        ASSERT_NE(play, nullptr);
        EXPECT_FALSE(play->isEnabled()) << "no log open";
        ASSERT_TRUE(viewer.OpenFile(QString::fromStdString(dir.File("run.csv"))));
        QTest::mouseClick(play, Qt::LeftButton);
        auto* live = dynamic_cast<PlaybackWindow*>(viewer.findChild<LiveWindow*>());
        ASSERT_NE(live, nullptr);
        EXPECT_TRUE(live->Player().Playing());
        EXPECT_EQ(live->windowTitle(), "Tessek Live - Playback of run.csv");
        EXPECT_FALSE(live->findChild<QPushButton*>("btnLog")->isVisible());

        PlaybackBar* bar = live->Bar();
        QTest::mouseClick(bar->PlayButton(), Qt::LeftButton);
        EXPECT_FALSE(live->Player().Playing());
        // 1901 rpm in row 901 raises the alarm; row 902 (18.04 s) carries its marker.
        QTest::mouseClick(bar->NextButton(), Qt::LeftButton);
        EXPECT_EQ(live->Player().Delivered(), 903u);
        live->Redraw();
        EXPECT_EQ(live->Markers().Shown(), 1);
        std::vector<std::string> strips;
        for (const auto& strip : live->Strips())
            strips.push_back(strip.Name->text().toStdString());
        EXPECT_THAT(strips, ::testing::Contains("Double rpm"));

        // Back to the start with the slider: a new start with nothing delivered past it.
        bar->Position()->setValue(0);
        EXPECT_EQ(live->Player().Delivered(), 1u);
    }
    EXPECT_EQ(dir.Read("Tessek.ini"), settings);
    EXPECT_FALSE(dir.Exists("logs"));
    SetProgramFolder(programFolder);
}

}  // namespace
}  // namespace tessek
