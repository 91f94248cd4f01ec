#pragma once
// The log viewer: a window that shows a data log (CSV or MSL) for finding the moment
// something went wrong and for seeing what the engine made. It reads the file and hands
// the log to its LogViewModel; each tab is a class of its own on the ViewerTab base that
// shows the model, registered with one line in the constructor: Channels (ChannelsTab),
// Power curve (PowerCurveTab), Cell table (CellTableTab), Scatter (ScatterTab) and Advice
// (AdviceTab).
//
// Window thread only. Nothing is thrown out of the window: a file that cannot be read is
// reported in the window's status line and the log already shown stays.
#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/LogViewModel.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace tessek {

class LogFileWatch;
class LogLoader;

class ChannelsTab;
class PowerCurveTab;
class ViewerTab;

class LogViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogViewerWindow(QWidget* parent = nullptr);
    ~LogViewerWindow() override;

    // Shows the log at `path` (the whole run, the power curve of this log alone). False,
    // with the reason in the status line, when it cannot be read.
    bool OpenFile(const QString& path);
    // The same for a path as the system's bytes, which need not be valid UTF-8 (a name
    // from the command line).
    bool OpenNativeFile(const std::string& nativePath);
    // Reads the log shown again when its file has changed (a run still writing it), keeping
    // the visible range, the cursor and the checked channels. Also called by a timer.
    void ReloadIfChanged();
    // Adds the run at `path` to the power curve, its first pulls chosen; false, with the
    // reason shown, when the file cannot be read or they give no curve.
    bool AddPowerRun(const QString& path);

    // Shows the time range `from`..`to` (s) in every strip, kept inside the run and at least
    // 1 ms wide, as a zoom or a pan does.
    void SetTimeRange(double from, double to);
    void ShowWholeRun();
    // Puts the cursor at `t` seconds and shows every channel's value there.
    void SetCursorTime(double t);
    // The Play button: the log shown plays back in a Tessek Live window of its own
    // (PlaybackWindow), read again from its file as it is; false when nothing is shown or
    // the file cannot be read (then the status line says why).
    bool PlayLog();
    // The Formulas button: the calculated channels' dialog over the log's columns, with the
    // values at the cursor; after OK the log is read again with the channels as edited.
    void EditFormulas();

    // Shows logs in metric (or imperial) units and keeps the choice in Tessek.ini; the log
    // open is read again (runs added to its power curve are dropped).
    void SetMetricUnits(bool metric);

private:
    // Adds `tab` under `title`; it hears of every log, range and units change from now on.
    template <class Tab>
    Tab* AddTab(Tab* tab, const QString& title);
    void BuildMenu();
    // Adds the calculated channels of [Calculated] that `log` lacks (AddCalculatedChannels).
    static void AddCalculated(LogData& log);
    void ShowProblem(const QString& text);
    void OpenClick();
    void AddRunClick();
    QString AskForLogFile(const QString& caption);
    // Reads on a worker thread (LogLoader) while the window goes on, showing the progress
    // and a Cancel button; nothing while another read is under way.
    std::optional<LogReadResult> Read(const std::string& nativePath);
    // Shows the log at `nativePath`; `keepView`: it is the log shown, read again, and the
    // checked channels, the visible range, the cursor and the added power runs stay.
    bool Show(const std::string& nativePath, bool keepView);
    // Keeps the shown window within its screen's free area (a log of many channels may
    // have made it want more room).
    void FitOnScreen();

    LogViewModel model_;
    QTabWidget* tabs_ = nullptr;
    std::vector<ViewerTab*> viewerTabs_;  // in the order of registration
    ChannelsTab* channels_ = nullptr;
    PowerCurveTab* power_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* play_ = nullptr;
    QString lastFolder_;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancelLoad_ = nullptr;
    LogLoader* loading_ = nullptr;  // the read under way
    std::string nativePath_;        // the log shown
    std::unique_ptr<LogFileWatch> watch_;
    QElapsedTimer shown_;       // since the log shown was read
    qint64 reloadEveryMs_ = 0;  // the least time between two reads of a growing log
};

}  // namespace tessek
