// Speed of the tuning views on a one-hour log (180,000 rows at 50 samples a second, built
// in memory like the viewer's benchmark log): sorting it into an engine speed x MAP cell
// table of O2 (the plain computation, and the viewer's tab including filling its grid), and
// a scatter plot of engine speed against MAP coloured by O2 (computed and drawn, and drawn
// again alone).
// The baseline is one plain pass summing the same three columns, the least any table
// costs. Each figure is the mean and the worst of several runs, wall-clock and CPU time.
//
// Usage: bench_tuning [rows (default 180000)]
#include <qcustomplot.h>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "analysis/CellTable.h"
#include "analysis/LogViewModel.h"
#include "logfiles/LogFile.h"
#include "views/CellTableView.h"
#include "views/ScatterTab.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Runs `action` `times` times and prints the mean and worst wall-clock and CPU time.
void Measure(const char* what, int times, const std::function<void()>& action)
{
    double sumWall = 0, worstWall = 0, sumCpu = 0, worstCpu = 0;
    for (int i = 0; i < times; ++i) {
        const auto start = Clock::now();
        const double cpu = CpuMs();
        action();
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double used = CpuMs() - cpu;
        sumWall += wall;
        sumCpu += used;
        worstWall = std::max(worstWall, wall);
        worstCpu = std::max(worstCpu, used);
    }
    std::printf("%-44s mean %7.2f ms (cpu %7.2f)  worst %7.2f ms (cpu %7.2f)\n", what, sumWall / times, sumCpu / times,
                worstWall, worstCpu);
}

// A drive: engine speed and boost rise and fall together, O2 swings, a value is missing now
// and then.
tessek::LogData MakeLog(int rows)
{
    tessek::LogData log;
    log.TimeName = "Time";
    log.Channels = {{"Engine Speed", "rpm", false, 0, {}},
                    {"MAP", "psi/-inHg", false, 2, {}},
                    {"O2", "v", false, 3, {}},
                    {"Throttle", "%", false, 0, {}}};
    for (auto& c : log.Channels)
        c.Values.reserve(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        const double t = i * 0.02;
        const double phase = std::sin(t / 37.0) * 0.5 + 0.5;
        log.Time.push_back(t);
        log.Channels[0].Values.push_back(900 + 4800 * phase + 60 * std::sin(t * 5.1));
        log.Channels[1].Values.push_back(i % 97 == 0 ? NAN : -18 + 30 * phase * phase);
        log.Channels[2].Values.push_back(0.45 + 0.4 * std::sin(t * 3.3));
        log.Channels[3].Values.push_back(100 * phase);
    }
    return log;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 180000;
    const tessek::LogData log = MakeLog(rows);
    std::printf("log: %d rows in memory\n", rows);

    volatile double sink = 0;
    Measure("baseline: one pass over the three columns", 10, [&] {
        double sum = 0;
        for (size_t i = 0; i < log.Time.size(); ++i)
            sum += log.Channels[0].Values[i] + log.Channels[1].Values[i] + log.Channels[2].Values[i];
        sink = sum;
    });
    const tessek::CellChoice choice = tessek::DefaultCellChoice(log);
    size_t hits = 0;
    Measure("cell table, rpm x MAP of O2 (computation)", 10, [&] {
        tessek::CellTable table(tessek::DefaultEdges("Engine Speed", "rpm", 0, 0),
                                tessek::DefaultEdges("MAP", "psi/-inHg", 0, 0));
        table.AddRange(log.Time, log.Channels[choice.X].Values, log.Channels[choice.Y].Values,
                       log.Channels[choice.Z].Values, -INFINITY, INFINITY);
        hits = table.Hits();
    });
    tessek::CellTableView view;
    view.resize(1200, 700);
    view.show();
    QApplication::processEvents();
    Measure("cell table tab: choices, table and grid", 10, [&] {
        view.SetLog(&log);
        QApplication::processEvents();
    });
    std::printf("%zu samples in cells (%zu in the tab)\n", hits, view.Table().Hits());

    tessek::LogViewModel model;
    model.SetLog(log);
    tessek::ScatterTab scatter(model);
    scatter.resize(1200, 760);
    scatter.show();
    QApplication::processEvents();
    auto* plot = scatter.findChild<QCustomPlot*>("scatterPlot");
    Measure("scatter tab: points, colours and drawing", 5, [&] {
        scatter.LogOpened({});
        QApplication::processEvents();
    });
    Measure("scatter tab: drawing the points again", 5, [&] { plot->replot(QCustomPlot::rpImmediateRefresh); });
    std::printf("%zu points in the scatter plot\n", scatter.Points().Size());
    (void)sink;
    return 0;
}
