#include "views/ScatterTab.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/CellTable.h"
#include "analysis/LogViewModel.h"

namespace tessek {
namespace {

constexpr double kNearestPixels = 12;

QString Title(const LogChannel& c)
{
    return QString::fromStdString(ChannelTitle(c));
}

}  // namespace

ScatterTab::ScatterTab(const LogViewModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      x_(new QComboBox(this)),
      y_(new QComboBox(this)),
      c_(new QComboBox(this)),
      visibleOnly_(new QCheckBox(tr("Visible range only"), this)),
      plot_(new QCustomPlot(this)),
      scale_(new QCPColorScale(plot_)),
      readout_(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    const auto add = [&](const QString& label, QComboBox* box, const char* name) {
        row->addWidget(new QLabel(label, this));
        box->setObjectName(name);
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        row->addWidget(box);
    };
    add(tr("X:"), x_, "scatterX");
    add(tr("Y:"), y_, "scatterY");
    add(tr("Colour:"), c_, "scatterColour");
    visibleOnly_->setObjectName("scatterVisibleOnly");
    visibleOnly_->setToolTip(tr("Only the samples in the time range the Channels tab shows"));
    row->addWidget(visibleOnly_);
    row->addStretch(1);
    layout->addLayout(row);

    plot_->setObjectName("scatterPlot");
    plot_->setMouseTracking(true);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->setNotAntialiasedElements(QCP::aePlottables | QCP::aeScatters);
    plot_->plotLayout()->addElement(0, 1, scale_);
    scale_->setType(QCPAxis::atRight);
    scale_->setGradient(QCPColorGradient(QCPColorGradient::gpJet));
    auto* group = new QCPMarginGroup(plot_);
    plot_->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, group);
    scale_->setMarginGroup(QCP::msBottom | QCP::msTop, group);
    for (int b = 0; b <= kColourBins; ++b) {
        QCPGraph* g = plot_->addGraph();
        g->setLineStyle(QCPGraph::lsNone);
        g->setAdaptiveSampling(true);
        graphs_.push_back(g);
    }
    graphs_.back()->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, QColor(150, 150, 150), 3));
    nearest_ = plot_->addGraph();
    nearest_->setLineStyle(QCPGraph::lsNone);
    nearest_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(Qt::black, 2), Qt::NoBrush, 12));
    layout->addWidget(plot_, 1);
    readout_->setObjectName("scatterReadout");
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(readout_);

    for (QComboBox* box : {x_, y_, c_})
        connect(box, &QComboBox::currentIndexChanged, this, &ScatterTab::Recompute);
    connect(visibleOnly_, &QCheckBox::toggled, this, &ScatterTab::Recompute);
    connect(plot_, &QCustomPlot::mouseMove, this, &ScatterTab::OnMouseMove);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] {
        ShowAllPoints();
        plot_->replot();
    });
}

void ScatterTab::LogOpened(const OpenedLog& /*log*/)
{
    FillChoices();
    Recompute();
}

void ScatterTab::FillChoices()
{
    const QSignalBlocker bx(x_), by(y_), bc(c_);
    for (QComboBox* box : {x_, y_, c_})
        box->clear();
    const LogData& log = model_.Log();
    c_->addItem(tr("(none)"), static_cast<qulonglong>(log.Channels.size()));
    for (size_t c = 0; c < log.Channels.size(); ++c) {
        if (log.Channels[c].Raw)
            continue;
        for (QComboBox* box : {x_, y_, c_})
            box->addItem(Title(log.Channels[c]), static_cast<qulonglong>(c));
    }
    const CellChoice choice = DefaultCellChoice(log);
    x_->setCurrentIndex(x_->findData(static_cast<qulonglong>(choice.X)));
    y_->setCurrentIndex(y_->findData(static_cast<qulonglong>(choice.Y)));
    c_->setCurrentIndex(std::max(c_->findData(static_cast<qulonglong>(choice.Z)), 0));
}

size_t ScatterTab::ChannelOf(const QComboBox* box) const
{
    const QVariant chosen = box->currentData();
    return chosen.isValid() ? static_cast<size_t>(chosen.toULongLong()) : SIZE_MAX;
}

void ScatterTab::VisibleRangeChanged()
{
    if (visibleOnly_->isChecked())
        Recompute();
}

void ScatterTab::Recompute()
{
    if (!isVisible()) {
        dirty_ = true;
        return;
    }
    dirty_ = false;
    const bool range = visibleOnly_->isChecked();
    points_ = ComputeScatter(model_.Log(), ChannelOf(x_), ChannelOf(y_), ChannelOf(c_),
                             range ? model_.From() : -INFINITY, range ? model_.To() : INFINITY);
    Draw();
}

void ScatterTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (dirty_)
        Recompute();
}

void ScatterTab::Draw()
{
    // Each point goes to the graph of its colour bin; the last graph holds those without a colour.
    std::vector<size_t> binOf(points_.Size());
    std::vector<qsizetype> counts(graphs_.size(), 0);
    for (size_t i = 0; i < points_.Size(); ++i) {
        const int b = ColourBin(points_.C[i], points_.CMin, points_.CMax, kColourBins);
        binOf[i] = b < 0 ? graphs_.size() - 1 : static_cast<size_t>(b);
        ++counts[binOf[i]];
    }
    std::vector<QVector<QCPGraphData>> bins(graphs_.size());
    for (size_t b = 0; b < bins.size(); ++b)
        bins[b].reserve(counts[b]);
    for (size_t i = 0; i < points_.Size(); ++i)
        bins[binOf[i]].append(QCPGraphData(points_.X[i], points_.Y[i]));
    const bool coloured = !std::isnan(points_.CMin);
    const QCPRange cRange = coloured ? QCPRange(points_.CMin, points_.CMax) : QCPRange(0, 1);
    for (size_t b = 0; b < graphs_.size(); ++b) {
        if (b + 1 < graphs_.size()) {
            // The colour of the bin's middle on the scale.
            const double middle = cRange.lower + (static_cast<double>(b) + 0.5) / kColourBins * cRange.size();
            const QColor colour = QColor::fromRgb(scale_->gradient().color(middle, cRange));
            graphs_[b]->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, colour, colour, 3));
        }
        graphs_[b]->data()->set(bins[b], false);
    }
    nearest_->data()->clear();
    const LogData& log = model_.Log();
    const size_t x = ChannelOf(x_), y = ChannelOf(y_), c = ChannelOf(c_);
    plot_->xAxis->setLabel(x < log.Channels.size() ? Title(log.Channels[x]) : QString());
    plot_->yAxis->setLabel(y < log.Channels.size() ? Title(log.Channels[y]) : QString());
    scale_->setVisible(coloured);
    scale_->axis()->setLabel(c < log.Channels.size() ? Title(log.Channels[c]) : QString());
    scale_->setDataRange(cRange);
    ShowAllPoints();
    readout_->setText(tr("%1 points. Point at a dot for its time and values.").arg(points_.Size()));
    plot_->replot();
}

void ScatterTab::ShowAllPoints()
{
    plot_->rescaleAxes();
    plot_->xAxis->scaleRange(1.05);
    plot_->yAxis->scaleRange(1.05);
}

QString ScatterTab::ValueText(size_t channel, size_t row) const
{
    const LogChannel& c = model_.Log().Channels[channel];
    const double v = row < c.Values.size() ? c.Values[row] : NAN;
    const QString number = std::isnan(v) ? QStringLiteral("\u2014") : QString::number(v, 'f', c.Decimals);
    return QString::fromStdString(c.Name) + " " + number + (c.Unit.empty() ? "" : " " + QString::fromStdString(c.Unit));
}

void ScatterTab::ShowNearest(double x, double y)
{
    const double xPixels = plot_->xAxis->axisRect()->width() / std::max(plot_->xAxis->range().size(), 1e-12);
    const double yPixels = plot_->yAxis->axisRect()->height() / std::max(plot_->yAxis->range().size(), 1e-12);
    const std::optional<size_t> i = NearestPoint(points_, x, y, xPixels, yPixels, kNearestPixels);
    nearest_->data()->clear();
    if (i) {
        nearest_->addData(points_.X[*i], points_.Y[*i]);
        const size_t row = points_.Row[*i];
        const size_t c = ChannelOf(c_);
        QString text = tr("At %1 s: ").arg(points_.Time[*i], 0, 'f', 3) + ValueText(ChannelOf(x_), row) + ", " +
                       ValueText(ChannelOf(y_), row);
        if (c < model_.Log().Channels.size())
            text += ", " + ValueText(c, row);
        readout_->setText(text);
    }
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void ScatterTab::OnMouseMove(QMouseEvent* event)
{
    ShowNearest(plot_->xAxis->pixelToCoord(event->position().x()), plot_->yAxis->pixelToCoord(event->position().y()));
}

}  // namespace tessek
