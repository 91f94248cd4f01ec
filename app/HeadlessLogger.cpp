#include "app/HeadlessLogger.h"

#include "app/BuiltinPorts.h"
#include "logfiles/DataLog.h"
#include "logging/Decoders.h"
#include "platform/FileIo.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>

namespace tessek {

namespace {

// The write end of the pipe a signal handler writes to; the event loop reads the other.
int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& arguments, std::string& problem)
{
    HeadlessOptions options;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const auto value = [&](const std::string& name, std::string& out) {
            const std::string prefix = name + "=";
            if (a.rfind(prefix, 0) == 0) {
                out = a.substr(prefix.size());
                return true;
            }
            if (a != name)
                return false;
            if (i + 1 >= arguments.size()) {
                problem = name + " needs a value";
                return true;
            }
            out = arguments[++i];
            return true;
        };
        std::string text;
        if (a == "--log")
            continue;
        if (a == "--quiet") {
            options.Quiet = true;
        } else if (value("--port", text)) {
            if (!problem.empty())
                return std::nullopt;
            if (text.empty()) {
                problem = "--port needs a port name";
                return std::nullopt;
            }
            options.Port = text;
        } else if (value("--seconds", text)) {
            if (!problem.empty())
                return std::nullopt;
            int64_t n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || end != text.data() + text.size() || n <= 0 || n > kMaxSeconds) {
                problem = "--seconds needs a whole number of seconds from 1 to " + std::to_string(kMaxSeconds) +
                          " (a year), not \"" + text + "\"";
                return std::nullopt;
            }
            options.Seconds = n;
        } else if (value("--wideband", text)) {
            if (!problem.empty())
                return std::nullopt;
            if (text.empty()) {
                problem = "--wideband needs a port name";
                return std::nullopt;
            }
            options.WidebandPort = text;
        } else if (value("--wideband-protocol", text)) {
            if (!problem.empty())
                return std::nullopt;
            options.WidebandProto = ParseProtocol(text);
            if (!options.WidebandProto) {
                problem = "--wideband-protocol needs mts, aem or text, not \"" + text + "\"";
                return std::nullopt;
            }
        } else {
            problem = "unknown option \"" + a + "\" (tessek --log --help lists the options)";
            return std::nullopt;
        }
    }
    return options;
}

std::string HeadlessHelpText()
{
    return "Usage: tessek --log [--port PATH] [--seconds N] [--quiet] [--wideband PATH] [--wideband-protocol NAME]\n"
           "Logs the slots chosen in Tessek.ini without a window or display, until SIGINT, SIGTERM or SIGHUP.\n"
           "Each run writes TempLog<n>.txt beside the program and its CSV and MSL data logs in logs/.\n"
           "\n"
           "  --port PATH   use this port for this run (nothing is stored)\n"
           "  --seconds N   end after N seconds (at most 31536000, a year)\n"
           "  --quiet       no progress and no status lines (errors that end it are still shown)\n"
           "  --wideband PATH\n"
           "                read a wideband O2 controller on this port for this run (nothing is stored)\n"
           "  --wideband-protocol NAME\n"
           "                its protocol for this run: mts, aem or text (nothing is stored)\n"
           "  --help        this text\n"
           "\n"
           "Exit status: 0 after a clean end, 1 when it cannot start, 2 for a bad option.\n";
}

HeadlessLogger::HeadlessLogger(const std::string& folder, HeadlessOptions options, std::FILE* status)
    : options_(std::move(options)),
      status_(status),
      terminal_(status && ::isatty(::fileno(status))),
      session_(folder),
      progress_(std::make_unique<QTimer>())
{
    RegisterBuiltinPorts();
    progress_->setInterval(1000);
    QObject::connect(progress_.get(), &QTimer::timeout, [this] { ShowProgress(); });
    session_.SetView(this);
    session_.AddRunObserver(this);
    session_.SetWidebandOverride({options_.WidebandPort, options_.WidebandProto});
}

HeadlessLogger::~HeadlessLogger()
{
    session_.RemoveRunObserver(this);
    session_.SetView(nullptr);
}

void HeadlessLogger::Say(const std::string& line)
{
    if (options_.Quiet || !status_)
        return;
    // A status stream that has gone (a closed terminal, a pipe whose reader ended) drops
    // the line; the run goes on.
    if (progressShown_) {
        std::fputs("\r\x1b[K", status_);
        progressShown_ = false;
    }
    std::fprintf(status_, "%s\n", line.c_str());
    std::fflush(status_);
    std::clearerr(status_);
}

void HeadlessLogger::ShowProgress()
{
    if (options_.Quiet || !status_ || !terminal_ || !running_)
        return;
    const double seconds =
        std::max(1e-3, std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count());
    std::fprintf(status_, "\r\x1b[K%ld samples, %.1f samples/s, %.1f requests/s, %ld missed, %s%s", samples_,
                 samples_ / seconds, requests_ / seconds, missed_, session_.DataLog().CsvPath().c_str(),
                 alarm_.empty() ? "" : (", ALARM " + alarm_).c_str());
    std::fflush(status_);
    std::clearerr(status_);
    progressShown_ = true;
}

void HeadlessLogger::AlarmRaised(const std::string& text)
{
    alarm_ = text;
    ShowProgress();
}

void HeadlessLogger::RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point)
{
    ++runsStarted_;
    running_ = true;
    samples_ = requests_ = missed_ = 0;
    alarm_.clear();
    runStart_ = std::chrono::steady_clock::now();
    const std::string& csv = session_.DataLog().CsvPath();
    Say("Run " + std::to_string(runsStarted_) + " started on " + session_.Port().Port() + ", logging to " +
        (csv.empty() ? std::string("TempLog only") : csv));
    progress_->start();
}

void HeadlessLogger::SampleLogged(const RunSample& sample)
{
    ++samples_;
    requests_ += sample.Requests;
    missed_ += sample.Missed;
}

void HeadlessLogger::RunEnded()
{
    progress_->stop();
    running_ = false;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count();
    char text[160];
    std::snprintf(text, sizeof text, "Run %d ended: %ld samples in %.1f s, %ld of %ld answers missed", runsStarted_,
                  samples_, seconds, missed_, requests_);
    ended_ = text;
}

void HeadlessLogger::RunFinished()
{
    // Said once the run has saved its automatic log, so nothing printed can come first.
    if (!ended_.empty())
        Say(ended_);
    ended_.clear();
}

void HeadlessLogger::StopOnSignals()
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signals_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        RequestStop();
    });
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal or a dropped ssh session ends the run as a stop does.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A status stream whose reader has gone gives a failed write, never the end of the run.
    ::signal(SIGPIPE, SIG_IGN);
    // A file size limit ends the data logs as a full disk does, cut to whole rows.
    IgnoreFileSizeSignal();
}

int HeadlessLogger::Run()
{
    const std::string problem = session_.LoadSettings();
    if (!problem.empty()) {
        std::fprintf(stderr, "tessek --log: %s\n", problem.c_str());
        return kExitNoStart;
    }
    const auto& addresses = session_.LogSettings().LogAddrs;
    if (std::all_of(addresses.begin() + 1, addresses.end(), [](uint8_t a) { return a == kSkipAddress; })) {
        std::fprintf(stderr, "tessek --log: no slot is chosen in %s: choose what to log with Setup in the window\n",
                     session_.SettingsFileName().c_str());
        return kExitNoStart;
    }
    if (!options_.Port.empty())
        session_.Port().SetPort(options_.Port);
    ApplySimulatorSettings(*session_.Settings(), session_.Port().Port());

    // --seconds may be longer than one timer can wait: the timer wakes at most once a day
    // and looks at the clock.
    QTimer deadline;
    deadline.setSingleShot(true);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options_.Seconds);
    const auto armDeadline = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            RequestStop();
            return;
        }
        deadline.start(static_cast<int>(std::min<int64_t>(left.count(), 24LL * 3600 * 1000)));
    };
    QObject::connect(&deadline, &QTimer::timeout, armDeadline);
    if (options_.Seconds > 0)
        armDeadline();
    session_.LogUntilStopped();
    return kExitClean;
}

}  // namespace tessek
