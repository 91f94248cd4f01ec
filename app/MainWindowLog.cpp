#include "app/MainWindow.h"

namespace tessek {

void TfrmMain::btnLogClick(QObject*)
{
    if (!Session.Settings())
        return;  // only between a failed start-up and FormClose: no settings to log with
    if (Session.Running() && !Busy())
        return;  // the run is ending (Log was pressed) and still saving: no second run inside it
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    Session.StartOrStopRun();
}

void TfrmMain::btnMarkClick(QObject*)
{
    MarkRun("Manual");
}

void TfrmMain::MarkRun(const std::string& text)
{
    Session.Mark(text);
}

}  // namespace tessek
