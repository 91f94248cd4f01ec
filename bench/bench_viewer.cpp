// Log viewer speed on a one-hour log: writes a CSV of 180,000 rows x 10 columns (time and
// nine channels at 50 samples a second) into a temporary folder, then measures reading it,
// opening it in the viewer (read and first draw), and the redraw after each step of a
// series of wheel zooms, drags, cursor moves and whole-run views, each as the user's event
// followed by the event processing that draws it. Also parses the log with every row's
// time going back (all skipped) beside the same rows kept. Prints the figures as
// wall-clock time and as this process's CPU time (the two differ when other work shares
// the machine). With "zero-markers" or "markers" the log also has a "Marker" column, as
// another program writes it: 0 on every row, or a new number on every row.
//
// Usage: bench_viewer [rows (default 180000)] [zero-markers | markers]
#include <qcustomplot.h>
#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "logfiles/LogFile.h"
#include "views/LogViewerWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall-clock and CPU time of one measured stretch.
struct Stopwatch {
    Clock::time_point wall = Clock::now();
    double cpu = CpuMs();
    double WallMs() const { return MsSince(wall); }
    double CpuMsSince() const { return CpuMs() - cpu; }
};

enum class Markers { None, Zero, Numbered };

// A drive: engine speed and road speed rise and fall, boost follows the throttle, the
// torque figure is missing now and then, as in the program's own logs.

std::string WriteLog(const std::filesystem::path& path, int rows, Markers markers)
{
    std::ofstream out(path, std::ios::binary);
    out << "Time (s),Engine Speed (rpm),Road Speed (mph),MAP (psi/-inHg),Coolant Temp (F),Throttle (%),O2 (v),"
           "Spark Advance (deg),Knock (v),Torque (lb-ft)"
        << (markers == Markers::None ? "\n" : ",Marker\n");
    char row[256];
    for (int i = 0; i < rows; ++i) {
        const double t = i * 0.02;
        const double phase = std::sin(t / 37.0) * 0.5 + 0.5;
        const double rpm = 900 + 4800 * phase + 60 * std::sin(t * 5.1);
        const double map = -18 + 30 * phase * phase;
        const char* torque = i % 97 == 0 ? "" : nullptr;
        char torqueText[32];
        if (!torque) {
            std::snprintf(torqueText, sizeof torqueText, "%.2f", 120 + 140 * phase);
            torque = torqueText;
        }
        std::snprintf(row, sizeof row, "%.3f,%.0f,%.0f,%.2f,%.0f,%.0f,%.2f,%.0f,%.2f,%s", t, rpm, 80 * phase, map,
                      170 + 20 * std::min(t / 600.0, 1.0), 100 * phase, 0.45 + 0.4 * std::sin(t * 3.3), 10 + 25 * phase,
                      (i % 5000 == 17) ? 2.5 : 0.1, torque);
        out << row;
        if (markers != Markers::None)
            out << ',' << (markers == Markers::Zero ? 0 : i + 1);
        out << '\n';
    }
    return path.string();
}

struct Figures {
    std::vector<double> wall, cpu;
    void Print(const char* what) const
    {
        const auto mean = [](const std::vector<double>& v) {
            double sum = 0;
            for (double m : v)
                sum += m;
            return sum / static_cast<double>(v.size());
        };
        std::printf("%-32s %4zu steps  mean %6.2f ms (cpu %6.2f)  worst %6.2f ms (cpu %6.2f)\n", what, wall.size(),
                    mean(wall), mean(cpu), *std::max_element(wall.begin(), wall.end()),
                    *std::max_element(cpu.begin(), cpu.end()));
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 180000;
    const std::string markerArg = argc > 2 ? argv[2] : "";
    const Markers markers = markerArg == "zero-markers" ? Markers::Zero
                            : markerArg == "markers"    ? Markers::Numbered
                                                        : Markers::None;

    char folderName[] = "/tmp/tessek-bench-viewer-XXXXXX";
    if (!mkdtemp(folderName)) {
        std::perror("bench_viewer: mkdtemp");
        return 1;
    }
    const std::filesystem::path folder(folderName);
    const std::string path = WriteLog(folder / "hour.csv", rows, markers);
    std::printf("log: %d rows x 10 columns%s, %.1f MB\n", rows, markers == Markers::None ? "" : " and a marker column",
                std::filesystem::file_size(path) / 1e6);

    Stopwatch readTime;
    const tessek::LogReadResult read = tessek::ReadLogFile(path);
    std::printf("read alone:                 %7.1f ms (cpu %6.1f)  %s\n", readTime.WallMs(), readTime.CpuMsSince(),
                read.Report.Summary().c_str());

    // The same rows with every time going back from a first row far ahead: each is skipped,
    // which must cost no more than reading it.
    {
        std::string header, body, line;
        std::ifstream in(path, std::ios::binary);
        std::getline(in, header);
        while (std::getline(in, line))
            body += line + "\n";
        const std::string kept = header + "\n" + body;
        const std::string first = body.substr(0, body.find('\n'));
        const std::string back = header + "\n99999.000" + first.substr(first.find(',')) + "\n" + body;
        for (const auto& [what, text] : {std::pair{"rows kept:          ", &kept}, {"time goes back:     ", &back}}) {
            Stopwatch t;
            const tessek::LogReadResult r = tessek::ParseLogText(*text);
            const double ms = t.WallMs();
            std::printf("parse, %s %7.1f ms  %6.1f MB/s  %zu rows read, %zu skipped\n", what, ms,
                        text->size() / 1e3 / ms, r.Report.RowsRead, r.Report.RowsSkipped);
        }
    }

    tessek::LogViewerWindow window;
    window.resize(1280, 860);
    window.show();
    QApplication::processEvents();
    Stopwatch openTime;
    if (!window.OpenFile(QString::fromStdString(path))) {
        std::fprintf(stderr, "bench_viewer: the log did not open\n");
        return 1;
    }
    QApplication::processEvents();
    std::printf("open (read and first draw): %7.1f ms (cpu %6.1f)\n", openTime.WallMs(), openTime.CpuMsSince());

    auto* plot = window.findChild<QCustomPlot*>("channelPlot");
    QCPAxisRect* strip = plot->axisRect(0);
    const auto step = [](Figures& f, const std::function<void()>& action) {
        const Stopwatch t;
        action();
        QApplication::processEvents();
        f.wall.push_back(t.WallMs());
        f.cpu.push_back(t.CpuMsSince());
    };
    const QPointF middle(strip->center().x(), strip->center().y());

    const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButton b, Qt::MouseButtons bs) {
        QMouseEvent e(type, at, plot->mapToGlobal(at), b, bs, Qt::NoModifier);
        QApplication::sendEvent(plot, &e);
    };
    const auto wheel = [&](int steps) {
        QWheelEvent e(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, steps * 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &e);
    };
    // Drags from the middle 320 pixels one way in 40 moves, then back.
    const auto dragAround = [&](Figures& f) {
        for (int dir : {-1, 1}) {
            mouse(QEvent::MouseButtonPress, middle, Qt::LeftButton, Qt::LeftButton);
            for (int i = 1; i <= 40; ++i)
                step(f, [&] {
                    mouse(QEvent::MouseMove, middle + QPointF(dir * i * 8.0, 0), Qt::NoButton, Qt::LeftButton);
                });
            mouse(QEvent::MouseButtonRelease, middle + QPointF(dir * 320.0, 0), Qt::LeftButton, Qt::NoButton);
        }
    };
    const auto span = [&] { return plot->axisRect(0)->axis(QCPAxis::atBottom)->range().size(); };

    Figures zoomIn, zoomOut, dragNear, dragFar, cursor, whole;
    double nearSpan = 0, farSpan = 0;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 60; ++i)
            step(zoomIn, [&] { wheel(1); });
        nearSpan = span();
        dragAround(dragNear);
        for (int i = 0; i < 40; ++i)
            step(cursor, [&] {
                mouse(QEvent::MouseMove, QPointF(strip->left() + 10 + i * 20.0, middle.y()), Qt::NoButton,
                      Qt::NoButton);
            });
        for (int i = 0; i < 45; ++i)
            step(zoomOut, [&] { wheel(-1); });
        farSpan = span();
        dragAround(dragFar);
        for (int i = 0; i < 15; ++i)
            step(zoomOut, [&] { wheel(-1); });
        step(whole, [&] { mouse(QEvent::MouseButtonDblClick, middle, Qt::LeftButton, Qt::LeftButton); });
    }
    std::printf("each step: the user's event and the drawing it causes\n");
    zoomIn.Print("wheel zoom in, one notch:");
    zoomOut.Print("wheel zoom out, one notch:");
    char what[64];
    std::snprintf(what, sizeof what, "drag pan, %.2f s visible:", nearSpan);
    dragNear.Print(what);
    std::snprintf(what, sizeof what, "drag pan, %.0f s visible:", farSpan);
    dragFar.Print(what);
    cursor.Print("cursor move:");
    whole.Print("double click, whole run:");

    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
