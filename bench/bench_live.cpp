// The live window's cost, measured two ways.
// 1. After a minute of history, the window is fed eight channels at 40 samples/s of
//    synthetic data (a run logging eight slots) on the offscreen platform (or the one
//    QT_QPA_PLATFORM names), redrawing from its own timer as in a run: frame times, the
//    time a sample takes to hand over, the CPU share of one core; then the same frames back
//    to back for their CPU time, which the load of other processes changes far less.
// 2. A logging run of the main window against the simulated LM, measured in rounds with the
//    live window closed and open: the run's requests per second and the window thread's
//    CPU share, so the live window's toll on the run shows directly. The window is the main
//    window's own, fed by the run's samples as in the program; "open" is after a press of
//    Chart.
//
// Usage: bench_live [seconds of the window alone (default 20)] [seconds per run (default 5;
// 0 skips the runs)] [rounds (default 4)]
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "bench/SimChild.h"
#include "sim/SimulatedLm.h"
#include "views/LiveWindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using bench::SimChild;

constexpr int kChannels = 8;
constexpr int kSampleIntervalMs = 25;  // 40 samples/s
constexpr int kRequestsPerSample = 10;
constexpr long kWarmupRequests = 40;

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

std::vector<tessek::RunColumn> Columns()
{
    return {
        {"RPM", "rpm", 0, true},    {"MPH", "mph", 2, true},          {"MAP", "psi", 2, true},
        {"Knock", "v", 2, true},    {"Cyl 1 Retard", "deg", 0, true}, {"Coolant", "F", 1, true},
        {"Throttle", "v", 2, true}, {"Spark", "deg", 0, true},
    };
}

// Synthetic samples: each channel moves at its own pace with a little noise.
class Feed {
public:
    Feed() { sample_.Values.resize(kChannels); }
    void Next(tessek::LiveWindow& window)
    {
        const double t = count_ * kSampleIntervalMs / 1000.0;
        for (int c = 0; c < kChannels; ++c) {
            const double noise = ((count_ * 7919 + c * 104729) % 1000) / 1000.0 - 0.5;
            sample_.Values[c] = (c + 1) * 100.0 * (1.0 + std::sin(t * (0.3 + 0.17 * c))) + noise * (c + 1) * 5.0;
        }
        sample_.Time = t;
        sample_.Requests = kRequestsPerSample;
        ++count_;
        window.SampleLogged(sample_);
    }
    // A full minute on show: the strips hold as many points as they ever will.
    void History(tessek::LiveWindow& window)
    {
        while (count_ < 60 * 1000 / kSampleIntervalMs)
            Next(window);
    }

private:
    tessek::RunSample sample_;
    long count_ = 0;
};

void LiveAlone(double seconds)
{
    tessek::LiveAlarms alarms;
    tessek::LiveWindow window(alarms);
    window.show();
    window.RunStarted(Columns(), std::chrono::system_clock::now());
    Feed feed;
    feed.History(window);

    int measured = 0;
    double feedSeconds = 0;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(kSampleIntervalMs);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        const auto begin = Clock::now();
        feed.Next(window);
        feedSeconds += std::chrono::duration<double>(Clock::now() - begin).count();
        ++measured;
    });
    QEventLoop loop;  // not the application's: quitting that would close the window
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    const auto start = Clock::now();
    const double startCpu = CpuSeconds(RUSAGE_SELF);
    feeder.start();
    loop.exec();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds(RUSAGE_SELF) - startCpu;
    const tessek::LiveWindow::FrameStats frames = window.Frames();

    constexpr int kBackToBack = 300;
    const double backStart = CpuSeconds(RUSAGE_SELF);
    for (int i = 0; i < kBackToBack; ++i) {
        for (int k = 0; k < 4; ++k)
            feed.Next(window);
        window.Redraw();
        QCoreApplication::processEvents();
    }
    const double back = CpuSeconds(RUSAGE_SELF) - backStart;
    window.RunEnded();

    std::printf("Live window alone: %d channels at %d samples/s for %.1f s, window %dx%d, %s\n", kChannels,
                1000 / kSampleIntervalMs, wall, window.width(), window.height(),
                qPrintable(QApplication::platformName()));
    std::printf("  samples handed over   %d, %.2f us each\n", measured, measured ? 1e6 * feedSeconds / measured : 0.0);
    std::printf("  frames                %ld (%.1f per second)\n", frames.Frames, frames.Frames / wall);
    std::printf("  frame time            mean %.2f ms, worst %.2f ms\n",
                frames.Frames ? frames.TotalMs / frames.Frames : 0.0, frames.WorstMs);
    std::printf("  window thread drawing %.2f %% of the time\n", 100.0 * frames.TotalMs / 1000.0 / wall);
    std::printf("  CPU                   %.2f %% of one core (whole process)\n", 100.0 * cpu / wall);
    std::printf("  back to back          %.2f ms CPU per frame (%d frames)\n", 1000.0 * back / kBackToBack,
                kBackToBack);
}

struct RunResult {
    double frameMs = 0;  // mean wall time of a frame
    double requestsPerSecond = 0;
    double windowCpuShare = 0;  // of one core
    double processCpuShare = 0;
    long frames = 0;
    long slowRequests = 0;   // transmit-empty to transmit-empty over 100 ms
    long mergedReplies = 0;  // receive events that brought echo and answer together
};

// One logging run through the Log button, measured for `seconds` after a short warm-up;
// with `live`, the main window's live chart is shown (Chart) while the run goes, without it
// is hidden (it still hears of the samples, as in the program). A second press of Log
// stops the run, as a user would.
RunResult MeasureRun(tessek::TfrmMain& main, double seconds, bool live)
{
    tessek::LiveWindow& window = *main.findChild<tessek::LiveWindow*>();
    if (live)
        main.btnChart->click();
    else
        window.hide();

    RunResult result;
    bool measuring = false, done = false;
    Clock::time_point start;
    double startWindowCpu = 0;
    long startFrames = 0;
    double startFrameMs = 0;
    // One transmit-empty event per request.
    long requests = 0;
    long startRequests = 0;
    double startProcessCpu = 0;
    auto originalTx = main.ComPort.OnTxEmpty;
    auto originalRx = main.ComPort.OnRxChar;
    Clock::time_point lastTx = Clock::now();
    main.ComPort.OnTxEmpty = [&](tessek::TCustomComPort* sender) {
        const auto now = Clock::now();
        if (measuring && !done && now - lastTx > std::chrono::milliseconds(100))
            ++result.slowRequests;
        lastTx = now;
        ++requests;
        originalTx(sender);
    };
    main.ComPort.OnRxChar = [&](tessek::TCustomComPort* sender, int32_t count) {
        if (measuring && !done && count > 1)
            ++result.mergedReplies;
        originalRx(sender, count);
    };
    QTimer monitor;
    monitor.setInterval(20);
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (done)
            return;
        if (!measuring) {
            if (requests < kWarmupRequests)
                return;
            measuring = true;
            startRequests = requests;
            startProcessCpu = CpuSeconds(RUSAGE_SELF);
            start = Clock::now();
            startWindowCpu = CpuSeconds(RUSAGE_THREAD);
            startFrames = window.Frames().Frames;
            startFrameMs = window.Frames().TotalMs;
            return;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (elapsed < seconds)
            return;
        result.requestsPerSecond = (requests - startRequests) / elapsed;
        result.processCpuShare = (CpuSeconds(RUSAGE_SELF) - startProcessCpu) / elapsed;
        result.windowCpuShare = (CpuSeconds(RUSAGE_THREAD) - startWindowCpu) / elapsed;
        result.frames = window.Frames().Frames - startFrames;
        if (result.frames > 0)
            result.frameMs = (window.Frames().TotalMs - startFrameMs) / result.frames;
        done = true;
        monitor.stop();
        main.btnLog->click();
    });
    monitor.start();
    main.btnLog->click();  // returns when the run has ended
    main.ComPort.OnTxEmpty = originalTx;
    main.ComPort.OnRxChar = originalRx;
    if (!done)
        throw std::runtime_error("the run ended before it was measured");
    return result;
}

void RunWithAndWithout(const SimChild& sim, double seconds, int rounds)
{
    const bench::BenchFolder folder(sim.Path());
    std::printf("\nLogging run against the simulated LM (another process), %.0f s per measurement\n", seconds);
    std::printf("  CPU: this process, in %% of one core; window: the window thread alone\n");
    std::printf("         ---- live window closed ----   ---------- live window open -----------\n");
    std::printf("  round  requests/s    CPU   window   requests/s    CPU   window  frame (ms)  ratio\n");
    std::vector<double> ratios;
    {
        tessek::TfrmMain main(folder.Path());
        for (int round = 1; round <= rounds; ++round) {
            // Closed first in odd rounds, open first in even ones, so a drift in the
            // machine's load favours neither.
            RunResult closed, open;
            if (round % 2 == 1) {
                closed = MeasureRun(main, seconds, false);
                open = MeasureRun(main, seconds, true);
            } else {
                open = MeasureRun(main, seconds, true);
                closed = MeasureRun(main, seconds, false);
            }
            const double ratio = open.requestsPerSecond / closed.requestsPerSecond;
            ratios.push_back(ratio);
            std::printf("  %5d  %10.1f  %5.2f  %7.2f   %10.1f  %5.2f  %7.2f  %10.2f  %5.3f\n", round,
                        closed.requestsPerSecond, 100 * closed.processCpuShare, 100 * closed.windowCpuShare,
                        open.requestsPerSecond, 100 * open.processCpuShare, 100 * open.windowCpuShare, open.frameMs,
                        ratio);
            if (closed.slowRequests + open.slowRequests + closed.mergedReplies + open.mergedReplies > 0)
                std::printf(
                    "         requests over 100 ms %ld closed, %ld open; echo and answer in one event %ld "
                    "closed, %ld open\n",
                    closed.slowRequests, open.slowRequests, closed.mergedReplies, open.mergedReplies);
        }
        main.close();
    }
    std::sort(ratios.begin(), ratios.end());
    const double median =
        ratios.size() % 2 ? ratios[ratios.size() / 2] : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    std::printf(
        "  median throughput with the live window open: %.1f %% of the run's with it closed (target >= 98 %%)\n",
        100 * median);
}

}  // namespace

int main(int argc, char** argv)
{
    const double liveSeconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const double runSeconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 4;
    if (liveSeconds <= 0 || runSeconds < 0 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_live [seconds of the window alone] [seconds per run] [rounds]\n");
        return 2;
    }
    const std::string loadBefore = LoadAverage();
    try {
        // Before any thread of this process exists.
        std::unique_ptr<SimChild> sim;
        if (runSeconds > 0)
            sim = std::make_unique<SimChild>();
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        LiveAlone(liveSeconds);
        if (sim)
            RunWithAndWithout(*sim, runSeconds, rounds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_live: %s\n", e.what());
        return 1;
    }
    std::printf("Load average before: %s; after: %s (%u cores)\n", loadBefore.c_str(), LoadAverage().c_str(),
                std::thread::hardware_concurrency());
    return 0;
}
