// The log viewer on the offscreen platform, opened on a generated log: strips, the value
// table, zoom and pan with the mouse, the cursor, bad files, and the tabs (the cell table,
// the scatter plot, the power curve).
#include "dialogs/CalculatedChannelsDialog.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "views/CellTableTab.h"
#include "views/CellTableView.h"
#include "views/LogViewerWindow.h"
#include "views/ScatterTab.h"

#include <gtest/gtest.h>
#include <qcustomplot.h>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/GeneratedLog.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PullLog.h"
#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

enum TableRow { kRpm, kRpmRaw, kMap, kAcceleration, kPower, kTorque };

class LogViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_.Write("run.csv", test::GeneratedLog());
        window_.resize(1200, 800);
        window_.show();
        ASSERT_TRUE(Open("run.csv"));
        ASSERT_NE(plot_, nullptr);
        ASSERT_NE(table_, nullptr);
        ASSERT_EQ(table_->rowCount(), 6);
    }
    void TearDown() override { SetProgramFolder(programFolder_); }  // the tests that set their own

    bool Open(const std::string& name) { return window_.OpenFile(QString::fromStdString(dir_.File(name))); }
    std::string Status() const { return window_.findChild<QLabel*>("status")->text().toStdString(); }
    std::pair<double, double> TimeRange(int strip = 0) const
    {
        const QCPRange range = plot_->axisRect(strip)->axis(QCPAxis::atBottom)->range();
        return {range.lower, range.upper};
    }

    // A channel's row of the table: name, cursor value, min, max and mean over the visible range.
    std::string Row(int row) const
    {
        std::string text = table_->item(row, 0)->text().toStdString();
        for (int column = 1; column < table_->columnCount() - 1; ++column)  // the Smooth check box last
            text += " | " + table_->item(row, column)->text().toStdString();
        return text;
    }

    // A mouse event on the plot at the pixel of time `t` in the middle of the first strip.
    QPointF PointAt(double t) const
    {
        return {plot_->axisRect(0)->axis(QCPAxis::atBottom)->coordToPixel(t),
                static_cast<double>(plot_->axisRect(0)->center().y())};
    }
    void Mouse(QEvent::Type type, double t, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, PointAt(t), plot_->mapToGlobal(PointAt(t)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(plot_, &e);
    }

    const std::string programFolder_ = ProgramFolder();
    test::TempFolder dir_;
    LogViewerWindow window_;
    QCustomPlot* plot_ = window_.findChild<QCustomPlot*>("channelPlot");
    QTableWidget* table_ = window_.findChild<QTableWidget*>("channelTable");
};

TEST_F(LogViewerWindowTest, OpensWithEveryValueChannelStackedOverTheWholeRun)
{
    EXPECT_EQ(Status(), "run.csv: 2000 rows read, 0 skipped");
    EXPECT_EQ(Row(kRpm), "Engine Speed (rpm) | 1000 | 1000 | 2999 | 1999.5");
    // Five strips (the raw column is left out), all on the run's time range.
    ASSERT_EQ(plot_->axisRectCount(), 5);
    for (int s = 0; s < 5; ++s)
        EXPECT_EQ(TimeRange(s), std::pair(0.0, 39.98));
    // Checking the raw column adds its strip.
    table_->item(kRpmRaw, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(plot_->axisRectCount(), 6);
    // Tab leaves the table instead of moving between its cells.
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    table_->setFocus();
    ASSERT_TRUE(table_->hasFocus());
    QTest::keyClick(table_, Qt::Key_Tab);
    EXPECT_FALSE(table_->hasFocus());
}

// A window taller than its screen is brought back onto it when a log opens (that the
// window can be as small as a small screen: tests/app/SmallScreenTest.cpp).
TEST_F(LogViewerWindowTest, AWindowTallerThanItsScreenIsBroughtBackOntoItWhenALogOpens)
{
    const QRect room = window_.screen()->availableGeometry();
    window_.resize(room.width() / 2, room.height() + 300);
    ASSERT_TRUE(Open("run.csv"));
    const QRect frame = window_.frameGeometry();
    EXPECT_GE(frame.top(), room.top());
    EXPECT_LE(frame.bottom(), room.bottom());
}

TEST_F(LogViewerWindowTest, WheelZoomsAroundThePointerDragPansAndDoubleClickShowsTheWholeRun)
{
    const QPointF at = PointAt(10.0);
    QWheelEvent wheel(at, plot_->mapToGlobal(at), QPoint(), QPoint(0, 3 * 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot_, &wheel);
    EXPECT_LT(TimeRange().second - TimeRange().first, 39.98 * 0.8);
    EXPECT_NEAR(PointAt(10.0).x(), at.x(), 1);

    // The figures follow the visible range, and each strip scales to what it shows.
    window_.SetTimeRange(10, 20);
    EXPECT_EQ(Row(kRpm).substr(Row(kRpm).find(" | 1500")), " | 1500 | 2000 | 1750.0");
    const QCPRange rpmScale = plot_->axisRect(0)->axis(QCPAxis::atLeft)->range();
    EXPECT_NEAR(rpmScale.lower, 1460, 1e-9);
    EXPECT_NEAR(rpmScale.upper, 2040, 1e-9);

    Mouse(QEvent::MouseButtonPress, 15, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 13, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 13, Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(TimeRange(4).first, 12, 0.05);
    EXPECT_NEAR(TimeRange(4).second, 22, 0.05);
    Mouse(QEvent::MouseButtonDblClick, 36, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(TimeRange(), std::pair(0.0, 39.98));

    // The keys, sent to the strips: plus zooms in, Right pans, Home shows the whole run
    // again, the cursor steps one sample and the table follows it (the zoom and cursor steps
    // themselves: tests/analysis/LogViewModelTest.cpp).
    window_.SetTimeRange(10, 20);
    window_.SetCursorTime(15);
    QTest::keyClick(plot_, Qt::Key_Plus);
    EXPECT_EQ(TimeRange(), std::pair(12.5, 17.5));
    QTest::keyClick(plot_, Qt::Key_Right);
    EXPECT_EQ(TimeRange(3), std::pair(13.75, 18.75));
    QTest::keyClick(plot_, Qt::Key_Home);
    EXPECT_EQ(TimeRange(), std::pair(0.0, 39.98));
    QTest::keyClick(plot_, Qt::Key_Period);
    EXPECT_EQ(table_->horizontalHeaderItem(1)->text().toStdString(), "At 15.020 s");
}

// Sample 617 is at 12.34 s; sample 615 has no MAP value.
TEST_F(LogViewerWindowTest, CursorFollowsThePointerAndShowsEveryChannelsValue)
{
    window_.SetTimeRange(12, 13);
    Mouse(QEvent::MouseMove, 12.34, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(table_->horizontalHeaderItem(1)->text().toStdString(), "At 12.340 s");
    EXPECT_EQ(Row(kRpm), "Engine Speed (rpm) | 1617 | 1600 | 1650 | 1625.0");
    EXPECT_EQ(Row(kMap), "MAP (psi/-inHg) | -33 | -50 | 0 | -25.0");
    window_.SetCursorTime(12.30);
    EXPECT_EQ(Row(kMap), "MAP (psi/-inHg) | \u2014 | -50 | 0 | -25.0");
}

// The reader's own tests cover its messages; here the window names the file and keeps the log.
TEST_F(LogViewerWindowTest, ABadFileIsReportedAndTheLogShownStays)
{
    dir_.Write("notes.csv", "just some words\n");
    EXPECT_FALSE(Open("notes.csv"));
    EXPECT_EQ(Status().rfind("notes.csv: Not a data log: no row of numbers", 0), 0u) << Status();
    EXPECT_FALSE(Open("gone.csv"));
    EXPECT_EQ(window_.windowTitle().toStdString(), "Tessek Log Viewer - run.csv");
    EXPECT_EQ(plot_->axisRectCount(), 5);
}

// A log that grows while it is shown (a run still going) is read again: the new rows are
// there, and the visible range, the cursor and the checked channels stay as they were.
TEST_F(LogViewerWindowTest, AGrowingLogIsReadAgainKeepingTheView)
{
    window_.SetTimeRange(10, 20);
    window_.SetCursorTime(15);
    table_->item(kMap, 0)->setCheckState(Qt::Unchecked);
    ASSERT_EQ(plot_->axisRectCount(), 4);
    const std::string cursorRow = Row(kRpm);
    std::string more;
    for (int i = 2000; i < 2500; ++i)
        more += std::to_string(i * 0.02) + ",1000,0,5,0.25,110,155\n";
    std::ofstream(dir_.File("run.csv"), std::ios::app) << more;
    window_.ReloadIfChanged();
    EXPECT_EQ(Status(), "run.csv: 2500 rows read, 0 skipped");
    EXPECT_EQ(TimeRange(), std::pair(10.0, 20.0));
    EXPECT_EQ(plot_->axisRectCount(), 4);  // MAP still unchecked
    EXPECT_EQ(Row(kRpm), cursorRow);
    window_.ShowWholeRun();
    EXPECT_EQ(TimeRange(), std::pair(0.0, 49.98));
}

// Markers 1 and 2 at 5 s and 30 s of a 40 s log: listed, and a click on one centres the
// view on it.
TEST_F(LogViewerWindowTest, MarkersAreListedAndFoundByAClick)
{
    auto* list = window_.findChild<QListWidget*>("markerList");
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isVisible());

    std::string text = "Time\tEngine Speed\tMAP\ns\trpm\tpsi/-inHg\n";
    for (int i = 0; i <= 400; ++i) {
        if (i == 50)
            text += "MARK 001 - Manual\n";
        if (i == 300)
            text += "MARK 002 - Cyl 1 Retard 3 deg over 0 deg\n";
        text += std::to_string(i * 0.1) + "\t" + std::to_string(1000 + i) + "\t" + std::to_string(i % 20 - 10) + "\n";
    }
    dir_.Write("marked.msl", text);
    ASSERT_TRUE(Open("marked.msl"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->item(0)->text().toStdString(), "1 at 5.00 s: Manual");
    EXPECT_EQ(list->item(1)->text().toStdString(), "2 at 30.00 s: Cyl 1 Retard 3 deg over 0 deg");
    window_.SetTimeRange(0, 4);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_NEAR(TimeRange().first, 28, 1e-9);
    EXPECT_NEAR(TimeRange().second, 32, 1e-9);
    EXPECT_EQ(table_->horizontalHeaderItem(1)->text().toStdString(), "At 30.000 s");
}

TEST_F(LogViewerWindowTest, EveryTabOpensAndTheScatterFollowsTheVisibleRange)
{
    auto* tabs = window_.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        EXPECT_TRUE(tabs->currentWidget()->isVisible()) << tabs->tabText(i).toStdString();
    }

    // Engine speed against MAP, coloured by acceleration: every row with a MAP value.
    auto* scatter = window_.findChild<ScatterTab*>();
    auto* plot = window_.findChild<QCustomPlot*>("scatterPlot");
    ASSERT_NE(scatter, nullptr);
    ASSERT_NE(plot, nullptr);
    tabs->setCurrentWidget(scatter);
    EXPECT_EQ(scatter->Points().Size(), 1800u);
    int drawn = 0;
    for (int g = 0; g <= ScatterTab::kColourBins; ++g)
        drawn += plot->graph(g)->dataCount();
    EXPECT_EQ(drawn, 1800);
    // Kept to the Channels tab's range: 10 s to 20 s hold rows 500 to 1000, 50 without MAP.
    window_.findChild<QCheckBox*>("scatterVisibleOnly")->setChecked(true);
    window_.SetTimeRange(10, 20);
    EXPECT_EQ(scatter->Points().Size(), 451u);
    // Hidden, it draws again only when shown.
    tabs->setCurrentIndex(0);
    window_.SetTimeRange(0, 5);
    EXPECT_EQ(scatter->Points().Size(), 451u);
    tabs->setCurrentWidget(scatter);
    EXPECT_EQ(scatter->Points().Size(), 226u);
}

// On the generated log, of every 100 rows MAP is inside the default edges (-30 .. 16) in
// 47, 5 of them empty: 42 rows in cells, 48 outside and 10 without a value.
TEST_F(LogViewerWindowTest, TheCellTableTabSortsTheLogByEngineSpeedAndMapWithinTheChosenRange)
{
    auto* tab = window_.findChild<CellTableTab*>();
    ASSERT_NE(tab, nullptr);
    // Hidden, the tab sorts nothing; shown, the whole log.
    EXPECT_EQ(tab->View()->Table().Hits(), 0u);
    window_.findChild<QTabWidget*>()->setCurrentWidget(tab);

    // Engine speed by MAP (the headers' edges) of acceleration (the cell's value); no raw column.
    EXPECT_EQ(tab->findChild<QComboBox*>("cellX")->count(), 5);
    auto* grid = tab->findChild<QTableWidget*>("cellGrid");
    ASSERT_EQ(grid->columnCount(), 12);
    ASSERT_EQ(grid->rowCount(), 14);
    EXPECT_EQ(grid->horizontalHeaderItem(2)->text().toStdString(), "1000\u20131500");
    EXPECT_EQ(grid->verticalHeaderItem(0)->text().toStdString(), "14\u201316");
    EXPECT_EQ(tab->findChild<QLabel*>("cellSummary")->text().toStdString(),
              "840 samples in cells, 960 outside the edges, 200 without a value");

    // 1000 .. 1500 rpm and 0 .. 2 psi: MAP 0 and 1 of the first five hundred rows. Empty
    // cells stay blank.
    QTableWidgetItem* cell = grid->item(7, 2);
    EXPECT_EQ(cell->text().toStdString(), "0.250");
    EXPECT_EQ(cell->toolTip().toStdString(), "10 samples\nmean 0.250, min 0.25, max 0.25");
    EXPECT_EQ(grid->item(7, 0)->text().toStdString(), "");
    tab->findChild<QComboBox*>("cellStatistic")->setCurrentIndex(3);
    EXPECT_EQ(cell->text().toStdString(), "10");
    const std::string copied = tab->View()->CopyText().toStdString();
    EXPECT_EQ(copied.substr(copied.find("\n0\t"), 14), "\n0\t\t\t10\t10\t10\t");  // the chosen statistic
    tab->findChild<QPushButton*>("cellCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), copied);

    // Only the range the Channels tab shows: its first 100 rows.
    window_.SetTimeRange(0, 1.98);
    EXPECT_EQ(tab->View()->Table().Hits(), 840u);
    tab->findChild<QCheckBox*>("cellVisibleOnly")->setChecked(true);
    EXPECT_EQ(tab->findChild<QLabel*>("cellSummary")->text().toStdString(),
              "42 samples in cells, 48 outside the edges, 10 without a value (0.0 s to 2.0 s)");
    window_.SetTimeRange(2, 3.98);
    EXPECT_EQ(tab->View()->Table().Hits(), 42u);
    EXPECT_EQ(tab->View()->Table().At(2, 6).Count, 2u);  // 1000 .. 1500 rpm, MAP 0 and 1

    // Edited edges (the reading of edges has its own tests: tests/analysis/CellTableTest.cpp).
    auto* xEdges = tab->findChild<QLineEdit*>("cellXEdges");
    xEdges->setText("1000 1100 1200");
    emit xEdges->editingFinished();
    EXPECT_EQ(grid->columnCount(), 2);
}

// A log without the calculated channel gains it; the Formulas button edits it over the log's
// columns with the values at the cursor, and the log shows the edited formula at once.
TEST_F(LogViewerWindowTest, ALogGainsTheCalculatedChannelsAndTheFormulasButtonEditsThem)
{
    SetProgramFolder(dir_.Path());
    dir_.Write("Tessek.ini", "[Calculated]\nTwice (rpm)=[Engine Speed] * 2\n");
    dir_.Write("plain.csv", "Time (s),Engine Speed (rpm)\n0,800\n0.25,900\n");
    ASSERT_TRUE(Open("plain.csv"));
    window_.SetCursorTime(0.25);
    ASSERT_EQ(table_->rowCount(), 2);
    EXPECT_EQ(Row(1), "Twice (rpm) | 1800.00 | 1600.00 | 1800.00 | 1700.000");
    QStringList names;
    QString value;
    test::ModalAnswer<CalculatedChannelsDialog> answer([&](CalculatedChannelsDialog* dialog) {
        names = static_cast<QStringListModel*>(dialog->Completer()->model())->stringList();
        value = dialog->ResultLabel()->text();
        dialog->FormulaEdit()->end(false);
        QTest::keyClicks(dialog->FormulaEdit(), " + 1");
        dialog->OkButton()->click();
    });
    window_.findChild<QPushButton*>("btnFormulas")->click();
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(names, QStringList({"[Engine Speed]"}));
    EXPECT_EQ(value, "1800");
    ASSERT_EQ(table_->rowCount(), 2);
    EXPECT_EQ(Row(1), "Twice (rpm) | 1801.00 | 1601.00 | 1801.00 | 1701.000");

    // Its strip drawn smoothed (the last column's check box): the mean of both samples at 0.25 s.
    table_->item(1, table_->columnCount() - 1)->setCheckState(Qt::Checked);
    const auto drawn = plot_->axisRect(1)->graphs().front()->data();
    ASSERT_EQ(drawn->size(), 2);
    EXPECT_EQ(drawn->at(1)->value, 1701);
}

// Metric units (File > Metric units, kept in Tessek.ini): the log open is shown again in
// metric units where its units have them, the power curve in kW and N·m.
TEST_F(LogViewerWindowTest, MetricUnitsConvertTheLogOnDisplay)
{
    SetProgramFolder(dir_.Path());
    auto* metric = window_.findChild<QAction*>("actMetricUnits");
    ASSERT_NE(metric, nullptr);
    metric->setChecked(true);
    EXPECT_EQ(dir_.Read("Tessek.ini"), "[Units]\nSystem=metric\n");
    window_.SetCursorTime(0);
    EXPECT_EQ(Row(kPower), "Power (kW) | 82.03 | 82.03 | 96.93 | 89.480");  // 110, 129.99 and 119.995 hp
    EXPECT_EQ(window_.findChild<QLabel*>("powerPeaks")->text().toStdString(),
              "run.csv: peak power 96.2 kW at 2950 rpm, peak torque 223.0 N·m at 2950 rpm (2000 samples)");
}

// The dyno: the pulls of a launch and two gears listed, first gear chosen, the rest
// chosen by a click; the samples left out and the correction said in lines of their own,
// the correction kept in Tessek.ini.
TEST_F(LogViewerWindowTest, PowerCurveListsThePullsToChooseAndSaysWhatWasLeftOutAndCorrected)
{
    SetProgramFolder(dir_.Path());
    dir_.Write("pulls.csv", test::PullLogCsv());
    ASSERT_TRUE(Open("pulls.csv"));
    auto* pulls = window_.findChild<QTreeWidget*>("powerPulls");
    ASSERT_NE(pulls, nullptr);
    ASSERT_EQ(pulls->topLevelItemCount(), 1);
    QTreeWidgetItem* run = pulls->topLevelItem(0);
    ASSERT_EQ(run->childCount(), 2);
    // Gear, chosen, and the pull's own peak (the engine's is 118.9 hp at 4354 rpm).
    std::vector<std::string> rows;
    for (int p = 0; p < 2; ++p) {
        const QTreeWidgetItem* pull = run->child(p);
        rows.push_back(pull->text(1).toStdString() + (pull->checkState(0) == Qt::Checked ? " on " : " off ") +
                       pull->text(3).toStdString());
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"1 on 120.3 hp at 4350 rpm", "2 off 119.9 hp at 4550 rpm"}));
    const QString leftOut = window_.findChild<QLabel*>("powerLeftOut")->text();
    EXPECT_TRUE(leftOut.startsWith("pulls.csv: Left out: ") && leftOut.contains("with a slipping clutch") &&
                leftOut.contains("during a shift"))
        << leftOut.toStdString();

    window_.findChild<QCheckBox*>("dynoCorrection")->setChecked(true);
    EXPECT_EQ(window_.findChild<QLabel*>("powerNotes")->text().toStdString(),
              "pulls.csv: SAE J1349 correction to 99 kPa and 25 °C: factor 1.070 (BARO 95.0 kPa, charge air 35.0 °C).");
    EXPECT_EQ(IniFile(dir_.File("Tessek.ini")).ReadString("Dyno", "Correction", ""), "1");

    auto* peaks = window_.findChild<QLabel*>("powerPeaks");
    const QString firstGear = peaks->text();
    run->child(1)->setCheckState(0, Qt::Checked);
    EXPECT_NE(peaks->text(), firstGear);
    run->child(0)->setCheckState(0, Qt::Unchecked);
    run->child(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(peaks->text().toStdString(), "pulls.csv: No pull chosen.");
}

}  // namespace
}  // namespace tessek
