#include "app/MainWindow.h"
#include "reports/ReportCommands.h"

namespace tessek {

void TfrmMain::btnCodesClick(QObject*)
{
    RunFaultCodeReport(*this);
}

void TfrmMain::btnGetAdaptivesClick(QObject*)
{
    RunAdaptivesReport(*this);
}

}  // namespace tessek
