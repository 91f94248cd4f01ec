#pragma once
// The "Tessek Live" window beside the main window: for every charted column of the running
// log a strip chart of the last 60 s (one shared time axis, each strip with its own scale
// and unit) and a large readout of the latest value; a status line with the run's sample
// and request rates.
//
// Window thread only. It observes the logging run: the RunObserver calls only store into
// the LiveModel and never throw (a failure stops the chart and says so in the status
// line; the run goes on). About 10 frames/s are drawn while the window is shown and a run
// is going, and only when a sample came in since the last frame. A frame costs the window
// thread a millisecond or two, which would hold up the run's next exchange: so when the
// frame timer is due, the frame waits for the next sample and is drawn at the run's next
// pass through the event loop, which comes right after it sent its next request. The frame
// then takes the time the request's bytes spend on the wire (2.6 ms at 7680 baud), when
// the run only waits. Without a sample for a whole interval, the timer draws by itself.
#include "logging/RunRecord.h"
#include "plots/LiveModel.h"

#include <qcustomplot.h>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <vector>

class QLabel;

namespace tessek {

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
    };
    // Frames drawn since the window was made and the time they took (ms, each from
    // setting the data to the painted widget).
    struct FrameStats {
        long Frames = 0;
        double TotalMs = 0;
        double WorstMs = 0;
    };

    // A window of its own also when given a parent (which then only owns it).
    explicit LiveWindow(QWidget* parent = nullptr);
    ~LiveWindow() override;

    void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) override;
    void SampleLogged(const RunSample& sample) override;
    void RunEnded() override;

    // Draws the newest data now if the window is shown and anything changed since the
    // last frame.
    void Redraw();
    // The frame timer's slot: the first call after a change makes a frame due (drawn after
    // the next sample), the next one without a sample since draws it.
    void FrameTick();

    const std::vector<Strip>& Strips() const { return strips_; }
    QString StatusText() const;
    bool RedrawScheduled() const { return timer_.isActive(); }
    const FrameStats& Frames() const { return frames_; }

signals:
    // The window's View Log button: whoever owns the log viewer opens it.
    void ViewLogRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PostedFrame();
    void BuildStrips();
    void DrawFrame();
    void PlaceReadouts();
    void UpdateTimer();
    void Fail(const char* what) noexcept;

    LiveModel model_;
    QCustomPlot* plot_;
    QWidget* readouts_;
    QLabel* status_;
    QTimer timer_;
    QCPMarginGroup* marginGroup_ = nullptr;
    std::vector<Strip> strips_;
    QVector<QCPGraphData> points_;  // reused by every frame
    uint64_t drawn_ = 0;            // the model's generation the last frame showed
    bool frameDue_ = false;         // the frame timer ran out since the last frame
    bool framePosted_ = false;      // a frame waits in the event queue
    bool failed_ = false;
    FrameStats frames_;
};

}  // namespace tessek
