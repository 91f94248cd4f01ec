// Memory per logged line: the process's resident size (RSS) as the main window's text area
// takes sample lines, measured at checkpoints of a long run and printed per line beside the
// line count; beside it the same lines in the text area's line store alone (MemoLines) and
// as one flat text, so what the widget adds to its store, and the store to the bare text,
// is seen. The text area keeps nothing per line of its own; the goal is at most 250 bytes
// per line for it (an 82-character line costs about 90). The text area is shown
// (offscreen unless QT_QPA_PLATFORM says otherwise) and gets its events between lines, as
// in a run.
//
// Each store is measured in a process of its own, so no store reuses memory another freed.
//
// The window modes measure what the window keeps per logged line: the text area and the
// live window beside it, fed each line's sample as a run feeds them (eight slots and the
// three performance figures), with the live window not shown ("window", as when the user
// never opens Tessek Live), shown on its chart ("live") or on its Cell table tab
// ("cells"). The goal is at most 150 bytes per line. At the end the text is saved as a
// run's end saves its TempLog, and the peak resident size (VmHWM) before and after the
// save is printed: the save should add no more than 10 % to it.
//
// Usage: bench_memo [lines (default 400000, about two hours at the wire's rate)]
//                   [memo (default) | store | flat | window | live | cells]
#include "app/MemoWidget.h"
#include "platform/MemoLines.h"
#include "views/LiveCellTable.h"
#include "views/LiveWindow.h"

#include <QApplication>
#include <QTabWidget>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

double RssMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// A sample line of eight slots as a run writes it (82 characters).
std::string SampleLine(int i)
{
    char line[128];
    std::snprintf(line, sizeof line, "%7.3f %4drpm %6.2fmph %5.2fpsi %5.3fv(%02X) %5.1fF (%02X) %2ddeg %4.1fdeg  %02X ",
                  i * 0.02, 800 + i % 5000, (i % 9000) / 64.0, (i % 300) / 20.0, (i % 256) * 0.0194 + 0.0446, i % 256,
                  (i % 200) * 1.2 - 60, i % 256, i % 32, (i % 120) / 2.0, i % 256);
    return line;
}

// The peak resident size so far (VmHWM), MB.
double PeakMb()
{
    std::ifstream status("/proc/self/status");
    std::string field;
    double kb = 0;
    while (status >> field) {
        if (field == "VmHWM:") {
            status >> kb;
            break;
        }
    }
    return kb / 1e3;
}

// The columns of SampleLine's run: eight slots and the performance figures.
std::vector<tessek::RunColumn> SampleColumns()
{
    return {{"Engine Speed", "rpm", 0, true},  {"Road Speed", "mph", 2, true},
            {"MAP", "psi/-inHg", 2, true},     {"O2", "v", 3, true},
            {"Coolant Temp", "F", 1, true},    {"Cyl 1 Retard", "deg", 0, true},
            {"Spark Advance", "deg", 1, true}, {"Baro", "", 0, true},
            {"Acceleration", "g", 2, false},   {"Power", "hp", 2, false},
            {"Torque", "lb-ft", 2, false}};
}

// The numbers behind SampleLine(i).
tessek::RunSample Sample(int i)
{
    tessek::RunSample s;
    s.Time = i * 0.02;
    s.Values = {800 + i % 5000,
                (i % 9000) / 64.0,
                (i % 300) / 20.0,
                (i % 256) * 0.0194 + 0.0446,
                (i % 200) * 1.2 - 60,
                i % 32,
                (i % 120) / 2.0,
                i % 256,
                0.1,
                12.3,
                45.6};
    s.Raw.assign(s.Values.size(), std::nullopt);
    for (size_t c = 0; c < 8; ++c)
        s.Raw[c] = i % 256;
    s.Requests = 10;
    return s;
}

template <typename Add>
void Measure(const char* what, int lines, Add add)
{
    const double start = RssMb();
    std::printf("%s\n%10s %10s %12s\n", what, "lines", "RSS MB", "bytes/line");
    for (int i = 1; i <= lines; ++i) {
        add(i);
        if (i % (lines / 8) == 0)
            std::printf("%10d %10.1f %12.0f\n", i, RssMb(), (RssMb() - start) * 1e6 / i);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(8, std::atoi(argv[1])) : 400000;
    const std::string what = argc > 2 ? argv[2] : "memo";
    if (what == "flat") {
        std::string flat;
        Measure("flat text (one string):", lines, [&](int i) { flat += SampleLine(i) + "\r\n"; });
    } else if (what == "store") {
        tessek::MemoLines store;
        Measure("line store alone (MemoLines):", lines, [&](int i) { store.AddLine(SampleLine(i)); });
    } else if (what == "window" || what == "live" || what == "cells") {
        tessek::MemoWidget memo;
        memo.resize(640, 480);
        memo.show();
        tessek::LiveAlarms alarms;
        tessek::LiveWindow live(alarms);
        live.resize(900, 700);
        if (what != "window") {
            live.show();
            if (what == "cells")
                live.findChild<QTabWidget*>()->setCurrentWidget(live.Cells());
        }
        live.RunStarted(SampleColumns(), std::chrono::system_clock::now());
        QApplication::processEvents();
        Measure(what == "window" ? "window, live window not shown:"
                : what == "live" ? "window, live window shown:"
                                 : "window, live window on its cell table:",
                lines, [&](int i) {
                    memo.AddLine(SampleLine(i));
                    live.SampleLogged(Sample(i));
                    if (i % 50 == 0)
                        QApplication::processEvents();
                });
        live.RunEnded();
        char folder[] = "/tmp/tessek-bench-memo-XXXXXX";
        if (!mkdtemp(folder))
            return 1;
        const std::string file = std::string(folder) + "/TempLog1.txt";
        // The kernel updates the peak now and then, so it may lag the resident size.
        const double before = std::max(PeakMb(), RssMb());
        memo.SaveToNewFile(file);
        const double after = std::max(PeakMb(), RssMb());
        std::printf("save: peak %.1f MB before, %.1f MB after (+%.1f %%)\n", before, after,
                    (after - before) / before * 100);
        std::filesystem::remove_all(folder);
    } else {
        tessek::MemoWidget memo;
        memo.resize(640, 480);
        memo.show();
        QApplication::processEvents();
        Measure("text area (MemoWidget, shown):", lines, [&](int i) {
            memo.AddLine(SampleLine(i));
            if (i % 50 == 0)
                QApplication::processEvents();
        });
    }
    return 0;
}
