#include "app/MainWindow.h"
#include "reports/ReportCommands.h"

namespace tessek {

// A report clears the text area; one holding an unsaved log is cleared only when the
// user agrees.

void TfrmMain::btnCodesClick(QObject*)
{
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    JoinedCommandHost host(Link, *this);
    RunFaultCodeReport(host);
}

void TfrmMain::btnGetAdaptivesClick(QObject*)
{
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    JoinedCommandHost host(Link, *this);
    RunAdaptivesReport(host);
}

}  // namespace tessek
