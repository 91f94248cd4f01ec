#pragma once
// The log viewer: a window that shows a data log (CSV or MSL) for finding the moment
// something went wrong and for seeing what the engine made. It reads the file and hands
// the log to its LogViewModel; each tab is a class of its own that shows the model:
// Channels (ChannelsTab), Power curve (PowerCurveTab), Cell table (CellTableTab) and
// Scatter (ScatterTab).
//
// Window thread only. Nothing is thrown out of the window: a file that cannot be read is
// reported in the window's status line and the log already shown stays.
#include <QString>
#include <QWidget>

#include "plots/LogViewModel.h"

class QLabel;
class QTabWidget;

namespace tessek {

class CellTableTab;
class ChannelsTab;
class PowerCurveTab;
class ScatterTab;

class LogViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogViewerWindow(QWidget* parent = nullptr);
    ~LogViewerWindow() override;

    // Shows the log at `path` (the whole run, the power curve of this log alone). False,
    // with the reason in the status line, when it cannot be read.
    bool OpenFile(const QString& path);
    // Adds the run at `path` to the power curve; false, with the reason shown, when the
    // file cannot be read or holds no acceleration data.
    bool AddPowerRun(const QString& path);

    // Shows the time range `from`..`to` (s) in every strip, kept inside the run and at least
    // 1 ms wide, as a zoom or a pan does.
    void SetTimeRange(double from, double to);
    void ShowWholeRun();
    // Puts the cursor at `t` seconds and shows every channel's value there.
    void SetCursorTime(double t);
    // Shows logs in metric (or imperial) units and keeps the choice in Tessek.ini; the log
    // open is read again (runs added to its power curve are dropped).
    void SetMetricUnits(bool metric);

private:
    void BuildMenu();
    void ShowProblem(const QString& text);
    void OpenClick();
    void AddRunClick();
    QString AskForLogFile(const QString& caption);

    LogViewModel model_;
    QTabWidget* tabs_ = nullptr;
    ChannelsTab* channels_ = nullptr;
    PowerCurveTab* power_ = nullptr;
    CellTableTab* cells_ = nullptr;
    ScatterTab* scatter_ = nullptr;
    QLabel* status_ = nullptr;
    QString lastFolder_;
    QString path_;  // the log shown
};

}  // namespace tessek
