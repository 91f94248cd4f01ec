#include "app/MainWindow.h"
#include "logging/LogRun.h"
#include "views/LiveWindow.h"

namespace tessek {

void TfrmMain::btnLogClick(QObject*)
{
    if (!SettingsIni)
        return;  // only between a failed start-up and FormClose: no settings to log with
    if (run_ && !Busy())
        return;  // the run is ending (Log was pressed) and still saving: no second run inside it
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    JoinedCommandHost host(Link, *this);
    LogRun run(
        host, LogSettings, *SettingsIni,
        [this](const std::string& name) { return ParamCatalogue ? ParamCatalogue->DisplayText(name) : std::string(); },
        RunState, {DataLog.get(), live_});
    if (Busy()) {
        run.StartOrStop();  // only stops the command that runs
        return;
    }
    run_ = &run;
    const struct Clear {
        LogRun*& run;
        ~Clear() { run = nullptr; }
    } clear{run_};
    run.StartOrStop();
}

void TfrmMain::btnMarkClick(QObject*)
{
    MarkRun("Manual");
}

void TfrmMain::MarkRun(const std::string& text)
{
    if (run_)
        run_->Mark(text);
}

}  // namespace tessek
