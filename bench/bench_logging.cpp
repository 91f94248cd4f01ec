// Logging throughput: the main window logs eight addresses against the simulated LM
// (in a child process, so this process's CPU time is the program's alone) and the
// benchmark prints requests per second against the wire limit at 7680 baud and the CPU
// time per request. A second run without wire time compares the program's time per
// request with the simulator's own answer time, measured by a bare client on the same
// pseudo-terminal.
//
// Usage: bench_logging [requests per run (default 2000)]
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "platform/Termios2.h"
#include "platform/Tick.h"
#include "sim/SimulatedLm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kWireLimit = 7680.0 / 20.0;  // two bytes of 10 bits per request
// Eight real addresses; RPM and MPH take two requests each: 10 requests per sample.
constexpr const char* kSlots[8] = {"8F", "69", "86", "9A", "98", "A0", "72", "9C"};
constexpr int kWarmupRequests = 40;
// A run is measured for at most this long, even when it has not reached its count.
constexpr double kMaxSeconds = 20.0;

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "bench_logging: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// The simulated LM in a child process, driven through two pipes with one-line commands:
// "wire 0" / "wire 1" switch wire time, "count" answers the requests taken so far.
class SimChild {
public:
    SimChild()
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            Die("pipe");
        pid_ = fork();
        if (pid_ < 0)
            Die("fork");
        if (pid_ == 0) {
            close(toChild[1]);
            close(fromChild[0]);
            RunChild(toChild[0], fromChild[1]);
        }
        close(toChild[0]);
        close(fromChild[1]);
        out_ = toChild[1];
        in_ = fromChild[0];
        path_ = ReadLine();
    }
    ~SimChild()
    {
        close(out_);
        close(in_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    SimChild(const SimChild&) = delete;
    SimChild& operator=(const SimChild&) = delete;

    const std::string& Path() const { return path_; }
    void SetWireTiming(bool on) { Command(on ? "wire 1" : "wire 0"); }
    long Requests() { return std::stol(Command("count")); }

private:
    [[noreturn]] static void RunChild(int in, int out)
    {
        int code = 0;
        try {
            tessek::sim::SimulatedLm lm;
            lm.SetQuiet(true);
            tessek::sim::LmMemory memory{};
            for (int a = 0; a < 256; ++a)
                memory[a] = static_cast<uint8_t>(a ^ 0x5A);
            lm.SetMemory(memory);
            Reply(out, lm.SlavePath());
            std::string line;
            char c;
            while (read(in, &c, 1) == 1) {
                if (c != '\n') {
                    line += c;
                    continue;
                }
                if (line == "count")
                    Reply(out, std::to_string(lm.RequestCount()));
                else {
                    lm.SetWireTiming(line == "wire 1");
                    Reply(out, "ok");
                }
                line.clear();
            }
            lm.Stop();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_logging: simulator: %s\n", e.what());
            code = 1;
        }
        _exit(code);
    }
    static void Reply(int fd, const std::string& text)
    {
        const std::string line = text + "\n";
        if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            _exit(1);
    }
    std::string Command(const std::string& command)
    {
        const std::string line = command + "\n";
        if (write(out_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            Die("write to simulator");
        return ReadLine();
    }
    std::string ReadLine()
    {
        std::string line;
        char c;
        while (true) {
            const ssize_t n = read(in_, &c, 1);
            if (n != 1)
                Die("simulator ended");
            if (c == '\n')
                return line;
            line += c;
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::string path_;
};

// Reads exactly `count` bytes within `ms`; false on a time-out. `reads` counts the
// read calls that returned data.
bool ReadBytes(int fd, uint8_t* buffer, int count, int ms, int* reads = nullptr)
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
        if (n > 0) {
            got += static_cast<int>(n);
            if (reads)
                ++*reads;
        }
    }
    return true;
}

struct BareResult {
    double msPerRequest = 0;
    int together = 0;  // requests whose echo and answer came in one read
};

// The simulator's own time per request: a bare client that writes a request and blocks
// until echo and answer are in, with nothing else between.
BareResult BareAnswerTime(const std::string& path, int requests)
{
    BareResult result;
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
    const auto start = Clock::now();
    for (int i = 0; i < requests; ++i) {
        const uint8_t address = 0x8F;
        int reads = 0;
        if (write(fd, &address, 1) != 1 || !ReadBytes(fd, buffer, 2, 1000, &reads))
            Die("bare request");
        if (reads == 1)
            ++result.together;
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    close(fd);
    result.msPerRequest = ms / requests;
    return result;
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

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunResult {
    long requests = 0;
    double seconds = 0;
    double processCpu = 0;  // s
    double windowCpu = 0;   // s, window thread only
    size_t lines = 0;
    // Receive events while measuring: those that brought one byte, and those that
    // brought echo and answer together (the request then waits out the reply limit).
    long singleByteEvents = 0;
    long multiByteEvents = 0;
    long slowRequests = 0;   // transmit-empty to transmit-empty longer than 100 ms
    double slowSeconds = 0;  // the time those took
};

// One logging run through the Log button, measured over `requests` requests (or
// kMaxSeconds) after a short warm-up; a second press of Log stops it, as a user would.
// Requests are counted where the window sees them (one transmit-empty event each), so
// that the measurement itself adds no system calls to the window thread; the simulator's
// own count is compared at the end.
RunResult MeasureRun(tessek::TfrmMain& window, SimChild& sim, long requests)
{
    RunResult result;
    bool measuring = false;
    bool done = false;
    long txEmpty = 0;
    long startTx = 0;
    long simStart = 0;
    Clock::time_point startTime, lastTx;
    double startCpu = 0, startWindowCpu = 0;
    const Clock::time_point monitorStart = Clock::now();

    auto originalTx = window.ComPort.OnTxEmpty;
    auto originalRx = window.ComPort.OnRxChar;
    window.ComPort.OnTxEmpty = [&](tessek::TCustomComPort* sender) {
        ++txEmpty;
        const auto now = Clock::now();
        if (measuring && !done && now - lastTx > std::chrono::milliseconds(100)) {
            ++result.slowRequests;
            result.slowSeconds += std::chrono::duration<double>(now - lastTx).count();
        }
        lastTx = now;
        originalTx(sender);
    };
    window.ComPort.OnRxChar = [&](tessek::TCustomComPort* sender, int32_t count) {
        if (measuring && !done)
            ++(count > 1 ? result.multiByteEvents : result.singleByteEvents);
        originalRx(sender, count);
    };

    QTimer monitor;
    monitor.setInterval(50);
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (done)
            return;
        if (!measuring && std::chrono::duration<double>(Clock::now() - monitorStart).count() > kMaxSeconds) {
            monitor.stop();
            window.btnLog->click();  // no progress at all: give up
        } else if (!measuring && txEmpty >= kWarmupRequests) {
            measuring = true;
            startTx = txEmpty;
            simStart = sim.Requests();
            startTime = lastTx = Clock::now();
            startCpu = CpuSeconds(RUSAGE_SELF);
            startWindowCpu = CpuSeconds(RUSAGE_THREAD);
        } else if (measuring) {
            const double seconds = std::chrono::duration<double>(Clock::now() - startTime).count();
            if (txEmpty < startTx + requests && seconds < kMaxSeconds)
                return;
            result.seconds = seconds;
            result.processCpu = CpuSeconds(RUSAGE_SELF) - startCpu;
            result.windowCpu = CpuSeconds(RUSAGE_THREAD) - startWindowCpu;
            result.requests = sim.Requests() - simStart;
            done = true;
            monitor.stop();
            window.btnLog->click();
        }
    });
    monitor.start();
    window.btnLog->click();  // returns when the run has ended
    window.ComPort.OnTxEmpty = originalTx;
    window.ComPort.OnRxChar = originalRx;
    result.lines = window.Memo->Lines().size();
    if (!done)
        throw std::runtime_error("the run ended before the measurement: " + window.MemoText());
    return result;
}

void PrintRun(const char* title, const RunResult& r)
{
    const double rate = r.requests / r.seconds;
    std::printf("%s\n", title);
    std::printf("  requests measured        %ld in %.3f s (%zu lines in the text area)\n", r.requests, r.seconds,
                r.lines);
    std::printf("  requests per second      %.1f\n", rate);
    std::printf("  wire limit               %.1f requests/s\n", kWireLimit);
    std::printf("  ratio to the wire limit  %.1f %%\n", 100.0 * rate / kWireLimit);
    std::printf("  CPU per request          %.4f ms whole process, %.4f ms window thread\n",
                1000.0 * r.processCpu / r.requests, 1000.0 * r.windowCpu / r.requests);
    std::printf("  CPU load                 %.2f %% of one core (whole process)\n", 100.0 * r.processCpu / r.seconds);
    std::printf("  receive events           %ld with one byte, %ld with echo and answer together\n", r.singleByteEvents,
                r.multiByteEvents);
    std::printf("  requests over 100 ms     %ld, taking %.3f s together\n", r.slowRequests, r.slowSeconds);
    if (r.slowRequests > 0 && r.seconds > r.slowSeconds) {
        const double others = (r.requests - r.slowRequests) / (r.seconds - r.slowSeconds);
        std::printf("  all other requests       %.1f per second, %.1f %% of the wire limit\n", others,
                    100.0 * others / kWireLimit);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const long requests = argc > 1 ? std::atol(argv[1]) : 2000;
    if (requests <= 0) {
        std::fprintf(stderr, "usage: bench_logging [requests per run]\n");
        return 2;
    }

    const std::string loadBefore = LoadAverage();
    // Before any thread of this process exists.
    SimChild sim;

    const BareResult bareWire = BareAnswerTime(sim.Path(), 500);
    sim.SetWireTiming(false);
    const BareResult bareFast = BareAnswerTime(sim.Path(), 2000);
    sim.SetWireTiming(true);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    char folderTemplate[] = "/tmp/tessek-bench-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr)
        Die("mkdtemp");
    const std::string folder = std::string(folderTemplate) + "/";
    {
        std::ofstream ini(folder + "Tessek.ini");
        ini << "[ComPort]\nPort=" << sim.Path() << "\n[CurrentSet]\n";
        for (int i = 0; i < 8; ++i)
            ini << i + 1 << "=" << kSlots[i] << "\n";
        ini << "[AutoSave]\nSaveNum=1\n";
    }

    int code = 0;
    try {
        RunResult wire, fast, fastOneReply;
        {
            tessek::TfrmMain window(folder);
            wire = MeasureRun(window, sim, requests);
            sim.SetWireTiming(false);
            fast = MeasureRun(window, sim, requests);
            // "Too Fast": one receive event per request, so echo and answer arriving
            // together cost no reply time-out; what is left is the program's own time.
            window.rgRateItems->button(0)->setChecked(true);
            fastOneReply = MeasureRun(window, sim, requests);
            window.close();
        }
        std::printf("Logging eight addresses (10 requests per sample) against the simulated LM\n");
        std::printf("Load average before: %s; after: %s\n\n", loadBefore.c_str(), LoadAverage().c_str());
        PrintRun("With wire time at 7680 baud (target: >= 90 % of the wire limit, < 5 % of one core)", wire);
        std::printf(
            "  bare client on the same line: %.3f ms per request (%.1f requests/s), echo and answer in one "
            "read for %d of 500\n\n",
            bareWire.msPerRequest, 1000.0 / bareWire.msPerRequest, bareWire.together);
        PrintRun("Without wire time", fast);
        std::printf("\n");
        PrintRun("Without wire time, sample rate \"Too Fast\" (one receive event per request)", fastOneReply);
        const double programMs = 1000.0 * fastOneReply.seconds / fastOneReply.requests;
        std::printf("  program time per request %.3f ms; simulator's own answer time %.3f ms\n", programMs,
                    bareFast.msPerRequest);
        std::printf("  ratio                    %.2f (program overhead %.3f ms per request)\n",
                    programMs / bareFast.msPerRequest, programMs - bareFast.msPerRequest);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_logging: %s\n", e.what());
        code = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(folderTemplate, ec);
    return code;
}
