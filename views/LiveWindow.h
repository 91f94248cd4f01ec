#pragma once
// The "Tessek Live" window beside the main window: for every charted column of the running
// log a strip chart of the last 60 s (one shared time axis, each strip with its own scale
// and unit) and a large readout of the latest value; a status line with the run's sample
// and request rates. A second tab sorts the run into a cell table as it goes (LiveCellTable).
//
// Window thread only. It observes the logging run: the RunObserver calls only store into
// the LiveModel and never throw (a failure stops the chart and says so in the status
// line; the run goes on). About 10 frames/s are drawn while the window is shown and a run
// is going, from a timer, and only when a sample came in since the last frame; a frame
// costs the window thread a millisecond or two.
#include "analysis/LiveAlarms.h"
#include "analysis/LiveModel.h"
#include "logging/RunRecord.h"
#include "views/LiveMarkers.h"
#include "views/StripPalette.h"

#include <qcustomplot.h>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <vector>

class QLabel;

namespace tessek {
class LiveCellTable;
}

namespace tessek {

class DashWindow;

class LiveWindow : public QWidget, public RunObserver {
    Q_OBJECT
public:
    static constexpr int kFrameIntervalMs = 100;

    // The plot's parts for one channel of the model, in the model's order.
    struct Strip {
        QCPAxisRect* Rect = nullptr;
        QCPGraph* Graph = nullptr;
        QWidget* Readout = nullptr;  // beside the strip: name, value, unit
        QLabel* Name = nullptr;
        QLabel* Value = nullptr;
        QLabel* Unit = nullptr;
        QColor Colour;
        bool Alarm = false;  // drawn red
        bool Stale = false;  // the readout shows a value the newest sample did not have
    };
    // Frames drawn since the window was made and the time they took (ms, each from
    // setting the data to the painted widget).
    struct FrameStats {
        long Frames = 0;
        double TotalMs = 0;
        double WorstMs = 0;
    };

    // A window of its own also when given a parent (which then only owns it). `alarms` are
    // the session's, checked by it on every sample; the window shows them and edits their
    // limits. They must outlive the window.
    explicit LiveWindow(LiveAlarms& alarms, QWidget* parent = nullptr);
    ~LiveWindow() override;

    void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) override;
    void SampleLogged(const RunSample& sample) override;
    void RunEnded() override;

    // Shows the chart in `units` and keeps the choice in Tessek.ini (the units combo box).
    void SetUnits(UnitSystem units);

    // Draws the newest data now if the window is shown and anything changed since the
    // last frame (the frame timer's slot).
    void Redraw();

    const std::vector<Strip>& Strips() const { return strips_; }
    QString StatusText() const;
    bool RedrawScheduled() const { return timer_.isActive(); }
    const FrameStats& Frames() const { return frames_; }
    LiveCellTable* Cells() const { return cells_; }

    // The connection to the LM is lost (true) or back: while lost the readouts are dimmed
    // and a "Connection lost" line shows; the loss beeps once.
    void ShowConnectionLost(bool lost);
    bool ConnectionLostShown() const { return lost_; }

    // The window plays back the saved log `file` instead of showing a live engine: its
    // title, a line above the charts and its status say "Playback of <file>", and so does
    // the dash; the Log button is gone; `controls` (if given) go above the buttons.
    void SetPlayback(const QString& file, QWidget* controls = nullptr);
    bool InPlayback() const { return !playback_.isEmpty(); }

    // Where the alarm limits are kept ("Tessek.ini"); without one, the default limits.
    void SetSettingsFile(const std::string& path);
    LiveAlarms& Alarms() { return alarms_; }
    QString AlarmText() const;
    const MarkerLines& Markers() const { return markers_; }
    DashWindow* Dash() const { return dash_; }
    // F11: the dash view full-screen, or back from it.
    void ToggleDash();
    // The Alarms button: the limits' dialog; the running log's alarms follow its changes.
    void EditAlarms();
    // The Formulas button: the calculated channels' dialog over this run's columns, with
    // the newest sample's values; edited formulas apply from the next run.
    void EditFormulas();
    // Shows the Wideband... button (hidden where nobody answers WidebandRequested).
    void OfferWidebandSettings();

signals:
    // The window's View Log button: whoever owns the log viewer opens it.
    void ViewLogRequested();
    // Log and Mark (here or in the dash view): whoever runs the log starts or stops it, and
    // marks the moment with `text` ("Manual", or an alarm's marker text).
    void LogRequested();
    void MarkRequested(const QString& text);
    // The Wideband... button: whoever runs the session shows the wideband's dialog.
    void WidebandRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildStrips();
    void DrawFrame();
    void PlaceReadouts();
    void UpdateTimer();
    void Fail(const char* what) noexcept;
    void ShowAlarms();
    void PaintReadout(Strip& strip);
    std::string StatusLine() const;

    LiveModel model_;
    QCustomPlot* plot_;
    StripStack stack_;
    QWidget* readouts_;
    QLabel* status_;
    LiveCellTable* cells_ = nullptr;  // the Cell table tab
    QLabel* alarmLine_;
    QLabel* lostLine_;
    LiveAlarms& alarms_;
    bool lost_ = false;
    QString playback_;  // "Playback of <file>"; empty for a live engine
    MarkerLines markers_;
    DashWindow* dash_;
    unsigned alarmsDrawn_ = ~0u;  // the alarms' generation the last frame showed
    QTimer timer_;
    std::vector<Strip> strips_;
    QVector<QCPGraphData> points_;  // reused by every frame
    uint64_t drawn_ = 0;            // the model's generation the last frame showed
    bool failed_ = false;
    FrameStats frames_;
};

}  // namespace tessek
