#pragma once
// The log viewer's Power curve tab: power and torque against engine speed (PowerCurve) for
// the opened log and for any runs added to it, each in its own colour and named by its
// file, with the peaks of each run printed below. Window thread only.
#include <QString>
#include <QWidget>
#include <vector>

#include "analysis/PowerCurve.h"

class QCustomPlot;
class QLabel;

namespace tessek {

class PowerCurveTab : public QWidget {
    Q_OBJECT
public:
    explicit PowerCurveTab(QWidget* parent = nullptr);

    // Starts over with the run of a newly opened log (which may have no curve: the tab then
    // says why).
    void SetRun(const QString& name, PowerCurve curve);
    void AddRun(const QString& name, PowerCurve curve);
    // The first run's curve anew (its log was read again); the runs added to it stay.
    void ReplaceFirstRun(const QString& name, PowerCurve curve);

signals:
    // The tab's "Add run..." button.
    void AddRunRequested();

private:
    struct Run {
        QString Name;
        PowerCurve Curve;
    };
    void Redraw();

    QCustomPlot* plot_ = nullptr;
    QLabel* peaks_ = nullptr;
    std::vector<Run> runs_;
};

}  // namespace tessek
