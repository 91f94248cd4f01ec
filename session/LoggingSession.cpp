#include "session/LoggingSession.h"

#include "logfiles/DataLog.h"
#include "platform/AtomicFile.h"
#include "platform/DateTimeText.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "reports/ReportCommands.h"
#include "reports/RunAdaptives.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace tessek {

LoggingSession::LoggingSession(const std::string& folder, TickSource clock, std::shared_ptr<EventPump> pump)
    : folder_(WithSlash(folder)),
      connection_([this] { return busy_; }, clock, std::move(pump)),
      dataLog_(std::make_unique<DataLogWriter>(folder_)),
      wideband_(std::move(clock)),
      widebandColumns_(wideband_),
      calculated_(folder_ + kSettingsFileName)
{
    alarms_.SettingsFile = SettingsFileName();
    alarms_.OnRaised = [this](const std::string& marker) {
        if (run_)
            run_->Mark(marker);
        view_->AlarmRaised(marker);
    };
    dataLog_->OnProblem = [this](const std::string& message) { Say(message); };
    connection_.OnLost = [this](const std::string& line) {
        SetStatus("Not Connected");
        Say(line);
        // A run that goes on at this moment ends at its next write, and starts again when
        // the device is back; the buttons are free again at once.
        if (run_ && busy_)
            lostInRun_ = true;
        SetBusy(false);
        view_->ConnectionWentAway();
    };
    connection_.OnProbed = [this](bool receiving) { DeviceBack(receiving); };
    connection_.DeclarePort();
    // Not in the text area: the run's automatic log keeps the LM's text only.
    wideband_.OnLost = [this](const std::string& line) { view_->Notice(line); };
    wideband_.OnReturned = [this] { view_->Notice("Wideband back: " + wideband_.Settings().Port + " is open again."); };
}

LoggingSession::~LoggingSession()
{
    connection_.OnLost = nullptr;
    connection_.OnProbed = nullptr;
    connection_.OnReturned = nullptr;
    connection_.OnPortError = nullptr;
    alarms_.OnRaised = nullptr;
    wideband_.OnLost = nullptr;
    wideband_.OnReturned = nullptr;
}

void LoggingSession::SetView(SessionView* view)
{
    view_ = view ? view : &noView_;
}

void LoggingSession::AddRunObserver(RunObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void LoggingSession::AddSampleHook(SampleHook* hook)
{
    if (hook)
        hooks_.push_back(hook);
}

void LoggingSession::RemoveRunObserver(RunObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void LoggingSession::SetTextArea(TextArea* area)
{
    text_ = area ? area : &ownText_;
}

std::string LoggingSession::SettingsFileName() const
{
    return folder_ + kSettingsFileName;
}

std::string LoggingSession::LoadSettings()
{
    connection_.Link().ResetRing();
    RemoveStaleTemporaries(SettingsFileName());
    catalogue_ = std::make_unique<Catalogue>();
    ini_ = std::make_unique<IniFile>(SettingsFileName());
    std::string problem = ini_->ReadProblem();
    if (problem.empty())
        settings_.Load(*ini_);
    connection_.Link().SetTxEmptySeen(false);
    if (connection_.Port().Connected())
        connection_.Port().Close();
    if (problem.empty())
        connection_.LoadSettings(SettingsFileName());
    else
        connection_.ApplyLinkSettings();
    connection_.Link().SetRxEventCount(2);
    SetBusy(false);
    WidebandSettings wideband;
    try {
        if (problem.empty())
            wideband.Load(*ini_);
    } catch (const std::exception&) {
        // Read above; a file gone meanwhile leaves no wideband.
    }
    if (!widebandOverride_.Port.empty())
        wideband.Port = widebandOverride_.Port;
    if (widebandOverride_.Protocol)
        wideband.Protocol = *widebandOverride_.Protocol;
    std::string why;
    StartWideband(wideband, why);
    return problem;
}

bool LoggingSession::StartWideband(const WidebandSettings& settings, std::string& why)
{
    if (wideband_.Start(settings, why))
        return true;
    std::string line = "Wideband: " + why;
    if (wideband_.Lost())
        line += " Waiting for " + settings.Port + " (looking twice a second).";
    view_->Notice(line);
    return false;
}

void LoggingSession::ProbeAndShow()
{
    // Only listens: the port runs at the low rate and nothing is sent. Bytes received
    // before this (from another device, at another rate) say nothing of the LM now.
    connection_.Link().ResetRing();
    DeviceBack(connection_.Probe());
}

void LoggingSession::DeviceBack(bool receiving)
{
    if (receiving) {
        SetStatus("Connected");
        MemoAddLine("Receiving Data");
    } else {
        SetStatus("Not Connected");
        MemoAddLine("Not Connected to LM");
    }
    if (!firstStartLine_.empty())
        MemoAddLine(firstStartLine_);
    if (!connection_.Port().Connected())
        return;
    view_->ConnectionCameBack();
    if (resumeWanted_ && !unattended_ && !stopping_ && !run_)
        view_->ResumeDue();
}

void LoggingSession::Close()
{
    std::exception_ptr failure;
    if (ini_) {
        try {
            StoreSaveNum(*ini_, settings_.SaveNum);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    ini_.reset();
    catalogue_.reset();
    SetBusy(false);
    connection_.Port().Close();
    wideband_.Stop();
    if (failure)
        std::rethrow_exception(failure);
}

void LoggingSession::SetBusy(bool flag)
{
    busy_ = flag;
    view_->ShowBusy(flag);
}

void LoggingSession::MemoClear()
{
    text_->Clear();
    if (!resumeNote_.empty()) {
        text_->AddLine(resumeNote_);
        resumeNote_.clear();
    }
}

void LoggingSession::SetStatus(const std::string& text)
{
    view_->ShowStatus(text);
}

std::string LoggingSession::LocalDateTimeText()
{
    // The default locale is the system's unless a test sets another.
    return DateTimeText(QLocale(), QDateTime::currentDateTime());
}

void LoggingSession::Say(const std::string& line)
{
    MemoAddLine(line);
    view_->Notice(line);
}

void LoggingSession::StartOrStopRun()
{
    if (!ini_)
        return;  // no settings to log with
    JoinedCommandHost host(connection_.Link(), *this);
    LogRun run(host, settings_, *ini_,
               [this](const std::string& name) { return catalogue_ ? catalogue_->DisplayText(name) : std::string(); },
               state_, {this});
    if (busy_ || run_) {
        // A second press: only stops the run that goes on, which then saves its log.
        if (busy_)
            run.StartOrStop();
        resumeWanted_ = false;
        return;
    }
    run_ = &run;
    lostInRun_ = false;
    resumeWanted_ = false;
    const struct Clear {
        LogRun*& run;
        ~Clear() { run = nullptr; }
    } clear{run_};
    const struct Finish {
        LoggingSession& session;
        ~Finish()
        {
            session.resumeWanted_ = session.lostInRun_ && !session.stopping_;
            session.view_->RunFinished();
        }
    } finish{*this};
    // What the LM learned during the run: its adaptive cells read before the run's
    // handshake and after its end, kept beside the run's data log. The run's text (and
    // its TempLog) stays as a run without them writes it: a failure here is a notice only.
    const bool readAdaptives = ReadsRunAdaptives();
    RunAdaptives adaptives;
    if (readAdaptives)
        adaptives.Start = QuietAdaptives(host);
    const std::string logBefore = dataLog_->CsvPath();
    bool lost = false;
    try {
        run.StartOrStop();
    } catch (const ConnectionLost&) {
        // Said once, when the device went away; the run has saved what it logged.
        lost = true;
    }
    const std::string& log = dataLog_->CsvPath();
    if (!readAdaptives || log.empty() || log == logBefore)
        return;  // no run was logged
    if (!lost)
        adaptives.End = QuietAdaptives(host);
    if (!adaptives.End)
        view_->Notice("The adaptive cells could not be read at the end of the run.");
    try {
        WriteFileAtomically(RunAdaptivesPath(log), RunAdaptivesCsv(adaptives));
    } catch (const std::exception& e) {
        view_->Notice(std::string("The adaptive cells of the run were not kept: ") + e.what());
    }
}

bool LoggingSession::ReadsRunAdaptives() const
{
    try {
        return ini_ && ini_->ReadBool(kRunAdaptivesSection, kRunAdaptivesKey, false);
    } catch (const std::exception&) {
        return false;  // settings that cannot be read ask for nothing extra
    }
}

std::optional<AdaptivesReading> LoggingSession::QuietAdaptives(CommandHost& host)
{
    try {
        return ReadAdaptiveCells(host);
    } catch (const ConnectionLost&) {
        // Said once, when the device went away.
    } catch (const std::exception& e) {
        view_->Notice(std::string("The adaptive cells could not be read: ") + e.what());
    }
    SetBusy(false);
    return std::nullopt;
}

void LoggingSession::ResumeRun()
{
    if (!resumeWanted_ || run_ || busy_)
        return;
    if (state_.Unsaved) {
        // The text of the run before could not be saved: a new run would clear it.
        resumeWanted_ = false;
        Say("The device is back; logging does not start again by itself, because the last log is not saved.");
        return;
    }
    resumeNote_ = "The device came back: logging again, into new files.";
    StartOrStopRun();
    resumeNote_.clear();
}

void LoggingSession::Mark(const std::string& text)
{
    if (run_)
        run_->Mark(text);
}

void LoggingSession::RunStarted(const std::vector<RunColumn>& logged, std::chrono::system_clock::time_point started)
{
    std::vector<RunColumn> columns = logged;
    widebandInRun_ = wideband_.Settings().Enabled();
    if (widebandInRun_) {
        const std::vector<RunColumn> added = widebandColumns_.Start(columns);
        columns.insert(columns.end(), added.begin(), added.end());
    }
    for (SampleHook* hook : hooks_) {
        const std::vector<RunColumn> added = hook->Start(columns);
        columns.insert(columns.end(), added.begin(), added.end());
    }
    const std::vector<RunColumn> calculated = calculated_.Start(columns);
    columns.insert(columns.end(), calculated.begin(), calculated.end());
    dataLog_->RunStarted(columns, started);
    alarms_.Start(columns);
    for (RunObserver* observer : observers_)
        observer->RunStarted(columns, started);
}

void LoggingSession::SampleLogged(const RunSample& sample)
{
    extended_ = sample;
    if (widebandInRun_)
        widebandColumns_.Add(extended_);
    for (SampleHook* hook : hooks_)
        hook->Add(extended_);
    calculated_.Add(extended_);
    dataLog_->SampleLogged(extended_);
    alarms_.Check(extended_);
    for (RunObserver* observer : observers_)
        observer->SampleLogged(extended_);
}

void LoggingSession::RunEnded()
{
    dataLog_->RunEnded();
    for (RunObserver* observer : observers_)
        observer->RunEnded();
}

void LoggingSession::RequestStop()
{
    if (stopping_)
        return;
    stopping_ = true;
    resumeWanted_ = false;
    // As a second press of Log: the run ends after the slot in progress and saves its log.
    if (busy_ && run_)
        StartOrStopRun();
}

void LoggingSession::WaitUntil(const std::function<bool()>& done)
{
    // Every wake-up comes from an event: the connection's look for the device, a deadline
    // or a signal of the front end, or the retry timer.
    while (!stopping_ && !done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool LoggingSession::OpenOrWait()
{
    if (connection_.Port().Connected())
        return true;
    if (!connection_.Lost()) {
        std::string why;
        if (connection_.Reopen(why))
            return true;
        view_->Notice(why);
        view_->Notice("Waiting for " + connection_.Port().Port() + " (looking twice a second).");
        connection_.WatchForDevice();
    }
    WaitUntil([this] { return connection_.Port().Connected(); });
    if (connection_.Port().Connected())
        view_->Notice(connection_.Port().Port() + " is there.");
    return connection_.Port().Connected();
}

void LoggingSession::OneUnattendedRun()
{
    bool started = false;
    struct Watch final : RunObserver {
        bool& started;
        explicit Watch(bool& s) : started(s) {}
        void RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point) override
        {
            started = true;
        }
        void SampleLogged(const RunSample&) override {}
        void RunEnded() override {}
    } watch(started);
    AddRunObserver(&watch);
    try {
        StartOrStopRun();
    } catch (const std::exception&) {
        view_->Notice(ErrorMessage(std::current_exception()));
        // A port that fails otherwise is closed, so that the next run opens it afresh.
        connection_.Port().Close();
    }
    RemoveRunObserver(&watch);
    SetBusy(false);
    if (!started && !stopping_ && connection_.Port().Connected()) {
        const MemoLines& lines = text_->Store();
        view_->Notice(lines.LineCount() == 0 ? std::string("The handshake failed.")
                                             : std::string(lines.Line(lines.LineCount() - 1)));
        view_->Notice("Trying again in " + std::to_string(kHandshakeRetryMs / 1000) + " s.");
        bool due = false;
        QTimer::singleShot(kHandshakeRetryMs, [&due] { due = true; });
        WaitUntil([&due] { return due; });
    }
}

void LoggingSession::LogUntilStopped()
{
    unattended_ = true;
    while (!stopping_) {
        if (!OpenOrWait())
            break;
        OneUnattendedRun();
    }
    unattended_ = false;
    wideband_.Stop();
    try {
        if (ini_)
            StoreSaveNum(*ini_, settings_.SaveNum);
    } catch (const std::exception& e) {
        view_->Notice(e.what());
    }
    connection_.Port().Close();
}

}  // namespace tessek
