// The live window's cell table on the offscreen platform: filling during a run, with its
// reset, in the chart's units, and keeping the newest samples when full. (The viewer's
// tab: tests/views/LogViewerWindowTest.cpp.)
#include "views/CellTableView.h"
#include "views/LiveCellTable.h"
#include "views/LiveWindow.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>

#include <string>

namespace tessek {
namespace {

template <typename T>
T* Child(const QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

const std::vector<RunColumn> kColumns = {
    {"Engine Speed", "rpm", 0, true}, {"MAP", "psi/-inHg", 2, true}, {"Skip value", "", 0, true}, {"O2", "v", 3, true}};

RunSample Sample(int i, double rpm, double map, double o2)
{
    RunSample s;
    s.Time = i * 0.025;
    s.Values = {rpm, map, std::nullopt, o2};
    s.Requests = 4;
    return s;
}

TEST(LiveCellTable, FillsWhileARunGoesAndStartsOverOnReset)
{
    LiveAlarms alarms;
    LiveWindow window(alarms);
    window.show();
    window.RunStarted(kColumns, std::chrono::system_clock::now());
    LiveCellTable* cells = window.Cells();
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(Child<QComboBox>(*cells, "cellX")->count(), 3);  // "Skip value" is no channel

    // Until its tab is first opened, the table keeps nothing.
    window.SampleLogged(Sample(0, 2200, 5.1, 0.8));
    window.Redraw();
    EXPECT_EQ(cells->Samples(), 0u);
    auto* tabs = window.findChild<QTabWidget*>();
    tabs->setCurrentWidget(cells);
    tabs->setCurrentIndex(0);
    // Then, while the chart tab is shown, it keeps the samples but does not sort them.
    window.SampleLogged(Sample(1, 2200, 5.1, 0.8));
    window.SampleLogged(Sample(2, 2300, 5.9, 0.9));
    window.Redraw();
    EXPECT_EQ(cells->View()->Table().Hits(), 0u);
    tabs->setCurrentWidget(cells);
    EXPECT_EQ(cells->View()->Table().Hits(), 2u);
    // 2000 .. 2500 rpm, 4 .. 6 psi: mean of 0.8 and 0.9 (kept as floats).
    EXPECT_NEAR(cells->View()->Table().At(4, 8).Value(CellStatistic::Mean), 0.85, 1e-6);

    Child<QPushButton>(*cells, "cellReset")->click();
    EXPECT_EQ(cells->View()->Table().Hits(), 0u);
    window.SampleLogged(Sample(4, 800, -15, 0.3));
    window.Redraw();
    EXPECT_EQ(cells->View()->Table().Hits(), 1u);
    EXPECT_NEAR(cells->View()->Table().At(1, 3).Value(CellStatistic::Mean), 0.3, 1e-6);

    // A new run starts with an empty table.
    window.RunEnded();
    window.RunStarted(kColumns, std::chrono::system_clock::now());
    EXPECT_EQ(cells->Samples(), 0u);
}

// The live table shows the chart's unit: a metric Boost in kPa on kPa edges, converted back
// when the user goes imperial again.
TEST(LiveCellTable, FollowsTheUnitsOfTheChart)
{
    LiveAlarms alarms;
    LiveWindow window(alarms);
    window.show();
    auto* units = Child<QComboBox>(window, "cbxUnits");
    units->setCurrentIndex(1);
    const std::vector<RunColumn> columns = {
        {"Engine Speed", "rpm", 0, true}, {"Boost", "psi", 2, true}, {"O2", "v", 3, true}};
    window.RunStarted(columns, std::chrono::system_clock::now());
    LiveCellTable* cells = window.Cells();
    window.findChild<QTabWidget*>()->setCurrentWidget(cells);
    RunSample sample;
    sample.Values = {2200.0, 5.0, 0.8};  // 34.5 kPa
    window.SampleLogged(sample);
    window.Redraw();
    // The row of 34.5 kPa among the default kPa edges (-100, -80, ... 100), of 5 psi among
    // the psi ones (-15, -12.5, ... 15).
    const struct {
        int units;
        const char* axis;
        size_t row;
    } cases[] = {{1, "Boost (kPa)", 6}, {0, "Boost (psi)", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.axis);
        units->setCurrentIndex(c.units);
        window.Redraw();
        EXPECT_EQ(Child<QComboBox>(*cells, "cellY")->currentText().toStdString(), c.axis);
        ASSERT_EQ(cells->View()->Table().Hits(), 1u);
        EXPECT_EQ(cells->View()->Table().At(4, c.row).Count, 1u);
    }
    units->setCurrentIndex(0);
}

// A table that keeps four samples: the fifth drops the older two and sorts the rest again.
TEST(LiveCellTable, KeepsTheNewestSamplesWhenFull)
{
    LiveCellTable cells(nullptr, 4);
    cells.show();
    cells.Start(kColumns);
    for (int i = 0; i < 4; ++i)
        cells.Add(Sample(i, 1000 + i, 0, 0.1 * i));
    cells.Refresh();
    EXPECT_EQ(cells.View()->Table().Hits(), 4u);
    cells.Add(Sample(4, 1004, 0, 0.4));
    cells.Refresh();
    EXPECT_EQ(cells.Samples(), 3u);
    EXPECT_EQ(cells.View()->Table().Hits(), 3u);
    EXPECT_NEAR(cells.View()->Table().At(2, 6).Value(CellStatistic::Mean), 0.3, 1e-6);
}

}  // namespace
}  // namespace tessek
