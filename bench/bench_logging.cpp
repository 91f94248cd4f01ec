// Logging throughput and cost: the main window logs eight addresses against the simulated
// LM (in a child process, so this process's CPU time and context switches are the
// program's alone), side by side with a bare C client on the same simulated line in the
// same invocation. For each it prints requests per second (and the program's share of the
// bare client's), CPU time per request, CPU share of one core and context switches per
// request (voluntary ones are the thread wake-ups). The program runs twice: as the
// headless logger (`tessek --log`: the connection object and the logging run alone, no
// window) and with the main window shown on the current platform (offscreen unless
// QT_QPA_PLATFORM says otherwise), where the text area paints what it shows. A last pair
// without wire time gives the headless program's own time per request beside the
// simulator's answer time.
//
// Usage: bench_logging [requests per run (default 2000)] [rounds (default 1)]
#include "app/HeadlessLogger.h"
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "bench/SimChild.h"
#include "platform/Termios2.h"
#include "sim/SimulatedLm.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using bench::Die;
using bench::SimChild;

constexpr double kWireLimit = 7680.0 / 20.0;  // two bytes of 10 bits per request
constexpr int kWarmupRequests = 40;
// A run that makes no progress for this long is given up.
constexpr int kGiveUpMs = 20000;

// CPU time and context switches of the process (RUSAGE_SELF: all its threads) or of the
// calling thread (RUSAGE_THREAD).
struct Usage {
    double cpu = 0;  // s
    long voluntary = 0;
    long involuntary = 0;
};

Usage ReadUsage(int who)
{
    rusage u{};
    getrusage(who, &u);
    return {u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6, u.ru_nvcsw,
            u.ru_nivcsw};
}

Usage operator-(const Usage& a, const Usage& b)
{
    return {a.cpu - b.cpu, a.voluntary - b.voluntary, a.involuntary - b.involuntary};
}

// What one measured run cost.
struct Run {
    std::string name;
    long requests = 0;
    double seconds = 0;
    Usage process;
    Usage window;           // the window thread alone (the bare client: its one thread)
    long slowRequests = 0;  // request to request longer than 100 ms
    size_t lines = 0;       // in the text area at the end
};

// Reads exactly `count` bytes within `ms`; false on a time-out.
bool ReadBytes(int fd, uint8_t* buffer, int count, int ms)
{
    int got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (got < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        const ssize_t n = read(fd, buffer + got, static_cast<size_t>(count - got));
        if (n > 0)
            got += static_cast<int>(n);
    }
    return true;
}

// A minimal client on the same line: handshake, then write a request and block in poll()
// until echo and answer are in, with nothing else between. Runs on the calling thread.
Run BareClient(const std::string& path, long requests)
{
    Run run;
    run.name = "bare C client";
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        Die("open " + path);
    uint8_t buffer[2];
    if (!tessek::SetRawAtRate(fd, tessek::sim::SimulatedLm::kLowRate))
        Die("rate 977");
    const uint8_t handshake = tessek::sim::SimulatedLm::kHandshake;
    if (write(fd, &handshake, 1) != 1 || !ReadBytes(fd, buffer, 1, 1000))
        Die("handshake");
    if (!tessek::SetRawAtRate(fd, tessek::sim::SimulatedLm::kHighRate))
        Die("rate 7680");
    auto request = [&] {
        const uint8_t address = 0x8F;
        if (write(fd, &address, 1) != 1 || !ReadBytes(fd, buffer, 2, 1000))
            Die("bare request");
    };
    for (int i = 0; i < kWarmupRequests; ++i)
        request();
    const Usage startUsage = ReadUsage(RUSAGE_THREAD);
    const auto start = Clock::now();
    auto last = start;
    for (long i = 0; i < requests; ++i) {
        request();
        const auto now = Clock::now();
        if (now - last > std::chrono::milliseconds(100))
            ++run.slowRequests;
        last = now;
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.window = run.process = ReadUsage(RUSAGE_THREAD) - startUsage;
    run.requests = requests;
    close(fd);
    return run;
}

// Counts requests where the program sees them (one transmit-empty event each), so that
// the measurement adds no system calls and no wake-ups of its own, and calls `stop` once
// `requests` have been measured after a short warm-up. The simulator's count is taken at
// start and end.
class Measure {
public:
    Measure(Run& run, SimChild& sim, long requests) : run_(run), sim_(sim), requests_(requests) {}

    // Wraps `port`'s transmit-empty handler; `stop` ends the run the way a user would.
    void Attach(tessek::TCustomComPort& port, std::function<void()> stop)
    {
        port_ = &port;
        stop_ = std::move(stop);
        original_ = port.OnTxEmpty;
        port.OnTxEmpty = [this](tessek::TCustomComPort* sender) {
            Count();
            original_(sender);
        };
        QObject::connect(&giveUp_, &QTimer::timeout, [this] {
            if (done_ || txEmpty_ == progress_) {
                stop_();
                return;
            }
            progress_ = txEmpty_;
            giveUp_.start(kGiveUpMs);
        });
        giveUp_.setSingleShot(true);
        giveUp_.start(kGiveUpMs);
    }
    void Detach() { port_->OnTxEmpty = original_; }
    bool Done() const { return done_; }

private:
    void Count()
    {
        ++txEmpty_;
        const auto now = Clock::now();
        if (txEmpty_ == kWarmupRequests) {
            simStart_ = sim_.Requests();
            startTime_ = now;
            startProcess_ = ReadUsage(RUSAGE_SELF);
            startWindow_ = ReadUsage(RUSAGE_THREAD);
        } else if (txEmpty_ > kWarmupRequests && !done_) {
            if (now - lastTx_ > std::chrono::milliseconds(100))
                ++run_.slowRequests;
            if (txEmpty_ == kWarmupRequests + requests_) {
                run_.seconds = std::chrono::duration<double>(now - startTime_).count();
                run_.process = ReadUsage(RUSAGE_SELF) - startProcess_;
                run_.window = ReadUsage(RUSAGE_THREAD) - startWindow_;
                run_.requests = sim_.Requests() - simStart_;
                done_ = true;
                QTimer::singleShot(0, stop_);
            }
        }
        lastTx_ = now;
    }

    Run& run_;
    SimChild& sim_;
    const long requests_;
    tessek::TCustomComPort* port_ = nullptr;
    std::function<void()> stop_;
    tessek::TNotifyEvent original_;
    QTimer giveUp_;
    long txEmpty_ = 0;
    long progress_ = -1;
    long simStart_ = 0;
    bool done_ = false;
    Clock::time_point startTime_, lastTx_;
    Usage startProcess_, startWindow_;
};

// One run of the headless logger (the connection object and the logging run, no window),
// measured over `requests` requests; a stop request ends it as SIGTERM does.
Run HeadlessRun(const std::string& folder, SimChild& sim, long requests, bool tooFast)
{
    Run run;
    run.name = std::string("program, headless") + (tooFast ? ", \"Too Fast\"" : "");
    tessek::HeadlessLogger logger(folder, {}, nullptr);
    if (tooFast)
        logger.SetSampleRateIndex(0);
    Measure measure(run, sim, requests);
    measure.Attach(logger.Connection().Port(), [&] { logger.RequestStop(); });
    logger.Run();  // returns when the run has ended
    measure.Detach();
    run.lines = logger.Memo().Lines().size();
    if (!measure.Done())
        throw std::runtime_error("the run ended before the measurement: " + logger.Memo().Text());
    return run;
}

// One logging run through the main window's Log button, the window shown, measured as the
// headless one; a second press of Log stops it, as a user would.
Run WindowRun(const std::string& folder, SimChild& sim, long requests)
{
    Run run;
    run.name = "program, window shown";
    tessek::TfrmMain window(folder);
    window.show();
    QTimer settle;
    settle.setSingleShot(true);
    settle.start(200);
    while (settle.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // A screen reader on the accessibility bus (scripts/bench-a11y.sh) turns accessibility on.
    if (QAccessible::isActive())
        run.name += ", a11y on";
    Measure measure(run, sim, requests);
    measure.Attach(window.ComPort, [&] { window.btnLog->click(); });
    window.btnLog->click();  // returns when the run has ended
    measure.Detach();
    run.lines = window.Memo->Lines().size();
    if (!measure.Done())
        throw std::runtime_error("the run ended before the measurement: " + window.MemoText());
    window.close();
    return run;
}

void PrintHeader()
{
    std::printf("%-36s %9s %7s %8s %7s %7s %18s %6s\n", "client", "req/s", "share", "CPU ms", "CPU %", "slow",
                "switches/req", "lines");
    std::printf("%-36s %9s %7s %8s %7s %7s %18s %6s\n", "", "", "of bare", "per req", "of core", ">100ms",
                "vol (win) + invol", "");
}

void PrintRun(const Run& r, double bareRate)
{
    const double rate = r.requests / r.seconds;
    const double n = static_cast<double>(r.requests);
    std::printf("%-36s %9.1f %7.3f %8.4f %7.2f %7ld %6.2f (%4.2f) + %4.2f %6zu\n", r.name.c_str(), rate,
                bareRate > 0 ? rate / bareRate : 1.0, 1000.0 * r.process.cpu / n, 100.0 * r.process.cpu / r.seconds,
                r.slowRequests, r.process.voluntary / n, r.window.voluntary / n, r.process.involuntary / n, r.lines);
}

// The first three fields of /proc/loadavg: the numbers are only comparable on an
// otherwise idle machine.
std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv)
{
    const long requests = argc > 1 ? std::atol(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;
    if (requests <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_logging [requests per run] [rounds]\n");
        return 2;
    }

    const std::string loadBefore = LoadAverage();
    // Before any thread of this process exists.
    SimChild sim;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const bench::BenchFolder benchFolder(sim.Path());
    const std::string& folder = benchFolder.Path();

    int code = 0;
    try {
        std::printf("Logging eight addresses (10 requests per sample) against the simulated LM, %ld requests a run\n",
                    requests);
        std::printf(
            "With wire time at 7680 baud (wire limit %.0f requests/s). Goal: share >= 0.98, CPU <= 3 %% "
            "headless, <= 4 %% shown (<= 5 %% with a11y on), <= 4 wake-ups per request\n",
            kWireLimit);
        PrintHeader();
        for (int round = 0; round < rounds; ++round) {
            const Run bare = BareClient(sim.Path(), requests);
            const double bareRate = bare.requests / bare.seconds;
            PrintRun(bare, 0);
            PrintRun(HeadlessRun(folder, sim, requests, false), bareRate);
            PrintRun(WindowRun(folder, sim, requests), bareRate);
            std::fflush(stdout);
        }

        sim.SetWireTiming(false);
        std::printf("\nWithout wire time, sample rate \"Too Fast\" (one receive event counted per request)\n");
        PrintHeader();
        const Run bareFast = BareClient(sim.Path(), requests);
        PrintRun(bareFast, 0);
        const Run fast = HeadlessRun(folder, sim, requests, true);
        PrintRun(fast, bareFast.requests / bareFast.seconds);
        const double programMs = 1000.0 * fast.seconds / fast.requests;
        const double simMs = 1000.0 * bareFast.seconds / bareFast.requests;
        std::printf("program time per request %.3f ms; simulator's own answer time %.3f ms (overhead %.3f ms)\n",
                    programMs, simMs, programMs - simMs);
        std::printf("\nLoad average before: %s; after: %s\n", loadBefore.c_str(), LoadAverage().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_logging: %s\n", e.what());
        code = 1;
    }
    return code;
}
