#pragma once
// The logging session both front ends share (the main window and `tessek --log`): the
// connection to the LM and its reopening, "Tessek.ini" with the logging settings, the
// parameter catalogue, the run state and the run, the run's text (what its automatic log
// keeps), the data log files, the alarms and the markers, and SaveNum. A front end makes
// one session, tells it to start, stop and mark, and shows what it reports through a
// SessionView and RunObservers; it keeps no copy of any of these.
//
// Window thread only (the thread of the Qt event loop). The session is the output of every
// LM command (CommandOutput): the run and the reports write their lines into its text
// area and read its busy mark.
//
// Alarms are checked on every sample whether a window shows them or not; a raised alarm
// marks the run's data logs. When a run has ended because the device went away, a new run
// into new files starts once the device is back (ResumeDue tells the window; LogUntilStopped
// starts it by itself); a run the user stopped never restarts.
//
// A wideband controller named in section [Wideband] is a second input with a port of its
// own, opened at LoadSettings and reopened when it comes back; its columns (AFR, Lambda,
// WB Status, aux channels) follow the logged ones in every sample of a run that starts while
// it is set (session/WidebandColumns.h). Its absence never disturbs the LM's run: its cells
// are empty, and a Notice says that it went away and came back.
//
// With [RunAdaptives] Read=1 a run reads the LM's adaptive cells before its handshake and
// after its end (about a second each) and keeps them beside its CSV data log as
// "<log name>-adaptives.csv" (reports/RunAdaptives.h), for the log viewer's Advice tab.
#include "analysis/LiveAlarms.h"
#include "lm/CommandHost.h"
#include "lm/LmConnection.h"
#include "logging/LogRun.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "logging/RunRecord.h"
#include "reports/ReportReadings.h"
#include "session/SampleHooks.h"
#include "session/TextArea.h"
#include "session/WidebandColumns.h"
#include "wideband/WidebandInput.h"
#include "wideband/WidebandSettings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

class DataLogWriter;
class IniFile;

// What a front end shows of a session. Every call has an empty default: a front end
// implements what it displays.
class SessionView {
public:
    virtual ~SessionView() = default;
    virtual void ShowBusy(bool busy) { (void)busy; }
    // The connection label: "Connected", "Not Connected".
    virtual void ShowStatus(const std::string& text) { (void)text; }
    // A line that tells the user what happened (the device went away or came back, a data
    // log could not be written, an alarm, a failed handshake); it is in the text area too.
    virtual void Notice(const std::string& line) { (void)line; }
    virtual void AlarmRaised(const std::string& text) { (void)text; }
    // A run has ended and saved what it logged (or failed to).
    virtual void RunFinished() {}
    virtual void ConnectionWentAway() {}
    virtual void ConnectionCameBack() {}
    // A run ended by a lost device may start again now (the device is back and sending);
    // the front end calls ResumeRun when it may.
    virtual void ResumeDue() {}
};

class LoggingSession final : public CommandOutput, private RunObserver {
public:
    // How long an unattended session waits before trying a failed handshake again (ms).
    static constexpr int kHandshakeRetryMs = 3000;

    // `folder`: the program folder (with or without the trailing "/"). `clock` and `pump`
    // go to the link (defaults: the tick counter and the Qt event loop).
    explicit LoggingSession(const std::string& folder, TickSource clock = {}, std::shared_ptr<EventPump> pump = {});
    ~LoggingSession() override;
    LoggingSession(const LoggingSession&) = delete;
    LoggingSession& operator=(const LoggingSession&) = delete;

    // --- what front ends show and forward ------------------------------------------------
    void SetView(SessionView* view);  // null: nothing is shown
    // Hears of every run (after the data logs and the alarms).
    void AddRunObserver(RunObserver* observer);
    // Adds columns to every sample, after the logged ones and those of the hooks before it;
    // the calculated channels of [Calculated] come last, so they may use every other column.
    void AddSampleHook(SampleHook* hook);
    void RemoveRunObserver(RunObserver* observer);
    // Where the text goes; null: the session's own store.
    void SetTextArea(TextArea* area);
    // A line after the start-up check, the first time (the window's first start).
    void SetFirstStartLine(std::string line) { firstStartLine_ = std::move(line); }

    // What replaces section [Wideband] for this session, nothing stored (the headless
    // logger's --wideband and --wideband-protocol); applied from the next LoadSettings.
    struct WidebandOverride {
        std::string Port;                          // "": the stored one
        std::optional<WidebandProtocol> Protocol;  // none: the stored one
    };
    void SetWidebandOverride(WidebandOverride override) { widebandOverride_ = std::move(override); }

    // --- start-up and end -------------------------------------------------------------------
    // Reads "Tessek.ini" (the logging settings and the stored port settings) and makes the
    // catalogue; returns the file's problem, "" when it could be read. A file that cannot
    // be read leaves the default settings and is never written. Starts the wideband input
    // of [Wideband] (a port that cannot be opened is said in a Notice).
    std::string LoadSettings();
    // Closes the wideband's port and opens the one of `settings` (none when it names no
    // port): for a dialog that has stored new settings. False when it cannot be opened;
    // `why` gets the reason, which a Notice says as well. Runs started from now on have its
    // columns when it names a port.
    bool StartWideband(const WidebandSettings& settings, std::string& why);
    // Opens the configured port (EComPort on failure).
    void OpenPort() { connection_.Open(); }
    // Listens for the LM and says what it found in the label and the text area.
    void ProbeAndShow();
    // Stores SaveNum and closes the port; the port is closed even when the file cannot be
    // written (then that error is thrown).
    void Close();

    // --- commands -----------------------------------------------------------------------------
    // The Log button: starts a run when none is going, otherwise stops it. A run ended by a
    // lost device returns normally (the loss was said); other port errors propagate.
    void StartOrStopRun();
    // Starts the run that continues one ended by a lost device; its text area says so.
    void ResumeRun();
    // Marks the running log ("Manual", or an alarm's text); nothing when no run is logging.
    void Mark(const std::string& text);
    bool Running() const { return run_ != nullptr; }
    // A run ended by a lost device waits for it to come back.
    bool ResumeWanted() const { return resumeWanted_; }

    // Logs without a user: waits for an absent port, tries a failed handshake again every
    // kHandshakeRetryMs and starts a new run after a lost device has come back, until
    // RequestStop. Stores SaveNum at the end.
    void LogUntilStopped();
    // Ends the current run as a second press of Log does and ends LogUntilStopped; safe to
    // call from inside the run's waits.
    void RequestStop();
    bool StopRequested() const { return stopping_; }

    // --- the parts ---------------------------------------------------------------------------
    LmConnection& Connection() { return connection_; }
    TComPort& Port() { return connection_.Port(); }
    LmLink& Link() { return connection_.Link(); }
    IniFile* Settings() { return ini_.get(); }  // null before LoadSettings and after Close
    LoggingSettings& LogSettings() { return settings_; }
    const Catalogue* ParamCatalogue() const { return catalogue_.get(); }
    LogRunState& RunState() { return state_; }
    DataLogWriter& DataLog() { return *dataLog_; }
    LiveAlarms& Alarms() { return alarms_; }
    WidebandInput& Wideband() { return wideband_; }
    const MemoLines& Text() const { return text_->Store(); }
    std::string SettingsFileName() const;
    void SetSampleRateIndex(int index) { sampleRate_ = index; }

    // --- CommandOutput -----------------------------------------------------------------------
    bool Busy() const override { return busy_; }
    void SetBusy(bool flag) override;
    void MemoClear() override;
    void MemoAddLine(const std::string& line) override { text_->AddLine(line); }
    void MemoAppend(const std::string& text) override { text_->Append(text); }
    std::string MemoText() const override { return text_->Store().Text(); }
    bool MemoSaveToNewFile(const std::string& path) override { return text_->Store().SaveToNewFile(path); }
    void SetStatus(const std::string& text) override;
    int SampleRateIndex() const override { return sampleRate_; }
    std::string LocalDateTimeText() override;
    std::string ProgramFolder() const override { return folder_; }

private:
    // RunObserver: the data logs first, then the alarms, then the front ends' observers.
    void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) override;
    void SampleLogged(const RunSample& sample) override;
    void RunEnded() override;

    void Say(const std::string& line);
    // Runs the event loop until `done` or a stop request; blocks between events.
    void WaitUntil(const std::function<bool()>& done);
    bool OpenOrWait();
    void OneUnattendedRun();
    // [RunAdaptives] Read: a run reads the adaptive cells at its start and end.
    bool ReadsRunAdaptives() const;
    // The adaptive cells read without a word in the text area; nothing when they could not
    // be read (a port error is said, and the busy mark cleared).
    std::optional<AdaptivesReading> QuietAdaptives(CommandHost& host);
    void DeviceBack(bool receiving);

    std::string folder_;
    LmConnection connection_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<Catalogue> catalogue_;
    std::unique_ptr<DataLogWriter> dataLog_;
    LoggingSettings settings_;
    LogRunState state_;
    LiveAlarms alarms_;
    StoreTextArea ownText_;
    TextArea* text_ = &ownText_;
    SessionView noView_;
    SessionView* view_ = &noView_;
    std::vector<RunObserver*> observers_;
    WidebandInput wideband_;
    WidebandColumns widebandColumns_;  // the first hook of a run while the wideband is set
    WidebandOverride widebandOverride_;
    bool widebandInRun_ = false;
    std::vector<SampleHook*> hooks_;  // the further inputs' columns
    CalculatedColumns calculated_;    // and then the calculated channels
    RunSample extended_;              // the sample with every hook's columns, reused
    std::string firstStartLine_;
    std::string resumeNote_;  // the next MemoClear adds it
    LogRun* run_ = nullptr;   // the run on the stack, from its start to its end
    bool busy_ = false;
    bool stopping_ = false;
    bool unattended_ = false;
    bool resumeWanted_ = false;
    bool lostInRun_ = false;
    int sampleRate_ = 1;  // "Fastest"
};

}  // namespace tessek
