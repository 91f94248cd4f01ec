#include "app/HeadlessLogger.h"

#include "app/BuiltinPorts.h"
#include "logfiles/DataLog.h"
#include "logging/Decoders.h"
#include "logging/ParamCatalogue.h"
#include "platform/AtomicFile.h"
#include "platform/DateTimeText.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "serial/SerialDevice.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
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
            int n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || end != text.data() + text.size() || n <= 0) {
                problem = "--seconds needs a whole number of seconds above 0, not \"" + text + "\"";
                return std::nullopt;
            }
            options.Seconds = n;
        } else {
            problem = "unknown option \"" + a + "\" (tessek --log --help lists the options)";
            return std::nullopt;
        }
    }
    return options;
}

std::string HeadlessHelpText()
{
    return "Usage: tessek --log [--port PATH] [--seconds N] [--quiet]\n"
           "Logs the slots chosen in Tessek.ini without a window or display, until SIGINT or SIGTERM.\n"
           "Each run writes TempLog<n>.txt beside the program and its CSV and MSL data logs in logs/.\n"
           "\n"
           "  --port PATH   use this port for this run (nothing is stored)\n"
           "  --seconds N   end after N seconds\n"
           "  --quiet       no progress and no status lines (errors that end it are still shown)\n"
           "  --help        this text\n"
           "\n"
           "Exit status: 0 after a clean end, 1 when it cannot start, 2 for a bad option.\n";
}

HeadlessLogger::HeadlessLogger(const std::string& folder, HeadlessOptions options, std::FILE* status)
    : folder_(WithSlash(folder)),
      options_(std::move(options)),
      status_(status),
      terminal_(status && ::isatty(::fileno(status))),
      connection_([this] { return busy_; }),
      progress_(std::make_unique<QTimer>())
{
    RegisterBuiltinPorts();
    progress_->setInterval(1000);
    QObject::connect(progress_.get(), &QTimer::timeout, [this] { ShowProgress(); });
    connection_.OnLost = [this](const std::string& line) {
        memo_.AddLine(line);
        Say(line);
        busy_ = false;  // the run ends at its next write
    };
}

HeadlessLogger::~HeadlessLogger()
{
    connection_.OnLost = nullptr;
}

std::string HeadlessLogger::LocalDateTimeText()
{
    return DateTimeText(QLocale(), QDateTime::currentDateTime());
}

void HeadlessLogger::Say(const std::string& line)
{
    if (options_.Quiet || !status_)
        return;
    if (progressShown_) {
        std::fputs("\r\x1b[K", status_);
        progressShown_ = false;
    }
    std::fprintf(status_, "%s\n", line.c_str());
    std::fflush(status_);
}

void HeadlessLogger::ShowProgress()
{
    if (options_.Quiet || !status_ || !terminal_ || !run_)
        return;
    const double seconds =
        std::max(1e-3, std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count());
    std::fprintf(status_, "\r\x1b[K%ld samples, %.1f samples/s, %.1f requests/s, %s", samples_, samples_ / seconds,
                 requests_ / seconds, dataLog_->CsvPath().c_str());
    std::fflush(status_);
    progressShown_ = true;
}

void HeadlessLogger::RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started)
{
    ++runsStarted_;
    samples_ = requests_ = 0;
    runStart_ = std::chrono::steady_clock::now();
    dataLog_->RunStarted(columns, started);
    Say("Run " + std::to_string(runsStarted_) + " started on " + connection_.Port().Port() + ", logging to " +
        (dataLog_->CsvPath().empty() ? std::string("TempLog only") : dataLog_->CsvPath()));
    progress_->start();
}

void HeadlessLogger::SampleLogged(const RunSample& sample)
{
    ++samples_;
    requests_ += sample.Requests;
    dataLog_->SampleLogged(sample);
}

void HeadlessLogger::RunEnded()
{
    progress_->stop();
    dataLog_->RunEnded();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count();
    char text[128];
    std::snprintf(text, sizeof text, "Run %d ended: %ld samples in %.1f s", runsStarted_, samples_, seconds);
    Say(text);
}

void HeadlessLogger::RequestStop()
{
    if (stopping_)
        return;
    stopping_ = true;
    // As a second press of Log: the run ends after the slot in progress and saves its log.
    if (busy_ && run_)
        run_->StartOrStop();
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
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

template <class Done>
void HeadlessLogger::WaitUntil(Done done)
{
    // Every wake-up comes from an event: the connection's look for the device, the
    // deadline of --seconds, a signal, or the retry timer of the caller.
    while (!stopping_ && !done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool HeadlessLogger::OpenOrWait()
{
    if (connection_.Port().Connected())
        return true;
    if (!connection_.Lost()) {
        std::string why;
        if (connection_.Reopen(why))
            return true;
        Say(why);
        Say("Waiting for " + connection_.Port().Port() + " (looking twice a second).");
        connection_.WatchForDevice();
    }
    WaitUntil([this] { return connection_.Port().Connected(); });
    if (connection_.Port().Connected())
        Say(connection_.Port().Port() + " is there.");
    return connection_.Port().Connected();
}

void HeadlessLogger::OneRun()
{
    JoinedCommandHost host(connection_.Link(), *this);
    LogRun run(host, settings_, *ini_, [this](const std::string& name) { return catalogue_->DisplayText(name); },
               state_, {this});
    const int before = runsStarted_;
    run_ = &run;
    try {
        run.StartOrStop();
    } catch (const ConnectionLost&) {
        // Said by OnLost.
    } catch (const std::exception& e) {
        Say(ErrorMessage(std::current_exception()));
        // A port that fails otherwise is closed, so that the next run opens it afresh.
        connection_.Port().Close();
    }
    run_ = nullptr;
    busy_ = false;
    if (runsStarted_ == before && !stopping_ && connection_.Port().Connected()) {
        Say(memo_.LineCount() == 0 ? std::string("The handshake failed.")
                                   : std::string(memo_.Line(memo_.LineCount() - 1)));
        Say("Trying again in " + std::to_string(kHandshakeRetryMs / 1000) + " s.");
        bool due = false;
        QTimer::singleShot(kHandshakeRetryMs, [&due] { due = true; });
        WaitUntil([&due] { return due; });
    }
}

int HeadlessLogger::Run()
{
    const std::string iniPath = folder_ + kSettingsFileName;
    RemoveStaleTemporaries(iniPath);
    ini_ = std::make_unique<IniFile>(iniPath);
    if (const std::string problem = ini_->ReadProblem(); !problem.empty()) {
        std::fprintf(stderr, "tessek --log: %s\n", problem.c_str());
        return kExitNoStart;
    }
    settings_.Load(*ini_);
    const auto& addresses = settings_.LogAddrs;
    if (std::all_of(addresses.begin() + 1, addresses.end(), [](uint8_t a) { return a == kSkipAddress; })) {
        std::fprintf(stderr, "tessek --log: no slot is chosen in %s: choose what to log with Setup in the window\n",
                     iniPath.c_str());
        return kExitNoStart;
    }
    catalogue_ = std::make_unique<Catalogue>();
    dataLog_ = std::make_unique<DataLogWriter>(folder_);
    dataLog_->OnProblem = [this](const std::string& message) {
        memo_.AddLine(message);
        Say(message);
    };
    connection_.DeclarePort();
    try {
        connection_.LoadSettings(iniPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessek --log: %s\n", e.what());
        return kExitNoStart;
    }
    if (!options_.Port.empty())
        connection_.Port().SetPort(options_.Port);
    connection_.Link().SetRxEventCount(2);

    std::optional<QTimer> deadline;
    if (options_.Seconds > 0) {
        deadline.emplace();
        deadline->setSingleShot(true);
        QObject::connect(&*deadline, &QTimer::timeout, [this] { RequestStop(); });
        deadline->start(options_.Seconds * 1000);
    }
    while (!stopping_) {
        if (!OpenOrWait())
            break;
        OneRun();
    }
    try {
        ini_->WriteInteger("AutoSave", "SaveNum", settings_.SaveNum);
    } catch (const std::exception& e) {
        Say(e.what());
    }
    connection_.Port().Close();
    return kExitClean;
}

}  // namespace tessek
