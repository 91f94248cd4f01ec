#pragma once
// The headless front end, `tessek --log`: logging runs without a window or a display, for a
// computer that rides along in the car. It uses the same program folder, "Tessek.ini",
// connection object and logging run as the main window, and writes the same files
// (TempLog<n>.txt with the text the window would hold for the run, SaveNum, the CSV and
// MSL data logs in logs/).
//
// It logs until stopped (RequestStop: SIGINT, SIGTERM, --seconds), waiting for an absent
// port, retrying a failed handshake every few seconds, and starting a new run into new
// files when a lost device has come back. Only QtCore is used: no GUI platform plugin is
// loaded. Runs on the thread of the QCoreApplication, inside Run.
#include "lm/CommandHost.h"
#include "lm/LmConnection.h"
#include "logging/LogRun.h"
#include "logging/LogSettings.h"
#include "logging/RunRecord.h"
#include "platform/MemoLines.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace tessek {

class Catalogue;
class DataLogWriter;
class IniFile;

struct HeadlessOptions {
    std::string Port;  // overrides the stored port for this run only; "" keeps it
    int Seconds = 0;   // ends after this many seconds; 0: until a signal
    bool Quiet = false;
};

// Exit statuses of `tessek --log`.
constexpr int kExitClean = 0;      // ended by a signal or --seconds
constexpr int kExitNoStart = 1;    // could not start at all
constexpr int kExitBadOption = 2;  // a bad option

// Reads --port, --seconds and --quiet from `arguments` (the program's name first, --log
// among them). On a bad option returns nullopt and sets `problem` to one line. Pure.
std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& arguments, std::string& problem);
// What --help prints for --log.
std::string HeadlessHelpText();

class HeadlessLogger : public CommandOutput, public RunObserver {
public:
    // `folder`: the program folder (with or without the trailing "/"); `status` gets the
    // progress and the lines that say what happens (a terminal gets a line redrawn in place).
    HeadlessLogger(const std::string& folder, HeadlessOptions options, std::FILE* status = stderr);
    ~HeadlessLogger() override;

    // Logs until stopped; returns the exit status.
    int Run();
    // Ends the current run as a second press of Log does and then Run; a second request
    // changes nothing. Safe to call from inside the run's waits.
    void RequestStop();
    // Installs SIGINT and SIGTERM handlers that call RequestStop from the event loop.
    void StopOnSignals();

    LmConnection& Connection() { return connection_; }
    const MemoLines& Memo() const { return memo_; }
    int RunsStarted() const { return runsStarted_; }

    // --- CommandOutput ----------------------------------------------------------------
    bool Busy() const override { return busy_; }
    void SetBusy(bool flag) override { busy_ = flag; }
    void MemoClear() override { memo_.Clear(); }
    void MemoAddLine(const std::string& line) override { memo_.AddLine(line); }
    void MemoAppend(const std::string& text) override { memo_.Append(text); }
    std::string MemoText() const override { return memo_.Text(); }
    bool MemoSaveToNewFile(const std::string& path) override { return memo_.SaveToNewFile(path); }
    void SetStatus(const std::string&) override {}
    void SetComSetupEnabled(bool) override {}
    // "Fastest" (1), as the window has it; benchmarks may choose another item.
    int SampleRateIndex() const override { return sampleRate_; }
    void SetSampleRateIndex(int index) { sampleRate_ = index; }
    std::string LocalDateTimeText() override;
    std::string ProgramFolder() const override { return folder_; }

    // --- RunObserver --------------------------------------------------------------------
    void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) override;
    void SampleLogged(const RunSample& sample) override;
    void RunEnded() override;

    // How long a failed handshake waits before the next one (ms).
    static constexpr int kHandshakeRetryMs = 3000;

private:
    // One line on the status stream (not with --quiet), ending a progress line first.
    void Say(const std::string& line);
    void ShowProgress();
    // Runs the event loop until `done` or a stop request; blocks between events.
    template <class Done>
    void WaitUntil(Done done);
    bool OpenOrWait();
    void OneRun();

    std::string folder_;
    HeadlessOptions options_;
    std::FILE* status_;
    bool terminal_ = false;
    bool progressShown_ = false;
    LmConnection connection_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<Catalogue> catalogue_;
    std::unique_ptr<DataLogWriter> dataLog_;
    LoggingSettings settings_;
    LogRunState state_;
    MemoLines memo_;
    LogRun* run_ = nullptr;  // the run in progress
    std::unique_ptr<QTimer> progress_;
    std::unique_ptr<QSocketNotifier> signals_;  // the signal pipe's read end
    bool busy_ = false;
    bool stopping_ = false;
    int sampleRate_ = 1;
    int runsStarted_ = 0;
    long samples_ = 0;
    long requests_ = 0;
    std::chrono::steady_clock::time_point runStart_;
};

}  // namespace tessek
