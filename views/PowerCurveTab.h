#pragma once
// The log viewer's Power curve tab, a dyno: power and torque against engine speed
// (PowerCurve) of the chosen pulls of the opened log and of any runs added to it, each run
// in its own colour and named by its file, with the peaks of each run printed below. The
// list beside the plot holds every run's pulls (start, gear, engine speed range, peak),
// each switched on or off; a line says how many samples were left out of the pulls and
// why. Road load and the SAE J1349 correction are switched on below, kept in Tessek.ini
// (DynoOptions), and a line says what each did. Window thread only.
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "analysis/DynoOptions.h"
#include "analysis/PowerCurve.h"
#include "views/ViewerTab.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessek {

class LogViewModel;

class PowerCurveTab : public QWidget, public ViewerTab {
    Q_OBJECT
public:
    explicit PowerCurveTab(const LogViewModel& model, QWidget* parent = nullptr);

    // Starts over with the run of the model's log (which may have no curve: the tab then
    // says why); for the log shown read again, the first run anew, its pulls chosen as
    // before where they started at the same time, and the runs added to it stay.
    void LogOpened(const OpenedLog& log) override;
    // The typed air temperature is shown in °C or °F.
    void UnitsChanged(UnitSystem units) override;
    // Adds a run, its first pulls chosen; nothing is added, and the reason is returned,
    // when that gives no curve.
    std::string AddRun(const QString& name, const LogData& log);

signals:
    // The tab's "Add run..." button.
    void AddRunRequested();

private:
    struct Run {
        QString Name;
        DynoRun Dyno;
        PowerCurve Curve;
    };
    QWidget* BuildOptions();
    // The options as the controls show them, kept in Tessek.ini; every curve anew.
    void OptionsChanged();
    void FillPulls();
    void OnPullChanged(QTreeWidgetItem* item);
    void Recompute();
    void Redraw();

    const LogViewModel& model_;
    DynoOptions options_;
    UnitSystem units_ = UnitSystem::Imperial;
    QCustomPlot* plot_ = nullptr;
    QTreeWidget* pulls_ = nullptr;
    QLabel* peaks_ = nullptr;
    QLabel* leftOut_ = nullptr;
    QLabel* notes_ = nullptr;
    QCheckBox* roadLoad_ = nullptr;
    QDoubleSpinBox* rolling_ = nullptr;
    QDoubleSpinBox* drag_ = nullptr;
    QDoubleSpinBox* area_ = nullptr;
    QCheckBox* correction_ = nullptr;
    QComboBox* airSource_ = nullptr;
    QDoubleSpinBox* airTemp_ = nullptr;
    QString saveProblem_;
    std::vector<Run> runs_;
};

}  // namespace tessek
