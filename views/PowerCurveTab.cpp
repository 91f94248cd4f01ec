#include "views/PowerCurveTab.h"

#include <qcustomplot.h>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "analysis/LogViewModel.h"
#include "analysis/PowerCurve.h"
#include "views/StripPalette.h"

namespace tessek {

PowerCurveTab::PowerCurveTab(const LogViewModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
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
    plot_ = new QCustomPlot(this);
    plot_->setObjectName("powerPlot");
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->xAxis->setLabel(tr("Engine speed (rpm)"));
    plot_->yAxis->setLabel(tr("Power (hp), solid"));
    plot_->yAxis2->setLabel(tr("Torque (lb-ft), dashed"));
    plot_->yAxis2->setVisible(true);
    plot_->legend->setVisible(true);
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(plot_, 1);
    peaks_ = new QLabel(this);
    peaks_->setObjectName("powerPeaks");
    peaks_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    peaks_->setWordWrap(true);
    layout->addWidget(peaks_);
}

void PowerCurveTab::LogOpened(const OpenedLog& log)
{
    Run first{log.Name, ComputePowerCurve(model_.Log())};
    if (!log.Reloaded || runs_.empty())
        runs_ = {std::move(first)};
    else
        runs_.front() = std::move(first);
    Redraw();
}

void PowerCurveTab::AddRun(const QString& name, PowerCurve curve)
{
    runs_.push_back({name, std::move(curve)});
    Redraw();
}

void PowerCurveTab::Redraw()
{
    plot_->clearGraphs();
    QStringList lines;
    size_t colour = 0;
    for (const Run& run : runs_) {
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
    plot_->replot();
}

}  // namespace tessek
