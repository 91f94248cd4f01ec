#include "app/MainWindow.h"
#include "app/ReportsWindow.h"
#include "platform/IniFile.h"
#include "reports/ReportCommands.h"

#include <stdexcept>

namespace tessek {

namespace {

// Keeps a reading in the program folder's logs/ and says where, or why not, for the
// Reports window (the text area keeps exactly the report).
std::string Keep(const std::string& folder, const char* kind, std::chrono::system_clock::time_point readAt,
                 const std::string& text, const std::string& csv)
{
    try {
        const auto paths = SaveReportFiles(folder, kind, readAt, text, csv);
        return "Saved as " + paths[0] + " and " + paths[1];
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

// A report clears the text area; one holding an unsaved log is cleared only when the
// user agrees. What it read is kept in logs/ and shown in the Reports window, which comes
// up without taking the focus from this window.

void TfrmMain::btnCodesClick(QObject*)
{
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    JoinedCommandHost host(Link, Session);
    if (const auto reading = RunFaultCodeReport(host)) {
        const std::string saved =
            Keep(folder_, "codes", reading->ReadAt, FaultCodesText(*reading), FaultCodesCsv(*reading));
        Reports().AddFaultCodes(*reading, saved);
        ShowReports(false);
    }
}

void TfrmMain::btnGetAdaptivesClick(QObject*)
{
    if (!Busy() && (!MayDiscardText() || !PortReadyForCommand()))
        return;
    JoinedCommandHost host(Link, Session);
    if (auto reading = RunAdaptivesReport(host)) {
        // An unreadable settings file is never read again; its breakpoints are the names.
        if (Session.Settings() && Session.Settings()->ReadProblem().empty())
            reading->Points = LoadAdaptiveBreakpoints(*Session.Settings());
        const std::string saved =
            Keep(folder_, "adaptives", reading->ReadAt, AdaptivesText(*reading), AdaptivesCsv(*reading));
        Reports().ShowAdaptives(*reading, saved);
        ShowReports(false);
    }
}

void TfrmMain::btnReportsClick(QObject*)
{
    ShowReports(true);
}

ReportsWindow& TfrmMain::Reports()
{
    if (!reports_)
        reports_ = new ReportsWindow(this);
    return *reports_;
}

void TfrmMain::ShowReports(bool activate)
{
    ReportsWindow& window = Reports();
    window.setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    window.show();
    window.raise();
    if (activate)
        window.activateWindow();
}

}  // namespace tessek
