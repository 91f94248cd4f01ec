#pragma once
// The headless front end, `tessek --log`: logging runs without a window or a display, for a
// computer that rides along in the car. It uses the same program folder, "Tessek.ini",
// connection object and logging run as the main window, and writes the same files
// (TempLog<n>.txt with the text the window would hold for the run, SaveNum, the CSV and
// MSL data logs in logs/).
//
// It logs until stopped (RequestStop: SIGINT, SIGTERM, --seconds), waiting for an absent
// port, retrying a failed handshake every few seconds, and starting a new run into new
// files when a lost device has come back (the session does all of that: this front end
// prints what happens and the progress). A raised alarm marks the data logs as in the
// window and shows in the progress line. Only QtCore is used: no GUI platform plugin is
// loaded. Runs on the thread of the QCoreApplication, inside Run.
#include "logging/RunRecord.h"
#include "session/LoggingSession.h"
#include "wideband/WidebandDecoder.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace tessek {

struct HeadlessOptions {
    std::string Port;     // overrides the stored port for this run only; "" keeps it
    int64_t Seconds = 0;  // ends after this many seconds (at most kMaxSeconds); 0: until a signal
    bool Quiet = false;
    // The wideband controller for this run only, replacing [Wideband]'s (nothing is stored).
    std::string WidebandPort;                       // "" keeps the stored one
    std::optional<WidebandProtocol> WidebandProto;  // none keeps the stored one
};

// The longest --seconds: a year.
constexpr int64_t kMaxSeconds = 365LL * 24 * 3600;

// Exit statuses of `tessek --log`.
constexpr int kExitClean = 0;      // ended by a signal or --seconds
constexpr int kExitNoStart = 1;    // could not start at all
constexpr int kExitBadOption = 2;  // a bad option

// Reads --port, --seconds, --quiet, --wideband and --wideband-protocol from `arguments` (the program's name first,
// --log among them). On a bad option returns nullopt and sets `problem` to one line. Pure.
std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& arguments, std::string& problem);
// What --help prints for --log.
std::string HeadlessHelpText();

class HeadlessLogger : private SessionView, private RunObserver {
public:
    // `folder`: the program folder (with or without the trailing "/"); `status` gets the
    // progress and the lines that say what happens (a terminal gets a line redrawn in place).
    HeadlessLogger(const std::string& folder, HeadlessOptions options, std::FILE* status = stderr);
    ~HeadlessLogger() override;

    // Logs until stopped; returns the exit status.
    int Run();
    // Ends the current run as a second press of Log does and then Run; a second request
    // changes nothing. Safe to call from inside the run's waits.
    void RequestStop() { session_.RequestStop(); }
    // Installs SIGINT and SIGTERM handlers that call RequestStop from the event loop.
    void StopOnSignals();

    LoggingSession& Session() { return session_; }
    LmConnection& Connection() { return session_.Connection(); }
    const MemoLines& Memo() const { return session_.Text(); }
    int RunsStarted() const { return runsStarted_; }
    // "Fastest" (1), as the window has it; benchmarks may choose another item.
    void SetSampleRateIndex(int index) { session_.SetSampleRateIndex(index); }

    static constexpr int kHandshakeRetryMs = LoggingSession::kHandshakeRetryMs;

private:
    // --- SessionView --------------------------------------------------------------------
    void Notice(const std::string& line) override { Say(line); }
    void RunFinished() override;
    void AlarmRaised(const std::string& text) override;

    // --- RunObserver --------------------------------------------------------------------
    void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) override;
    void SampleLogged(const RunSample& sample) override;
    void RunEnded() override;

    // One line on the status stream (not with --quiet), ending a progress line first.
    void Say(const std::string& line);
    void ShowProgress();

    HeadlessOptions options_;
    std::FILE* status_;
    bool terminal_ = false;
    bool progressShown_ = false;
    LoggingSession session_;
    std::unique_ptr<QTimer> progress_;
    std::unique_ptr<QSocketNotifier> signals_;  // the signal pipe's read end
    bool running_ = false;
    int runsStarted_ = 0;
    long samples_ = 0;
    long requests_ = 0;
    long missed_ = 0;
    std::string ended_;  // the line that says how the run ended, once its log is saved
    std::string alarm_;  // the alarm raised last in this run, for the progress line
    std::chrono::steady_clock::time_point runStart_;
};

}  // namespace tessek
