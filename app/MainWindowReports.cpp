#include "app/MainWindow.h"
#include "reports/ReportCommands.h"

namespace tessek {

// A report clears the text area; one holding an unsaved log is cleared only when the
// user agrees.

void TfrmMain::btnCodesClick(QObject*)
{
    if (!Busy() && !MayDiscardText())
        return;
    RunFaultCodeReport(*this);
}

void TfrmMain::btnGetAdaptivesClick(QObject*)
{
    if (!Busy() && !MayDiscardText())
        return;
    RunAdaptivesReport(*this);
}

}  // namespace tessek
