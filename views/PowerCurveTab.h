#pragma once
// The log viewer's Power curve tab: power and torque against engine speed (PowerCurve) for
// the opened log and for any runs added to it, each in its own colour and named by its
// file, with the peaks of each run printed below. Window thread only.
#include <QString>
#include <QWidget>
#include <vector>

#include "analysis/PowerCurve.h"
#include "views/ViewerTab.h"

class QCustomPlot;
class QLabel;

namespace tessek {

class LogViewModel;

class PowerCurveTab : public QWidget, public ViewerTab {
    Q_OBJECT
public:
    explicit PowerCurveTab(const LogViewModel& model, QWidget* parent = nullptr);

    // Starts over with the run of the model's log (which may have no curve: the tab then
    // says why); for the log shown read again, the first run's curve anew and the runs
    // added to it stay.
    void LogOpened(const OpenedLog& log) override;
    void AddRun(const QString& name, PowerCurve curve);

signals:
    // The tab's "Add run..." button.
    void AddRunRequested();

private:
    struct Run {
        QString Name;
        PowerCurve Curve;
    };
    void Redraw();

    const LogViewModel& model_;
    QCustomPlot* plot_ = nullptr;
    QLabel* peaks_ = nullptr;
    std::vector<Run> runs_;
};

}  // namespace tessek
