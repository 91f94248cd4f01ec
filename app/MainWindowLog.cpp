#include "app/MainWindow.h"
#include "logging/LogRun.h"
#include "plots/LiveWindow.h"

namespace tessek {

void TfrmMain::btnLogClick(QObject*)
{
    if (!SettingsIni)
        return;  // only between a failed start-up and FormClose: no settings to log with
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    JoinedCommandHost host(Link, *this);
    LogRun run(
        host, LogSettings, *SettingsIni,
        [this](const std::string& name) { return ParamCatalogue ? ParamCatalogue->DisplayText(name) : std::string(); },
        RunState, {DataLog.get(), live_});
    run.StartOrStop();
}

}  // namespace tessek
