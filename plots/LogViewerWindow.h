#pragma once
// The log viewer: a window that shows a data log (CSV or MSL) for finding the moment
// something went wrong and for seeing what the engine made.
//
// Channels tab: a table of the log's channels (check box, value at the cursor, min, max and
// mean over the visible time range; raw columns and any beyond the first 12 start
// unchecked) and one strip per checked
// channel, each with its own value scale, all on one time axis. The wheel zooms the time
// axis around the pointer, dragging pans, a double click shows the whole run; a cursor line
// follows the pointer. The visible range is redrawn from a min/max thinning of each
// channel (one bucket per pixel column), so no peak is lost at any zoom.
// Power curve tab: power and torque against engine speed (PowerCurve) for the opened log
// and for any runs added to it, each in its own colour and named by its file.
//
// Window thread only. Nothing is thrown out of the window: a file that cannot be read is
// reported in the window's status line and the log already shown stays.
#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plots/LogFile.h"
#include "plots/PowerCurve.h"

class QCPAxisRect;
class QCPGraph;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace tessek {

class LogFileWatch;
class LogLoader;

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
    // Adds the run at `path` to the power curve; false, with the reason shown, when the
    // file cannot be read or holds no acceleration data.
    bool AddPowerRun(const QString& path);

    // Shows the time range `from`..`to` (s) in every strip, kept inside the run and at least
    // 1 ms wide, as a zoom or a pan does.
    void SetTimeRange(double from, double to);
    void ShowWholeRun();
    // Puts the cursor at `t` seconds and shows every channel's value there.
    void SetCursorTime(double t);

private:
    struct Strip;
    struct PowerRun {
        QString Name;
        PowerCurve Curve;
    };

    // Reads on a worker thread (LogLoader) while the window goes on, showing the progress
    // and a Cancel button; nothing while another read is under way.
    std::optional<LogReadResult> Read(const std::string& nativePath);
    bool Show(const std::string& nativePath, bool keepView);
    void BuildMenu();
    QWidget* BuildChannelsTab();
    QWidget* BuildPowerTab();
    void FillChannelTable();
    void RebuildStrips();
    // The whole run's time range; a run without duration gets one around its time.
    std::pair<double, double> RunBounds() const;
    void OnStripRangeChanged(double lower, double upper);
    void RefreshVisibleRange();
    void RefreshCursorColumn();
    void OnPlotMouseMove(QMouseEvent* event);
    void OnChannelItemChanged(QTableWidgetItem* item);
    void RedrawPowerCurve();
    void ShowProblem(const QString& text);
    void OpenClick();
    void AddRunClick();
    QString AskForLogFile(const QString& caption);

    QCustomPlot* plot_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancelLoad_ = nullptr;
    LogLoader* loading_ = nullptr;  // the read under way
    std::string nativePath_;        // the log shown
    std::unique_ptr<LogFileWatch> watch_;
    QElapsedTimer shown_;       // since the log shown was read
    qint64 reloadEveryMs_ = 0;  // the least time between two reads of a growing log
    QCustomPlot* powerPlot_ = nullptr;
    QLabel* powerPeaks_ = nullptr;

    LogData log_;
    // Per channel: the samples that have a value, for drawing (a gap would hide the extremes
    // of its pixel column from the thinning). Only for the channels with gaps (compacted_).
    std::vector<std::vector<double>> compactTime_, compactValues_;
    std::vector<bool> compacted_;
    std::vector<std::unique_ptr<Strip>> strips_;
    double from_ = 0, to_ = 1;
    double cursor_ = 0;
    bool syncing_ = false;
    std::vector<PowerRun> powerRuns_;
    QString lastFolder_;
};

}  // namespace tessek
