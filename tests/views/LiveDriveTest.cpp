// The live window as a place to drive from: alarms that turn a strip red and ask once per
// crossing for a marker (and a beep), the alarm table, and the full-screen dash view with
// its keys. (Markers drawn on the chart: the playback window's test.)
#include "dialogs/AlarmDialog.h"
#include "platform/IniFile.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/TempFolder.h"
#include "views/DashWindow.h"
#include "views/LiveWindow.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <chrono>
#include <string>
#include <vector>

namespace tessek {
namespace {

const std::vector<RunColumn> kColumns = {
    {"Engine Speed", "rpm", 0, true}, {"Cyl 1 Retard", "deg", 0, true}, {"Coolant Temp", "F", 1, true}};

RunSample Sample(double time, double retard)
{
    RunSample sample;
    sample.Time = time;
    sample.Values = {2000.0, retard, 190.0};
    sample.Raw = {8000, 0, 0};
    sample.Requests = 4;
    return sample;
}

// The session's part is played here: the alarms are checked on every sample and a raised
// one asks for its marker.
struct LiveDrive : ::testing::Test {
    LiveDrive()
    {
        window.SetSettingsFile(folder.File("Tessek.ini"));
        alarms.Beep = [this] { ++beeps; };
        alarms.OnRaised = [this](const std::string& text) { marks.push_back(text); };
        QObject::connect(&window, &LiveWindow::MarkRequested,
                         [this](const QString& text) { marks.push_back(text.toStdString()); });
        QObject::connect(&window, &LiveWindow::LogRequested, [this] { ++logs; });
    }
    void Start(const std::vector<RunColumn>& columns)
    {
        alarms.Start(columns);
        window.RunStarted(columns, std::chrono::system_clock::now());
    }
    void Feed(const RunSample& sample)
    {
        alarms.Check(sample);
        window.SampleLogged(sample);
    }
    test::TempFolder folder;
    LiveAlarms alarms;
    LiveWindow window{alarms};
    int beeps = 0;
    int logs = 0;
    std::vector<std::string> marks;
};

// The default limit on knock retard: each crossing asks once for a marker and beeps once,
// also while the window is hidden; shown, the strip and readout are red and the line says why.
TEST_F(LiveDrive, AnAlarmTurnsItsStripRedAndMarksTheLogOncePerCrossing)
{
    Start(kColumns);
    int t = 0;
    for (const double retard : {0, 3, 5, 4, 0, 0, 2})
        Feed(Sample(0.1 * t++, retard));
    EXPECT_EQ(marks, (std::vector<std::string>{"Cyl 1 Retard 3 deg over 0 deg", "Cyl 1 Retard 2 deg over 0 deg"}));
    EXPECT_EQ(beeps, 2);

    window.show();
    Feed(Sample(0.1 * t++, 6));
    window.Redraw();
    const auto& strips = window.Strips();
    ASSERT_EQ(strips.size(), 3u);
    EXPECT_NE(strips[0].Graph->pen().color(), QColor(210, 0, 0));
    EXPECT_EQ(strips[1].Graph->pen().color(), QColor(210, 0, 0));
    EXPECT_EQ(strips[1].Value->palette().color(QPalette::WindowText), QColor(210, 0, 0));
    EXPECT_EQ(window.AlarmText().toStdString(), "ALARM Cyl 1 Retard 6 deg, limit 0 deg");
    Feed(Sample(0.1 * t++, 0));
    window.Redraw();
    EXPECT_EQ(strips[1].Graph->pen().color(), strips[1].Colour);
    EXPECT_EQ(window.AlarmText().toStdString(), "Last alarm at 0.6 s: Cyl 1 Retard 2 deg over 0 deg");
    // An alarm raised when logging stops is told as the run's last one.
    Feed(Sample(0.8, 5));
    window.RunEnded();
    EXPECT_EQ(window.AlarmText().toStdString(), "Last alarm at 0.8 s: Cyl 1 Retard 5 deg over 0 deg");
    EXPECT_EQ(beeps, 3);

    // With the beep switched off in the settings file the next run marks without a beep, and
    // a malformed limit elsewhere is named in the alarm line.
    folder.Write("Tessek.ini", "[Alarms]\nBeep=0\nCoolant Temp=above hot\n");
    Start(kColumns);
    window.Redraw();
    EXPECT_NE(window.AlarmText().toStdString().find("Coolant Temp=above hot: not a limit"), std::string::npos)
        << window.AlarmText().toStdString();
    Feed(Sample(0, 9));
    EXPECT_EQ(marks.size(), 4u);
    EXPECT_EQ(beeps, 3);
}

// The M key asks the owner for a marker (the Log and Mark buttons: the main window's test);
// in a list, M is the letter: it chooses "Metric" and marks nothing (Alt+M, the button's, is
// not taken by the list); away from it, M marks again.
TEST_F(LiveDrive, TheMKeyMarksExceptInAList)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_M);
    EXPECT_EQ(marks, std::vector<std::string>{"Manual"});
    auto* units = window.findChild<QComboBox*>("cbxUnits");
    units->setFocus();
    QTest::keyClick(units, Qt::Key_M);
    EXPECT_EQ(units->currentText(), "Metric");
    EXPECT_EQ(marks.size(), 1u);
    window.findChild<QPushButton*>("btnLog")->setFocus();
    QTest::keyClick(&window, Qt::Key_M);
    EXPECT_EQ(marks.size(), 2u);
    units->setCurrentIndex(0);
}

TEST_F(LiveDrive, TheAlarmTableWritesItsLimitsAndRefusesWhatIsNotANumber)
{
    Start(kColumns);
    bool refused = false;
    test::ModalAnswer<AlarmDialog> answer([&](AlarmDialog* dialog) {
        QTableWidget* table = dialog->Table();
        const auto row = [&](const char* name) { return table->findItems(name, Qt::MatchExactly).at(0)->row(); };
        table->item(row("Engine Speed"), 2)->setText("6000");
        table->item(row("Cyl 1 Retard"), 0)->setCheckState(Qt::Unchecked);
        table->item(row("MAP"), 2)->setText("12,5");
        std::string error;
        refused = dialog->Limits(error).empty() && error == "MAP: \"12,5\" is not a number (write e.g. 230 or 0.2)";
        table->item(row("MAP"), 2)->setText("12.5");
        dialog->BeepBox()->setChecked(false);
        dialog->accept();
    });
    window.EditAlarms();
    EXPECT_TRUE(refused);  // set only by the answer
    const IniFile ini(folder.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadString("Alarms", "Engine Speed", "-"), "above 6000");
    EXPECT_EQ(ini.ReadString("Alarms", "Cyl 1 Retard", "-"), "off above 0");
    EXPECT_EQ(ini.ReadString("Alarms", "MAP", "-"), "above 12.5");
    EXPECT_EQ(ini.ReadString("Alarms", "Beep", "-"), "0");  // the keys written: tests/analysis/AlarmsTest.cpp
    // The running log follows at once.
    Feed(Sample(0, 9));
    EXPECT_EQ(marks, std::vector<std::string>{});
    RunSample fast = Sample(0.1, 0);
    fast.Values[0] = 6100.0;
    Feed(fast);
    EXPECT_EQ(marks, std::vector<std::string>{"Engine Speed 6100 rpm over 6000 rpm"});
}

// Metric shown: the table takes and shows °C, keeps F in the file, and the alarm says °C.
TEST_F(LiveDrive, TheAlarmTableTakesLimitsInTheUnitsShown)
{
    folder.Write("Tessek.ini", "[Units]\nSystem=metric\n[Alarms]\nCoolant Temp=above 230\n");
    window.findChild<QComboBox*>("cbxUnits")->setCurrentIndex(1);
    Start(kColumns);
    std::vector<std::string> shown;
    test::ModalAnswer<AlarmDialog> answer([&](AlarmDialog* dialog) {
        QTableWidget* table = dialog->Table();
        for (const char* name : {"Coolant Temp", "Cyl 1 Retard", "MAP"}) {
            const int row = table->findItems(name, Qt::MatchExactly).at(0)->row();
            shown.push_back(table->item(row, 2)->text().toStdString() + " " +
                            table->item(row, 4)->text().toStdString());
        }
        table->item(table->findItems("Coolant Temp", Qt::MatchExactly).at(0)->row(), 2)->setText("105");
        dialog->accept();
    });
    window.EditAlarms();
    EXPECT_EQ(shown, (std::vector<std::string>{"110 °C", "0 deg", "14 psi/-inHg"}));
    const IniFile ini(folder.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadString("Alarms", "Coolant Temp", "-"), "above 221");
    EXPECT_EQ(ini.ReadString("Alarms", "MAP", "-"), "above 14");
    RunSample hot = Sample(0, 0);
    hot.Values[2] = 230.0;
    Feed(hot);
    EXPECT_EQ(marks, std::vector<std::string>{"Coolant Temp 110.0 °C over 105 °C"});
    window.findChild<QComboBox*>("cbxUnits")->setCurrentIndex(0);
}

TEST_F(LiveDrive, F11ShowsTheDashFullScreenWithItsOwnKeys)
{
    Start(kColumns);
    Feed(Sample(0, 3));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F11);
    DashWindow* dash = window.Dash();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dash));
    EXPECT_TRUE(dash->isFullScreen());
    dash->Refresh();
    ASSERT_EQ(dash->Tiles().size(), 3u);
    EXPECT_EQ(dash->Tiles()[1].Value->text(), "3");
    // Red behind the value in alarm, dark otherwise.
    EXPECT_EQ(dash->Tiles()[1].Box->grab().toImage().pixelColor(20, 40), QColor(0xc0, 0, 0));
    EXPECT_EQ(dash->Tiles()[0].Box->grab().toImage().pixelColor(20, 40), QColor(0x18, 0x18, 0x18));
    EXPECT_EQ(dash->AlarmText().toStdString(), "ALARM Cyl 1 Retard 3 deg, limit 0 deg");
    // Big enough to read: the value's font is many times the window's own.
    EXPECT_GT(dash->Tiles()[0].Value->font().pixelSize(), 40);
    QTest::keyClick(dash, Qt::Key_M);
    QTest::keyClick(dash->windowHandle(), Qt::Key_L, Qt::AltModifier);
    QTest::keyClick(dash, Qt::Key_F11);
    EXPECT_FALSE(dash->isVisible());
    EXPECT_EQ(marks, (std::vector<std::string>{"Cyl 1 Retard 3 deg over 0 deg", "Manual"}));
    EXPECT_EQ(logs, 1);
}

}  // namespace
}  // namespace tessek
