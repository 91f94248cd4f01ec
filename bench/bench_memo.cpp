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
// Usage: bench_memo [lines (default 400000, about two hours at the wire's rate)]
//                   [memo (default) | store | flat]
#include "app/MemoWidget.h"
#include "platform/MemoLines.h"

#include <QApplication>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

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
