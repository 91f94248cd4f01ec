#include "plots/LogViewerWindow.h"

#include <gtest/gtest.h>
#include <qcustomplot.h>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTableWidget>
#include <QWheelEvent>

#include <string>

#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

// 40 s at 50 samples a second: engine speed 1000 + sample number, its raw byte, a MAP
// column with an empty cell every tenth row, and the acceleration figures of a pull.
std::string GeneratedLog()
{
    std::string text =
        "Time (s),Engine Speed (rpm),Engine Speed raw,MAP (psi/-inHg),Acceleration (g),Power (hp),Torque (lb-ft)\n";
    for (int i = 0; i < 2000; ++i) {
        char row[160];
        const double rpm = 1000 + i;
        std::snprintf(row, sizeof row, "%.3f,%.0f,%d,%s,0.25,%.2f,%.2f\n", i * 0.02, rpm, i % 256,
                      i % 10 == 5 ? "" : std::to_string(i % 100 - 50).c_str(), 100 + rpm / 100, 150 + rpm / 200);
        text += row;
    }
    return text;
}

class LogViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_.Write("run.csv", GeneratedLog());
        window_.resize(1200, 800);
        window_.show();
        ASSERT_TRUE(window_.OpenFile(QString::fromStdString(dir_.File("run.csv"))));
        plot_ = window_.findChild<QCustomPlot*>("channelPlot");
        table_ = window_.findChild<QTableWidget*>("channelTable");
        ASSERT_NE(plot_, nullptr);
        ASSERT_NE(table_, nullptr);
    }

    QCPAxis* TimeAxis(int strip = 0) const { return plot_->axisRect(strip)->axis(QCPAxis::atBottom); }

    QString Cell(const QString& channel, int column) const
    {
        for (int row = 0; row < table_->rowCount(); ++row)
            if (table_->item(row, 0)->text() == channel)
                return table_->item(row, column)->text();
        ADD_FAILURE() << "no channel " << channel.toStdString();
        return {};
    }

    // Sends a mouse event to the plot at the pixel of time `t` in the middle of the first strip.
    QPointF PointAt(double t) const
    {
        return {TimeAxis()->coordToPixel(t), static_cast<double>(plot_->axisRect(0)->center().y())};
    }
    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, at, plot_->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(plot_, &e);
    }

    test::TempFolder dir_;
    LogViewerWindow window_;
    QCustomPlot* plot_ = nullptr;
    QTableWidget* table_ = nullptr;
};

TEST_F(LogViewerWindowTest, OpensWithEveryValueChannelStackedOverTheWholeRun)
{
    EXPECT_EQ(window_.windowTitle(), "Tessek Log Viewer - run.csv");
    EXPECT_EQ(window_.findChild<QLabel*>("status")->text(), "run.csv: 2000 rows read, 0 skipped");
    ASSERT_EQ(table_->rowCount(), 6);
    EXPECT_EQ(table_->item(1, 0)->text(), "Engine Speed raw");
    EXPECT_EQ(table_->item(1, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(table_->item(0, 0)->checkState(), Qt::Checked);
    // Five strips (the raw column is left out), all on the run's time range.
    ASSERT_EQ(plot_->axisRectCount(), 5);
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(TimeAxis(s)->range().lower, 0.0);
        EXPECT_EQ(TimeAxis(s)->range().upper, 39.98);
    }
    EXPECT_EQ(Cell("Engine Speed (rpm)", 2), "1000");
    EXPECT_EQ(Cell("Engine Speed (rpm)", 3), "2999");
    EXPECT_EQ(Cell("Engine Speed (rpm)", 4), "1999.5");
    EXPECT_EQ(Cell("MAP (psi/-inHg)", 2), "-50");
    EXPECT_EQ(Cell("MAP (psi/-inHg)", 3), "49");

    // Checking the raw column adds its strip.
    table_->item(1, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(plot_->axisRectCount(), 6);
}

TEST_F(LogViewerWindowTest, AWideLogStartsWithTwelveStrips)
{
    std::string text = "Time";
    for (int c = 0; c < 30; ++c)
        text += ",C" + std::to_string(c);
    text += "\n0" + std::string(30, ',') + "\n";
    dir_.Write("wide.csv", text);
    ASSERT_TRUE(window_.OpenFile(QString::fromStdString(dir_.File("wide.csv"))));
    EXPECT_EQ(table_->rowCount(), 30);
    EXPECT_EQ(plot_->axisRectCount(), 12);
    EXPECT_EQ(table_->item(11, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(table_->item(12, 0)->checkState(), Qt::Unchecked);
}

TEST_F(LogViewerWindowTest, WheelZoomsAroundThePointerInEveryStripAndFiguresFollow)
{
    const QPointF at = PointAt(10.0);
    QWheelEvent wheel(at, plot_->mapToGlobal(at), QPoint(), QPoint(0, 3 * 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot_, &wheel);
    const QCPRange r = TimeAxis()->range();
    EXPECT_LT(r.size(), 39.98 * 0.8);
    EXPECT_NEAR(TimeAxis()->pixelToCoord(at.x()), 10.0, 0.01);
    for (int s = 1; s < plot_->axisRectCount(); ++s) {
        EXPECT_EQ(TimeAxis(s)->range().lower, r.lower);
        EXPECT_EQ(TimeAxis(s)->range().upper, r.upper);
    }

    window_.SetTimeRange(10, 20);
    EXPECT_EQ(Cell("Engine Speed (rpm)", 2), "1500");
    EXPECT_EQ(Cell("Engine Speed (rpm)", 3), "2000");
    // Each strip scales to what it shows.
    const QCPRange rpmScale = plot_->axisRect(0)->axis(QCPAxis::atLeft)->range();
    EXPECT_LT(rpmScale.lower, 1500);
    EXPECT_GT(rpmScale.lower, 1400);
    EXPECT_GT(rpmScale.upper, 2000);
    EXPECT_LT(rpmScale.upper, 2100);
}

TEST_F(LogViewerWindowTest, CursorFollowsThePointerAndShowsEveryChannelsValue)
{
    window_.SetTimeRange(12, 13);
    Mouse(QEvent::MouseMove, PointAt(12.34), Qt::NoButton, Qt::NoButton);
    // Sample 617 is at 12.34 s.
    EXPECT_EQ(Cell("Engine Speed (rpm)", 1), "1617");
    EXPECT_EQ(Cell("Engine Speed raw", 1), "105");
    EXPECT_EQ(Cell("MAP (psi/-inHg)", 1), "-33");
    EXPECT_EQ(Cell("Power (hp)", 1), "116.17");
    EXPECT_EQ(table_->horizontalHeaderItem(1)->text(), "At 12.340 s");
    // A sample without a MAP value shows none.
    window_.SetCursorTime(12.30);
    EXPECT_EQ(Cell("MAP (psi/-inHg)", 1), QStringLiteral("\u2014"));
    EXPECT_EQ(Cell("Engine Speed (rpm)", 1), "1615");
}

TEST_F(LogViewerWindowTest, DragPansAndDoubleClickShowsTheWholeRun)
{
    window_.SetTimeRange(10, 20);
    const QPointF from = PointAt(15), to = PointAt(13);
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(TimeAxis(4)->range().lower, 12, 0.05);
    EXPECT_NEAR(TimeAxis(4)->range().upper, 22, 0.05);

    // Panning stops at the end of the run without changing the width.
    window_.SetTimeRange(35, 45);
    EXPECT_EQ(TimeAxis()->range().upper, 39.98);
    EXPECT_NEAR(TimeAxis()->range().size(), 10, 1e-9);

    Mouse(QEvent::MouseButtonDblClick, PointAt(36), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(TimeAxis()->range().lower, 0.0);
    EXPECT_EQ(TimeAxis()->range().upper, 39.98);
}

TEST_F(LogViewerWindowTest, ABadFileIsReportedAndTheLogShownStays)
{
    dir_.Write("notes.csv", "just some words\n");
    EXPECT_FALSE(window_.OpenFile(QString::fromStdString(dir_.File("notes.csv"))));
    EXPECT_EQ(window_.findChild<QLabel*>("status")->text(),
              "notes.csv: Not a data log: no row of numbers under a row of column names in the first 64 lines.");
    EXPECT_EQ(window_.windowTitle(), "Tessek Log Viewer - run.csv");
    EXPECT_EQ(table_->rowCount(), 6);
    EXPECT_FALSE(window_.OpenFile(QString::fromStdString(dir_.File("gone.csv"))));
    EXPECT_EQ(plot_->axisRectCount(), 5);
}

TEST_F(LogViewerWindowTest, PowerCurveOverlaysRunsNamedByTheirFiles)
{
    auto* power = window_.findChild<QCustomPlot*>("powerPlot");
    auto* peaks = window_.findChild<QLabel*>("powerPeaks");
    ASSERT_NE(power, nullptr);
    ASSERT_NE(peaks, nullptr);
    EXPECT_EQ(power->graphCount(), 2);  // power and torque of the opened run
    // The top bin (2900-2999 rpm) has the medians 129.495 hp and 164.7475 lb-ft and only
    // the bin below (128.495 hp, 164.2475 lb-ft) as a neighbour.
    EXPECT_EQ(peaks->text(),
              "run.csv: peak power 129.0 hp at 2950 rpm, peak torque 164.5 lb-ft at 2950 rpm (2000 samples)");

    dir_.Write("second.csv", GeneratedLog());
    EXPECT_TRUE(window_.AddPowerRun(QString::fromStdString(dir_.File("second.csv"))));
    ASSERT_EQ(power->graphCount(), 4);
    EXPECT_EQ(power->graph(2)->name(), "second.csv");
    EXPECT_NE(power->graph(2)->pen().color(), power->graph(0)->pen().color());
    EXPECT_EQ(power->legend->itemCount(), 2);

    dir_.Write("plain.csv", "Time (s),Engine Speed (rpm)\n0,800\n1,900\n");
    EXPECT_FALSE(window_.AddPowerRun(QString::fromStdString(dir_.File("plain.csv"))));
    EXPECT_EQ(power->graphCount(), 4);
    EXPECT_EQ(window_.findChild<QLabel*>("status")->text(),
              "plain.csv: No acceleration data in this log: it has no Acceleration, Power and Torque columns.");

    // A log without acceleration data opens; its power tab says why it has no curve.
    EXPECT_TRUE(window_.OpenFile(QString::fromStdString(dir_.File("plain.csv"))));
    EXPECT_EQ(power->graphCount(), 0);
    EXPECT_EQ(peaks->text(),
              "plain.csv: No acceleration data in this log: it has no Acceleration, Power and Torque columns.");
}

}  // namespace
}  // namespace tessek
