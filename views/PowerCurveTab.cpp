#include "views/PowerCurveTab.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <exception>
#include <map>

#include "analysis/LogViewModel.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "views/StripPalette.h"

namespace tessek {
namespace {

enum PullColumn { kColStart, kColGear, kColRpm, kColPeak, kPullColumns };
constexpr int kRunRole = Qt::UserRole;
constexpr int kPullRole = Qt::UserRole + 1;

QDoubleSpinBox* SpinBox(QWidget* parent, const char* name, double max, int decimals, const QString& prefix,
                        const QString& suffix = {})
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, max);
    box->setDecimals(decimals);
    box->setSingleStep(std::pow(10.0, -decimals));
    box->setPrefix(prefix);
    box->setSuffix(suffix);
    return box;
}

double Fahrenheit(double celsius)
{
    return celsius * 9 / 5 + 32;
}

}  // namespace

PowerCurveTab::PowerCurveTab(const LogViewModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    try {
        options_ = ReadDynoOptions(IniFile(SettingsFilePath()));
    } catch (const std::exception& e) {
        saveProblem_ = tr("Dyno settings not read: %1").arg(e.what());
    }
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* add = new QPushButton(tr("Add run..."), this);
    add->setObjectName("addRun");
    connect(add, &QPushButton::clicked, this, &PowerCurveTab::AddRunRequested);
    row->addWidget(add);
    auto* rule = new QLabel(tr(kPowerCurveRule), this);
    rule->setWordWrap(true);  // the whole rule, also in a narrow window
    row->addWidget(rule, 1);
    layout->addLayout(row);
    auto* split = new QSplitter(this);
    plot_ = new QCustomPlot(split);
    plot_->setObjectName("powerPlot");
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->xAxis->setLabel(tr("Engine speed (rpm)"));
    plot_->yAxis->setLabel(tr("Power (hp), solid"));
    plot_->yAxis2->setLabel(tr("Torque (lb-ft), dashed"));
    plot_->yAxis2->setVisible(true);
    plot_->legend->setVisible(true);
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    pulls_ = new QTreeWidget(split);
    pulls_->setObjectName("powerPulls");
    pulls_->setHeaderLabels({tr("Pull from"), tr("Gear"), tr("Engine speed"), tr("Peak power")});
    pulls_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(pulls_, &QTreeWidget::itemChanged, this, &PowerCurveTab::OnPullChanged);
    split->setStretchFactor(0, 1);
    split->setSizes({720, 480});
    layout->addWidget(split, 1);
    peaks_ = new QLabel(this);
    peaks_->setObjectName("powerPeaks");
    peaks_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    peaks_->setWordWrap(true);
    layout->addWidget(peaks_);
    leftOut_ = new QLabel(this);
    leftOut_->setObjectName("powerLeftOut");
    leftOut_->setWordWrap(true);
    layout->addWidget(leftOut_);
    layout->addWidget(BuildOptions());
    notes_ = new QLabel(this);
    notes_->setObjectName("powerNotes");
    notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notes_->setWordWrap(true);
    layout->addWidget(notes_);
    leftOut_->hide();
    notes_->hide();
}

QWidget* PowerCurveTab::BuildOptions()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    roadLoad_ = new QCheckBox(tr("Road load:"), box);
    roadLoad_->setObjectName("dynoRoadLoad");
    roadLoad_->setToolTip(tr("Adds the power that rolling resistance and air drag took at each sample's speed"));
    rolling_ = SpinBox(box, "dynoRolling", 0.1, 3, tr("rolling resistance "));
    drag_ = SpinBox(box, "dynoDrag", 2, 2, tr("drag coefficient "));
    area_ = SpinBox(box, "dynoArea", 10, 2, tr("frontal area "), tr(" m²"));
    correction_ = new QCheckBox(tr("SAE J1349 correction"), box);
    correction_->setObjectName("dynoCorrection");
    correction_->setToolTip(tr("To 99 kPa of dry air at 25 °C, from the run's barometric pressure"));
    airSource_ = new QComboBox(box);
    airSource_->setObjectName("dynoAirSource");
    airSource_->addItems({tr("at the charge air temperature"), tr("at an air temperature of")});
    airTemp_ = SpinBox(box, "dynoAirTemp", 0, 1, {});
    airTemp_->setMinimum(-60);
    for (QWidget* w :
         std::initializer_list<QWidget*>{roadLoad_, rolling_, drag_, area_, correction_, airSource_, airTemp_})
        row->addWidget(w);
    row->addStretch(1);
    roadLoad_->setChecked(options_.RoadLoad);
    rolling_->setValue(options_.RollingResistance);
    drag_->setValue(options_.DragCoefficient);
    area_->setValue(options_.FrontalArea);
    correction_->setChecked(options_.Correction);
    airSource_->setCurrentIndex(options_.AirTemperature ? 1 : 0);
    airTemp_->setEnabled(options_.AirTemperature.has_value());
    UnitsChanged(units_);
    for (QCheckBox* check : {roadLoad_, correction_})
        connect(check, &QCheckBox::toggled, this, &PowerCurveTab::OptionsChanged);
    for (QDoubleSpinBox* spin : {rolling_, drag_, area_, airTemp_})
        connect(spin, &QDoubleSpinBox::valueChanged, this, &PowerCurveTab::OptionsChanged);
    connect(airSource_, &QComboBox::currentIndexChanged, this, &PowerCurveTab::OptionsChanged);
    return box;
}

void PowerCurveTab::UnitsChanged(UnitSystem units)
{
    units_ = units;
    const double celsius = options_.AirTemperature.value_or(25);
    const QSignalBlocker block(airTemp_);
    airTemp_->setMaximum(units == UnitSystem::Metric ? 60 : Fahrenheit(60));
    airTemp_->setSuffix(units == UnitSystem::Metric ? " °C" : " °F");
    airTemp_->setValue(units == UnitSystem::Metric ? celsius : Fahrenheit(celsius));
}

void PowerCurveTab::OptionsChanged()
{
    options_.RoadLoad = roadLoad_->isChecked();
    options_.RollingResistance = rolling_->value();
    options_.DragCoefficient = drag_->value();
    options_.FrontalArea = area_->value();
    options_.Correction = correction_->isChecked();
    const double typed = airTemp_->value();
    options_.AirTemperature.reset();
    if (airSource_->currentIndex() == 1)
        options_.AirTemperature = units_ == UnitSystem::Metric ? typed : (typed - 32) * 5 / 9;
    airTemp_->setEnabled(airSource_->currentIndex() == 1);
    saveProblem_.clear();
    try {
        IniFile ini(SettingsFilePath());
        WriteDynoOptions(ini, options_);
    } catch (const std::exception& e) {
        saveProblem_ = tr("Dyno settings not saved: %1").arg(e.what());
    }
    Recompute();
}

void PowerCurveTab::LogOpened(const OpenedLog& log)
{
    Run first{log.Name, DynoRun(model_.Log()), {}};
    if (log.Reloaded && !runs_.empty()) {
        // A log still being written: the pulls chosen before stay chosen.
        std::map<double, bool> before;
        const DynoRun& old = runs_.front().Dyno;
        for (size_t p = 0; p < old.Found().Pulls.size(); ++p)
            before[old.Found().Pulls[p].Start] = old.Chosen()[p];
        for (size_t p = 0; p < first.Dyno.Found().Pulls.size(); ++p)
            if (const auto at = before.find(first.Dyno.Found().Pulls[p].Start); at != before.end())
                first.Dyno.Choose(p, at->second);
        runs_.front() = std::move(first);
    } else {
        runs_.clear();
        runs_.push_back(std::move(first));
    }
    FillPulls();
    Recompute();
}

std::string PowerCurveTab::AddRun(const QString& name, const LogData& log)
{
    Run run{name, DynoRun(log), {}};
    if (const PowerCurve plain = run.Dyno.Curve(); !plain.Ok())
        return plain.Problem;
    runs_.push_back(std::move(run));
    FillPulls();
    Recompute();
    return {};
}

void PowerCurveTab::FillPulls()
{
    const QSignalBlocker block(pulls_);
    pulls_->clear();
    for (size_t r = 0; r < runs_.size(); ++r) {
        const DynoRun& dyno = runs_[r].Dyno;
        auto* top = new QTreeWidgetItem(pulls_, {runs_[r].Name});
        top->setFlags(Qt::ItemIsEnabled);
        for (size_t p = 0; p < dyno.Found().Pulls.size(); ++p) {
            const Pull& pull = dyno.Found().Pulls[p];
            auto* item = new QTreeWidgetItem(top);
            item->setText(kColStart, tr("%1 s").arg(pull.Start, 0, 'f', 1));
            item->setText(kColGear, pull.Gear > 0 ? QString::number(pull.Gear) : QString("-"));
            item->setText(kColRpm, QString("%1\u2013%2").arg(pull.RpmFrom, 0, 'f', 0).arg(pull.RpmTo, 0, 'f', 0));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(kColStart, dyno.Chosen()[p] ? Qt::Checked : Qt::Unchecked);
            item->setData(kColStart, kRunRole, static_cast<qulonglong>(r));
            item->setData(kColStart, kPullRole, static_cast<qulonglong>(p));
        }
    }
    pulls_->expandAll();
}

void PowerCurveTab::OnPullChanged(QTreeWidgetItem* item)
{
    if (!item->parent())
        return;
    Run& run = runs_.at(item->data(kColStart, kRunRole).toULongLong());
    run.Dyno.Choose(item->data(kColStart, kPullRole).toULongLong(), item->checkState(kColStart) == Qt::Checked);
    run.Curve = run.Dyno.Curve(options_);
    Redraw();
}

// Every run's curve and every pull's peak with the options as they are.
void PowerCurveTab::Recompute()
{
    const QSignalBlocker block(pulls_);
    for (size_t r = 0; r < runs_.size(); ++r) {
        Run& run = runs_[r];
        run.Curve = run.Dyno.Curve(options_);
        QTreeWidgetItem* top = pulls_->topLevelItem(static_cast<int>(r));
        for (int p = 0; top && p < top->childCount(); ++p) {
            const PowerCurve pull = run.Dyno.PullCurve(static_cast<size_t>(p), options_);
            top->child(p)->setText(kColPeak, pull.Ok() ? tr("%1 %2 at %3 rpm")
                                                             .arg(pull.PeakPower, 0, 'f', 1)
                                                             .arg(QString::fromStdString(pull.PowerUnit))
                                                             .arg(pull.PeakPowerRpm, 0, 'f', 0)
                                                       : QString());
        }
    }
    Redraw();
}

void PowerCurveTab::Redraw()
{
    plot_->clearGraphs();
    QStringList lines, left, notes;
    size_t colour = 0;
    for (const Run& run : runs_) {
        const PullFinding& found = run.Dyno.Found();
        if (!found.RatioChecked && !found.Pulls.empty())
            left << tr("%1: no Road Speed in this log: its pulls are not checked for a steady gear.").arg(run.Name);
        else if (const std::string text = LeftOutText(found); !text.empty())
            left << run.Name + ": " + QString::fromStdString(text);
        for (const std::string& note : {run.Curve.RoadLoadNote, run.Curve.CorrectionNote})
            if (run.Curve.Ok() && !note.empty())
                notes << run.Name + ": " + QString::fromStdString(note);
        if (!run.Curve.Ok()) {
            lines << run.Name + ": " + QString::fromStdString(run.Curve.Problem);
            continue;
        }
        const QColor c = PaletteColour(colour++);
        QVector<double> rpm, power, torque;
        for (const PowerCurvePoint& p : run.Curve.Points) {
            rpm << p.Rpm;
            power << p.Power;
            torque << p.Torque;
        }
        QCPGraph* pg = plot_->addGraph(plot_->xAxis, plot_->yAxis);
        pg->setName(run.Name);
        pg->setPen(QPen(c, 2));
        pg->setData(rpm, power, true);
        QCPGraph* tg = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
        tg->setPen(QPen(c, 2, Qt::DashLine));
        tg->setData(rpm, torque, true);
        tg->removeFromLegend();
        const PowerCurve& cv = run.Curve;
        lines << tr("%1: peak power %2 %7 at %3 rpm, peak torque %4 %8 at %5 rpm (%6 samples)")
                     .arg(run.Name)
                     .arg(cv.PeakPower, 0, 'f', 1)
                     .arg(cv.PeakPowerRpm, 0, 'f', 0)
                     .arg(cv.PeakTorque, 0, 'f', 1)
                     .arg(cv.PeakTorqueRpm, 0, 'f', 0)
                     .arg(cv.Samples)
                     .arg(QString::fromStdString(cv.PowerUnit), QString::fromStdString(cv.TorqueUnit));
        if (colour == 1) {
            plot_->yAxis->setLabel(tr("Power (%1), solid").arg(QString::fromStdString(cv.PowerUnit)));
            plot_->yAxis2->setLabel(tr("Torque (%1), dashed").arg(QString::fromStdString(cv.TorqueUnit)));
        }
    }
    plot_->rescaleAxes();
    plot_->xAxis->scaleRange(1.05);
    plot_->yAxis->scaleRange(1.1);
    plot_->yAxis2->scaleRange(1.1);
    peaks_->setText(lines.join('\n'));
    leftOut_->setText(left.join('\n'));
    leftOut_->setVisible(!left.isEmpty());
    if (!saveProblem_.isEmpty())
        notes << saveProblem_;
    notes_->setText(notes.join('\n'));
    notes_->setVisible(!notes.isEmpty());
    plot_->replot();
}

}  // namespace tessek
